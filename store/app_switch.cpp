// app_switch.cpp - switching a packaged app's startup task in place, as
// the Startup apps page and Task Manager do: its DWORD State (see
// catalogue/packaged_apps.cpp) set to 1 (off, by the user) or 2 (on).
//
// Only a State of 0, 1 or 2, or none, is the user's to change: 3 and 4 are
// a policy's. The old value (or its absence) is saved to a .reg backup that
// puts it back exactly, then the new one written and read back. That this
// value is what Windows reads at the next logon is known from public
// descriptions and from what Windows 11 writes there, not from a
// documented interface: each write is read back, and the row says so.
#include "store.h"

#include <string.h>

// The State the row holds now: 1 with *state, 0 when there is none, -1
// when it cannot be read as a DWORD.
static int ReadState(const AutostartItem *item, uint32_t *state, uint32_t *type, void **data,
                     uint32_t *size)
{
    *data = NULL;
    if (!ReadWholeValue(PLAT_HKCU, item->location, APP_STATE_VALUE, 1, type, data, size))
        return KeyMayHoldValue(PLAT_HKCU, item->location, APP_STATE_VALUE) ? -1 : 0;
    if (*type != PLAT_REG_DWORD || *size != 4)
        return -1;
    memcpy(state, *data, 4);
    return 1;
}

int SwitchPackagedApp(const AutostartItem *item, int32_t wanted, char *backupFile)
{
    backupFile[0] = '\0';
    long refusal = SwitchRefusalCause(item);
    if (refusal != PLAT_OK)
        return SetStoreError(refusal), 1;
    uint32_t state = 0, type = PLAT_REG_NONE, size = 0;
    void *data = NULL;
    int read = ReadState(item, &state, &type, &data, &size);
    // Storage as read may have changed since the list: a policy's State,
    // or one that is not a DWORD, is not the user's to write over.
    if (read < 0 || (read == 1 && state > 2)) {
        PlatFree(data);
        return SetStoreError(read < 0 ? CAUSE_APP_STATE_UNREAD : CAUSE_APP_POLICY), 1;
    }
    BackupValue old = {PLAT_HKCU, item->location, APP_STATE_VALUE, type, data, size, read == 0};
    int made = BackupValues("Switched", &old, 1, backupFile);
    PlatFree(data);
    if (made != BackupMade)
        return SetStoreError(made == BackupFolderIsLink ? CAUSE_PLACE_IS_LINK
                                                        : (long)PLAT_ERROR_WRITE_FAULT),
               1;
    uint32_t value = wanted ? 2 : 1;
    PlatKey key = NULL;
    long written = PlatRegCreate(PLAT_HKCU, item->location, PLAT_KEY_WRITE, &key);
    if (written == PLAT_OK && key) {
        written = PlatRegSetValue(key, APP_STATE_VALUE, PLAT_REG_DWORD, &value, sizeof value);
        PlatRegClose(key); // a write whose key then failed to close has written
    } else if (written == PLAT_OK) {
        written = PLAT_ERROR_INVALID_HANDLE;
    }
    if (written != PLAT_OK)
        return SetStoreError(written), 1;
    // Read back: only what storage now holds is told as done.
    uint32_t now = 0;
    read = ReadState(item, &now, &type, &data, &size);
    PlatFree(data);
    if (read != 1 || now != value)
        return SetStoreError(CAUSE_APP_STATE_UNREAD), 1;
    return 0;
}
