// remembered.cpp - the list of entries the user has seen and accepted.
//
// The file is UTF-8 text, one line per record, fields split by tabs, a
// backslash, tab, line feed or carriage return inside a field written as
// \\, \t, \n, \r (names and commands may hold any of them):
//   Orvane Tool remembered entries 1
//   accepted <TAB> 2026-12-08 14:02:05
//   entry <TAB> id <TAB> name <TAB> place <TAB> state <TAB> kind <TAB> program <TAB> signer <TAB> command
//   end <TAB> count
// The closing count makes a file cut short, or joined from two, no list.
// Local application data is the user's, never shared, and writable
// without administrator rights; elevated, it is written with the user's
// rights through held folders, as the backups are.
#include "remembered.h"

#include "store.h"

#include <stdio.h>
#include <string.h>

// ---- the file ------------------------------------------------------------------

int RememberedPath(char *path)
{
    char local[TEXT_FIELD_SIZE], folder[TEXT_FIELD_SIZE];
    if (!PlatShellFolder(PLAT_CSIDL_LOCAL_APPDATA, local)
        || !TextFormat(folder, sizeof folder, "%s\\%s", local, REMEMBERED_FOLDER)
        || !TextFormat(path, TEXT_FIELD_SIZE, "%s\\%s", folder, REMEMBERED_FILE))
        return 0;
    MakeFolderHeld(folder, 1);
    return 1;
}

void FreeRemembered(RememberedList *list)
{
    PlatFree(list->entries);
    memset(list, 0, sizeof *list);
}

// Room for count entries, keeping those there; zero when none can be had.
static int Reserve(RememberedList *list, int32_t count)
{
    if (count <= list->capacity)
        return 1;
    if (count > REMEMBERED_MOST)
        return 0;
    int32_t capacity = count < 64 ? 64 : count + count / 2;
    if (capacity > REMEMBERED_MOST)
        capacity = REMEMBERED_MOST;
    RememberedEntry *entries =
        (RememberedEntry *)PlatAllocZero((size_t)capacity * sizeof(RememberedEntry));
    if (!entries)
        return 0;
    if (list->count)
        memcpy(entries, list->entries, (size_t)list->count * sizeof(RememberedEntry));
    PlatFree(list->entries);
    list->entries = entries;
    list->capacity = capacity;
    return 1;
}

// The whole file's text (PlatFree it); *length its bytes.
static char *ListText(const RememberedList *list, uint32_t *length)
{
    size_t room = 256 + (size_t)list->count * (2 * sizeof(RememberedEntry) + 32);
    char *text = (char *)PlatAllocZero(room);
    if (!text)
        return NULL;
    const PlatTime *t = &list->accepted;
    char *out = text;
    out += strlen(strcpy(out, REMEMBERED_HEADER "\n"));
    TextFormat(out, 64, "accepted\t%04d-%02d-%02d %02d:%02d:%02d\n", t->year, t->month, t->day,
               t->hour, t->minute, t->second);
    out += strlen(out);
    for (int32_t i = 0; i < list->count; ++i) {
        const RememberedEntry *e = &list->entries[i];
        char kind[8];
        TextFormat(kind, sizeof kind, "%c%s", e->kind ? e->kind : 'v', e->elevatedOnly ? "e" : "");
        out = PutTextField(out, "entry", 0);
        out = PutTextField(out, e->id, 0);
        out = PutTextField(out, e->name, 0);
        out = PutTextField(out, e->place, 0);
        out = PutTextField(out, e->state, 0);
        out = PutTextField(out, kind, 0);
        out = PutTextField(out, e->program, 0);
        out = PutTextField(out, e->signer, 0);
        out = PutTextField(out, e->command, 1);
    }
    TextFormat(out, 32, "end\t%ld\n", (long)list->count);
    out += strlen(out);
    *length = (uint32_t)(out - text);
    return text;
}

long WriteRemembered(const char *path, const RememberedList *list)
{
    char own[TEXT_FIELD_SIZE], temp[TEXT_FIELD_SIZE];
    if (!path && !RememberedPath(own))
        return PLAT_ERROR_PATH_NOT_FOUND;
    path = path ? path : own;
    unsigned char random[4] = {0, 0, 0, 0};
    PlatRandom(random, sizeof random);
    if (!TextFormat(temp, sizeof temp, "%s.new-%02x%02x%02x%02x", path, random[0], random[1],
                    random[2], random[3]))
        return PLAT_ERROR_PATH_NOT_FOUND;
    uint32_t length = 0;
    char *text = ListText(list, &length);
    if (!text)
        return PLAT_ERROR_OUTOFMEMORY;
    PlatPlace place = NULL;
    long cause = HoldPlace(path, NULL, 1, 1, &place);
    if (cause == PLAT_OK) {
        PlatFile file = PlatFileCreateNew(temp);
        if (!file) {
            cause = PlaceError(1, place, PlatLastError());
        } else {
            int written = PlatFileWrite(file, text, length);
            long error = written ? (long)PLAT_OK : PlatLastError();
            if (!PlatFileClose(file) && written)
                error = PlatLastError();
            // Only a whole new file replaces the old one, in one step.
            if (error == PLAT_OK && !PlatReplaceFile(temp, path))
                error = PlatLastError();
            if (error == PLAT_OK && !PlaceStillHeld(place))
                error = LastStoreError();
            if (error != PLAT_OK)
                PlatDeleteFile(temp);
            cause = error == PLAT_OK ? (long)PLAT_OK : PlaceError(1, place, error);
        }
    }
    ReleasePlace(place);
    PlatFree(text);
    return cause;
}

// ---- reading -----------------------------------------------------------------

static int TakeEntry(const char *line, RememberedEntry *e)
{
    char tag[8], kind[8];
    const char *at = line;
    return TakeTextField(&at, tag, sizeof tag, 0) && strcmp(tag, "entry") == 0
           && TakeTextField(&at, e->id, sizeof e->id, 0) && e->id[0]
           && TakeTextField(&at, e->name, sizeof e->name, 0)
           && TakeTextField(&at, e->place, sizeof e->place, 0)
           && TakeTextField(&at, e->state, sizeof e->state, 0) && TakeTextField(&at, kind, sizeof kind, 0)
           && strchr("vlftaso", kind[0]) && kind[0] && (kind[1] == '\0' || strcmp(kind + 1, "e") == 0)
           && (e->kind = kind[0], e->elevatedOnly = kind[1] == 'e', 1)
           && TakeTextField(&at, e->program, sizeof e->program, 0)
           && TakeTextField(&at, e->signer, sizeof e->signer, 0)
           && TakeTextField(&at, e->command, sizeof e->command, 1);
}

// 1 when text is a whole list, read into list; 0 when it is not; -1 when
// there was no memory to read it.
static int ParseList(char *text, RememberedList *list)
{
    char *at = text;
    char *line = NextTextLine(&at);
    if (!line || strcmp(line, REMEMBERED_HEADER) != 0)
        return 0;
    line = NextTextLine(&at);
    PlatTime *t = &list->accepted;
    char extra = 0;
    if (!line
        || sscanf(line, "accepted\t%4d-%2d-%2d %2d:%2d:%2d%c", &t->year, &t->month, &t->day,
                  &t->hour, &t->minute, &t->second, &extra) != 6)
        return 0;
    while ((line = NextTextLine(&at)) != NULL) {
        long count = -1;
        if (strncmp(line, "end\t", 4) == 0)
            return sscanf(line + 4, "%ld%c", &count, &extra) == 1 && count == list->count
                   && *at == '\0';
        if (list->count >= REMEMBERED_MOST)
            return 0;
        if (!Reserve(list, list->count + 1))
            return -1;
        if (!TakeEntry(line, &list->entries[list->count]))
            return 0;
        ++list->count;
    }
    return 0; // no end: cut short
}

// Renames a file that is no list of ours aside, so nothing is lost and it
// is never read again; zero when it stays where it is.
static int SetAside(const char *path, char *setAside)
{
    PlatTime now;
    PlatLocalTime(&now);
    char aside[TEXT_FIELD_SIZE];
    size_t stem = strlen(path) > 4 ? strlen(path) - 4 : 0; // without ".txt"
    PlatPlace place = NULL;
    int moved = 0;
    if (HoldPlace(path, NULL, 1, 1, &place) == PLAT_OK) {
        // Never over an earlier one set aside in the same second.
        for (int copy = 1; copy < 100 && !moved; ++copy) {
            char suffix[8] = "";
            if (copy > 1)
                TextFormat(suffix, sizeof suffix, " (%d)", copy);
            if (!TextFormat(aside, sizeof aside, "%.*s (set aside %04d-%02d-%02d %02d%02d%02d)%s.txt",
                            (int)stem, path, now.year, now.month, now.day, now.hour, now.minute,
                            now.second, suffix))
                break;
            moved = PlatMoveFile(path, aside);
            if (!moved && !PlatFileExists(aside))
                break;
        }
    }
    ReleasePlace(place);
    if (moved && setAside)
        TextCopy(setAside, TEXT_FIELD_SIZE, aside);
    return moved;
}

int ReadRemembered(const char *path, int own, RememberedList *list, char *setAside, long *cause)
{
    memset(list, 0, sizeof *list);
    *cause = PLAT_OK;
    if (setAside)
        setAside[0] = '\0';
    char ownPath[TEXT_FIELD_SIZE];
    if (!path && !RememberedPath(ownPath))
        return *cause = PLAT_ERROR_PATH_NOT_FOUND, RememberedFailed;
    path = path ? path : ownPath;
    uint64_t size = 0, written = 0;
    // None there only when Windows says so: a call that failed is no first run.
    if (!PlatFileExists(path)) {
        int missing = PlatFileAttributes(path) == PLAT_NO_ATTRIBUTES;
        long error = PlatLastError();
        if (missing && (error == PLAT_ERROR_FILE_NOT_FOUND || error == PLAT_ERROR_PATH_NOT_FOUND))
            return own ? RememberedNone : (*cause = error, RememberedFailed);
        *cause = missing && error != PLAT_OK ? error : (long)PLAT_ERROR_ACCESS_DENIED;
        return RememberedFailed;
    }
    if (!PlatFileStamp(path, &size, &written))
        return *cause = PlatLastError(), RememberedFailed;
    int whole = 0;
    if (size <= REMEMBERED_FILE_MOST) {
        uint32_t length = 0;
        char *bytes = (char *)PlatFileLoad(path, &length);
        if (!bytes)
            return *cause = PlatLastError(), RememberedFailed;
        char *text = (char *)PlatAllocZero((size_t)length + 1);
        if (!text) {
            PlatFree(bytes);
            return *cause = PLAT_ERROR_OUTOFMEMORY, RememberedFailed;
        }
        memcpy(text, bytes, length);
        PlatFree(bytes);
        // A zero byte inside is no text of ours: strlen stops short of length.
        whole = strlen(text) == length ? ParseList(text, list) : 0;
        PlatFree(text);
    }
    if (whole > 0)
        return RememberedDone;
    FreeRemembered(list);
    if (whole < 0)
        return *cause = PLAT_ERROR_OUTOFMEMORY, RememberedFailed;
    if (!own)
        return *cause = CAUSE_REMEMBERED_FOREIGN, RememberedFailed;
    if (!SetAside(path, setAside))
        return *cause = PlatLastError(), RememberedFailed;
    // Nothing of it is trusted: an empty list, from now, marks every entry
    // new until the user accepts them (the caller writes it).
    PlatLocalTime(&list->accepted);
    return RememberedSetAside;
}

// ---- comparing -----------------------------------------------------------------

static char KindOf(const AutostartItem *item)
{
    if (item->kind == ScheduledTask)
        return 't';
    if (item->kind == PackagedApp)
        return 'a';
    if (item->kind == Service)
        return 's';
    if (ItemIsOtherPlace(item))
        return 'o';
    if (item->logonPlace)
        return 'l';
    return item->kind == Shortcut ? 'f' : 'v';
}

// The entry of the record as it is now; before: the entry it had, whose
// signer stands while the record's is not read yet.
static void RememberItem(const AutostartItem *item, const char *id, const RememberedEntry *before,
                         RememberedEntry *e)
{
    memset(e, 0, sizeof *e);
    TextCopy(e->id, sizeof e->id, id);
    TextCopy(e->name, sizeof e->name, ItemShownName(item));
    ItemPlaceText(item, 0, e->place, sizeof e->place);
    TextCopy(e->state, sizeof e->state, ItemStateText(item));
    e->kind = KindOf(item);
    e->elevatedOnly = item->schedulerHidden != 0;
    TextCopy(e->program, sizeof e->program, item->target);
    if (!item->detailsPending)
        TextCopy(e->signer, sizeof e->signer, item->publisher);
    else if (before && strcmp(before->program, item->target) == 0)
        TextCopy(e->signer, sizeof e->signer, before->signer);
    TextCopy(e->command, sizeof e->command, item->command);
}

// ---- finding ids ------------------------------------------------------------------

// Ids compared as the registry compares names, found through a hash of
// their ASCII letters folded (other bytes left out, so that two spellings
// the comparison takes as one always meet in one bucket): a list of
// thousands is compared with thousands of records without comparing each
// with each.
struct IdIndex {
    int32_t *head; // per bucket: the first index, or -1
    int32_t *next; // per index: the next of its bucket, or -1
    uint32_t mask;
    const char *base;
    size_t stride;
};

static uint32_t IdHash(const char *id)
{
    uint32_t hash = 2166136261u;
    for (const unsigned char *c = (const unsigned char *)id; *c; ++c)
        if (*c < 0x80)
            hash = (hash ^ (uint32_t)(*c >= 'a' && *c <= 'z' ? *c - 32 : *c)) * 16777619u;
    return hash;
}

static const char *IdAt(const IdIndex *index, int32_t i)
{
    return index->base + (size_t)i * index->stride;
}

// Zero when there is no memory for it.
static int BuildIndex(IdIndex *index, const char *base, size_t stride, int32_t count)
{
    uint32_t buckets = 64;
    while (buckets < 2u * (uint32_t)count)
        buckets *= 2;
    index->head = (int32_t *)PlatAllocZero(buckets * sizeof(int32_t));
    index->next = (int32_t *)PlatAllocZero(((size_t)count + 1) * sizeof(int32_t));
    index->mask = buckets - 1;
    index->base = base;
    index->stride = stride;
    if (!index->head || !index->next) {
        PlatFree(index->head);
        PlatFree(index->next);
        return 0;
    }
    for (uint32_t b = 0; b < buckets; ++b)
        index->head[b] = -1;
    // From the last down: each bucket then lists its indexes in order.
    for (int32_t i = count - 1; i >= 0; --i) {
        uint32_t b = IdHash(IdAt(index, i)) & index->mask;
        index->next[i] = index->head[b];
        index->head[b] = i;
    }
    return 1;
}

static void FreeIndex(IdIndex *index)
{
    PlatFree(index->head);
    PlatFree(index->next);
}

// The first index whose id is id's, or -1.
static int32_t FindIndexed(const IdIndex *index, const char *id)
{
    for (int32_t i = index->head[IdHash(id) & index->mask]; i >= 0; i = index->next[i])
        if (id[0] && PlatNamesEqual(IdAt(index, i), id))
            return i;
    return -1;
}

// Each record's id in the list (PlatFree it): its home id, but its own
// id when it was moved aside here and another record is listed at home
// under its name (a value written back beside its disabled copy): both are
// entries. An id that does not fit is empty: the record is never matched.
typedef char RecordId[ITEM_ID_SIZE];
static RecordId *RecordIds(const CatalogueData *data)
{
    int32_t n = data->count;
    RecordId *ids = (RecordId *)PlatAllocZero(((size_t)n + 1) * 2 * sizeof(RecordId));
    if (!ids)
        return NULL;
    RecordId *own = ids + n + 1;
    for (int32_t i = 0; i < n; ++i) {
        if (!ItemId(&data->items[i], NULL, own[i], sizeof own[i]))
            own[i][0] = '\0';
        if (!ItemHomeId(&data->items[i], ids[i], sizeof ids[i]))
            ids[i][0] = '\0';
    }
    IdIndex index;
    if (!BuildIndex(&index, own[0], sizeof own[0], n)) {
        PlatFree(ids);
        return NULL;
    }
    for (int32_t i = 0; i < n; ++i)
        if (ids[i][0] && strcmp(ids[i], own[i]) != 0 && FindIndexed(&index, ids[i]) >= 0)
            TextCopy(ids[i], sizeof ids[i], own[i]);
    FreeIndex(&index);
    return ids;
}

int ItemRememberedId(const CatalogueData *data, const AutostartItem *item, char *id, size_t size)
{
    char own[ITEM_ID_SIZE], other[ITEM_ID_SIZE];
    if (!ItemHomeId(item, id, size))
        return 0;
    if (!ItemId(item, NULL, own, sizeof own) || strcmp(own, id) == 0)
        return 1;
    // Moved aside, with another record listed at home under its name.
    for (int32_t k = 0; k < data->count; ++k)
        if (&data->items[k] != item && ItemId(&data->items[k], NULL, other, sizeof other)
            && PlatNamesEqual(other, id))
            return TextCopy(id, size, own);
    return 1;
}

static int32_t FindEntry(const RememberedList *list, const char *id)
{
    for (int32_t j = 0; j < list->count; ++j)
        if (PlatNamesEqual(list->entries[j].id, id))
            return j;
    return -1;
}

// Nonzero when a scan like this one may have missed the entry.
static int MayBeMissed(const CatalogueData *data, const RememberedEntry *e)
{
    return data->changed || (e->elevatedOnly && !PlatIsElevated())
           || (data->tasksUnread[0] && (e->kind == 't' || e->kind == 'a' || e->kind == 's'))
           || (e->kind == 'o' && (!data->otherPlaces || data->tasksUnread[0]));
}

// Nonzero when the entry was off when accepted and Windows starts it now
// (switched back on elsewhere, or written back by its program).
static int TurnedOn(const AutostartItem *item, const RememberedEntry *was)
{
    return was->state[0] && strcmp(was->state, STATE_ON) != 0
           && strcmp(ItemStateText(item), STATE_ON) == 0;
}

static int Differs(const AutostartItem *item, const RememberedEntry *was)
{
    return strcmp(item->command, was->command) != 0 || strcmp(item->target, was->program) != 0
           || (!item->detailsPending && was->signer[0] && strcmp(item->publisher, was->signer) != 0)
           || TurnedOn(item, was);
}

void FreeMarks(RememberedMarks *marks)
{
    PlatFree(marks->marks);
    PlatFree(marks->was);
    PlatFree(marks->gone);
    memset(marks, 0, sizeof *marks);
}

void CompareRemembered(const CatalogueData *data, const RememberedList *list,
                       RememberedMarks *marks)
{
    memset(marks, 0, sizeof *marks);
    int32_t records = data->count;
    marks->marks = (uint8_t *)PlatAllocZero((size_t)records + 1);
    marks->was = (int32_t *)PlatAllocZero(((size_t)records + 1) * sizeof(int32_t));
    marks->gone = (uint8_t *)PlatAllocZero((size_t)list->count + 1);
    if (!marks->marks || !marks->was || !marks->gone) {
        FreeMarks(marks);
        return;
    }
    marks->records = records;
    RecordId *ids = RecordIds(data);
    uint8_t *seen = (uint8_t *)PlatAllocZero((size_t)list->count + 1);
    if (!ids || !seen) {
        PlatFree(ids);
        PlatFree(seen);
        FreeMarks(marks);
        return;
    }
    IdIndex index;
    if (!BuildIndex(&index, list->entries ? list->entries[0].id : "", sizeof(RememberedEntry),
                    list->count)) {
        PlatFree(ids);
        PlatFree(seen);
        FreeMarks(marks);
        return;
    }
    IdIndex listed;
    if (!BuildIndex(&listed, ids[0], sizeof ids[0], records)) {
        FreeIndex(&index);
        PlatFree(ids);
        PlatFree(seen);
        FreeMarks(marks);
        return;
    }
    for (int32_t i = 0; i < records; ++i) {
        const AutostartItem *item = &data->items[i];
        // A record whose id an earlier one has (names cut alike) is never
        // taken for the entry remembered by it.
        int32_t j = FindIndexed(&listed, ids[i]) == i ? FindIndexed(&index, ids[i]) : -1;
        marks->was[i] = j;
        if (j < 0) {
            marks->marks[i] = MarkNew;
            ++marks->newCount;
            continue;
        }
        seen[j] = 1;
        if (Differs(item, &list->entries[j])) {
            marks->marks[i] = MarkChanged;
            ++marks->changedCount;
        }
    }
    for (int32_t j = 0; j < list->count; ++j) {
        if (seen[j])
            continue;
        if (MayBeMissed(data, &list->entries[j])) {
            ++marks->goneUnsure;
        } else {
            marks->gone[j] = 1;
            ++marks->goneCount;
        }
    }
    FreeIndex(&listed);
    FreeIndex(&index);
    PlatFree(seen);
    PlatFree(ids);
}

// Appends "what was "text"" to a change's words.
static void AddChange(char *text, size_t size, const char *what, const char *was)
{
    char part[COMMAND_FIELD_SIZE + 64];
    TextFormat(part, sizeof part, "%s%s was \"%s\"", text[0] ? "; " : "", what, was);
    TextAppend(text, size, part);
}

void ChangeText(const AutostartItem *item, const RememberedEntry *was, char *text, size_t size)
{
    text[0] = '\0';
    if (strcmp(item->command, was->command) != 0)
        AddChange(text, size, "command", was->command);
    if (strcmp(item->target, was->program) != 0)
        AddChange(text, size, "program", was->program);
    if (!item->detailsPending && was->signer[0] && strcmp(item->publisher, was->signer) != 0)
        AddChange(text, size, "signer", was->signer);
    if (TurnedOn(item, was))
        AddChange(text, size, "state", was->state);
}

// ---- accepting -------------------------------------------------------------------

int AcceptAll(RememberedList *list, const CatalogueData *data)
{
    RememberedList next;
    memset(&next, 0, sizeof next);
    // No more than the list holds: a catalogue past it cannot be accepted.
    int32_t want = data->count + list->count;
    if (data->count > REMEMBERED_MOST || !Reserve(&next, want < REMEMBERED_MOST ? want : REMEMBERED_MOST))
        return 0;
    uint8_t *matched = (uint8_t *)PlatAllocZero((size_t)list->count + 1);
    RecordId *ids = RecordIds(data);
    if (!matched || !ids) {
        PlatFree(matched);
        PlatFree(ids);
        FreeRemembered(&next);
        return 0;
    }
    IdIndex known, listed;
    int indexed = BuildIndex(&known, list->entries ? list->entries[0].id : "",
                             sizeof(RememberedEntry), list->count);
    if (indexed && !BuildIndex(&listed, ids[0], sizeof ids[0], data->count)) {
        FreeIndex(&known);
        indexed = 0;
    }
    if (!indexed) {
        PlatFree(matched);
        PlatFree(ids);
        FreeRemembered(&next);
        return 0;
    }
    for (int32_t i = 0; i < data->count; ++i) {
        // One entry for each id: the first record that has it.
        if (!ids[i][0] || FindIndexed(&listed, ids[i]) != i)
            continue;
        int32_t j = FindIndexed(&known, ids[i]);
        if (j >= 0)
            matched[j] = 1;
        RememberItem(&data->items[i], ids[i], j >= 0 ? &list->entries[j] : NULL,
                     &next.entries[next.count++]);
    }
    FreeIndex(&known);
    FreeIndex(&listed);
    PlatFree(ids);
    // What this scan may have missed stays remembered, while there is room.
    for (int32_t j = 0; j < list->count && next.count < next.capacity; ++j)
        if (!matched[j] && MayBeMissed(data, &list->entries[j]))
            next.entries[next.count++] = list->entries[j];
    PlatFree(matched);
    PlatLocalTime(&next.accepted);
    FreeRemembered(list);
    *list = next;
    return 1;
}

static void DropEntry(RememberedList *list, int32_t j)
{
    memmove(&list->entries[j], &list->entries[j + 1],
            (size_t)(list->count - j - 1) * sizeof(RememberedEntry));
    --list->count;
}

int32_t AcceptIds(RememberedList *list, const CatalogueData *data, const char *const *ids,
                  int32_t count)
{
    int32_t accepted = 0;
    RecordId *keys = RecordIds(data);
    IdIndex listed;
    if (!keys || !BuildIndex(&listed, keys[0], sizeof keys[0], data->count)) {
        PlatFree(keys);
        return 0;
    }
    for (int32_t k = 0; k < count; ++k) {
        int32_t j = FindEntry(list, ids[k]);
        int32_t found = FindIndexed(&listed, ids[k]);
        if (found < 0) {
            if (j >= 0) {
                DropEntry(list, j);
                ++accepted;
            }
            continue;
        }
        if (j < 0) {
            if (!Reserve(list, list->count + 1))
                continue;
            j = list->count++;
            memset(&list->entries[j], 0, sizeof list->entries[j]);
        }
        RememberedEntry before = list->entries[j];
        RememberItem(&data->items[found], keys[found], &before, &list->entries[j]);
        ++accepted;
    }
    FreeIndex(&listed);
    PlatFree(keys);
    return accepted;
}

void NoteChangedItem(OwnChanges *changes, const CatalogueData *data, const AutostartItem *item)
{
    if (item && changes->count < OWN_CHANGES_MOST
        && ItemRememberedId(data, item, changes->ids[changes->count], ITEM_ID_SIZE))
        ++changes->count;
}

int32_t AcceptOwnChanges(RememberedList *list, const CatalogueData *data, OwnChanges *changes)
{
    const char *ids[OWN_CHANGES_MOST];
    for (int32_t k = 0; k < changes->count; ++k)
        ids[k] = changes->ids[k];
    int32_t accepted = AcceptIds(list, data, ids, changes->count);
    changes->count = 0;
    return accepted;
}

void ReadChangedDetails(CatalogueData *data, const OwnChanges *changes)
{
    RecordId *keys = RecordIds(data);
    IdIndex listed;
    if (!keys || !BuildIndex(&listed, keys[0], sizeof keys[0], data->count)) {
        PlatFree(keys);
        return;
    }
    for (int32_t k = 0; k < changes->count; ++k) {
        int32_t found = FindIndexed(&listed, changes->ids[k]);
        if (found >= 0)
            ReadItemDetails(&data->items[found]);
    }
    FreeIndex(&listed);
    PlatFree(keys);
}

void AcceptCleanedUp(RememberedList *list, const CatalogueData *data)
{
    RecordId *keys = RecordIds(data);
    IdIndex listed;
    if (!keys || !BuildIndex(&listed, keys[0], sizeof keys[0], data->count)) {
        PlatFree(keys);
        return;
    }
    for (int32_t j = list->count - 1; j >= 0; --j) {
        const RememberedEntry *e = &list->entries[j];
        if (e->kind == 'v' && strcmp(e->state, STATE_OFF_HERE) == 0
            && FindIndexed(&listed, e->id) < 0)
            DropEntry(list, j);
    }
    FreeIndex(&listed);
    PlatFree(keys);
}

void RememberedTimeText(const PlatTime *time, char *text, size_t size)
{
    static const char *const months[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                           "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    int month = time->month >= 1 && time->month <= 12 ? time->month - 1 : 0;
    TextFormat(text, size, "%d %s %02d:%02d", time->day, months[month], time->hour, time->minute);
}
