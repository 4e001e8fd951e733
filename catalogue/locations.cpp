// locations.cpp - the fixed table of the places that hold autostart
// entries, the scope rule, and the resolution of the folder rows.
#include "catalogue.h"

#include <string.h>

const char *const RunKeyNames[RUN_KEY_COUNT] = {
    "Run", "RunServices", "RunServicesOnce", "RunOnce", "RunOnceEx"};

#define REGISTRY_ROW(scope, enabled, key, view) \
    {LocationRegistryKey, scope, enabled, CURRENT_VERSION_KEY "\\" key, 0, 0, view}
#define REGISTRY_ROWS(key)                          \
    REGISTRY_ROW(SCOPE_USER, 1, key, ViewNative),   \
    REGISTRY_ROW(SCOPE_USER, 0, key, ViewNative),   \
    REGISTRY_ROW(SCOPE_ALL, 1, key, ViewNative),    \
    REGISTRY_ROW(SCOPE_ALL, 0, key, ViewNative),    \
    REGISTRY_ROW(SCOPE_ALL, 1, key, View32),        \
    REGISTRY_ROW(SCOPE_ALL, 0, key, View32)

#define POLICY_ROW(scope, enabled) \
    {LocationRegistryKey, scope, enabled, POLICY_RUN_KEY, 0, 0, ViewNative}

// Scan order: each Run-family key for the user and its "-" key, then the
// machine's native view of both, then right after them the machine's 32-bit
// view (WOW6432Node) of both; then the policy Run key of the user and of
// the machine (one key for both views), each with its "-" key; then the two
// Startup folders and the two folders of disabled items. The 32-bit rows are
// skipped on a system with one view.
const AutostartLocation AutostartLocations[LOCATION_COUNT] = {
    REGISTRY_ROWS("Run"),
    REGISTRY_ROWS("RunServices"),
    REGISTRY_ROWS("RunServicesOnce"),
    REGISTRY_ROWS("RunOnce"),
    REGISTRY_ROWS(RUN_ONCE_EX),
    POLICY_ROW(SCOPE_USER, 1),
    POLICY_ROW(SCOPE_USER, 0),
    POLICY_ROW(SCOPE_ALL, 1),
    POLICY_ROW(SCOPE_ALL, 0),
    {LocationFolder, SCOPE_USER, 1, 0, PLAT_CSIDL_STARTUP, 0, ViewNative},
    {LocationFolder, SCOPE_ALL, 1, 0, PLAT_CSIDL_COMMON_STARTUP, 0, ViewNative},
    {LocationFolder, SCOPE_USER, 0, 0, PLAT_CSIDL_PERSONAL, DISABLED_USER_FOLDER, ViewNative},
    {LocationFolder, SCOPE_ALL, 0, 0, PLAT_CSIDL_COMMON_DOCUMENTS, DISABLED_ALL_FOLDER,
     ViewNative},
};

int RowHasSections(const AutostartLocation *row)
{
    const char *end = row->keyPath ? strrchr(row->keyPath, '\\') : NULL;
    return end && strcmp(end + 1, RUN_ONCE_EX) == 0;
}

// Where the Run-family key's name ends in a registry location: before the
// section of a RunOnceEx entry or the component of Active Setup, else at the end.
static size_t FamilyKeyEnd(const char *location)
{
    static const char *const sectioned[2] = {"\\" RUN_ONCE_EX, "\\Installed Components"};
    for (const char *key : sectioned) {
        const char *ex = strstr(location, key);
        if (!ex)
            continue;
        const char *after = ex + strlen(key);
        if (*after == '-')
            ++after;
        if (*after == '\\')
            return (size_t)(after - location);
    }
    return strlen(location);
}

int LocationDisabled(const char *location)
{
    size_t end = FamilyKeyEnd(location);
    return end > 0 && location[end - 1] == '-';
}

int LocationIsSection(const char *location)
{
    return FamilyKeyEnd(location) < strlen(location);
}

int SiblingLocation(const char *location, char *other)
{
    size_t end = FamilyKeyEnd(location);
    if (end == 0)
        return 0;
    if (location[end - 1] == '-')
        return TextFormat(other, TEXT_FIELD_SIZE, "%.*s%s", (int)(end - 1), location,
                          location + end);
    return TextFormat(other, TEXT_FIELD_SIZE, "%.*s-%s", (int)end, location, location + end);
}

int ScopeIsUser(const char *scope)
{
    return TextCompareNoCase(scope, SCOPE_USER) == 0;
}

PlatHive HiveOfScope(const char *scope)
{
    return ScopeIsUser(scope) ? PLAT_HKCU : PLAT_HKLM;
}

int ResolveLocationFolder(const AutostartLocation *row, char *path)
{
    if (!PlatShellFolder(row->csidl, path))
        return 0;
    if (!row->disabledFolder)
        return 1;
    // A Documents path too long for the subfolder's name leaves no usable
    // folder: better none than a cut path that names some other folder.
    if (!TextAppend(path, TEXT_FIELD_SIZE, "\\")
        || !TextAppend(path, TEXT_FIELD_SIZE, row->disabledFolder)) {
        path[0] = '\0';
        return 0;
    }
    return 1;
}

// Documents and the folder of disabled items are the user's to redirect:
// made only where held (held_places.cpp).
int MakeDisabledFolder(int user, char *folder)
{
    const AutostartLocation *row = &AutostartLocations[LOCATION_COUNT - (user ? 2 : 1)];
    char documents[TEXT_FIELD_SIZE];
    if (!PlatShellFolder(row->csidl, documents) || !ResolveLocationFolder(row, folder))
        return 0;
    MakeFolderHeld(documents, user);
    MakeFolderHeld(folder, user);
    return 1;
}

// The parts below a family key a place may have: "\section" and
// "\section\Depend" of RunOnceEx, "\component" of Active Setup.
static int PartsBelow(const char *rest, int most)
{
    int parts = 0;
    for (const char *p = rest; *p; ++p) {
        if (*p != '\\')
            continue;
        if (p[1] == '\0' || p[1] == '\\')
            return -1; // an empty component names no key
        ++parts;
    }
    return parts <= most ? parts : -1;
}

int KeyIsListedPlace(PlatHive hive, const char *path)
{
    char family[KEY_PATH_SIZE];
    size_t end = FamilyKeyEnd(path);
    if (end == 0 || end >= sizeof family)
        return 0;
    memcpy(family, path, end);
    family[end] = '\0';
    if (family[end - 1] == '-')
        family[end - 1] = '\0';
    const char *rest = path + end;
    for (const AutostartLocation &row : AutostartLocations) {
        if (row.kind != LocationRegistryKey || HiveOfRow(&row) != hive
            || TextCompareNoCase(row.keyPath, family) != 0)
            continue;
        // The key itself, a section of it, or a section's Depend key.
        int parts = PartsBelow(rest, RowHasSections(&row) ? 2 : 0);
        if (parts == 0 || parts == 1
            || (parts == 2 && TextCompareNoCase(strrchr(rest, '\\') + 1, RUN_ONCE_EX_DEPEND) == 0))
            return 1;
    }
    static const char *const switches[] = {APPROVED_KEY "\\Run", APPROVED_KEY "\\Run32",
                                           APPROVED_KEY "\\StartupFolder"};
    for (const char *key : switches)
        if (hive != PLAT_HKLM32 && TextCompareNoCase(path, key) == 0)
            return 1;
    // A packaged app's task: SystemAppData\<family>\<task id>.
    size_t apps = strlen(APP_STATE_KEY);
    if (hive == PLAT_HKCU && strlen(path) > apps + 1 && path[apps] == '\\') {
        char head[sizeof APP_STATE_KEY];
        memcpy(head, path, apps);
        head[apps] = '\0';
        if (TextCompareNoCase(head, APP_STATE_KEY) == 0 && PartsBelow(path + apps, 2) == 2)
            return 1;
    }
    return LogonPlaceKeyListed(hive, family, rest);
}
