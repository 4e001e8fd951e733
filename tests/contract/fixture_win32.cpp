// fixture_win32.cpp - contract fixture over the real Windows calls (Wine).
#include "fixture.h"

#include "../integration/wine_places.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <string>

// Wide calls: the tree may hold names the code page cannot spell.
static void RemoveTree(const std::wstring &path)
{
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = path + L"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileW(child.c_str());
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
}

static void RemoveTree(const std::string &path)
{
    wchar_t wide[MAX_PATH];
    if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH))
        RemoveTree(std::wstring(wide));
}

std::string FixtureScratch()
{
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    std::string path(temp, length);
    if (!path.empty() && path.back() == '\\')
        path.pop_back();
    return path + "\\orvane contract";
}

void FixtureBegin()
{
    FixtureDeleteKeyTree(PLAT_HKCU, CONTRACT_KEY);
    FixtureDeleteKeyTree(PLAT_HKLM, CONTRACT_KEY);
    FixtureDeleteKeyTree(PLAT_HKLM32, CONTRACT_KEY);
    RemoveTree(FixtureScratch());
    CreateDirectoryA(FixtureScratch().c_str(), NULL);
}

void FixtureEnd()
{
    FixtureDeleteKeyTree(PLAT_HKCU, CONTRACT_KEY);
    FixtureDeleteKeyTree(PLAT_HKLM, CONTRACT_KEY);
    FixtureDeleteKeyTree(PLAT_HKLM32, CONTRACT_KEY);
    RemoveTree(FixtureScratch());
}

bool FixtureMakeFolder(const std::string &path)
{
    return CreateDirectoryA(path.c_str(), NULL) != 0;
}

bool FixtureMakeFile(const std::string &path, const std::string &bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool FixtureFileExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FixtureFolderExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string FixtureReadFile(const std::string &path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    std::string bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, NULL) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(file);
    return bytes;
}

bool FixtureMakeShortcut(const std::string &link, const std::string &target,
                         const std::string &arguments, const std::string &comment)
{
    return MakeShortcut(link, target, arguments.c_str(), comment.c_str());
}

std::string FixtureShortPath(const std::string &path)
{
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    return length && length < sizeof shortPath ? std::string(shortPath) : std::string();
}

// orvane_probe.exe is built next to every test program.
std::string FixtureVersionProbe()
{
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
    std::string path(self, length);
    return path.substr(0, path.rfind('\\') + 1) + "orvane_probe.exe";
}

void FixtureSetEnv(const char *name, const char *value)
{
    SetEnvironmentVariableA(name, value);
}

void FixtureDeleteKeyTree(PlatHive hive, const char *path)
{
    HKEY root = hive == PLAT_HKCU ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    REGSAM view = hive == PLAT_HKLM32 ? KEY_WOW64_32KEY : hive == PLAT_HKLM ? KEY_WOW64_64KEY : 0;
    HKEY key;
    if (RegOpenKeyExA(root, path, 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
        RegDeleteTreeA(key, NULL);
        RegCloseKey(key);
    }
    RegDeleteKeyExA(root, path, view, 0);
}

static std::wstring Wide(const char *utf8)
{
    wchar_t wide[1024];
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 1024);
    return length ? std::wstring(wide) : std::wstring();
}

bool FixtureSetWideValue(PlatHive hive, const std::string &path, const char *utf8Name,
                         uint32_t type, const std::string &raw)
{
    HKEY key;
    REGSAM view = hive == PLAT_HKLM32 ? KEY_WOW64_32KEY : hive == PLAT_HKLM ? KEY_WOW64_64KEY : 0;
    if (RegCreateKeyExA(hive == PLAT_HKCU ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, path.c_str(),
                        0, NULL, 0, KEY_WRITE | view, NULL, &key, NULL)
        != ERROR_SUCCESS)
        return false;
    std::string padded = raw + "\xff\xff"; // no terminator added behind our back
    LONG result = RegSetValueExW(key, Wide(utf8Name).c_str(), 0, type,
                                 (const BYTE *)padded.data(), (DWORD)raw.size());
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

bool FixtureMakeWideFile(const std::string &dir, const char *utf8Name)
{
    std::wstring path = Wide(dir.c_str()) + L"\\" + Wide(utf8Name);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(file);
    return true;
}
