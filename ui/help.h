// help.h - the embedded help: the compiled help file carried as resource
// "#134" of type "HTML_HELP" is written under a random new name in the
// temporary folder (help_file.h), held until exit, and shown through the
// HTML Help control, bound on first use.
#pragma once

#include <windows.h>

// HtmlHelpA, export ordinal 14 of the HTML Help control.
typedef HWND(WINAPI *HtmlHelpFunction)(HWND owner, LPCSTR file, UINT command, DWORD_PTR data);

#define HH_DISPLAY_TOPIC_COMMAND 0
#define HH_CLOSE_ALL_COMMAND 0x12
#define ADD_EDIT_HELP_TOPIC "::/howtoaddedit.html"

// The extracted file's path; empty until help is first shown.
extern char HelpFileName[MAX_PATH];
extern HMODULE HtmlHelpModule;
extern HtmlHelpFunction HtmlHelpEntry;
// Set for good once the control or its entry point could not be bound.
extern int HtmlHelpUnavailable;

// Extracts the help file and shows it at topic ("::/page.html") or at its
// default topic (null). 0 when handed to the control, 1 when the help
// resource is missing (the system's error is shown).
int ShowHelp(HWND owner, const char *topic);

// Binds the control on the first call; its HtmlHelpA's result, or null when
// the control is unavailable.
HWND CallHtmlHelp(HWND owner, const char *file, UINT command, DWORD_PTR data);

// At exit: closes the help windows and deletes the extracted file when help
// was shown.
void DeleteHelpFile(void);
