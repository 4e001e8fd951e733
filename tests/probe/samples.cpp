// samples.cpp - seeds a few sample autostart entries into the current Wine
// prefix, for demonstrations and the README's screenshot: enabled and
// disabled, registry values and shortcuts, for the user and for all users.
// Every program is a copy of orvane_probe.exe, which only exits, because
// Wine runs a prefix's autostart entries when its server starts.
#include "../../catalogue/catalogue.h"
#include "../integration/wine_places.h"

#include <objbase.h>
#include <shlobj.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static std::string SampleProgram(const char *name)
{
    std::string folder = "C:\\Program Files\\Orvane Samples";
    CreateDirectoryA(folder.c_str(), NULL);
    std::string path = folder + "\\" + name;
    CopyFileA(ProbePath().c_str(), path.c_str(), FALSE);
    return path;
}

// "--post ID" posts command ID to a running main window (for screenshots).
static int PostCommand(int command)
{
    HWND window = FindWindowA("OrvaneWndClass", NULL);
    if (!window)
        return 1;
    SetForegroundWindow(window);
    return PostMessageA(window, WM_COMMAND, command, 0) ? 0 : 1;
}

int main(int argc, char **argv)
{
    if (argc == 3 && strcmp(argv[1], "--post") == 0)
        return PostCommand(atoi(argv[2]));
    CoInitialize(NULL);
    std::string tray = SampleProgram("trayhelper.exe");
    std::string update = SampleProgram("updatecheck.exe");
    std::string sync = SampleProgram("syncagent.exe");
    std::string chat = SampleProgram("chatclient.exe");

    bool ok = SetString(HKEY_CURRENT_USER, RUN_KEY, "Tray Helper", "\"" + tray + "\" /background");
    ok &= SetString(HKEY_LOCAL_MACHINE, RUN_KEY, "Update Checker", update + " -quiet");
    ok &= SetString(HKEY_CURRENT_USER, RUN_KEY "-", "Chat Client", "\"" + chat + "\" --minimized");
    ok &= MakeShortcut(ShellFolder(CSIDL_STARTUP) + "\\Sync Agent.lnk", sync, "-tray", "Sync");
    std::string disabled = ShellFolder(CSIDL_COMMON_DOCUMENTS) + "\\" DISABLED_ALL_FOLDER;
    CreateDirectoryA(disabled.c_str(), NULL);
    ok &= MakeShortcut(disabled + "\\Photo Importer.lnk", tray, "", "Photos");
    printf(ok ? "Sample entries seeded.\n" : "Some sample entries could not be seeded.\n");
    CoUninitialize();
    return ok ? 0 : 1;
}
