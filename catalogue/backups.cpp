// backups.cpp - what Remove and CleanUp delete is saved first.
//
// Registry values go into a .reg file that the registry editor imports
// (REGEDIT4, the system's ANSI code page, like every text of this program),
// a removed shortcut is copied; both into one folder under the user's
// Documents, one file per operation named by its date and time. Nothing is
// deleted unless its backup was written and closed.
#include "store.h"

#include <string.h>

// ---- the .reg file -----------------------------------------------------

struct RegWriter {
    PlatFile file;
    int failed;
};

static void Put(RegWriter *writer, const char *text, size_t length)
{
    if (!writer->failed && length && !PlatFileWrite(writer->file, text, (uint32_t)length))
        writer->failed = 1;
}

static void PutText(RegWriter *writer, const char *text)
{
    Put(writer, text, strlen(text));
}

// A name or string in double quotes, with \ and " escaped.
static void PutQuoted(RegWriter *writer, const char *text, size_t length)
{
    PutText(writer, "\"");
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '\\' || text[i] == '"')
            PutText(writer, "\\");
        Put(writer, &text[i], 1);
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
        Put(writer, pair, i + 1 < size ? 3 : 2);
        column += 3;
        if (i + 1 < size && column > 76) {
            PutText(writer, "\\\r\n  ");
            column = 2;
        }
    }
}

// A REG_SZ is written as a quoted string only when that gives back exactly
// its bytes: one terminator at the end and no line break inside.
static int PlainString(const char *data, uint32_t size)
{
    if (size == 0 || data[size - 1] != '\0')
        return 0;
    for (uint32_t i = 0; i + 1 < size; ++i)
        if (data[i] == '\0' || data[i] == '\r' || data[i] == '\n')
            return 0;
    return 1;
}

static void PutValue(RegWriter *writer, const char *name, uint32_t type, const void *data,
                     uint32_t size)
{
    const unsigned char *bytes = (const unsigned char *)data;
    if (name[0])
        PutQuoted(writer, name, strlen(name));
    else
        PutText(writer, "@");
    PutText(writer, "=");
    // Where the data starts on its line, as wide as the name was written.
    size_t column = name[0] ? strlen(name) + 3 : 2;
    for (const char *c = name; *c; ++c)
        column += *c == '\\' || *c == '"';
    if (type == PLAT_REG_SZ && PlainString((const char *)data, size)) {
        PutQuoted(writer, (const char *)data, size - 1);
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

static void PutKey(RegWriter *writer, PlatHive hive, const char *path)
{
    char key[TEXT_FIELD_SIZE + 32];
    RegistryKeyText(hive, path, 1, key, sizeof key);
    PutText(writer, "\r\n[");
    PutText(writer, key);
    PutText(writer, "]\r\n");
}

// ---- the folder and the names ------------------------------------------

int BackupFolder(char *path)
{
    char documents[TEXT_FIELD_SIZE];
    if (!PlatShellFolder(PLAT_CSIDL_PERSONAL, documents)
        || !TextFormat(path, TEXT_FIELD_SIZE, "%s\\%s", documents, BACKUP_FOLDER))
        return 0;
    PlatCreateFolder(path);
    return 1;
}

// "<folder>\<what> 2026-12-07 130509<ending>", with " (2)" and on when a
// file of that name exists already. Zero when the name does not fit.
static int BackupName(const char *what, const char *ending, char *path)
{
    char folder[TEXT_FIELD_SIZE];
    if (!BackupFolder(folder))
        return 0;
    PlatTime now;
    PlatLocalTime(&now);
    char stamp[32];
    TextFormat(stamp, sizeof stamp, "%04d-%02d-%02d %02d%02d%02d", now.year, now.month, now.day,
               now.hour, now.minute, now.second);
    for (int copy = 1; copy < 100; ++copy) {
        char suffix[8] = "";
        if (copy > 1)
            TextFormat(suffix, sizeof suffix, " (%d)", copy);
        if (!TextFormat(path, TEXT_FIELD_SIZE, "%s\\%s %s%s%s", folder, what, stamp, suffix, ending))
            return 0;
        if (!PlatFileExists(path))
            return 1;
    }
    return 0;
}

static int BeginRegFile(RegWriter *writer, const char *path)
{
    writer->failed = 0;
    writer->file = PlatFileCreate(path);
    if (!writer->file)
        return 0;
    PutText(writer, "REGEDIT4\r\n");
    return 1;
}

// Nonzero only when every byte was written and the file closed cleanly; a
// failed file is deleted so no half backup is taken for a whole one.
static int EndRegFile(RegWriter *writer, const char *path)
{
    PutText(writer, "\r\n");
    int closed = PlatFileClose(writer->file);
    if (writer->failed || !closed) {
        PlatDeleteFile(path);
        return 0;
    }
    return 1;
}

// ---- Remove -------------------------------------------------------------

int RemoveItemWithBackup(const AutostartItem *item, char *backupFile)
{
    backupFile[0] = '\0';
    if (item->cut)
        return RemoveRefused;
    if (item->kind != RegistryValue) {
        // "Removed 2026-12-07 130509 Agent.lnk": move it back under its own name.
        char copy[TEXT_FIELD_SIZE];
        char ending[TEXT_FIELD_SIZE + 2];
        if (!TextFormat(ending, sizeof ending, " %s", item->name)
            || !BackupName("Removed", ending, copy) || !PlatCopyFile(item->location, copy))
            return RemoveBackupFailed;
        TextCopy(backupFile, TEXT_FIELD_SIZE, copy);
        return DeleteItem(item, 0) == DeleteDone ? RemoveDone : RemoveDeleteFailed;
    }

    PlatHive hive = HiveOfItem(item);
    uint32_t type = PLAT_REG_NONE;
    void *data = NULL;
    uint32_t size = 0;
    char path[TEXT_FIELD_SIZE];
    if (!ReadWholeValue(hive, item->location, item->name, &type, &data, &size))
        return RemoveBackupFailed;
    RegWriter writer;
    int saved = 0;
    if (BackupName("Removed", ".reg", path) && BeginRegFile(&writer, path)) {
        PutKey(&writer, hive, item->location);
        PutValue(&writer, item->name, type, data, size);
        saved = EndRegFile(&writer, path);
    }
    PlatFree(data);
    if (!saved)
        return RemoveBackupFailed;
    TextCopy(backupFile, TEXT_FIELD_SIZE, path);
    return DeleteItem(item, 1) == DeleteDone ? RemoveDone : RemoveDeleteFailed;
}

// ---- CleanUp ------------------------------------------------------------

// The whole name of a value, however long (up to the registry's limit).
#define WHOLE_NAME_SIZE 16384

// Saves every value of one "-" key. Nonzero when the key was read whole (or
// is not there); *any is set when it held a value.
static int SaveDisabledKey(RegWriter *writer, PlatHive hive, const char *path, int *any)
{
    PlatKey key = NULL;
    long opened = PlatRegOpenRead(hive, path, &key);
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
        uint32_t type = PLAT_REG_NONE;
        void *data = NULL;
        uint32_t size = 0;
        if ((result != PLAT_OK && result != PLAT_ERROR_MORE_DATA)
            || !ReadWholeValue(hive, path, name, &type, &data, &size)) {
            ok = 0;
            break;
        }
        if (!headed)
            PutKey(writer, hive, path);
        headed = 1;
        *any = 1;
        PutValue(writer, name, type, data, size);
        PlatFree(data);
    }
    PlatFree(name);
    PlatRegClose(key);
    return ok;
}

// Writes one .reg file of every value in the "-" keys of the hives. 1 with
// the file (or none when there was nothing to save) in backupFile, 0 when
// the backup could not be made whole.
static int SaveAllDisabled(const PlatHive *hives, int hiveCount, char *backupFile)
{
    backupFile[0] = '\0';
    char path[TEXT_FIELD_SIZE];
    RegWriter writer;
    if (!BackupName("CleanUp", ".reg", path) || !BeginRegFile(&writer, path))
        return 0;
    int any = 0, ok = 1;
    for (int h = 0; h < hiveCount && ok; ++h) {
        for (const char *name : RunKeyNames) {
            char disabled[TEXT_FIELD_SIZE];
            TextFormat(disabled, sizeof disabled, "%s\\%s-", CURRENT_VERSION_KEY, name);
            if (!SaveDisabledKey(&writer, hives[h], disabled, &any)) {
                ok = 0;
                break;
            }
        }
    }
    if (!EndRegFile(&writer, path) || !ok) {
        PlatDeleteFile(path);
        return 0;
    }
    if (!any) {
        PlatDeleteFile(path);
        return 1;
    }
    TextCopy(backupFile, TEXT_FIELD_SIZE, path);
    return 1;
}

int CleanUpDisabled(const int32_t *desired, int32_t count, StatusSink sink, void *context)
{
    ApplyChanges(desired, count, sink, context);
    PlatHive hives[3] = {PLAT_HKLM, PLAT_HKLM32, PLAT_HKCU};
    int hiveCount = 3;
    if (!PlatHasTwoViews()) {
        hives[1] = PLAT_HKCU;
        hiveCount = 2;
    }
    char backup[TEXT_FIELD_SIZE];
    if (!SaveAllDisabled(hives, hiveCount, backup)) {
        if (sink)
            sink(context, STATUS_BACKUP_FAILED);
        return 1;
    }
    for (int h = 0; h < hiveCount; ++h) {
        PlatKey parent = NULL;
        if (PlatRegCreate(hives[h], CURRENT_VERSION_KEY, PLAT_KEY_ALL_ACCESS, &parent) != PLAT_OK
            || !parent)
            continue;
        for (const char *name : RunKeyNames) {
            char disabled[64];
            TextFormat(disabled, sizeof disabled, "%s-", name);
            PlatRegDeleteSubkey(hives[h], parent, disabled);
        }
        PlatRegClose(parent);
    }
    if (backup[0] && sink) {
        char status[TEXT_FIELD_SIZE + 64];
        TextFormat(status, sizeof status, STATUS_BACKUP_SAVED, backup);
        sink(context, status);
    }
    return 0;
}
