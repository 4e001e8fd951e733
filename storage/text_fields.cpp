// text_fields.cpp - the fields of this program's own text files (see
// storage.h): one escaping for every list it writes and reads.
#include "storage.h"

#include <string.h>

// Appends the field escaped, then a tab or (last) a line feed.
char *PutTextField(char *out, const char *text, int last)
{
    for (; *text; ++text) {
        char c = *text;
        const char *escape = c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\n' ? "\\n"
                             : c == '\r' ? "\\r" : NULL;
        if (escape) {
            *out++ = escape[0];
            *out++ = escape[1];
        } else {
            *out++ = c;
        }
    }
    *out++ = last ? '\n' : '\t';
    return out;
}

// The next line of text from *at, cut at its line feed (and a carriage
// return before it); null at the end.
char *NextTextLine(char **at)
{
    char *line = *at;
    if (!*line)
        return NULL;
    char *end = strchr(line, '\n');
    if (end) {
        *at = end + 1;
        *end = '\0';
    } else {
        *at = line + strlen(line);
    }
    size_t length = strlen(line);
    if (length && line[length - 1] == '\r')
        line[length - 1] = '\0';
    return line;
}

// Copies the field at *at unescaped into field (size bytes); zero when it
// does not fit or holds an escape of ours it should not.
int TakeTextField(const char **at, char *field, size_t size, int last)
{
    const char *in = *at;
    size_t used = 0;
    while (*in && *in != '\t') {
        char c = *in++;
        if (c == '\\') {
            c = *in == '\\' ? '\\' : *in == 't' ? '\t' : *in == 'n' ? '\n' : *in == 'r' ? '\r' : 0;
            if (!c)
                return 0;
            ++in;
        }
        if (used + 1 >= size)
            return 0;
        field[used++] = c;
    }
    field[used] = '\0';
    if (last ? *in != '\0' : *in != '\t')
        return 0;
    *at = last ? in : in + 1;
    return 1;
}

