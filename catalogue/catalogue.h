// catalogue.h - the autostart catalogue: the record of one entry, the fixed
// table of the places that hold entries, and the scan that rebuilds the
// in-memory catalogue from storage.
//
// An entry is disabled not by a flag but by where it is stored: disabled
// values live in the sibling key whose name ends in "-" ("Run-"), disabled
// shortcuts in "DisabledCUStartItems" / "DisabledAUStartItems" under the
// user's or the shared Documents folder. Windows' own startup settings can
// also switch an entry off in place (approval.cpp). The scan reads all
// places in table order; the store operations (store.h) move entries
// between them.
//
// May include platform/ and storage/ only.
#pragma once

#include "../storage/storage.h"

#include <stdint.h>

// ---- the record ----------------------------------------------------------

// A registry value, a file of a Startup folder (a shortcut or any other
// file: Explorer starts every file there), or a scheduled task that starts
// at logon or boot (switched in place, never moved).
// A packaged app's startup task (packaged_apps.cpp) is switched in place
// too, by the State value Windows keeps for it. A service the SCM starts
// by itself (services.cpp) is switched between automatic and Manual.
enum ItemKind { RegistryValue = 0, Shortcut = 1, ScheduledTask = 2, PackagedApp = 3, Service = 4 };

// Which view of HKLM\Software a machine entry was found in.
enum RegistryView { ViewNative = 0, View32 = 1 };

#define SCOPE_SIZE 5
#define SCOPE_USER "USR"
#define SCOPE_ALL "ALL"

// The command and its parameters hold what a registry string of a real
// entry holds (a 383-character command is no rarity); storage that is longer
// still is cut here, marked by commandCut, and only ever moved as stored.
#define COMMAND_FIELD_SIZE 2048

// One autostart entry. Every other text field holds at most 259 characters
// and a terminator; longer text is cut, never written past the field.
struct AutostartItem {
    int32_t kind;                           // ItemKind
    char name[TEXT_FIELD_SIZE];             // value name, or .lnk file name
    char scope[SCOPE_SIZE];                 // "USR" or "ALL"
    char command[COMMAND_FIELD_SIZE];       // value data as text; shortcut: target + arguments
    char location[TEXT_FIELD_SIZE];         // key path as opened ("-" when disabled), or .lnk path
    char target[TEXT_FIELD_SIZE];           // the program, environment-expanded (short form for links)
    char parameters[COMMAND_FIELD_SIZE];    // the rest of the command
    char targetFolder[TEXT_FIELD_SIZE];     // target cut at its last backslash
    char description[TEXT_FIELD_SIZE];      // FileDescription of the target, or "n/a"
    char company[TEXT_FIELD_SIZE];          // CompanyName of the target, or "n/a"
    int32_t enabled;                        // 1 when Windows starts it, 0 when it does not
    int32_t view;                           // RegistryView of a machine value, else ViewNative
    int32_t approvalDisabled;               // 1 when switched off in Windows' startup settings
    int32_t cut;                            // 1 when the name or .lnk path did not fit: listed,
                                            // never acted on (a cut name is another entry's)
    int32_t locationCut;                    // 1 when a key's path did not fit location (cut
                                            // is set too): the name is whole, the place not
    int32_t inexact;                        // 1 when the code page changed the name ('?', a
                                            // look-alike): listed as read, never acted on
    int32_t targetMissing;                  // 1 when the program file it names does not exist
    int32_t hidden;                         // 1 for a hidden file of a Startup folder
    int32_t policyOff;                      // 1 when a policy stops Windows starting its key
    int32_t logonPlace;                     // LogonPlaceKind of the rest of the logon, else 0
    int32_t windowsOwn;                     // 1 for Windows' own program of a list: never changed
    char valueName[TEXT_FIELD_SIZE];        // logon places: the value the row comes from
    char listItem[TEXT_FIELD_SIZE];         // one program of a list value, as written there
    char placeNote[TEXT_FIELD_SIZE];        // logon places: what Windows does with this row
    int32_t readOnly;                       // 1 for a task read from the task files (or hidden
                                            // from the scheduler's listing): never changed
    int32_t schedulerHidden;                // 1 for a task the scheduler leaves out of its own
                                            // listing (hidden_tasks.cpp); readOnly too
    int32_t moreActions;                    // 1 for a task that runs more than its command
    int32_t runsAsWindows;                  // 1 for a task run as a service account or a
                                            // group: registered with an administrator's rights
    char taskNotes[TEXT_FIELD_SIZE];        // a task's triggers, author, rights, further actions
    // Who signed the target, as Windows verified it (signature.cpp).
    char publisher[TEXT_FIELD_SIZE];        // "Contoso Ltd (verified)", "not signed", ...
    int32_t signedByWindows;                // 1 when verified as Windows' own (SignatureIsWindows)
    int32_t detailsPending;                 // 1 until ReadItemDetails has read the target's
                                            // files: description, company, publisher, missing
    int32_t commandCut;                     // 1 when the stored command did not fit: shown
                                            // with "...", never written back from the record
    int32_t appState;                       // a packaged app's State (0-4), or APP_STATE_NONE,
                                            // APP_STATE_UNREAD
    // A program that wrote its Run value (or its Startup file) back after it
    // was disabled here: one row, the live entry, its copy disabled here
    // folded in (FoldCameBack).
    int32_t cameBack;                       // 1 when a copy waits in the disabled place
    char cameBackCommand[COMMAND_FIELD_SIZE]; // that copy's command, as listed
    uint64_t offSince;                      // its switch's time of switching off (FILETIME),
                                            // 0 when the switch is not off or holds none
    char serviceHost[TEXT_FIELD_SIZE];      // a service svchost.exe runs: that program (the
                                            // target is its service DLL); else empty
    int32_t serviceRunning;                 // a service that ran when listed
    // A Run value or Startup file disabled here that a logon task of ours
    // starts later (start_later.cpp): one row, on, the task folded in.
    int32_t startLater;                     // its delay in seconds, 0 when none
    char laterTask[TEXT_FIELD_SIZE];        // that task's path in the scheduler
    uint32_t serviceProcess;                // a running service's process id (0: none given)
    // What its program cost at the user's last logon, and whether it runs
    // now (cost_now.cpp), read once per scan.
    int32_t costState;                      // LogonCostState (logon_cost.h)
    int64_t costCpu;                        // microseconds over all cores, when measured
    int64_t costDisk;                       // bytes read and written, when measured
    char costText[TEXT_FIELD_SIZE];         // "At the logon of ...", or "Not measured: " and why
    char runningText[TEXT_FIELD_SIZE];      // "Running now: process 1234, since 08:12", ...
};

// Nonzero when the item's name reaches that entry and no other: neither cut
// nor changed by the code page, nor the name of a logon place's row (whose
// value is valueName). Every operation on an entry asks this first.
int ItemActionable(const AutostartItem *item);

// Nonzero when the record's name lost its end: a value's, a list program's
// or a task's name longer than the field (a file's is whole; its cut path
// is the location's).
int ItemNameCut(const AutostartItem *item);

// Nonzero when the record's location lost its end: a file's or a task's
// path, or a key's path longer than the field.
int ItemLocationCut(const AutostartItem *item);

// What of the tasks a scan could not read or list, its words joined by
// "; " (TASKS_NOT_LISTED and the others below); empty when nothing.
#define TASKS_UNREAD_SIZE (2 * TEXT_FIELD_SIZE)

// The records of the last scan. items holds capacity + 1 zero-filled records
// of which the first count are in use; record i is row i of the item list.
// Every scan replaces the block, so indexes and pointers do not survive it.
struct CatalogueData {
    AutostartItem *items;
    int32_t count;
    int32_t capacity;
    int32_t changed; // storage kept growing while it was read: rows may be missing
    char tasksUnread[TASKS_UNREAD_SIZE]; // tasks may be missing: said until the next scan
    int32_t otherPlaces; // the other places were read (ListOtherPlaces was on)
};

extern CatalogueData ItemCatalogue;

// Record index of the catalogue, or null when index is not in use.
AutostartItem *CatalogueItem(int32_t index);

// Where the scan's failures go (subject: the file concerned; text: the
// system's words): the window shows a box it owns, the console program a
// line on standard error. Nothing is shown while it is null.
typedef void (*CatalogueErrorSink)(void *context, const char *subject, const char *text);
extern CatalogueErrorSink CatalogueErrors;
extern void *CatalogueErrorContext;

// Scope "USR", compared without regard to case, means the current user;
// anything else means all users.
int ScopeIsUser(const char *scope);
PlatHive HiveOfScope(const char *scope);

// ---- registry views (registry_views.cpp) ---------------------------------

// The hive and view an item's value lives in: HKCU for "USR", else the
// machine's view the item was found in.
PlatHive HiveOfItem(const AutostartItem *item);

// The item's place as the registry editor shows it (with WOW6432Node after
// "Software" for the 32-bit view), or the .lnk path; the hive's name (short "HKLM" or long "HKEY_LOCAL_MACHINE") is put first for
// a value. Cut to size, always terminated.
void ItemPlaceText(const AutostartItem *item, int longHiveName, char *text, size_t size);

// hive\path as the registry editor names it (see ItemPlaceText).
void RegistryKeyText(PlatHive hive, const char *path, int longHiveName, char *text, size_t size);

// The Type column's text: the scope, "ALL32" for the 32-bit view, "TASK"
// (the state is the State column's).
const char *ItemTypeText(const AutostartItem *item);

// ---- stable ids (entry_id.cpp) ---------------------------------------------

#define ITEM_ID_SIZE (3 * TEXT_FIELD_SIZE + 64)

// The entry's stable id: for a value its key as the registry editor names
// it (HKCU\..., HKLM\Software\WOW6432Node\... for the 32-bit view), "\\"
// and the value name (no key path holds an empty component, so the first
// "\\" ends the key), for a row of a logon place "\\" and its value, then
// "\\" and the program of a list value; for a file its path. wholeName:
// the stored name when the record's is cut. Zero when it does not fit.
int ItemId(const AutostartItem *item, const char *wholeName, char *id, size_t size);

// The stored name of catalogue record index when the record's is cut
// (PlatFree it); null when it is not cut or no longer there.
char *ItemWholeName(int32_t index);

// The id of a record by its stored name read whole (PlatFree it); null on
// failure.
char *ItemWholeId(const AutostartItem *item, const char *wholeName);

// The id the entry has after an enable or disable moves it (the other
// place's); zero when there is none.
int ItemSiblingId(const AutostartItem *item, char *id, size_t size);

// The id of the place the entry starts from: an entry moved aside here
// keeps it while disabled, so that a switch is no new entry. Zero when it
// does not fit.
int ItemHomeId(const AutostartItem *item, char *id, size_t size);

// The catalogue index the id names, comparing as the registry does (by
// character, without regard to case); -1 when none. Ids of an entry's other
// place reach it too, unless an entry is listed there itself.
int32_t FindItemById(const char *id);

// ---- whether Windows starts it (item_state.cpp) -------------------------

#define DEFAULT_VALUE_NAME "(Default)"
#define NOTE_DEFAULT_VALUE "the key's default value (its name is empty)"
// The name the user sees: DEFAULT_VALUE_NAME for a key's default value.
const char *ItemShownName(const AutostartItem *item);
#define STATE_ON "on"
#define STATE_OFF_HERE "off here"
#define STATE_OFF_IN_SETTINGS "off in Windows' settings"
#define STATE_OFF_BY_POLICY "off by policy"
#define STATE_READ_ONLY "read-only"
#define STATE_READ_ONLY_OFF "read-only, off"
#define STATE_OFF_IN_SCHEDULER "off in Task Scheduler"

// The entry's state in the words of the State column: on, off here (moved
// aside by this program), off in Windows' settings (its startup settings,
// or a task switched off in the Task Scheduler), off by policy, read-only.
const char *ItemStateText(const AutostartItem *item);

// ---- files as the 64-bit system sees them (redirection.cpp) --------------

// path with the system folder named as the 64-bit system sees it: in a
// redirected process a path under %windir%\System32 goes to the same place
// under %windir%\Sysnative; every other path is copied (out: TEXT_FIELD_SIZE).
void NativeFilePath(const char *path, char *out);

// ---- the logon's environment (logon_environment.cpp) --------------------

// Expands a command's environment references as the next logon does: the
// user's variables (HKCU\Environment) over the system's (Session Manager),
// over this process's, with the 64-bit logon's %ProgramFiles% and
// %CommonProgramFiles%. dest: TEXT_FIELD_SIZE.
void ExpandAsLogon(const char *source, char *dest);
// The same as the SCM expands a service's command and svchost its service
// DLL: the system's variables over this process's, never a user's.
void ExpandAsSystem(const char *source, char *dest);
// Nonzero when HKCU\Environment defines the variable (value: as stored).
int UserSetsVariable(const char *name, char *value);
// "%windir% is set by this user to C:\Users\me\w" for each variable of
// the command the user sets for themselves; empty when none.
void LogonOverrideNote(const char *command, char *note, size_t size);
// Nonzero when every %NAME% of the command is a folder Windows sets for
// every user alike (SystemRoot, windir, ProgramFiles, ...) that this user
// does not set for themselves: only then does the logon expand it as here.
int ReferencesOnlySystemFolders(const char *command);

// ---- Windows' startup settings (approval.cpp) -----------------------------

#define APPROVED_KEY CURRENT_VERSION_KEY "\\Explorer\\StartupApproved"
// What the details pane and the report say of such an entry.
#define APPROVAL_OFF_TEXT "(in Windows' startup settings)"

// An approval value is a REG_BINARY of at least this many bytes.
#define APPROVAL_SIZE 12

// Nonzero when a well-formed approval value switches the item off (never
// for a name that is not actionable: it would read another entry's).
int ApprovalSaysDisabled(const AutostartItem *item);

// What the item's approval value says: no list or no value is on; a list
// or value that is there but cannot be read says nothing either way.
enum ApprovalState { ApprovalOn = 0, ApprovalOff = 1, ApprovalUnreadable = 2 };
int ReadApprovalState(const AutostartItem *item);

// The approval list that governs the item, with its hive; zero when none.
int ApprovalList(const AutostartItem *item, PlatHive *hive, char *path);

// The item's approval value, read whole (PlatFree it), with its list; zero
// when there is none or it cannot be read.
int ReadApprovalValue(const AutostartItem *item, PlatHive *hive, char *path, uint32_t *type,
                      void **data, uint32_t *size);

// The time an approval value says its entry was switched off (FILETIME), 0
// when it does not say the entry is off or holds no time.
uint64_t ApprovalOffSince(const AutostartItem *item);

// ---- came back (came_back.cpp) ---------------------------------------------

// Folds each entry disabled here whose program wrote it back into its live
// place (the same name in Run and "Run-" of one hive and view, or in the
// Startup folder and the folder of disabled items of one scope) into the
// live entry's record (cameBack, cameBackCommand, offSince); the disabled
// copy's record leaves the block. The new count.
int32_t FoldCameBack(AutostartItem *records, int32_t count);

// The record of a came-back row's disabled copy, made from its live record
// (the other place, the copy's command); zero when it cannot be named.
int CameBackCopy(const AutostartItem *item, AutostartItem *copy);

// What the details say of a came-back row (its date as "8 Dec 14:02").
#define NOTE_CAME_BACK_OFF \
    "came back after it was disabled here on %s; Windows' switch keeps it off; the copy " \
    "disabled here: %s"
#define NOTE_CAME_BACK_OFF_UNDATED \
    "came back after it was disabled here; Windows' switch keeps it off; the copy disabled " \
    "here: %s"
#define NOTE_CAME_BACK_ON \
    "came back after it was disabled here; Windows starts it again; the copy disabled here: %s"

// ---- the places ----------------------------------------------------------

enum LocationRowKind { LocationRegistryKey = 0, LocationFolder = 1 };

struct AutostartLocation {
    int32_t kind;                 // LocationRowKind
    const char *scope;            // "USR" or "ALL"
    int32_t enabled;              // enabled value given to items found here
    const char *keyPath;          // registry rows: the Run-family key (without "-")
    int csidl;                    // folder rows: the shell folder
    const char *disabledFolder;   // folder rows of disabled items: the subfolder name
    int32_t view;                 // registry rows of the machine: RegistryView
};

// Six registry rows for each of the five keys, four rows of the policy Run
// key (HKCU and HKLM, which both views share), then four folder rows.
#define LOCATION_COUNT 38
#define RUN_KEY_COUNT 5
#define CURRENT_VERSION_KEY "Software\\Microsoft\\Windows\\CurrentVersion"
#define RUN_KEY CURRENT_VERSION_KEY "\\Run"
#define POLICY_EXPLORER_KEY CURRENT_VERSION_KEY "\\Policies\\Explorer"
#define POLICY_RUN_KEY POLICY_EXPLORER_KEY "\\Run"
// RunOnceEx holds its entries in section subkeys ("0001"); "Depend" is none.
#define RUN_ONCE_EX "RunOnceEx"
#define RUN_ONCE_EX_DEPEND "Depend"
// A key path the scan opens: a place's own root and up to two key names
// (an Active Setup component; a RunOnceEx section and its Depend key).
#define KEY_PATH_SIZE (TEXT_FIELD_SIZE + 2 * PLAT_KEY_NAME_SIZE)
#define DISABLED_USER_FOLDER "DisabledCUStartItems"
#define DISABLED_ALL_FOLDER "DisabledAUStartItems"

extern const AutostartLocation AutostartLocations[LOCATION_COUNT];

// Nonzero when the key of hive (as the program opens it: the 32-bit view
// as PLAT_HKLM32 with its path below Software) is one of the places this
// program lists: a Run-family key or its "-" key with a RunOnceEx section
// (and its Depend key), a logon place's key or its "-" key with an Active
// Setup component, Windows' startup switches, a packaged app's task state.
int KeyIsListedPlace(PlatHive hive, const char *path);
// The same for the logon places (logon_places.cpp): family is the key
// without its "-", rest what follows it ("\component" or "").
int LogonPlaceKeyListed(PlatHive hive, const char *family, const char *rest);

PlatHive HiveOfRow(const AutostartLocation *row);

// Nonzero when a registry location is a disabled place: its Run-family key
// (or the policy Run key) ends in "-", also above a RunOnceEx section
// ("...\\RunOnceEx-\\0001").
int LocationDisabled(const char *location);

// Nonzero when a registry location is a section of RunOnceEx (or of
// "RunOnceEx-"), whose values are "||command" or "dll|function|args".
int LocationIsSection(const char *location);

// The location's other place: its Run-family key with "-" added or taken
// away, a RunOnceEx section kept below it (other: TEXT_FIELD_SIZE). Zero
// when it does not fit.
int SiblingLocation(const char *location, char *other);

// Nonzero for the row of a RunOnceEx key, whose entries are in sections.
int RowHasSections(const AutostartLocation *row);

// Zero for a row of the 32-bit view on a system that has one view only, so
// that nothing is listed twice.
int LocationRowPresent(const AutostartLocation *row);

// The five Run-family key names, in scan order.
extern const char *const RunKeyNames[RUN_KEY_COUNT];

// Resolves the folder of a folder row into path (TEXT_FIELD_SIZE), asking
// the shell to create a missing shell folder; a folder of disabled items is
// not created here (MakeDisabledFolder does, held). Zero when the folder
// cannot be had.
int ResolveLocationFolder(const AutostartLocation *row, char *path);

// The scope's folder of disabled items into folder (TEXT_FIELD_SIZE), made
// with Documents when missing; elevated, each only while the folder it goes
// in is held (the user's with the user's rights). Zero when the path cannot
// be had; a folder that could not be made is not an error here.
int MakeDisabledFolder(int user, char *folder);

// ---- the scan ------------------------------------------------------------

// Frees the previous catalogue, counts, allocates and loads, details and all.
void ScanCatalogue(void);

// ---- at the last logon, and now (cost_now.cpp) ---------------------------

// Reads the user's newest record of the last logon and the list of the
// running processes, once each, and fills every record's cost and running
// text from them: nothing is started or stopped. A record that cannot be
// had (unelevated, none, refused) makes every cost "Not measured: " and why.
void ReadCostAndRunning(CatalogueData *data);

#define LOGON_RECORD_FOLDER "System32\\wdi\\LogFiles\\StartupInfo"
// The most process ids a running text names; the rest are counted.
#define RUNNING_IDS_MOST 4
#define RUNNING_NOT "Not running now"
#define RUNNING_HOST "Whether it runs now is not known: its program is one Windows and other programs start too"
// Nonzero for Windows' programs that run what they are given (cmd.exe,
// rundll32.exe, ...): a process of one is nobody's in particular.
int RunsWhatItIsGiven(const char *target);
#define RUNNING_UNKNOWN "Whether it runs now is not known: the processes could not be listed (%s)"
// What the figures cover, said beside them in the report and the help.
#define COST_COVERS \
    "Windows measures each program started in the minutes after logon: its CPU time summed " \
    "over all cores and the bytes it read from and wrote to disk. Task Manager's bands: high " \
    "above 1 s of CPU or 3 MB of disk, low below 300 ms and 300 KB, medium between. " \
    "Windows lets only administrators read the record: unelevated, nothing is measured."

// The Cost column's short text: "1.2 s, 14.3 MB", empty when not measured.
void CostShortText(const AutostartItem *item, char *text, size_t size);

// Orders two records by cost: CPU, then disk, the higher first; the not
// measured after every measured one. Negative, zero or positive.
int CompareCost(const AutostartItem *a, const AutostartItem *b);

// The storage part of a scan into a new block of out (never ItemCatalogue):
// names, commands, places and states, each record's file details left
// pending. Touches no window: shortcuts are resolved without one.
void ScanStorage(CatalogueData *out);

// ScanStorage, given up between two places or two files of a folder once
// stopped(context) says so: then out is left empty and the result is 0.
int ScanStorageUntil(CatalogueData *out, int (*stopped)(void *context), void *context);

// ScanStorage of only what these ids (FindItemById's) may name, when each
// names a value of a Run-family key other than RunOnceEx: that key's rows,
// live and "-" alike, so an id finds the record and its namesakes exactly
// as in a whole scan. Any other id, or none, reads every place.
void ScanStorageForIds(CatalogueData *out, const char *const *ids, int32_t count);

// Reads a pending record's file details (version strings, publisher, target
// found); nothing for a record already read.
void ReadItemDetails(AutostartItem *item);

// Replaces ItemCatalogue by scanned in one step; scanned is left empty.
void AdoptCatalogue(CatalogueData *scanned);

// Frees a block from ScanStorage; data is left empty.
void FreeCatalogueData(CatalogueData *data);

// Entries in all places; creates missing folders as a side effect.
int32_t CountItems(void);

// Loads the entries of one row into records from *runningCount on, while
// *runningCount is below limit. folder: the resolved folder of a folder row.
// Nonzero when the row held an entry beyond limit (storage grew).
int LoadLocation(AutostartItem *records, int32_t *runningCount, int32_t limit,
                 const AutostartLocation *row, const char *folder);

// Told through CatalogueErrors (with an empty subject) when storage kept
// growing between the counting and the loading pass of every attempt: the
// rows that fitted are listed, the rest may be missing.
#define SCAN_STORAGE_CHANGED "storage changed while it was read: Refresh again"
#define SCAN_NO_MEMORY "not enough memory to hold the list: nothing is listed"

// The target's folder, then (unless ScanStorage defers them) its version
// strings and existence, never opening a file on the network.
void ReadTargetDetails(AutostartItem *item);

// ---- scheduled tasks (tasks.cpp) -------------------------------------------

// The task rows of one scan, read before the catalogue's block is sized.
struct TaskRows {
    AutostartItem *items;
    int32_t count;
    char unread[TASKS_UNREAD_SIZE]; // what could not be read (CatalogueData's tasksUnread)
};

// Every task with a logon or boot trigger, from the Task Scheduler, or from
// the task files where the scheduler has no listing (Wine's). Elevated, the
// tasks that the scheduler's registry cache or its task files hold and its
// listing leaves out are added (hidden_tasks.cpp). Whatever keeps tasks
// from the list is told through CatalogueErrors, every scan, and kept in
// rows->unread: a listing that failed or timed out (the task files are read
// instead), a task folder that could not be read (its path the subject),
// tasks past the most a list holds.
// under: only the tasks of that folder (its path's start, "\\...\\"), read
// by a scan narrowed to named values; null: every task.
void ReadTaskRows(TaskRows *rows, const char *under);
// Nonzero for a task of Windows' own folder (\Microsoft\Windows\), where
// no ordinary program of the user may register one.
int IsWindowsTask(const AutostartItem *item);

// Copies the rows after *runningCount while it is below limit: the user's
// own tasks first, then Windows' own (under \Microsoft\Windows\).
void AppendTaskRows(const TaskRows *rows, AutostartItem *records, int32_t *runningCount,
                    int32_t limit);
void FreeTaskRows(TaskRows *rows);

#define TASK_TYPE "TASK"

// ---- services (services.cpp) -------------------------------------------------

// Every Win32 service whose start type is automatic (delayed or not), read
// before the catalogue's block is sized, as the tasks are: a row each, its
// program the ImagePath as the SCM starts it (ParseServiceCommand), for a
// service of svchost.exe its ServiceDll. A listing that fails, and services
// whose configuration cannot be read, are told through CatalogueErrors and
// kept in rows->unread. Every row is readOnly.
void ReadServiceRows(TaskRows *rows);

#define SERVICE_TYPE "SVC"
#define SERVICES_KEY "System\\CurrentControlSet\\Services"
// What a console's --place that is this word selects: every service row.
#define SERVICES_PLACE "services"
#define SERVICE_HOST "svchost.exe"
// The services switched off here (set to Manual), each a DWORD value of
// its name holding the start type it had: a machine place only
// administrators write, as only they change a service. A Manual service
// found there is listed, off.
#define SERVICES_OFF_KEY "Software\\Orvane Tool\\Services"
// A value there (REG_BINARY): the old start type (4 bytes) and the SHA-256
// (hex) of the ImagePath the SCM gave when the service was switched off, so
// that another program's service, installed later under the same name, is
// never taken for the one switched off here.
#define SERVICE_OFF_SIZE (4 + 64)
void ServiceOffRecord(uint32_t start, const char *binaryPath, uint8_t *record);
// With *start: SERVICE_OFF_SAME when the service's value is there and was
// written for this ImagePath, SERVICE_OFF_OTHER when for another one (its
// maker's update, or another program's service of the name), else 0.
#define SERVICE_OFF_SAME 1
#define SERVICE_OFF_OTHER 2
int ReadServiceOff(const char *name, const char *binaryPath, uint32_t *start);
#define NOTE_SERVICE_OFF_OTHER_PATH "its program has changed since it was switched off here: switch it on in Services"
#define NOTE_SERVICE_OFF_HERE "switched off here: Manual (started only when a program asks); On gives back automatic"
#define NOTE_SERVICE_DISPLAY "display name \"%s\""
#define NOTE_SERVICE_DESCRIPTION "description \"%s\""
#define NOTE_SERVICE_ACCOUNT "runs as %s"
#define NOTE_SERVICE_RUNNING "runs now (process %u)"
#define NOTE_SERVICE_RUNNING_SHARED "runs now"
#define NOTE_SERVICE_STOPPED "not running now"
#define NOTE_SERVICE_AUTOMATIC "started by Windows at boot, before anyone logs on"
#define NOTE_SERVICE_DELAYED "started by Windows shortly after boot (automatic, delayed)"
#define NOTE_SERVICE_DELAY_UNKNOWN "started by Windows at boot or shortly after (whether delayed could not be read)"
#define NOTE_SERVICE_HOSTED "its DLL, loaded by %s"
#define NOTE_SERVICE_NO_DLL "svchost.exe runs it, but its ServiceDll could not be read: its program is not known"
#define NOTE_SERVICE_PATH_CUT "its ImagePath is too long to show whole"
#define NOTE_SERVICE_WINDOWS_OWN "(Windows' own): its program is signed by Windows and lies in the Windows folders"
#define SERVICES_NOT_LISTED "the Service Control Manager did not list its services (%s): services are missing"
#define SERVICES_UNREAD "%ld services' settings could not be read (%s): automatic ones among them are missing"
#define SERVICES_NO_MEMORY "%ld services were not read: not enough memory"

// ---- packaged apps (packaged_apps.cpp) -------------------------------------

// The startup tasks of the user's packaged apps, read before the catalogue's
// block is sized, as the tasks are: a row each (a package whose manifest
// cannot be read is a row that says so); what keeps apps from the list is
// told through CatalogueErrors and kept in rows->unread.
void ReadAppRows(TaskRows *rows);

#define APP_TYPE "APP"
#define APP_REPOSITORY_KEY \
    "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\Repository\\Packages"
#define APP_STATE_KEY \
    "Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\CurrentVersion\\AppModel\\SystemAppData"
#define APP_STATE_VALUE "State"
#define APPX_POLICY_KEY "Software\\Policies\\Microsoft\\Windows\\Appx"
#define APP_STATE_NONE (-1)
#define APP_STATE_UNREAD (-2)
#define NOTE_APP_PACKAGE "package %s %s, published by %s"
#define NOTE_APP_POLICY_OFF "a policy keeps packaged apps of its kind from starting at logon"
#define NOTE_APP_STATE_UNKNOWN "its state %u is none Windows writes: shown as read, not changed"
#define NOTE_APP_STATE_UNREAD "its state could not be read: shown as its manifest says, not changed"
#define NOTE_APP_MANIFEST_UNREAD "its manifest could not be read (%s): its startup tasks are not known"
#define NOTE_APP_NAME_UNKNOWN "its name is not a package's full name"
#define NOTE_APP_FOLDER_UNKNOWN "its folder could not be found"
#define NOTE_APP_PATH_TOO_LONG "its folder's path is too long"
#define NOTE_APP_LINK "its folder or manifest is a link"
#define NOTE_APP_ON_NETWORK "its folder is on the network, which is not read while the list is"
#define NOTE_APP_NO_TASK_ID "its manifest gives the task no usable id: Windows keeps no state for it here"
#define NOTE_APP_OUTSIDE "its program lies outside its package: not the package's, not changed here"
#define NOTE_APP_PROGRAM_CUT "its program's path is too long to show whole"
#define NOTE_APP_NO_PROGRAM "its manifest names no program for it"
#define NOTE_APP_STATE_POLICY "set by policy"
#define NOTE_APP_MANIFEST_TOO_LARGE "larger than 4 MB"
#define NOTE_APP_MANIFEST_MISSING "not there"
#define NOTE_APP_MANIFEST_BAD "not a whole manifest"
#define APPS_NOT_LISTED "the packaged apps could not be listed (%s): some may be missing"
#define APPS_TASKS_PAST_MOST "%ld startup tasks past the first %d were not read"
#define NOTE_TASK_FILES "read from the task files"
#define NOTE_TASK_HIDDEN "hidden from the Task Scheduler's own listing"
#define NOTE_TASK_CACHE_ONLY "only the scheduler's registry cache holds it: shown as it may start"
#define NOTE_TASK_FILE_ONLY "nor does its registry cache hold it: it may not run"

// What ReadTaskRows says when tasks may be missing (%s: the system's words).
#define TASKS_NOT_LISTED_LEAD "the Task Scheduler did not list its tasks"
#define TASKS_NOT_LISTED \
    TASKS_NOT_LISTED_LEAD " (%s): read from the task files, some may be missing"
#define TASK_FOLDER_UNREAD "task folder could not be read (%s): its tasks are not listed"
#define TASK_FOLDER_TOO_DEEP "more than 8 folders deep"
#define TASK_FOLDER_TOO_LONG "its path is too long"
#define TASK_FILE_TOO_LONG "task file not read: its path is too long"
#define TASKS_PAST_MOST "%ld tasks past the first %d were not read: the list holds no more"
#define TASKS_NO_MEMORY "%ld tasks were not read: not enough memory"
#define TASKS_COMPARED_IN_PART \
    "the Task Scheduler's registry cache and task files were compared with its listing only " \
    "in part (%s): tasks hidden from it may be missing"
#define NOTE_TASK_UNREADABLE "definition could not be read"
#define NOTE_TASK_STATE_UNKNOWN "its state could not be read either: shown as it may start"

// Splits a registry item's command into target and parameters.
void ParseCommand(AutostartItem *item);
// The same for a service's ImagePath, as the SCM starts it: expanded with
// the system's variables (ExpandAsSystem), a bare name found without App
// Paths, an unquoted path with blanks read as CreateProcess reads it.
void ParseServiceCommand(AutostartItem *item);

// Nonzero for a full path ("C:\x", "\\server\x", either slash): only such a
// path is ever given to a file call, never a name relative to this
// program's current folder.
int PathIsFull(const char *path);

// Target, comment and arguments of a shortcut (each TEXT_FIELD_SIZE),
// resolved without searching the disk, tracking or rewriting the link, and
// giving up after a second (a target on an unreachable share);
// returns the COM status, negative on failure, with all three emptied first.
int32_t ResolveShortcut(const char *linkPath, char *target, char *comment, char *arguments);

enum VersionString { VersionFileDescription = 0, VersionCompanyName = 1 };

// What description and company say of a target on the network.
#define NOT_READ_NETWORK "not read: network path"

// The FileDescription and CompanyName of path's version resource, or "n/a",
// from one read of the block. When the resource exists but cannot be read,
// the system's error goes to CatalogueErrors and both fields are left as
// they were.
void ReadVersionStrings(const char *path, char *description, char *company);


// What the details pane and the report say of the entry beyond its fields
// (why it is off, a missing target, a name that cannot be changed), joined
// by "; "; empty when there is nothing to say. Cut to size.
void ItemNotes(const AutostartItem *item, char *text, size_t size);

#define NOTE_TARGET_MISSING "target not found"
#define NOTE_NOT_STARTED_HERE \
    "not started by this Windows (these keys served Windows 95/98/Me)"
#define NOTE_RUN_ONCE_BEFORE "runs once at the next logon; Windows deletes it before it runs"
#define NOTE_RUN_ONCE_AFTER "runs once at the next logon; Windows deletes it after it has run"
#define NOTE_SAFE_MODE "also in safe mode"
#define NOTE_ADMINISTRATOR_LOGON "runs when an administrator logs on"
#define NOTE_RUN_ONCE_EX "runs once; `||` means a command line"
#define NOTE_POLICY_KEY "set by a policy: Group Policy may write it back"
#define NOTE_POLICY_OFF "not started: switched off by policy"
#define NOTE_HIDDEN "hidden file"
// DisabledAUStartItems is in Public Documents, which every user can write.
#define NOTE_ANY_USER "may have been placed by any user"
// Elevated, its folder or one above it is a junction or a symbolic link.
#define NOTE_FOLDER_IS_LINK "the folder is a link to another place"
// A RunOnceEx section's default value is its title, shown while it runs.
#define NOTE_SECTION_TITLE "section title: \"%s\""

// Nonzero for a file of DisabledAUStartItems: enabling it would start,
// for every user, a file any user could have put there.
int ItemPlacedByAnyUser(const AutostartItem *item);

// ---- the rest of the logon (logon_places.cpp) ------------------------------

// The places beyond the Run family that the logon starts programs from.
enum LogonPlaceKind {
    LogonNone = 0,
    LogonUserinit = 1,      // HKLM Winlogon Userinit, a comma list
    LogonShell = 2,         // HKLM Winlogon Shell, a comma list
    LogonUserShell = 3,     // HKCU Winlogon Shell: replaces HKLM's for this user
    LogonActiveSetup = 4,   // an Installed Components entry's StubPath
    LogonScript = 5,        // HKCU Environment UserInitMprLogonScript
    LogonDepend = 6,        // a value of a RunOnceEx Depend key
    LogonRemoteDesktop = 7, // rdpwd StartupPrograms, a comma list
    LogonLegacy = 8,        // HKCU ...\Windows NT\CurrentVersion\Windows Load and Run
    LogonPolicyShell = 9,   // Policies\System Shell (HKCU, HKLM): replaces Winlogon's Shell
    LogonWinlogonOther = 10, // HKLM Winlogon Taskman, AppSetup, VmApplet, comma lists
    LogonMachineScript = 11, // HKLM Environment UserInitMprLogonScript
    LogonSafeModeShell = 12, // SafeBoot AlternateShell: Safe Mode with Command Prompt
    LogonPolicyScript = 13,  // a logon or startup script of Group Policy: read-only
    // The other places (other_places.cpp): read-only, read only when asked.
    LogonImageDebugger = 14, // Image File Execution Options <exe> Debugger
    LogonSilentExit = 15,    // SilentProcessExit <exe> MonitorProcess (GlobalFlag 0x200)
    LogonAppInit = 16,       // Windows AppInit_DLLs, a list
    LogonAppCert = 17,       // Session Manager\AppCertDLLs, a value each
    LogonBootExecute = 18,   // Session Manager BootExecute, a multi-string
    LogonLsaPackage = 19     // Lsa Authentication, Security and Notification Packages
};

#define WINLOGON_KEY "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon"
#define LEGACY_WINDOWS_KEY "Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows"
#define ENVIRONMENT_KEY "Environment"
#define POLICY_SYSTEM_KEY CURRENT_VERSION_KEY "\\Policies\\System"
#define SAFE_BOOT_KEY "System\\CurrentControlSet\\Control\\SafeBoot"
#define LOGON_SCRIPT_VALUE "UserInitMprLogonScript"
#define RDPWD_KEY "System\\CurrentControlSet\\Control\\Terminal Server\\Wds\\rdpwd"
#define ACTIVE_SETUP_KEY "Software\\Microsoft\\Active Setup\\Installed Components"
#define ACTIVE_SETUP_USER_KEY_32 "Software\\Wow6432Node\\Microsoft\\Active Setup\\Installed Components"
#define STUB_PATH_VALUE "StubPath"
#define WINDOWS_OWN_MARK " (Windows' own)"
// A row marked as the place's own setting that the hide option still shows.
#define NOTE_OWN_SHOWN "shown with Windows' own entries hidden: its program is not verified as signed by Windows"

// Rows of every logon place, counted (records null) or loaded from
// *runningCount on while it is below limit; the number of rows seen.
int32_t VisitLogonPlaces(AutostartItem *records, int32_t *runningCount, int32_t limit);

// The value's text, however long, terminated (PlatFree it); null when absent.
char *ReadValueText(PlatHive hive, const char *path, const char *name);

// Nonzero when a list value of the place splits at blanks as well as commas.
int LogonListSplitsAtBlanks(const AutostartItem *item);

// Nonzero when the row's program is its list's Windows' own program (by its
// file name in the Windows folders, or anywhere when they cannot be known),
// whichever key the row is in.
int LogonItemIsWindowsOwn(const AutostartItem *item);

// What Windows does with a list value's own program and the places.
#define NOTE_USERINIT "started by Winlogon at every logon, before the desktop"
#define NOTE_SHELL "the desktop shell Winlogon starts at every logon, unless the user has a Shell of their own"
#define NOTE_SHELL_REPLACED "not started for this user: their own Shell takes precedence"
#define NOTE_USER_SHELL "this user's desktop shell: started at logon instead of the machine's Shell"
#define NOTE_ACTIVE_SETUP_RUN "runs once per user; for this user: already run"
#define NOTE_ACTIVE_SETUP_PENDING "runs once per user; for this user: will run at the next logon"
#define NOTE_ACTIVE_SETUP_NOT_INSTALLED "not run by Windows: its IsInstalled is 0"
#define NOTE_LOGON_SCRIPT "the logon runs this script for this user"
#define NOTE_DEPEND "loaded by the next RunOnceEx pass"
#define NOTE_REMOTE_DESKTOP "started at every remote-desktop logon"
// A program of a live list whose stored text is not exactly the row's.
#define NOTE_LIST_BLANKS "written with blanks around it in the list"
#define NOTE_LIST_EMPTY_ITEM "an empty item beside it in the list (a comma too many)"
#define NOTE_LIST_REPEATED "named more than once in the list: Windows starts it each time"
#define NOTE_LEGACY "read at logon for old programs (the Load and Run of Windows 3.1's win.ini)"
#define NOTE_SHELL_BY_POLICY "not started: the Shell a policy sets (Policies\\System) takes precedence"
#define NOTE_POLICY_SHELL "the desktop shell a policy sets: started at logon instead of Winlogon's Shell; Group Policy may write it back"
#define NOTE_TASKMAN "the task list program Windows starts in place of Task Manager; Windows sets none"
#define NOTE_APP_SETUP "started by Userinit at every logon; Windows sets none"
#define NOTE_VM_APPLET "started at logon when the paging file must be set up"
#define NOTE_MACHINE_SCRIPT "the logon runs this script for every user"
#define NOTE_SAFE_MODE_SHELL "only in Safe Mode with Command Prompt: the shell started there instead of the desktop"

// ---- Group Policy's logon and startup scripts (policy_scripts.cpp) -----------

#define GROUP_POLICY_SCRIPTS_KEY CURRENT_VERSION_KEY "\\Group Policy\\Scripts"
// Under the system folder: the local policy's scripts of users and of the machine.
#define LOCAL_POLICY_USER_SCRIPTS "GroupPolicy\\User\\Scripts"
#define LOCAL_POLICY_MACHINE_SCRIPTS "GroupPolicy\\Machine\\Scripts"
// A scripts.ini larger than this is no script list; it is noted, not read.
#define POLICY_INI_MOST (1024u * 1024u)
#define NOTE_GROUP_POLICY "managed by Group Policy"
#define NOTE_POLICY_LOGON_SCRIPT NOTE_GROUP_POLICY ": runs at this user's logon"
#define NOTE_POLICY_STARTUP_SCRIPT NOTE_GROUP_POLICY ": runs at the computer's startup, before anyone logs on"
#define NOTE_POLICY_NAMED "policy \"%s\""
#define NOTE_POLICY_FILE_TOO_LARGE NOTE_GROUP_POLICY "; not read: larger than 1 MB, its scripts are not listed"
#define NOTE_POLICY_FILE_UNREAD NOTE_GROUP_POLICY "; could not be read (%s): its scripts are not listed"

// Rows of Group Policy's logon scripts of the user and startup scripts of
// the machine, from the registry and the local policy's ini files; counted
// (records null) or loaded as VisitLogonPlaces does. Every row is readOnly.
int32_t VisitPolicyScripts(AutostartItem *records, int32_t *runningCount, int32_t limit);

// Fills the place's details of a registry row: target, folder, version
// strings, a missing target (scan.cpp).
void ReadTargetDetails(AutostartItem *item);

// targetFolder := target cut at its last backslash; whole without one.
void TargetFolderOf(const char *target, char *targetFolder);
// Nonzero when folder is windows (the Windows folder), its System32 or SysWOW64.
int IsWindowsFolder(const char *windows, const char *folder);
// Nonzero when the target's folder is one IsWindowsFolder names (only
// administrators write there).
int InWindowsFolders(const char *target);

// ---- verified publishers (signature.cpp) ---------------------------------

#define WINDOWS_SIGNER "Microsoft Windows"
#define PUBLISHER_NOT_SIGNED "not signed"
#define PUBLISHER_NETWORK "not checked: network path"

// Nonzero when a check proves the file Windows' own: verified, signed in
// the name "Microsoft Windows", by a chain that ends in one of Microsoft's
// roots (anyone can make a certificate of that name).
int SignatureIsWindows(const PlatSignature *signature);

// The Publisher text of a check (text: TEXT_FIELD_SIZE).
void PublisherText(const PlatSignature *signature, char *text);

// Fills the item's publisher and signedByWindows for native, its target as the
// 64-bit system sees it. A file on the network is not checked; a result is
// reused while the file's path, size and last-write time stay the same.
void ReadPublisher(AutostartItem *item, const char *native);

// Nonzero when "Hide Windows' own entries" (hideWindows) keeps the item
// out of the list: its target is verified as Windows' own.
int ItemHiddenAsWindows(const AutostartItem *item, int hideWindows);

// Forgets every result kept (the process's cache).
void ForgetSignatures(void);

// ---- the other places (other_places.cpp) -------------------------------------

// Nonzero when a scan reads the other places Windows starts a program from
// by itself (none by default: the window's remembered option, the
// console's --all-places). Set before a scan starts, read by it.
extern int ListOtherPlaces;

// The rows of the other places, read once a scan before the catalogue's
// block is sized, as the services are; the scan reads them only while ListOtherPlaces is
// off. A value or key that is there but cannot be read is told through
// CatalogueErrors and kept in rows->unread. Every row is readOnly.
void ReadOtherPlaceRows(TaskRows *rows);

// Nonzero for a row of the other places.
int ItemIsOtherPlace(const AutostartItem *item);

// The Type column's text of such a row.
const char *OtherPlaceType(const AutostartItem *item);

#define DEBUGGER_TYPE "IFEO"
#define SILENT_EXIT_TYPE "EXIT"
#define DLL_TYPE "DLL"
#define BOOT_TYPE "BOOT"
#define LSA_TYPE "LSA"
// What a console's --place that is this word selects: every such row.
#define OTHER_PLACES "other"

#define IFEO_KEY "Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options"
#define SILENT_EXIT_KEY "Software\\Microsoft\\Windows NT\\CurrentVersion\\SilentProcessExit"
#define SESSION_MANAGER_KEY "System\\CurrentControlSet\\Control\\Session Manager"
#define APP_CERT_KEY SESSION_MANAGER_KEY "\\AppCertDLLs"
#define LSA_KEY "System\\CurrentControlSet\\Control\\Lsa"
// The IFEO GlobalFlag bit FLG_MONITOR_SILENT_PROCESS_EXIT, and the
// ReportingMode bit LAUNCH_MONITORPROCESS.
#define MONITOR_SILENT_EXIT_FLAG 0x200u
#define LAUNCH_MONITOR_PROCESS 0x1u

#define NOTE_DEBUGGER "Windows starts this instead of %s whenever that program is started, its command line added after it"
#define NOTE_SILENT_EXIT "started by Windows Error Reporting whenever %s exits (ends itself or is ended by another program)"
#define NOTE_SILENT_EXIT_OFF "not started now: its ReportingMode lacks 1 (launch the monitor program)"
#define NOTE_APP_INIT "loaded into every process that loads user32.dll (LoadAppInit_DLLs is 1); while Secure Boot is on, Windows 8 and later load none"
#define NOTE_APP_INIT_OFF "not loaded now: LoadAppInit_DLLs is not 1"
#define NOTE_APP_CERT "loaded into every process that starts a program (CreateProcess)"
#define NOTE_BOOT_EXECUTE "a native program the Session Manager runs at every boot, before Windows starts"
#define NOTE_LSA_AUTHENTICATION "loaded into lsass.exe at boot as an authentication package: it takes part in every logon"
#define NOTE_LSA_SECURITY "loaded into lsass.exe at boot as a security package: it takes part in every logon"
#define NOTE_LSA_NOTIFICATION "loaded into lsass.exe at boot as a password filter: it is handed every password set or changed"
#define NOTE_OTHER_WINDOWS_OWN "(Windows' own): its file is signed by Windows and lies in the Windows folders"
#define OTHER_PLACE_UNREAD "could not be read (%s): what it starts is not listed"
#define OTHER_PLACES_NO_MEMORY "%ld rows of the other places were not read: not enough memory"

// ---- start later (start_later.cpp) ----------------------------------------

// The scheduler's folder of the logon tasks that start an entry later, and
// how such a task says it is ours and whose it is.
#define START_LATER_FOLDER "\\Orvane Tool\\Start later\\"
#define START_LATER_AUTHOR "Orvane Tool"
#define START_LATER_DESCRIPTION "Starts this entry later at logon: "

// Nonzero for a delay a task here is given: 30, 60, 120, 300 or 600 s.
int StartLaterDelayValid(int32_t seconds);
// "starts 30 s after logon", "starts 2 min after logon"; "starts at logon" for 0.
void StartLaterWords(int32_t seconds, char *text, size_t size);
// Nonzero for a Run value (either hive) or a file of a Startup folder.
int StartLaterFits(const AutostartItem *item);
// The program and arguments (COMMAND_FIELD_SIZE each) the logon would
// start for the entry: its command split as the logon splits it, both
// expanded the logon's way. Zero when they do not fit.
int StartLaterAction(const AutostartItem *item, char *program, char *arguments);
// The task's name for the entry, made fit for a task path ("\\/:*?\"<>|"
// and controls become "_"), and its path with suffix n (2, 3, ...; 1: none).
int StartLaterTaskPath(const AutostartItem *item, int n, char *path);
// The task's registration XML (UTF-8 text, declared UTF-16, which is what
// the scheduler is handed) for the entry of id: every field escaped. user:
// the account a user entry's trigger and principal name; null for an
// entry of all users (any user, the Users group). Zero when it does not fit
// or a field holds a character XML cannot carry.
#define START_LATER_XML_SIZE (4 * COMMAND_FIELD_SIZE + 4 * ITEM_ID_SIZE + 2048)
int StartLaterXml(const char *id, int32_t seconds, const char *program, const char *arguments,
                  const char *user, char *xml, size_t size);
// Nonzero when the task XML is one of ours for id, as written: its one
// logon trigger with the delay, its one action the program and arguments;
// *seconds its delay.
int StartLaterTaskMatches(const char *xml, size_t size, const char *id, const char *program,
                          const char *arguments, int32_t *seconds);
// Folds each task of ours whose entry is listed (disabled, by the id its
// description names) into that entry's row, which shows on with its delay;
// a task whose entry is gone stays a task row. The records' new count.
int32_t FoldStartLater(AutostartItem *records, int32_t count);
