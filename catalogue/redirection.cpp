// redirection.cpp - files and environment as the 64-bit system sees them.
//
// A 32-bit process on 64-bit Windows sees SysWOW64 where it asks for
// System32, and the x86 folder for %ProgramFiles%; the logon that starts
// the entries is 64-bit and sees neither. Reading a target's version
// resource or icon, or running it, goes through these first.
#include "catalogue.h"

#include <string.h>

#define SYSTEM_FOLDER "\\System32"
#define NATIVE_SYSTEM_FOLDER "\\Sysnative"

// Nonzero when text starts with prefix, compared without regard to case.
static int StartsWithNoCase(const char *text, const char *prefix)
{
    size_t length = strlen(prefix);
    char head[TEXT_FIELD_SIZE];
    if (length >= sizeof head || strlen(text) < length)
        return 0;
    memcpy(head, text, length);
    head[length] = '\0';
    return TextCompareNoCase(head, prefix) == 0;
}

void NativeFilePath(const char *path, char *out)
{
    TextCopy(out, TEXT_FIELD_SIZE, path);
    if (!PlatFilesRedirected())
        return;
    char system[TEXT_FIELD_SIZE];
    uint32_t needed = PlatExpandEnvironment("%windir%" SYSTEM_FOLDER, system, sizeof system);
    if (needed == 0 || needed > sizeof system || system[0] == '%')
        return;
    size_t length = strlen(system);
    if (!StartsWithNoCase(path, system) || (path[length] != '\\' && path[length] != '\0'))
        return;
    char windows[TEXT_FIELD_SIZE];
    TextCopy(windows, sizeof windows, system);
    windows[length - strlen(SYSTEM_FOLDER)] = '\0';
    // A path that no longer fits stays as it was: better redirected than cut.
    char native[TEXT_FIELD_SIZE];
    if (TextFormat(native, sizeof native, "%s" NATIVE_SYSTEM_FOLDER "%s", windows, path + length))
        TextCopy(out, TEXT_FIELD_SIZE, native);
}

// Nonzero when the environment variable is defined.
static int Defined(const char *reference)
{
    char value[TEXT_FIELD_SIZE];
    uint32_t needed = PlatExpandEnvironment(reference, value, sizeof value);
    return needed > 0 && strcmp(value, reference) != 0;
}

// The logon's names are as long as the ones they replace, so the command
// keeps its length and never outgrows its field.
static void ReplaceReference(char *text, const char *name, const char *logonName)
{
    size_t length = strlen(name);
    for (char *at = text; (at = strchr(at, '%')) != NULL; ++at) {
        if (StartsWithNoCase(at, name)) {
            memcpy(at, logonName, length);
            at += length - 1;
        }
    }
}

void ExpandAsLogon(const char *source, char *dest)
{
    char logon[TEXT_FIELD_SIZE];
    TextCopy(logon, sizeof logon, source);
    if (strchr(logon, '%')) {
        if (Defined("%ProgramW6432%"))
            ReplaceReference(logon, "%ProgramFiles%", "%ProgramW6432%");
        if (Defined("%CommonProgramW6432%"))
            ReplaceReference(logon, "%CommonProgramFiles%", "%CommonProgramW6432%");
    }
    PlatExpandEnvironment(logon, dest, TEXT_FIELD_SIZE);
}
