// backups.cpp - what Remove and CleanUp delete is saved first.
//
// Registry values go into a .reg file that the registry editor imports
// ("Windows Registry Editor Version 5.00": UTF-16LE with a byte-order mark,
// so every character of a name and every byte of a value comes back as it
// was), a removed shortcut is copied; both into one folder under the user's
// Documents, one file per operation named by its date and time. Nothing is
// deleted unless its backup was written, closed, read back and found to hold
// every value; a value the format cannot carry (a line break in its name) or
// whose name the code page changed is never deleted.
#include "store.h"

#include <string.h>

// ---- the .reg file -----------------------------------------------------

struct RegWriter {
    PlatFile file;
    int failed;
    uint32_t values;     // value lines written
    uint32_t nameHash;   // FNV-1a of the names written, in order
};

// Names are compared on read-back by this hash of their UTF-16 form.
static uint32_t HashName(uint32_t hash, const unsigned char *units, uint32_t size)
{
    for (uint32_t i = 0; i < size; ++i)
        hash = (hash ^ units[i]) * 16777619u;
    return (hash ^ 0xFF) * 16777619u; // the end of one name
}

#define HASH_START 2166136261u

static void Put(RegWriter *writer, const void *bytes, uint32_t size)
{
    if (!writer->failed && size && !PlatFileWrite(writer->file, bytes, size))
        writer->failed = 1;
}

// The program's own ASCII text, as UTF-16LE.
static void PutText(RegWriter *writer, const char *text)
{
    unsigned char units[128];
    while (*text) {
        uint32_t n = 0;
        for (; *text && n + 2 <= sizeof units; ++text) {
            units[n++] = (unsigned char)*text;
            units[n++] = 0;
        }
        Put(writer, units, n);
    }
}

static unsigned Unit(const unsigned char *units, uint32_t i)
{
    return units[2 * i] | (units[2 * i + 1] << 8);
}

// UTF-16LE text in double quotes, with \ and " escaped by character, never
// by byte (a trail byte of a double-byte code page is no backslash).
static void PutQuoted(RegWriter *writer, const unsigned char *units, uint32_t count)
{
    PutText(writer, "\"");
    for (uint32_t i = 0; i < count; ++i) {
        unsigned c = Unit(units, i);
        if (c == '\\' || c == '"')
            PutText(writer, "\\");
        Put(writer, units + 2 * i, 2);
    }
    PutText(writer, "\"");
}

// "hex(N):" and the bytes, wrapped as the registry editor wraps them.
static void PutHex(RegWriter *writer, size_t column, const char *prefix,
                   const unsigned char *bytes, uint32_t size)
{
    static const char digits[] = "0123456789abcdef";
    PutText(writer, prefix);
    column += strlen(prefix);
    for (uint32_t i = 0; i < size; ++i) {
        char pair[4] = {digits[bytes[i] >> 4], digits[bytes[i] & 15], ',', '\0'};
        if (i + 1 == size)
            pair[2] = '\0';
        PutText(writer, pair);
        column += 3;
        if (i + 1 < size && column > 76) {
            PutText(writer, "\\\r\n  ");
            column = 2;
        }
    }
}

// A REG_SZ is written as a quoted string only when that gives back exactly
// its bytes: whole UTF-16 units, one terminator at the end, no other zero
// and no line break inside. Anything else is written as hex(1).
static int PlainString(const unsigned char *data, uint32_t size)
{
    if (size < 2 || size % 2 || Unit(data, size / 2 - 1) != 0)
        return 0;
    for (uint32_t i = 0; i + 1 < size / 2; ++i) {
        unsigned c = Unit(data, i);
        if (c == 0 || c == '\r' || c == '\n')
            return 0;
    }
    return 1;
}

// Nonzero when a .reg line can carry the name: no line break in it.
static int NameCarried(const char *name)
{
    return !strchr(name, '\r') && !strchr(name, '\n');
}

// The name as UTF-16LE in a block to PlatFree; null when out of memory.
#define WHOLE_NAME_SIZE 16384
static unsigned char *NameUnits(const char *name, uint32_t *size)
{
    unsigned char *units = (unsigned char *)PlatAllocZero(4 * WHOLE_NAME_SIZE);
    *size = units && name[0] ? PlatTextToUtf16(name, units, 4 * WHOLE_NAME_SIZE) : 0;
    return units;
}

// The value's name and "=", counted for the read-back; zero when it could
// not be written. *column: where the data starts on its line.
static int PutName(RegWriter *writer, const char *name, size_t *column)
{
    uint32_t nameSize = 0;
    unsigned char *units = NameUnits(name, &nameSize);
    if (!units || (name[0] && !nameSize)) {
        writer->failed = 1;
        PlatFree(units);
        return 0;
    }
    if (name[0])
        PutQuoted(writer, units, nameSize / 2);
    else
        PutText(writer, "@");
    PutText(writer, "=");
    writer->values++;
    writer->nameHash = HashName(writer->nameHash, units, nameSize);
    // As wide as the name was written.
    *column = name[0] ? nameSize / 2 + 3 : 2;
    for (uint32_t i = 0; i < nameSize / 2; ++i)
        *column += Unit(units, i) == '\\' || Unit(units, i) == '"';
    PlatFree(units);
    return 1;
}

static void PutValue(RegWriter *writer, const char *name, uint32_t type, const void *data,
                     uint32_t size)
{
    const unsigned char *bytes = (const unsigned char *)data;
    size_t column = 0;
    if (!PutName(writer, name, &column))
        return;
    if (type == PLAT_REG_SZ && PlainString(bytes, size)) {
        PutQuoted(writer, bytes, size / 2 - 1);
    } else if (type == PLAT_REG_DWORD && size == 4) {
        char number[16];
        TextFormat(number, sizeof number, "dword:%02x%02x%02x%02x", bytes[3], bytes[2],
                   bytes[1], bytes[0]);
        PutText(writer, number);
    } else if (type == PLAT_REG_BINARY) {
        PutHex(writer, column, "hex:", bytes, size);
    } else {
        char prefix[24];
        TextFormat(prefix, sizeof prefix, "hex(%x):", (unsigned)type);
        PutHex(writer, column, prefix, bytes, size);
    }
    PutText(writer, "\r\n");
}

// A value that was not there: importing the file deletes it ("name"=-).
static void PutDeletion(RegWriter *writer, const char *name)
{
    size_t column = 0;
    if (PutName(writer, name, &column))
        PutText(writer, "-\r\n");
}

static void PutKey(RegWriter *writer, PlatHive hive, const char *path)
{
    char key[TEXT_FIELD_SIZE + 32];
    RegistryKeyText(hive, path, 1, key, sizeof key);
    unsigned char units[4 * sizeof key];
    uint32_t size = PlatTextToUtf16(key, units, sizeof units);
    if (!size)
        writer->failed = 1;
    PutText(writer, "\r\n[");
    Put(writer, units, size);
    PutText(writer, "]\r\n");
}

// The entry's approval value (Windows' own switch), when it has one, goes
// into the same file: restoring brings back both. Nonzero when one was put.
static int PutApproval(RegWriter *writer, const AutostartItem *item)
{
    PlatHive hive = PLAT_HKCU;
    char path[TEXT_FIELD_SIZE];
    uint32_t type = PLAT_REG_NONE, size = 0;
    void *data = NULL;
    if (!ReadApprovalValue(item, &hive, path, &type, &data, &size))
        return 0;
    PutKey(writer, hive, path);
    PutValue(writer, item->name, type, data, size);
    PlatFree(data);
    return 1;
}

// ---- reading the file back ---------------------------------------------

#define REG_HEADER "Windows Registry Editor Version 5.00"

// Nonzero when the file at path is a .reg file whose value lines are
// exactly the values and names the writer wrote: read from the disk, so a
// fault of the writer or of the file system shows before anything is deleted.
static int BackupHoldsAll(const char *path, const RegWriter *writer)
{
    uint32_t size = 0;
    unsigned char *file = (unsigned char *)PlatFileLoad(path, &size);
    if (!file)
        return 0;
    uint32_t count = size / 2;
    int ok = count >= 1 && Unit(file, 0) == 0xFEFF;
    uint32_t values = 0;
    uint32_t hash = HASH_START;
    unsigned char *name = (unsigned char *)PlatAllocZero(size + 2);
    for (uint32_t i = 1, line = 0; ok && i < count; ++line) {
        uint32_t end = i;
        while (end < count && Unit(file, end) != '\n')
            ++end;
        if (line == 0) {
            uint32_t n = 0;
            for (const char *h = REG_HEADER; *h && ok; ++h, ++n)
                ok = i + n < end && Unit(file, i + n) == (unsigned char)*h;
        } else if (Unit(file, i) == '@' || Unit(file, i) == '"') {
            // A value line: its name up to the closing quote, unescaped.
            uint32_t length = 0;
            uint32_t at = i + 1;
            if (Unit(file, i) == '"') {
                for (; at < end && Unit(file, at) != '"'; ++at) {
                    if (Unit(file, at) == '\\' && at + 1 < end)
                        ++at;
                    name[length++] = file[2 * at];
                    name[length++] = file[2 * at + 1];
                }
                ++at;
            }
            ok = name && at < end && Unit(file, at) == '=';
            hash = HashName(hash, name, length);
            ++values;
        }
        i = end + 1;
    }
    PlatFree(name);
    PlatFree(file);
    return ok && values == writer->values && hash == writer->nameHash;
}

// ---- the folder and the names ------------------------------------------

int BackupFolder(char *path)
{
    char documents[TEXT_FIELD_SIZE];
    if (!PlatShellFolder(PLAT_CSIDL_PERSONAL, documents)
        || !TextFormat(path, TEXT_FIELD_SIZE, "%s\\%s", documents, BACKUP_FOLDER))
        return 0;
    // Documents is the user's to point anywhere: elevated, the folder is made
    // there only through held folders and with the user's ordinary rights.
    PlatPlace place = NULL;
    if (!HoldPlace(documents, NULL, 0, 1, &place))
        return BackupFolderIsLink;
    PlatCreateFolder(path);
    int held = PlaceStillHeld(place);
    ReleasePlace(place);
    if (!held)
        return BackupFolderIsLink;
    // Any program of the user may turn the folder into a junction (no rights
    // needed): elevated, writing through it would write wherever it points.
    if (PlatIsElevated() && PlatFolderIsLink(path)) {
        SetStoreError(PLAT_ERROR_STOPPED_ON_SYMLINK);
        return BackupFolderIsLink;
    }
    return 1;
}

// Makes the backup file at path; nonzero when made. Zero with a file at
// path means the name was taken meanwhile.

// Makes "<folder>\<what> 2026-12-07 130509<ending>", with " (2)" and on
// while a name is taken, also when it is taken between looking and making:
// nothing is ever written over. 1 with the name in path, 0 when no backup
// could be made, or BackupFolderIsLink.
int NewBackup(const char *what, const char *ending, MakeBackup make, void *context, char *path)
{
    char folder[TEXT_FIELD_SIZE];
    int have = BackupFolder(folder);
    if (have != 1)
        return have;
    PlatTime now;
    PlatLocalTime(&now);
    char stamp[32];
    TextFormat(stamp, sizeof stamp, "%04d-%02d-%02d %02d%02d%02d", now.year, now.month, now.day,
               now.hour, now.minute, now.second);
    PlatPlace place = NULL;
    if (!HoldPlace(folder, NULL, 0, 1, &place))
        return BackupFolderIsLink;
    int made = 0;
    for (int copy = 1; copy < 100 && !made; ++copy) {
        char suffix[8] = "";
        if (copy > 1)
            TextFormat(suffix, sizeof suffix, " (%d)", copy);
        if (!TextFormat(path, TEXT_FIELD_SIZE, "%s\\%s %s%s%s", folder, what, stamp, suffix, ending))
            break;
        if (PlatFileExists(path))
            continue;
        made = make(path, context);
        if (!made && !PlatFileExists(path))
            break;
    }
    // Written through a folder made a link meanwhile: not a backup of ours.
    if (made && !PlaceStillHeld(place)) {
        PlatDeleteFile(path);
        ReleasePlace(place);
        return BackupFolderIsLink;
    }
    ReleasePlace(place);
    return made ? 1 : 0;
}

static int BeginRegFile(const char *path, void *context)
{
    RegWriter *writer = (RegWriter *)context;
    writer->failed = 0;
    writer->values = 0;
    writer->nameHash = HASH_START;
    writer->file = PlatFileCreateNew(path);
    if (!writer->file)
        return 0;
    static const unsigned char byteOrderMark[2] = {0xFF, 0xFE};
    Put(writer, byteOrderMark, 2);
    PutText(writer, REG_HEADER "\r\n");
    return 1;
}

static int CopyRemovedFile(const char *path, void *context)
{
    return PlatCopyFile((const char *)context, path);
}

// Nonzero only when every byte was written, the file closed cleanly and
// read back whole; a failed file is deleted so no half backup is taken for
// a whole one.
static int EndRegFile(RegWriter *writer, const char *path)
{
    PutText(writer, "\r\n");
    int closed = PlatFileClose(writer->file);
    if (writer->failed || !closed || !BackupHoldsAll(path, writer)) {
        PlatDeleteFile(path);
        return 0;
    }
    return 1;
}

// ---- Remove -------------------------------------------------------------

// A removed file's switch in Windows' startup settings cannot go into its
// copy: it goes beside it ("Removed ... Agent.lnk.reg"), which the registry
// editor imports. 1 when there is none, 2 when saved, 0 when it could not be.
static int SaveFileApproval(const AutostartItem *item, const char *copy)
{
    PlatHive hive = PLAT_HKCU;
    char path[TEXT_FIELD_SIZE], regPath[TEXT_FIELD_SIZE];
    uint32_t type = PLAT_REG_NONE, size = 0;
    void *data = NULL;
    if (!ReadApprovalValue(item, &hive, path, &type, &data, &size))
        return 1;
    RegWriter writer;
    int saved = 0;
    PlatPlace place = NULL;
    if (NameCarried(item->name) && TextFormat(regPath, sizeof regPath, "%s.reg", copy)
        && HoldPlace(copy, NULL, 1, 1, &place) && BeginRegFile(regPath, &writer)) {
        PutKey(&writer, hive, path);
        PutValue(&writer, item->name, type, data, size);
        saved = EndRegFile(&writer, regPath);
    }
    ReleasePlace(place);
    PlatFree(data);
    return saved ? 2 : 0;
}

// Nonzero when both files hold the same bytes; zero when either cannot be read.
static int SameFileContent(const char *one, const char *other)
{
    uint32_t size = 0, otherSize = 0;
    void *data = PlatFileLoad(one, &size);
    void *otherData = data ? PlatFileLoad(other, &otherSize) : NULL;
    int same = data && otherData && size == otherSize && memcmp(data, otherData, size) == 0;
    PlatFree(data);
    PlatFree(otherData);
    return same;
}

static int RemoveFileWithBackup(const AutostartItem *item, char *backupFile)
{
    // "Removed 2026-12-07 130509 Agent.lnk": move it back under its own name.
    char copy[TEXT_FIELD_SIZE];
    char ending[TEXT_FIELD_SIZE + 2];
    int made = TextFormat(ending, sizeof ending, " %s", item->name)
                   ? NewBackup("Removed", ending, CopyRemovedFile, (void *)item->location, copy)
                   : 0;
    if (made != 1)
        return made == BackupFolderIsLink ? RemoveFolderIsLink : RemoveBackupFailed;
    TextCopy(backupFile, TEXT_FIELD_SIZE, copy);
    int approval = SaveFileApproval(item, copy);
    if (!approval) {
        PlatDeleteFile(copy);
        backupFile[0] = '\0';
        return RemoveBackupFailed;
    }
    // Another program may have rewritten the file since it was copied: only
    // what the backup holds goes.
    if (!SameFileContent(item->location, copy)) {
        SetStoreError(PLAT_ERROR_KEY_DELETED);
        return RemoveDeleteFailed;
    }
    if (DeleteItem(item, 0) != DeleteDone)
        return RemoveDeleteFailed;
    if (approval == 2)
        DropApproval(item);
    return RemoveDone;
}

int RemoveItemWithBackup(const AutostartItem *item, char *backupFile)
{
    if (item->kind == ScheduledTask)
        return RemoveTaskWithBackup(item, backupFile);
    backupFile[0] = '\0';
    if (item->logonPlace)
        return RemoveLogonItem(item, backupFile);
    SetStoreError(PLAT_OK);
    if (!ItemActionable(item))
        return RemoveRefused;
    if (item->kind != RegistryValue) {
        // Elevated, a file seen through a folder made a link (any user can
        // make the shared folder of disabled items one) is another place's:
        // neither copied nor deleted with administrator rights. Its folders
        // stay held over the backup and the delete.
        PlatPlace place = NULL;
        if (!HoldPlace(item->location, NULL, 1, 0, &place))
            return LastStoreError() == CAUSE_PLACE_IS_LINK ? RemoveRefused : RemoveBackupFailed;
        int removed = RemoveFileWithBackup(item, backupFile);
        ReleasePlace(place);
        return removed;
    }
    if (!NameCarried(item->name))
        return RemoveNameNotCarried;

    PlatHive hive = HiveOfItem(item);
    uint32_t type = PLAT_REG_NONE;
    void *data = NULL;
    uint32_t size = 0;
    char path[TEXT_FIELD_SIZE];
    if (!ReadWholeValue(hive, item->location, item->name, 1, &type, &data, &size))
        return RemoveBackupFailed;
    RegWriter writer;
    int saved = NewBackup("Removed", ".reg", BeginRegFile, &writer, path);
    if (saved == 1) {
        PutKey(&writer, hive, item->location);
        PutValue(&writer, item->name, type, data, size);
        PutApproval(&writer, item);
        saved = EndRegFile(&writer, path);
    }
    if (saved != 1) {
        PlatFree(data);
        return saved == BackupFolderIsLink ? RemoveFolderIsLink : RemoveBackupFailed;
    }
    TextCopy(backupFile, TEXT_FIELD_SIZE, path);
    // Another program may have rewritten it since: only what the backup holds goes.
    int deleted = DeleteValueIfUnchanged(item, type, data, size);
    PlatFree(data);
    if (deleted != DeleteDone)
        return RemoveDeleteFailed;
    DropApproval(item);
    return RemoveDone;
}

// ---- Replace ------------------------------------------------------------

int BackupReplaced(const AutostartItem *entry, char *backupFile)
{
    backupFile[0] = '\0';
    PlatHive hive = HiveOfItem(entry);
    uint32_t type = PLAT_REG_NONE, size = 0;
    void *data = NULL;
    int hasValue = ReadWholeValue(hive, entry->location, entry->name, 1, &type, &data, &size);
    // A value that is there but cannot be read is never written over unsaved.
    if (!hasValue && KeyMayHoldValue(hive, entry->location, entry->name))
        return 0;
    PlatHive approvalHive = PLAT_HKCU;
    char approvalPath[TEXT_FIELD_SIZE];
    uint32_t approvalType = PLAT_REG_NONE, approvalSize = 0;
    void *approval = NULL;
    int hasApproval = ReadApprovalValue(entry, &approvalHive, approvalPath, &approvalType,
                                        &approval, &approvalSize);
    PlatFree(approval);
    if (!hasValue && !hasApproval)
        return 3;
    char path[TEXT_FIELD_SIZE];
    RegWriter writer;
    int made = NameCarried(entry->name) ? NewBackup("Replaced", ".reg", BeginRegFile, &writer, path)
                                        : 0;
    if (made == 1) {
        if (hasValue) {
            PutKey(&writer, hive, entry->location);
            PutValue(&writer, entry->name, type, data, size);
        }
        PutApproval(&writer, entry);
        made = EndRegFile(&writer, path);
    }
    PlatFree(data);
    if (made == 1)
        TextCopy(backupFile, TEXT_FIELD_SIZE, path);
    return made;
}

// ---- CleanUp ------------------------------------------------------------

// One "-" key of one hive, and what became of it.
struct DisabledKey {
    PlatHive hive;
    const char *parent; // the key that holds it
    char name[24];      // "Run-"
    int32_t values;     // entries it holds (in its sections, for "RunOnceEx-")
    int32_t settings;   // section titles of "RunOnceEx-"
    int32_t deleted;    // entries deleted
    int32_t deletedSettings;
    int32_t kept;       // entries backed up but not deleted
    long cause;         // why the first of them was not
    int keep;           // a name in it cannot be handled or carried: kept whole
    int hidden;         // it holds an entry the window hides: kept whole
};

// One value CleanUp saved: deleted only while it still holds what the
// backup holds (another program may write into a "-" key meanwhile).
struct SavedValue {
    SavedValue *next;
    DisabledKey *place;
    int setting;
    uint32_t type, size, hash;
    char path[TEXT_FIELD_SIZE];
    char name[1]; // as long as it is
};

static uint32_t HashData(uint32_t type, const void *data, uint32_t size)
{
    return HashName(HashName(HASH_START, (const unsigned char *)&type, sizeof type),
                    (const unsigned char *)data, size);
}

static void DisabledKeyPath(const DisabledKey *place, char *path)
{
    TextFormat(path, TEXT_FIELD_SIZE, "%s\\%s", place->parent, place->name);
}

// Nonzero for "RunOnceEx-", whose values are in section subkeys.
static int HasSections(const DisabledKey *place)
{
    return TextCompareNoCase(place->name, RUN_ONCE_EX "-") == 0;
}

// A record for one value of a "-" key, for its approval value; zero when
// its name does not fit a record (it then has no approval value to find).
static int ValueItem(const DisabledKey *place, const char *path, const char *name,
                     AutostartItem *item)
{
    memset(item, 0, sizeof *item);
    item->kind = RegistryValue;
    TextCopy(item->location, sizeof item->location, path);
    TextCopy(item->scope, sizeof item->scope, place->hive == PLAT_HKCU ? SCOPE_USER : SCOPE_ALL);
    item->view = place->hive == PLAT_HKLM32 ? View32 : ViewNative;
    return TextCopy(item->name, sizeof item->name, name);
}

// Remembers a saved value for its deletion; zero when out of memory.
static int Remember(SavedValue **saved, DisabledKey *place, const char *path, const char *name,
                    int setting, uint32_t type, const void *data, uint32_t size)
{
    size_t length = strlen(name);
    SavedValue *value = (SavedValue *)PlatAllocZero(sizeof *value + length);
    if (!value)
        return 0;
    value->place = place;
    value->setting = setting;
    value->type = type;
    value->size = size;
    value->hash = HashData(type, data, size);
    TextCopy(value->path, sizeof value->path, path);
    memcpy(value->name, name, length + 1);
    value->next = *saved;
    *saved = value;
    return 1;
}

// Saves (writer null: only counts) every value of one "-" key or section.
// Nonzero when the key was read whole (or is not there). A value whose name
// the code page changed or a .reg line cannot carry is not saved, and the
// key is marked to be kept. A section's default value is its title.
static int SaveKeyValues(RegWriter *writer, DisabledKey *place, const char *path, int section,
                         SavedValue **saved)
{
    PlatKey key = NULL;
    long opened = PlatRegOpenRead(place->hive, path, &key);
    if (opened == PLAT_ERROR_FILE_NOT_FOUND)
        return 1;
    if (opened != PLAT_OK || !key)
        return 0;
    char *name = (char *)PlatAllocZero(WHOLE_NAME_SIZE);
    int ok = name != NULL;
    int headed = 0;
    for (uint32_t index = 0; ok; ++index) {
        long result = PlatRegEnumValue(key, index, name, WHOLE_NAME_SIZE, NULL, NULL, NULL);
        if (result == PLAT_ERROR_NO_MORE_ITEMS)
            break;
        if (result != PLAT_OK && result != PLAT_ERROR_MORE_DATA) {
            ok = 0;
            break;
        }
        int setting = section && !name[0];
        ++*(setting ? &place->settings : &place->values);
        if (!PlatRegNameExact(key, index, name) || !NameCarried(name)) {
            place->keep = 1;
            continue;
        }
        if (!writer)
            continue;
        uint32_t type = PLAT_REG_NONE;
        void *data = NULL;
        uint32_t size = 0;
        if (!ReadWholeValue(place->hive, path, name, 1, &type, &data, &size)) {
            ok = 0;
            break;
        }
        if (!headed)
            PutKey(writer, place->hive, path);
        headed = 1;
        PutValue(writer, name, type, data, size);
        ok = Remember(saved, place, path, name, setting, type, data, size);
        PlatFree(data);
        AutostartItem value;
        if (ValueItem(place, path, name, &value) && PutApproval(writer, &value))
            headed = 0; // the next value names its key again
    }
    PlatFree(name);
    PlatRegClose(key);
    return ok;
}

// Saves the key's values, or for "RunOnceEx-" those of every section (its
// own values and its "Depend" key are settings, not entries: they stay).
static int SaveDisabledKey(RegWriter *writer, DisabledKey *place, SavedValue **saved)
{
    char path[TEXT_FIELD_SIZE];
    DisabledKeyPath(place, path);
    if (!HasSections(place))
        return SaveKeyValues(writer, place, path, 0, saved);
    PlatKey key = NULL;
    long opened = PlatRegOpenRead(place->hive, path, &key);
    if (opened == PLAT_ERROR_FILE_NOT_FOUND)
        return 1;
    if (opened != PLAT_OK || !key)
        return 0;
    int ok = 1;
    char section[TEXT_FIELD_SIZE], sectionPath[TEXT_FIELD_SIZE];
    for (uint32_t index = 0; ok; ++index) {
        long result = PlatRegEnumKey(key, index, section, sizeof section);
        if (result == PLAT_ERROR_NO_MORE_ITEMS)
            break;
        if (result == PLAT_OK && TextCompareNoCase(section, RUN_ONCE_EX_DEPEND) == 0)
            continue;
        ok = result == PLAT_OK
             && TextFormat(sectionPath, sizeof sectionPath, "%s\\%s", path, section)
             && SaveKeyValues(writer, place, sectionPath, 1, saved);
    }
    PlatRegClose(key);
    return ok;
}

static void ForgetSaved(SavedValue *saved)
{
    while (saved) {
        SavedValue *next = saved->next;
        PlatFree(saved);
        saved = next;
    }
}

// Writes one .reg file of every value in the "-" keys. 1 with the file (or
// none when there was nothing to save) in backupFile, 0 when the backup
// could not be made whole, BackupFolderIsLink when its folder is refused.
static int SaveAllDisabled(DisabledKey *places, int count, char *backupFile, SavedValue **saved)
{
    backupFile[0] = '\0';
    char path[TEXT_FIELD_SIZE];
    RegWriter writer;
    int made = NewBackup("CleanUp", ".reg", BeginRegFile, &writer, path);
    if (made != 1)
        return made;
    int ok = 1;
    for (int i = 0; i < count && ok; ++i)
        ok = SaveDisabledKey(&writer, &places[i], saved);
    if (!EndRegFile(&writer, path) || !ok) {
        PlatDeleteFile(path);
        return 0;
    }
    if (writer.values == 0) {
        PlatDeleteFile(path);
        return 1;
    }
    TextCopy(backupFile, TEXT_FIELD_SIZE, path);
    return 1;
}

// Deletes the value when it still holds what was saved; the Windows error
// otherwise (a changed value counts as changed by another program).
static long DeleteIfUnchanged(const SavedValue *value)
{
    PlatHive hive = value->place->hive;
    uint32_t type = PLAT_REG_NONE, size = 0;
    void *data = NULL;
    if (!ReadWholeValue(hive, value->path, value->name, 1, &type, &data, &size))
        return ValueMayExist(hive, value->path, value->name) ? PLAT_ERROR_ACCESS_DENIED
                                                             : PLAT_ERROR_FILE_NOT_FOUND;
    int same = type == value->type && size == value->size
               && HashData(type, data, size) == value->hash;
    PlatFree(data);
    if (!same)
        return PLAT_ERROR_FILE_NOT_FOUND;
    PlatKey key = NULL;
    long result = PlatRegCreate(hive, value->path, PLAT_KEY_WRITE, &key);
    if (result != PLAT_OK || !key)
        return result != PLAT_OK ? result : (long)PLAT_ERROR_INVALID_HANDLE;
    result = PlatRegDeleteValue(key, value->name);
    PlatRegClose(key);
    return result;
}

// Nonzero when the key holds no value and no subkey.
static int KeyIsEmpty(PlatHive hive, const char *path)
{
    PlatKey key = NULL;
    if (PlatRegOpenRead(hive, path, &key) != PLAT_OK || !key)
        return 0;
    char name[TEXT_FIELD_SIZE];
    int empty = PlatRegEnumValue(key, 0, name, sizeof name, NULL, NULL, NULL)
                    == PLAT_ERROR_NO_MORE_ITEMS
                && PlatRegEnumKey(key, 0, name, sizeof name) == PLAT_ERROR_NO_MORE_ITEMS;
    PlatRegClose(key);
    return empty;
}

// Deletes the subkey of parentPath when it is empty; what is left in it stays.
static void DeleteIfEmpty(PlatHive hive, const char *parentPath, const char *name)
{
    char path[TEXT_FIELD_SIZE];
    if (!TextFormat(path, sizeof path, "%s\\%s", parentPath, name) || !KeyIsEmpty(hive, path))
        return;
    PlatKey parent = NULL;
    if (PlatRegCreate(hive, parentPath, PLAT_KEY_ALL_ACCESS, &parent) != PLAT_OK || !parent)
        return;
    PlatRegDeleteSubkey(hive, parent, name);
    PlatRegClose(parent);
}

// The sections of "RunOnceEx-" left empty, then the key itself when empty.
static void DeleteEmptyKeys(DisabledKey *place)
{
    char path[TEXT_FIELD_SIZE];
    DisabledKeyPath(place, path);
    if (HasSections(place)) {
        PlatKey key = NULL;
        if (PlatRegOpenRead(place->hive, path, &key) == PLAT_OK && key) {
            // Each deletion moves the rest up: an index passes only what stays.
            char section[TEXT_FIELD_SIZE];
            uint32_t index = 0;
            for (int left = 10000; left > 0; --left) {
                if (PlatRegEnumKey(key, index, section, sizeof section) != PLAT_OK)
                    break;
                char sectionPath[TEXT_FIELD_SIZE];
                if (TextFormat(sectionPath, sizeof sectionPath, "%s\\%s", path, section)
                    && KeyIsEmpty(place->hive, sectionPath))
                    DeleteIfEmpty(place->hive, path, section);
                else
                    ++index;
            }
            PlatRegClose(key);
        }
    }
    DeleteIfEmpty(place->hive, place->parent, place->name);
}

// Deletes, value by value, what the backup holds and still holds it, with
// its approval value (in the backup too); then the keys left empty.
static void DeleteSavedValues(DisabledKey *places, int count, const SavedValue *saved)
{
    for (const SavedValue *value = saved; value; value = value->next) {
        DisabledKey *place = value->place;
        if (place->keep || place->hidden)
            continue;
        long result = DeleteIfUnchanged(value);
        if (result == PLAT_OK) {
            ++*(value->setting ? &place->deletedSettings : &place->deleted);
            AutostartItem item;
            if (ValueItem(place, value->path, value->name, &item))
                DropApproval(&item);
        } else if (!value->setting) {
            if (place->kept++ == 0)
                place->cause = result;
        }
    }
    for (int i = 0; i < count; ++i)
        if (!places[i].keep && !places[i].hidden)
            DeleteEmptyKeys(&places[i]);
}

static const char *Plural(int32_t n, const char *one, const char *many)
{
    return n == 1 ? one : many;
}

// Each hive's five "-" keys, and its policy "Run-" (one for both views).
#define CLEANUP_PLACES (3 * (RUN_KEY_COUNT + 1))
static int CleanUpPlaces(DisabledKey *places)
{
    PlatHive hives[3] = {PLAT_HKLM, PLAT_HKLM32, PLAT_HKCU};
    int hiveCount = 3;
    if (!PlatHasTwoViews()) {
        hives[1] = PLAT_HKCU;
        hiveCount = 2;
    }
    int placeCount = 0;
    for (int h = 0; h < hiveCount; ++h) {
        for (int k = 0; k <= RUN_KEY_COUNT; ++k) {
            if (k == RUN_KEY_COUNT && hives[h] == PLAT_HKLM32)
                continue;
            DisabledKey *place = &places[placeCount++];
            memset(place, 0, sizeof *place);
            place->hive = hives[h];
            place->parent = k < RUN_KEY_COUNT ? CURRENT_VERSION_KEY : POLICY_EXPLORER_KEY;
            TextFormat(place->name, sizeof place->name, "%s-",
                       k < RUN_KEY_COUNT ? RunKeyNames[k] : "Run");
        }
    }
    return placeCount;
}

static void MarkHiddenPlaces(DisabledKey *places, int placeCount, const int32_t *hidden,
                             int32_t count);

void CountCleanUp(CleanUpCount *count)
{
    CountCleanUpShown(count, NULL, 0);
}

void CountCleanUpShown(CleanUpCount *count, const int32_t *hidden, int32_t records)
{
    memset(count, 0, sizeof *count);
    DisabledKey places[CLEANUP_PLACES];
    int placeCount = CleanUpPlaces(places);
    // A key that holds a hidden row is kept whole: none of it goes.
    MarkHiddenPlaces(places, placeCount, hidden, records);
    for (int i = 0; i < placeCount; ++i) {
        DisabledKey *place = &places[i];
        SaveDisabledKey(NULL, place, NULL);
        if (place->hidden)
            ++count->hiddenPlaces;
        if (place->keep || place->hidden || place->values + place->settings == 0)
            continue;
        *(place->hive == PLAT_HKCU ? &count->user : &count->machine) += place->values;
        count->settings += place->settings;
        // "Run-, RunOnceEx-": each key name once, whichever hives hold it.
        char quoted[32];
        TextFormat(quoted, sizeof quoted, "%s, ", place->name);
        if (!strstr(count->places, quoted))
            TextAppend(count->places, sizeof count->places, quoted);
    }
    size_t length = strlen(count->places);
    if (length >= 2)
        count->places[length - 2] = '\0';
}

// " 2 disabled entries of all users were kept: administrator rights are
// needed." for the entries of the places whose deletion failed with cause.
static void AppendKept(char *status, size_t size, const DisabledKey *places, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!places[i].kept)
            continue;
        // One sentence per cause, with the scope when all its entries share one.
        int done = 0;
        for (int j = 0; j < i && !done; ++j)
            done = places[j].kept && places[j].cause == places[i].cause;
        if (done)
            continue;
        int32_t kept = 0;
        int user = 0, machine = 0;
        for (int j = i; j < count; ++j) {
            if (!places[j].kept || places[j].cause != places[i].cause)
                continue;
            kept += places[j].kept;
            *(places[j].hive == PLAT_HKCU ? &user : &machine) = 1;
        }
        char text[256];
        TextFormat(text, sizeof text, STATUS_CLEANUP_DENIED, (int)kept,
                   Plural(kept, "entry", "entries"),
                   user && machine ? "" : user ? " of this user" : " of all users",
                   Plural(kept, "was", "were"), CauseText(places[i].cause));
        TextAppend(status, size, status[0] ? " " : "");
        TextAppend(status, size, text);
    }
}

// Marks the places that hold a record hidden[i] marks: nobody sees those
// rows, so nothing deletes them unseen.
static void MarkHiddenPlaces(DisabledKey *places, int placeCount, const int32_t *hidden,
                             int32_t count)
{
    for (int32_t i = 0; hidden && i < count; ++i) {
        const AutostartItem *item = CatalogueItem(i);
        // CleanUp never deletes a logon place's row ("RunOnceEx-\<section>\Depend"
        // included): it keeps no key whole.
        if (!hidden[i] || !item || item->kind != RegistryValue || item->logonPlace
            || !LocationDisabled(item->location))
            continue;
        PlatHive hive = HiveOfItem(item);
        for (int p = 0; p < placeCount; ++p) {
            DisabledKey *place = &places[p];
            char path[TEXT_FIELD_SIZE];
            DisabledKeyPath(place, path);
            size_t length = strlen(path);
            // The policy key is one for both views.
            int policy = strcmp(place->parent, POLICY_EXPLORER_KEY) == 0;
            int sameHive = place->hive == hive
                           || (policy && place->hive == PLAT_HKLM && hive == PLAT_HKLM32);
            if (sameHive && TextCompareNoCase(item->location, path) != 0) {
                char prefix[TEXT_FIELD_SIZE + 1];
                TextFormat(prefix, sizeof prefix, "%s\\", path);
                sameHive = strlen(item->location) > length + 1
                           && strncmp(item->location, prefix, length + 1) == 0;
            }
            if (sameHive)
                place->hidden = 1;
        }
    }
}

// One "Kept <key>" sentence per key kept whole (hidden 0) or kept because
// it holds rows the list hides (hidden 1), after what status says already.
static void AppendKeptKeys(char *status, size_t size, const DisabledKey *places, int placeCount,
                           int hidden, const char *format)
{
    for (int i = 0; i < placeCount; ++i) {
        int wanted = hidden ? !places[i].keep && places[i].hidden : places[i].keep;
        if (!wanted)
            continue;
        char key[TEXT_FIELD_SIZE + 32];
        char path[TEXT_FIELD_SIZE];
        char kept[TEXT_FIELD_SIZE + 128];
        DisabledKeyPath(&places[i], path);
        RegistryKeyText(places[i].hive, path, 0, key, sizeof key);
        TextFormat(kept, sizeof kept, format, key);
        TextAppend(status, size, status[0] ? " " : "");
        TextAppend(status, size, kept);
    }
}

int CleanUpDisabled(const int32_t *desired, int32_t count, StatusSink sink, void *context)
{
    return CleanUpDisabledShown(desired, NULL, count, sink, context);
}

int CleanUpDisabledShown(const int32_t *desired, const int32_t *hidden, int32_t count,
                         StatusSink sink, void *context)
{
    ApplyChanges(desired, count, sink, context);
    DisabledKey places[CLEANUP_PLACES];
    int placeCount = CleanUpPlaces(places);
    MarkHiddenPlaces(places, placeCount, hidden, count);
    char backup[TEXT_FIELD_SIZE];
    SavedValue *saved = NULL;
    int made = SaveAllDisabled(places, placeCount, backup, &saved);
    if (made != 1) {
        ForgetSaved(saved);
        if (sink && made == BackupFolderIsLink)
            ReportFolderIsLink(sink, context, BACKUP_FOLDER);
        else if (sink)
            sink(context, STATUS_BACKUP_FAILED);
        return 1;
    }
    DeleteSavedValues(places, placeCount, saved);
    ForgetSaved(saved);

    int32_t deleted = 0, settings = 0;
    for (int i = 0; i < placeCount; ++i) {
        deleted += places[i].deleted;
        settings += places[i].deletedSettings;
    }
    char status[1024];
    char extra[64] = "";
    if (settings)
        TextFormat(extra, sizeof extra, STATUS_CLEANUP_SETTINGS, (int)settings,
                   Plural(settings, "setting", "settings"));
    if (deleted + settings > 0)
        TextFormat(status, sizeof status, STATUS_CLEANUP_DONE, (int)deleted,
                   Plural(deleted, "entry", "entries"), extra, backup);
    else if (backup[0])
        TextFormat(status, sizeof status, STATUS_CLEANUP_NONE_DELETED, backup);
    else
        TextCopy(status, sizeof status, STATUS_CLEANUP_NOTHING);
    AppendKept(status, sizeof status, places, placeCount);
    AppendKeptKeys(status, sizeof status, places, placeCount, 0, STATUS_CLEANUP_KEPT);
    AppendKeptKeys(status, sizeof status, places, placeCount, 1, STATUS_CLEANUP_KEPT_HIDDEN);
    if (sink)
        sink(context, status);
    return 0;
}

// ---- whole values before a change ------------------------------------------

int BackupValues(const char *what, const BackupValue *values, int count, char *backupFile)
{
    backupFile[0] = '\0';
    for (int i = 0; i < count; ++i)
        if (!NameCarried(values[i].name))
            return 0;
    char path[TEXT_FIELD_SIZE];
    RegWriter writer;
    int made = NewBackup(what, ".reg", BeginRegFile, &writer, path);
    if (made != 1)
        return made;
    for (int i = 0; i < count; ++i) {
        PutKey(&writer, values[i].hive, values[i].path);
        if (values[i].absent)
            PutDeletion(&writer, values[i].name);
        else
            PutValue(&writer, values[i].name, values[i].type, values[i].data, values[i].size);
    }
    if (!EndRegFile(&writer, path))
        return 0;
    TextCopy(backupFile, TEXT_FIELD_SIZE, path);
    return 1;
}
