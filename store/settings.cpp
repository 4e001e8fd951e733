// settings.cpp - the choices the program remembers for the user, as values
// of HKCU\Software\Orvane Tool: the user's own key, writable without
// administrator rights, and never shared with another account.
#include "store.h"

#include <stddef.h>

#define SETTINGS_KEY "Software\\Orvane Tool"
#define HIDE_WINDOWS_VALUE "HideWindowsEntries"
#define WINDOW_LAYOUT_VALUE "MainWindowLayout"

int ReadHideWindowsSetting(void)
{
    PlatKey key = NULL;
    if (PlatRegOpenRead(PLAT_HKCU, SETTINGS_KEY, &key) != PLAT_OK)
        return 1;
    uint32_t type = 0, value = 1, size = sizeof value;
    long result = PlatRegQueryValue(key, HIDE_WINDOWS_VALUE, &type, &value, &size);
    PlatRegClose(key);
    // Anything but a whole DWORD is not our choice: the default stands.
    if (result != PLAT_OK || type != PLAT_REG_DWORD || size != sizeof value)
        return 1;
    return value != 0;
}

long SaveHideWindowsSetting(int hide)
{
    PlatKey key = NULL;
    long result = PlatRegCreate(PLAT_HKCU, SETTINGS_KEY, PLAT_KEY_WRITE, &key);
    if (result != PLAT_OK)
        return result;
    uint32_t value = hide ? 1 : 0;
    result = PlatRegSetValue(key, HIDE_WINDOWS_VALUE, PLAT_REG_DWORD, &value, sizeof value);
    PlatRegClose(key);
    return result;
}

// The window's size and the list's column widths, as one binary value: read
// whole or not at all, so a damaged value cannot give half a layout. A value
// left by an earlier version is whole without the fields added since.
int ReadWindowLayoutSetting(WindowLayout *layout)
{
    PlatKey key = NULL;
    if (PlatRegOpenRead(PLAT_HKCU, SETTINGS_KEY, &key) != PLAT_OK)
        return 0;
    uint32_t type = 0, size = sizeof *layout;
    WindowLayout read;
    long result = PlatRegQueryValue(key, WINDOW_LAYOUT_VALUE, &type, &read, &size);
    PlatRegClose(key);
    const uint32_t first = (uint32_t)offsetof(WindowLayout, maximised);
    const uint32_t second = (uint32_t)offsetof(WindowLayout, stateColumn);
    const uint32_t third = (uint32_t)offsetof(WindowLayout, changeColumn);
    if (result != PLAT_OK || type != PLAT_REG_BINARY
        || (size != sizeof read && size != first && size != second && size != third))
        return 0;
    if (size <= third)
        read.changeColumn = 0;
    if (size <= first)
        read.maximised = 0;
    if (size <= second) {
        read.stateColumn = 0;
        read.sortColumn = -1;
        read.sortDescending = 0;
    }
    *layout = read;
    return 1;
}

long SaveWindowLayoutSetting(const WindowLayout *layout)
{
    PlatKey key = NULL;
    long result = PlatRegCreate(PLAT_HKCU, SETTINGS_KEY, PLAT_KEY_WRITE, &key);
    if (result != PLAT_OK)
        return result;
    result = PlatRegSetValue(key, WINDOW_LAYOUT_VALUE, PLAT_REG_BINARY, layout, sizeof *layout);
    PlatRegClose(key);
    return result;
}
