// reg_reader.cpp - the .reg forms reg_file.cpp writes, read back exactly:
// a value comes back with its type and every byte, its name with every
// character. The reader walks the file's UTF-16 units once, never past
// their end, and writes only into blocks sized from the file before it
// starts.
#include "reg_reader.h"

#include <string.h>

#define HEADER "Windows Registry Editor Version 5.00"
#define WOW64_SOFTWARE "Software\\WOW6432Node\\"

struct Cursor {
    const unsigned char *units; // after the byte-order mark
    uint32_t count;
    uint32_t at;
    uint32_t line;
    unsigned char *arena;
    size_t used, room;
};

static unsigned UnitAt(const Cursor *c, uint32_t i)
{
    return i < c->count ? (unsigned)(c->units[2 * i] | (c->units[2 * i + 1] << 8)) : 0xFFFFFFFFu;
}

static unsigned Peek(const Cursor *c)
{
    return UnitAt(c, c->at);
}

// Nonzero when the ASCII text follows, which is then passed.
static int Take(Cursor *c, const char *text)
{
    uint32_t n = 0;
    for (; text[n]; ++n)
        if (UnitAt(c, c->at + n) != (unsigned char)text[n])
            return 0;
    c->at += n;
    return 1;
}

// The end of a line (CRLF, as the writer ends every line), or of the file.
static int TakeLineEnd(Cursor *c)
{
    if (c->at >= c->count)
        return 1;
    if (Take(c, "\r\n")) {
        ++c->line;
        return 1;
    }
    return 0;
}

// The writer's digits are lowercase.
static int HexDigit(unsigned unit)
{
    return unit >= '0' && unit <= '9'   ? (int)(unit - '0')
           : unit >= 'a' && unit <= 'f' ? (int)(unit - 'a' + 10)
                                         : -1;
}

// Room in the arena; null when it is used up (it never is for a file the
// size it was made for, but the reader does not rely on that).
static unsigned char *Claim(Cursor *c, size_t size)
{
    if (size > c->room - c->used)
        return NULL;
    unsigned char *block = c->arena + c->used;
    c->used += size;
    return block;
}

// Appends one character as UTF-8; a lone surrogate as U+FFFD, *exact 0.
static void PutUtf8(unsigned char **out, uint32_t code)
{
    unsigned char *o = *out;
    if (code < 0x80) {
        *o++ = (unsigned char)code;
    } else if (code < 0x800) {
        *o++ = (unsigned char)(0xC0 | (code >> 6));
        *o++ = (unsigned char)(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *o++ = (unsigned char)(0xE0 | (code >> 12));
        *o++ = (unsigned char)(0x80 | ((code >> 6) & 0x3F));
        *o++ = (unsigned char)(0x80 | (code & 0x3F));
    } else {
        *o++ = (unsigned char)(0xF0 | (code >> 18));
        *o++ = (unsigned char)(0x80 | ((code >> 12) & 0x3F));
        *o++ = (unsigned char)(0x80 | ((code >> 6) & 0x3F));
        *o++ = (unsigned char)(0x80 | (code & 0x3F));
    }
    *out = o;
}

// units[0..n) as UTF-8 text in the arena (terminated); null when no room.
static char *Utf8Of(Cursor *c, const unsigned *units, uint32_t n, int32_t *exact)
{
    unsigned char *text = Claim(c, (size_t)n * 3 + 1);
    if (!text)
        return NULL;
    unsigned char *out = text;
    *exact = 1;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t code = units[i];
        if (code >= 0xD800 && code <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00
            && units[i + 1] <= 0xDFFF) {
            code = 0x10000 + ((code - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        } else if (code >= 0xD800 && code <= 0xDFFF) {
            code = 0xFFFD;
            *exact = 0;
        }
        PutUtf8(&out, code);
    }
    *out = '\0';
    return (char *)text;
}

// A quoted text after its opening quote: \\ and \" are the only escapes,
// the closing quote ends it, a line end never comes inside. The units go
// into units (room: the file's count); *n their number.
static int TakeQuoted(Cursor *c, unsigned *units, uint32_t *n)
{
    *n = 0;
    for (;;) {
        unsigned unit = Peek(c);
        // A zero would cut the text short: the writer puts such text in hex.
        if (unit == 0xFFFFFFFFu || unit == '\r' || unit == '\n' || unit == 0)
            return 0;
        ++c->at;
        if (unit == '"')
            return 1;
        if (unit == '\\') {
            unit = Peek(c);
            if (unit != '\\' && unit != '"')
                return 0;
            ++c->at;
        }
        units[(*n)++] = unit;
    }
}

// The key line's text after "[": its hive and path.
static int TakeKey(Cursor *c, unsigned *units, RegFileValue *key)
{
    uint32_t n = 0;
    for (;;) {
        unsigned unit = Peek(c);
        if (unit == 0xFFFFFFFFu || unit == '\r' || unit == '\n' || unit == '[' || unit == 0)
            return 0;
        ++c->at;
        if (unit == ']')
            break;
        units[n++] = unit;
    }
    int32_t exact = 1;
    size_t mark = c->used;
    char *text = Utf8Of(c, units, n, &exact);
    c->used = mark; // the text is copied into the record, not kept
    if (!text || !exact)
        return 0;
    const char *path = NULL;
    if (strncmp(text, "HKEY_CURRENT_USER\\", 18) == 0) {
        key->hive = PLAT_HKCU;
        path = text + 18;
    } else if (strncmp(text, "HKEY_LOCAL_MACHINE\\", 19) == 0) {
        key->hive = PLAT_HKLM;
        path = text + 19;
    } else {
        return 0;
    }
    // The 32-bit view's keys are written as the registry editor names them.
    char joined[REG_KEY_PATH_SIZE], head[32];
    size_t wow = strlen(WOW64_SOFTWARE);
    if (key->hive == PLAT_HKLM && strlen(path) >= wow) {
        memcpy(head, path, wow);
        head[wow] = '\0';
        if (PlatNamesEqual(head, WOW64_SOFTWARE)) {
            key->hive = PLAT_HKLM32;
            if (!TextFormat(joined, sizeof joined, "Software\\%s", path + wow))
                return 0;
            path = joined;
        }
    }
    return path[0] && TextCopy(key->path, sizeof key->path, path) && TakeLineEnd(c);
}

// Bytes as "xx,xx,..." with a backslash, a line end and blanks between
// lines, into data (room: the file's count); *size their number.
static int TakeHexBytes(Cursor *c, unsigned char *data, uint32_t *size)
{
    *size = 0;
    if (Peek(c) == '\r' || Peek(c) == '\n' || Peek(c) == 0xFFFFFFFFu)
        return 1; // none
    for (;;) {
        int high = HexDigit(Peek(c)), low = HexDigit(UnitAt(c, c->at + 1));
        if (high < 0 || low < 0)
            return 0;
        c->at += 2;
        data[(*size)++] = (unsigned char)(high * 16 + low);
        if (Peek(c) != ',')
            return 1;
        ++c->at;
        if (Peek(c) == '\\') {
            ++c->at;
            if (!Take(c, "\r\n"))
                return 0;
            ++c->line;
            if (!Take(c, "  "))
                return 0;
        }
    }
}

// A number of digits hex digits, the most significant first, as bytes
// little-endian.
static int TakeNumber(Cursor *c, int digits, unsigned char *data)
{
    for (int i = 0; i < digits; ++i)
        if (HexDigit(UnitAt(c, c->at + (uint32_t)i)) < 0)
            return 0;
    for (int byte = 0; byte < digits / 2; ++byte) {
        uint32_t at = c->at + (uint32_t)(digits - 2 * byte - 2);
        data[byte] = (unsigned char)(HexDigit(UnitAt(c, at)) * 16 + HexDigit(UnitAt(c, at + 1)));
    }
    c->at += (uint32_t)digits;
    return 1;
}

// The value after its name and "=": its type and data.
static int TakeData(Cursor *c, unsigned *units, RegFileValue *value)
{
    unsigned char *data = c->arena + c->used;
    size_t room = c->room - c->used;
    uint32_t size = 0;
    if (Take(c, "-")) {
        value->deleted = 1;
        value->type = PLAT_REG_NONE;
    } else if (Take(c, "\"")) {
        uint32_t n = 0;
        if (!TakeQuoted(c, units, &n) || room < 2 * (size_t)n + 2)
            return 0;
        for (uint32_t i = 0; i < n; ++i) {
            data[size++] = (unsigned char)(units[i] & 0xFF);
            data[size++] = (unsigned char)(units[i] >> 8);
        }
        data[size++] = 0;
        data[size++] = 0;
        value->type = PLAT_REG_SZ;
    } else if (Take(c, "dword:")) {
        if (room < 4 || !TakeNumber(c, 8, data))
            return 0;
        size = 4;
        value->type = PLAT_REG_DWORD;
    } else {
        if (Take(c, "hex:")) {
            value->type = PLAT_REG_BINARY;
        } else if (Take(c, "hex(")) {
            // Any type, as the writer writes it: one to eight digits.
            uint32_t type = 0;
            int digits = 0;
            for (; digits < 8 && HexDigit(Peek(c)) >= 0; ++digits, ++c->at)
                type = type * 16 + (uint32_t)HexDigit(Peek(c));
            if (!digits || (digits > 1 && type < 16u) || !Take(c, "):"))
                return 0;
            value->type = type;
        } else {
            return 0;
        }
        // Three units of the file at least for each byte: room enough.
        if (room < (c->count - c->at) / 3 + 1 || !TakeHexBytes(c, data, &size))
            return 0;
    }
    value->data = data;
    value->size = size;
    c->used += size;
    return TakeLineEnd(c);
}

static int32_t LinesIn(const Cursor *c)
{
    int32_t lines = 1;
    for (uint32_t i = 0; i < c->count; ++i)
        lines += UnitAt(c, i) == '\n';
    return lines;
}

void FreeRegContent(RegFileContent *content)
{
    PlatFree(content->values);
    PlatFree(content->arena);
    memset(content, 0, sizeof *content);
}

int ReadRegText(const unsigned char *bytes, uint32_t size, RegFileContent *content,
                uint32_t *line)
{
    memset(content, 0, sizeof *content);
    *line = 0;
    if (size > REG_READ_MOST)
        return RegReadTooLarge;
    if (size < 2 || size % 2 || bytes[0] != 0xFF || bytes[1] != 0xFE)
        return RegReadNotReg;
    Cursor c;
    memset(&c, 0, sizeof c);
    c.units = bytes + 2;
    c.count = (size - 2) / 2;
    c.line = 1;
    if (!Take(&c, HEADER) || !TakeLineEnd(&c))
        return *line = 1, RegReadNotReg;
    int32_t most = LinesIn(&c);
    if (most > REG_READ_VALUES_MOST)
        most = REG_READ_VALUES_MOST + 1;
    c.room = 4 * (size_t)size + 64;
    c.arena = (unsigned char *)PlatAllocZero(c.room);
    unsigned *units = (unsigned *)PlatAllocZero(((size_t)c.count + 1) * sizeof(unsigned));
    content->values = (RegFileValue *)PlatAllocZero(((size_t)most + 1) * sizeof(RegFileValue));
    content->arena = c.arena;
    if (!c.arena || !units || !content->values) {
        PlatFree(units);
        FreeRegContent(content);
        return RegReadNoMemory;
    }
    RegFileValue key;
    memset(&key, 0, sizeof key);
    int haveKey = 0, result = RegReadDone;
    while (result == RegReadDone && c.at < c.count) {
        if (TakeLineEnd(&c))
            continue; // a blank line
        if (Take(&c, "[")) {
            haveKey = TakeKey(&c, units, &key);
            result = haveKey ? RegReadDone : RegReadMalformed;
            continue;
        }
        if (!haveKey || (Peek(&c) != '"' && Peek(&c) != '@')) {
            result = RegReadMalformed;
            break;
        }
        if (content->count >= REG_READ_VALUES_MOST) {
            result = RegReadTooLarge;
            break;
        }
        RegFileValue *value = &content->values[content->count];
        *value = key;
        uint32_t n = 0;
        int named = Take(&c, "@") || (Take(&c, "\"") && TakeQuoted(&c, units, &n));
        value->name = named ? Utf8Of(&c, units, n, &value->nameExact) : NULL;
        if (!value->name || !Take(&c, "=") || !TakeData(&c, units, value))
            result = RegReadMalformed;
        else
            ++content->count;
    }
    PlatFree(units);
    if (result != RegReadDone) {
        *line = result == RegReadMalformed ? c.line : 0;
        FreeRegContent(content);
    }
    return result;
}
