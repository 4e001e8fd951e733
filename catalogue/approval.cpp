// approval.cpp - Windows' own switch for startup entries.
//
// Task Manager and Settings disable an entry without moving it: a REG_BINARY
// value of the entry's name under Explorer\StartupApproved in the same hive,
// in the list "Run" (Run values of HKCU and of HKLM's native view), "Run32"
// (Run values of the 32-bit view) or "StartupFolder" (Startup shortcuts, by
// their .lnk name). Its first byte is even when enabled, odd when disabled;
// bytes 4-11 hold when it was disabled. No value means enabled; the other
// Run-family keys are not governed. HKLM's lists live in the native view.
#include "catalogue.h"

#include <string.h>


int ApprovalList(const AutostartItem *item, PlatHive *hive, char *path)
{
    const char *list = NULL;
    if (item->kind == RegistryValue) {
        char key[TEXT_FIELD_SIZE];
        // A value in "Run-" is governed by the same list once it is back.
        if (LocationDisabled(item->location)) {
            if (!SiblingLocation(item->location, key))
                return 0;
        } else {
            TextCopy(key, sizeof key, item->location);
        }
        if (TextCompareNoCase(key, RUN_KEY) != 0)
            return 0;
        PlatHive itemHive = HiveOfItem(item);
        list = itemHive == PLAT_HKLM32 ? "Run32" : "Run";
        *hive = itemHive == PLAT_HKCU ? PLAT_HKCU : PLAT_HKLM;
    } else {
        list = "StartupFolder";
        *hive = ScopeIsUser(item->scope) ? PLAT_HKCU : PLAT_HKLM;
    }
    return TextFormat(path, TEXT_FIELD_SIZE, "%s\\%s", APPROVED_KEY, list);
}

// No list or no value means enabled; a list or value that is there but
// cannot be read says nothing either way.
int ReadApprovalState(const AutostartItem *item)
{
    PlatHive hive = PLAT_HKCU;
    char path[TEXT_FIELD_SIZE];
    PlatKey key = NULL;
    // A name that is not the entry's own would read another entry's value.
    if (!ItemActionable(item))
        return ApprovalUnreadable;
    if (!ApprovalList(item, &hive, path))
        return ApprovalOn;
    long opened = PlatRegOpenRead(hive, path, &key);
    if (opened == PLAT_ERROR_FILE_NOT_FOUND)
        return ApprovalOn;
    if (opened != PLAT_OK || !key)
        return ApprovalUnreadable;
    unsigned char value[64];
    uint32_t type = PLAT_REG_NONE;
    uint32_t size = sizeof value;
    long result = PlatRegQueryValue(key, item->name, &type, value, &size);
    PlatRegClose(key);
    if (result == PLAT_ERROR_FILE_NOT_FOUND)
        return ApprovalOn;
    if (result == PLAT_ERROR_MORE_DATA)
        return ApprovalOn; // longer than any approval value: not one
    if (result != PLAT_OK)
        return ApprovalUnreadable;
    // Anything but a REG_BINARY of at least 12 bytes counts as enabled.
    return type == PLAT_REG_BINARY && size >= APPROVAL_SIZE && (value[0] & 1) != 0 ? ApprovalOff
                                                                                   : ApprovalOn;
}

int ApprovalSaysDisabled(const AutostartItem *item)
{
    return ReadApprovalState(item) == ApprovalOff;
}

int ReadApprovalValue(const AutostartItem *item, PlatHive *hive, char *path, uint32_t *type,
                      void **data, uint32_t *size)
{
    *data = NULL;
    return ItemActionable(item) && ApprovalList(item, hive, path)
           && ReadWholeValue(*hive, path, item->name, 1, type, data, size);
}

uint64_t ApprovalOffSince(const AutostartItem *item)
{
    PlatHive hive = PLAT_HKCU;
    char path[TEXT_FIELD_SIZE];
    uint32_t type = PLAT_REG_NONE, size = 0;
    void *data = NULL;
    if (!ReadApprovalValue(item, &hive, path, &type, &data, &size))
        return 0;
    const unsigned char *bytes = (const unsigned char *)data;
    uint64_t since = 0;
    if (type == PLAT_REG_BINARY && size >= APPROVAL_SIZE && (bytes[0] & 1) != 0)
        for (int i = 11; i >= 4; --i) // little-endian, as Windows stores a FILETIME
            since = (since << 8) | bytes[i];
    PlatFree(data);
    return since;
}
