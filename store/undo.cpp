// undo.cpp - undoing a change of the history (see undo.h).
#include "undo.h"

#include "store.h"

OutcomeResult UndoRecord(const JournalList *list, const JournalRecord *record,
                         const FrontEnd *front)
{
    (void)list;
    StoreOutcome outcome;
    BeginOutcome(&outcome, NULL, ActionUndo);
    outcome.undone = record->number;
    outcome.result = ResultRefused;
    outcome.cause = PLAT_ERROR_CALL_NOT_IMPLEMENTED;
    TellOutcome(front, &outcome);
    return outcome.result;
}

int UndoKeyAllowed(PlatHive hive, const char *path, int userOnly)
{
    (void)hive, (void)path, (void)userOnly;
    return 0;
}
