/* probe.c - a harmless executable with a version resource.
 *
 * Tests point autostart entries and shortcuts at it: Wine may run autostart
 * entries when its server starts, and this program only exits. Its version
 * resource gives the scan a FileDescription and a CompanyName to find. */
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    return 0;
}
