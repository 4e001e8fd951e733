// commands.cpp - the console program's commands on the window's own core.
// A command that changes storage first finds every id it was given: one
// unknown id is a usage error and nothing is changed. What the window would
// ask about (Remove, CleanUp) is done only with --yes.
#include "cli.h"

#include "../report/html_log.h"
#include "../store/store.h"

#include <string.h>

#define CLI_DONE_FORMAT "%s \"%s\"."
#define CLI_ALREADY_FORMAT "\"%s\" is already %s; nothing was changed."
#define CLI_REMOVED_FORMAT "Removed \"%s\"; backup: %s"
#define CLI_ANY_USER_REFUSED                                                                      \
    "ERROR: \"%s\" was not enabled: it " NOTE_ANY_USER " and would start for every user; "          \
    "add --yes to enable it."
#define CLI_WOULD_REMOVE "Would remove \"%s\" (%s); nothing was changed: add --yes to remove it."
#define CLI_WOULD_CLEAN_UP                                                              \
    "Would delete %d disabled registry %s (%d of the current user, %d of all users) " \
    "in %s, and %d %s of RunOnceEx-; nothing was changed: add --yes to delete them."
#define CLI_REMOVE_FAILED "ERROR: \"%s\" was not removed: %s. Its backup is kept: %s"
#define CLI_REPORT_SAVED "Saved the report of %d %s: %s"
#define CLI_REPORT_FAILED "ERROR: The report \"%s\" could not be written whole."
#define CLI_NAME_TOO_LONG "its name is too long to change it here"
#define CLI_CLEANUP_KEPT "ERROR: \"%s\" (%s) was not deleted: %s."
#define CLI_REPORT_EXISTS \
    "ERROR: \"%s\" already exists; nothing was written: add --yes to replace it."
// Causes of a kept entry beyond the store's.
#define CAUSE_NAME_IN_KEY 0x30000001L
#define CAUSE_DELETE_REFUSED 0x30000002L // CauseText: "Windows refused the change"
#define CLI_NAME_IN_KEY "a name in its key cannot be handled on this Windows or written to a backup"
#define CLI_UNKNOWN_ID "ERROR: No entry has the id \"%s\"; nothing was changed (see orvanec list)."

// What the commands tell, counted for the exit code; item is the entry
// being changed, whose place decides whether a refusal is one of rights.
struct Outcome {
    int failed;
    int rights;
    const AutostartItem *item;
};

// Administrator rights are what is missing only for an entry of all users
// while not elevated; denied anything else, the rights are not the cause.
static int RightsMissing(const AutostartItem *item, long cause)
{
    return item && cause == PLAT_ERROR_ACCESS_DENIED && !ScopeIsUser(item->scope)
           && !PlatIsElevated();
}

// A store text: a failure goes to standard error and counts, as one that
// needs administrator rights or as another; anything else is a result.
static void Tell(void *context, const char *text)
{
    Outcome *outcome = (Outcome *)context;
    int error = strncmp(text, "ERROR", 5) == 0;
    const AutostartItem *item = outcome->item;
    long cause = item && item->kind == ScheduledTask ? LastTaskError() : LastStoreError();
    if (error && RightsMissing(item, cause))
        ++outcome->rights;
    else if (error)
        ++outcome->failed;
    CliLine(error ? PLAT_STDERR : PLAT_STDOUT, text);
}

// The scan's failures, one line each on standard error, counted.
static void TellScanError(void *context, const char *subject, const char *text)
{
    char line[2 * TEXT_FIELD_SIZE + 32];
    TextFormat(line, sizeof line, "ERROR: \"%s\": %s", subject, text);
    CliLine(PLAT_STDERR, line);
    ++*(int *)context;
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
        indexes[i] = CliFindItem(args->operands[i]);
        if (indexes[i] < 0) {
            char line[CLI_ID_SIZE + 96];
            TextFormat(line, sizeof line, CLI_UNKNOWN_ID, args->operands[i]);
            CliLine(PLAT_STDERR, line);
            return CliExitUsage;
        }
    }
    return CliExitDone;
}

// Apply for one entry at a time, so each gets its own line.
static void SetState(int32_t index, int32_t wanted, int yes, Outcome *outcome)
{
    AutostartItem *item = &ItemCatalogue.items[index];
    char line[TEXT_FIELD_SIZE + 160];
    if (item->enabled == wanted) {
        TextFormat(line, sizeof line, CLI_ALREADY_FORMAT, item->name,
                   wanted ? "enabled" : "disabled");
        CliLine(PLAT_STDOUT, line);
        return;
    }
    // The window asks before this; here the question is --yes.
    if (wanted && !yes && ItemPlacedByAnyUser(item)) {
        TextFormat(line, sizeof line, CLI_ANY_USER_REFUSED, item->name);
        Tell(outcome, line);
        return;
    }
    int32_t *desired = (int32_t *)PlatAllocZero(sizeof(int32_t) * ((size_t)ItemCatalogue.count + 1));
    if (!desired) {
        Tell(outcome, "ERROR: Out of memory; nothing was changed.");
        return;
    }
    for (int32_t i = 0; i < ItemCatalogue.count; ++i)
        desired[i] = ItemCatalogue.items[i].enabled;
    desired[index] = wanted;
    Outcome before = *outcome;
    outcome->item = item;
    int stored = ApplyChanges(desired, ItemCatalogue.count, Tell, outcome);
    PlatFree(desired);
    if (stored == 1) {
        if (LastListBackup()[0])
            TextFormat(line, sizeof line, wanted ? STATUS_LIST_ENABLED : STATUS_LIST_DISABLED,
                       item->name, LastListBackup());
        else
            TextFormat(line, sizeof line, CLI_DONE_FORMAT, wanted ? "Enabled" : "Disabled",
                       item->name);
        CliLine(PLAT_STDOUT, line);
    } else if (outcome->failed == before.failed && outcome->rights == before.rights) {
        ++outcome->failed; // not stored, and the store said nothing: still a failure
    }
}

static void Remove(const AutostartItem *item, const char *id, int yes, Outcome *outcome)
{
    char line[CLI_ID_SIZE + 2 * TEXT_FIELD_SIZE + 96];
    if (!yes) {
        TextFormat(line, sizeof line, CLI_WOULD_REMOVE, item->name, id);
        CliLine(PLAT_STDOUT, line);
        return;
    }
    outcome->item = item;
    // A task's backup and the command that restores it, as the window says.
    if (item->kind == ScheduledTask) {
        RemoveTaskReporting(item, Tell, outcome);
        return;
    }
    char backup[TEXT_FIELD_SIZE] = "";
    int result = RemoveItemWithBackup(item, backup);
    if (result == RemoveDone) {
        TextFormat(line, sizeof line, CLI_REMOVED_FORMAT, item->name, backup);
        Tell(outcome, line);
    } else if (result == RemoveRefused && item->inexact) {
        ReportInexact(Tell, outcome, item);
    } else if (result == RemoveRefused) {
        TextFormat(line, sizeof line, STATUS_REMOVE_REFUSED, item->name,
                   item->cut ? CLI_NAME_TOO_LONG : CauseText(LastStoreError()));
        Tell(outcome, line);
    } else if (result == RemoveNameNotCarried) {
        TextFormat(line, sizeof line, STATUS_NAME_NOT_CARRIED, item->name);
        Tell(outcome, line);
    } else if (result == RemoveFolderIsLink) {
        ReportFolderIsLink(Tell, outcome, BACKUP_FOLDER);
    } else if (result == RemoveBackupFailed) {
        TextFormat(line, sizeof line, "ERROR: \"%s\": the backup could not be written; nothing was deleted.",
                   item->name);
        Tell(outcome, line);
    } else {
        TextFormat(line, sizeof line, CLI_REMOVE_FAILED, item->name,
                   CauseText(LastStoreError()), backup);
        Tell(outcome, line);
    }
}

static int RunOnIds(const CliArguments *args)
{
    int32_t *indexes = (int32_t *)PlatAllocZero(sizeof(int32_t) * (size_t)args->operandCount);
    if (!indexes)
        return CliExitFailed;
    Outcome outcome = {0, 0, NULL};
    int result = FindAll(args, indexes);
    for (int32_t i = 0; result == CliExitDone && i < args->operandCount; ++i) {
        // An id given twice is one entry, changed once.
        int seen = 0;
        for (int32_t j = 0; j < i; ++j)
            seen |= indexes[j] == indexes[i];
        if (seen)
            continue;
        if (args->command == CliRemove)
            Remove(&ItemCatalogue.items[indexes[i]], args->operands[i], args->yes, &outcome);
        else
            SetState(indexes[i], args->command == CliEnable, args->yes, &outcome);
    }
    PlatFree(indexes);
    return result == CliExitDone ? ExitCode(&outcome) : result;
}

// The first key of location whose name ends in "-": what CleanUp keeps or
// deletes as one ("...\\RunOnceEx-" for its sections).
static void CleanUpKeyOf(const char *location, char *key, size_t size)
{
    TextCopy(key, size, location);
    for (char *end = strchr(key, '\\');; end = strchr(end + 1, '\\')) {
        if (!end || (end > key && end[-1] == '-')) {
            if (end)
                *end = '\0';
            return;
        }
    }
}

static int SameCleanUpKey(const AutostartItem *one, const AutostartItem *other)
{
    char a[TEXT_FIELD_SIZE], b[TEXT_FIELD_SIZE];
    CleanUpKeyOf(one->location, a, sizeof a);
    CleanUpKeyOf(other->location, b, sizeof b);
    PlatHive hive = HiveOfItem(one), otherHive = HiveOfItem(other);
    // The policy keys are one for both views of the machine.
    int sameHive = hive == otherHive
                   || (strstr(a, "\\Policies\\") && hive != PLAT_HKCU && otherHive != PLAT_HKCU);
    return sameHive && TextCompareNoCase(a, b) == 0;
}

// The records CleanUp is to delete: the disabled registry entries (not a
// logon place's), outside a key kept whole for a hidden row (marked 1).
static void MarkCleanUpRecords(int32_t *marked, const int32_t *hidden, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        marked[i] = item->kind == RegistryValue && !item->logonPlace
                    && LocationDisabled(item->location);
    }
    for (int32_t i = 0; i < count; ++i)
        for (int32_t j = 0; hidden[i] && j < count; ++j)
            if (marked[j] && SameCleanUpKey(&ItemCatalogue.items[i], &ItemCatalogue.items[j]))
                marked[j] = 0;
}

// Why CleanUp kept an entry it was to delete: another program changed it,
// its key is closed to this process, or a name in its key could not be
// handled (the store keeps that key whole); else Windows refused.
static long KeptCause(const AutostartItem *item, const void *before, uint32_t beforeSize)
{
    uint32_t type = 0, size = 0;
    void *data = NULL;
    if (!ReadWholeValue(HiveOfItem(item), item->location, item->name, 1, &type, &data, &size))
        return CAUSE_DELETE_REFUSED;
    int same = size == beforeSize && (size == 0 || memcmp(data, before, size) == 0);
    PlatFree(data);
    if (!same)
        return PLAT_ERROR_FILE_NOT_FOUND;
    PlatKey key = NULL;
    long opened = PlatRegCreate(HiveOfItem(item), item->location, PLAT_KEY_WRITE, &key);
    if (key)
        PlatRegClose(key);
    if (opened != PLAT_OK)
        return opened;
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem *other = &ItemCatalogue.items[i];
        if (!other->logonPlace && !ItemActionable(other) && other->kind == RegistryValue
            && SameCleanUpKey(item, other))
            return CAUSE_NAME_IN_KEY;
    }
    return CAUSE_DELETE_REFUSED;
}

// Each entry CleanUp was to delete and did not: one line on standard error.
static void TellKept(const int32_t *marked, void **before, const uint32_t *sizes, Outcome *outcome)
{
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        if (!marked[i] || !KeyMayHoldValue(HiveOfItem(item), item->location, item->name))
            continue;
        long cause = KeptCause(item, before[i], sizes[i]);
        char id[CLI_ID_SIZE], line[CLI_ID_SIZE + TEXT_FIELD_SIZE + 192];
        CliItemId(item, NULL, id, sizeof id);
        TextFormat(line, sizeof line, CLI_CLEANUP_KEPT, item->name, id,
                   cause == CAUSE_NAME_IN_KEY ? CLI_NAME_IN_KEY : CauseText(cause));
        CliLine(PLAT_STDERR, line);
        ++*(RightsMissing(item, cause) ? &outcome->rights : &outcome->failed);
    }
}

static int CleanUp(int yes)
{
    // The window's rule: a key holding a row hidden as Windows' own (under
    // the remembered choice) is kept whole, and not counted.
    int32_t count = ItemCatalogue.count;
    int32_t *stored = (int32_t *)PlatAllocZero(sizeof(int32_t) * (3 * (size_t)count + 1));
    if (!stored)
        return CliExitFailed;
    int32_t *hidden = stored + count, *marked = stored + 2 * count;
    int hide = ReadHideWindowsSetting();
    for (int32_t i = 0; i < count; ++i) {
        stored[i] = ItemCatalogue.items[i].enabled;
        hidden[i] = ItemHiddenAsWindows(&ItemCatalogue.items[i], hide);
    }
    // Counted from storage, as CleanUp itself finds it.
    CleanUpCount what;
    CountCleanUpShown(&what, hidden, count);
    int user = what.user, machine = what.machine;
    Outcome outcome = {0, 0, NULL};
    if (user + machine + what.settings == 0 || !yes) {
        char line[512];
        TextCopy(line, sizeof line, STATUS_CLEANUP_NOTHING);
        if (user + machine + what.settings)
            TextFormat(line, sizeof line, CLI_WOULD_CLEAN_UP, user + machine,
                       user + machine == 1 ? "entry" : "entries", user, machine, what.places,
                       (int)what.settings, what.settings == 1 ? "setting" : "settings");
        CliLine(PLAT_STDOUT, line);
        PlatFree(stored);
        return CliExitDone;
    }
    // What each entry held, to tell a value another program changed meanwhile.
    MarkCleanUpRecords(marked, hidden, count);
    void **before = (void **)PlatAllocZero(sizeof(void *) * ((size_t)count + 1));
    uint32_t *sizes = (uint32_t *)PlatAllocZero(sizeof(uint32_t) * ((size_t)count + 1));
    for (int32_t i = 0; before && sizes && i < count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        uint32_t type = 0;
        if (marked[i])
            ReadWholeValue(HiveOfItem(item), item->location, item->name, 1, &type, &before[i],
                           &sizes[i]);
    }
    if (!before || !sizes)
        ++outcome.failed;
    else if (CleanUpDisabledShown(stored, hidden, count, Tell, &outcome))
        outcome.failed += !outcome.failed;
    else
        TellKept(marked, before, sizes, &outcome);
    for (int32_t i = 0; before && i < count; ++i)
        PlatFree(before[i]);
    PlatFree(before);
    PlatFree(sizes);
    PlatFree(stored);
    return ExitCode(&outcome);
}

static int Report(const char *path, int yes)
{
    char line[TEXT_FIELD_SIZE + 96];
    // The window asks before replacing a file; here the question is --yes.
    if (!yes && (PlatFileExists(path) || PlatFileAttributes(path) != PLAT_NO_ATTRIBUTES)) {
        TextFormat(line, sizeof line, CLI_REPORT_EXISTS, path);
        CliLine(PLAT_STDERR, line);
        return CliExitUsage;
    }
    if (!(yes ? WriteHtmlLog(path) : WriteNewHtmlLog(path))) {
        TextFormat(line, sizeof line, CLI_REPORT_FAILED, path);
        CliLine(PLAT_STDERR, line);
        return CliExitFailed;
    }
    TextFormat(line, sizeof line, CLI_REPORT_SAVED, (int)ItemCatalogue.count,
               ItemCatalogue.count == 1 ? "entry" : "entries", path);
    CliLine(PLAT_STDOUT, line);
    return CliExitDone;
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
        return CliExitDone;
    }
    int scanErrors = 0;
    CatalogueErrors = TellScanError;
    CatalogueErrorContext = &scanErrors;
    ScanCatalogue();
    switch (args.command) {
    case CliList:
        result = CliWriteList(args.format, args.allColumns, args.places, args.placeCount)
                     ? CliExitDone
                     : CliExitFailed;
        break;
    case CliReport: result = Report(args.operands[0], args.yes); break;
    case CliCleanUp: result = CleanUp(args.yes); break;
    default: result = RunOnIds(&args); break;
    }
    // A list or report that lacks what the reader could not read is not whole.
    if ((args.command == CliList || args.command == CliReport) && scanErrors
        && result == CliExitDone)
        result = CliExitFailed;
    CatalogueErrors = NULL;
    CatalogueErrorContext = NULL;
    CliFreeArguments(&args);
    return result;
}
