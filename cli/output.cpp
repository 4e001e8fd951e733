// output.cpp - the console program's two streams. A failed write to
// standard output (a closed pipe) is not reported anywhere: there is no
// one left to tell.
#include "cli.h"

#include <string.h>

void CliWrite(PlatStream stream, const char *text, size_t length)
{
    if (text && length)
        PlatWriteStream(stream, text, length);
}

void CliPrint(PlatStream stream, const char *text)
{
    if (text)
        CliWrite(stream, text, strlen(text));
}

void CliLine(PlatStream stream, const char *text)
{
    CliPrint(stream, text);
    // CRLF: what a Windows console and its text files end lines with.
    CliWrite(stream, "\r\n", 2);
}

void CliLineShown(PlatStream stream, const char *text)
{
    // A name cannot break the line nor pass for another.
    size_t size = 4 * strlen(text) + 1;
    char *shown = (char *)PlatAllocZero(size);
    if (!shown)
        return;
    TextCopyVisible(shown, size, text, 0);
    CliLine(stream, shown);
    PlatFree(shown);
}
