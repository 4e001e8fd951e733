// approval.cpp - Windows' own switch for startup entries.
//
// Task Manager and Settings disable an entry without moving it: a REG_BINARY
// value of the entry's name under Explorer\StartupApproved in the same hive,
// in the list "Run" (Run values of HKCU and of HKLM's native view), "Run32"
// (Run values of the 32-bit view) or "StartupFolder" (Startup shortcuts, by
// their .lnk name). Its first byte is even when enabled, odd when disabled;
// bytes 4-11 hold when it was disabled. No value means enabled; the other
// Run-family keys are not governed. HKLM's lists live in the native view.
#include "../store/store.h"

#include <string.h>

#define APPROVAL_SIZE 12
#define APPROVAL_ENABLED 0x02

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

enum ApprovalState { ApprovalOn = 0, ApprovalOff = 1, ApprovalUnreadable = 2 };

// No list or no value means enabled; a list or value that is there but
// cannot be read says nothing either way.
static int ReadApprovalState(const AutostartItem *item)
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

int ClearDisabledApproval(const AutostartItem *item)
{
    PlatHive hive = PLAT_HKCU;
    char path[TEXT_FIELD_SIZE];
    int state = ReadApprovalState(item);
    if (state == ApprovalOn)
        return 0;
    if (state == ApprovalUnreadable || !ApprovalList(item, &hive, path))
        return 1;
    // Only the "off" bit and the time it was switched off are cleared: the
    // other bits of the first byte are Windows' own (02 and 06 are both on).
    uint32_t type = PLAT_REG_NONE;
    void *data = NULL;
    uint32_t size = 0;
    if (!ReadWholeValue(hive, path, item->name, 1, &type, &data, &size))
        return 1;
    unsigned char *bytes = (unsigned char *)data;
    // Read a second time: it may have changed, or shrunk, since.
    if (type != PLAT_REG_BINARY || size < APPROVAL_SIZE || (bytes[0] & 1) == 0) {
        PlatFree(data);
        return 0;
    }
    bytes[0] &= (unsigned char)~1u;
    memset(bytes + 4, 0, 8);
    PlatKey key = NULL;
    long written = PlatRegCreate(hive, path, PLAT_KEY_WRITE, &key);
    if (written == PLAT_OK && key) {
        written = PlatRegWriteRaw(key, item->name, type, bytes, size);
        if (PlatRegClose(key) != PLAT_OK)
            written = PLAT_ERROR_INVALID_HANDLE;
    }
    PlatFree(data);
    return written == PLAT_OK ? 0 : 1;
}

int ReadApprovalValue(const AutostartItem *item, PlatHive *hive, char *path, uint32_t *type,
                      void **data, uint32_t *size)
{
    *data = NULL;
    return ItemActionable(item) && ApprovalList(item, hive, path)
           && ReadWholeValue(*hive, path, item->name, 1, type, data, size);
}

// Nonzero while a value (or file) of the item's name is in the other place
// its approval list governs (its key without or with "-", the other folder):
// the approval value is then that entry's too.
static int NameStillGoverned(const AutostartItem *item)
{
    if (item->kind != RegistryValue) {
        // The same file name in the other folder of the scope.
        int user = ScopeIsUser(item->scope);
        int row = LOCATION_COUNT - (item->enabled ? (user ? 2 : 1) : (user ? 4 : 3));
        char folder[TEXT_FIELD_SIZE], other[TEXT_FIELD_SIZE];
        return !ResolveLocationFolder(&AutostartLocations[row], folder)
               || !TextFormat(other, sizeof other, "%s\\%s", folder, item->name)
               || PlatFileExists(other);
    }
    // One that cannot be read may hold it: then the approval value stays.
    char other[TEXT_FIELD_SIZE];
    return !SiblingLocation(item->location, other)
           || KeyMayHoldValue(HiveOfItem(item), other, item->name);
}

int DropApproval(const AutostartItem *item)
{
    PlatHive hive = PLAT_HKCU;
    char path[TEXT_FIELD_SIZE];
    if (!ItemActionable(item) || !ApprovalList(item, &hive, path) || NameStillGoverned(item))
        return 0;
    if (!KeyMayHoldValue(hive, path, item->name))
        return 0;
    PlatKey key = NULL;
    if (PlatRegCreate(hive, path, PLAT_KEY_WRITE, &key) != PLAT_OK || !key)
        return 1;
    long deleted = PlatRegDeleteValue(key, item->name);
    PlatRegClose(key);
    return deleted == PLAT_OK || deleted == PLAT_ERROR_FILE_NOT_FOUND ? 0 : 1;
}

int CarryApproval(const AutostartItem *old, const AutostartItem *moved)
{
    PlatHive oldHive = PLAT_HKCU, newHive = PLAT_HKCU;
    char oldPath[TEXT_FIELD_SIZE], newPath[TEXT_FIELD_SIZE];
    uint32_t type = PLAT_REG_NONE, size = 0;
    void *data = NULL;
    if (!ReadApprovalValue(old, &oldHive, oldPath, &type, &data, &size))
        return 0; // no approval value: nothing to carry
    int failed = 0;
    if (!ApprovalList(moved, &newHive, newPath)) {
        failed = 0; // the new place is not governed: Windows starts it as listed
    } else if (newHive != oldHive || strcmp(newPath, oldPath) != 0
               || strcmp(moved->name, old->name) != 0) {
        PlatKey key = NULL;
        failed = PlatRegCreate(newHive, newPath, PLAT_KEY_WRITE, &key) != PLAT_OK || !key;
        if (!failed) {
            failed = PlatRegWriteRaw(key, moved->name, type, data, size) != PLAT_OK;
            failed |= PlatRegClose(key) != PLAT_OK;
        }
    }
    PlatFree(data);
    return failed;
}
