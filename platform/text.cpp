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
