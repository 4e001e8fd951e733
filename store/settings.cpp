// settings.cpp - the choices the program remembers for the user, as values
// of HKCU\Software\Orvane Tool: the user's own key, writable without
// administrator rights, and never shared with another account.
#include "store.h"

#include <stddef.h>

#define SETTINGS_KEY "Software\\Orvane Tool"
#define HIDE_WINDOWS_VALUE "HideWindowsEntries"
#define WINDOW_LAYOUT_VALUE "MainWindowLayout"
#define OTHER_PLACES_VALUE "ShowOtherPlaces"

// A remembered on/off choice: fallback unless a whole DWORD says otherwise.
static int ReadChoice(const char *name, int fallback)
{
    PlatKey key = NULL;
    if (PlatRegOpenRead(PLAT_HKCU, SETTINGS_KEY, &key) != PLAT_OK)
        return fallback;
    uint32_t type = 0, value = 0, size = sizeof value;
    long result = PlatRegQueryValue(key, name, &type, &value, &size);
    PlatRegClose(key);
    // Anything but a whole DWORD is not our choice: the default stands.
    if (result != PLAT_OK || type != PLAT_REG_DWORD || size != sizeof value)
        return fallback;
    return value != 0;
}

static long SaveChoice(const char *name, int on)
{
    PlatKey key = NULL;
    long result = PlatRegCreate(PLAT_HKCU, SETTINGS_KEY, PLAT_KEY_WRITE, &key);
    if (result != PLAT_OK)
        return result;
    uint32_t value = on ? 1 : 0;
    result = PlatRegSetValue(key, name, PLAT_REG_DWORD, &value, sizeof value);
    PlatRegClose(key);
    return result;
}

int ReadHideWindowsSetting(void)
{
    return ReadChoice(HIDE_WINDOWS_VALUE, 1);
}

long SaveHideWindowsSetting(int hide)
{
    return SaveChoice(HIDE_WINDOWS_VALUE, hide);
}

int ReadOtherPlacesSetting(void)
{
    return ReadChoice(OTHER_PLACES_VALUE, 0);
}

long SaveOtherPlacesSetting(int show)
{
    return SaveChoice(OTHER_PLACES_VALUE, show);
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
    const uint32_t fourth = (uint32_t)offsetof(WindowLayout, costColumn);
    if (result != PLAT_OK || type != PLAT_REG_BINARY
        || (size != sizeof read && size != first && size != second && size != third
            && size != fourth))
        return 0;
    if (size <= fourth)
        read.costColumn = 0;
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
