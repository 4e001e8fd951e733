// service_switch.cpp - switching a service of another maker off and on.
//
// The SCM starts an automatic service at boot and a Manual one
// (SERVICE_DEMAND_START) only when a program asks for it: off is Manual,
// never Disabled, so a program that needs its service still gets it. The
// SCM holds the configuration and writes its registry image itself, so the
// change goes through ChangeServiceConfig and is read back. The delayed
// flag is the service key's DelayedAutostart, which a change of the start
// type leaves alone: automatic given back is delayed again where it was.
// Before a change, Start and DelayedAutostart are saved to a .reg backup
// that restores both exactly; before a switch off, the old start type goes
// to SERVICES_OFF_KEY, which keeps the service listed while it is Manual.
// A running service is not stopped. Only an administrator changes a
// service: without the rights nothing is saved.
#include "reg_file.h"

#include <string.h>

static const char *const StartValues[2] = {"Start", "DelayedAutostart"};

// Saves the service key's Start and DelayedAutostart (one not there as
// deleted) into a new backup: PLAT_OK, or the cause with nothing saved.
static long BackupStart(const char *name, char *backupFile)
{
    char key[KEY_PATH_SIZE];
    if (!TextFormat(key, sizeof key, "%s\\%s", SERVICES_KEY, name))
        return CAUSE_NAME_CUT;
    if (!NameCarried(name))
        return CAUSE_NAME_NOT_CARRIED;
    BackupValue values[2];
    void *data[2] = {NULL, NULL};
    long cause = PLAT_OK;
    for (int i = 0; i < 2; ++i) {
        values[i] = {PLAT_HKLM, key, StartValues[i], PLAT_REG_NONE, NULL, 0, 0};
        if (ReadWholeValue(PLAT_HKLM, key, StartValues[i], 1, &values[i].type, &data[i],
                           &values[i].size))
            values[i].data = data[i];
        else if (KeyMayHoldValue(PLAT_HKLM, key, StartValues[i]))
            cause = CAUSE_BACKUP_FAILED; // there, but not read: never saved as absent
        else
            values[i].absent = 1;
    }
    int made = cause == PLAT_OK ? BackupValues("Switched", values, 2, backupFile) : BackupFailed;
    PlatFree(data[0]);
    PlatFree(data[1]);
    if (cause == PLAT_OK && made != BackupMade)
        cause = made == BackupFolderIsLink ? CAUSE_PLACE_IS_LINK : CAUSE_BACKUP_FAILED;
    if (cause != PLAT_OK)
        backupFile[0] = '\0';
    return cause;
}

// The start type saved when this service (its ImagePath as it is now) was
// switched off here; zero when there is none a switch off here could have
// written.
static int SavedStart(const char *name, const char *binaryPath, uint32_t *start)
{
    return ReadServiceOff(name, binaryPath, start) == SERVICE_OFF_SAME
           && *start == PLAT_SERVICE_AUTO_START;
}

static long WriteSavedStart(const char *name, uint32_t start, const char *binaryPath)
{
    uint8_t record[SERVICE_OFF_SIZE];
    ServiceOffRecord(start, binaryPath, record);
    PlatKey key = NULL;
    long result = PlatRegCreate(PLAT_HKLM, SERVICES_OFF_KEY, PLAT_KEY_WRITE, &key);
    if (result == PLAT_OK && key)
        result = PlatRegSetValue(key, name, PLAT_REG_BINARY, record, sizeof record);
    if (key)
        PlatRegClose(key);
    return result;
}

static void DropSavedStart(const char *name)
{
    PlatKey key = NULL;
    if (PlatRegCreate(PLAT_HKLM, SERVICES_OFF_KEY, PLAT_KEY_WRITE, &key) == PLAT_OK && key) {
        PlatRegDeleteValue(key, name);
        PlatRegClose(key);
    }
}

// Windows' own service, verified now: the row's details may not be read
// yet, and an unverified one is never taken for another maker's.
static int WindowsOwnNow(const AutostartItem *item)
{
    AutostartItem *copy = (AutostartItem *)PlatAllocZero(sizeof *copy);
    if (!copy)
        return 1;
    *copy = *item;
    copy->detailsPending = 1;
    ReadItemDetails(copy);
    int own = ItemHiddenAsWindows(copy, 1);
    PlatFree(copy);
    return own;
}

// The start type the SCM holds now, and its ImagePath when path is given:
// PLAT_OK or the error.
static long StartNow(const char *name, uint32_t *start, char *path = NULL)
{
    PlatServiceConfig *config = (PlatServiceConfig *)PlatAllocZero(sizeof *config);
    if (!config)
        return PLAT_ERROR_OUTOFMEMORY;
    long read = PlatServiceQuery(name, config);
    *start = config->startType;
    if (path)
        TextCopy(path, PLAT_SERVICE_PATH_SIZE, config->binaryPath);
    PlatFree(config);
    return read;
}

int SwitchService(const AutostartItem *item, int32_t wanted, char *backupFile)
{
    backupFile[0] = '\0';
    long cause = SwitchRefusalCause(item);
    if (cause == PLAT_OK && WindowsOwnNow(item))
        cause = CAUSE_WINDOWS_OWN;
    // Denied an entry of all users unelevated: "administrator rights are needed".
    if (cause == PLAT_OK && !PlatIsElevated())
        cause = PLAT_ERROR_ACCESS_DENIED;
    uint32_t from = wanted ? PLAT_SERVICE_DEMAND_START : PLAT_SERVICE_AUTO_START;
    uint32_t to = PLAT_SERVICE_DEMAND_START, now = 0;
    char path[PLAT_SERVICE_PATH_SIZE] = "";
    if (cause == PLAT_OK)
        cause = StartNow(item->name, &now, path);
    // Changed since the list (by Services, or an installer; or another
    // service of that name since it was switched off): not ours to undo.
    if (cause == PLAT_OK && (now != from || (wanted && !SavedStart(item->name, path, &to))))
        cause = CAUSE_SERVICE_CHANGED;
    if (cause == PLAT_OK)
        cause = BackupStart(item->name, backupFile);
    // Kept before the change, so a service made Manual is never lost to the list.
    if (cause == PLAT_OK && !wanted)
        cause = WriteSavedStart(item->name, from, path);
    if (cause != PLAT_OK) {
        if (backupFile[0])
            PlatDeleteFile(backupFile);
        backupFile[0] = '\0';
        return SetStoreError(cause), 1;
    }
    long set = PlatServiceSetStart(item->name, to);
    if (set != PLAT_OK) {
        // Left as it was: nothing to undo or to keep listed. Otherwise the
        // backup and the saved start type stay, for what it may now be.
        if (StartNow(item->name, &now) == PLAT_OK && now == from) {
            if (!wanted)
                DropSavedStart(item->name);
            PlatDeleteFile(backupFile);
            backupFile[0] = '\0';
        }
        return SetStoreError(set), 1;
    }
    if (wanted)
        DropSavedStart(item->name);
    return 0;
}
