// list_values.cpp - taking one program out of a list value and back in.
//
// Winlogon's Userinit and Shell, rdpwd's StartupPrograms and the legacy Load
// and Run are single values that other programs (installers, Windows
// itself) share: a program is one item of a comma (or blank) list. A value
// Windows needs to log on must never be emptied, and another program may
// rewrite it at any moment, so every change reads the value whole, saves it
// into a .reg backup read back, reads it again and writes only when it still
// holds what was read. The stored UTF-16 is edited unit by unit, so the
// rest of the list keeps every byte; a disabled item takes the separators
// before it along, so that enabling it at the end gives the list back as it
// was. Whole values (a StubPath, the logon script, a Depend DLL) move as
// Run values do.
#include "store.h"
#include "../storage/list_tokens.h"

#include <string.h>

// A list value as stored: type, bytes, and its UTF-16 units to the terminator.
struct StoredList {
    int present;
    uint32_t type;
    void *data;
    uint32_t size;
    uint16_t *units;
    uint32_t count;
    int terminated;
};

// Units being built, with room given when made.
struct Units {
    uint16_t *at;
    uint32_t count;
    uint32_t room;
};

static int MakeUnits(Units *units, uint32_t room)
{
    units->count = 0;
    units->room = room + 1;
    units->at = (uint16_t *)PlatAllocZero((size_t)units->room * 2);
    return units->at != NULL;
}

static void AddUnits(Units *units, const uint16_t *from, uint32_t count)
{
    if (units->count + count > units->room)
        count = units->room - units->count;
    memcpy(units->at + units->count, from, (size_t)count * 2);
    units->count += count;
}

static void FreeList(StoredList *list)
{
    PlatFree(list->data);
    PlatFree(list->units);
    memset(list, 0, sizeof *list);
}

// 1 read (or not there: present 0), 0 when it cannot be read or is no text
// list (bytes after its end would be lost), with the cause set.
static int ReadList(PlatHive hive, const char *path, const char *name, StoredList *list)
{
    memset(list, 0, sizeof *list);
    if (!ReadWholeValue(hive, path, name, 1, &list->type, &list->data, &list->size)) {
        if (KeyMayHoldValue(hive, path, name))
            return SetStoreError(PLAT_ERROR_ACCESS_DENIED), 0;
        return 1;
    }
    list->present = 1;
    uint32_t all = list->size / 2;
    list->units = (uint16_t *)PlatAllocZero((size_t)all * 2 + 2);
    if (!list->units)
        return SetStoreError(PLAT_ERROR_OUTOFMEMORY), 0;
    memcpy(list->units, list->data, (size_t)all * 2);
    while (list->count < all && list->units[list->count] != 0)
        list->count++;
    list->terminated = list->count < all;
    int ok = list->type == PLAT_REG_SZ || list->type == PLAT_REG_EXPAND_SZ;
    ok = ok && list->size % 2 == 0;
    for (uint32_t i = list->count; ok && i < all; ++i)
        ok = list->units[i] == 0;
    return ok ? 1 : (SetStoreError(CAUSE_NOT_A_LIST), 0);
}

static int SameList(const StoredList *a, const StoredList *b)
{
    if (a->present != b->present)
        return 0;
    return !a->present
           || (a->type == b->type && a->size == b->size && memcmp(a->data, b->data, a->size) == 0);
}

// The next program from *at, blanks trimmed, as the catalogue splits it.
static int NextToken(const StoredList *list, uint32_t *at, uint32_t *start, uint32_t *end,
                     int blanks)
{
    size_t next = *at, from = 0, to = 0;
    if (!NextListItem(list->units, list->count, &next, &from, &to, blanks))
        return 0;
    *at = (uint32_t)next;
    *start = (uint32_t)from;
    *end = (uint32_t)to;
    return 1;
}

// Where the item is in the list: the end of the program before it, its
// span, the start of the one after it; and how many programs the list has.
struct Found {
    int found;
    int times; // how often the item is there
    uint32_t before, start, end, next;
    int hasNext;
    int programs;
    uint32_t lastEnd;
};

static void FindItem(const StoredList *list, const Units *item, int blanks, Found *f)
{
    memset(f, 0, sizeof *f);
    uint32_t at = 0, start = 0, end = 0;
    while (NextToken(list, &at, &start, &end, blanks)) {
        f->programs++;
        if (f->found && !f->hasNext) {
            f->hasNext = 1;
            f->next = start;
        }
        int same = end - start == item->count
                   && memcmp(list->units + start, item->at, (size_t)item->count * 2) == 0;
        f->times += same;
        if (!f->found && same) {
            f->found = 1;
            f->before = f->lastEnd;
            f->start = start;
            f->end = end;
        }
        f->lastEnd = end;
    }
}

// The list without the item, and the piece it takes along: the separators
// before it and the item (", C:\Tools\a.exe"); the first program takes the
// separators after it, put in front.
static int TakeOut(const StoredList *list, const Found *f, int blanks, Units *rest, Units *piece)
{
    if (!MakeUnits(rest, list->count) || !MakeUnits(piece, list->count + 2))
        return 0;
    uint32_t from = f->before, to = f->end;
    const uint16_t comma[1] = {(uint16_t)(blanks ? ' ' : ',')};
    if (f->start > f->before) {
        AddUnits(piece, list->units + f->before, f->end - f->before);
    } else {
        from = f->start;
        if (f->hasNext) {
            to = f->next;
            AddUnits(piece, list->units + f->end, f->next - f->end);
        } else {
            AddUnits(piece, comma, 1);
        }
        AddUnits(piece, list->units + f->start, f->end - f->start);
    }
    AddUnits(rest, list->units, from);
    AddUnits(rest, list->units + to, list->count - to);
    return 1;
}

// The list with the piece after its last program (before separators that
// end it, as in "userinit.exe,"); into a list without programs goes the item
// alone, or with keepLead the whole piece.
static int PutBack(const StoredList *list, const Units *piece, uint32_t itemLength, int keepLead,
                   int blanks, Units *joined)
{
    Found last;
    Units none = {NULL, 0, 0};
    FindItem(list, &none, blanks, &last);
    if (!MakeUnits(joined, list->count + piece->count))
        return 0;
    if (last.programs == 0) {
        uint32_t skip = keepLead ? 0 : piece->count - itemLength;
        AddUnits(joined, piece->at + skip, piece->count - skip);
        return 1;
    }
    AddUnits(joined, list->units, last.lastEnd);
    AddUnits(joined, piece->at, piece->count);
    AddUnits(joined, list->units + last.lastEnd, list->count - last.lastEnd);
    return 1;
}

static long WriteUnits(PlatHive hive, const char *path, const char *name, uint32_t type,
                       const Units *units, int terminated)
{
    PlatKey key = NULL;
    long result = PlatRegCreate(hive, path, PLAT_KEY_WRITE, &key);
    if (result != PLAT_OK || !key)
        return result;
    // The units were made with room for the terminator, zero-filled.
    result = PlatRegWriteRaw(key, name, type, units->at,
                             (units->count + (terminated ? 1 : 0)) * 2);
    long closed = PlatRegClose(key);
    return result != PLAT_OK ? result : closed;
}

// Puts a value back as it was read: its bytes, or not there at all.
static long Restore(PlatHive hive, const char *path, const char *name, const StoredList *list)
{
    PlatKey key = NULL;
    long result = PlatRegCreate(hive, path, PLAT_KEY_WRITE, &key);
    if (result != PLAT_OK || !key)
        return result;
    result = list->present ? PlatRegWriteRaw(key, name, list->type, list->data, list->size)
                           : PlatRegDeleteValue(key, name);
    PlatRegClose(key);
    return result;
}

static long DeleteValue(PlatHive hive, const char *path, const char *name)
{
    StoredList none;
    memset(&none, 0, sizeof none);
    return Restore(hive, path, name, &none);
}

// Whether the value holds the item now: 1, 0, or -1 when it cannot be read.
// A failing step is judged by this, never by its result alone: a write
// whose key then failed to close has written. The cause is kept.
static int ItemNowIn(PlatHive hive, const char *path, const char *name, const Units *item,
                     int blanks)
{
    long cause = LastStoreError();
    StoredList now;
    int result = -1;
    if (ReadList(hive, path, name, &now)) {
        Found found;
        FindItem(&now, item, blanks, &found);
        result = found.found;
    }
    FreeList(&now);
    SetStoreError(cause);
    return result;
}

// Nonzero when the value holds exactly what was written into it.
static int HoldsWritten(PlatHive hive, const char *path, const char *name, uint32_t type,
                        const Units *units)
{
    long cause = LastStoreError();
    StoredList now;
    uint32_t size = (units->count + 1) * 2;
    int same = ReadList(hive, path, name, &now) && now.present && now.type == type
               && now.size == size && memcmp(now.data, units->at, size) == 0;
    FreeList(&now);
    SetStoreError(cause);
    return same;
}

static int BackupCause(int saved)
{
    long cause = LastStoreError();
    // A folder on the way, or the user's rights, refused: that is the cause.
    if (saved != BackupFolderIsLink
        || (cause != CAUSE_PLACE_IS_LINK && cause != CAUSE_NO_USER_RIGHTS))
        cause = saved == BackupFolderIsLink ? CAUSE_BACKUP_FOLDER_IS_LINK : CAUSE_BACKUP_FAILED;
    return SetStoreError(cause), saved;
}

static void SaveOf(BackupValue *value, PlatHive hive, const char *path, const char *name,
                   const StoredList *list)
{
    value->hive = hive;
    value->path = path;
    value->name = name;
    value->type = list->type;
    value->data = list->data;
    value->size = list->size;
    value->absent = !list->present;
}

// What both changes of a list item share: the value read and the item found.
struct ListChange {
    PlatHive hive;
    int blanks;
    Units item;
    StoredList from;
    Found found;
    Units rest, piece;
};

static void EndChange(ListChange *change)
{
    FreeList(&change->from);
    PlatFree(change->item.at);
    PlatFree(change->rest.at);
    PlatFree(change->piece.at);
}

// Reads the item's list and finds the item; zero, with the cause, when it is
// not there as the list showed it.
static int BeginChange(const AutostartItem *item, ListChange *change)
{
    memset(change, 0, sizeof *change);
    change->hive = HiveOfItem(item);
    change->blanks = LogonListSplitsAtBlanks(item);
    if (!MakeUnits(&change->item, 2 * TEXT_FIELD_SIZE))
        return SetStoreError(PLAT_ERROR_OUTOFMEMORY), 0;
    change->item.count = PlatTextToUtf16(item->listItem, change->item.at, 4 * TEXT_FIELD_SIZE) / 2;
    if (!ReadList(change->hive, item->location, item->valueName, &change->from))
        return 0;
    FindItem(&change->from, &change->item, change->blanks, &change->found);
    if (!change->found.found || change->item.count == 0)
        return SetStoreError(PLAT_ERROR_KEY_DELETED), 0;
    // Which of the copies the row is cannot be told from its text: taking
    // out the first for a later one would reorder the list.
    if (change->found.times > 1)
        return SetStoreError(CAUSE_LIST_ITEM_REPEATED), 0;
    if (!TakeOut(&change->from, &change->found, change->blanks, &change->rest, &change->piece))
        return SetStoreError(PLAT_ERROR_OUTOFMEMORY), 0;
    return 1;
}

// Nonzero for a list Windows needs its own program in: Userinit and the
// machine's Shell to log on, a policy's Shell as the one it takes the place
// of, rdpwd's StartupPrograms for rdpclip, VmApplet to set up the paging
// file, Safe Mode's AlternateShell for its command prompt.
static int WindowsNeedsList(const AutostartItem *item)
{
    // A policy's Shell goes whole, as the user's own does: Winlogon's then applies.
    return item->logonPlace == LogonUserinit || item->logonPlace == LogonShell
           || item->logonPlace == LogonRemoteDesktop
           || item->logonPlace == LogonSafeModeShell
           || (item->logonPlace == LogonWinlogonOther
               && TextCompareNoCase(item->valueName, "VmApplet") == 0);
}

// Nonzero when the change may leave the list without a program: a list in
// a "-" key holds nothing the logon needs, the user's own Shell goes whole,
// so that the machine's applies, and the legacy values hold no program of
// Windows' own.
static int MayEmpty(const AutostartItem *item)
{
    return LocationDisabled(item->location) || !WindowsNeedsList(item);
}

static int UnitUpper(uint16_t c)
{
    return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
}

// Nonzero when the units [start, end) are the ASCII name in any case.
static int UnitsAre(const uint16_t *units, uint32_t start, uint32_t end, const char *name)
{
    if (end - start != strlen(name))
        return 0;
    for (uint32_t i = start; i < end; ++i)
        if (UnitUpper(units[i]) != UnitUpper((uint8_t)name[i - start]))
            return 0;
    return 1;
}

// Nonzero when a program of the live Userinit left by the change is
// userinit.exe by its file name, in whatever folder: Winlogon logs no one
// on without it.
static int KeepsUserinit(const AutostartItem *item, const Units *rest)
{
    if (item->logonPlace != LogonUserinit || LocationDisabled(item->location))
        return 1;
    StoredList list;
    memset(&list, 0, sizeof list);
    list.units = rest->at;
    list.count = rest->count;
    uint32_t at = 0, start = 0, end = 0;
    while (NextToken(&list, &at, &start, &end, 0)) {
        if (end > start && list.units[end - 1] == '"')
            --end;
        uint32_t file = end;
        while (file > start && list.units[file - 1] != '\\')
            --file;
        file += file < end && list.units[file] == '"';
        if (UnitsAre(list.units, file, end, "userinit.exe")
            || UnitsAre(list.units, file, end, "userinit"))
            return 1;
    }
    return 0;
}

// Before the backup, so that a refused change leaves nothing behind: the
// key is opened for writing (a key that is not there yet is made by the
// write itself). The cause when it cannot be.
static long CheckWritable(PlatHive hive, const char *path)
{
    PlatKey key = NULL;
    if (PlatRegOpenRead(hive, path, &key) != PLAT_OK || !key)
        return PLAT_OK;
    PlatRegClose(key);
    long result = PlatRegCreate(hive, path, PLAT_KEY_WRITE, &key);
    if (result == PLAT_OK && key)
        PlatRegClose(key);
    return result;
}

// After a failing step of a change: nonzero, with the cause, unless the
// item has left its own list and is in the other, as wanted. Never in
// neither by this program's doing: an arrival is taken back only while the
// item is still in its own list.
static int Settle(const ListChange *change, const AutostartItem *item, const char *other,
                  long cause)
{
    int own = ItemNowIn(change->hive, item->location, item->valueName, &change->item,
                        change->blanks);
    int there = ItemNowIn(change->hive, other, item->valueName, &change->item, change->blanks);
    if (own < 0 || there < 0)
        cause = CAUSE_LIST_UNREAD;
    else if (own && there)
        cause = CAUSE_LIST_IN_BOTH;
    else if (!own && !there)
        cause = PLAT_ERROR_KEY_DELETED; // another program took it out of both
    else if (!own)
        return 0;
    return SetStoreError(cause), 1;
}

static int ChangeListItem(const AutostartItem *item, int32_t wanted, char *backupFile)
{
    char other[TEXT_FIELD_SIZE];
    if (!SiblingLocation(item->location, other))
        return SetStoreError(PLAT_ERROR_PATH_NOT_FOUND), 1;
    ListChange change;
    StoredList to, again, toAgain;
    memset(&to, 0, sizeof to);
    memset(&again, 0, sizeof again);
    memset(&toAgain, 0, sizeof toAgain);
    Units joined = {NULL, 0, 0};
    int failed = 1;
    if (!BeginChange(item, &change) || !ReadList(change.hive, other, item->valueName, &to))
        goto done;
    {
        int emptied = change.found.programs == 1;
        if (emptied && !MayEmpty(item)) {
            SetStoreError(CAUSE_LOGON_NEEDS_PROGRAM);
            goto done;
        }
        if (!KeepsUserinit(item, &change.rest)) {
            SetStoreError(CAUSE_LOGON_NEEDS_USERINIT);
            goto done;
        }
        // Alone in a list Windows needs, a program would take the place of
        // Windows' own default, unless it is Windows' own program.
        Found target;
        Units none = {NULL, 0, 0};
        FindItem(&to, &none, change.blanks, &target);
        if (wanted && WindowsNeedsList(item) && target.programs == 0
            && !LogonItemIsWindowsOwn(item)) {
            SetStoreError(CAUSE_LIST_LACKS_OWN);
            goto done;
        }
        if (SetStoreError(CheckWritable(change.hive, item->location)) != PLAT_OK
            || SetStoreError(CheckWritable(change.hive, other)) != PLAT_OK)
            goto done;
        if (!PutBack(&to, &change.piece, change.item.count, !wanted, change.blanks, &joined)) {
            SetStoreError(PLAT_ERROR_OUTOFMEMORY);
            goto done;
        }
        // The other value, when it was not there, is saved as not there: the
        // backup then takes the program out of it again.
        BackupValue saves[2];
        SaveOf(&saves[0], change.hive, item->location, item->valueName, &change.from);
        SaveOf(&saves[1], change.hive, other, item->valueName, &to);
        // A backup written is named, whatever comes after it.
        int saved = BackupValues("Changed", saves, 2, backupFile);
        if (saved != BackupMade) {
            backupFile[0] = '\0';
            BackupCause(saved);
            goto done;
        }
        // Another program may have changed either value since they were read.
        if (!ReadList(change.hive, item->location, item->valueName, &again)
            || !ReadList(change.hive, other, item->valueName, &toAgain))
            goto done;
        if (!SameList(&again, &change.from) || !SameList(&toAgain, &to)) {
            SetStoreError(PLAT_ERROR_KEY_DELETED);
            goto done;
        }
        // The item arrives first; only then does it leave. After a failing
        // step, what storage holds decides what is undone and what is said.
        uint32_t type = to.present ? to.type : change.from.type;
        long step = WriteUnits(change.hive, other, item->valueName, type, &joined, 1);
        if (step == PLAT_OK || HoldsWritten(change.hive, other, item->valueName, type, &joined)) {
            step = emptied ? DeleteValue(change.hive, item->location, item->valueName)
                           : WriteUnits(change.hive, item->location, item->valueName,
                                        change.from.type, &change.rest, change.from.terminated);
            // Still in its own list: its arrival in the other is taken back,
            // unless another program has changed the other meanwhile.
            if (step != PLAT_OK
                && ItemNowIn(change.hive, item->location, item->valueName, &change.item,
                             change.blanks) == 1
                && HoldsWritten(change.hive, other, item->valueName, type, &joined))
                Restore(change.hive, other, item->valueName, &to);
        }
        failed = step != PLAT_OK && Settle(&change, item, other, step);
    }
done:
    EndChange(&change);
    FreeList(&to);
    FreeList(&again);
    FreeList(&toAgain);
    PlatFree(joined.at);
    return failed;
}

// The record of a whole value, named by its value, for the Run-value moves.
static void ValueRecord(const AutostartItem *item, AutostartItem *value)
{
    *value = *item;
    TextCopy(value->name, sizeof value->name, item->valueName);
    value->logonPlace = LogonNone;
}

int ChangeLogonItem(const AutostartItem *item, int32_t wanted, char *backupFile)
{
    SetStoreError(PLAT_OK);
    backupFile[0] = '\0';
    if (item->readOnly) // a script of Group Policy, a row of the other places
        return SetStoreError(ReadOnlyCause(item)), 1;
    if (item->windowsOwn)
        return SetStoreError(CAUSE_WINDOWS_OWN), 1;
    if (item->cut || item->inexact)
        return SetStoreError(item->cut ? CAUSE_NAME_CUT : CAUSE_NAME_INEXACT), 1;
    if (item->listItem[0])
        return ChangeListItem(item, wanted, backupFile);
    AutostartItem value;
    ValueRecord(item, &value);
    int moved = MoveRegistryValue(&value, wanted);
    // Only a value now present in its new place leaves the old one (a
    // write whose key then failed to close has written).
    if (moved != MoveValueDone && moved != MoveValueCloseFailed)
        return 1;
    return DeleteItem(&value, 1) != DeleteDone;
}

static int RemoveListItem(const AutostartItem *item, char *backupFile)
{
    ListChange change;
    StoredList again;
    memset(&again, 0, sizeof again);
    int result = RemoveRefused;
    // Not there as listed, or unreadable: nothing saved, nothing deleted.
    if (!BeginChange(item, &change))
        goto done;
    {
        int emptied = change.found.programs == 1;
        if (emptied && !MayEmpty(item)) {
            SetStoreError(CAUSE_LOGON_NEEDS_PROGRAM);
            goto done;
        }
        if (!KeepsUserinit(item, &change.rest)) {
            SetStoreError(CAUSE_LOGON_NEEDS_USERINIT);
            goto done;
        }
        if (SetStoreError(CheckWritable(change.hive, item->location)) != PLAT_OK)
            goto done;
        BackupValue save;
        SaveOf(&save, change.hive, item->location, item->valueName, &change.from);
        int saved = BackupValues("Removed", &save, 1, backupFile);
        if (saved != BackupMade) {
            result = saved == BackupFolderIsLink ? RemoveFolderIsLink : RemoveBackupFailed;
            goto done;
        }
        result = RemoveDeleteFailed;
        if (!ReadList(change.hive, item->location, item->valueName, &again))
            goto done;
        if (!SameList(&again, &change.from)) {
            SetStoreError(PLAT_ERROR_KEY_DELETED);
            goto done;
        }
        long written = emptied ? DeleteValue(change.hive, item->location, item->valueName)
                               : WriteUnits(change.hive, item->location, item->valueName,
                                            change.from.type, &change.rest,
                                            change.from.terminated);
        // A failing step that took the item out anyway has removed it.
        int still = written == PLAT_OK ? 0
                                       : ItemNowIn(change.hive, item->location, item->valueName,
                                                   &change.item, change.blanks);
        SetStoreError(still < 0 ? (long)CAUSE_LIST_UNREAD : still ? written : (long)PLAT_OK);
        if (still == 0)
            result = RemoveDone;
    }
done:
    EndChange(&change);
    FreeList(&again);
    return result;
}

long ListRemoveRefusal(const AutostartItem *item)
{
    if (item->readOnly) // a script of Group Policy: the policy would write it back
        return ReadOnlyCause(item);
    if (!item->windowsOwn)
        return PLAT_OK;
    if (item->logonPlace != LogonUserShell)
        return CAUSE_WINDOWS_OWN;
    // The user's own Shell may go whole, Windows' program in it too (the
    // machine's then applies), but only alone there: the whole value would
    // take programs along that the question never named.
    ListChange change;
    long cause = PLAT_OK;
    if (!item->listItem[0])
        return PLAT_OK;
    if (!BeginChange(item, &change))
        cause = LastStoreError() == CAUSE_LIST_ITEM_REPEATED ? CAUSE_WINDOWS_OWN : LastStoreError();
    else if (change.found.programs > 1)
        cause = CAUSE_WINDOWS_OWN;
    EndChange(&change);
    return cause;
}

int RemoveLogonItem(const AutostartItem *item, char *backupFile)
{
    SetStoreError(PLAT_OK);
    backupFile[0] = '\0';
    if (SetStoreError(ListRemoveRefusal(item)) != PLAT_OK)
        return RemoveRefused;
    if (item->cut || item->inexact)
        return RemoveRefused;
    if (item->listItem[0] && !item->windowsOwn)
        return RemoveListItem(item, backupFile);
    // Never the key: an Active Setup component is read by other programs.
    AutostartItem value;
    ValueRecord(item, &value);
    return RemoveItemWithBackup(&value, backupFile);
}
