// undo.cpp - undoing a change of the history (see undo.h).
//
// A backup is read once into memory, hashed and parsed from those same
// bytes, so a file rewritten between the check and the read cannot slip
// through. What an undo is about to write over is saved first, and the
// undo's own record names that backup: undoing the undo restores it.
#include "undo.h"

#include "reg_reader.h"
#include "../catalogue/task_xml.h"
#include "store.h"

#include <string.h>

int UndoKeyAllowed(PlatHive hive, const char *path, int userOnly)
{
    if (userOnly && hive != PLAT_HKCU)
        return 0;
    return KeyIsListedPlace(hive, path);
}

// The backup's bytes (PlatFree them) and whether they are those the record
// saw (size and SHA-256); null when it cannot be read.
static unsigned char *LoadBackup(const JournalRecord *r, uint32_t *size, int *same)
{
    unsigned char *bytes = (unsigned char *)PlatFileLoad(r->backup, size);
    *same = 0;
    if (!bytes)
        return NULL;
    char hash[JOURNAL_HASH_SIZE];
    Sha256Of(bytes, *size, hash);
    *same = r->op != JournalUnrecorded && r->backupHash[0] && r->backupSize == *size
            && strcmp(hash, r->backupHash) == 0;
    return bytes;
}

// An undo's outcome, before it is done.
static void BeginUndo(StoreOutcome *o, const JournalList *list, const JournalRecord *r)
{
    BeginOutcome(o, NULL, ActionUndo);
    o->undone = r->number;
    if (r->op == JournalUnrecorded) {
        const char *file = strrchr(r->backup, '\\');
        TextCopyVisible(o->undoneWords, sizeof o->undoneWords, file ? file + 1 : r->backup, 0);
    } else {
        JournalWords(list, r, o->undoneWords, sizeof o->undoneWords);
    }
}

static OutcomeResult Refuse(StoreOutcome *o, long cause, const FrontEnd *front)
{
    o->result = ResultRefused;
    o->cause = cause;
    TellOutcome(front, o);
    return o->result;
}

// Elevated, an undo that acts beyond the user's own places needs a record
// this program vouched for: PLAT_OK, or CAUSE_BACKUP_NOT_VOUCHED.
static long ElevatedNeedsVouch(const JournalRecord *r, int userOwn)
{
    return !PlatIsElevated() || userOwn || RecordVouched(r) ? (long)PLAT_OK
                                                           : (long)CAUSE_BACKUP_NOT_VOUCHED;
}

static int AskChanged(const JournalRecord *r, const StoreOutcome *o, const FrontEnd *front)
{
    char question[JOURNAL_WORDS_SIZE + TEXT_FIELD_SIZE + 256];
    char name[TEXT_FIELD_SIZE];
    TextCopyVisible(name, sizeof name, r->name[0] || r->kind != RegistryValue ? r->name : DEFAULT_VALUE_NAME, 0);
    if (r->op == JournalUnrecorded)
        TextFormat(question, sizeof question, UNDO_UNRECORDED_QUESTION, o->undoneWords);
    else
        TextFormat(question, sizeof question, UNDO_CHANGED_QUESTION, name, (int)r->number,
                   o->undoneWords);
    return AskFrontEnd(front, question);
}

// The undo's own record, written for front; its failure is said with the outcome.
static void NoteUndo(JournalRecord *u, const JournalRecord *r, const AutostartItem *after,
                     StoreOutcome *o, const FrontEnd *front)
{
    u->undoes = r->number;
    if (!u->name[0])
        TextCopy(u->name, sizeof u->name, r->name);
    if (!u->scope[0])
        TextCopy(u->scope, sizeof u->scope, r->scope);
    o->journalCause = JournalChangeDone(u, after, o->backup, front ? front->name : NULL);
}

// Reads the record's .reg backup into content (FreeRegContent it), from the
// bytes hashed: PLAT_OK with *trusted nonzero when they are those the record
// saw, else the cause.
static long ReadBackup(const JournalRecord *r, RegFileContent *content, int *trusted)
{
    uint32_t size = 0;
    unsigned char *bytes = LoadBackup(r, &size, trusted);
    if (!bytes)
        return PlatLastError() != PLAT_OK ? PlatLastError() : (long)CAUSE_BACKUP_UNREAD;
    uint32_t line = 0;
    int read = ReadRegText(bytes, size, content, &line) == RegReadDone;
    PlatFree(bytes);
    return read ? (long)PLAT_OK : (long)CAUSE_BACKUP_UNREAD;
}

static long WriteValue(PlatHive hive, const char *path, const char *name, int deleted,
                       uint32_t type, const void *data, uint32_t size);

// After a disable is undone by enabling, Windows' switch is put back as the
// disable's backup saved it (or taken away when there was none), so it is
// exactly as before; only a backup the history saw, only into the switches.
// PLAT_OK, or why the switch was not put back.
static long RestoreSwitch(const JournalRecord *r)
{
    RegFileContent content;
    int trusted = 0;
    long cause = ReadBackup(r, &content, &trusted);
    if (cause != PLAT_OK)
        return cause;
    if (!trusted)
        cause = CAUSE_BACKUP_CHANGED;
    size_t lists = strlen(APPROVED_KEY);
    for (int32_t i = 0; cause == PLAT_OK && i < content.count; ++i) {
        const RegFileValue *v = &content.values[i];
        if (v->nameExact && strncmp(v->path, APPROVED_KEY "\\", lists + 1) == 0
            && UndoKeyAllowed(v->hive, v->path, 0))
            cause = WriteValue(v->hive, v->path, v->name, v->deleted, v->type, v->data, v->size);
    }
    FreeRegContent(&content);
    return cause;
}

// ---- a switch ----------------------------------------------------------------------

struct Captured {
    const FrontEnd *outer;
    StoreOutcome outcome;
    int told;
};

static void CaptureOutcome(void *context, const StoreOutcome *outcome)
{
    Captured *c = (Captured *)context;
    c->outcome = *outcome;
    c->told = 1;
}

static int ForwardQuestion(void *context, const char *question)
{
    return AskFrontEnd(((Captured *)context)->outer, question);
}

static OutcomeResult UndoSwitch(const JournalRecord *r, StoreOutcome *o, const FrontEnd *front)
{
    int32_t index = r->id[0] ? FindItemById(r->id) : -1;
    if (index < 0)
        return Refuse(o, CAUSE_ENTRY_GONE, front);
    AutostartItem *item = &ItemCatalogue.items[index];
    long vouch = ElevatedNeedsVouch(r, ScopeIsUser(item->scope) && item->kind != ScheduledTask);
    if (vouch != PLAT_OK)
        return Refuse(o, vouch, front);
    int changed = item->enabled != r->stateAfter || strcmp(item->command, r->commandAfter) != 0;
    if (changed && !AskChanged(r, o, front)) {
        o->result = ResultDeclined;
        TellOutcome(front, o);
        return o->result;
    }
    JournalRecord *u = (JournalRecord *)PlatAllocZero(sizeof *u);
    if (!u)
        return Refuse(o, PLAT_ERROR_OUTOFMEMORY, front);
    JournalBegin(u, JournalUndo, item);
    u->undoBy = UndoBySwitch;
    // The switch tells its outcome here, not to the front end: the front
    // end hears of the undo.
    Captured c;
    memset(&c, 0, sizeof c);
    c.outer = front;
    const FrontEnd inner = {CaptureOutcome, ForwardQuestion, front ? front->scanError : NULL, &c, NULL};
    OutcomeResult result = ApplyChange(index, r->stateBefore, &inner);
    o->result = result;
    o->cause = c.told ? c.outcome.cause : (long)PLAT_OK;
    TextCopy(o->backup, sizeof o->backup, c.told ? c.outcome.backup : "");
    long restored = result == ResultDone && r->op == JournalDisable && r->backup[0]
                            && item->kind != Service
                        ? RestoreSwitch(r)
                        : (long)PLAT_OK;
    if (restored != PLAT_OK) {
        o->result = ResultSwitchNotSet;
        o->cause = restored;
    }
    if (result == ResultDone || result == ResultSwitchNotSet)
        NoteUndo(u, r, item, o, front);
    PlatFree(u);
    TellOutcome(front, o);
    return o->result;
}

// ---- a .reg backup -------------------------------------------------------------------

// What the values hold now, as a backup of them will save it (data: PlatFree each).
struct NowValue {
    uint32_t type;
    void *data;
    uint32_t size;
    int absent;
};

static void FreeNow(NowValue *now, int32_t count)
{
    for (int32_t i = 0; now && i < count; ++i)
        PlatFree(now[i].data);
    PlatFree(now);
}

// Reads every value the backup names as it is now; null when one cannot be
// read (nothing would then be written over unsaved).
static NowValue *ReadNow(const RegFileContent *content)
{
    NowValue *now = (NowValue *)PlatAllocZero((size_t)(content->count ? content->count : 1) * sizeof *now);
    for (int32_t i = 0; now && i < content->count; ++i) {
        const RegFileValue *v = &content->values[i];
        if (ReadWholeValue(v->hive, v->path, v->name, 1, &now[i].type, &now[i].data, &now[i].size))
            continue;
        if (KeyMayHoldValue(v->hive, v->path, v->name)) {
            FreeNow(now, content->count);
            return NULL;
        }
        now[i].absent = 1;
    }
    return now;
}

// Writes one value as the backup holds it; PLAT_OK or the cause.
static long WriteValue(PlatHive hive, const char *path, const char *name, int deleted,
                       uint32_t type, const void *data, uint32_t size)
{
    PlatKey key = NULL;
    if (deleted) {
        if (!KeyMayHoldValue(hive, path, name))
            return PLAT_OK;
        long opened = PlatRegCreate(hive, path, PLAT_KEY_WRITE, &key);
        if (opened != PLAT_OK)
            return opened;
        long error = PlatRegDeleteValue(key, name);
        PlatRegClose(key);
        return error == PLAT_ERROR_FILE_NOT_FOUND ? (long)PLAT_OK : error;
    }
    long opened = PlatRegCreate(hive, path, PLAT_KEY_WRITE, &key);
    if (opened != PLAT_OK)
        return opened;
    long error = PlatRegWriteRaw(key, name, type, data, size);
    PlatRegClose(key);
    if (error != PLAT_OK)
        return error;
    // Read back: a value another program rewrote meanwhile is not ours.
    uint32_t gotType = 0, gotSize = 0;
    void *got = NULL;
    int same = ReadWholeValue(hive, path, name, 1, &gotType, &got, &gotSize) && gotType == type
               && gotSize == size && (size == 0 || memcmp(got, data, size) == 0);
    PlatFree(got);
    return same ? (long)PLAT_OK : (long)PLAT_ERROR_WRITE_FAULT;
}

// Saves what the values hold now into a new backup (backupFile); BackupMade or why not.
static int SaveNow(const RegFileContent *content, const NowValue *now, char *backupFile)
{
    BackupValue *values = (BackupValue *)PlatAllocZero((size_t)(content->count ? content->count : 1) * sizeof *values);
    if (!values)
        return BackupFailed;
    for (int32_t i = 0; i < content->count; ++i) {
        const RegFileValue *v = &content->values[i];
        values[i].hive = v->hive;
        values[i].path = v->path;
        values[i].name = v->name;
        values[i].type = now[i].type;
        values[i].data = now[i].data;
        values[i].size = now[i].size;
        values[i].absent = now[i].absent;
    }
    int made = BackupValues("Before undo", values, content->count, backupFile);
    PlatFree(values);
    return made;
}

// Nonzero when the backup writes only into the user's own keys, or the
// record is one this program vouched for (RecordVouched).
static int VouchedFor(const JournalRecord *r, const RegFileContent *content)
{
    for (int32_t i = 0; i < content->count; ++i)
        if (content->values[i].hive != PLAT_HKCU)
            return RecordVouched(r);
    return 1;
}


// Checks the backup's values may be written by this undo: PLAT_OK or the cause.
static long CheckPlaces(const RegFileContent *content, int trusted)
{
    for (int32_t i = 0; i < content->count; ++i) {
        const RegFileValue *v = &content->values[i];
        if (!v->nameExact)
            return CAUSE_NAME_INEXACT;
        if (!UndoKeyAllowed(v->hive, v->path, !trusted))
            return trusted ? CAUSE_PLACE_NOT_LISTED : CAUSE_NOT_USER_PLACE;
    }
    return PLAT_OK;
}

// Writes every value; on a failure those written are put back as they were.
static long WriteAll(const RegFileContent *content, const NowValue *now)
{
    int32_t i = 0;
    long cause = PLAT_OK;
    for (; i < content->count && cause == PLAT_OK; ++i) {
        const RegFileValue *v = &content->values[i];
        cause = WriteValue(v->hive, v->path, v->name, v->deleted, v->type, v->data, v->size);
    }
    if (cause != PLAT_OK)
        for (int32_t j = 0; j < i; ++j) {
            const RegFileValue *v = &content->values[j];
            WriteValue(v->hive, v->path, v->name, now[j].absent, now[j].type, now[j].data,
                       now[j].size);
        }
    return cause;
}

static OutcomeResult UndoReg(const JournalRecord *r, StoreOutcome *o, const FrontEnd *front)
{
    // An entry started later: its command and its task's action change
    // together, through Edit; the value alone would leave the task apart.
    int32_t edited = r->op == JournalEdit && r->id[0] ? FindItemById(r->id) : -1;
    if (edited >= 0 && ItemCatalogue.items[edited].startLater)
        return Refuse(o, CAUSE_LATER_UNDO_EDIT, front);
    RegFileContent content;
    int trusted = 0;
    long read = ReadBackup(r, &content, &trusted);
    if (read != PLAT_OK)
        return Refuse(o, read, front);
    // A backup any program of the user could have written lends no rights.
    if (!trusted && PlatIsElevated()) {
        FreeRegContent(&content);
        return Refuse(o, r->op == JournalUnrecorded ? CAUSE_BACKUP_UNKNOWN : CAUSE_BACKUP_CHANGED,
                      front);
    }
    long cause = content.count ? CheckPlaces(&content, trusted) : (long)CAUSE_BACKUP_UNREAD;
    // Elevated, into a machine place: only a backup this program vouched
    // for where only administrators write, never one a program of the
    // user wrote together with a record of its own.
    if (cause == PLAT_OK && PlatIsElevated() && !VouchedFor(r, &content))
        cause = CAUSE_BACKUP_NOT_VOUCHED;
    if (cause != PLAT_OK) {
        FreeRegContent(&content);
        return Refuse(o, cause, front);
    }
    // Changed since the change, or (a backup the history does not know)
    // anything to write over: asked first.
    char state[JOURNAL_HASH_SIZE] = "";
    int hashed = RegStateHash(&content, state);
    int changed = r->op == JournalUnrecorded || !r->afterHash[0] || !hashed
                  || strcmp(state, r->afterHash) != 0;
    if (changed && !AskChanged(r, o, front)) {
        FreeRegContent(&content);
        o->result = ResultDeclined;
        TellOutcome(front, o);
        return o->result;
    }
    // What is there now is read after the answer, and must be what the
    // question was about: a value written while it was open is never
    // written over unsaved.
    char again[JOURNAL_HASH_SIZE] = "";
    if (changed && (!hashed || !RegStateHash(&content, again) || strcmp(again, state) != 0))
        cause = CAUSE_CHANGED_WHILE_ASKED;
    NowValue *now = cause == PLAT_OK ? ReadNow(&content) : NULL;
    if (cause == PLAT_OK && !now)
        cause = CAUSE_BACKUP_FAILED;
    if (cause != PLAT_OK) {
        FreeRegContent(&content);
        return Refuse(o, cause, front);
    }
    int made = SaveNow(&content, now, o->backup);
    if (made != BackupMade) {
        FreeNow(now, content.count);
        FreeRegContent(&content);
        o->result = made == BackupFolderIsLink ? ResultFolderIsLink : ResultBackupFailed;
        o->folder = BACKUP_FOLDER;
        o->cause = LastStoreError() != PLAT_OK ? LastStoreError() : (long)CAUSE_BACKUP_FAILED;
        TellOutcome(front, o);
        return o->result;
    }
    cause = WriteAll(&content, now);
    FreeNow(now, content.count);
    FreeRegContent(&content);
    if (cause != PLAT_OK)
        return Refuse(o, cause, front);
    JournalRecord *u = (JournalRecord *)PlatAllocZero(sizeof *u);
    if (u) {
        JournalBegin(u, JournalUndo, NULL);
        u->undoBy = UndoByReg;
        u->kind = r->kind;
        u->view = r->view;
        u->logonPlace = r->logonPlace;
        TextCopy(u->placeBefore, sizeof u->placeBefore, r->placeAfter);
        TextCopy(u->placeAfter, sizeof u->placeAfter, r->placeBefore);
        TextCopy(u->commandBefore, sizeof u->commandBefore, r->commandAfter);
        TextCopy(u->commandAfter, sizeof u->commandAfter, r->commandBefore);
        u->stateBefore = r->stateAfter;
        u->stateAfter = r->stateBefore;
        TextCopy(u->id, sizeof u->id, r->id);
        TextCopy(u->name, sizeof u->name, r->name);
        TextCopy(u->scope, sizeof u->scope, r->scope);
        NoteUndo(u, r, NULL, o, front);
        PlatFree(u);
    }
    o->result = ResultDone;
    TellOutcome(front, o);
    return o->result;
}

// ---- a removed Startup file ----------------------------------------------------------

// Nonzero when path lies directly in one of the Startup folders or folders
// of disabled items this program lists (userOnly: the user's own).
static int FileInListedFolder(const char *path, int userOnly)
{
    const char *slash = strrchr(path, '\\');
    if (!slash || !slash[1])
        return 0;
    char folder[TEXT_FIELD_SIZE];
    TextCopy(folder, sizeof folder, path);
    folder[slash - path] = '\0';
    for (const AutostartLocation &row : AutostartLocations) {
        char listed[TEXT_FIELD_SIZE];
        if (row.kind != LocationFolder || (userOnly && !ScopeIsUser(row.scope))
            || !ResolveLocationFolder(&row, listed))
            continue;
        if (PlatNamesEqual(listed, folder))
            return 1;
    }
    return 0;
}

// A shortcut's record made from where it lies.
static void FileRecord(AutostartItem *file, const char *scope, const char *path)
{
    memset(file, 0, sizeof *file);
    file->kind = Shortcut;
    file->enabled = 1;
    TextCopy(file->scope, sizeof file->scope, scope);
    TextCopy(file->location, sizeof file->location, path);
    TextCopy(file->name, sizeof file->name, strrchr(path, '\\') + 1);
}

// Writes the bytes that were hashed (never the file again by its path,
// which may have been rewritten since) as a new file at path, in its held
// folder: PLAT_OK or the cause.
static long PutBytes(const char *path, const unsigned char *bytes, uint32_t size, int asUser)
{
    PlatPlace place = NULL;
    long cause = HoldPlace(path, NULL, 1, asUser, &place);
    PlatFile file = cause == PLAT_OK ? PlatFileCreateNew(path) : NULL;
    if (cause == PLAT_OK && !file)
        cause = PlaceError(asUser, place, PlatLastError());
    if (file) {
        int written = PlatFileWrite(file, bytes, size);
        long error = written ? (long)PLAT_OK : PlatLastError();
        if (!PlatFileClose(file) && error == PLAT_OK)
            error = PlatLastError();
        if (error == PLAT_OK && !PlaceStillHeld(place))
            error = LastStoreError();
        if (error != PLAT_OK)
            PlatDeleteFile(path);
        cause = error == PLAT_OK ? (long)PLAT_OK : PlaceError(asUser, place, error);
    }
    ReleasePlace(place);
    return cause;
}

static OutcomeResult UndoPutFile(const JournalRecord *r, StoreOutcome *o, const FrontEnd *front)
{
    uint32_t size = 0;
    int trusted = 0;
    unsigned char *bytes = LoadBackup(r, &size, &trusted);
    if (!bytes)
        return Refuse(o, CAUSE_BACKUP_UNREAD, front);
    int user = ScopeIsUser(r->scope);
    long cause = !trusted && PlatIsElevated() ? (long)CAUSE_BACKUP_CHANGED
                 : !FileInListedFolder(r->placeBefore, !trusted)
                     ? (trusted ? (long)CAUSE_PLACE_NOT_LISTED : (long)CAUSE_NOT_USER_PLACE)
                     : ElevatedNeedsVouch(r, FileInListedFolder(r->placeBefore, 1));
    AutostartItem *there = cause == PLAT_OK ? (AutostartItem *)PlatAllocZero(sizeof *there) : NULL;
    if (cause == PLAT_OK && !there)
        cause = PLAT_ERROR_OUTOFMEMORY;
    if (cause != PLAT_OK) {
        PlatFree(bytes);
        return Refuse(o, cause, front);
    }
    FileRecord(there, r->scope, r->placeBefore);
    int occupied = PlatFileExists(r->placeBefore);
    if (occupied && !AskChanged(r, o, front)) {
        PlatFree(bytes);
        PlatFree(there);
        o->result = ResultDeclined;
        TellOutcome(front, o);
        return o->result;
    }
    // What lies there now is saved and taken away first, as a Remove does,
    // its bytes kept to be put back when the copy cannot take its place
    // (never its backup by path, which any program of the user may rewrite).
    uint32_t thereSize = 0;
    unsigned char *thereBytes = occupied ? (unsigned char *)PlatFileLoad(r->placeBefore, &thereSize) : NULL;
    int removed = occupied && !thereBytes ? RemoveBackupFailed
                  : occupied              ? RemoveItemWithBackup(there, o->backup)
                                          : RemoveDone;
    if (removed != RemoveDone) {
        PlatFree(bytes);
        PlatFree(thereBytes);
        PlatFree(there);
        o->result = removed == RemoveFolderIsLink ? ResultFolderIsLink : ResultBackupFailed;
        o->folder = BACKUP_FOLDER;
        o->cause = LastStoreError() != PLAT_OK ? LastStoreError() : (long)CAUSE_BACKUP_FAILED;
        TellOutcome(front, o);
        return o->result;
    }
    cause = PutBytes(r->placeBefore, bytes, size, user);
    char putBack[JOURNAL_HASH_SIZE];
    Sha256Of(bytes, size, putBack);
    PlatFree(bytes);
    if (cause != PLAT_OK) {
        // Back as it was; its backup is named all the same.
        if (occupied)
            PutBytes(r->placeBefore, thereBytes, thereSize, user);
        PlatFree(thereBytes);
        PlatFree(there);
        return Refuse(o, cause, front);
    }
    PlatFree(thereBytes);
    JournalRecord *u = (JournalRecord *)PlatAllocZero(sizeof *u);
    if (u) {
        JournalBegin(u, JournalUndo, NULL);
        u->undoBy = UndoByDeleteFile;
        u->kind = Shortcut;
        TextCopy(u->placeAfter, sizeof u->placeAfter, r->placeBefore);
        u->stateAfter = 1;
        TextCopy(u->name, sizeof u->name, there->name);
        TextCopy(u->id, sizeof u->id, r->placeBefore);
        // What was put back, so that undoing this undo knows a file that
        // another program wrote there since.
        TextCopy(u->afterHash, sizeof u->afterHash, putBack);
        NoteUndo(u, r, NULL, o, front);
        PlatFree(u);
    }
    PlatFree(there);
    o->result = ResultDone;
    TellOutcome(front, o);
    return o->result;
}

// The undo of a file put back: saved and deleted, as a Remove.
static OutcomeResult UndoDeleteFile(const JournalRecord *r, StoreOutcome *o, const FrontEnd *front)
{
    if (!FileInListedFolder(r->placeAfter, 0) || !PlatFileExists(r->placeAfter))
        return Refuse(o, CAUSE_ENTRY_GONE, front);
    long vouch = ElevatedNeedsVouch(r, FileInListedFolder(r->placeAfter, 1));
    if (vouch != PLAT_OK)
        return Refuse(o, vouch, front);
    uint64_t size = 0;
    char hash[JOURNAL_HASH_SIZE] = "";
    int same = r->afterHash[0] && HashBackupFile(r->placeAfter, &size, hash) == PLAT_OK
               && strcmp(hash, r->afterHash) == 0;
    if (!same && !AskChanged(r, o, front)) {
        o->result = ResultDeclined;
        TellOutcome(front, o);
        return o->result;
    }
    AutostartItem *file = (AutostartItem *)PlatAllocZero(sizeof *file);
    if (!file)
        return Refuse(o, PLAT_ERROR_OUTOFMEMORY, front);
    FileRecord(file, r->scope, r->placeAfter);
    AutostartItem *now = file;
    int removed = RemoveItemWithBackup(now, o->backup);
    if (removed != RemoveDone) {
        PlatFree(now);
        return Refuse(o, LastStoreError() != PLAT_OK ? LastStoreError() : (long)CAUSE_BACKUP_FAILED,
                      front);
    }
    JournalRecord *u = (JournalRecord *)PlatAllocZero(sizeof *u);
    if (u) {
        JournalBegin(u, JournalUndo, now);
        u->undoBy = UndoByPutFile;
        NoteUndo(u, r, NULL, o, front);
        PlatFree(u);
    }
    PlatFree(now);
    o->result = ResultDone;
    TellOutcome(front, o);
    return o->result;
}

// ---- a removed task -------------------------------------------------------------------

// Nonzero when the scheduler holds what the backup's definition says starts.
static int TaskKept(const TaskDefinition *saved, const char *path)
{
    char *xml = NULL;
    uint32_t size = 0;
    if (PlatTaskRead(path, &xml, &size, NULL) != PLAT_OK)
        return 0;
    TaskDefinition *now = (TaskDefinition *)PlatAllocZero(sizeof *now);
    int kept = now && ParseTaskXml(xml, size, now) && strcmp(now->program, saved->program) == 0
               && strcmp(now->arguments, saved->arguments) == 0
               && now->execActions == saved->execActions
               && now->logonTriggers == saved->logonTriggers
               && now->bootTriggers == saved->bootTriggers
               && strcmp(now->runAs, saved->runAs) == 0;
    PlatFree(now);
    PlatFree(xml);
    return kept;
}

// The security descriptor saved beside a task's XML, as terminated text
// (PlatFree it), while it holds the bytes the history saw; else null with
// the cause.
static char *LoadSecurity(const JournalRecord *r, long *cause)
{
    char path[TEXT_FIELD_SIZE];
    uint32_t size = 0;
    unsigned char *bytes = TaskSecurityFile(r->backup, path)
                               ? (unsigned char *)PlatFileLoad(path, &size)
                               : NULL;
    if (!bytes) {
        *cause = CAUSE_BACKUP_UNREAD;
        return NULL;
    }
    char hash[JOURNAL_HASH_SIZE];
    Sha256Of(bytes, size, hash);
    int same = strcmp(hash, r->securityHash) == 0;
    size_t length = 0;
    char *text = same ? DecodeTextDocument(bytes, size, &length) : NULL;
    PlatFree(bytes);
    if (!text)
        *cause = same ? (long)PLAT_ERROR_OUTOFMEMORY : (long)CAUSE_BACKUP_CHANGED;
    return text;
}

// Registers the task again from its backup, only while the backup is the
// one the history saw (a task is no place of the user's own), never over
// a task of that path, and read back: one the scheduler did not keep as
// saved is taken away again.
static OutcomeResult UndoPutTask(const JournalRecord *r, StoreOutcome *o, const FrontEnd *front)
{
    uint32_t size = 0;
    int trusted = 0;
    unsigned char *bytes = LoadBackup(r, &size, &trusted);
    if (!bytes)
        return Refuse(o, CAUSE_BACKUP_UNREAD, front);
    TaskDefinition *saved = (TaskDefinition *)PlatAllocZero(sizeof *saved);
    size_t length = 0;
    char *xml = trusted && saved && ParseTaskXml(bytes, size, saved)
                    ? DecodeTextDocument(bytes, size, &length)
                    : NULL;
    PlatFree(bytes);
    // A task runs as the principal its XML names: elevated, only a backup
    // this program vouched for is registered.
    long cause = !trusted ? (long)CAUSE_BACKUP_CHANGED
                 : !xml   ? (long)CAUSE_BACKUP_UNREAD
                          : ElevatedNeedsVouch(r, 0);
    // Its own security descriptor, only as the history saw it written.
    char *sddl = cause == PLAT_OK && r->securityHash[0] ? LoadSecurity(r, &cause) : NULL;
    if (cause == PLAT_OK && PlatTaskRead(r->placeBefore, NULL, NULL, NULL) == PLAT_OK)
        cause = CAUSE_TASK_EXISTS;
    // A task that starts an entry later comes back only to the entry
    // waiting for it, disabled: never beside one that starts at logon.
    if (cause == PLAT_OK && saved && StartLaterEntryId(saved)) {
        int32_t entry = FindItemById(StartLaterEntryId(saved));
        if (entry < 0 || ItemCatalogue.items[entry].enabled
            || ItemCatalogue.items[entry].startLater)
            cause = CAUSE_LATER_UNDO;
    }
    if (cause == PLAT_OK)
        cause = PlatTaskRegister(r->placeBefore, xml, sddl);
    if (cause == PLAT_OK && !TaskKept(saved, r->placeBefore)) {
        PlatTaskDelete(r->placeBefore);
        cause = CAUSE_TASK_NOT_KEPT;
    }
    PlatFree(xml);
    PlatFree(sddl);
    PlatFree(saved);
    if (cause != PLAT_OK)
        return Refuse(o, cause, front);
    JournalRecord *u = (JournalRecord *)PlatAllocZero(sizeof *u);
    if (u) {
        JournalBegin(u, JournalUndo, NULL);
        u->undoBy = UndoByRemoveTask;
        u->kind = ScheduledTask;
        TextCopy(u->placeAfter, sizeof u->placeAfter, r->placeBefore);
        TextCopy(u->id, sizeof u->id, r->id);
        TextCopy(u->commandAfter, sizeof u->commandAfter, r->commandBefore);
        u->stateAfter = r->stateBefore;
        NoteUndo(u, r, NULL, o, front);
        PlatFree(u);
    }
    o->result = ResultDone;
    TellOutcome(front, o);
    return o->result;
}

// The undo of a task put back: removed again with its backup.
static OutcomeResult UndoRemoveTask(const JournalRecord *r, StoreOutcome *o, const FrontEnd *front)
{
    int32_t index = r->id[0] ? FindItemById(r->id) : -1;
    if (index < 0)
        return Refuse(o, CAUSE_ENTRY_GONE, front);
    const AutostartItem *item = &ItemCatalogue.items[index];
    long vouch = ElevatedNeedsVouch(r, 0);
    if (vouch != PLAT_OK)
        return Refuse(o, vouch, front);
    // Another program's task of that path since: asked first.
    if (strcmp(item->command, r->commandAfter) != 0 && !AskChanged(r, o, front)) {
        o->result = ResultDeclined;
        TellOutcome(front, o);
        return o->result;
    }
    Captured c;
    memset(&c, 0, sizeof c);
    c.outer = front;
    const FrontEnd inner = {CaptureOutcome, ForwardQuestion, front ? front->scanError : NULL, &c, NULL};
    JournalRecord *u = (JournalRecord *)PlatAllocZero(sizeof *u);
    if (!u)
        return Refuse(o, PLAT_ERROR_OUTOFMEMORY, front);
    JournalBegin(u, JournalUndo, item);
    u->undoBy = UndoByPutTask;
    OutcomeResult result = RemoveEntry(item, &inner);
    o->result = result;
    o->cause = c.told ? c.outcome.cause : (long)PLAT_OK;
    TextCopy(o->backup, sizeof o->backup, c.told ? c.outcome.backup : "");
    if (result == ResultDone)
        NoteUndo(u, r, NULL, o, front);
    PlatFree(u);
    TellOutcome(front, o);
    return o->result;
}

// The undo of a delay: the entry set to start with the delay it had.
static OutcomeResult UndoDelay(const JournalRecord *r, StoreOutcome *o, const FrontEnd *front)
{
    int32_t index = r->id[0] ? FindItemById(r->id) : -1;
    if (index < 0)
        return Refuse(o, CAUSE_ENTRY_GONE, front);
    long vouch = ElevatedNeedsVouch(r, 0);
    if (vouch != PLAT_OK)
        return Refuse(o, vouch, front);
    const AutostartItem *item = &ItemCatalogue.items[index];
    // Changed since (another delay, or switched): asked first.
    if (item->startLater != r->stateAfter && !AskChanged(r, o, front)) {
        o->result = ResultDeclined;
        TellOutcome(front, o);
        return o->result;
    }
    Captured c;
    memset(&c, 0, sizeof c);
    c.outer = front;
    const FrontEnd inner = {CaptureOutcome, ForwardQuestion, front ? front->scanError : NULL, &c, NULL};
    JournalRecord *u = (JournalRecord *)PlatAllocZero(sizeof *u);
    if (!u)
        return Refuse(o, PLAT_ERROR_OUTOFMEMORY, front);
    JournalBegin(u, JournalUndo, item);
    u->undoBy = UndoByDelay;
    u->stateBefore = item->startLater;
    OutcomeResult result = DelayEntry(index, r->stateBefore, &inner);
    o->result = result;
    o->cause = c.told ? c.outcome.cause : (long)PLAT_OK;
    TextCopy(o->backup, sizeof o->backup, c.told ? c.outcome.backup : "");
    if (result == ResultDone)
        NoteUndo(u, r, &ItemCatalogue.items[index], o, front);
    PlatFree(u);
    TellOutcome(front, o);
    return o->result;
}

OutcomeResult UndoRecord(const JournalList *list, const JournalRecord *record,
                         const FrontEnd *front)
{
    StoreOutcome *o = (StoreOutcome *)PlatAllocZero(sizeof *o);
    if (!o)
        return ResultRefused;
    BeginUndo(o, list, record);
    // The entry as the undo brings it back, so that a front end notes it
    // as its own change (null for a CleanUp's many, or an Add undone).
    AutostartItem *back = (AutostartItem *)PlatAllocZero(sizeof *back);
    if (back && record->placeBefore[0] && record->op != JournalCleanUp && !record->logonPlace
        && record->op != JournalUnrecorded) {
        back->kind = record->kind;
        TextCopy(back->scope, sizeof back->scope, record->scope);
        back->view = record->view;
        TextCopy(back->name, sizeof back->name, record->name);
        TextCopy(back->location, sizeof back->location, record->placeBefore);
        back->enabled = record->stateBefore == 1;
        o->item = back;
    }
    SetStoreError(PLAT_OK);
    OutcomeResult result;
    switch (record->undoBy) {
    case UndoBySwitch: result = UndoSwitch(record, o, front); break;
    case UndoByReg: result = UndoReg(record, o, front); break;
    case UndoByPutFile: result = UndoPutFile(record, o, front); break;
    case UndoByDeleteFile: result = UndoDeleteFile(record, o, front); break;
    case UndoByPutTask: result = UndoPutTask(record, o, front); break;
    case UndoByRemoveTask: result = UndoRemoveTask(record, o, front); break;
    case UndoByDelay: result = UndoDelay(record, o, front); break;
    default:
        result = Refuse(o, record->op == JournalUnrecorded ? CAUSE_BACKUP_NO_PLACE : CAUSE_NOT_UNDOABLE,
                        front);
        break;
    }
    PlatFree(o);
    PlatFree(back);
    return result;
}
