// commands.cpp - the console program's commands on the window's own core.
// A command that changes storage first finds every id it was given: one
// unknown id is a usage error and nothing is changed. What the window would
// ask about (Remove, CleanUp) is done only with --yes; without it the
// command says what it would do and exits as a usage error, so that a
// script never takes the dry run for the deed.
#include "cli.h"

#include "../report/html_log.h"
#include "../store/store.h"
#include "../store/undo.h"

#include <string.h>

#define CLI_ANY_USER_REFUSED                                                                      \
    "ERROR: \"%s\" was not enabled: it " NOTE_ANY_USER " and would start for every user; "          \
    "add --yes to enable it."
#define CLI_WOULD_REMOVE "Would remove \"%s\" (%s); nothing was changed: add --yes to remove it."
#define CLI_WOULD_CLEAN_UP                                                              \
    "Would delete %d disabled registry %s (%d of the current user, %d of all users) " \
    "in %s, and %d %s of RunOnceEx-; nothing was changed: add --yes to delete them."
#define CLI_WOULD_DELETE_ONE "Would delete \"%s\" (%s)"
#define CLI_REPORT_SAVED "Saved the report of %d %s: %s"
#define CLI_REPORT_FAILED "ERROR: The report \"%s\" could not be written whole: %s"
#define CLI_REPORT_TOO_LONG "ERROR: The report's file name \"%s\" is too long."
#define CLI_CLEANUP_KEPT "ERROR: \"%s\" (%s) was not deleted: %s."
#define CLI_BACKUP_FAILED "ERROR: \"%s\": the backup could not be written; nothing was deleted."
#define CLI_REPORT_EXISTS \
    "ERROR: \"%s\" already exists; nothing was written: add --yes to replace it."
#define CLI_UNKNOWN_ID "ERROR: No entry has the id \"%s\"; nothing was changed (see orvanec list)."

// What the commands did, counted for the exit code.
struct Outcome {
    int failed;
    int rights;
    int yes;        // --yes: the answer to every question
    int scanErrors; // what the scan could not read
    int asked;      // undo: a question answered No for want of --yes
    const JournalRecord *undoing; // undo: the change undone
};

// Administrator rights are what is missing only for an entry of all users
// while not elevated; denied anything else, the rights are not the cause.
static int RightsMissing(const AutostartItem *item, long cause)
{
    return item && cause == PLAT_ERROR_ACCESS_DENIED && !ScopeIsUser(item->scope)
           && !PlatIsElevated();
}

// The same of an undo, by the change's entry: a backup the history does not
// know is restored only into the user's own places, so rights never help it.
static int UndoRightsMissing(const JournalRecord *record, long cause)
{
    return record && record->op != JournalUnrecorded && cause == PLAT_ERROR_ACCESS_DENIED
           && !ScopeIsUser(record->scope) && !PlatIsElevated();
}

// A store outcome: a failure goes to standard error and counts, as one
// that needs administrator rights or as another; anything else is a result.
static void TellOutcome(void *context, const StoreOutcome *outcome)
{
    Outcome *counts = (Outcome *)context;
    const AutostartItem *item = outcome->item;
    char line[OUTCOME_TEXT_SIZE + ITEM_ID_SIZE];
    int failed = OutcomeFailed(outcome);
    if (outcome->action == ActionUndo) {
        // Declined for want of --yes is a dry run, said as one: not a failure.
        WordOutcome(outcome, 0, line, sizeof line);
        failed = failed && outcome->result != ResultDeclined;
    } else if (outcome->result == ResultDeclined) {
        TextFormat(line, sizeof line, CLI_ANY_USER_REFUSED, item->name);
    } else if (outcome->action == ActionCleanUp && item) {
        char id[ITEM_ID_SIZE];
        ItemId(item, NULL, id, sizeof id);
        TextFormat(line, sizeof line, CLI_CLEANUP_KEPT, ItemShownName(item), id,
                   OutcomeCauseText(outcome));
    } else if (outcome->result == ResultBackupFailed && item) {
        // One line per entry: each names its own.
        TextFormat(line, sizeof line, CLI_BACKUP_FAILED, ItemShownName(item));
    } else {
        WordOutcome(outcome, 0, line, sizeof line);
        // A list change that failed after its backup names the backup.
        if (failed && item && outcome->action != ActionRemove && outcome->backup[0]) {
            size_t used = strlen(line);
            TextFormat(line + used, sizeof line - used, " Backup: %s", outcome->backup);
        }
    }
    if (failed)
        ++*(RightsMissing(item, outcome->cause)
                    || (outcome->action == ActionUndo
                        && UndoRightsMissing(counts->undoing, outcome->cause))
                ? &counts->rights
                : &counts->failed);
    else if (outcome->result == ResultDone && outcome->action != ActionCleanUp && item)
        CliNoteChange(item);
    // A name cannot break the line nor pass for another.
    char shown[4 * sizeof line];
    TextCopyVisible(shown, sizeof shown, line, 0);
    CliLine(failed ? PLAT_STDERR : PLAT_STDOUT, shown);
}

// The window asks; here the answer is --yes. Without it an undo says what
// it would have asked (its first paragraph), as a dry run.
static int AnswerYes(void *context, const char *question)
{
    Outcome *counts = (Outcome *)context;
    if (counts->yes || !counts->undoing)
        return counts->yes;
    ++counts->asked;
    char gist[OUTCOME_TEXT_SIZE];
    TextCopy(gist, sizeof gist, question);
    char *rest = strstr(gist, "\n\n");
    if (rest)
        *rest = '\0';
    for (char *c = gist; *c; ++c)
        *c = *c == '\n' || *c == '\r' ? ' ' : *c;
    TextAppend(gist, sizeof gist, " Add --yes to go on.");
    CliLineShown(PLAT_STDOUT, gist);
    return 0;
}

// The scan's failures, one line each on standard error, counted.
static void TellScanError(void *context, const char *subject, const char *text)
{
    char line[2 * TEXT_FIELD_SIZE + 32];
    if (subject[0])
        TextFormat(line, sizeof line, "ERROR: \"%s\": %s", subject, text);
    else
        TextFormat(line, sizeof line, "ERROR: %s", text);
    // A folder's name cannot break the line nor pass for another.
    char shown[4 * sizeof line];
    TextCopyVisible(shown, sizeof shown, line, 0);
    CliLine(PLAT_STDERR, shown);
    ++((Outcome *)context)->scanErrors;
}

static int ExitCode(const Outcome *outcome)
{
    return outcome->failed ? CliExitFailed : outcome->rights ? CliExitRights : CliExitDone;
}

// Every id's catalogue index into indexes; CliExitUsage naming the first
// unknown one.
static int FindAll(const CliArguments *args, int32_t *indexes)
{
    for (int32_t i = 0; i < args->operandCount; ++i) {
        indexes[i] = FindItemById(args->operands[i]);
        if (indexes[i] < 0) {
            char line[ITEM_ID_SIZE + 96];
            TextFormat(line, sizeof line, CLI_UNKNOWN_ID, args->operands[i]);
            CliLine(PLAT_STDERR, line);
            return CliExitUsage;
        }
    }
    return CliExitDone;
}

// Nonzero when only said, not done (no --yes).
static int Remove(const AutostartItem *item, const char *id, const FrontEnd *front)
{
    if (((Outcome *)front->context)->yes) {
        RemoveEntry(item, front);
        return 0;
    }
    char line[ITEM_ID_SIZE + TEXT_FIELD_SIZE + 96];
    TextFormat(line, sizeof line, CLI_WOULD_REMOVE, ItemShownName(item), id);
    CliLineShown(PLAT_STDOUT, line);
    return 1;
}

static int RunOnIds(const CliArguments *args, const FrontEnd *front)
{
    int32_t *indexes = (int32_t *)PlatAllocZero(sizeof(int32_t) * (size_t)args->operandCount);
    if (!indexes)
        return CliExitFailed;
    int result = FindAll(args, indexes);
    int dry = 0;
    for (int32_t i = 0; result == CliExitDone && i < args->operandCount; ++i) {
        // An id given twice is one entry, changed once.
        int seen = 0;
        for (int32_t j = 0; j < i; ++j)
            seen |= indexes[j] == indexes[i];
        if (seen)
            continue;
        if (args->command == CliRemove)
            dry |= Remove(&ItemCatalogue.items[indexes[i]], args->operands[i], front);
        else
            ApplyChange(indexes[i], args->command == CliEnable, front);
    }
    PlatFree(indexes);
    if (result == CliExitDone && dry)
        result = CliExitUsage;
    return result == CliExitDone ? ExitCode((const Outcome *)front->context) : result;
}

// The entry of the id started later (or at logon again).
static int Delay(const CliArguments *args, const FrontEnd *front)
{
    int32_t index = FindItemById(args->operands[0]);
    if (index < 0) {
        char line[ITEM_ID_SIZE + 96];
        TextFormat(line, sizeof line, CLI_UNKNOWN_ID, args->operands[0]);
        CliLine(PLAT_STDERR, line);
        return CliExitUsage;
    }
    DelayEntry(index, args->delay, front);
    return ExitCode((const Outcome *)front->context);
}

// The list, of every entry or of the ids given.
static int List(const CliArguments *args)
{
    uint8_t *chosen = NULL;
    int32_t *indexes = NULL;
    if (args->operandCount) {
        chosen = (uint8_t *)PlatAllocZero((size_t)ItemCatalogue.count + 1);
        indexes = (int32_t *)PlatAllocZero(sizeof(int32_t) * (size_t)args->operandCount);
        if (!chosen || !indexes) {
            PlatFree(chosen);
            PlatFree(indexes);
            return CliExitFailed;
        }
        int found = FindAll(args, indexes);
        for (int32_t i = 0; found == CliExitDone && i < args->operandCount; ++i)
            chosen[indexes[i]] = 1;
        PlatFree(indexes);
        if (found != CliExitDone) {
            PlatFree(chosen);
            return found;
        }
    }
    int written = CliWriteList(args, chosen);
    PlatFree(chosen);
    return written ? CliExitDone : CliExitFailed;
}

// Without --yes, each entry CleanUp would delete, on a line of its own,
// and what it keeps that is off.
static void SayWhatCleanUpDeletes(const int32_t *hidden, int32_t count)
{
    int32_t *marked = (int32_t *)PlatAllocZero(sizeof(int32_t) * ((size_t)count + 1));
    if (!marked)
        return;
    CleanUpKept kept;
    MarkCleanUpRecords(hidden, count, marked, &kept);
    char id[2 * TEXT_FIELD_SIZE], line[4 * TEXT_FIELD_SIZE];
    for (int32_t i = 0; i < count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        if (!marked[i])
            continue;
        if (!ItemId(item, NULL, id, sizeof id))
            TextCopy(id, sizeof id, item->location);
        TextFormat(line, sizeof line, CLI_WOULD_DELETE_ONE, ItemShownName(item), id);
        CliLineShown(PLAT_STDOUT, line);
    }
    if (CleanUpKeptText(&kept, line, sizeof line))
        CliLine(PLAT_STDOUT, line);
    PlatFree(marked);
}

static int CleanUp(const FrontEnd *front)
{
    // The window's rule: a key holding a row hidden as Windows' own (under
    // the remembered choice) is kept whole, and not counted.
    int32_t count = ItemCatalogue.count;
    int32_t *stored = (int32_t *)PlatAllocZero(sizeof(int32_t) * (2 * (size_t)count + 1));
    if (!stored)
        return CliExitFailed;
    int32_t *hidden = stored + count;
    int hide = ReadHideWindowsSetting();
    for (int32_t i = 0; i < count; ++i) {
        stored[i] = ItemCatalogue.items[i].enabled;
        hidden[i] = ItemHiddenAsWindows(&ItemCatalogue.items[i], hide);
    }
    // Counted from storage, as CleanUp itself finds it.
    CleanUpCount what;
    CountCleanUpShown(&what, hidden, count);
    int user = what.user, machine = what.machine;
    Outcome *outcome = (Outcome *)front->context;
    if (user + machine + what.settings == 0 || !outcome->yes) {
        if (!outcome->yes)
            SayWhatCleanUpDeletes(hidden, count);
        char line[512];
        TextCopy(line, sizeof line, STATUS_CLEANUP_NOTHING);
        if (user + machine + what.settings)
            TextFormat(line, sizeof line, CLI_WOULD_CLEAN_UP, user + machine,
                       user + machine == 1 ? "entry" : "entries", user, machine, what.places,
                       (int)what.settings, what.settings == 1 ? "setting" : "settings");
        CliLine(PLAT_STDOUT, line);
        PlatFree(stored);
        return user + machine + what.settings ? CliExitUsage : CliExitDone;
    }
    CleanUpDisabledShown(stored, hidden, count, front);
    PlatFree(stored);
    return ExitCode(outcome);
}

// The change (or backup) of the history undone; without --yes, where the
// window would ask, nothing is changed and the exit is a dry run's.
static int Undo(const CliArguments *args, const FrontEnd *front)
{
    Outcome *outcome = (Outcome *)front->context;
    JournalList list;
    int result = CliExitDone;
    const JournalRecord *record = CliFindUndone(args, &list, &result);
    if (record) {
        outcome->undoing = record;
        UndoRecord(&list, record, front);
        result = outcome->asked ? CliExitUsage : ExitCode(outcome);
        outcome->undoing = NULL;
    }
    FreeJournal(&list);
    return result;
}

static int Report(const char *given, int yes)
{
    char line[2 * TEXT_FIELD_SIZE + 96];
    // FILE without an extension gets ".html", as the window's dialog gives it.
    char path[TEXT_FIELD_SIZE];
    if (!TextCopy(path, sizeof path, given) || !CompleteLogPath(path, sizeof path)) {
        TextFormat(line, sizeof line, CLI_REPORT_TOO_LONG, given);
        CliLine(PLAT_STDERR, line);
        return CliExitUsage;
    }
    // The window asks before replacing a file; here the question is --yes.
    if (!yes && (PlatFileExists(path) || PlatFileAttributes(path) != PLAT_NO_ATTRIBUTES)) {
        TextFormat(line, sizeof line, CLI_REPORT_EXISTS, path);
        CliLine(PLAT_STDERR, line);
        return CliExitUsage;
    }
    long failed = WriteReportFile(path, yes);
    if (failed != PLAT_OK) {
        char cause[TEXT_FIELD_SIZE];
        PlatErrorText(failed, cause, sizeof cause);
        TextFormat(line, sizeof line, CLI_REPORT_FAILED, path, cause);
        CliLine(PLAT_STDERR, line);
        return CliExitFailed;
    }
    TextFormat(line, sizeof line, CLI_REPORT_SAVED, (int)ItemCatalogue.count,
               ItemCatalogue.count == 1 ? "entry" : "entries", path);
    CliLine(PLAT_STDOUT, line);
    return CliExitDone;
}

// The commands that name entries by id and change them.
static int OnIds(int32_t command)
{
    return command == CliDisable || command == CliEnable || command == CliRemove;
}

int CliScan(const CliArguments *args)
{
    if (!OnIds(args->command)) {
        ScanCatalogue();
        return 0;
    }
    CatalogueData scanned;
    ScanStorageForIds(&scanned, args->operands, args->operandCount);
    AdoptCatalogue(&scanned);
    return 1;
}

int CliRun(int argc, char **argv)
{
    CliArguments args;
    int result = CliParse(argc, argv, &args);
    if (result != CliExitDone) {
        CliLine(PLAT_STDERR, args.error);
        CliFreeArguments(&args);
        return result;
    }
    if (args.help) {
        CliPrint(PLAT_STDOUT, CliUsage(args.helpCommand));
        CliFreeArguments(&args);
        return args.bare ? CliExitUsage : CliExitDone;
    }
    Outcome outcome = {0, 0, args.yes, 0, 0, NULL};
    FrontEnd front = {TellOutcome, AnswerYes, TellScanError, &outcome, FRONT_CONSOLE};
    UseFrontEnd(&front);
    // The other places are read for list --all-places and the report; and
    // for a change by id, which they then refuse with their cause.
    ListOtherPlaces = args.allPlaces || args.command == CliReport || args.command == CliDisable
                      || args.command == CliEnable || args.command == CliRemove;
    // The entries named are read whole: the store's refusals ask for their
    // signer (Windows' own service), the list of entries seen keeps it.
    int named = CliScan(&args);
    for (int32_t i = 0; named && i < args.operandCount; ++i) {
        AutostartItem *item = CatalogueItem(FindItemById(args.operands[i]));
        if (item)
            ReadItemDetails(item);
    }
    switch (args.command) {
    case CliList:
        result = List(&args);
        break;
    case CliReport: result = Report(args.operands[0], args.yes); break;
    case CliCleanUp: result = CleanUp(&front); break;
    case CliDiff: result = CliRunDiff(&args); break;
    case CliAccept: result = CliRunAccept(&args); break;
    case CliSnapshot: result = CliRunSnapshot(&args); break;
    case CliHistory: result = CliRunHistory(&args); break;
    case CliUndo: result = Undo(&args, &front); break;
    case CliDelay: result = Delay(&args, &front); break;
    default: result = RunOnIds(&args, &front); break;
    }
    // A list or report that lacks what the reader could not read is not whole.
    if ((args.command == CliList || args.command == CliReport || args.command == CliDiff)
        && outcome.scanErrors && result == CliExitDone)
        result = CliExitFailed;
    UseFrontEnd(NULL);
    // What was changed here is no news at the next diff.
    CliAcceptOwnChanges(&args, args.command == CliCleanUp && args.yes);
    ListOtherPlaces = 0;
    CliFreeArguments(&args);
    return result;
}
