// cleanup.cpp - CleanUp: every value of the disabled ("-") registry keys is
// saved into one .reg file (reg_file.cpp), then deleted.
//
// Nothing is deleted unless the backup was written, closed, read back and
// found to hold every value; a value the format cannot carry (a line break
// in its name) or whose name the code page changed is never deleted, and
// its key is kept whole.
#include "reg_file.h"
#include "journal.h"

#include <string.h>

// ---- CleanUp ------------------------------------------------------------

// One value CleanUp saved: deleted only while it still holds what the
// backup holds (another program may write into a "-" key meanwhile).
struct SavedValue {
    SavedValue *next;
    CleanUpKey *place;
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

static void DisabledKeyPath(const CleanUpKey *place, char *path)
{
    TextFormat(path, TEXT_FIELD_SIZE, "%s\\%s", place->parent, place->name);
}

// Nonzero for "RunOnceEx-", whose values are in section subkeys.
static int HasSections(const CleanUpKey *place)
{
    return TextCompareNoCase(place->name, RUN_ONCE_EX "-") == 0;
}

// A record for one value of a "-" key, for its approval value; zero when
// its name does not fit a record (it then has no approval value to find).
static int ValueItem(const CleanUpKey *place, const char *path, const char *name,
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
static int Remember(SavedValue **saved, CleanUpKey *place, const char *path, const char *name,
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

// 1 with the key open, -1 when it is not there (it holds nothing), 0 when
// it cannot be read.
static int OpenDisabledKey(const CleanUpKey *place, const char *path, PlatKey *key)
{
    long opened = PlatRegOpenRead(place->hive, path, key);
    if (opened == PLAT_ERROR_FILE_NOT_FOUND)
        return -1;
    return opened == PLAT_OK && *key ? 1 : 0;
}

static int KeyHoldsItem(const CleanUpKey *place, const AutostartItem *item);

// Nonzero for the value of an entry a logon task of ours starts later: it
// is on, not disabled, and stays where its task's description finds it.
static int StartsLater(const CleanUpKey *place, const char *path, const char *name)
{
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        if (item->startLater && item->kind == RegistryValue && KeyHoldsItem(place, item)
            && TextCompareNoCase(item->location, path) == 0 && strcmp(item->name, name) == 0)
            return 1;
    }
    return 0;
}

// Saves (writer null: only counts) every value of one "-" key or section.
// Nonzero when the key was read whole (or is not there). A value whose name
// the code page changed or a .reg line cannot carry is not saved, and the
// key is marked to be kept. A section's default value is its title.
static int SaveKeyValues(RegWriter *writer, CleanUpKey *place, const char *path, int section,
                         SavedValue **saved)
{
    PlatKey key = NULL;
    int opened = OpenDisabledKey(place, path, &key);
    if (opened <= 0)
        return opened < 0;
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
        if (!setting && StartsLater(place, path, name))
            continue;
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
static int SaveDisabledKey(RegWriter *writer, CleanUpKey *place, SavedValue **saved)
{
    char path[TEXT_FIELD_SIZE];
    DisabledKeyPath(place, path);
    if (!HasSections(place))
        return SaveKeyValues(writer, place, path, 0, saved);
    PlatKey key = NULL;
    int opened = OpenDisabledKey(place, path, &key);
    if (opened <= 0)
        return opened < 0;
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

// Writes one .reg file of every value in the "-" keys: a BackupResult,
// BackupMade with the file (or none when there was nothing to save) in
// backupFile.
static int SaveAllDisabled(CleanUpKey *places, int count, char *backupFile, SavedValue **saved)
{
    backupFile[0] = '\0';
    char path[TEXT_FIELD_SIZE];
    RegWriter writer;
    int made = NewBackup("CleanUp", ".reg", BeginRegFile, AbandonRegFile, &writer, path);
    if (made != BackupMade)
        return made;
    int ok = 1;
    for (int i = 0; i < count && ok; ++i)
        ok = SaveDisabledKey(&writer, &places[i], saved);
    if (!EndRegFile(&writer, path) || !ok) {
        PlatDeleteFile(path);
        return BackupFailed;
    }
    if (writer.values == 0) {
        PlatDeleteFile(path);
        return BackupMade;
    }
    TextCopy(backupFile, TEXT_FIELD_SIZE, path);
    return BackupMade;
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
static void DeleteEmptyKeys(CleanUpKey *place)
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

// Nonzero when the record lies in the key or one of its sections.
static int KeyHoldsItem(const CleanUpKey *place, const AutostartItem *item)
{
    PlatHive hive = HiveOfItem(item);
    char path[TEXT_FIELD_SIZE];
    DisabledKeyPath(place, path);
    size_t length = strlen(path);
    // The policy key is one for both views.
    int policy = strcmp(place->parent, POLICY_EXPLORER_KEY) == 0;
    int sameHive = place->hive == hive || (policy && place->hive == PLAT_HKLM && hive == PLAT_HKLM32);
    if (!sameHive || TextCompareNoCase(item->location, path) == 0)
        return sameHive;
    char prefix[TEXT_FIELD_SIZE + 1];
    TextFormat(prefix, sizeof prefix, "%s\\", path);
    return strlen(item->location) > length + 1 && strncmp(item->location, prefix, length + 1) == 0;
}

// Marks the places that hold a record hidden[i] marks: nobody sees those
// rows, so nothing deletes them unseen.
static void MarkHiddenPlaces(CleanUpKey *places, int placeCount, const int32_t *hidden,
                             int32_t count)
{
    for (int32_t i = 0; hidden && i < count; ++i) {
        const AutostartItem *item = CatalogueItem(i);
        // CleanUp never deletes a logon place's row ("RunOnceEx-\<section>\Depend"
        // included): it keeps no key whole.
        if (!hidden[i] || !item || item->kind != RegistryValue || item->logonPlace)
            continue;
        // A hidden row that came back holds its copy in the "-" key.
        AutostartItem *copy = NULL;
        if (!LocationDisabled(item->location)) {
            copy = item->cameBack ? (AutostartItem *)PlatAllocZero(sizeof *copy) : NULL;
            if (!copy || !CameBackCopy(item, copy)) {
                PlatFree(copy);
                continue;
            }
            item = copy;
        }
        for (int p = 0; p < placeCount; ++p)
            if (KeyHoldsItem(&places[p], item))
                places[p].hidden = 1;
        PlatFree(copy);
    }
}

// The catalogue's record of a value of the key, or one made for it in
// made (its name cut, and said to be, when it does not fit).
static const AutostartItem *RecordOfValue(const CleanUpKey *place, const char *path,
                                          const char *name, AutostartItem *made)
{
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        if (item->kind == RegistryValue && !item->logonPlace && KeyHoldsItem(place, item)
            && TextCompareNoCase(item->location, path) == 0 && strcmp(item->name, name) == 0)
            return item;
    }
    made->cut = !ValueItem(place, path, name, made);
    return made;
}

// One entry CleanUp was to delete and kept, told with its cause.
static void TellKept(const FrontEnd *front, const AutostartItem *item, long cause)
{
    StoreOutcome outcome;
    BeginOutcome(&outcome, item, ActionCleanUp);
    outcome.result = ResultKept;
    outcome.cause = cause;
    TellOutcome(front, &outcome);
}

// Deletes, value by value, what the backup holds and still holds it, with
// its approval value (in the backup too); then the keys left empty. An
// entry not deleted and still there is told.
static void DeleteSavedValues(CleanUpKey *places, int count, const SavedValue *saved,
                              const FrontEnd *front)
{
    for (const SavedValue *value = saved; value; value = value->next) {
        CleanUpKey *place = value->place;
        if (place->keep || place->hidden)
            continue;
        long result = DeleteIfUnchanged(value);
        AutostartItem made;
        if (result == PLAT_OK) {
            ++*(value->setting ? &place->deletedSettings : &place->deleted);
            if (ValueItem(place, value->path, value->name, &made))
                DropApproval(&made);
        } else if (!value->setting && KeyMayHoldValue(place->hive, value->path, value->name)) {
            // Kept, not gone: another program may have deleted it meanwhile
            // (it is in the backup all the same).
            if (place->kept++ == 0)
                place->cause = result;
            TellKept(front, RecordOfValue(place, value->path, value->name, &made), result);
        }
    }
    for (int i = 0; i < count; ++i)
        if (!places[i].keep && !places[i].hidden)
            DeleteEmptyKeys(&places[i]);
}

// The entries of the keys kept whole for a name in them, each with its
// cause: its own name, or another's in its key.
static void TellKeptWhole(const CleanUpKey *places, int count, const FrontEnd *front)
{
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        if (item->kind != RegistryValue || item->logonPlace || !LocationDisabled(item->location))
            continue;
        for (int p = 0; p < count; ++p) {
            if (!places[p].keep || places[p].hidden || !KeyHoldsItem(&places[p], item))
                continue;
            // A long name is saved whole: only its own name's trouble is its cause.
            TellKept(front, item,
                     item->inexact               ? CAUSE_NAME_INEXACT
                     : !NameCarried(item->name) ? CAUSE_NAME_NOT_CARRIED
                                                 : CAUSE_NAME_IN_KEY);
            break;
        }
    }
}

// Each hive's five "-" keys, and its policy "Run-" (one for both views).
#define CLEANUP_PLACES (3 * (RUN_KEY_COUNT + 1))
static int CleanUpPlaces(CleanUpKey *places)
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
            CleanUpKey *place = &places[placeCount++];
            memset(place, 0, sizeof *place);
            place->hive = hives[h];
            place->parent = k < RUN_KEY_COUNT ? CURRENT_VERSION_KEY : POLICY_EXPLORER_KEY;
            TextFormat(place->name, sizeof place->name, "%s-",
                       k < RUN_KEY_COUNT ? RunKeyNames[k] : "Run");
        }
    }
    return placeCount;
}

void CountCleanUp(CleanUpCount *count)
{
    CountCleanUpShown(count, NULL, 0);
}

void CountCleanUpShown(CleanUpCount *count, const int32_t *hidden, int32_t records)
{
    memset(count, 0, sizeof *count);
    CleanUpKey places[CLEANUP_PLACES];
    int placeCount = CleanUpPlaces(places);
    // A key that holds a hidden row is kept whole: none of it goes.
    MarkHiddenPlaces(places, placeCount, hidden, records);
    for (int i = 0; i < placeCount; ++i) {
        CleanUpKey *place = &places[i];
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

int32_t MarkCleanUpRecords(const int32_t *hidden, int32_t records, int32_t *marked,
                           CleanUpKept *kept)
{
    CleanUpKey places[CLEANUP_PLACES];
    int placeCount = CleanUpPlaces(places);
    MarkHiddenPlaces(places, placeCount, hidden, records);
    // Read as CleanUp will read them: a key kept whole deletes nothing.
    for (int p = 0; p < placeCount; ++p)
        SaveDisabledKey(NULL, &places[p], NULL);
    int32_t count = 0;
    memset(kept, 0, sizeof *kept);
    for (int32_t i = 0; i < records; ++i) {
        const AutostartItem *item = CatalogueItem(i);
        marked[i] = 0;
        if (!item)
            continue;
        if (item->kind == RegistryValue && !item->logonPlace && LocationDisabled(item->location)
            && !item->startLater)
            for (int p = 0; p < placeCount && !marked[i]; ++p)
                marked[i] = !places[p].keep && !places[p].hidden && KeyHoldsItem(&places[p], item);
        count += marked[i];
        // The copy of a came-back row has no record of its own: said here.
        if (item->cameBack && item->kind == RegistryValue && !(hidden && hidden[i])) {
            AutostartItem *copy = (AutostartItem *)PlatAllocZero(sizeof *copy);
            int deleted = 0;
            if (copy && CameBackCopy(item, copy))
                for (int p = 0; p < placeCount && !deleted; ++p)
                    deleted = !places[p].keep && !places[p].hidden && KeyHoldsItem(&places[p], copy);
            kept->cameBackCopies += deleted;
            PlatFree(copy);
        }
        if (marked[i] || (hidden && hidden[i]))
            continue;
        const char *state = ItemStateText(item);
        kept->switchedOff += strcmp(state, STATE_OFF_IN_SETTINGS) == 0
                             || strcmp(state, STATE_OFF_IN_SCHEDULER) == 0;
        kept->otherHere += strcmp(state, STATE_OFF_HERE) == 0;
    }
    return count;
}

int CleanUpKeptText(const CleanUpKept *kept, char *text, size_t size)
{
    text[0] = '\0';
    char part[256];
    if (kept->switchedOff) {
        TextFormat(part, sizeof part, STATUS_CLEANUP_KEEPS_SWITCHED, (int)kept->switchedOff,
                   kept->switchedOff == 1 ? "entry" : "entries",
                   kept->switchedOff == 1 ? "is" : "are");
        TextAppend(text, size, part);
    }
    if (kept->otherHere) {
        TextFormat(part, sizeof part, STATUS_CLEANUP_KEEPS_OTHERS, text[0] ? " " : "",
                   (int)kept->otherHere, kept->otherHere == 1 ? "entry" : "entries",
                   kept->otherHere == 1 ? "is" : "are");
        TextAppend(text, size, part);
    }
    if (kept->cameBackCopies) {
        int one = kept->cameBackCopies == 1;
        TextFormat(part, sizeof part, STATUS_CLEANUP_CAME_BACK, text[0] ? " " : "",
                   (int)kept->cameBackCopies, one ? "entry" : "entries", one ? "it was" : "they were",
                   one ? "has" : "have", one ? "one" : "ones", one ? "stays" : "stay");
        TextAppend(text, size, part);
    }
    return text[0] != '\0';
}

int CleanUpDisabled(const int32_t *desired, int32_t count, const FrontEnd *front)
{
    return CleanUpDisabledShown(desired, NULL, count, front);
}

int CleanUpDisabledShown(const int32_t *desired, const int32_t *hidden, int32_t count,
                         const FrontEnd *front)
{
    ApplyChanges(desired, count, front);
    CleanUpKey places[CLEANUP_PLACES];
    int placeCount = CleanUpPlaces(places);
    MarkHiddenPlaces(places, placeCount, hidden, count);
    StoreOutcome summary;
    BeginOutcome(&summary, NULL, ActionCleanUp);
    SavedValue *saved = NULL;
    int made = SaveAllDisabled(places, placeCount, summary.backup, &saved);
    if (made != BackupMade) {
        ForgetSaved(saved);
        summary.result = made == BackupFolderIsLink ? ResultFolderIsLink : ResultBackupFailed;
        summary.cause = LastStoreError();
        summary.folder = BACKUP_FOLDER;
        TellOutcome(front, &summary);
        return 1;
    }
    DeleteSavedValues(places, placeCount, saved, front);
    ForgetSaved(saved);
    TellKeptWhole(places, placeCount, front);
    summary.keys = places;
    summary.keyCount = placeCount;
    int32_t deleted = 0;
    for (int i = 0; i < placeCount; ++i)
        deleted += places[i].deleted;
    int journaled = deleted && front && front->name;
    JournalRecord *noted = journaled ? (JournalRecord *)PlatAllocZero(sizeof *noted) : NULL;
    if (journaled && !noted)
        summary.journalCause = PLAT_ERROR_OUTOFMEMORY;
    if (noted) {
        // The backup holds every value of the "-" keys: restored whole, it
        // gives back what was deleted (and what stayed, as it is).
        JournalBegin(noted, JournalCleanUp, NULL);
        noted->undoBy = UndoByReg;
        noted->entries = deleted;
        summary.journalCause = JournalChangeDone(noted, NULL, summary.backup, front ? front->name : NULL);
        PlatFree(noted);
    }
    TellOutcome(front, &summary);
    return 0;
}
