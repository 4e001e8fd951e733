// save_item.cpp - saving an entry from the Add/Edit window.
//
// An edit changes only what the user changed: when File and Parameters are
// left as EditFields filled them, the value is moved or rewritten whole,
// with its type and every byte, so a command such as
// rundll32.exe "C:\x.dll",Start or a REG_EXPAND_SZ survives a rename. Only a
// changed command is composed anew from the two fields.
#include "store.h"
#include "journal.h"
#include "reg_file.h"

#include <string.h>

// Nonzero when text, written back through the code page, gives exactly the
// stored bytes: only then may a changed command be composed from it.
static int TextIsStored(const AutostartItem *item, const char *text)
{
    uint32_t type = PLAT_REG_NONE;
    void *raw = NULL;
    uint32_t size = 0;
    if (!ReadWholeValue(HiveOfItem(item), item->location, item->name, 1, &type, &raw, &size))
        return 0;
    char units[4 * COMMAND_FIELD_SIZE + 2];
    uint32_t length = text[0] ? PlatTextToUtf16(text, units, sizeof units - 2) : 0;
    int same = (length > 0 || !text[0]) && size == length + 2
               && memcmp(raw, units, length) == 0
               && ((const unsigned char *)raw)[length] == 0
               && ((const unsigned char *)raw)[length + 1] == 0;
    PlatFree(raw);
    return same;
}

int EditFields(const AutostartItem *item, char *file, char *parameters)
{
    TextCopy(file, TEXT_FIELD_SIZE, item->target);
    TextCopy(parameters, COMMAND_FIELD_SIZE, item->parameters);
    if (item->kind != RegistryValue)
        return FieldsNotText;
    uint32_t type = PLAT_REG_NONE;
    void *data = NULL;
    uint32_t size = 0;
    if (!ItemActionable(item)
        || !ReadWholeValue(HiveOfItem(item), item->location, item->name, 0, &type, &data, &size))
        return FieldsTooLong;
    size_t length = TextLengthIn((const char *)data, size);
    int state = FieldsEditable;
    if (type != PLAT_REG_SZ && type != PLAT_REG_EXPAND_SZ)
        state = FieldsNotText;
    else if (length >= COMMAND_FIELD_SIZE)
        state = FieldsTooLong;
    else if (size != length + 1)
        state = FieldsNotText; // unterminated, or bytes after the text's end
    AutostartItem split;
    memset(&split, 0, sizeof split);
    if (state == FieldsEditable) {
        memcpy(split.command, data, length);
        const char *quote = strchr(split.command, '"');
        // RunOnceEx runs neither form once quoted: the fields cannot rebuild it.
        if (LocationIsSection(item->location) && strchr(split.command, '|'))
            state = FieldsRunOnceExForm;
        else if (quote && quote != split.command && strchr(quote + 1, '"'))
            state = FieldsTextBeforeProgram;
    }
    PlatFree(data);
    if (state == FieldsEditable && !TextIsStored(item, split.command))
        state = FieldsNotExact;
    if (state != FieldsEditable)
        return state;

    // The parameters are the stored text after the program; the program is
    // what stands before them, as stored: unexpanded, without its quotes.
    ParseCommand(&split);
    char program[COMMAND_FIELD_SIZE];
    size_t programLength = strlen(split.command) - strlen(split.parameters);
    memcpy(program, split.command, programLength);
    program[programLength] = '\0';
    while (programLength > 0 && program[programLength - 1] == ' ')
        program[--programLength] = '\0';
    if (program[0] == '"' && programLength >= 2 && program[programLength - 1] == '"') {
        program[programLength - 1] = '\0';
        memmove(program, program + 1, programLength - 1);
    }
    // A program longer than its field could not be written back whole.
    if (!TextCopy(file, TEXT_FIELD_SIZE, program)) {
        TextCopy(file, TEXT_FIELD_SIZE, item->target);
        TextCopy(parameters, COMMAND_FIELD_SIZE, item->parameters);
        return FieldsTooLong;
    }
    TextCopy(parameters, COMMAND_FIELD_SIZE, split.parameters);
    return FieldsEditable;
}

// Where a save writes: the Run key of the chosen hive when adding; the
// record's own key when editing, in its view for a machine entry.
static void SaveDestination(int allUsers, const AutostartItem *old, PlatHive *hive,
                            const char **path)
{
    // A new machine entry goes into the native view, where Windows' own are.
    *hive = allUsers ? PLAT_HKLM : PLAT_HKCU;
    *path = RUN_KEY;
    if (!old)
        return;
    if (allUsers && HiveOfItem(old) == PLAT_HKLM32)
        *hive = PLAT_HKLM32;
    *path = old->location;
}

// Writing name in hive would reach the old value itself: the registry
// compares names without regard to case.
static int IsTheOldValue(const AutostartItem *old, PlatHive hive, const char *name)
{
    return old && hive == HiveOfItem(old) && PlatNamesEqual(name, old->name);
}

static const AutostartItem *EditedItem(int32_t mode, int32_t editIndex)
{
    const AutostartItem *old = mode == EditorEdit ? CatalogueItem(editIndex) : NULL;
    return old && old->kind == RegistryValue ? old : NULL;
}

int SaveWouldReplace(const char *name, int allUsers, int32_t mode, int32_t editIndex)
{
    const AutostartItem *old = EditedItem(mode, editIndex);
    if (mode == EditorEdit && !old)
        return 0;
    PlatHive hive;
    const char *path;
    SaveDestination(allUsers, old, &hive, &path);
    // The entry of that name may be enabled or disabled: its key and the
    // sibling with or without "-" are both its places.
    char sibling[TEXT_FIELD_SIZE];
    // Only a key or value known to be absent is no collision: when storage
    // cannot tell, the user is asked rather than an entry replaced unasked.
    return (!IsTheOldValue(old, hive, name) && KeyMayHoldValue(hive, path, name))
           || !SiblingLocation(path, sibling) || KeyMayHoldValue(hive, sibling, name);
}

// Writes the value: raw nonzero, bytes as stored elsewhere (a copy); zero,
// text of the code page (a command composed from the fields).
static int WriteValue(PlatHive hive, const char *path, const char *name, int raw, uint32_t type,
                      const void *data, uint32_t size)
{
    PlatKey key = NULL;
    if (PlatRegCreate(hive, path, PLAT_KEY_WRITE, &key) != PLAT_OK || !key)
        return 0;
    long written = raw ? PlatRegWriteRaw(key, name, type, data, size)
                       : PlatRegSetValue(key, name, type, data, size);
    PlatRegClose(key); // a write whose key then failed to close has written
    return written == PLAT_OK;
}

// The command composed from the two fields: the program quoted when there
// are parameters, else alone, even with blanks. Room for both whole.
// The program is quoted when parameters follow it, and when it holds a
// blank: unquoted, Windows would try "C:\Program.exe" first.
static void ComposeCommand(const char *file, const char *parameters, char *data, size_t size)
{
    if (parameters[0])
        TextFormat(data, size, "\"%s\" %s", file, parameters);
    else if (file[0] != '"' && strpbrk(file, " \t"))
        TextFormat(data, size, "\"%s\"", file);
    else
        TextCopy(data, size, file);
}

int SaveProgramMissing(const char *file, const char *parameters, int32_t mode,
                       int32_t editIndex)
{
    const AutostartItem *old = EditedItem(mode, editIndex);
    char shownFile[TEXT_FIELD_SIZE], shownParameters[COMMAND_FIELD_SIZE];
    if (old && (EditFields(old, shownFile, shownParameters) != FieldsEditable
                || strcmp(file, shownFile) == 0))
        return 0;
    // Read back the way the list reads what is saved.
    AutostartItem *probe = (AutostartItem *)PlatAllocZero(sizeof *probe);
    if (!probe)
        return 0;
    char native[TEXT_FIELD_SIZE];
    ComposeCommand(file, parameters, probe->command, sizeof probe->command);
    ParseCommand(probe);
    NativeFilePath(probe->target, native);
    PlatFree(probe);
    if (native[0] && PlatIsNetworkPath(native))
        return 0;
    return !PathIsFull(native) || !PlatFileExists(native);
}

// What an edit writes: the old value's bytes as stored (command kept), or
// the command composed from the fields as text.
struct NewValue {
    int raw;
    uint32_t type;
    const void *data;
    uint32_t size;
};

static int WriteNew(PlatHive hive, const char *path, const char *name, const NewValue *value)
{
    return WriteValue(hive, path, name, value->raw, value->type, value->data, value->size);
}

// A rename that changes only the case: the registry keeps a value's stored
// name when it is written again, so the value is parked under a free name,
// deleted, written under the new name, and the parked copy removed. Any
// failure puts the old value back; nothing is ever left without a copy.
static int RenameCase(const AutostartItem *old, const char *name, const NewValue *value,
                      const void *whole, uint32_t wholeType, uint32_t wholeSize, char *extra)
{
    PlatHive hive = HiveOfItem(old);
    char parked[64] = "";
    for (int n = 1; n < 10 && !parked[0]; ++n) {
        TextFormat(parked, sizeof parked, "Orvane Tool rename %d", n);
        if (ValueMayExist(hive, old->location, parked))
            parked[0] = '\0';
    }
    if (!parked[0]
        || !WriteValue(hive, old->location, parked, 1, wholeType, whole, wholeSize))
        return SaveCaseNotStored;
    AutostartItem parkedItem = *old;
    TextCopy(parkedItem.name, sizeof parkedItem.name, parked);
    if (DeleteItem(old, 1) != DeleteDone) {
        DeleteItem(&parkedItem, 1);
        return SaveCaseNotStored;
    }
    int result = SaveCaseRenamed;
    if (!WriteNew(hive, old->location, name, value)) {
        result = SaveCaseNotStored;
        // The old value back under its own name; the parked copy stays if not.
        if (!WriteValue(hive, old->location, old->name, 1, wholeType, whole, wholeSize))
            return SaveCaseNotStored;
    }
    // The parked copy left in Run would start the program a second time.
    if (DeleteItem(&parkedItem, 1) != DeleteDone && DeleteItem(&parkedItem, 1) != DeleteDone
        && ValueMayExist(hive, old->location, parked)) {
        TextCopy(extra, TEXT_FIELD_SIZE, parked);
        return result == SaveCaseRenamed ? SaveCaseParkedKept : result;
    }
    return result;
}

void SaveReplacePlace(int allUsers, int32_t mode, int32_t editIndex, char *place)
{
    PlatHive hive;
    const char *path;
    SaveDestination(allUsers, EditedItem(mode, editIndex), &hive, &path);
    RegistryKeyText(hive, path, 0, place, TEXT_FIELD_SIZE);
}

// The record of the entry as it will be stored, for its approval value.
static void NewRecord(const AutostartItem *old, const char *name, int allUsers, PlatHive hive,
                      const char *path, AutostartItem *record)
{
    if (old)
        *record = *old;
    else
        memset(record, 0, sizeof *record);
    record->kind = RegistryValue;
    TextCopy(record->location, sizeof record->location, path);
    TextCopy(record->name, sizeof record->name, name);
    TextCopy(record->scope, sizeof record->scope, allUsers ? SCOPE_ALL : SCOPE_USER);
    record->view = hive == PLAT_HKLM32 ? View32 : ViewNative;
    record->enabled = !LocationDisabled(path);
}

int SaveItem(const char *name, const char *file, const char *parameters, int allUsers,
             int32_t mode, int32_t editIndex)
{
    char backup[TEXT_FIELD_SIZE];
    return SaveItemWithBackup(name, file, parameters, allUsers, mode, editIndex, backup);
}

static int ApprovalStays(const AutostartItem *item)
{
    PlatHive hive = PLAT_HKCU;
    char path[TEXT_FIELD_SIZE];
    return ApprovalList(item, &hive, path) && KeyMayHoldValue(hive, path, item->name);
}

static int WriteSaved(const AutostartItem *old, const char *name, const char *file,
                      const char *parameters, const char *data, int allUsers, PlatHive hive,
                      const char *path, char *backupFile);

static int WriteEntry(const AutostartItem *old, const char *name, const char *file,
                     const char *parameters, int allUsers, char *backupFile);

// An entry started later keeps its task's action equal to its command: the
// task with the new action is registered and read back first, the entry
// written, and only then the old task deleted; a write that fails deletes
// the new task, so the entry and its one task never differ. Only the
// command of a value changes so (its name and place are its task's id).
static int SaveStartedLater(const AutostartItem *old, const char *name, const char *file,
                            const char *parameters, int allUsers, char *backupFile)
{
    if (old->kind != RegistryValue || strcmp(name, old->name) != 0
        || (allUsers != 0) == (ScopeIsUser(old->scope) != 0))
        return SetStoreError(CAUSE_LATER_EDIT), SaveRefused;
    char data[TEXT_FIELD_SIZE + COMMAND_FIELD_SIZE + 4], oldTask[TEXT_FIELD_SIZE];
    char newTask[TEXT_FIELD_SIZE];
    ComposeCommand(file, parameters, data, sizeof data);
    TextCopy(oldTask, sizeof oldTask, old->laterTask);
    long registered = RegisterEditedLaterTask(old, data, newTask);
    if (registered != PLAT_OK)
        return SetStoreError(registered), SaveRefused;
    int result = WriteEntry(old, name, file, parameters, allUsers, backupFile);
    int stored = result == SaveDone || result == SaveReplaced;
    const char *stale = stored ? oldTask : newTask;
    long deleted = PlatTaskDelete(stale);
    if (deleted != PLAT_OK && deleted != PLAT_ERROR_FILE_NOT_FOUND) {
        // Written, yet its old task stays beside the new one: said.
        SetStoreError(CAUSE_LATER_TWICE);
        return stored ? SaveLaterTwice : result;
    }
    return result;
}

int SaveItemWithBackup(const char *name, const char *file, const char *parameters, int allUsers,
                       int32_t mode, int32_t editIndex, char *backupFile)
{
    backupFile[0] = '\0';
    const AutostartItem *old = EditedItem(mode, editIndex);
    if (mode == EditorEdit && !old)
        return SaveNotWritten;
    if (old && !ItemActionable(old))
        return SaveRefused;
    if (old && old->startLater)
        return SaveStartedLater(old, name, file, parameters, allUsers, backupFile);
    return WriteEntry(old, name, file, parameters, allUsers, backupFile);
}

static int WriteEntry(const AutostartItem *old, const char *name, const char *file,
                     const char *parameters, int allUsers, char *backupFile)
{
    PlatHive hive;
    const char *path;
    SaveDestination(allUsers, old, &hive, &path);
    char data[TEXT_FIELD_SIZE + COMMAND_FIELD_SIZE + 4];
    ComposeCommand(file, parameters, data, sizeof data);
    // Another entry written over, and a switch left behind by an uninstaller
    // that would turn the new one off unasked: both saved first, or nothing
    // is written.
    AutostartItem record;
    NewRecord(old, name, allUsers, hive, path, &record);
    int replaced = 0;
    HeldApproval held;
    memset(&held, 0, sizeof held);
    if (!IsTheOldValue(old, hive, name)) {
        replaced = BackupReplaced(&record, backupFile);
        if (replaced == BackupFailed || replaced == BackupFolderIsLink)
            return SaveNotWritten;
        replaced = replaced == BackupMade;
        // The replaced entry's switch comes back if nothing replaces it; a
        // switch that stays (it could not be told whether another entry of
        // the name needs it) would keep the new entry off: not written.
        if (replaced && !HoldApproval(&record, &held))
            return SaveNotWritten;
        if (replaced && (DropApproval(&record) != 0 || ApprovalStays(&record))) {
            PutBackApproval(&record, &held);
            return SaveNotWritten;
        }
    }
    int result = WriteSaved(old, name, file, parameters, data, allUsers, hive, path, backupFile);
    if (result == SaveNotWritten && replaced)
        PutBackApproval(&record, &held);
    else
        ForgetApproval(&held);
    return result == SaveDone && replaced ? SaveReplaced : result;
}

// The value written, new or over the old one; a SaveResult.
static int WriteSaved(const AutostartItem *old, const char *name, const char *file,
                      const char *parameters, const char *data, int allUsers, PlatHive hive,
                      const char *path, char *backupFile)
{
    if (!old)
        return WriteValue(hive, path, name, 0, PLAT_REG_SZ, data, (uint32_t)strlen(data) + 1)
                   ? SaveDone
                   : SaveNotWritten;

    char shownFile[TEXT_FIELD_SIZE], shownParameters[COMMAND_FIELD_SIZE];
    int fields = EditFields(old, shownFile, shownParameters);
    int commandKept = fields != FieldsEditable
                      || (strcmp(file, shownFile) == 0 && strcmp(parameters, shownParameters) == 0);
    int sameValue = IsTheOldValue(old, hive, name);
    int caseOnly = sameValue && strcmp(name, old->name) != 0;
    if (commandKept && sameValue && !caseOnly)
        return SaveDone; // nothing changed that the registry would keep

    // The old value's own bytes, never its text through the code page.
    uint32_t type = PLAT_REG_SZ;
    void *whole = NULL;
    uint32_t size = 0;
    if (!ReadWholeValue(HiveOfItem(old), old->location, old->name, 1, &type, &whole, &size))
        return SaveNotWritten;
    NewValue value = {1, type, whole, size};
    if (!commandKept) {
        // A changed command of a REG_EXPAND_SZ value stays one.
        value.raw = 0;
        value.type = type == PLAT_REG_EXPAND_SZ ? PLAT_REG_EXPAND_SZ : PLAT_REG_SZ;
        value.data = data;
        value.size = (uint32_t)strlen(data) + 1;
    }
    // Windows' own switch follows the entry to its new name and list before
    // the entry does (it never stands there without it), and leaves the old
    // name once the old value is gone.
    AutostartItem moved = *old;
    TextCopy(moved.name, sizeof moved.name, name);
    TextCopy(moved.scope, sizeof moved.scope, allUsers ? SCOPE_ALL : SCOPE_USER);
    moved.view = hive == PLAT_HKLM32 ? View32 : ViewNative;
    int result = SaveDone;
    if (caseOnly) {
        result = RenameCase(old, name, &value, whole, type, size, backupFile);
    } else if (!sameValue && CarryApproval(old, &moved) != 0) {
        result = SaveNotWritten;
    } else if (!WriteNew(hive, path, name, &value)) {
        result = SaveNotWritten;
        if (!sameValue)
            DropApproval(&moved); // the switch carried for nothing
    } else if (!sameValue) {
        // The old name keeps its switch while its value stays.
        if (DeleteItem(old, 1) != DeleteDone)
            result = SaveOldKept;
        else
            DropApproval(old);
    }
    PlatFree(whole);
    return result;
}

// ---- the history's copy of what a save changes ------------------------------

// One value a save may change, as it is now (data: PlatFree it).
struct BeforeValue {
    PlatHive hive;
    char path[TEXT_FIELD_SIZE];
    char name[TEXT_FIELD_SIZE];
    uint32_t type;
    void *data;
    uint32_t size;
};

// Adds the value as it is now, once; zero when it is there but cannot be read.
static int AddBefore(BeforeValue *values, int *count, PlatHive hive, const char *path,
                     const char *name)
{
    for (int i = 0; i < *count; ++i)
        if (values[i].hive == hive && PlatNamesEqual(values[i].path, path)
            && PlatNamesEqual(values[i].name, name))
            return 1;
    BeforeValue *v = &values[*count];
    memset(v, 0, sizeof *v);
    v->hive = hive;
    TextCopy(v->path, sizeof v->path, path);
    TextCopy(v->name, sizeof v->name, name);
    if (!ReadWholeValue(hive, path, name, 1, &v->type, &v->data, &v->size)
        && KeyMayHoldValue(hive, path, name))
        return 0;
    ++*count;
    return 1;
}

// The entry's value and its switch in Windows' settings, as they are now.
static int AddEntryBefore(BeforeValue *values, int *count, const AutostartItem *item)
{
    PlatHive listHive = PLAT_HKCU;
    char list[TEXT_FIELD_SIZE];
    return AddBefore(values, count, HiveOfItem(item), item->location, item->name)
           && (!ApprovalList(item, &listHive, list)
               || AddBefore(values, count, listHive, list, item->name));
}

long BackupEntryValues(const char *what, const AutostartItem *old, const AutostartItem *record,
                       char *backup)
{
    backup[0] = '\0';
    if (!NameCarried(record->name) || (old && !NameCarried(old->name)))
        return CAUSE_NAME_NOT_CARRIED;
    BeforeValue values[4];
    int count = 0;
    int read = (!old || AddEntryBefore(values, &count, old)) && AddEntryBefore(values, &count, record);
    long cause = read ? (long)PLAT_OK : (long)CAUSE_BACKUP_FAILED;
    if (read) {
        BackupValue saved[4];
        for (int i = 0; i < count; ++i) {
            BackupValue one = {values[i].hive, values[i].path, values[i].name, values[i].type,
                               values[i].data, values[i].size, values[i].data == NULL};
            saved[i] = one;
        }
        int made = BackupValues(what, saved, count, backup);
        cause = made == BackupMade ? (long)PLAT_OK
                : made == BackupFolderIsLink ? (long)CAUSE_PLACE_IS_LINK
                                             : (long)CAUSE_BACKUP_FAILED;
    }
    for (int i = 0; i < count; ++i)
        PlatFree(values[i].data);
    return cause;
}

int SaveEntry(const char *name, const char *file, const char *parameters, int allUsers,
              int32_t mode, int32_t editIndex, char *backupFile, const FrontEnd *front,
              long *journalCause)
{
    *journalCause = PLAT_OK;
    const AutostartItem *old = EditedItem(mode, editIndex);
    if (!front || !front->name || (mode == EditorEdit && !old) || (old && !ItemActionable(old)))
        return SaveItemWithBackup(name, file, parameters, allUsers, mode, editIndex, backupFile);
    PlatHive hive;
    const char *path;
    SaveDestination(allUsers, old, &hive, &path);
    AutostartItem *record = (AutostartItem *)PlatAllocZero(sizeof *record);
    JournalRecord *noted = (JournalRecord *)PlatAllocZero(sizeof *noted);
    char before[TEXT_FIELD_SIZE] = "";
    long saved = PLAT_ERROR_OUTOFMEMORY;
    if (record && noted) {
        NewRecord(old, name, allUsers, hive, path, record);
        JournalBegin(noted, old ? JournalEdit : JournalAdd, old);
        noted->undoBy = UndoByReg;
        saved = BackupEntryValues("Saved", old, record, before);
    }
    int result = SaveItemWithBackup(name, file, parameters, allUsers, mode, editIndex, backupFile);
    int stored = result == SaveDone || result == SaveReplaced || result == SaveCaseRenamed
                 || result == SaveCaseParkedKept || result == SaveOldKept
                 || result == SaveLaterTwice;
    if (!stored && before[0])
        PlatDeleteFile(before); // nothing changed: nothing to undo
    if (stored && saved == PLAT_OK) {
        // The entry as it is now, read back.
        uint32_t type = 0, size = 0;
        void *text = NULL;
        if (ReadWholeValue(hive, path, name, 0, &type, &text, &size))
            TextCopy(record->command, sizeof record->command, (const char *)text);
        PlatFree(text);
        *journalCause = JournalChangeDone(noted, record, before, front->name);
    } else if (stored) {
        *journalCause = saved;
    }
    PlatFree(noted);
    PlatFree(record);
    return result;
}
