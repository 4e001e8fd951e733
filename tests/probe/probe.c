/* probe.c - a harmless executable with a version resource.
 *
 * Tests point autostart entries and shortcuts at it: Wine may run autostart
 * entries when its server starts, and this program only leaves a mark
 * ("<its own path>.ran", so a test can see that Run started it) and exits.
 * Its version resource gives the scan a FileDescription and a CompanyName
 * to find. With "/stay" it then waits two minutes, so that a test sees it
 * running (and ends it by its process id). */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)show;
    char mark[MAX_PATH + 8];
    DWORD length = GetModuleFileNameA(NULL, mark, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        lstrcatA(mark, ".ran");
        HANDLE file = CreateFileA(mark, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    if (commandLine && lstrlenA(commandLine) >= 5
        && lstrcmpA(commandLine + lstrlenA(commandLine) - 5, "/stay") == 0)
        Sleep(120000);
    return 0;
}
