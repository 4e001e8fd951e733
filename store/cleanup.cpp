// cleanup.cpp - CleanUp: every value of the disabled ("-") registry keys is
// saved into one .reg file (reg_file.cpp), then deleted.
//
// Nothing is deleted unless the backup was written, closed, read back and
// found to hold every value; a value the format cannot carry (a line break
// in its name) or whose name the code page changed is never deleted, and
// its key is kept whole.
#include "reg_file.h"

#include <string.h>

// ---- CleanUp ------------------------------------------------------------

// One "-" key of one hive, and what became of it.
struct DisabledKey {
    PlatHive hive;
    const char *parent; // the key that holds it
    char name[24];      // "Run-"
    int32_t values;     // entries it holds (in its sections, for "RunOnceEx-")
    int32_t settings;   // section titles of "RunOnceEx-"
    int32_t deleted;    // entries deleted
    int32_t deletedSettings;
    int32_t kept;       // entries backed up but not deleted
    long cause;         // why the first of them was not
    int keep;           // a name in it cannot be handled or carried: kept whole
    int hidden;         // it holds an entry the window hides: kept whole
};

// One value CleanUp saved: deleted only while it still holds what the
// backup holds (another program may write into a "-" key meanwhile).
struct SavedValue {
    SavedValue *next;
    DisabledKey *place;
    int setting;
    uint32_t type, size, hash;
    char path[TEXT_FIELD_SIZE];
    char name[1]; // as long as it is
};

static uint32_t HashData(uint32_t type, const void *data, uint32_t size)
{
    return HashName(HashName(HASH_START, (const unsigned char *)&type, sizeof type),
                    (const unsigned char *)data, size);
}

static void DisabledKeyPath(const DisabledKey *place, char *path)
{
    TextFormat(path, TEXT_FIELD_SIZE, "%s\\%s", place->parent, place->name);
}

// Nonzero for "RunOnceEx-", whose values are in section subkeys.
static int HasSections(const DisabledKey *place)
{
    return TextCompareNoCase(place->name, RUN_ONCE_EX "-") == 0;
}

// A record for one value of a "-" key, for its approval value; zero when
// its name does not fit a record (it then has no approval value to find).
static int ValueItem(const DisabledKey *place, const char *path, const char *name,
                     AutostartItem *item)
{
    memset(item, 0, sizeof *item);
    item->kind = RegistryValue;
    TextCopy(item->location, sizeof item->location, path);
    TextCopy(item->scope, sizeof item->scope, place->hive == PLAT_HKCU ? SCOPE_USER : SCOPE_ALL);
    item->view = place->hive == PLAT_HKLM32 ? View32 : ViewNative;
    return TextCopy(item->name, sizeof item->name, name);
}

// Remembers a saved value for its deletion; zero when out of memory.
static int Remember(SavedValue **saved, DisabledKey *place, const char *path, const char *name,
                    int setting, uint32_t type, const void *data, uint32_t size)
{
    size_t length = strlen(name);
    SavedValue *value = (SavedValue *)PlatAllocZero(sizeof *value + length);
    if (!value)
        return 0;
    value->place = place;
    value->setting = setting;
    value->type = type;
    value->size = size;
    value->hash = HashData(type, data, size);
    TextCopy(value->path, sizeof value->path, path);
    memcpy(value->name, name, length + 1);
    value->next = *saved;
    *saved = value;
    return 1;
}

// Saves (writer null: only counts) every value of one "-" key or section.
// Nonzero when the key was read whole (or is not there). A value whose name
// the code page changed or a .reg line cannot carry is not saved, and the
// key is marked to be kept. A section's default value is its title.
static int SaveKeyValues(RegWriter *writer, DisabledKey *place, const char *path, int section,
                         SavedValue **saved)
{
    PlatKey key = NULL;
    long opened = PlatRegOpenRead(place->hive, path, &key);
    if (opened == PLAT_ERROR_FILE_NOT_FOUND)
        return 1;
    if (opened != PLAT_OK || !key)
        return 0;
    char *name = (char *)PlatAllocZero(WHOLE_NAME_SIZE);
    int ok = name != NULL;
    int headed = 0;
    for (uint32_t index = 0; ok; ++index) {
        long result = PlatRegEnumValue(key, index, name, WHOLE_NAME_SIZE, NULL, NULL, NULL);
        if (result == PLAT_ERROR_NO_MORE_ITEMS)
            break;
        if (result != PLAT_OK && result != PLAT_ERROR_MORE_DATA) {
            ok = 0;
            break;
        }
        int setting = section && !name[0];
        ++*(setting ? &place->settings : &place->values);
        if (!PlatRegNameExact(key, index, name) || !NameCarried(name)) {
            place->keep = 1;
            continue;
        }
        if (!writer)
            continue;
        uint32_t type = PLAT_REG_NONE;
        void *data = NULL;
        uint32_t size = 0;
        if (!ReadWholeValue(place->hive, path, name, 1, &type, &data, &size)) {
            ok = 0;
            break;
        }
        if (!headed)
            PutKey(writer, place->hive, path);
        headed = 1;
        PutValue(writer, name, type, data, size);
        ok = Remember(saved, place, path, name, setting, type, data, size);
        PlatFree(data);
        AutostartItem value;
        if (ValueItem(place, path, name, &value) && PutApproval(writer, &value))
            headed = 0; // the next value names its key again
    }
    PlatFree(name);
    PlatRegClose(key);
    return ok;
}

// Saves the key's values, or for "RunOnceEx-" those of every section (its
// own values and its "Depend" key are settings, not entries: they stay).
static int SaveDisabledKey(RegWriter *writer, DisabledKey *place, SavedValue **saved)
{
    char path[TEXT_FIELD_SIZE];
    DisabledKeyPath(place, path);
    if (!HasSections(place))
        return SaveKeyValues(writer, place, path, 0, saved);
    PlatKey key = NULL;
    long opened = PlatRegOpenRead(place->hive, path, &key);
    if (opened == PLAT_ERROR_FILE_NOT_FOUND)
        return 1;
    if (opened != PLAT_OK || !key)
        return 0;
    int ok = 1;
    char section[TEXT_FIELD_SIZE], sectionPath[TEXT_FIELD_SIZE];
    for (uint32_t index = 0; ok; ++index) {
        long result = PlatRegEnumKey(key, index, section, sizeof section);
        if (result == PLAT_ERROR_NO_MORE_ITEMS)
            break;
        if (result == PLAT_OK && TextCompareNoCase(section, RUN_ONCE_EX_DEPEND) == 0)
            continue;
        ok = result == PLAT_OK
             && TextFormat(sectionPath, sizeof sectionPath, "%s\\%s", path, section)
             && SaveKeyValues(writer, place, sectionPath, 1, saved);
    }
    PlatRegClose(key);
    return ok;
}

static void ForgetSaved(SavedValue *saved)
{
    while (saved) {
        SavedValue *next = saved->next;
        PlatFree(saved);
        saved = next;
    }
}

// Writes one .reg file of every value in the "-" keys. 1 with the file (or
// none when there was nothing to save) in backupFile, 0 when the backup
// could not be made whole, BackupFolderIsLink when its folder is refused.
static int SaveAllDisabled(DisabledKey *places, int count, char *backupFile, SavedValue **saved)
{
    backupFile[0] = '\0';
    char path[TEXT_FIELD_SIZE];
    RegWriter writer;
    int made = NewBackup("CleanUp", ".reg", BeginRegFile, &writer, path);
    if (made != 1)
        return made;
    int ok = 1;
    for (int i = 0; i < count && ok; ++i)
        ok = SaveDisabledKey(&writer, &places[i], saved);
    if (!EndRegFile(&writer, path) || !ok) {
        PlatDeleteFile(path);
        return 0;
    }
    if (writer.values == 0) {
        PlatDeleteFile(path);
        return 1;
    }
    TextCopy(backupFile, TEXT_FIELD_SIZE, path);
    return 1;
}

// Deletes the value when it still holds what was saved; the Windows error
// otherwise (a changed value counts as changed by another program).
static long DeleteIfUnchanged(const SavedValue *value)
{
    PlatHive hive = value->place->hive;
    uint32_t type = PLAT_REG_NONE, size = 0;
    void *data = NULL;
    if (!ReadWholeValue(hive, value->path, value->name, 1, &type, &data, &size))
        return ValueMayExist(hive, value->path, value->name) ? PLAT_ERROR_ACCESS_DENIED
                                                             : PLAT_ERROR_FILE_NOT_FOUND;
    int same = type == value->type && size == value->size
               && HashData(type, data, size) == value->hash;
    PlatFree(data);
    if (!same)
        return PLAT_ERROR_FILE_NOT_FOUND;
    PlatKey key = NULL;
    long result = PlatRegCreate(hive, value->path, PLAT_KEY_WRITE, &key);
    if (result != PLAT_OK || !key)
        return result != PLAT_OK ? result : (long)PLAT_ERROR_INVALID_HANDLE;
    result = PlatRegDeleteValue(key, value->name);
    PlatRegClose(key);
    return result;
}

// Nonzero when the key holds no value and no subkey.
static int KeyIsEmpty(PlatHive hive, const char *path)
{
    PlatKey key = NULL;
    if (PlatRegOpenRead(hive, path, &key) != PLAT_OK || !key)
        return 0;
    char name[TEXT_FIELD_SIZE];
    int empty = PlatRegEnumValue(key, 0, name, sizeof name, NULL, NULL, NULL)
                    == PLAT_ERROR_NO_MORE_ITEMS
                && PlatRegEnumKey(key, 0, name, sizeof name) == PLAT_ERROR_NO_MORE_ITEMS;
    PlatRegClose(key);
    return empty;
}

// Deletes the subkey of parentPath when it is empty; what is left in it stays.
static void DeleteIfEmpty(PlatHive hive, const char *parentPath, const char *name)
{
    char path[TEXT_FIELD_SIZE];
    if (!TextFormat(path, sizeof path, "%s\\%s", parentPath, name) || !KeyIsEmpty(hive, path))
        return;
    PlatKey parent = NULL;
    if (PlatRegCreate(hive, parentPath, PLAT_KEY_ALL_ACCESS, &parent) != PLAT_OK || !parent)
        return;
    PlatRegDeleteSubkey(hive, parent, name);
    PlatRegClose(parent);
}

// The sections of "RunOnceEx-" left empty, then the key itself when empty.
static void DeleteEmptyKeys(DisabledKey *place)
{
    char path[TEXT_FIELD_SIZE];
    DisabledKeyPath(place, path);
    if (HasSections(place)) {
        PlatKey key = NULL;
        if (PlatRegOpenRead(place->hive, path, &key) == PLAT_OK && key) {
            // Each deletion moves the rest up: an index passes only what stays.
            char section[TEXT_FIELD_SIZE];
            uint32_t index = 0;
            for (int left = 10000; left > 0; --left) {
                if (PlatRegEnumKey(key, index, section, sizeof section) != PLAT_OK)
                    break;
                char sectionPath[TEXT_FIELD_SIZE];
                if (TextFormat(sectionPath, sizeof sectionPath, "%s\\%s", path, section)
                    && KeyIsEmpty(place->hive, sectionPath))
                    DeleteIfEmpty(place->hive, path, section);
                else
                    ++index;
            }
            PlatRegClose(key);
        }
    }
    DeleteIfEmpty(place->hive, place->parent, place->name);
}

// Deletes, value by value, what the backup holds and still holds it, with
// its approval value (in the backup too); then the keys left empty.
static void DeleteSavedValues(DisabledKey *places, int count, const SavedValue *saved)
{
    for (const SavedValue *value = saved; value; value = value->next) {
        DisabledKey *place = value->place;
        if (place->keep || place->hidden)
            continue;
        long result = DeleteIfUnchanged(value);
        if (result == PLAT_OK) {
            ++*(value->setting ? &place->deletedSettings : &place->deleted);
            AutostartItem item;
            if (ValueItem(place, value->path, value->name, &item))
                DropApproval(&item);
        } else if (!value->setting) {
            if (place->kept++ == 0)
                place->cause = result;
        }
    }
    for (int i = 0; i < count; ++i)
        if (!places[i].keep && !places[i].hidden)
            DeleteEmptyKeys(&places[i]);
}

static const char *Plural(int32_t n, const char *one, const char *many)
{
    return n == 1 ? one : many;
}

// Each hive's five "-" keys, and its policy "Run-" (one for both views).
#define CLEANUP_PLACES (3 * (RUN_KEY_COUNT + 1))
static int CleanUpPlaces(DisabledKey *places)
{
    PlatHive hives[3] = {PLAT_HKLM, PLAT_HKLM32, PLAT_HKCU};
    int hiveCount = 3;
    if (!PlatHasTwoViews()) {
        hives[1] = PLAT_HKCU;
        hiveCount = 2;
    }
    int placeCount = 0;
    for (int h = 0; h < hiveCount; ++h) {
        for (int k = 0; k <= RUN_KEY_COUNT; ++k) {
            if (k == RUN_KEY_COUNT && hives[h] == PLAT_HKLM32)
                continue;
            DisabledKey *place = &places[placeCount++];
            memset(place, 0, sizeof *place);
            place->hive = hives[h];
            place->parent = k < RUN_KEY_COUNT ? CURRENT_VERSION_KEY : POLICY_EXPLORER_KEY;
            TextFormat(place->name, sizeof place->name, "%s-",
                       k < RUN_KEY_COUNT ? RunKeyNames[k] : "Run");
        }
    }
    return placeCount;
}

static void MarkHiddenPlaces(DisabledKey *places, int placeCount, const int32_t *hidden,
                             int32_t count);

void CountCleanUp(CleanUpCount *count)
{
    CountCleanUpShown(count, NULL, 0);
}

void CountCleanUpShown(CleanUpCount *count, const int32_t *hidden, int32_t records)
{
    memset(count, 0, sizeof *count);
    DisabledKey places[CLEANUP_PLACES];
    int placeCount = CleanUpPlaces(places);
    // A key that holds a hidden row is kept whole: none of it goes.
    MarkHiddenPlaces(places, placeCount, hidden, records);
    for (int i = 0; i < placeCount; ++i) {
        DisabledKey *place = &places[i];
        SaveDisabledKey(NULL, place, NULL);
        if (place->hidden)
            ++count->hiddenPlaces;
        if (place->keep || place->hidden || place->values + place->settings == 0)
            continue;
        *(place->hive == PLAT_HKCU ? &count->user : &count->machine) += place->values;
        count->settings += place->settings;
        // "Run-, RunOnceEx-": each key name once, whichever hives hold it.
        char quoted[32];
        TextFormat(quoted, sizeof quoted, "%s, ", place->name);
        if (!strstr(count->places, quoted))
            TextAppend(count->places, sizeof count->places, quoted);
    }
    size_t length = strlen(count->places);
    if (length >= 2)
        count->places[length - 2] = '\0';
}

// " 2 disabled entries of all users were kept: administrator rights are
// needed." for the entries of the places whose deletion failed with cause.
static void AppendKept(char *status, size_t size, const DisabledKey *places, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!places[i].kept)
            continue;
        // One sentence per cause, with the scope when all its entries share one.
        int done = 0;
        for (int j = 0; j < i && !done; ++j)
            done = places[j].kept && places[j].cause == places[i].cause;
        if (done)
            continue;
        int32_t kept = 0;
        int user = 0, machine = 0;
        for (int j = i; j < count; ++j) {
            if (!places[j].kept || places[j].cause != places[i].cause)
                continue;
            kept += places[j].kept;
            *(places[j].hive == PLAT_HKCU ? &user : &machine) = 1;
        }
        char text[256];
        TextFormat(text, sizeof text, STATUS_CLEANUP_DENIED, (int)kept,
                   Plural(kept, "entry", "entries"),
                   user && machine ? "" : user ? " of this user" : " of all users",
                   Plural(kept, "was", "were"), CauseText(places[i].cause));
        TextAppend(status, size, status[0] ? " " : "");
        TextAppend(status, size, text);
    }
}

// Marks the places that hold a record hidden[i] marks: nobody sees those
// rows, so nothing deletes them unseen.
static void MarkHiddenPlaces(DisabledKey *places, int placeCount, const int32_t *hidden,
                             int32_t count)
{
    for (int32_t i = 0; hidden && i < count; ++i) {
        const AutostartItem *item = CatalogueItem(i);
        // CleanUp never deletes a logon place's row ("RunOnceEx-\<section>\Depend"
        // included): it keeps no key whole.
        if (!hidden[i] || !item || item->kind != RegistryValue || item->logonPlace
            || !LocationDisabled(item->location))
            continue;
        PlatHive hive = HiveOfItem(item);
        for (int p = 0; p < placeCount; ++p) {
            DisabledKey *place = &places[p];
            char path[TEXT_FIELD_SIZE];
            DisabledKeyPath(place, path);
            size_t length = strlen(path);
            // The policy key is one for both views.
            int policy = strcmp(place->parent, POLICY_EXPLORER_KEY) == 0;
            int sameHive = place->hive == hive
                           || (policy && place->hive == PLAT_HKLM && hive == PLAT_HKLM32);
            if (sameHive && TextCompareNoCase(item->location, path) != 0) {
                char prefix[TEXT_FIELD_SIZE + 1];
                TextFormat(prefix, sizeof prefix, "%s\\", path);
                sameHive = strlen(item->location) > length + 1
                           && strncmp(item->location, prefix, length + 1) == 0;
            }
            if (sameHive)
                place->hidden = 1;
        }
    }
}

// One "Kept <key>" sentence per key kept whole (hidden 0) or kept because
// it holds rows the list hides (hidden 1), after what status says already.
static void AppendKeptKeys(char *status, size_t size, const DisabledKey *places, int placeCount,
                           int hidden, const char *format)
{
    for (int i = 0; i < placeCount; ++i) {
        int wanted = hidden ? !places[i].keep && places[i].hidden : places[i].keep;
        if (!wanted)
            continue;
        char key[TEXT_FIELD_SIZE + 32];
        char path[TEXT_FIELD_SIZE];
        char kept[TEXT_FIELD_SIZE + 128];
        DisabledKeyPath(&places[i], path);
        RegistryKeyText(places[i].hive, path, 0, key, sizeof key);
        TextFormat(kept, sizeof kept, format, key);
        TextAppend(status, size, status[0] ? " " : "");
        TextAppend(status, size, kept);
    }
}

int CleanUpDisabled(const int32_t *desired, int32_t count, StatusSink sink, void *context)
{
    return CleanUpDisabledShown(desired, NULL, count, sink, context);
}

int CleanUpDisabledShown(const int32_t *desired, const int32_t *hidden, int32_t count,
                         StatusSink sink, void *context)
{
    ApplyChanges(desired, count, sink, context);
    DisabledKey places[CLEANUP_PLACES];
    int placeCount = CleanUpPlaces(places);
    MarkHiddenPlaces(places, placeCount, hidden, count);
    char backup[TEXT_FIELD_SIZE];
    SavedValue *saved = NULL;
    int made = SaveAllDisabled(places, placeCount, backup, &saved);
    if (made != 1) {
        ForgetSaved(saved);
        if (sink && made == BackupFolderIsLink)
            ReportFolderIsLink(sink, context, BACKUP_FOLDER);
        else if (sink)
            sink(context, STATUS_BACKUP_FAILED);
        return 1;
    }
    DeleteSavedValues(places, placeCount, saved);
    ForgetSaved(saved);

    int32_t deleted = 0, settings = 0;
    for (int i = 0; i < placeCount; ++i) {
        deleted += places[i].deleted;
        settings += places[i].deletedSettings;
    }
    char status[1024];
    char extra[64] = "";
    if (settings)
        TextFormat(extra, sizeof extra, STATUS_CLEANUP_SETTINGS, (int)settings,
                   Plural(settings, "setting", "settings"));
    if (deleted + settings > 0)
        TextFormat(status, sizeof status, STATUS_CLEANUP_DONE, (int)deleted,
                   Plural(deleted, "entry", "entries"), extra, backup);
    else if (backup[0])
        TextFormat(status, sizeof status, STATUS_CLEANUP_NONE_DELETED, backup);
    else
        TextCopy(status, sizeof status, STATUS_CLEANUP_NOTHING);
    AppendKept(status, sizeof status, places, placeCount);
    AppendKeptKeys(status, sizeof status, places, placeCount, 0, STATUS_CLEANUP_KEPT);
    AppendKeptKeys(status, sizeof status, places, placeCount, 1, STATUS_CLEANUP_KEPT_HIDDEN);
    if (sink)
        sink(context, status);
    return 0;
}
