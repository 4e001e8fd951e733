// network_path.cpp - the spellings of a path on the network.
//
// Windows takes "/" for "\" in file paths, reaches a drive through the
// device namespaces too ("\\?\N:\x", "\\.\N:\x"), and reaches a share through
// the object manager ("\\?\GLOBALROOT\Device\Mup\server\share": Mup is the
// network's redirector). Any spelling that reaches a server must count as
// the network, or a Refresh would wait on it.
#include "network_path.h"

#include "text.h"

#include <string.h>

static int IsSlash(char c)
{
    return c == '\\' || c == '/';
}

static char DriveLetter(const char *text)
{
    char c = text[0];
    if (c >= 'a' && c <= 'z')
        c = (char)(c - 'a' + 'A');
    if (c < 'A' || c > 'Z' || text[1] != ':' || (text[2] && !IsSlash(text[2])))
        return 0;
    return c;
}

char PathDriveOf(const char *path, int *network)
{
    *network = 0;
    if (!IsSlash(path[0]) || !IsSlash(path[1])) {
        char c = path[0];
        int letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        // "C:x" is relative to the drive's current folder, but still on it.
        return letter && path[1] == ':' ? (char)(c & ~0x20) : 0;
    }
    if ((path[2] != '?' && path[2] != '.') || !IsSlash(path[3])) {
        *network = 1; // \\server\share
        return 0;
    }
    const char *rest = path + 4;
    char drive = DriveLetter(rest);
    if (drive)
        return drive;
    // A local volume by its name; any other device, a share among them
    // ("UNC\", "GLOBALROOT\Device\Mup\"), is not trusted to be local.
    char head[8];
    TextCopy(head, sizeof head, rest);
    if (TextCompareNoCase(head, "Volume{") != 0)
        *network = 1;
    return 0;
}
