// diff.cpp - the console's view of what changed since the user last
// looked: the same list of entries seen as the window's (store/remembered.h),
// compared, accepted and written as a baseline another machine compares
// with. What a command of this program changes is accepted as it is made.
#include "cli.h"

#include "../store/store.h"

#include <string.h>

#define CLI_FIRST_LOOK \
    "No entries were seen before: the %d listed now are taken as seen; diff shows what " \
    "changes from now on."
#define CLI_REMEMBERED_UNREAD "ERROR: The list of entries seen could not be read: %s."
#define CLI_REMEMBERED_SET_ASIDE \
    "The list of entries seen was not a whole list: it was set aside as \"%s\"; every " \
    "entry is new until accepted."
#define CLI_BASELINE_UNREAD "ERROR: The baseline \"%s\" could not be read: %s."
#define CLI_REMEMBERED_NOT_WRITTEN "ERROR: The list of entries seen could not be saved: %s."
#define CLI_SNAPSHOT_SAVED "Saved %d %s as a baseline: %s"
#define CLI_SNAPSHOT_EXISTS \
    "ERROR: \"%s\" already exists; nothing was written: add --yes to replace it."
#define CLI_SNAPSHOT_FAILED "ERROR: The baseline \"%s\" could not be written: %s."
#define CLI_ACCEPTED "Accepted %d %s as %s now."
#define CLI_ACCEPT_ALL_FAILED \
    "ERROR: The entries could not be accepted: more than the list of entries seen holds, " \
    "or not enough memory; nothing was changed."
#define CLI_NOT_REMEMBERED \
    "ERROR: No entry listed or seen before has the id \"%s\"; nothing was accepted."
#define CLI_INCOMPLETE \
    "%d entries seen before were not looked for (the list may be incomplete): they are " \
    "not said gone."

static void SayCause(const char *format, const char *subject, long cause)
{
    char words[TEXT_FIELD_SIZE], line[3 * TEXT_FIELD_SIZE];
    TextCopy(words, sizeof words, CauseText(cause));
    if (subject)
        TextFormat(line, sizeof line, format, subject, words);
    else
        TextFormat(line, sizeof line, format, words);
    CliLineShown(PLAT_STDERR, line);
}

// The user's list, read; on the first run (or one set aside) made from
// what is listed now and written. Zero, said, when it cannot be had.
static int HaveSeen(RememberedList *seen)
{
    char aside[TEXT_FIELD_SIZE], line[2 * TEXT_FIELD_SIZE];
    long cause = PLAT_OK;
    int read = ReadRemembered(NULL, 1, seen, aside, &cause);
    if (read == RememberedFailed) {
        SayCause(CLI_REMEMBERED_UNREAD, NULL, cause);
        return 0;
    }
    if (read == RememberedDone)
        return 1;
    // Set aside: an empty list from now, every entry new until accepted.
    if (read == RememberedSetAside) {
        TextFormat(line, sizeof line, CLI_REMEMBERED_SET_ASIDE, aside);
        CliLineShown(PLAT_STDERR, line);
    } else if (!AcceptAll(seen, &ItemCatalogue)) {
        return 0;
    }
    long saved = WriteRemembered(NULL, seen);
    if (saved != PLAT_OK) {
        SayCause(CLI_REMEMBERED_NOT_WRITTEN, NULL, saved);
        return 0;
    }
    if (read == RememberedNone) {
        TextFormat(line, sizeof line, CLI_FIRST_LOOK, (int)ItemCatalogue.count);
        CliLine(PLAT_STDERR, line);
    }
    return 1;
}

static const char *const DiffKeys[] = {"change", "id", "name", "place", "command", "was"};

int CliRunDiff(const CliArguments *args)
{
    RememberedList seen;
    if (args->baseline) {
        long cause = PLAT_OK;
        if (ReadRemembered(args->baseline, 0, &seen, NULL, &cause) != RememberedDone) {
            SayCause(CLI_BASELINE_UNREAD, args->baseline, cause);
            return CliExitFailed;
        }
    } else if (!HaveSeen(&seen)) {
        FreeRemembered(&seen);
        return CliExitFailed;
    }
    RememberedMarks marks;
    CompareRemembered(&ItemCatalogue, &seen, &marks);
    if (!marks.marks) {
        FreeRemembered(&seen);
        return CliExitFailed;
    }
    CliRecordsBegin(args->format, DiffKeys, 6);
    char id[ITEM_ID_SIZE], place[TEXT_FIELD_SIZE + 32], was[2 * COMMAND_FIELD_SIZE];
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        if (marks.marks[i] == MarkSame || !ItemRememberedId(&ItemCatalogue, item, id, sizeof id))
            continue;
        ItemPlaceText(item, 0, place, sizeof place);
        was[0] = '\0';
        if (marks.was[i] >= 0)
            ChangeText(item, &seen.entries[marks.was[i]], was, sizeof was);
        const char *texts[] = {marks.marks[i] == MarkNew ? MARK_NEW : MARK_CHANGED, id,
                               ItemShownName(item), place, item->command, was};
        CliRecord(texts);
    }
    for (int32_t j = 0; j < seen.count; ++j) {
        const RememberedEntry *e = &seen.entries[j];
        const char *texts[] = {"gone", e->id, e->name, e->place, e->command, ""};
        if (marks.gone[j])
            CliRecord(texts);
    }
    int whole = CliRecordsEnd();
    if (marks.goneUnsure) {
        char line[256];
        TextFormat(line, sizeof line, CLI_INCOMPLETE, (int)marks.goneUnsure);
        CliLine(PLAT_STDERR, line);
    }
    int differs = marks.newCount + marks.changedCount + marks.goneCount > 0;
    FreeMarks(&marks);
    FreeRemembered(&seen);
    return !whole ? CliExitFailed : differs ? CliExitDiffers : CliExitDone;
}

int CliRunAccept(const CliArguments *args)
{
    RememberedList seen;
    if (!HaveSeen(&seen)) {
        FreeRemembered(&seen);
        return CliExitFailed;
    }
    int32_t accepted = 0;
    if (args->all) {
        // Counted as diff would list them: what is marked, and what is gone.
        RememberedMarks marks;
        CompareRemembered(&ItemCatalogue, &seen, &marks);
        int32_t marked = marks.newCount + marks.changedCount + marks.goneCount;
        FreeMarks(&marks);
        if (!AcceptAll(&seen, &ItemCatalogue)) {
            CliLine(PLAT_STDERR, CLI_ACCEPT_ALL_FAILED);
            FreeRemembered(&seen);
            return CliExitFailed;
        }
        accepted = marked;
    } else {
        // Every id is checked first: one that names nothing accepts nothing.
        for (int32_t k = 0; k < args->operandCount; ++k) {
            int known = FindItemById(args->operands[k]) >= 0;
            for (int32_t j = 0; !known && j < seen.count; ++j)
                known = PlatNamesEqual(seen.entries[j].id, args->operands[k]);
            if (!known) {
                char line[ITEM_ID_SIZE + 128];
                TextFormat(line, sizeof line, CLI_NOT_REMEMBERED, args->operands[k]);
                CliLineShown(PLAT_STDERR, line);
                FreeRemembered(&seen);
                return CliExitUsage;
            }
        }
        // An id of an entry's other place names it too: its home id is kept.
        char home[ITEM_ID_SIZE];
        for (int32_t k = 0; k < args->operandCount; ++k) {
            int32_t index = FindItemById(args->operands[k]);
            const char *one[1] = {args->operands[k]};
            if (index >= 0
                && ItemRememberedId(&ItemCatalogue, &ItemCatalogue.items[index], home, sizeof home))
                one[0] = home;
            accepted += AcceptIds(&seen, &ItemCatalogue, one, 1);
        }
    }
    long saved = WriteRemembered(NULL, &seen);
    FreeRemembered(&seen);
    if (saved != PLAT_OK) {
        SayCause(CLI_REMEMBERED_NOT_WRITTEN, NULL, saved);
        return CliExitFailed;
    }
    char line[96];
    TextFormat(line, sizeof line, CLI_ACCEPTED, (int)accepted, accepted == 1 ? "entry" : "entries",
               accepted == 1 ? "it is" : "they are");
    CliLine(PLAT_STDOUT, line);
    return CliExitDone;
}

int CliRunSnapshot(const CliArguments *args)
{
    // As report: an existing file is replaced only with --yes.
    const char *file = args->operands[0];
    if (!args->yes && (PlatFileExists(file) || PlatFileAttributes(file) != PLAT_NO_ATTRIBUTES)) {
        char line[TEXT_FIELD_SIZE + 96];
        TextFormat(line, sizeof line, CLI_SNAPSHOT_EXISTS, file);
        CliLineShown(PLAT_STDERR, line);
        return CliExitUsage;
    }
    RememberedList now;
    memset(&now, 0, sizeof now);
    if (!AcceptAll(&now, &ItemCatalogue))
        return CliExitFailed;
    long saved = WriteRemembered(args->operands[0], &now);
    FreeRemembered(&now);
    if (saved != PLAT_OK) {
        SayCause(CLI_SNAPSHOT_FAILED, args->operands[0], saved);
        return CliExitFailed;
    }
    char line[2 * TEXT_FIELD_SIZE];
    TextFormat(line, sizeof line, CLI_SNAPSHOT_SAVED, (int)ItemCatalogue.count,
               ItemCatalogue.count == 1 ? "entry" : "entries", args->operands[0]);
    CliLineShown(PLAT_STDOUT, line);
    return CliExitDone;
}

// ---- this program's own changes ------------------------------------------------

static OwnChanges Changed;

void CliNoteChange(const AutostartItem *item)
{
    NoteChangedItem(&Changed, &ItemCatalogue, item);
}

void CliAcceptOwnChanges(const CliArguments *args, int cleanedUp)
{
    if (!Changed.count && !cleanedUp)
        return;
    RememberedList seen;
    long cause = PLAT_OK;
    // A list that cannot be read, or is not whole, is left as it is for
    // the next diff to say so; none yet is made by it from what is there.
    if (ReadRemembered(NULL, 0, &seen, NULL, &cause) != RememberedDone) {
        FreeRemembered(&seen);
        Changed.count = 0;
        return;
    }
    // Read as the command read: the entries changed are read whole.
    if (CliScan(args))
        ReadChangedDetails(&ItemCatalogue, &Changed);
    AcceptOwnChanges(&seen, &ItemCatalogue, &Changed);
    if (cleanedUp)
        AcceptCleanedUp(&seen, &ItemCatalogue);
    long saved = WriteRemembered(NULL, &seen);
    if (saved != PLAT_OK)
        SayCause(CLI_REMEMBERED_NOT_WRITTEN, NULL, saved);
    FreeRemembered(&seen);
}
