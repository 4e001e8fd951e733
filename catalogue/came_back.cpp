// came_back.cpp - a program that wrote its entry back after it was disabled
// here (an updater rewrites its Run value at every start) leaves the same
// name in its live place and in its disabled place. That is one program,
// listed as one row: the live entry, which is what Windows reads at logon
// (its switch in Windows' startup settings decides whether it starts), with
// the copy disabled here named in its details rather than hidden.
#include "catalogue.h"

#include <string.h>

// Only places Windows' switch governs can keep a program off that writes
// itself back; Run and the Startup folders.
static int Foldable(const AutostartItem *item)
{
    PlatHive hive = PLAT_HKCU;
    char path[TEXT_FIELD_SIZE];
    return (item->kind == RegistryValue || item->kind == Shortcut) && ItemActionable(item)
           && !item->cameBack && ApprovalList(item, &hive, path);
}

// Nonzero for a record of a disabled place (a "-" key, a folder of
// disabled items); a live entry switched off in Windows' settings is not.
static int InDisabledPlace(const AutostartItem *item)
{
    if (item->kind == RegistryValue)
        return LocationDisabled(item->location);
    return !item->enabled && !item->approvalDisabled;
}

// Nonzero when copy is the disabled copy of live's name and place.
static int SameEntry(const AutostartItem *live, const AutostartItem *copy)
{
    if (live->kind != copy->kind || TextCompareNoCase(live->name, copy->name) != 0
        || TextCompareNoCase(live->scope, copy->scope) != 0)
        return 0;
    if (live->kind == Shortcut)
        return 1;
    char other[TEXT_FIELD_SIZE];
    return HiveOfItem(live) == HiveOfItem(copy) && SiblingLocation(copy->location, other)
           && TextCompareNoCase(other, live->location) == 0;
}

int32_t FoldCameBack(AutostartItem *records, int32_t count)
{
    int32_t kept = 0;
    for (int32_t i = 0; i < count; ++i) {
        AutostartItem *copy = &records[i];
        int folded = 0;
        // A file of the shared folder of disabled items may have been put
        // there by any user, and a hidden one hides: nothing this program
        // disabled, each stays a row of its own with what its notes say.
        if (Foldable(copy) && InDisabledPlace(copy) && !ItemPlacedByAnyUser(copy) && !copy->hidden) {
            for (int32_t j = 0; j < count && !folded; ++j) {
                AutostartItem *live = &records[j];
                if (j == i || !Foldable(live) || InDisabledPlace(live) || !SameEntry(live, copy))
                    continue;
                live->cameBack = 1;
                TextCopy(live->cameBackCommand, sizeof live->cameBackCommand, copy->command);
                live->offSince = live->approvalDisabled ? ApprovalOffSince(live) : 0;
                folded = 1;
            }
        }
        if (folded)
            continue;
        if (kept != i)
            records[kept] = *copy;
        ++kept;
    }
    // The block stays zero-filled past its records in use.
    if (kept < count)
        memset(&records[kept], 0, (size_t)(count - kept) * sizeof *records);
    return kept;
}

int CameBackCopy(const AutostartItem *item, AutostartItem *copy)
{
    *copy = *item;
    copy->cameBack = 0;
    copy->enabled = 0;
    copy->approvalDisabled = 0;
    copy->offSince = 0;
    TextCopy(copy->command, sizeof copy->command, item->cameBackCommand);
    copy->cameBackCommand[0] = '\0';
    if (item->kind == RegistryValue)
        return item->cameBack && SiblingLocation(item->location, copy->location);
    // The folder of disabled items of the scope (the last four places).
    int user = ScopeIsUser(item->scope);
    char folder[TEXT_FIELD_SIZE];
    return item->cameBack
           && ResolveLocationFolder(&AutostartLocations[LOCATION_COUNT - (user ? 2 : 1)], folder)
           && TextFormat(copy->location, sizeof copy->location, "%s\\%s", folder, item->name);
}
