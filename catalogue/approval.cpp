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

#define APPROVAL_SIZE 12
#define APPROVAL_ENABLED 0x02

// The approval list that governs the item, with its hive; zero when none.
static int ApprovalList(const AutostartItem *item, PlatHive *hive, char *path)
{
    const char *list = NULL;
    if (item->kind == RegistryValue) {
        char key[TEXT_FIELD_SIZE];
        TextCopy(key, sizeof key, item->location);
        size_t length = strlen(key);
        // A value in "Run-" is governed by the same list once it is back.
        if (length > 0 && key[length - 1] == '-')
            key[length - 1] = '\0';
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

enum ApprovalState { ApprovalOn = 0, ApprovalOff = 1, ApprovalUnreadable = 2 };

// No list or no value means enabled; a list or value that is there but
// cannot be read says nothing either way.
static int ReadApprovalState(const AutostartItem *item)
{
    PlatHive hive = PLAT_HKCU;
    char path[TEXT_FIELD_SIZE];
    PlatKey key = NULL;
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

int ClearDisabledApproval(const AutostartItem *item)
{
    PlatHive hive = PLAT_HKCU;
    char path[TEXT_FIELD_SIZE];
    int state = ReadApprovalState(item);
    if (state == ApprovalOn)
        return 0;
    if (state == ApprovalUnreadable || !ApprovalList(item, &hive, path))
        return 1;
    PlatKey key = NULL;
    if (PlatRegCreate(hive, path, PLAT_KEY_WRITE, &key) != PLAT_OK || !key)
        return 1;
    unsigned char enabled[APPROVAL_SIZE];
    memset(enabled, 0, sizeof enabled);
    enabled[0] = APPROVAL_ENABLED;
    long written = PlatRegSetValue(key, item->name, PLAT_REG_BINARY, enabled, sizeof enabled);
    long closed = PlatRegClose(key);
    return written == PLAT_OK && closed == PLAT_OK ? 0 : 1;
}
