// registry_views.cpp - the two views of HKLM\Software on 64-bit Windows.
//
// A machine entry keeps the view it was found in: every operation on it
// opens its key in that view, so a 32-bit program's entry is disabled into
// the 32-bit view's "Run-" and never lands in the native one. Locations
// stay the paths as opened; only what the user reads names WOW6432Node.
#include "catalogue.h"

#include <string.h>

#define SOFTWARE_PREFIX "Software\\"
#define WOW64_NODE "WOW6432Node\\"

static PlatHive HiveOf(const char *scope, int32_t view)
{
    if (ScopeIsUser(scope))
        return PLAT_HKCU;
    return view == View32 ? PLAT_HKLM32 : PLAT_HKLM;
}

PlatHive HiveOfItem(const AutostartItem *item)
{
    return HiveOf(item->scope, item->view);
}

PlatHive HiveOfRow(const AutostartLocation *row)
{
    return HiveOf(row->scope, row->view);
}

int LocationRowPresent(const AutostartLocation *row)
{
    return row->kind != LocationRegistryKey || row->view != View32 || PlatHasTwoViews();
}

void RegistryKeyText(PlatHive hive, const char *path, int longHiveName, char *text, size_t size)
{
    const char *root = hive == PLAT_HKCU ? (longHiveName ? "HKEY_CURRENT_USER" : "HKCU")
                                         : (longHiveName ? "HKEY_LOCAL_MACHINE" : "HKLM");
    size_t prefix = strlen(SOFTWARE_PREFIX);
    if (hive == PLAT_HKLM32 && strncmp(path, SOFTWARE_PREFIX, prefix) == 0)
        TextFormat(text, size, "%s\\%.*s%s%s", root, (int)prefix, path, WOW64_NODE,
                   path + prefix);
    else
        TextFormat(text, size, "%s\\%s", root, path);
}

void ItemPlaceText(const AutostartItem *item, int longHiveName, char *text, size_t size)
{
    // A packaged app's place is the user's key of its state.
    if (item->kind == PackagedApp)
        RegistryKeyText(PLAT_HKCU, item->location, longHiveName, text, size);
    else if (item->kind == Service) // the SCM's key of the service
        RegistryKeyText(PLAT_HKLM, item->location, longHiveName, text, size);
    else if (item->kind != RegistryValue)
        TextCopy(text, size, item->location);
    else
        RegistryKeyText(HiveOfItem(item), item->location, longHiveName, text, size);
    // A logon place's row is one value of its key, or one program of it;
    // in a file (Group Policy's scripts.ini), one key of it.
    if (item->kind == RegistryValue && item->logonPlace) {
        TextAppend(text, size, ", value \"");
        TextAppend(text, size, item->valueName);
        TextAppend(text, size, "\"");
    } else if (item->logonPlace && item->valueName[0]) {
        TextAppend(text, size, ", ");
        TextAppend(text, size, item->valueName);
    }
}

const char *ItemTypeText(const AutostartItem *item)
{
    if (item->kind == ScheduledTask)
        return TASK_TYPE;
    if (item->kind == PackagedApp)
        return APP_TYPE;
    if (item->kind == Service)
        return SERVICE_TYPE;
    if (ItemIsOtherPlace(item))
        return OtherPlaceType(item);
    if (item->kind == RegistryValue && HiveOfItem(item) == PLAT_HKLM32)
        return "ALL32";
    return item->scope;
}
