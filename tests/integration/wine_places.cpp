// wine_places.cpp - see wine_places.h.
#include "wine_places.h"

#include "../../catalogue/catalogue.h"
#include "../../store/remembered.h"

#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <fstream>
#include <sstream>

std::string ProbePath()
{
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
    std::string path(self, length);
    return path.substr(0, path.rfind('\\') + 1) + "orvane_probe.exe";
}

std::string ProbeWithBlanks()
{
    std::string folder = "C:\\Program Files\\Orvane Probe Folder";
    CreateDirectoryA(folder.c_str(), NULL);
    std::string copy = folder + "\\probe.exe";
    CopyFileA(ProbePath().c_str(), copy.c_str(), FALSE);
    return copy;
}

std::string ShellFolder(int csidl)
{
    char path[MAX_PATH] = "";
    SHGetSpecialFolderPathA(NULL, path, csidl, TRUE);
    return path;
}

std::string ShortPath(const std::string &path)
{
    char shortPath[MAX_PATH];
    DWORD length = GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
    return length && length < sizeof shortPath ? shortPath : "";
}

// Every file (hidden ones too), by wide name: the folders may hold names
// the code page cannot spell. Subfolders and desktop.ini stay.
static void EmptyFolderOfFiles(const std::string &folder)
{
    wchar_t wide[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, wide, MAX_PATH))
        return;
    std::wstring base = wide;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((base + L"\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            || lstrcmpiW(found.cFileName, L"desktop.ini") == 0)
            continue;
        std::wstring path = base + L"\\" + found.cFileName;
        SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(path.c_str());
    } while (FindNextFileW(find, &found));
    FindClose(find);
}

static void DeleteTree(HKEY hive, REGSAM view, const std::string &path)
{
    HKEY key;
    if (RegOpenKeyExA(hive, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) == ERROR_SUCCESS) {
        RegDeleteTreeA(key, NULL);
        RegCloseKey(key);
    }
    RegDeleteKeyExA(hive, path.c_str(), view, 0);
}

static void DeleteValue(HKEY hive, const char *path, const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(hive, path, 0, KEY_SET_VALUE | KEY_WOW64_64KEY, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
}

const RegistryRoot RegistryRoots[3] = {{HKEY_CURRENT_USER, 0},
                                       {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY},
                                       {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY}};

void EmptyAllPlaces()
{
    for (const RegistryRoot &root : RegistryRoots) {
        for (const char *key : RunKeyNames) {
            std::string path = std::string(CURRENT_VERSION_KEY "\\") + key;
            DeleteTree(root.hive, root.view, path);
            DeleteTree(root.hive, root.view, path + "-");
        }
        DeleteTree(root.hive, root.view, APPROVED_KEY);
        DeleteTree(root.hive, root.view, POLICY_RUN_KEY);
        DeleteTree(root.hive, root.view, POLICY_RUN_KEY "-");
    }
    // The rest of the logon: the prefix's own Shell and components too, so
    // that the list holds only what a test seeds.
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        DeleteValue(hive, WINLOGON_KEY, "Userinit");
        DeleteValue(hive, WINLOGON_KEY, "Shell");
        DeleteTree(hive, KEY_WOW64_64KEY, WINLOGON_KEY "-");
    }
    for (const RegistryRoot &root : RegistryRoots) {
        DeleteTree(root.hive, root.view, ACTIVE_SETUP_KEY);
        DeleteTree(root.hive, root.view, ACTIVE_SETUP_KEY "-");
    }
    DeleteTree(HKEY_CURRENT_USER, 0, ACTIVE_SETUP_USER_KEY_32);
    DeleteValue(HKEY_CURRENT_USER, ENVIRONMENT_KEY, LOGON_SCRIPT_VALUE);
    DeleteTree(HKEY_CURRENT_USER, 0, ENVIRONMENT_KEY "-");
    DeleteValue(HKEY_LOCAL_MACHINE, RDPWD_KEY, "StartupPrograms");
    DeleteTree(HKEY_LOCAL_MACHINE, 0, RDPWD_KEY "-");
    for (HKEY hive : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        DeleteValue(hive, POLICY_SYSTEM_KEY, "Shell");
        DeleteTree(hive, KEY_WOW64_64KEY, POLICY_SYSTEM_KEY "-");
        DeleteTree(hive, KEY_WOW64_64KEY, GROUP_POLICY_SCRIPTS_KEY);
    }
    for (const char *name : {"Taskman", "AppSetup", "VmApplet"})
        DeleteValue(HKEY_LOCAL_MACHINE, WINLOGON_KEY, name);
    DeleteValue(HKEY_LOCAL_MACHINE, ENVIRONMENT_KEY, LOGON_SCRIPT_VALUE);
    DeleteTree(HKEY_LOCAL_MACHINE, 0, ENVIRONMENT_KEY "-");
    DeleteValue(HKEY_LOCAL_MACHINE, SAFE_BOOT_KEY, "AlternateShell");
    DeleteTree(HKEY_LOCAL_MACHINE, 0, SAFE_BOOT_KEY "-");
    for (const char *scripts : {LOCAL_POLICY_USER_SCRIPTS, LOCAL_POLICY_MACHINE_SCRIPTS})
        EmptyFolderOfFiles(ShellFolder(CSIDL_SYSTEM) + "\\" + scripts);
    DeleteValue(HKEY_CURRENT_USER, LEGACY_WINDOWS_KEY, "Load");
    DeleteValue(HKEY_CURRENT_USER, LEGACY_WINDOWS_KEY, "Run");
    DeleteTree(HKEY_CURRENT_USER, 0, LEGACY_WINDOWS_KEY "-");
    EmptyFolderOfFiles(ShellFolder(CSIDL_STARTUP));
    EmptyFolderOfFiles(ShellFolder(CSIDL_COMMON_STARTUP));
    EmptyFolderOfFiles(ShellFolder(CSIDL_PERSONAL) + "\\" DISABLED_USER_FOLDER);
    EmptyFolderOfFiles(ShellFolder(CSIDL_COMMON_DOCUMENTS) + "\\" DISABLED_ALL_FOLDER);
    // Nor is anything marked new: the next scan is a first run.
    EmptyFolderOfFiles(ShellFolder(CSIDL_LOCAL_APPDATA) + "\\" REMEMBERED_FOLDER);
}

bool SetString(HKEY hive, const char *path, const char *name, const std::string &text,
               REGSAM view)
{
    return SetBytes(hive, path, name, REG_SZ, std::string(text.c_str(), text.size() + 1), view);
}

bool SetBytes(HKEY hive, const char *path, const char *name, DWORD type,
              const std::string &bytes, REGSAM view)
{
    HKEY key;
    if (RegCreateKeyExA(hive, path, 0, NULL, 0, KEY_WRITE | view, NULL, &key, NULL)
        != ERROR_SUCCESS)
        return false;
    LONG result = RegSetValueExA(key, name, 0, type, (const BYTE *)bytes.data(),
                                 (DWORD)bytes.size());
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::string ValueBytes(HKEY hive, const char *path, const char *name, DWORD *type, REGSAM view)
{
    HKEY key;
    if (RegOpenKeyExA(hive, path, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
        return "<absent>";
    DWORD size = 0;
    DWORD valueType = 0;
    std::string bytes = "<absent>";
    if (RegQueryValueExA(key, name, NULL, &valueType, NULL, &size) == ERROR_SUCCESS) {
        std::string buffer(size + 1, '\0');
        DWORD got = size + 1;
        if (RegQueryValueExA(key, name, NULL, &valueType, (BYTE *)&buffer[0], &got)
            == ERROR_SUCCESS)
            bytes = buffer.substr(0, got);
    }
    RegCloseKey(key);
    if (type)
        *type = valueType;
    return bytes;
}

bool KeyExists(HKEY hive, const char *path)
{
    HKEY key;
    if (RegOpenKeyExA(hive, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool FileExists(const std::string &path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeShortcut(const std::string &link, const std::string &target, const char *arguments,
                  const char *comment)
{
    IShellLinkA *shellLink = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void **)&shellLink)))
        return false;
    shellLink->SetPath(target.c_str());
    shellLink->SetArguments(arguments);
    shellLink->SetDescription(comment);
    IPersistFile *file = NULL;
    HRESULT status = shellLink->QueryInterface(IID_IPersistFile, (void **)&file);
    if (SUCCEEDED(status)) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
        status = file->Save(wide, TRUE);
        file->Release();
    }
    shellLink->Release();
    return SUCCEEDED(status);
}

std::string ReadWholeFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

DWORD RunRegedit(const std::string &file)
{
    std::string command = "regedit.exe /s \"" + file + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &process))
        return (DWORD)-1;
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = (DWORD)-1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

bool SetWide(HKEY hive, const char *path, const wchar_t *name, DWORD type,
             const std::string &bytes)
{
    HKEY key;
    if (RegCreateKeyExA(hive, path, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL) != ERROR_SUCCESS)
        return false;
    // Padded, or Windows would add a terminator it finds right after a string.
    std::string padded = bytes + "\xff\xff\xff\xff";
    LONG result = RegSetValueExW(key, name, 0, type, (const BYTE *)padded.data(),
                                 (DWORD)bytes.size());
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}

std::string WideBytes(HKEY hive, const char *path, const wchar_t *name, DWORD *type)
{
    HKEY key;
    if (RegOpenKeyExA(hive, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return "<absent>";
    DWORD size = 0;
    std::string bytes = "<absent>";
    if (RegQueryValueExW(key, name, NULL, type, NULL, &size) == ERROR_SUCCESS) {
        bytes.assign(size, '\0');
        if (RegQueryValueExW(key, name, NULL, type, (BYTE *)&bytes[0], &size) != ERROR_SUCCESS)
            bytes = "<unreadable>";
    }
    RegCloseKey(key);
    return bytes;
}

// Runs orvanec.exe beside this program with stdout on a pipe.
ConsoleRun Console(const std::string &arguments)
{
    std::string exe = ProbePath();
    exe = exe.substr(0, exe.rfind('\\') + 1) + "orvanec.exe";
    std::string line = "\"" + exe + "\" " + arguments;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE read, write;
    ConsoleRun run = {99, ""};
    if (!CreatePipe(&read, &write, &inherit, 0))
        return run;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdOutput = write;
    start.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process;
    BOOL started = CreateProcessA(NULL, &line[0], NULL, NULL, TRUE, 0, NULL, NULL, &start,
                                  &process);
    CloseHandle(write);
    char buffer[4096];
    DWORD got;
    while (started && ReadFile(read, buffer, sizeof buffer, &got, NULL) && got)
        run.out.append(buffer, got);
    CloseHandle(read);
    if (started) {
        WaitForSingleObject(process.hProcess, INFINITE);
        GetExitCodeProcess(process.hProcess, &run.code);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
    return run;
}

void StopTaskScheduler()
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service =
        manager ? OpenServiceA(manager, "Schedule", SERVICE_STOP | SERVICE_QUERY_STATUS) : NULL;
    SERVICE_STATUS status = {};
    if (service && ControlService(service, SERVICE_CONTROL_STOP, &status))
        for (int tries = 0; tries < 100 && status.dwCurrentState != SERVICE_STOPPED; ++tries) {
            Sleep(100);
            if (!QueryServiceStatus(service, &status))
                break;
        }
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
}
