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

PlatHive HiveOfItem(const AutostartItem *item)
{
    if (ScopeIsUser(item->scope))
        return PLAT_HKCU;
    return item->view == View32 ? PLAT_HKLM32 : PLAT_HKLM;
}

PlatHive HiveOfRow(const AutostartLocation *row)
{
    if (ScopeIsUser(row->scope))
        return PLAT_HKCU;
    return row->view == View32 ? PLAT_HKLM32 : PLAT_HKLM;
}

int LocationRowPresent(const AutostartLocation *row)
{
    return row->kind != LocationRegistryKey || row->view != View32 || PlatHasTwoViews();
}

void ItemPlaceText(const AutostartItem *item, int longHiveName, char *text, size_t size)
{
    if (item->kind != RegistryValue) {
        TextCopy(text, size, item->location);
        return;
    }
    PlatHive hive = HiveOfItem(item);
    const char *root = hive == PLAT_HKCU ? (longHiveName ? "HKEY_CURRENT_USER" : "HKCU")
                                         : (longHiveName ? "HKEY_LOCAL_MACHINE" : "HKLM");
    const char *path = item->location;
    size_t prefix = strlen(SOFTWARE_PREFIX);
    if (hive == PLAT_HKLM32 && strncmp(path, SOFTWARE_PREFIX, prefix) == 0)
        TextFormat(text, size, "%s\\%.*s%s%s", root, (int)prefix, path, WOW64_NODE,
                   path + prefix);
    else
        TextFormat(text, size, "%s\\%s", root, path);
}

const char *ItemTypeText(const AutostartItem *item)
{
    if (item->kind == RegistryValue && HiveOfItem(item) == PLAT_HKLM32)
        return "ALL32";
    return item->scope;
}
