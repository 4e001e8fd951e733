// catalogue.h - the autostart catalogue: the record of one entry, the fixed
// table of the 24 places that hold entries, and the scan that rebuilds the
// in-memory catalogue from storage.
//
// An entry is disabled not by a flag but by where it is stored: disabled
// values live in the sibling key whose name ends in "-" ("Run-"), disabled
// shortcuts in "DisabledCUStartItems" / "DisabledAUStartItems" under the
// user's or the shared Documents folder. The scan reads all 24 places in
// table order; the store operations (store.h) move entries between them.
#pragma once

#include "platform.h"
#include "text.h"

#include <stdint.h>

// ---- the record ----------------------------------------------------------

enum ItemKind { RegistryValue = 0, Shortcut = 1 };

#define SCOPE_SIZE 5
#define SCOPE_USER "USR"
#define SCOPE_ALL "ALL"

// One autostart entry. Every text field holds at most 259 characters and a
// terminator; longer text is cut, never written past the field.
struct AutostartItem {
    int32_t kind;                           // ItemKind
    char name[TEXT_FIELD_SIZE];             // value name, or .lnk file name
    char scope[SCOPE_SIZE];                 // "USR" or "ALL"
    char command[TEXT_FIELD_SIZE];          // value data as text; shortcut: target + arguments
    char location[TEXT_FIELD_SIZE];         // key path as opened ("-" when disabled), or .lnk path
    char target[TEXT_FIELD_SIZE];           // the program, environment-expanded (short form for links)
    char parameters[TEXT_FIELD_SIZE];       // the rest of the command
    char targetFolder[TEXT_FIELD_SIZE];     // target cut at its last backslash
    char description[TEXT_FIELD_SIZE];      // FileDescription of the target, or "n/a"
    char company[TEXT_FIELD_SIZE];          // CompanyName of the target, or "n/a"
    int32_t enabled;                        // 1 in an enabled place, 0 in a disabled place
};

// The records of the last scan. items holds capacity + 1 zero-filled records
// of which the first count are in use; record i is row i of the item list.
// Every scan replaces the block, so indexes and pointers do not survive it.
struct CatalogueData {
    AutostartItem *items;
    int32_t count;
    int32_t capacity;
};

extern CatalogueData ItemCatalogue;

// Record index of the catalogue, or null when index is not in use.
AutostartItem *CatalogueItem(int32_t index);

// Window that owns any user interface of shortcut resolution (the main
// window once it exists; null until then).
extern void *CatalogueOwnerWindow;

// Scope "USR", compared without regard to case, means the current user;
// anything else means all users.
int ScopeIsUser(const char *scope);
PlatHive HiveOfScope(const char *scope);

// ---- the places ----------------------------------------------------------

enum LocationRowKind { LocationRegistryKey = 0, LocationFolder = 1 };

struct AutostartLocation {
    int32_t kind;                 // LocationRowKind
    const char *scope;            // "USR" or "ALL"
    int32_t enabled;              // enabled value given to items found here
    const char *keyPath;          // registry rows: the Run-family key (without "-")
    int csidl;                    // folder rows: the shell folder
    const char *disabledFolder;   // folder rows of disabled items: the subfolder name
};

#define LOCATION_COUNT 24
#define RUN_KEY_COUNT 5
#define CURRENT_VERSION_KEY "Software\\Microsoft\\Windows\\CurrentVersion"
#define RUN_KEY CURRENT_VERSION_KEY "\\Run"
#define DISABLED_USER_FOLDER "DisabledCUStartItems"
#define DISABLED_ALL_FOLDER "DisabledAUStartItems"

extern const AutostartLocation AutostartLocations[LOCATION_COUNT];

// The five Run-family key names, in scan order.
extern const char *const RunKeyNames[RUN_KEY_COUNT];

// Resolves the folder of a folder row into path (TEXT_FIELD_SIZE), asking
// the shell to create a missing shell folder; for a folder of disabled items
// the Documents folder and then the subfolder are created (failures, such
// as a folder that exists, ignored). Zero when the folder cannot be had.
int ResolveLocationFolder(const AutostartLocation *row, char *path);

// ---- the scan ------------------------------------------------------------

// Frees the previous catalogue, counts, allocates and loads.
void ScanCatalogue(void);

// Entries in all 24 places; creates missing folders as a side effect.
int32_t CountItems(void);

// Loads the entries of one place into records from *runningCount on, while
// *runningCount is below limit. place: key path (without "-") for a registry
// row, folder path for a folder row.
void LoadLocation(AutostartItem *records, int32_t *runningCount, int32_t limit,
                  const char *scope, const char *place, int32_t enabled, int32_t rowKind);

// Splits a registry item's command into target and parameters.
void ParseCommand(AutostartItem *item);

// Target, comment and arguments of a shortcut (each TEXT_FIELD_SIZE);
// returns the COM status, negative on failure, with all three emptied first.
int32_t ResolveShortcut(void *owner, const char *linkPath, char *target, char *comment,
                        char *arguments);

enum VersionString { VersionFileDescription = 0, VersionCompanyName = 1 };

// Writes the FileDescription or CompanyName of path's version resource, or
// "n/a", into field. When the resource exists but cannot be read, the
// system's error is shown and field is left as it was.
void ReadVersionString(const char *path, char *field, int which);

// targetFolder := target cut at its last backslash; whole without one.
void TargetFolderOf(const char *target, char *targetFolder);
