// platform.h - the narrow door between the program's logic and Windows.
//
// The catalogue, the store operations and the report reach the registry, the
// shell folders, files, shortcuts and version resources only through these
// calls. The interface uses plain types (no windows.h), so the same logic
// compiles natively and is tested there against the in-memory stand-in in
// tests/support, while platform_win32.cpp implements it with the ANSI Win32
// calls the program is built on.
//
// Includes nothing of the program's own.
//
// Result numbers are the Win32 error numbers, so the logic reads the same
// codes on both sides. Every text output is a field of at most
// PLAT_TEXT_SIZE bytes; outputs are always terminated, also when cut.
#pragma once

#include <stddef.h>
#include <stdint.h>

#define PLAT_TEXT_SIZE 260
// A registry key's own name: at most 255 characters, each at most 3 bytes
// of UTF-8, and a terminator.
#define PLAT_KEY_NAME_SIZE (3 * 255 + 1)

// Win32 error numbers the logic looks at.
enum {
    PLAT_OK = 0,
    PLAT_ERROR_FILE_NOT_FOUND = 2,
    PLAT_ERROR_PATH_NOT_FOUND = 3,
    PLAT_ERROR_ACCESS_DENIED = 5,
    PLAT_ERROR_INVALID_HANDLE = 6,
    PLAT_ERROR_OUTOFMEMORY = 14,
    PLAT_ERROR_NO_MORE_FILES = 18,
    PLAT_ERROR_WRITE_FAULT = 29,
    PLAT_ERROR_READ_FAULT = 30,
    PLAT_ERROR_INVALID_PARAMETER = 87,
    PLAT_ERROR_CALL_NOT_IMPLEMENTED = 120,
    PLAT_ERROR_ALREADY_EXISTS = 183,
    PLAT_ERROR_MORE_DATA = 234,
    PLAT_ERROR_NO_MORE_ITEMS = 259,
    PLAT_ERROR_STOPPED_ON_SYMLINK = 681,
    PLAT_ERROR_NO_TOKEN = 1008,
    PLAT_ERROR_KEY_DELETED = 1018,
    PLAT_ERROR_SERVICE_DOES_NOT_EXIST = 1060
};

// COM status of a shortcut resolution that could not load the link.
#define PLAT_E_FAIL ((int32_t)0x80004005)

// A registry root and, for the machine's, its view. HKLM\Software has two
// views on 64-bit Windows: PLAT_HKLM is the native (64-bit) one, where
// Windows' own entries live; PLAT_HKLM32 the one 32-bit programs see, shown
// by the registry editor as HKLM\Software\WOW6432Node. Every open, create
// and delete names its view, whichever build runs. HKCU\Software is shared.
// On 32-bit Windows both name the one view there is (PlatHasTwoViews).
enum PlatHive { PLAT_HKCU = 0, PLAT_HKLM = 1, PLAT_HKLM32 = 2 };
#define PLAT_HIVE_COUNT 3

// Access for keys opened to change them.
enum PlatKeyAccess { PLAT_KEY_WRITE = 0, PLAT_KEY_ALL_ACCESS = 1 };

// Registry value types (the Win32 numbers).
enum {
    PLAT_REG_NONE = 0,
    PLAT_REG_SZ = 1,
    PLAT_REG_EXPAND_SZ = 2,
    PLAT_REG_BINARY = 3,
    PLAT_REG_DWORD = 4,
    PLAT_REG_MULTI_SZ = 7
};

// Shell folders the program uses (the CSIDL numbers).
enum {
    PLAT_CSIDL_PERSONAL = 5,
    PLAT_CSIDL_STARTUP = 7,
    PLAT_CSIDL_LOCAL_APPDATA = 28,
    PLAT_CSIDL_COMMON_STARTUP = 24,
    PLAT_CSIDL_WINDOWS = 36,
    PLAT_CSIDL_SYSTEM = 37,
    PLAT_CSIDL_PROGRAM_FILES = 38,
    PLAT_CSIDL_PROFILE = 40,
    PLAT_CSIDL_COMMON_DOCUMENTS = 46
};

typedef struct PlatKeyTag *PlatKey;
typedef struct PlatFindTag *PlatFind;
typedef struct PlatFileTag *PlatFile;

// ---- Registry -----------------------------------------------------------

// Nonzero on 64-bit Windows, where HKLM\Software has two views.
int PlatHasTwoViews(void);

// Opens hive\path to read values and list subkeys (KEY_QUERY_VALUE,
// KEY_ENUMERATE_SUB_KEYS). PLAT_OK and *key set on success; otherwise *key
// is null (absent key, access denied).
long PlatRegOpenRead(PlatHive hive, const char *path, PlatKey *key);

// Opens hive\path to change it (KEY_WRITE or KEY_ALL_ACCESS), creating it
// and any missing parent first. PLAT_OK and *key set on success.
long PlatRegCreate(PlatHive hive, const char *path, PlatKeyAccess access, PlatKey *key);

// Enumerates the value at index. name has room for nameSize bytes. data may
// be null (then dataSize is ignored); otherwise *dataSize holds the room in
// data and receives the data's length. type may be null.
// - PLAT_OK: name and data delivered whole.
// - PLAT_ERROR_MORE_DATA: the name or the data did not fit. name holds the
//   value's name cut to nameSize - 1 characters; data holds the data when it
//   fitted, otherwise data is zero-filled and *dataSize is the length needed.
// - PLAT_ERROR_NO_MORE_ITEMS: index is past the last value; nothing written
//   but an empty name.
long PlatRegEnumValue(PlatKey key, uint32_t index, char *name, uint32_t nameSize,
                      uint32_t *type, void *data, uint32_t *dataSize);

// Nonzero when the name PlatRegEnumValue gave for index is the stored name
// exactly: the code page neither replaced a character ('?', a look-alike)
// nor cut it. Only such a name reaches that value and no other.
int PlatRegNameExact(PlatKey key, uint32_t index, const char *name);

// Reads one value (name null or empty: the key's default value) with its
// type and all its bytes, as text of the code page (the "A" call). data null: only *dataSize is set, to the length.
// PLAT_ERROR_MORE_DATA with *dataSize set to the length when data is short.
long PlatRegQueryValue(PlatKey key, const char *name, uint32_t *type, void *data,
                       uint32_t *dataSize);

// Creates or replaces a value with the given type and bytes.
long PlatRegSetValue(PlatKey key, const char *name, uint32_t type, const void *data,
                     uint32_t size);

// The same two calls on the stored bytes, untouched by any code page (the
// wide calls; string types are UTF-16LE there), for every operation that
// copies a value. name must be exact (PlatRegNameExact).
long PlatRegReadRaw(PlatKey key, const char *name, uint32_t *type, void *data,
                    uint32_t *dataSize);
long PlatRegWriteRaw(PlatKey key, const char *name, uint32_t type, const void *data,
                     uint32_t size);

long PlatRegDeleteValue(PlatKey key, const char *name);

// Deletes a direct subkey that has no subkeys of its own; key was opened in
// hive, whose view the deletion keeps.
long PlatRegDeleteSubkey(PlatHive hive, PlatKey key, const char *subkey);

// The name of the direct subkey at index (name: nameSize bytes, cut and
// terminated). PLAT_ERROR_NO_MORE_ITEMS past the last one.
long PlatRegEnumKey(PlatKey key, uint32_t index, char *name, uint32_t nameSize);

// What tells a key's contents apart from a moment before: its values and
// subkeys counted, and when it was last written. A value written or deleted
// while the key is enumerated changes it, so a reader knows its indexes
// may have shifted. Zeroed on failure.
struct PlatKeyState {
    uint64_t written;
    uint32_t values;
    uint32_t subkeys;
};
long PlatRegKeyState(PlatKey key, PlatKeyState *state);

long PlatRegClose(PlatKey key);

// ---- Shell folders and files -------------------------------------------

// Resolves a shell folder by CSIDL into path (PLAT_TEXT_SIZE), creating it
// when missing. Nonzero on success.
int PlatShellFolder(int csidl, char *path);

// An indirect string ("@{Package_1.0_x64__id?ms-resource://Package/Resources/Name}",
// "@file.dll,-12") resolved as the shell resolves it, into text (size
// bytes); zero when it cannot be (text then empty).
int PlatIndirectString(const char *source, char *text, size_t size);

// Creates one folder (its parent must exist). Nonzero when it was created;
// zero also when it exists already.
int PlatCreateFolder(const char *path);

// Starts a search for pattern ("C:\Dir\*.lnk"); the first match's file name
// goes into name (PLAT_TEXT_SIZE). Null when nothing matches, or the folder
// cannot be read: PlatLastError then says which (ERROR_FILE_NOT_FOUND or
// ERROR_PATH_NOT_FOUND: nothing there; access denied, or any other: not read).
PlatFind PlatFindFirst(const char *pattern, char *name);

// The next match's name; zero when there is none.
int PlatFindNext(PlatFind find, char *name);

// Nonzero when the last name the search gave is the file's name exactly
// (not replaced through the code page, not cut).
int PlatFindExact(PlatFind find);

// The attributes of what the search gave last (the FILE_ATTRIBUTE_ numbers).
enum { PLAT_FILE_READONLY = 0x1, PLAT_FILE_HIDDEN = 0x2, PLAT_FILE_FOLDER = 0x10 };
uint32_t PlatFindAttributes(PlatFind find);

// The size in bytes of what the search gave last.
uint64_t PlatFindSize(PlatFind find);

// When what the search gave last was last written (FILETIME units).
uint64_t PlatFindWriteTime(PlatFind find);

void PlatFindClose(PlatFind find);

// Moves a file; never replaces an existing destination. Nonzero when moved.
int PlatMoveFile(const char *from, const char *to);

// Moves a file over an existing destination file in one step, so the
// destination is either the old file or the new one, never neither.
// Nonzero when moved.
int PlatReplaceFile(const char *from, const char *to);

// Nonzero when the file was deleted.
int PlatDeleteFile(const char *path);

// Copies a file; never replaces an existing destination. The copy is an
// ordinary file: the source's hidden, system and read-only attributes are
// not kept (a backup copy must be seen and may be deleted). Nonzero when
// copied.
int PlatCopyFile(const char *from, const char *to);

// The file's attributes (the FILE_ATTRIBUTE_ numbers above); PLAT_NO_ATTRIBUTES
// when it cannot be read.
#define PLAT_NO_ATTRIBUTES 0xFFFFFFFFu
uint32_t PlatFileAttributes(const char *path);

// The local date and time, to name backups by.
struct PlatTime {
    int year, month, day, hour, minute, second;
};
void PlatLocalTime(PlatTime *now);
// Now as a FILETIME (100-nanosecond units since 1601, UTC), the form Windows
// stores times in the registry.
uint64_t PlatFileTimeNow(void);
// A FILETIME as the local date and time; zero (local untouched) when it is
// no time Windows can convert.
int PlatFileTimeToLocal(uint64_t fileTime, PlatTime *local);

// The same, and how far local time is ahead of UTC at that instant in
// minutes (daylight saving included; negative west of Greenwich), both
// read at once so that a clock change between two calls cannot mismatch
// them. Nonzero with *minutesAhead set; zero when the offset is unknown
// (now is still the local time).
int PlatLocalTimeOffset(PlatTime *now, int32_t *minutesAhead);

// The computer's name as the network knows it (what the report is about);
// nonzero with the name, cut to size, else zero with it empty.
int PlatComputerName(char *name, size_t size);

// The name of the user this process runs as (the logon name, without the
// domain), as text of the process code page; nonzero with the name, cut to
// size, else zero with it empty.
int PlatUserName(char *name, size_t size);

// Creates a file for writing, replacing and emptying an existing one; other
// processes may read it meanwhile. Null on failure.
PlatFile PlatFileCreate(const char *path);

// Creates a file that does not exist yet (never opens or replaces one that
// does: ERROR_ALREADY_EXISTS, or ERROR_FILE_EXISTS, then); other processes
// may read it meanwhile. Null on failure, with the last error set.
PlatFile PlatFileCreateNew(const char *path);

// Opens a file to read it and append to it, creating it when missing (a
// link is followed: hold its folder first), and holds it so that no other
// process can write, replace or delete it meanwhile (read sharing only; a
// second opener fails with a sharing violation, 32). PlatFileRead reads it
// from its start; PlatFileWrite always writes at its end. Null on failure,
// with the last error set.
PlatFile PlatFileAppend(const char *path);

// Waits this many milliseconds.
void PlatSleep(uint32_t milliseconds);

// The system's last error number (after a failed call of this layer).
long PlatLastError(void);

// Opens an existing file to read it and holds it so that no process can
// write, replace or delete it while it is open (no write or delete
// sharing). Null on failure. PlatFileRead reads from it; PlatFileClose
// releases it.
PlatFile PlatFileHold(const char *path);

// Reads up to size bytes from where the last read ended; the count read
// (0 at the end or on failure).
uint32_t PlatFileRead(PlatFile file, void *data, uint32_t size);

// Nonzero when path is a folder that is a junction or a symbolic link (a
// reparse point whose tag is a name surrogate). Other reparse points, such
// as cloud placeholders, are ordinary folders.
int PlatFolderIsLink(const char *path);

// Holds the folders of work in a place another program of the user can
// redirect (platform_win32_places.cpp). Every folder of each path (count of
// them, 1 or 2), from its drive's root down, is opened itself, never
// followed, and held so that none can be renamed, deleted or replaced until
// PlatPlaceRelease: PLAT_ERROR_STOPPED_ON_SYMLINK when one is a junction or
// a symbolic link (a cloud placeholder is an ordinary folder). asUser
// nonzero: until the release, this thread works with the desktop user's
// ordinary rights (those of the desktop shell), PLAT_ERROR_NO_TOKEN when
// they cannot be had. On failure *place is null and nothing is held.
typedef struct PlatPlaceTag *PlatPlace;
long PlatPlaceHold(const char *const *folders, int count, int asUser, PlatPlace *place);
// After the work, before the release: PLAT_ERROR_STOPPED_ON_SYMLINK when a
// held folder became a link meanwhile (an empty folder can be made a
// junction in place, held or not), so the work went through it.
long PlatPlaceCheck(PlatPlace place);
void PlatPlaceRelease(PlatPlace place);

// Writes size bytes; nonzero when all were written.
int PlatFileWrite(PlatFile file, const void *data, uint32_t size);

// Nonzero when the file was closed cleanly.
int PlatFileClose(PlatFile file);

// The whole content of a file, in a block to PlatFree; null on failure.
void *PlatFileLoad(const char *path, uint32_t *size);

// The same for a file another process may be writing (opened to read only,
// sharing everything), refused unread when it is larger than most bytes:
// PLAT_OK with *data (two zero bytes after the content) and *size;
// PLAT_ERROR_MORE_DATA for a larger file; else the error of the open or
// the read (access denied, not found). *data null but on PLAT_OK.
long PlatFileLoadMost(const char *path, uint32_t most, void **data, uint32_t *size);

// Nonzero when path lies on the network: a UNC path ("\\server\share\...")
// or one on a drive letter of a network drive. Decided without touching the
// network, so an unreachable server costs nothing here.
int PlatIsNetworkPath(const char *path);

// Nonzero when path names an existing file (not a folder).
int PlatFileExists(const char *path);

// Looks a bare program name up in the folders the logon searches: the
// Windows folder, the system folder, then the folders of PATH (never this
// program's own folder or its current folder); ".exe" added when the name
// has no extension. Nonzero with the full path in found (PLAT_TEXT_SIZE).
int PlatSearchProgram(const char *name, char *found);

// Nonzero in a 32-bit process on 64-bit Windows: its view of the system
// folder (SysWOW64) and of %ProgramFiles% (the x86 folder) is not what the
// 64-bit logon that starts the entries sees.
int PlatFilesRedirected(void);

// ---- Processes ------------------------------------------------------------

// The security identifier of the user this process runs as, as text
// ("S-1-5-21-...-1001"); nonzero with it, else zero with it empty.
int PlatUserSid(char *sid, size_t size);

// A process running now, as the system lists it.
struct PlatProcess {
    uint32_t id;
    uint64_t startTime;           // when it started (FILETIME units, UTC)
    char image[PLAT_TEXT_SIZE];   // its program's full path (QueryFullProcessImageName)
};

// Every process this one may open to ask its program and start time, in a
// block of *count records to PlatFree (null when none): a process that
// cannot be opened, or whose path does not fit or does not survive the
// code page, is left out, never named by a guess. PLAT_OK, or the error of
// a listing that failed (*processes null then).
long PlatProcessList(PlatProcess **processes, uint32_t *count);

// Nonzero when this process runs elevated (with an administrator's full
// rights).
int PlatIsElevated(void);

// Starts a program the way the user opens it (ShellExecute "open"), with
// this process's rights. Nonzero when started.
int PlatStartProgram(const char *path);

// Starts a program through the desktop shell, so it gets the desktop's
// ordinary rights, not this process's. Zero when there is no desktop shell
// to ask, or it did not start the program.
int PlatStartAsDesktopUser(const char *path);

// Opens file (a URL, a folder, a file) with a shell verb ("open",
// "explore", "properties") as the user's double-click would, with this
// process's rights; parameters may be empty. Nonzero when the shell took it.
int PlatShellOpen(const char *verb, const char *file, const char *parameters);

// The same through the desktop shell, in its process and with its ordinary
// rights, so that verbs and URL handlers any program of the user can write
// never run elevated. Zero when there is no desktop shell to ask, or it
// refused.
int PlatShellOpenAsDesktopUser(const char *verb, const char *file, const char *parameters);

// Fills data with size bytes no other process can predict.
int PlatRandom(void *data, uint32_t size);

// ---- Shortcuts ----------------------------------------------------------

// Resolve flags (the SLR_ numbers).
enum {
    PLAT_SLR_NO_UI = 0x1,
    PLAT_SLR_NOUPDATE = 0x8,
    PLAT_SLR_NOSEARCH = 0x10,
    PLAT_SLR_NOTRACK = 0x20,
    PLAT_SLR_UPDATE = 0x4
};

// Loads the shell link at linkPath, resolves it with flags (owner: a window
// handle or null) and reads its target in long form (never 8.3),
// its comment and its arguments into three PLAT_TEXT_SIZE fields. All three
// are emptied first; a part that cannot be read stays empty. Returns the COM
// status (an HRESULT) of the last step made, negative on failure.
int32_t PlatResolveShortcut(void *owner, const char *linkPath, uint32_t flags, char *target,
                            char *comment, char *arguments);

// ---- Task Scheduler (platform_win32_tasks.cpp) -------------------------

// Tasks are named by their full path in the scheduler ("\Vendor\Updater").

// Every registered task of every folder, hidden ones too: their paths, each
// terminated, one after another in a block to PlatFree, *count of them; a
// folder that cannot be read is left out. (*exact)[i] (in the same block)
// is zero when path i is not the task's name exactly (the code page has no
// such character): that path reaches no task, or another one. PLAT_OK; or
// PLAT_ERROR_CALL_NOT_IMPLEMENTED from a scheduler that has no listing (Wine's:
// its task files are all there is to read); or the error of a listing that
// failed or timed out (ERROR_TIMEOUT: its service did not answer in time).
// *paths null but on PLAT_OK.
long PlatTaskList(char **paths, uint32_t *count, const uint8_t **exact);

// One task's registration XML as UTF-8 text (*size bytes, terminated, in a
// block to PlatFree; xml null: not asked) and its enabled state (enabled
// null: not asked). PLAT_OK, or the error (no such task, access denied).
long PlatTaskRead(const char *path, char **xml, uint32_t *size, int32_t *enabled);

// The task's security descriptor (owner, group and access list: who may see,
// run and change it) as SDDL text, *size bytes, terminated, in a block to
// PlatFree. PLAT_OK, or the error (no such task, access denied, a scheduler
// that does not give it).
long PlatTaskSecurity(const char *path, char **sddl, uint32_t *size);

// Switches the task on (nonzero) or off in place. PLAT_OK means only that
// the scheduler took the call: read the state back to know it changed.
long PlatTaskSetEnabled(const char *path, int32_t enabled);

// Deletes the task's registration.
long PlatTaskDelete(const char *path);

// Registers a new task at path from its registration XML (UTF-8 text),
// never over a task that is there (ERROR_ALREADY_EXISTS then), as the
// principal its XML names, with the security descriptor sddl (SDDL text;
// null: the scheduler's default). PLAT_OK, or the error (a principal that
// needs a password the XML cannot hold fails).
long PlatTaskRegister(const char *path, const char *xml, const char *sddl);

// ---- Services (platform_win32_services.cpp) --------------------------------

// A service's name is a registry key's (at most 256 characters), its display
// name at most 256 characters: each at most 3 bytes of UTF-8, and a
// terminator. A binary path holds what an ImagePath holds (a command line);
// a longer one is cut, and said to be.
#define PLAT_SERVICE_NAME_SIZE (3 * 256 + 1)
#define PLAT_SERVICE_PATH_SIZE 2048

// The SCM's numbers: service types (drivers are 1 and 2, never listed),
// start types and current states.
enum {
    PLAT_SERVICE_OWN_PROCESS = 0x10,
    PLAT_SERVICE_SHARE_PROCESS = 0x20,
    PLAT_SERVICE_BOOT_START = 0,
    PLAT_SERVICE_SYSTEM_START = 1,
    PLAT_SERVICE_AUTO_START = 2,
    PLAT_SERVICE_DEMAND_START = 3,
    PLAT_SERVICE_DISABLED = 4,
    PLAT_SERVICE_STOPPED = 1,
    PLAT_SERVICE_RUNNING = 4
};

// One service as the SCM lists it.
struct PlatServiceStatus {
    char name[PLAT_SERVICE_NAME_SIZE];
    char displayName[PLAT_SERVICE_NAME_SIZE];
    uint32_t type;       // PLAT_SERVICE_OWN_PROCESS, _SHARE_PROCESS (with further bits)
    uint32_t state;      // SERVICE_STOPPED (1) to SERVICE_PAUSED (7)
    uint32_t processId;  // 0 when it runs in no process
    int32_t exact;       // 0 when the code page changed the name ('?'): it reaches
                         // no service, or another one
};

// Every Win32 service (own or shared process; drivers are left out), in a
// block of *count records to PlatFree (null when none). The SCM is opened
// only to enumerate. PLAT_OK, or the error of a listing that failed (access
// denied, the SCM not answering); *services null then.
long PlatServiceList(PlatServiceStatus **services, uint32_t *count);

// A service's configuration, as QueryServiceConfig and QueryServiceConfig2
// give it; texts cut at their fields (binaryPathCut says so).
struct PlatServiceConfig {
    uint32_t type;
    uint32_t startType;            // PLAT_SERVICE_AUTO_START and the others
    int32_t delayed;               // 1 automatic (delayed), 0 not, -1 could not be read
    int32_t binaryPathCut;
    char binaryPath[PLAT_SERVICE_PATH_SIZE]; // the ImagePath as the SCM gives it, unexpanded
    char account[PLAT_TEXT_SIZE];            // "LocalSystem", "NT AUTHORITY\LocalService", ...
    char description[PLAT_TEXT_SIZE];        // empty when it has none or it cannot be read
};

// Reads the configuration of the service named name (opened only to query
// it). PLAT_OK, or the error (no such service, access denied); the record
// is zeroed first.
long PlatServiceQuery(const char *name, PlatServiceConfig *config);

// Sets the start type of the service named name through ChangeServiceConfig
// (opened with SERVICE_CHANGE_CONFIG and SERVICE_QUERY_CONFIG, nothing
// more), every other setting left as it is, and reads it back through
// QueryServiceConfig. PLAT_OK when the SCM now holds startType; the error of
// a call that failed; PLAT_ERROR_WRITE_FAULT when it took the change and
// holds another. The SCM writes its registry image itself: the service
// key's Start follows, its DelayedAutostart is left alone.
long PlatServiceSetStart(const char *name, uint32_t startType);

// ---- Version information ------------------------------------------------

// Size of the file's version resource; 0 when it has none, when the file
// does not exist, or for an empty path.
uint32_t PlatVersionSize(const char *path);

// Reads the version resource into block (size bytes, as PlatVersionSize
// said). Nonzero on success; on failure the system's last error is set.
int PlatVersionRead(const char *path, uint32_t size, void *block);

// Looks up a sub-block ("\VarFileInfo\Translation",
// "\StringFileInfo\040904B0\CompanyName") in a block read above. Nonzero on
// success, with *value pointing into the block and *length its length
// (characters for strings, bytes otherwise).
int PlatVersionQuery(const void *block, const char *subBlock, const void **value,
                     uint32_t *length);

// ---- Files' stamps and signatures -------------------------------------

// The file's size in bytes and its last-write time (FILETIME units); zero
// when it cannot be read (absent, a folder, access denied).
int PlatFileStamp(const char *path, uint64_t *size, uint64_t *writeTime);

// What Windows' trust check says of a file (platform_win32_trust.cpp).
enum PlatTrustState {
    PLAT_TRUST_VERIFIED = 0,      // signature whole, chain passes the Authenticode policy
    PLAT_TRUST_NOT_SIGNED = 1,    // no embedded signature and no catalog names it
    PLAT_TRUST_CHANGED = 2,       // the file's hash is not the signed one
    PLAT_TRUST_UNTRUSTED_ROOT = 3,// the chain ends in a root this system does not trust
    PLAT_TRUST_EXPIRED = 4,       // signer's certificate expired, no timestamp
    PLAT_TRUST_INVALID = 5,       // any other refusal: code says which
    PLAT_TRUST_UNCHECKED = 6      // the check could not be made: code says why
};

// The outcome in plain types. signer is the name of the signer's
// certificate (PLAT_TEXT_SIZE) when one was read, even when not verified.
struct PlatSignature {
    int32_t state;          // PlatTrustState
    int32_t microsoftRoot;  // 1 when the verified chain ends in one of Microsoft's roots
    int32_t fromCatalog;    // 1 when a system catalog, not the file, holds the signature
    int32_t code;           // the HRESULT behind a refusal, 0 when verified
    char signer[PLAT_TEXT_SIZE];
};

// Checks the file's embedded signature, else the system catalogs, never
// fetching anything from the network and showing no user interface.
// Nonzero when a result was delivered (every state but UNCHECKED).
int PlatCheckSignature(const char *path, PlatSignature *result);

// ---- Environment, memory, errors ---------------------------------------

// Replaces every %NAME% reference to a defined variable by its value and
// writes the result into dest (destSize bytes), cut to destSize - 1
// characters and always terminated. Returns the size the whole expansion
// needs, terminator included (so a result above destSize means it was cut);
// 0 on failure, with dest holding source cut to fit.
uint32_t PlatExpandEnvironment(const char *source, char *dest, uint32_t destSize);

// Nonzero when two names are one name to the registry and the file system:
// compared by character, without regard to case (CompareStringOrdinal on
// the wide form), never byte by byte.
int PlatNamesEqual(const char *a, const char *b);

// text as UTF-16LE bytes, without a terminator, for files that must carry
// every character (.reg backups). The byte count; 0 when room is short.
uint32_t PlatTextToUtf16(const char *text, void *bytes, uint32_t room);

// The process code page (65001 under the manifest's UTF-8 on Windows 10
// 1903 and later, 1252 on a Western system otherwise).
uint32_t PlatCodePage(void);

// The upper-case form of one character of the system's ANSI code page, as
// the registry and the file system fold names (CharUpperA): letters beyond
// A-Z too, such as a-umlaut in code page 1252.
unsigned char PlatUpperChar(unsigned char c);

// Zero-filled memory; null on failure.
void *PlatAllocZero(size_t size);

void PlatFree(void *block);

// The system's text for an error number, on one line (line ends dropped),
// or "Unknown error N (0xN)." when the system has none; cut to size. The
// front ends show it their own way: nothing below them shows a box.
void PlatErrorText(long code, char *text, size_t size);

// ---- Threads (platform_win32_thread.cpp) ---------------------------------

typedef struct PlatThreadTag *PlatThread;
typedef struct PlatLockTag *PlatLock;

// Runs run(context) on a new thread whose COM apartment is single-threaded,
// as the shell's calls (shortcuts, icons) need; null when none could be had.
PlatThread PlatStartThread(void (*run)(void *context), void *context);

// Waits until the thread has ended and releases it; nothing for null.
void PlatJoinThread(PlatThread thread);

// A lock two threads take in turn (a critical section); null on failure.
PlatLock PlatNewLock(void);
void PlatEnterLock(PlatLock lock);
void PlatLeaveLock(PlatLock lock);
void PlatFreeLock(PlatLock lock);

// The processors this process may run on, at least 1.
int PlatProcessorCount(void);

// ---- Standard output and error ---------------------------------------------

enum PlatStream { PLAT_STDOUT = 0, PLAT_STDERR = 1 };

// Writes text of the process code page (length bytes) to standard output or
// error: to a console through the wide call, so every character shows
// whatever the console's code page; to a file or pipe as UTF-8 without a
// byte-order mark. Nonzero when all was written.
int PlatWriteStream(PlatStream stream, const char *text, size_t length);

// Writes the UTF-8 byte-order mark (EF BB BF, whatever the code page) when
// the stream goes to a file or pipe, for a reader that takes text without
// one for its own code page (a spreadsheet); a console gets nothing, it
// shows characters, not bytes. Nonzero when written or nothing was due.
int PlatWriteByteOrderMark(PlatStream stream);

// Columns of the console standard output writes to; 0 when it goes to a
// file or pipe (nothing is cut there).
int PlatConsoleWidth(void);
