// journal.cpp - the history of every change this program made (see
// journal.h).
//
// The file is UTF-8 text, one line per record, its fields written as the
// remembered entries' are (storage.h):
//   Orvane Tool history 1
//   change <TAB> number <TAB> time <TAB> front <TAB> op <TAB> undoBy <TAB> undoes <TAB> kind
//     <TAB> scope <TAB> view <TAB> logonPlace <TAB> id <TAB> name <TAB> placeBefore <TAB>
//     placeAfter <TAB> stateBefore <TAB> stateAfter <TAB> commandBefore <TAB> commandAfter
//     <TAB> backup <TAB> backupSize <TAB> backupHash <TAB> afterHash <TAB> securityHash
//     <TAB> entries <TAB> check
// time is a FILETIME in 16 hex digits; check is the FNV-1a hash of the
// line's bytes before its last tab, in 8 hex digits, so a line cut short or
// overwritten in part is known. Records are only ever appended, whole, in
// one write while the file is held against other writers.
#include "journal.h"

#include "reg_reader.h"
#include "remembered.h"
#include "store.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char *const OpWords[] = {"enable", "disable", "remove", "cleanup",
                                      "add",    "edit",    "undo",   "backup",
                                      "delay"};
#define OP_WORD_COUNT (int32_t)(sizeof OpWords / sizeof OpWords[0])

const char *JournalOpWord(int32_t op)
{
    return op >= 0 && op < OP_WORD_COUNT ? OpWords[op] : "?";
}

int JournalPath(char *path)
{
    char remembered[TEXT_FIELD_SIZE];
    if (!RememberedPath(remembered))
        return 0;
    char *name = strrchr(remembered, '\\');
    if (!name)
        return 0;
    name[1] = '\0';
    return TextFormat(path, TEXT_FIELD_SIZE, "%s%s", remembered, JOURNAL_FILE);
}

static uint32_t LineCheck(const char *line, size_t length)
{
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < length; ++i)
        h = (h ^ (unsigned char)line[i]) * 16777619u;
    return h;
}

static void VouchBackup(const char *hash);
static int BackupVouched(const char *hash);

// ---- writing -----------------------------------------------------------------

// The record's line, its check and line feed included (PlatFree it).
static char *RecordLine(const JournalRecord *r, uint32_t *length)
{
    size_t room = 2 * sizeof *r + 512;
    char *text = (char *)PlatAllocZero(room);
    if (!text)
        return NULL;
    char number[24], time[24], undoBy[16], undoes[16], kind[16], view[16], logon[16];
    char before[16], after[16], size[24], entries[16];
    TextFormat(number, sizeof number, "%ld", (long)r->number);
    TextFormat(time, sizeof time, "%08lx%08lx", (unsigned long)(r->time >> 32),
               (unsigned long)(r->time & 0xFFFFFFFFu));
    TextFormat(undoBy, sizeof undoBy, "%ld", (long)r->undoBy);
    TextFormat(undoes, sizeof undoes, "%ld", (long)r->undoes);
    TextFormat(kind, sizeof kind, "%ld", (long)r->kind);
    TextFormat(view, sizeof view, "%ld", (long)r->view);
    TextFormat(logon, sizeof logon, "%ld", (long)r->logonPlace);
    TextFormat(before, sizeof before, "%ld", (long)r->stateBefore);
    TextFormat(after, sizeof after, "%ld", (long)r->stateAfter);
    TextFormat(size, sizeof size, "%lu", (unsigned long)r->backupSize);
    TextFormat(entries, sizeof entries, "%ld", (long)r->entries);
    const char *fields[] = {"change",          number,           time,
                            r->front,          JournalOpWord(r->op), undoBy,
                            undoes,            kind,             r->scope,
                            view,              logon,            r->id,
                            r->name,           r->placeBefore,   r->placeAfter,
                            before,            after,            r->commandBefore,
                            r->commandAfter,   r->backup,        size,
                            r->backupHash,     r->afterHash,     r->securityHash,
                            entries};
    char *out = text;
    for (size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i)
        out = PutTextField(out, fields[i], 0);
    // The check covers everything before the tab that precedes it.
    uint32_t check = LineCheck(text, (size_t)(out - 1 - text));
    TextFormat(out, 16, "%08lx\n", (unsigned long)check);
    *length = (uint32_t)(out - text) + 9;
    return text;
}

// Reads what the held file holds (PlatFree it); null past the bound or
// without memory (*cause says which).
static char *ReadHeld(PlatFile file, const char *path, uint32_t *length, long *cause)
{
    uint32_t room = 64 * 1024, used = 0;
    char *text = (char *)PlatAllocZero(room + 1);
    while (text) {
        uint32_t got = PlatFileRead(file, text + used, room - used);
        if (!got)
            break;
        used += got;
        if (used == room) {
            if (room >= JOURNAL_FILE_MOST) {
                PlatFree(text);
                *cause = CAUSE_JOURNAL_FULL;
                return NULL;
            }
            char *bigger = (char *)PlatAllocZero((size_t)room * 2 + 1);
            if (bigger)
                memcpy(bigger, text, used);
            PlatFree(text);
            text = bigger;
            room *= 2;
        }
    }
    // A read that fails ends like the file's end: its size tells them
    // apart, so a history read in part is never taken for the whole.
    uint64_t size = 0, written = 0;
    if (text && PlatFileStamp(path, &size, &written) && size != used) {
        PlatFree(text);
        text = NULL;
        *cause = PLAT_ERROR_READ_FAULT;
    } else if (!text) {
        *cause = PLAT_ERROR_OUTOFMEMORY;
    }
    *length = used;
    return text;
}

static int ParseRecord(const char *line, JournalRecord *r);

// The longest line a record can take: every field escaped, with its tabs.
#define RECORD_LINE_MOST (2 * sizeof(JournalRecord) + 512)

// Copies the next line of [*at, end) into line (RECORD_LINE_MOST bytes),
// split by length at its line feed (a carriage return before it dropped),
// never at a zero byte, and steps past it; the text itself is not changed,
// so two passes see the same lines. Zero at the end. *damaged is nonzero
// for a line that holds a zero byte (a write torn on disk, a byte changed)
// or is longer than any record: no record, and one that hides none after it.
static int NextRecordLine(const char **at, const char *end, char *line, int *damaged)
{
    const char *start = *at;
    if (start >= end)
        return 0;
    const char *feed = (const char *)memchr(start, '\n', (size_t)(end - start));
    const char *stop = feed ? feed : end;
    *at = feed ? feed + 1 : end;
    if (stop > start && stop[-1] == '\r')
        --stop;
    size_t length = (size_t)(stop - start);
    const char *zero = (const char *)memchr(start, '\0', length);
    *damaged = length >= RECORD_LINE_MOST || zero != NULL;
    // A damaged line keeps what comes before its first zero, for its number.
    if (zero)
        length = (size_t)(zero - start);
    if (length >= RECORD_LINE_MOST)
        length = RECORD_LINE_MOST - 1;
    memcpy(line, start, length);
    line[length] = '\0';
    return 1;
}

// The highest number of the file's whole records; -1 when the text is no
// journal of ours.
static int32_t LastNumber(const char *text, uint32_t length)
{
    if (length == 0)
        return 0;
    size_t header = strlen(JOURNAL_HEADER);
    if (length < header + 1 || memcmp(text, JOURNAL_HEADER, header) != 0
        || (text[header] != '\n' && text[header] != '\r'))
        return -1;
    int32_t last = 0;
    // The highest of the whole file: a number is never given twice.
    JournalRecord *r = (JournalRecord *)PlatAllocZero(sizeof *r);
    char *line = (char *)PlatAllocZero(RECORD_LINE_MOST + 1);
    const char *at = text + header;
    int damaged = 0;
    while (r && line && NextRecordLine(&at, text + length, line, &damaged)) {
        int whole = !damaged && ParseRecord(line, r);
        if (whole && r->number > last)
            last = r->number;
        // A damaged record's number is never given again either, so an
        // undo that names it names no other.
        if (!whole && strncmp(line, "change\t", 7) == 0) {
            long long n = 0;
            for (const char *d = line + 7; *d >= '0' && *d <= '9' && n < 0x7FFFFFFF; ++d)
                n = n * 10 + (*d - '0');
            if (n > last && n < 0x7FFFFFFF)
                last = (int32_t)n;
        }
    }
    int read = r && line;
    PlatFree(r);
    PlatFree(line);
    return read ? last : -2;
}

static long AppendHeld(PlatFile file, const char *path, JournalRecord *record)
{
    uint32_t length = 0;
    long cause = PLAT_OK;
    char *text = ReadHeld(file, path, &length, &cause);
    if (!text)
        return cause;
    int endsWhole = length == 0 || text[length - 1] == '\n';
    int32_t last = LastNumber(text, length);
    PlatFree(text);
    if (last == -2)
        return PLAT_ERROR_OUTOFMEMORY;
    if (last < 0)
        return CAUSE_JOURNAL_FOREIGN;
    // The numbers end here: the history is full rather than wrapped.
    if (last >= 0x7FFFFFFE)
        return CAUSE_JOURNAL_FULL;
    record->number = last + 1;
    record->time = PlatFileTimeNow();
    uint32_t lineLength = 0;
    char *line = RecordLine(record, &lineLength);
    if (!line)
        return PLAT_ERROR_OUTOFMEMORY;
    // One write: the header when new, a line feed closing a torn last
    // record (so it stays one damaged line), then the record.
    size_t room = strlen(JOURNAL_HEADER) + 2 + lineLength + 1;
    char *block = (char *)PlatAllocZero(room);
    long error = PLAT_OK;
    if (!block) {
        error = PLAT_ERROR_OUTOFMEMORY;
    } else {
        TextFormat(block, room, "%s%s", length == 0 ? JOURNAL_HEADER "\n" : "", endsWhole ? "" : "\n");
        size_t lead = strlen(block);
        memcpy(block + lead, line, lineLength);
        if (!PlatFileWrite(file, block, (uint32_t)(lead + lineLength)))
            error = PlatLastError();
    }
    if (error == PLAT_OK && PlatIsElevated()) {
        char hash[JOURNAL_HASH_SIZE];
        Sha256Of(line, lineLength, hash);
        VouchBackup(hash);
    }
    PlatFree(block);
    PlatFree(line);
    return error;
}

long AppendJournal(const char *path, JournalRecord *record)
{
    char own[TEXT_FIELD_SIZE];
    if (!path && !JournalPath(own))
        return PLAT_ERROR_PATH_NOT_FOUND;
    path = path ? path : own;
    PlatPlace place = NULL;
    long cause = HoldPlace(path, NULL, 1, 1, &place);
    if (cause != PLAT_OK) {
        ReleasePlace(place);
        return cause;
    }
    // Another instance appending holds the file a moment: wait for it.
    PlatFile file = NULL;
    for (int tries = 0; !file && tries < 40; ++tries) {
        file = PlatFileAppend(path);
        if (!file && PlatLastError() != 32)
            break;
        if (!file)
            PlatSleep(50);
    }
    if (!file) {
        cause = PlaceError(1, place, PlatLastError());
    } else {
        // A record written whole is in the file, whatever closing it says;
        // its check tells a reader whether it is.
        cause = AppendHeld(file, path, record);
        PlatFileClose(file);
        if (cause == PLAT_OK && !PlaceStillHeld(place))
            cause = LastStoreError();
        if (cause != PLAT_OK)
            cause = PlaceError(1, place, cause);
    }
    ReleasePlace(place);
    return cause;
}

// ---- reading -----------------------------------------------------------------

static int TakeNumber(const char **at, int64_t *value, int last)
{
    char field[24];
    if (!TakeTextField(at, field, sizeof field, last) || !field[0])
        return 0;
    char *end = NULL;
    long long n = strtoll(field, &end, 10);
    if (*end)
        return 0;
    *value = n;
    return 1;
}

static int TakeInt(const char **at, int32_t *value)
{
    int64_t n = 0;
    if (!TakeNumber(at, &n, 0) || n < -1 || n > 0x7FFFFFFF)
        return 0;
    *value = (int32_t)n;
    return 1;
}

static int TakeHex(const char **at, uint64_t *value)
{
    char field[24];
    if (!TakeTextField(at, field, sizeof field, 0) || strlen(field) != 16)
        return 0;
    uint64_t n = 0;
    for (const char *p = field; *p; ++p) {
        int digit = *p >= '0' && *p <= '9' ? *p - '0' : *p >= 'a' && *p <= 'f' ? *p - 'a' + 10 : -1;
        if (digit < 0)
            return 0;
        n = n << 4 | (uint64_t)digit;
    }
    *value = n;
    return 1;
}

static int TakeOp(const char **at, int32_t *op)
{
    char word[16];
    if (!TakeTextField(at, word, sizeof word, 0))
        return 0;
    // A backup not recorded is never a record of the file.
    for (int32_t i = 0; i < OP_WORD_COUNT; ++i)
        if (i != JournalUnrecorded && strcmp(word, OpWords[i]) == 0)
            return *op = i, 1;
    return 0;
}

static int HashField(const char *hash)
{
    if (!hash[0])
        return 1;
    if (strlen(hash) != 64)
        return 0;
    for (const char *p = hash; *p; ++p)
        if (!((*p >= '0' && *p <= '9') || (*p >= 'a' && *p <= 'f')))
            return 0;
    return 1;
}

// Nonzero when the line is a whole record, read into r.
static int ParseRecord(const char *line, JournalRecord *r)
{
    const char *lastTab = strrchr(line, '\t');
    if (!lastTab || strlen(lastTab + 1) != 8)
        return 0;
    char checkText[12];
    TextFormat(checkText, sizeof checkText, "%08lx",
               (unsigned long)LineCheck(line, (size_t)(lastTab - line)));
    if (strcmp(checkText, lastTab + 1) != 0)
        return 0;
    memset(r, 0, sizeof *r);
    const char *at = line;
    char tag[8];
    int64_t size = 0, number = 0;
    int32_t undoBy = 0;
    int ok = TakeTextField(&at, tag, sizeof tag, 0) && strcmp(tag, "change") == 0
             && TakeNumber(&at, &number, 0) && number > 0 && number <= 0x7FFFFFFF
             && TakeHex(&at, &r->time) && TakeTextField(&at, r->front, sizeof r->front, 0)
             && TakeOp(&at, &r->op) && TakeInt(&at, &undoBy) && undoBy >= UndoByNothing
             && undoBy <= UndoByDelay && TakeInt(&at, &r->undoes)
             && TakeInt(&at, &r->kind) && TakeTextField(&at, r->scope, sizeof r->scope, 0)
             && TakeInt(&at, &r->view) && TakeInt(&at, &r->logonPlace)
             && TakeTextField(&at, r->id, sizeof r->id, 0)
             && TakeTextField(&at, r->name, sizeof r->name, 0)
             && TakeTextField(&at, r->placeBefore, sizeof r->placeBefore, 0)
             && TakeTextField(&at, r->placeAfter, sizeof r->placeAfter, 0)
             && TakeInt(&at, &r->stateBefore) && TakeInt(&at, &r->stateAfter)
             && TakeTextField(&at, r->commandBefore, sizeof r->commandBefore, 0)
             && TakeTextField(&at, r->commandAfter, sizeof r->commandAfter, 0)
             && TakeTextField(&at, r->backup, sizeof r->backup, 0) && TakeNumber(&at, &size, 0)
             && size >= 0 && TakeTextField(&at, r->backupHash, sizeof r->backupHash, 0)
             && HashField(r->backupHash) && TakeTextField(&at, r->afterHash, sizeof r->afterHash, 0)
             && HashField(r->afterHash)
             && TakeTextField(&at, r->securityHash, sizeof r->securityHash, 0)
             && HashField(r->securityHash) && TakeInt(&at, &r->entries) && at == lastTab + 1;
    r->number = (int32_t)number;
    r->undoBy = undoBy;
    r->backupSize = (uint64_t)size;
    return ok;
}

void FreeJournal(JournalList *list)
{
    PlatFree(list->records);
    memset(list, 0, sizeof *list);
}

long ReadJournal(const char *path, JournalList *list)
{
    memset(list, 0, sizeof *list);
    char own[TEXT_FIELD_SIZE];
    if (!path && !JournalPath(own))
        return PLAT_ERROR_PATH_NOT_FOUND;
    path = path ? path : own;
    PlatFile file = PlatFileHold(path);
    if (!file) {
        long error = PlatLastError();
        return error == PLAT_ERROR_FILE_NOT_FOUND || error == PLAT_ERROR_PATH_NOT_FOUND
                   ? (long)PLAT_OK
                   : error;
    }
    uint32_t length = 0;
    long cause = PLAT_OK;
    char *text = ReadHeld(file, path, &length, &cause);
    PlatFileClose(file);
    if (!text)
        return cause;
    size_t header = strlen(JOURNAL_HEADER);
    if (length && (length < header + 1 || memcmp(text, JOURNAL_HEADER, header) != 0
                   || (text[header] != '\n' && text[header] != '\r'))) {
        PlatFree(text);
        return CAUSE_JOURNAL_FOREIGN;
    }
    JournalRecord *r = (JournalRecord *)PlatAllocZero(sizeof *r);
    char *line = (char *)PlatAllocZero(RECORD_LINE_MOST + 1);
    if (!r || !line) {
        PlatFree(r);
        PlatFree(line);
        PlatFree(text);
        return PLAT_ERROR_OUTOFMEMORY;
    }
    // First the whole records are counted, then the newest are kept. A
    // line that is no whole record (cut short, overwritten) is left out.
    int32_t whole = 0;
    const char *start = length ? text + header : text;
    const char *at = start;
    int damaged = 0;
    while (NextRecordLine(&at, text + length, line, &damaged)) {
        if (!line[0] && !damaged)
            continue;
        if (!damaged && ParseRecord(line, r)) {
            ++whole;
            if (r->number > list->lastNumber)
                list->lastNumber = r->number;
        } else {
            ++list->torn;
        }
    }
    int32_t keep = whole < JOURNAL_SHOWN ? whole : JOURNAL_SHOWN;
    list->older = whole - keep;
    list->records = keep ? (JournalRecord *)PlatAllocZero((size_t)keep * sizeof *list->records) : NULL;
    long result = keep && !list->records ? (long)PLAT_ERROR_OUTOFMEMORY : (long)PLAT_OK;
    int32_t seen = 0;
    for (at = start; result == PLAT_OK && NextRecordLine(&at, text + length, line, &damaged);) {
        if (damaged || !line[0] || !ParseRecord(line, r))
            continue;
        if (++seen > list->older && list->count < keep)
            list->records[list->count++] = *r;
    }
    PlatFree(r);
    PlatFree(line);
    PlatFree(text);
    if (result != PLAT_OK)
        FreeJournal(list);
    return result;
}

int32_t *JournalNewestFirst(const JournalList *list)
{
    int32_t *order = (int32_t *)PlatAllocZero(sizeof(int32_t) * ((size_t)list->count + 1));
    if (!order)
        return NULL;
    int32_t recorded = 0;
    while (recorded < list->count && list->records[recorded].op != JournalUnrecorded)
        ++recorded;
    // The backups not recorded, newest first (a handful: insertion).
    int32_t loose = list->count - recorded;
    int32_t *backups = order + recorded;
    for (int32_t i = 0; i < loose; ++i) {
        int32_t j = i;
        for (; j > 0 && list->records[backups[j - 1]].time < list->records[recorded + i].time; --j)
            backups[j] = backups[j - 1];
        backups[j] = recorded + i;
    }
    // Merged with the recorded ones, read from their newest end.
    int32_t *merged = (int32_t *)PlatAllocZero(sizeof(int32_t) * ((size_t)list->count + 1));
    if (!merged) {
        PlatFree(order);
        return NULL;
    }
    int32_t r = recorded - 1, b = 0, n = 0;
    while (r >= 0 || b < loose) {
        int takeBackup = b < loose
                         && (r < 0 || list->records[backups[b]].time > list->records[r].time);
        merged[n++] = takeBackup ? backups[b++] : r--;
    }
    PlatFree(order);
    return merged;
}

const JournalRecord *FindJournalRecord(const JournalList *list, int32_t number)
{
    for (int32_t i = 0; i < list->count; ++i)
        if (list->records[i].number == number)
            return &list->records[i];
    return NULL;
}

// ---- words -----------------------------------------------------------------------

static const char *const MonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

void JournalTimeText(const JournalRecord *record, char *text, size_t size)
{
    PlatTime t;
    if (!PlatFileTimeToLocal(record->time, &t)) {
        TextCopy(text, size, "?");
        return;
    }
    TextFormat(text, size, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour,
               t.minute, t.second);
}

// Where the entry was or is, in a few words: "HKCU Run", "HKLM Run- (32-bit)",
// "Startup folder", "Task Scheduler".
static void PlaceWords(const JournalRecord *r, char *text, size_t size)
{
    const char *place = r->placeAfter[0] ? r->placeAfter : r->placeBefore;
    const char *last = strrchr(place, '\\');
    last = last ? last + 1 : place;
    if (r->kind == ScheduledTask)
        TextCopy(text, size, "Task Scheduler");
    else if (r->kind == PackagedApp)
        TextCopy(text, size, "packaged app");
    else if (r->kind == Shortcut)
        TextFormat(text, size, "%s%s",
                   strncmp(last, "Disabled", 8) == 0 ? "disabled, " : "",
                   ScopeIsUser(r->scope) ? "Startup folder" : "all users' Startup folder");
    else
        TextFormat(text, size, "%s %s%s", ScopeIsUser(r->scope) ? "HKCU" : "HKLM", last,
                   r->view == View32 ? " (32-bit)" : "");
}

static void ChangeWords(const JournalRecord *r, char *text, size_t size)
{
    static const char *const verbs[] = {"Enabled", "Disabled", "Removed", "", "Added", "Edited"};
    char name[TEXT_FIELD_SIZE], place[TEXT_FIELD_SIZE];
    const char *stored = r->name[0] || r->kind != RegistryValue ? r->name : DEFAULT_VALUE_NAME;
    TextCopyVisible(name, sizeof name, stored, 0);
    PlaceWords(r, place, sizeof place);
    if (r->op == JournalCleanUp)
        TextFormat(text, size, "Removed %ld %s by CleanUp", (long)r->entries,
                   r->entries == 1 ? "entry" : "entries");
    else if (r->op >= JournalEnable && r->op <= JournalEdit)
        TextFormat(text, size, "%s \"%s\" (%s)", verbs[r->op], name, place);
    else if (r->op == JournalDelay) {
        char when[64];
        StartLaterWords(r->stateAfter, when, sizeof when);
        TextFormat(text, size, "Set \"%s\" (%s) to start %s", name, place, when + strlen("starts "));
    }
    else
        TextFormat(text, size, "\"%s\" (%s)", name, place);
}

void JournalWords(const JournalList *list, const JournalRecord *record, char *text, size_t size)
{
    char words[JOURNAL_WORDS_SIZE];
    if (record->op == JournalUnrecorded) {
        PlatTime t;
        const char *file = strrchr(record->backup, '\\');
        char date[64] = "?";
        if (PlatFileTimeToLocal(record->time, &t) && t.month >= 1 && t.month <= 12)
            TextFormat(date, sizeof date, "%d %s %04d %02d:%02d", t.day, MonthNames[t.month - 1],
                       t.year, t.hour, t.minute);
        TextCopyVisible(words, sizeof words, file ? file + 1 : record->backup, 0);
        TextFormat(text, size, "Backup of %s, not recorded: %s", date, words);
        return;
    }
    if (record->op != JournalUndo) {
        ChangeWords(record, text, size);
        return;
    }
    const JournalRecord *undone = list ? FindJournalRecord(list, record->undoes) : NULL;
    if (undone && undone->op != JournalUndo)
        ChangeWords(undone, words, sizeof words);
    else
        ChangeWords(record, words, sizeof words);
    if (record->undoes > 0)
        TextFormat(text, size, "Undid change %ld: %s", (long)record->undoes, words);
    else
        TextFormat(text, size, "Restored a backup not recorded: %s", words);
}

// ---- hashes --------------------------------------------------------------------

long HashBackupFile(const char *path, uint64_t *size, char *hash)
{
    *size = 0;
    hash[0] = '\0';
    PlatFile file = PlatFileHold(path);
    if (!file)
        return PlatLastError();
    Sha256 s;
    Sha256Begin(&s);
    unsigned char block[4096];
    for (uint32_t got; (got = PlatFileRead(file, block, sizeof block)) != 0;) {
        Sha256Add(&s, block, got);
        *size += got;
    }
    PlatFileClose(file);
    Sha256End(&s, hash);
    return PLAT_OK;
}

#define WRITTEN_NOTES 8
static struct {
    char path[TEXT_FIELD_SIZE];
    uint64_t size;
    char hash[JOURNAL_HASH_SIZE];
} Written[WRITTEN_NOTES];
static int WrittenNext = 0;

void NoteWrittenBackup(const char *path, uint64_t size, const char *hash)
{
    TextCopy(Written[WrittenNext].path, sizeof Written[WrittenNext].path, path);
    Written[WrittenNext].size = size;
    TextCopy(Written[WrittenNext].hash, sizeof Written[WrittenNext].hash, hash);
    WrittenNext = (WrittenNext + 1) % WRITTEN_NOTES;
}

int WrittenBackupHash(const char *path, uint64_t *size, char *hash)
{
    // Newest first: a name is made again once its file is gone.
    for (int k = 1; k <= WRITTEN_NOTES; ++k) {
        int i = (WrittenNext - k + WRITTEN_NOTES) % WRITTEN_NOTES;
        if (Written[i].path[0] && strcmp(Written[i].path, path) == 0) {
            *size = Written[i].size;
            TextCopy(hash, JOURNAL_HASH_SIZE, Written[i].hash);
            return 1;
        }
    }
    return 0;
}

static void VouchBackup(const char *hash)
{
    PlatKey key = NULL;
    if (!hash[0] || !PlatIsElevated() || PlatRegCreate(PLAT_HKLM, VOUCHED_KEY, PLAT_KEY_WRITE, &key) != PLAT_OK)
        return;
    uint32_t one = 1;
    PlatRegWriteRaw(key, hash, PLAT_REG_DWORD, &one, sizeof one);
    PlatRegClose(key);
}

static int BackupVouched(const char *hash)
{
    PlatKey key = NULL;
    if (!hash[0] || PlatRegOpenRead(PLAT_HKLM, VOUCHED_KEY, &key) != PLAT_OK)
        return 0;
    uint32_t type = 0, value = 0, size = sizeof value;
    long read = PlatRegReadRaw(key, hash, &type, &value, &size);
    PlatRegClose(key);
    return read == PLAT_OK && type == PLAT_REG_DWORD && value == 1;
}

int RecordVouched(const JournalRecord *record)
{
    uint32_t length = 0;
    char *line = record->op == JournalUnrecorded ? NULL : RecordLine(record, &length);
    if (!line)
        return 0;
    char hash[JOURNAL_HASH_SIZE];
    Sha256Of(line, length, hash);
    PlatFree(line);
    return BackupVouched(hash);
}

// The SHA-256 of what the values a backup names hold now (each: its key,
// name, whether it is there, its type and bytes): JOURNAL_HASH_SIZE.
// Zero when one cannot be read.
int RegStateHash(const RegFileContent *content, char *hash)
{
    Sha256 s;
    Sha256Begin(&s);
    for (int32_t i = 0; i < content->count; ++i) {
        const RegFileValue *v = &content->values[i];
        uint32_t type = PLAT_REG_NONE, size = 0;
        void *data = NULL;
        int there = ReadWholeValue(v->hive, v->path, v->name, 1, &type, &data, &size);
        // There, but not read whole: nothing can be said of it.
        if (!there && KeyMayHoldValue(v->hive, v->path, v->name))
            return 0;
        unsigned char hive = (unsigned char)v->hive;
        Sha256Add(&s, &hive, 1);
        Sha256Add(&s, v->path, strlen(v->path) + 1);
        Sha256Add(&s, v->name, strlen(v->name) + 1);
        unsigned char head[9] = {(unsigned char)(there != 0),
                                 (unsigned char)type, (unsigned char)(type >> 8),
                                 (unsigned char)(type >> 16), (unsigned char)(type >> 24),
                                 (unsigned char)size, (unsigned char)(size >> 8),
                                 (unsigned char)(size >> 16), (unsigned char)(size >> 24)};
        Sha256Add(&s, head, sizeof head);
        if (data)
            Sha256Add(&s, data, size);
        PlatFree(data);
    }
    Sha256End(&s, hash);
    return 1;
}

// The hash of the state of the values the .reg backup names; zero when it
// cannot be read.
int BackupStateHash(const char *backup, char *hash)
{
    uint32_t size = 0;
    unsigned char *bytes = (unsigned char *)PlatFileLoad(backup, &size);
    if (!bytes)
        return 0;
    RegFileContent content;
    uint32_t line = 0;
    int read = ReadRegText(bytes, size, &content, &line) == RegReadDone;
    PlatFree(bytes);
    if (!read)
        return 0;
    int hashed = RegStateHash(&content, hash);
    FreeRegContent(&content);
    return hashed;
}

// ---- backups the journal does not know -----------------------------------------

static int Named(const JournalList *list, const char *path)
{
    for (int32_t i = 0; i < list->count; ++i)
        if (PlatNamesEqual(list->records[i].backup, path))
            return 1;
    return 0;
}

int32_t AddUnrecordedBackups(JournalList *list)
{
    char folder[TEXT_FIELD_SIZE], pattern[TEXT_FIELD_SIZE], name[PLAT_TEXT_SIZE];
    if (BackupFolder(folder) != BackupMade
        || !TextFormat(pattern, sizeof pattern, "%s\\*", folder))
        return 0;
    PlatFind find = PlatFindFirst(pattern, name);
    if (!find)
        return 0;
    int32_t added = 0;
    do {
        const char *dot = strrchr(name, '.');
        char path[TEXT_FIELD_SIZE];
        uint64_t size = 0, written = 0;
        if ((PlatFindAttributes(find) & PLAT_FILE_FOLDER) || !dot || !PlatFindExact(find)
            || !(PlatNamesEqual(dot, ".reg") || PlatNamesEqual(dot, ".lnk") || PlatNamesEqual(dot, ".xml")))
            continue;
        if (!TextFormat(path, sizeof path, "%s\\%s", folder, name) || Named(list, path)
            || !PlatFileStamp(path, &size, &written))
            continue;
        JournalRecord *grown = (JournalRecord *)PlatAllocZero((size_t)(list->count + 1) * sizeof *grown);
        if (!grown)
            break;
        if (list->count)
            memcpy(grown, list->records, (size_t)list->count * sizeof *grown);
        PlatFree(list->records);
        list->records = grown;
        JournalRecord *r = &list->records[list->count++];
        r->op = JournalUnrecorded;
        r->time = written;
        r->backupSize = size;
        r->stateBefore = r->stateAfter = -1;
        r->kind = PlatNamesEqual(dot, ".lnk") ? Shortcut : PlatNamesEqual(dot, ".xml") ? ScheduledTask : RegistryValue;
        r->undoBy = r->kind == Shortcut || r->kind == ScheduledTask ? UndoByNothing : UndoByReg;
        TextCopy(r->backup, sizeof r->backup, path);
        TextCopy(r->name, sizeof r->name, name);
        ++added;
    } while (PlatFindNext(find, name));
    PlatFindClose(find);
    return added;
}

// ---- what the store notes ------------------------------------------------------

void JournalBegin(JournalRecord *record, int32_t op, const AutostartItem *item)
{
    memset(record, 0, sizeof *record);
    record->op = op;
    record->stateBefore = record->stateAfter = -1;
    if (!item)
        return;
    record->kind = item->kind;
    TextCopy(record->scope, sizeof record->scope, item->scope);
    record->view = item->view;
    record->logonPlace = item->logonPlace;
    TextCopy(record->name, sizeof record->name, item->name);
    TextCopy(record->placeBefore, sizeof record->placeBefore, item->location);
    TextCopy(record->commandBefore, sizeof record->commandBefore, item->command);
    record->stateBefore = item->enabled ? 1 : 0;
}

long JournalChangeDone(JournalRecord *record, const AutostartItem *after, const char *backup,
                       const char *front)
{
    if (!front)
        return PLAT_OK;
    TextCopy(record->front, sizeof record->front, front);
    if (after) {
        ItemId(after, NULL, record->id, sizeof record->id);
        TextCopy(record->name, sizeof record->name, after->name);
        TextCopy(record->placeAfter, sizeof record->placeAfter, after->location);
        TextCopy(record->commandAfter, sizeof record->commandAfter, after->command);
        record->stateAfter = record->undoBy == UndoByDelay ? after->startLater : after->enabled ? 1 : 0;
    }
    if (backup && backup[0]) {
        TextCopy(record->backup, sizeof record->backup, backup);
        // What was written, not what the file may hold by now; a copy of a
        // file is hashed as its source is, which a Remove found the same.
        if (!WrittenBackupHash(backup, &record->backupSize, record->backupHash))
            record->backupHash[0] = '\0';
        if (record->undoBy == UndoByReg && !BackupStateHash(backup, record->afterHash))
            record->afterHash[0] = '\0';
        char security[TEXT_FIELD_SIZE];
        uint64_t size = 0;
        if (record->undoBy == UndoByPutTask && TaskSecurityFile(backup, security)
            && !WrittenBackupHash(security, &size, record->securityHash))
            record->securityHash[0] = '\0';
    }
    return AppendJournal(NULL, record);
}
