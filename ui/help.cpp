// help.cpp - extracting and showing the embedded help (see help.h).
#include "help.h"

#include "../platform/text.h"
#include "../help/help_file.h"
#include "../resources/resource.h"
#include "ui.h"

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

// The extracted file, held against writing and deletion until exit.
static PlatFile HelpFileHeld = NULL;

// Extracts the help once per run, under a name no other program can predict
// (help_file.cpp); later calls show the file already held. Nonzero when it
// is there.
static int HaveHelpFile(const void *bytes, DWORD size)
{
    if (HelpFileHeld)
        return 1;
    char folder[MAX_PATH];
    // A result as large as the buffer means it did not fit: nothing is in it.
    DWORD length = GetTempPathA(sizeof folder, folder);
    if (length == 0 || length >= sizeof folder)
        return 0;
    char path[PLAT_TEXT_SIZE];
    if (!ExtractHelpFile(folder, bytes, size, path, &HelpFileHeld))
        return 0;
    return TextCopy(HelpFileName, sizeof HelpFileName, path);
}

int ShowHelp(HWND owner, const char *topic)
{
    HRSRC found = FindResourceA(AppInstance, MAKEINTRESOURCEA(IDR_HELP_FILE), "HTML_HELP");
    if (!found) {
        ShowLastError(owner);
        return 1;
    }
    HGLOBAL loaded = LoadResource(AppInstance, found);
    const void *bytes = loaded ? LockResource(loaded) : NULL;
    // Only a file this run has written whole and holds is shown.
    if (bytes && HaveHelpFile(bytes, SizeofResource(AppInstance, found))) {
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
    if (HelpFileHeld)
        PlatFileClose(HelpFileHeld);
    HelpFileHeld = NULL;
    if (HelpFileName[0])
        DeleteFileA(HelpFileName);
    HelpFileName[0] = '\0';
}
