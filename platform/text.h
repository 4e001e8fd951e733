// text.h - bounded text helpers used everywhere a fixed field is filled.
//
// Every path and name lives in a fixed 260-character field (259 characters
// and a terminator), a command in a longer one. These helpers cut at the
// field's size and always terminate, so no caller ever writes past a field.
#pragma once

#include <stddef.h>

// Size of every text field of the program: 259 characters and a terminator.
#define TEXT_FIELD_SIZE 260

// Copies src into dst, cut to dstSize - 1 characters, always terminated.
// Returns nonzero when all of src fitted. A null src copies as empty text.
int TextCopy(char *dst, size_t dstSize, const char *src);

// Copies src into dst for the eye: as TextCopy, but a text that does not
// fit, or that was cut before (cut nonzero: its field lost its end), ends
// with "..." within dstSize - 1 bytes, never inside a UTF-8 character, so a
// cut is always seen. Returns nonzero when src is shown whole.
int TextCopyShown(char *dst, size_t dstSize, const char *src, int cut);

// Copies src into dst for the eye, as TextCopyShown, with every character
// that could make a text pass for another written as a visible escape: a
// control character (below 0x20, 0x7F) as \xHH, and under UTF-8 a
// bidirectional override or isolate (U+202A-U+202E, U+2066-U+2069) as
// \uXXXX. "\" itself stays as it is. A cut never splits an escape or a
// UTF-8 character. dst must not be src. Returns nonzero when src is shown
// whole. Stored text is never passed through this: only its display copies.
int TextCopyVisible(char *dst, size_t dstSize, const char *src, int cut);

// Appends src to the text already in dst, cut and terminated as TextCopy.
// Returns nonzero when all of src fitted.
int TextAppend(char *dst, size_t dstSize, const char *src);

// printf-style formatting into dst, cut to dstSize - 1 characters, always
// terminated. Returns nonzero when the whole result fitted.
int TextFormat(char *dst, size_t dstSize, const char *format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// Compares two texts without regard to case, as the registry compares value
// names: every letter of the ANSI code page folded to upper case, not only
// A-Z; zero when they match. Used wherever scopes and names are compared.
int TextCompareNoCase(const char *a, const char *b);

// Copies src into dst (dstSize bytes) in at most maxLength characters: a
// longer text keeps its start and its end and loses its middle to "...",
// so a path still shows its drive and its file name. Always terminated.
void TextShortenMiddle(char *dst, size_t dstSize, const char *src, size_t maxLength);

// Length of text in a field of fieldSize bytes that may lack a terminator:
// the count of characters before the first zero, at most fieldSize.
size_t TextLengthIn(const char *field, size_t fieldSize);
