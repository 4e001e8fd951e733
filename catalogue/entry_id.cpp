// entry_id.cpp - the stable id of an entry: what names it for a script,
// the console's commands and the remembered list alike. A registry value
// is named by its key as the registry editor names it and its value name;
// a file by its path; a task by its path in the scheduler; a packaged
// app's task by the key Windows keeps its state in. Names are compared as
// the registry and the file system compare them: without regard to case.
#include "catalogue.h"

#include <string.h>

int ItemId(const AutostartItem *item, const char *wholeName, char *id, size_t size)
{
    // A file's rows of a logon place (scripts.ini) are its keys.
    if (item->kind != RegistryValue && item->logonPlace && item->valueName[0])
        return TextFormat(id, size, "%s\\\\%s", item->location, item->valueName);
    // A packaged app's task: the key of its state.
    // A service: the SCM's key of it.
    if (item->kind == PackagedApp || item->kind == Service) {
        char key[TEXT_FIELD_SIZE + 32];
        RegistryKeyText(item->kind == Service ? PLAT_HKLM : PLAT_HKCU, item->location, 0, key,
                        sizeof key);
        return TextCopy(id, size, key);
    }
    if (item->kind != RegistryValue)
        return TextCopy(id, size, item->location);
    char key[TEXT_FIELD_SIZE + 32];
    RegistryKeyText(HiveOfItem(item), item->location, 0, key, sizeof key);
    // A row of a logon place: its value, and for one program of a list
    // value the program as the value holds it, not the row's name (which
    // carries marks and may be cut).
    if (item->logonPlace && item->listItem[0])
        return TextFormat(id, size, "%s\\\\%s\\\\%s", key, item->valueName, item->listItem);
    if (item->logonPlace)
        return TextFormat(id, size, "%s\\\\%s", key, item->valueName);
    return TextFormat(id, size, "%s\\\\%s", key, wholeName ? wholeName : item->name);
}

char *ItemWholeName(int32_t index)
{
    const AutostartItem *item = CatalogueItem(index);
    if (!item || item->kind != RegistryValue || item->logonPlace || !ItemNameCut(item))
        return NULL;
    // The records keep the key's order: the n-th cut name of the key with
    // that beginning is the n-th such value.
    int32_t earlier = 0;
    for (int32_t i = 0; i < index; ++i) {
        const AutostartItem *other = &ItemCatalogue.items[i];
        earlier += other->kind == RegistryValue && ItemNameCut(other) && !other->logonPlace
                   && HiveOfItem(other) == HiveOfItem(item)
                   && strcmp(other->location, item->location) == 0
                   && strcmp(other->name, item->name) == 0;
    }
    PlatKey key = NULL;
    if (PlatRegOpenRead(HiveOfItem(item), item->location, &key) != PLAT_OK || !key)
        return NULL;
    // A name is at most 16383 characters, each at most 3 bytes of UTF-8.
    const uint32_t room = 3 * 16384 + 1;
    char *name = (char *)PlatAllocZero(room);
    size_t start = strlen(item->name);
    int found = 0;
    for (uint32_t i = 0; name && !found; ++i) {
        if (PlatRegEnumValue(key, i, name, room, NULL, NULL, NULL) != PLAT_OK)
            break;
        found = strlen(name) > start && strncmp(name, item->name, start) == 0 && earlier-- == 0;
    }
    PlatRegClose(key);
    if (!found) {
        PlatFree(name);
        return NULL;
    }
    return name;
}

// The id of a record whose name is read whole (PlatFree it); null on failure.
char *ItemWholeId(const AutostartItem *item, const char *wholeName)
{
    size_t size = strlen(wholeName) + TEXT_FIELD_SIZE + 40;
    char *id = (char *)PlatAllocZero(size);
    if (id && !ItemId(item, wholeName, id, size)) {
        PlatFree(id);
        id = NULL;
    }
    return id;
}

int ItemSiblingId(const AutostartItem *item, char *id, size_t size)
{
    AutostartItem other = *item;
    if (item->kind == RegistryValue)
        return SiblingLocation(item->location, other.location) && ItemId(&other, NULL, id, size);
    // A file moves between its Startup folder and its folder of disabled
    // items; nothing else (a task, a service, a packaged app) has a sibling.
    if (item->kind != Shortcut || item->logonPlace)
        return 0;
    int user = ScopeIsUser(item->scope);
    char enabled[TEXT_FIELD_SIZE], disabled[TEXT_FIELD_SIZE];
    if (!PlatShellFolder(user ? PLAT_CSIDL_STARTUP : PLAT_CSIDL_COMMON_STARTUP, enabled)
        || !ResolveLocationFolder(&AutostartLocations[LOCATION_COUNT - (user ? 2 : 1)], disabled))
        return 0;
    char folder[TEXT_FIELD_SIZE];
    TargetFolderOf(item->location, folder);
    const char *to = PlatNamesEqual(folder, enabled) ? disabled : enabled;
    return TextFormat(id, size, "%s\\%s", to, item->name);
}

int32_t FindItemById(const char *id)
{
    char text[ITEM_ID_SIZE];
    int32_t sibling = -1;
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        char *whole = ItemWholeName(i);
        char *wholeId = whole ? ItemWholeId(item, whole) : NULL;
        int same = wholeId ? PlatNamesEqual(wholeId, id)
                           : ItemId(item, NULL, text, sizeof text) && PlatNamesEqual(text, id);
        PlatFree(wholeId);
        PlatFree(whole);
        if (same)
            return i;
        if (sibling < 0 && ItemSiblingId(item, text, sizeof text) && PlatNamesEqual(text, id))
            sibling = i;
    }
    return sibling;
}


// A file of a folder of disabled items: its folder's name says so.
static int InDisabledFolder(const AutostartItem *item)
{
    char folder[TEXT_FIELD_SIZE];
    TargetFolderOf(item->location, folder);
    const char *last = strrchr(folder, '\\');
    last = last ? last + 1 : folder;
    return PlatNamesEqual(last, DISABLED_USER_FOLDER) || PlatNamesEqual(last, DISABLED_ALL_FOLDER);
}

int ItemHomeId(const AutostartItem *item, char *id, size_t size)
{
    // Moved aside here, an entry keeps the id of the place it starts from.
    if (item->kind == RegistryValue && !item->locationCut && LocationDisabled(item->location)
        && ItemSiblingId(item, id, size))
        return 1;
    // A logon place's row moved aside lies in its key's "-" sibling.
    size_t length = strlen(item->location);
    if (item->kind == RegistryValue && item->logonPlace && !item->locationCut && length > 1
        && item->location[length - 1] == '-') {
        AutostartItem live = *item;
        live.location[length - 1] = '\0';
        return ItemId(&live, NULL, id, size);
    }
    if (item->kind == Shortcut && !item->logonPlace && !item->cut && InDisabledFolder(item)
        && ItemSiblingId(item, id, size))
        return 1;
    return ItemId(item, NULL, id, size);
}
