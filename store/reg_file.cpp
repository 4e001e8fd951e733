// reg_file.cpp - what Remove and CleanUp delete is saved first: the writer
// of their .reg backups, and the folder and names of every backup.
//
// Registry values go into a .reg file that the registry editor imports
// ("Windows Registry Editor Version 5.00": UTF-16LE with a byte-order mark,
// so every character of a name and every byte of a value comes back as it
// was), into one folder under the user's Documents, one file per operation
// named by its date and time. A file counts only when it was written,
// closed, read back and found to hold every value. remove.cpp and
// cleanup.cpp write through reg_file.h.
#include "reg_file.h"
#include "journal.h"

#include <string.h>

// ---- the .reg file -----------------------------------------------------

// Names are compared on read-back by this hash of their UTF-16 form.
uint32_t HashName(uint32_t hash, const unsigned char *units, uint32_t size)
{
    for (uint32_t i = 0; i < size; ++i)
        hash = (hash ^ units[i]) * 16777619u;
    return (hash ^ 0xFF) * 16777619u; // the end of one name
}

static uint32_t HashBytes(uint32_t hash, const unsigned char *bytes, uint32_t size)
{
    for (uint32_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 16777619u;
    return hash;
}

static void Put(RegWriter *writer, const void *bytes, uint32_t size)
{
    if (!writer->failed && size && !PlatFileWrite(writer->file, bytes, size))
        writer->failed = 1;
    writer->bytesHash = HashBytes(writer->bytesHash, (const unsigned char *)bytes, size);
    Sha256Add(&writer->sha, bytes, size);
    writer->bytes += size;
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
int NameCarried(const char *name)
{
    return !strchr(name, '\r') && !strchr(name, '\n');
}

// The name as UTF-16LE in a block to PlatFree; null when out of memory.
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

void PutValue(RegWriter *writer, const char *name, uint32_t type, const void *data, uint32_t size)
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

void PutKey(RegWriter *writer, PlatHive hive, const char *path)
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
int PutApproval(RegWriter *writer, const AutostartItem *item)
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

// Nonzero when the file at path holds exactly the bytes the writer wrote,
// and is a .reg file whose value lines are the values and names it meant:
// read from the disk, so a fault of the writer or of the file system, or
// another program's change to the file, shows before anything is deleted.
static int BackupHoldsAll(const char *path, const RegWriter *writer)
{
    uint32_t size = 0;
    unsigned char *file = (unsigned char *)PlatFileLoad(path, &size);
    if (!file)
        return 0;
    if (size != writer->bytes || HashBytes(HASH_START, file, size) != writer->bytesHash) {
        PlatFree(file);
        return 0;
    }
    uint32_t count = size / 2;
    unsigned char *name = (unsigned char *)PlatAllocZero(size + 2);
    int ok = name && count >= 1 && Unit(file, 0) == 0xFEFF;
    uint32_t values = 0;
    uint32_t hash = HASH_START;
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
            ok = at < end && Unit(file, at) == '=';
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
        return BackupFailed;
    // Documents is the user's to point anywhere: elevated, the folder is made
    // there only through held folders and with the user's ordinary rights.
    PlatPlace place = NULL;
    if (HoldPlace(documents, NULL, 0, 1, &place) != PLAT_OK)
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
    return BackupMade;
}

// Makes the backup file at path; nonzero when made. Zero with a file at
// path means the name was taken meanwhile.

// Makes "<folder>\<what> 2026-12-07 130509<ending>", with " (2)" and on
// while a name is taken, also when it is taken between looking and making:
// nothing is ever written over.
int NewBackup(const char *what, const char *ending, MakeBackup make, AbandonBackup abandon,
              void *context, char *path)
{
    char folder[TEXT_FIELD_SIZE];
    int have = BackupFolder(folder);
    if (have != BackupMade)
        return have;
    PlatTime now;
    PlatLocalTime(&now);
    char stamp[32];
    TextFormat(stamp, sizeof stamp, "%04d-%02d-%02d %02d%02d%02d", now.year, now.month, now.day,
               now.hour, now.minute, now.second);
    PlatPlace place = NULL;
    if (HoldPlace(folder, NULL, 0, 1, &place) != PLAT_OK)
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
        if (abandon)
            abandon(context);
        PlatDeleteFile(path);
        ReleasePlace(place);
        return BackupFolderIsLink;
    }
    ReleasePlace(place);
    return made ? BackupMade : BackupFailed;
}

int BeginRegFile(const char *path, void *context)
{
    RegWriter *writer = (RegWriter *)context;
    writer->failed = 0;
    writer->values = 0;
    writer->nameHash = HASH_START;
    writer->bytes = 0;
    writer->bytesHash = HASH_START;
    Sha256Begin(&writer->sha);
    writer->file = PlatFileCreateNew(path);
    if (!writer->file)
        return 0;
    static const unsigned char byteOrderMark[2] = {0xFF, 0xFE};
    Put(writer, byteOrderMark, 2);
    PutText(writer, REG_HEADER "\r\n");
    return 1;
}

void AbandonRegFile(void *context)
{
    RegWriter *writer = (RegWriter *)context;
    if (writer->file)
        PlatFileClose(writer->file);
    writer->file = NULL;
}

// Nonzero only when every byte was written, the file closed cleanly and
// read back whole; a failed file is deleted so no half backup is taken for
// a whole one.
int EndRegFile(RegWriter *writer, const char *path)
{
    PutText(writer, "\r\n");
    int closed = PlatFileClose(writer->file);
    if (writer->failed || !closed || !BackupHoldsAll(path, writer)) {
        PlatDeleteFile(path);
        return 0;
    }
    char hash[JOURNAL_HASH_SIZE];
    Sha256End(&writer->sha, hash);
    NoteWrittenBackup(path, writer->bytes, hash);
    return 1;
}

// ---- whole values before a change ------------------------------------------

int BackupValues(const char *what, const BackupValue *values, int count, char *backupFile)
{
    backupFile[0] = '\0';
    for (int i = 0; i < count; ++i)
        if (!NameCarried(values[i].name))
            return BackupFailed;
    char path[TEXT_FIELD_SIZE];
    RegWriter writer;
    int made = NewBackup(what, ".reg", BeginRegFile, AbandonRegFile, &writer, path);
    if (made != BackupMade)
        return made;
    for (int i = 0; i < count; ++i) {
        PutKey(&writer, values[i].hive, values[i].path);
        if (values[i].absent)
            PutDeletion(&writer, values[i].name);
        else
            PutValue(&writer, values[i].name, values[i].type, values[i].data, values[i].size);
    }
    if (!EndRegFile(&writer, path))
        return BackupFailed;
    TextCopy(backupFile, TEXT_FIELD_SIZE, path);
    return BackupMade;
}
