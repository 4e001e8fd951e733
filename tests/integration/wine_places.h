// wine_places.h - seeding and inspecting the real autostart places under
// Wine, for the integration tests.
//
// EmptyAllPlaces removes every entry from all places (both machine views)
// and the startup settings' lists: the Wine prefix is
// a scratch one made for the test run. Seeded entries point at
// orvane_probe.exe, which only exits, in case Wine starts them.
#pragma once

#include <windows.h>

#include <string>

// The registry roots Windows reads autostart values from: the user's hive
// and both views of the machine's.
struct RegistryRoot {
    HKEY hive;
    REGSAM view;
};
extern const RegistryRoot RegistryRoots[3];

std::string ProbePath();
// A copy of the probe under "C:\Program Files\Orvane Probe Folder".
std::string ProbeWithBlanks();
std::string ShellFolder(int csidl);
std::string ShortPath(const std::string &path);
void EmptyAllPlaces();
// view: 0, KEY_WOW64_64KEY or KEY_WOW64_32KEY for a machine key.
bool SetString(HKEY hive, const char *path, const char *name, const std::string &text,
               REGSAM view = 0);
bool SetBytes(HKEY hive, const char *path, const char *name, DWORD type,
              const std::string &bytes, REGSAM view = 0);
// The value's bytes, or "<absent>".
std::string ValueBytes(HKEY hive, const char *path, const char *name, DWORD *type = NULL,
                       REGSAM view = 0);
bool KeyExists(HKEY hive, const char *path);
bool FileExists(const std::string &path);
bool MakeShortcut(const std::string &link, const std::string &target, const char *arguments,
                  const char *comment);
std::string ReadWholeFile(const std::string &path);
// Imports a .reg file with Wine's registry editor (regedit /s); its exit code.
DWORD RunRegedit(const std::string &file);
// Values as Windows stores them, by wide name: the bytes, or "<absent>".
bool SetWide(HKEY hive, const char *path, const wchar_t *name, DWORD type,
             const std::string &bytes);
std::string WideBytes(HKEY hive, const char *path, const wchar_t *name, DWORD *type = NULL);

// Stops Wine's Task Scheduler service, which a task's registration or
// reading starts and which is then listed as a running automatic service:
// the tests after it find the places as they were. Waits up to 10 s.
void StopTaskScheduler();

// What orvanec.exe beside this program exited with and wrote to stdout.
struct ConsoleRun {
    DWORD code;
    std::string out;
};
// Runs orvanec.exe with the arguments, its stdout on a pipe.
ConsoleRun Console(const std::string &arguments);
