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
#define CLI_UNKNOWN_ID "ERROR: No entry has the id \"%s\"; nothing was changed (see orvanec list)."

// What the commands tell, counted for the exit code.
struct Outcome {
    int failed;
    int rights;
};

// A store text: a failure goes to standard error and counts, as one that
// needs administrator rights or as another; anything else is a result.
static void Tell(void *context, const char *text)
{
    Outcome *outcome = (Outcome *)context;
    int error = strncmp(text, "ERROR", 5) == 0;
    if (strstr(text, CauseText(PLAT_ERROR_ACCESS_DENIED)))
        ++outcome->rights;
    else if (error)
        ++outcome->failed;
    CliLine(error ? PLAT_STDERR : PLAT_STDOUT, text);
}

// The scan's failures, one line each on standard error.
static void TellScanError(void *, const char *subject, const char *text)
{
    char line[2 * TEXT_FIELD_SIZE + 32];
    TextFormat(line, sizeof line, "ERROR: \"%s\": %s", subject, text);
    CliLine(PLAT_STDERR, line);
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
    char backup[TEXT_FIELD_SIZE] = "";
    int result = RemoveItemWithBackup(item, backup);
    if (result == RemoveDone) {
        TextFormat(line, sizeof line, CLI_REMOVED_FORMAT, item->name, backup);
        Tell(outcome, line);
    } else if (result == RemoveRefused
               && ((item->logonPlace && LastStoreError() != PLAT_OK)
                   || LastStoreError() == CAUSE_PLACE_IS_LINK)) {
        TextFormat(line, sizeof line, STATUS_REMOVE_REFUSED, item->name,
                   CauseText(LastStoreError()));
        Tell(outcome, line);
    } else if (result == RemoveRefused) {
        ReportInexact(Tell, outcome, item);
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
    Outcome outcome = {0, 0};
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

static int CleanUp(int yes)
{
    // Counted from storage, as CleanUp itself finds it.
    CleanUpCount what;
    CountCleanUp(&what);
    int user = what.user, machine = what.machine;
    if (user + machine + what.settings == 0) {
        CliLine(PLAT_STDOUT, STATUS_CLEANUP_NOTHING);
        return CliExitDone;
    }
    Outcome outcome = {0, 0};
    if (!yes) {
        char line[512];
        TextFormat(line, sizeof line, CLI_WOULD_CLEAN_UP, user + machine,
                   user + machine == 1 ? "entry" : "entries", user, machine, what.places,
                   (int)what.settings, what.settings == 1 ? "setting" : "settings");
        CliLine(PLAT_STDOUT, line);
        return CliExitDone;
    }
    int32_t *stored = (int32_t *)PlatAllocZero(sizeof(int32_t) * ((size_t)ItemCatalogue.count + 1));
    if (!stored)
        return CliExitFailed;
    for (int32_t i = 0; i < ItemCatalogue.count; ++i)
        stored[i] = ItemCatalogue.items[i].enabled;
    if (CleanUpDisabled(stored, ItemCatalogue.count, Tell, &outcome) && !outcome.failed)
        ++outcome.failed;
    PlatFree(stored);
    return ExitCode(&outcome);
}

static int Report(const char *path)
{
    char line[TEXT_FIELD_SIZE + 96];
    if (!WriteHtmlLog(path)) {
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
    CatalogueErrors = TellScanError;
    ScanCatalogue();
    switch (args.command) {
    case CliList:
        result = CliWriteList(args.format, args.allColumns, args.places, args.placeCount)
                     ? CliExitDone
                     : CliExitFailed;
        break;
    case CliReport: result = Report(args.operands[0]); break;
    case CliCleanUp: result = CleanUp(args.yes); break;
    default: result = RunOnIds(&args); break;
    }
    CatalogueErrors = NULL;
    CliFreeArguments(&args);
    return result;
}
