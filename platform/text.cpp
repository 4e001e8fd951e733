// text.cpp - bounded copy, append, format and compare (see text.h).
#include "text.h"

#include "platform.h"

#include <stdarg.h>
#include <stdio.h>
#include <string.h>

int TextCopy(char *dst, size_t dstSize, const char *src)
{
    if (!dst || dstSize == 0)
        return 0;
    if (!src)
        src = "";
    size_t len = strlen(src);
    int fits = len < dstSize;
    if (!fits)
        len = dstSize - 1;
    memmove(dst, src, len);
    dst[len] = '\0';
    return fits;
}

int TextCopyShown(char *dst, size_t dstSize, const char *src, int cut)
{
    if (TextCopy(dst, dstSize, src) && !cut)
        return 1;
    if (!dst || dstSize < 4) // no room for the mark: the cut text alone
        return 0;
    size_t keep = strlen(dst);
    if (keep > dstSize - 4)
        keep = dstSize - 4;
    if (PlatCodePage() == 65001) {
        // Back to the start of the character at the cut; a character whose
        // end the field lost before goes too.
        size_t start = keep;
        while (start > 0 && ((unsigned char)dst[start - 1] & 0xC0) == 0x80)
            --start;
        unsigned char lead = start > 0 ? (unsigned char)dst[start - 1] : 0;
        size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        if (lead >= 0xC0 && start - 1 + need > keep)
            keep = start - 1;
    }
    memcpy(dst + keep, "...", 4);
    return 0;
}

// Bytes of the character at text: under UTF-8 its lead byte and the
// continuation bytes that follow (fewer when the text lost its end: whole
// is then zero), else one byte.
static size_t CharacterLength(const unsigned char *text, int utf8, int *whole)
{
    *whole = 1;
    if (!utf8 || text[0] < 0xC0)
        return 1;
    size_t need = text[0] >= 0xF0 ? 4 : text[0] >= 0xE0 ? 3 : 2;
    size_t length = 1;
    while (length < need && (text[length] & 0xC0) == 0x80)
        ++length;
    *whole = length == need;
    return length;
}

// Nonzero for a character that moves, reorders or breaks what is shown
// without being seen: a C1 control, the Arabic letter mark, the left-to-right
// and right-to-left marks, the line and paragraph separators, and the
// bidirectional embeddings, overrides and isolates; or one that takes no
// room at all, so "ctf<zero-width space>mon" passes for "ctfmon": the soft
// hyphen, the Hangul and Mongolian fillers and vowel separator, the
// zero-width space and word joiner, the invisible operators, the byte-order
// mark, and the tag characters. The zero-width joiner and non-joiner stay:
// emoji sequences and Persian words are written with them.
static int Unseen(uint32_t code)
{
    return (code >= 0x80 && code <= 0x9F) || code == 0x00AD || code == 0x061C
           || code == 0x115F || code == 0x1160 || code == 0x180E
           || code == 0x200B || code == 0x200E || code == 0x200F
           || (code >= 0x2028 && code <= 0x202E)
           || (code >= 0x2060 && code <= 0x2064) || (code >= 0x2066 && code <= 0x2069)
           || code == 0x3164 || code == 0xFEFF || code == 0xFFA0
           || (code >= 0xE0000 && code <= 0xE007F);
}

#define ESCAPE_SIZE 12

// The escape a character is shown as, in form; its length, or zero when it
// is shown as it is. A control character moves the cursor or rings.
static size_t EscapeOf(const unsigned char *text, size_t length, int utf8, char form[ESCAPE_SIZE])
{
    if (length == 1 && (text[0] < 0x20 || text[0] == 0x7F)) {
        TextFormat(form, ESCAPE_SIZE, "\\x%02X", text[0]);
        return 4;
    }
    uint32_t code = 0;
    if (utf8 && length == 2 && (text[0] & 0xE0) == 0xC0)
        code = ((text[0] & 0x1Fu) << 6) | (text[1] & 0x3Fu);
    else if (utf8 && length == 3 && (text[0] & 0xF0) == 0xE0)
        code = ((text[0] & 0x0Fu) << 12) | ((text[1] & 0x3Fu) << 6) | (text[2] & 0x3Fu);
    else if (utf8 && length == 4 && (text[0] & 0xF8) == 0xF0)
        code = ((text[0] & 0x07u) << 18) | ((text[1] & 0x3Fu) << 12) | ((text[2] & 0x3Fu) << 6)
               | (text[3] & 0x3Fu);
    if (!Unseen(code))
        return 0;
    if (code > 0xFFFF) {
        TextFormat(form, ESCAPE_SIZE, "\\U%08X", code);
        return 10;
    }
    TextFormat(form, ESCAPE_SIZE, "\\u%04X", code);
    return 6;
}

int TextCopyVisible(char *dst, size_t dstSize, const char *src, int cut)
{
    if (!dst || dstSize == 0)
        return 0;
    const unsigned char *text = (const unsigned char *)(src ? src : "");
    int utf8 = PlatCodePage() == 65001;
    // What is shown: all of src when it fits and was not cut before; else
    // the characters that fit before "..." (the cut text alone when even
    // the mark has no room), less a last character whose end the field lost.
    size_t room = dstSize >= 4 ? dstSize - 4 : dstSize - 1;
    size_t used = 0, all = 0, kept = 0;
    int fits = 1;
    char form[ESCAPE_SIZE];
    for (size_t at = 0; text[at];) {
        int whole = 1;
        size_t length = CharacterLength(text + at, utf8, &whole);
        size_t escape = EscapeOf(text + at, length, utf8, form);
        used += escape ? escape : length;
        if (used > dstSize - 1) {
            fits = 0;
            break;
        }
        at += length;
        all = at;
        if (used <= room && (whole || text[at]))
            kept = at;
    }
    int shownWhole = fits && !cut;
    size_t end = shownWhole ? all : kept;
    size_t out = 0;
    for (size_t at = 0; at < end;) {
        int whole = 1;
        size_t length = CharacterLength(text + at, utf8, &whole);
        size_t escape = EscapeOf(text + at, length, utf8, form);
        memcpy(dst + out, escape ? form : (const char *)text + at, escape ? escape : length);
        out += escape ? escape : length;
        at += length;
    }
    if (!shownWhole && dstSize >= 4) {
        memcpy(dst + out, "...", 3);
        out += 3;
    }
    dst[out] = '\0';
    return shownWhole;
}

int TextAppend(char *dst, size_t dstSize, const char *src)
{
    if (!dst || dstSize == 0)
        return 0;
    size_t used = TextLengthIn(dst, dstSize);
    if (used == dstSize) {
        // An unterminated field: terminate it where it must end.
        dst[dstSize - 1] = '\0';
        used = dstSize - 1;
    }
    return TextCopy(dst + used, dstSize - used, src);
}

int TextFormat(char *dst, size_t dstSize, const char *format, ...)
{
    if (!dst || dstSize == 0)
        return 0;
    va_list args;
    va_start(args, format);
    int needed = vsnprintf(dst, dstSize, format, args);
    va_end(args);
    // Older C runtimes return -1 and leave the buffer unterminated when the
    // text is cut; terminate in every case.
    dst[dstSize - 1] = '\0';
    return needed >= 0 && (size_t)needed < dstSize;
}

static int Fold(char c)
{
    return PlatUpperChar((unsigned char)c);
}

int TextCompareNoCase(const char *a, const char *b)
{
    if (!a)
        a = "";
    if (!b)
        b = "";
    for (;; ++a, ++b) {
        int ca = Fold(*a);
        int cb = Fold(*b);
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
}

size_t TextLengthIn(const char *field, size_t fieldSize)
{
    const void *zero = memchr(field, 0, fieldSize);
    return zero ? (size_t)((const char *)zero - field) : fieldSize;
}

void TextShortenMiddle(char *dst, size_t dstSize, const char *src, size_t maxLength)
{
    if (dstSize == 0)
        return;
    if (maxLength > dstSize - 1)
        maxLength = dstSize - 1;
    size_t length = strlen(src);
    if (length <= maxLength || maxLength < 5) {
        TextCopy(dst, maxLength + 1, src);
        return;
    }
    // A third of the room for the start, the rest for the end (the name).
    // Never inside a UTF-8 character.
    size_t head = (maxLength - 3) / 3;
    size_t tailStart = length - (maxLength - 3 - head);
    while (head > 0 && ((unsigned char)src[head] & 0xC0) == 0x80)
        --head;
    while (tailStart < length && ((unsigned char)src[tailStart] & 0xC0) == 0x80)
        ++tailStart;
    memcpy(dst, src, head);
    memcpy(dst + head, "...", 3);
    memcpy(dst + head + 3, src + tailStart, length - tailStart);
    dst[head + 3 + length - tailStart] = '\0';
}
