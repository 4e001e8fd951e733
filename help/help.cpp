// help.cpp - extracting and showing the embedded help (see help.h).
#include "help.h"

#include "../catalogue/text.h"
#include "../resources/resource.h"
#include "../ui/ui.h"

char HelpFileName[MAX_PATH] = "";
HMODULE HtmlHelpModule = NULL;
HtmlHelpFunction HtmlHelpEntry = NULL;
int HtmlHelpUnavailable = 0;

#define HTML_HELP_CLSID_SERVER \
    "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32"
#define HTML_HELP_ORDINAL 14

// The one place a procedure address is given its type.
static HtmlHelpFunction HtmlHelpFromAddress(FARPROC address)
{
    return (HtmlHelpFunction)(void *)address;
}

// Read from the machine's registration (HKLM\Software\Classes), never
// HKEY_CLASSES_ROOT: that merges in a per-user registration, which a
// process without rights could plant for this program run elevated.
static HMODULE LoadRegisteredHtmlHelp(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Classes\\" HTML_HELP_CLSID_SERVER, 0,
                      KEY_READ, &key)
        != ERROR_SUCCESS)
        return NULL;
    char path[MAX_PATH];
    DWORD size = sizeof path - 1;
    LONG result = RegQueryValueExA(key, NULL, NULL, NULL, (BYTE *)path, &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS)
        return NULL;
    path[size < sizeof path ? size : sizeof path - 1] = '\0';
    return LoadLibraryA(path);
}

// The control by its full path in the system folder, not by a bare name
// that the search order could find in the program's or current folder.
static HMODULE LoadSystemHtmlHelp(void)
{
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path
        || !TextAppend(path, sizeof path, "\\hhctrl.ocx"))
        return NULL;
    return LoadLibraryA(path);
}

HWND CallHtmlHelp(HWND owner, const char *file, UINT command, DWORD_PTR data)
{
    if (!HtmlHelpModule && !HtmlHelpUnavailable) {
        HtmlHelpModule = LoadRegisteredHtmlHelp();
        if (!HtmlHelpModule)
            HtmlHelpModule = LoadSystemHtmlHelp();
        if (!HtmlHelpModule) {
            HtmlHelpUnavailable = 1;
            return NULL;
        }
    }
    if (HtmlHelpUnavailable)
        return NULL;
    if (!HtmlHelpEntry) {
        HtmlHelpEntry = HtmlHelpFromAddress(
            GetProcAddress(HtmlHelpModule, MAKEINTRESOURCEA(HTML_HELP_ORDINAL)));
        if (!HtmlHelpEntry) {
            HtmlHelpUnavailable = 1;
            return NULL;
        }
    }
    return HtmlHelpEntry(owner, file, command, data);
}

// Writes the help bytes under the fixed name. The file is reused, not
// deleted first, but it ends where the help ends: a longer leftover from an
// earlier version must not keep its tail behind the new content. Nonzero
// only when the whole help was written and the file closed.
static int WriteHelpFile(const void *bytes, DWORD size)
{
    HANDLE file = CreateFileA(HelpFileName, GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD written = 0;
    int whole = WriteFile(file, bytes, size, &written, NULL) && written == size
                && SetEndOfFile(file);
    return CloseHandle(file) && whole;
}

// Builds the fixed name in the temporary folder; zero when there is none.
static int BuildHelpFileName(void)
{
    char folder[MAX_PATH];
    HelpFileName[0] = '\0';
    // A result as large as the buffer means it did not fit: nothing is in it.
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        return 0;
    // With a unique number other than 0 no file is created: the name is
    // folder + "Orv" + "29A" + ".TMP", the same on every call and run.
    if (!GetTempFileNameA(folder, "Orvane", 666, HelpFileName)) {
        HelpFileName[0] = '\0';
        return 0;
    }
    DeleteFileA(HelpFileName);
    size_t nameLength = strlen(HelpFileName);
    if (nameLength < 3) {
        HelpFileName[0] = '\0';
        return 0;
    }
    TextCopy(HelpFileName + nameLength - 3, 4, "chm");
    return 1;
}

int ShowHelp(HWND owner, const char *topic)
{
    if (!BuildHelpFileName())
        return 0;
    HRSRC found = FindResourceA(AppInstance, MAKEINTRESOURCEA(IDR_HELP_FILE), "HTML_HELP");
    if (!found) {
        ShowLastError(owner);
        return 1;
    }
    HGLOBAL loaded = LoadResource(AppInstance, found);
    const void *bytes = loaded ? LockResource(loaded) : NULL;
    // Only a file this run has just written whole is shown: never what a
    // failed write left behind.
    if (bytes && WriteHelpFile(bytes, SizeofResource(AppInstance, found))) {
        char argument[2 * MAX_PATH];
        TextCopy(argument, sizeof argument, HelpFileName);
        if (topic)
            TextAppend(argument, sizeof argument, topic);
        CallHtmlHelp(owner, argument, HH_DISPLAY_TOPIC_COMMAND, 0);
    }
    if (loaded)
        FreeResource(loaded);
    return 0;
}

void DeleteHelpFile(void)
{
    // An open help window keeps the file open, and the file could not be
    // deleted: close the program's help windows first.
    if (HtmlHelpEntry && !HtmlHelpUnavailable)
        HtmlHelpEntry(NULL, NULL, HH_CLOSE_ALL_COMMAND, 0);
    if (HelpFileName[0])
        DeleteFileA(HelpFileName);
}
