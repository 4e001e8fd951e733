// approval_switch.cpp - writing Windows' own switch for startup entries.
//
// The switch (an approval value under Explorer\StartupApproved, read by
// catalogue/approval.cpp) goes with its entry: cleared when the entry is
// enabled here, carried when the entry is written anew under another name
// or place, deleted when the entry is removed, unless another value or
// file of that name is still governed by it.
#include "store.h"

#include <string.h>

// Writes an approval value; PLAT_OK or the cause. A write whose key then
// failed to close has written.
static long WriteApprovalBytes(PlatHive hive, const char *path, const char *name, uint32_t type,
                               const unsigned char *bytes, uint32_t size)
{
    PlatKey key = NULL;
    long written = PlatRegCreate(hive, path, PLAT_KEY_WRITE, &key);
    if (written == PLAT_OK && key) {
        written = PlatRegWriteRaw(key, name, type, bytes, size);
        PlatRegClose(key);
    } else if (written == PLAT_OK) {
        written = PLAT_ERROR_INVALID_HANDLE;
    }
    return written;
}

int ClearDisabledApproval(const AutostartItem *item)
{
    PlatHive hive = PLAT_HKCU;
    char path[TEXT_FIELD_SIZE];
    int state = ReadApprovalState(item);
    if (state == ApprovalOn)
        return 0;
    // What it holds cannot be told: Windows may still keep the entry off.
    if (state == ApprovalUnreadable || !ApprovalList(item, &hive, path))
        return SetStoreError(CAUSE_APPROVAL_UNREAD), 1;
    // Only the "off" bit and the time it was switched off are cleared: the
    // other bits of the first byte are Windows' own (02 and 06 are both on).
    uint32_t type = PLAT_REG_NONE;
    void *data = NULL;
    uint32_t size = 0;
    if (!ReadWholeValue(hive, path, item->name, 1, &type, &data, &size))
        return KeyMayHoldValue(hive, path, item->name) ? (SetStoreError(CAUSE_APPROVAL_UNREAD), 1)
                                                       : 0;
    unsigned char *bytes = (unsigned char *)data;
    // Read a second time: it may have changed, or shrunk, since.
    if (type != PLAT_REG_BINARY || size < APPROVAL_SIZE || (bytes[0] & 1) == 0) {
        PlatFree(data);
        return 0;
    }
    bytes[0] &= (unsigned char)~1u;
    memset(bytes + 4, 0, 8);
    long written = WriteApprovalBytes(hive, path, item->name, type, bytes, size);
    PlatFree(data);
    return written == PLAT_OK ? 0 : (SetStoreError(written), 1);
}

// Nonzero while a value (or file) of the item's name is in the other place
// its approval list governs (its key without or with "-", the other folder):
// the approval value is then that entry's too.
static int NameStillGoverned(const AutostartItem *item)
{
    if (item->kind != RegistryValue) {
        // The same file name in the other folder of the scope; a file of
        // the Startup folder switched off in Windows' settings is still in it.
        int user = ScopeIsUser(item->scope);
        int live = item->enabled || item->approvalDisabled;
        int row = LOCATION_COUNT - (live ? (user ? 2 : 1) : (user ? 4 : 3));
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
    // No approval value: nothing to carry; one that cannot be read is never
    // left behind unread.
    if (!ReadApprovalValue(old, &oldHive, oldPath, &type, &data, &size))
        return ItemActionable(old) && ApprovalList(old, &oldHive, oldPath)
               && KeyMayHoldValue(oldHive, oldPath, old->name);
    int failed = 0;
    if (!ApprovalList(moved, &newHive, newPath)) {
        failed = 0; // the new place is not governed: Windows starts it as listed
    } else if (newHive != oldHive || strcmp(newPath, oldPath) != 0
               || strcmp(moved->name, old->name) != 0) {
        PlatKey key = NULL;
        failed = PlatRegCreate(newHive, newPath, PLAT_KEY_WRITE, &key) != PLAT_OK || !key;
        if (!failed) {
            failed = PlatRegWriteRaw(key, moved->name, type, data, size) != PLAT_OK;
            PlatRegClose(key); // a write whose key then failed to close has written
        }
    }
    PlatFree(data);
    return failed;
}

int HoldApproval(const AutostartItem *item, HeldApproval *held)
{
    memset(held, 0, sizeof *held);
    if (ReadApprovalValue(item, &held->hive, held->path, &held->type, &held->data, &held->size))
        return 1;
    held->data = NULL;
    // None there is held too; one that could not be read is not.
    PlatHive hive = PLAT_HKCU;
    char path[TEXT_FIELD_SIZE];
    return !ApprovalList(item, &hive, path) || !KeyMayHoldValue(hive, path, item->name);
}

void PutBackApproval(const AutostartItem *item, HeldApproval *held)
{
    PlatKey key = NULL;
    if (held->data && PlatRegCreate(held->hive, held->path, PLAT_KEY_WRITE, &key) == PLAT_OK
        && key) {
        PlatRegWriteRaw(key, item->name, held->type, held->data, held->size);
        PlatRegClose(key);
    }
    ForgetApproval(held);
}

void ForgetApproval(HeldApproval *held)
{
    PlatFree(held->data);
    held->data = NULL;
}

int SetApprovalOff(const AutostartItem *item, const HeldApproval *held)
{
    PlatHive hive = PLAT_HKCU;
    char path[TEXT_FIELD_SIZE];
    if (!ApprovalList(item, &hive, path))
        return 0;
    // As Task Manager writes it: 03 00 00 00 and the FILETIME of now; an
    // existing value keeps the other bits of its first byte and its rest.
    unsigned char fresh[APPROVAL_SIZE] = {0x03, 0, 0, 0};
    unsigned char *bytes = fresh;
    uint32_t size = APPROVAL_SIZE;
    int kept = held->data && held->type == PLAT_REG_BINARY && held->size >= APPROVAL_SIZE;
    if (kept) {
        bytes = (unsigned char *)PlatAllocZero(held->size);
        if (!bytes)
            return SetStoreError(PLAT_ERROR_OUTOFMEMORY), 1;
        memcpy(bytes, held->data, held->size);
        size = held->size;
        bytes[0] |= 1;
    }
    uint64_t now = PlatFileTimeNow();
    for (int i = 0; i < 8; ++i)
        bytes[4 + i] = (unsigned char)(now >> (8 * i));
    long written = WriteApprovalBytes(hive, path, item->name, PLAT_REG_BINARY, bytes, size);
    if (kept)
        PlatFree(bytes);
    if (written != PLAT_OK)
        return SetStoreError(written), 1;
    // Read back: only a switch that now says off is told as set.
    return ReadApprovalState(item) == ApprovalOff ? 0 : (SetStoreError(CAUSE_APPROVAL_UNREAD), 1);
}
