// seen_marks.cpp - the window's marks of what is new or changed since the
// user last looked (store/remembered.h keeps the list).
//
// A scan's rows are compared as soon as they come, on command and
// program; once every file's details are read, again with the signers,
// and only then is anything written: the first run's list, the changes
// this program made itself (accepted as made), signers not known before.
#include "ui.h"
#include "../store/store.h"

#include <string.h>

static RememberedList Seen;
static RememberedMarks Marks;
static int SeenState = -1; // a RememberedRead, -1 before the first scan
static char SeenAside[TEXT_FIELD_SIZE];
// A list set aside whose empty successor could not be written: a missing
// list is then no first run (that would take every entry as seen).
static int SeenLost = 0;
static long SeenCause = PLAT_OK;

// Entries this program changed since the last settling.
static OwnChanges Changed;
static int OwnCleanUp = 0;

void NoteOwnChange(const AutostartItem *item)
{
    NoteChangedItem(&Changed, &ItemCatalogue, item);
}

void NoteOwnCleanUp(void)
{
    OwnCleanUp = 1;
}

void NoteSavedEntry(const char *name, int allUsers, int32_t mode, int32_t editIndex)
{
    const AutostartItem *old = mode == EditorEdit ? CatalogueItem(editIndex) : NULL;
    AutostartItem *saved = (AutostartItem *)PlatAllocZero(sizeof(AutostartItem));
    if (!saved)
        return;
    if (old) {
        NoteOwnChange(old);
        *saved = *old;
    } else {
        saved->kind = RegistryValue;
        TextCopy(saved->scope, sizeof saved->scope, allUsers ? SCOPE_ALL : SCOPE_USER);
        TextCopy(saved->location, sizeof saved->location, RUN_KEY);
    }
    TextCopy(saved->name, sizeof saved->name, name);
    NoteOwnChange(saved);
    PlatFree(saved);
}

void MarkScannedRows(void)
{
    FreeMarks(&Marks);
    FreeRemembered(&Seen);
    char aside[TEXT_FIELD_SIZE];
    SeenState = ReadRemembered(NULL, 1, &Seen, aside, &SeenCause);
    // Set aside: an empty list from now, so that every entry is new until
    // accepted; the next settling says why.
    if (SeenState == RememberedSetAside) {
        TextCopy(SeenAside, sizeof SeenAside, aside);
        SeenCause = WriteRemembered(NULL, &Seen);
        SeenState = SeenCause == PLAT_OK ? RememberedDone : RememberedFailed;
        SeenLost = SeenState == RememberedFailed;
    } else if (SeenState == RememberedNone && SeenLost) {
        SeenState = RememberedFailed;
        SeenCause = CAUSE_REMEMBERED_FOREIGN;
    } else if (SeenState == RememberedDone) {
        SeenLost = 0;
    }
    if (SeenState == RememberedDone)
        CompareRemembered(&ItemCatalogue, &Seen, &Marks);
}

// Fills in the signers the list did not know yet of entries otherwise
// unchanged; nonzero when one was.
static int LearnSigners(void)
{
    int learnt = 0;
    for (int32_t i = 0; i < Marks.records && i < ItemCatalogue.count; ++i) {
        int32_t j = Marks.was[i];
        const AutostartItem *item = &ItemCatalogue.items[i];
        if (j < 0 || Marks.marks[i] != MarkSame || Seen.entries[j].signer[0]
            || item->detailsPending || strcmp(item->target, Seen.entries[j].program) != 0)
            continue;
        TextCopy(Seen.entries[j].signer, sizeof Seen.entries[j].signer, item->publisher);
        learnt = 1;
    }
    return learnt;
}

int SettleMarks(char *said, size_t size)
{
    said[0] = '\0';
    MarkScannedRows();
    int write = 0;
    if (SeenState == RememberedFailed) {
        char cause[TEXT_FIELD_SIZE];
        TextCopy(cause, sizeof cause, CauseText(SeenCause));
        TextFormat(said, size, STATUS_REMEMBERED_UNREAD, cause);
        return 1;
    }
    if (SeenAside[0]) {
        TextFormat(said, size, STATUS_REMEMBERED_SET_ASIDE, SeenAside);
        SeenAside[0] = '\0';
    }
    if (SeenState != RememberedDone) {
        // The first run: what is listed now is seen.
        write = AcceptAll(&Seen, &ItemCatalogue);
        SeenState = RememberedDone;
    } else {
        if (Changed.count) {
            AcceptOwnChanges(&Seen, &ItemCatalogue, &Changed);
            write = 1;
        }
        if (OwnCleanUp) {
            AcceptCleanedUp(&Seen, &ItemCatalogue);
            write = 1;
        }
        FreeMarks(&Marks);
        CompareRemembered(&ItemCatalogue, &Seen, &Marks);
        write |= LearnSigners();
    }
    Changed.count = 0;
    OwnCleanUp = 0;
    if (write) {
        long saved = WriteRemembered(NULL, &Seen);
        if (saved != PLAT_OK) {
            char cause[TEXT_FIELD_SIZE];
            TextCopy(cause, sizeof cause, CauseText(saved));
            TextFormat(said, size, STATUS_REMEMBERED_NOT_WRITTEN, cause);
        }
    }
    FreeMarks(&Marks);
    CompareRemembered(&ItemCatalogue, &Seen, &Marks);
    return said[0] != '\0';
}

const char *RecordMarkText(int32_t record)
{
    if (record < 0 || record >= Marks.records || !Marks.marks)
        return "";
    return Marks.marks[record] == MarkNew       ? MARK_NEW
           : Marks.marks[record] == MarkChanged ? MARK_CHANGED
                                                : "";
}

void MarksStatusText(char *text, size_t size)
{
    text[0] = '\0';
    int32_t fresh = 0, changed = 0;
    for (int32_t i = 0; i < Marks.records && i < ItemCatalogue.count; ++i) {
        if (ItemHiddenAsWindows(&ItemCatalogue.items[i], HideWindowsEntries))
            continue;
        fresh += Marks.marks[i] == MarkNew;
        changed += Marks.marks[i] == MarkChanged;
    }
    if (!fresh && !changed && !Marks.goneCount)
        return;
    char since[32];
    RememberedTimeText(&Seen.accepted, since, sizeof since);
    TextFormat(text, size, STATUS_MARKS, (int)fresh, (int)changed, (int)Marks.goneCount, since);
}

void RecordMarkNote(int32_t record, char *text, size_t size)
{
    text[0] = '\0';
    const char *mark = RecordMarkText(record);
    const AutostartItem *item = CatalogueItem(record);
    if (!mark[0] || !item)
        return;
    char since[32], change[2 * COMMAND_FIELD_SIZE] = "";
    RememberedTimeText(&Seen.accepted, since, sizeof since);
    if (Marks.was[record] >= 0)
        ChangeText(item, &Seen.entries[Marks.was[record]], change, sizeof change);
    TextFormat(text, size, NOTE_MARKED, mark, since, change[0] ? ": " : "", change);
}

// ---- the commands ------------------------------------------------------------

static void SaveAccepted(const char *done)
{
    long saved = WriteRemembered(NULL, &Seen);
    char status[TEXT_FIELD_SIZE + 128];
    if (saved == PLAT_OK) {
        TextCopy(status, sizeof status, done);
    } else {
        char cause[TEXT_FIELD_SIZE];
        TextCopy(cause, sizeof cause, CauseText(saved));
        TextFormat(status, sizeof status, STATUS_REMEMBERED_NOT_WRITTEN, cause);
        // What is on disk is what the next scan marks by.
        MarkScannedRows();
    }
    FreeMarks(&Marks);
    CompareRemembered(&ItemCatalogue, &Seen, &Marks);
    SetStatusText(NULL, status);
    if (ItemListWindow)
        InvalidateRect(ItemListWindow, NULL, FALSE);
    RepaintFooter(MainWindow);
}

// Nonzero when the list could be read: nothing is accepted into one that
// could not (it would be written over).
static int SeenUsable(void)
{
    if (SeenState == RememberedDone)
        return 1;
    char cause[TEXT_FIELD_SIZE], status[TEXT_FIELD_SIZE + 128];
    TextCopy(cause, sizeof cause, CauseText(SeenCause));
    TextFormat(status, sizeof status, STATUS_REMEMBERED_UNREAD, cause);
    SetStatusText(NULL, status);
    return 0;
}

void OnAcceptRecord(int32_t record)
{
    const AutostartItem *item = CatalogueItem(record);
    char id[ITEM_ID_SIZE];
    // Read again first: another instance or the console may have written it.
    MarkScannedRows();
    if (!item || !SeenUsable() || !ItemRememberedId(&ItemCatalogue, item, id, sizeof id))
        return;
    if (!RecordMarkText(record)[0]) {
        char status[TEXT_FIELD_SIZE + 64];
        TextFormat(status, sizeof status, STATUS_NOTHING_TO_ACCEPT, ItemShownName(item));
        SetStatusText(NULL, status);
        return;
    }
    const char *ids[1] = {id};
    AcceptIds(&Seen, &ItemCatalogue, ids, 1);
    char done[TEXT_FIELD_SIZE + 64];
    TextFormat(done, sizeof done, STATUS_ACCEPTED_ONE, ItemShownName(item));
    SaveAccepted(done);
}

void OnAcceptAll(void)
{
    MarkScannedRows();
    if (!SeenUsable())
        return;
    char since[32], done[96];
    if (!AcceptAll(&Seen, &ItemCatalogue)) {
        SetStatusText(NULL, STATUS_ACCEPT_NO_MEMORY);
        return;
    }
    RememberedTimeText(&Seen.accepted, since, sizeof since);
    TextFormat(done, sizeof done, STATUS_ACCEPTED_ALL, since);
    SaveAccepted(done);
}

void GoneText(char *text, size_t size)
{
    text[0] = '\0';
    char since[32];
    RememberedTimeText(&Seen.accepted, since, sizeof since);
    if (!Marks.goneCount) {
        TextFormat(text, size, GONE_NONE, since);
        return;
    }
    TextFormat(text, size, GONE_LEAD, (int)Marks.goneCount, Marks.goneCount == 1 ? "y" : "ies",
               since);
    int32_t named = 0;
    for (int32_t j = 0; j < Seen.count && Marks.gone; ++j) {
        if (!Marks.gone[j])
            continue;
        if (named++ == GONE_NAMED_MOST) {
            char more[64];
            TextFormat(more, sizeof more, GONE_MORE, (int)(Marks.goneCount - GONE_NAMED_MOST));
            TextAppend(text, size, more);
            break;
        }
        const RememberedEntry *e = &Seen.entries[j];
        char line[TEXT_FIELD_SIZE * 2 + COMMAND_FIELD_SIZE + 32], shown[sizeof line * 4];
        TextFormat(line, sizeof line, GONE_LINE, e->name, e->place, e->command);
        TextCopyShown(shown, sizeof shown, line, 0);
        TextAppend(text, size, "\n");
        TextAppend(text, size, shown);
    }
    if (Marks.goneUnsure) {
        char unsure[160];
        TextFormat(unsure, sizeof unsure, GONE_UNSURE, (int)Marks.goneUnsure);
        TextAppend(text, size, unsure);
    }
}

void OnShowGone(HWND window)
{
    if (!SeenUsable())
        return;
    char *text = (char *)PlatAllocZero(GONE_TEXT_SIZE);
    if (!text)
        return;
    GoneText(text, GONE_TEXT_SIZE);
    MessageBoxA(window, text, MAIN_WINDOW_TITLE, MB_OK | MB_ICONINFORMATION);
    PlatFree(text);
}
