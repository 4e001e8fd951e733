// reg_reader.h - reading back the .reg files this program writes (its
// backups), to restore from them itself: a bounded reader of exactly the
// forms reg_file.cpp writes, and of nothing else.
//
// The file is UTF-16LE after a byte-order mark, its first line "Windows
// Registry Editor Version 5.00", then keys ("[HKEY_CURRENT_USER\...]") and
// their values: "name" or @ for the default value, "=", then a quoted
// string (\\ and \" escaped, no zero), dword:xxxxxxxx, hex: or hex(N): of
// any type (hex(b) a QWORD): bytes as pairs of lowercase digits split by
// commas, wrapped after a backslash, CRLF and two blanks, or - for a value
// to delete; every line ends in CRLF. Anything else, anywhere, makes the
// whole file unread: a backup is restored whole or not at all.
#pragma once

#include "../storage/storage.h"

// A file larger than this is no backup of ours.
#define REG_READ_MOST (16u * 1024u * 1024u)
#define REG_READ_VALUES_MOST 65536
#define REG_KEY_PATH_SIZE (2 * TEXT_FIELD_SIZE)

struct RegFileValue {
    PlatHive hive;                  // the 32-bit view for ...\Software\WOW6432Node\...
    char path[REG_KEY_PATH_SIZE];   // the key below its hive, as the program opens it
    const char *name;               // UTF-8; "" for the key's default value
    int32_t nameExact;              // 0 when the name holds a lone surrogate
    int32_t deleted;                // "name"=-: the value was not there
    uint32_t type;
    const unsigned char *data;      // the value's bytes, as stored
    uint32_t size;
};

struct RegFileContent {
    RegFileValue *values;
    int32_t count;
    unsigned char *arena; // the names and data the values point into
};

enum RegReadResult {
    RegReadDone = 0,
    RegReadNotReg = 1,     // no byte-order mark or header: not a .reg file of ours
    RegReadMalformed = 2,  // a line none of the forms above (*line says which)
    RegReadTooLarge = 3,   // past REG_READ_MOST, or more values than REG_READ_VALUES_MOST
    RegReadNoMemory = 4
};

// Reads the file's bytes; RegReadDone with every value in content (free it
// with FreeRegContent), else content empty and *line the 1-based line at
// fault (0 when none is).
int ReadRegText(const unsigned char *bytes, uint32_t size, RegFileContent *content,
                uint32_t *line);
void FreeRegContent(RegFileContent *content);
