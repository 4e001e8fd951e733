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
    // The Windows folder from the system: the environment's %windir% is the
    // user's to set.
    char windowsFolder[PLAT_TEXT_SIZE], system[TEXT_FIELD_SIZE];
    if (!PlatShellFolder(PLAT_CSIDL_WINDOWS, windowsFolder) || !windowsFolder[0]
        || !TextFormat(system, sizeof system, "%s" SYSTEM_FOLDER, windowsFolder))
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
