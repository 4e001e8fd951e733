// network_path.h - which spellings of a path reach a server (see
// network_path.cpp). Used by both sides of the platform door, so the
// in-memory stand-in reads a path exactly as the Windows layer does.
#pragma once

// The drive letter path names, in upper case ("C:\x", "\\?\C:\x",
// "\\.\C:\x", either slash), or 0 when it names none. *network is set
// nonzero when the spelling alone puts the path on the network: a UNC path,
// "\\?\UNC\...", or a device path that names no local drive
// ("\\?\GLOBALROOT\Device\Mup\..."). Only a drive letter's kind is left to
// the system.
char PathDriveOf(const char *path, int *network);
