// memory_platform.h - an in-memory stand-in for the platform interface.
//
// Linking memory_platform.cpp instead of platform_win32.cpp gives the logic
// a registry, shell folders, files, shortcuts, version resources and an
// environment that live in this process. Tests seed and inspect it through
// the Mem* calls below, make any single platform call fail (by operation and
// by occurrence), and run a hook right before a given call, for example to
// change storage between a scan's counting and loading passes.
//
// The contract suite (tests/contract) runs the same checks against this
// stand-in and against Windows, so what the logic is tested on here behaves
// as the real system does where the logic relies on it.
#pragma once

#include "../../platform/platform.h"

#include <functional>
#include <string>
#include <vector>

// Every operation of platform.h, for fault injection and call counting. A
// value's raw read and write count as its query and set.
enum MemOp {
    MEM_REG_OPEN_READ,
    MEM_REG_CREATE,
    MEM_REG_ENUM_VALUE,
    MEM_REG_QUERY_VALUE,
    MEM_REG_SET_VALUE,
    MEM_REG_DELETE_VALUE,
    MEM_REG_DELETE_SUBKEY,
    MEM_REG_CLOSE,
    MEM_SHELL_FOLDER,
    MEM_CREATE_FOLDER,
    MEM_FIND_FIRST,
    MEM_FIND_NEXT,
    MEM_MOVE_FILE,
    MEM_DELETE_FILE,
    MEM_FILE_CREATE,
    MEM_FILE_WRITE,
    MEM_FILE_CLOSE,
    MEM_RESOLVE_SHORTCUT,
    MEM_VERSION_SIZE,
    MEM_VERSION_READ,
    MEM_VERSION_QUERY,
    MEM_EXPAND_ENVIRONMENT,
    MEM_ALLOC,
    MEM_ERROR_TEXT,
    MEM_FILE_EXISTS,
    MEM_SEARCH_PROGRAM,
    MEM_COPY_FILE,
    MEM_REG_NAME_EXACT,
    MEM_FILE_LOAD,
    MEM_FILE_HOLD,
    MEM_REG_ENUM_KEY,
    MEM_TASK_LIST,
    MEM_TASK_READ,
    MEM_TASK_SET_ENABLED,
    MEM_TASK_DELETE,
    MEM_WRITE_STREAM,
    MEM_FILE_STAMP,
    MEM_CHECK_SIGNATURE,
    MEM_PLACE_HOLD,
    MEM_PLACE_CHECK,
    MEM_START_THREAD,
    MEM_COMPUTER_NAME,
    MEM_REPLACE_FILE,
    MEM_TASK_SECURITY,
    MEM_REG_KEY_STATE,
    MEM_INDIRECT_STRING,
    MEM_FILE_APPEND,
    MEM_TASK_REGISTER,
    MEM_SERVICE_LIST,
    MEM_SERVICE_QUERY,
    MEM_SERVICE_SET_START,
    MEM_FILE_LOAD_MOST,
    MEM_PROCESS_LIST,
    MEM_USER_SID,
    MEM_OP_COUNT
};

const char *MemOpName(MemOp op);

// What PlatIndirectString gives for source (null text: nothing, as for an
// unknown resource).
void MemSetIndirectString(const char *source, const char *text);

// Default shell folders after MemReset.
#define MEM_STARTUP_FOLDER "C:\\Users\\tester\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs\\Startup"
#define MEM_COMMON_STARTUP_FOLDER "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp"
#define MEM_PROFILE_FOLDER "C:\\Users\\tester"
#define MEM_PERSONAL_FOLDER "C:\\Users\\tester\\Documents"
#define MEM_LOCAL_APPDATA_FOLDER "C:\\Users\\tester\\AppData\\Local"
#define MEM_COMMON_DOCUMENTS_FOLDER "C:\\Users\\Public\\Documents"

// Forgets all storage, faults, hooks and counts. Afterwards drive C:, the
// key Software\Microsoft\Windows\CurrentVersion of both hives and an
// environment with windir=C:\WINDOWS exist; the four shell folders resolve
// to the paths above but are created only when first resolved.
void MemReset();

// ---- Registry ----
void MemCreateKey(PlatHive hive, const char *path);
bool MemKeyExists(PlatHive hive, const char *path);
// Deletes the key and everything below it, as another program would; its
// parent's state changes as Windows changes it.
void MemDeleteKey(PlatHive hive, const char *path);
void MemSetValue(PlatHive hive, const char *path, const char *name, uint32_t type,
                 const std::string &bytes);
// A REG_SZ (or other string type) value: the text and its terminator.
void MemSetString(PlatHive hive, const char *path, const char *name, const char *text,
                  uint32_t type = PLAT_REG_SZ);
bool MemGetValue(PlatHive hive, const char *path, const char *name, uint32_t *type,
                 std::string *bytes);
bool MemValueExists(PlatHive hive, const char *path, const char *name);
std::vector<std::string> MemValueNames(PlatHive hive, const char *path);

// Names and bytes as Windows stores them. The stand-in's code page is
// Latin-1 (every byte a character; beyond it Ć, ć, Ł, ł get a look-alike
// and the rest '?', as a Western Windows does) unless set to UTF-8. The
// calls above see names and string data through it; these see the stored
// form: names as UTF-8 text, string data as UTF-16LE bytes.
void MemSetCodePageUtf8(bool utf8);
void MemSetRaw(PlatHive hive, const char *path, const char *utf8Name, uint32_t type,
               const std::string &raw);
bool MemGetRaw(PlatHive hive, const char *path, const char *utf8Name, uint32_t *type,
               std::string *raw);
std::vector<std::string> MemValueNamesUtf8(PlatHive hive, const char *path);
// UTF-8 text as UTF-16LE bytes, with or without the two terminating zeros.
std::string MemUtf16(const char *utf8, bool terminated = true);
// A file in folder whose name is the UTF-8 text utf8Name in characters.
void MemAddFileUtf8(const char *folder, const char *utf8Name, const std::string &bytes = "");
// Opening, creating and changing keys of the hive fails with access denied.
void MemDenyWrites(PlatHive hive, bool deny);
// Two views of HKLM\Software (64-bit Windows, the default) or one, where
// PLAT_HKLM32 reaches the same keys as PLAT_HKLM.
void MemSetTwoViews(bool two);
// Whether the process sees files as a 32-bit one on 64-bit Windows does.
void MemSetFilesRedirected(bool redirected);
// Every open or create of this key fails with access denied.
void MemDenyKey(PlatHive hive, const char *path);

// ---- Folders and files ----
// Where a shell folder resolves to; a null path makes it unresolvable.
void MemSetShellFolder(int csidl, const char *path);
// Creates the folder and every missing parent.
void MemAddFolder(const char *path);
// Creates a plain file (parents created) with the given bytes.
void MemAddFile(const char *path, const std::string &bytes = std::string());
// Creates a shell link file. shortTarget is how the link stores its target
// (8.3); resolving reports the long form, target, whatever it stores.
void MemAddLink(const char *path, const char *target, const char *arguments,
                const char *comment, const char *shortTarget = "");
// Gives a file (created when missing) a version resource with a translation
// entry and the two strings; lang 0x0409, code page 0x04B0 by default.
void MemSetVersion(const char *path, const char *description, const char *company,
                   uint16_t lang = 0x0409, uint16_t codePage = 0x04B0);
// Fine control: a version resource whose reading fails, one without a
// translation entry, or one with further strings.
void MemSetVersionReadFails(const char *path, bool fails);
void MemSetVersionTranslation(const char *path, bool present);
void MemSetVersionString(const char *path, const char *subBlock, const char *text);
// The length the translation entry reports (4 bytes when whole).
void MemSetVersionTranslationLength(const char *path, uint32_t length);
// Reports the string's length as length characters, whatever the text is:
// shorter than the text, it is a string not terminated within its length.
void MemSetVersionStringLength(const char *path, const char *subBlock, uint32_t length);
// A file's last-write time (FILETIME units; 0 for a new file). Its size is
// its byte count.
void MemSetWriteTime(const char *path, uint64_t writeTime);
// What PlatCheckSignature says of the file (created when missing): a
// PlatTrustState, the signer's name, a Microsoft root or not, the HRESULT.
// A file without one is not signed.
void MemSetSignature(const char *path, int32_t state, const char *signer,
                     bool microsoftRoot = false, int32_t code = 0);
bool MemFileExists(const char *path);
bool MemFolderExists(const char *path);
std::string MemFileBytes(const char *path);
// Names in the folder, files and subfolders, in creation order.
std::vector<std::string> MemListFolder(const char *path);
// Paths are resolved without regard to case, as on Windows.

// Makes a folder (created when missing) a reparse point with that tag:
// 0xA0000003 a junction, 0xA000000C a symbolic link, 0x9000601A a cloud
// placeholder.
void MemSetReparseTag(const char *folder, uint32_t tag);
// Folders (and all below them) the desktop user's ordinary rights cannot
// change: while a PlatPlaceHold with asUser is held, creating, moving,
// copying into and deleting there is denied. The user's rights exist while
// there is a lower token (MemSetLowerToken).
void MemDenyUser(const char *folder);
// Whether the user's ordinary rights can be had, elevated: the desktop
// shell's token or the linked one (true after MemReset; Wine has neither).
void MemSetLowerToken(bool available);
// Nonzero while the folder is held by PlatPlaceHold.
bool MemFolderHeld(const char *folder);
// Makes a drive letter a network drive (PlatIsNetworkPath), and counts the
// file, version and search calls that reached a network path: each of them
// could wait for a minute on an unreachable server under Windows.
void MemSetNetworkDrive(char letter);
int MemNetworkTouches();

// Marks a file hidden; read-only (then PlatDeleteFile is denied, as on Windows).
void MemSetHidden(const char *path);
void MemSetReadOnly(const char *path);
// Nonzero while the file is held open by PlatFileHold.
bool MemFileHeld(const char *path);

// Whether the process runs elevated (not after a reset), whether a desktop
// shell can start programs for it (yes), and the programs started so far,
// each as "direct <path>" or "desktop <path>".
void MemSetElevated(bool elevated);
void MemSetDesktopShell(bool available);
const std::vector<std::string> &MemStarted();
// Whether the shell takes what PlatShellOpen* hands it (yes); each call is
// listed in MemStarted as "direct|desktop <verb> <file> <parameters>".
void MemSetShellOpens(bool opens);
// The bytes the next PlatRandom calls give, before its own sequence.
void MemQueueRandom(const std::string &bytes);

// Folders where a bare program name is looked up, in order (none after a
// reset).
void MemAddSearchFolder(const char *folder);
// The flags of the last shortcut resolution.
uint32_t MemLastResolveFlags();

// The local time PlatLocalTime gives (2026-12-07 13:05:09 after a reset);
// PlatFileTimeNow gives the same time, the stand-in's local time being UTC.
void MemSetTime(const PlatTime &now);
// The name PlatComputerName gives ("TESTPC" after a reset).
void MemSetComputerName(const char *name);
// The name PlatUserName gives ("tester" after a reset; empty: none), and
// the offset from UTC PlatLocalTimeOffset gives with the time (0 after a
// reset; MEM_UNKNOWN_OFFSET: it says the offset is unknown).
void MemSetUserName(const char *name);
#define MEM_UNKNOWN_OFFSET 0x7FFFFFFF
void MemSetUtcOffset(int32_t minutesAhead);
// The SID PlatUserSid gives (MEM_USER_SID after a reset; empty: none).
#define MEM_USER_SID_TEXT "S-1-5-21-1000-2000-3000-1001"
void MemSetUserSid(const char *sid);
// A file PlatFileLoadMost cannot open: it fails with code (the file's
// other calls are untouched).
void MemDenyLoad(const char *path, long code = PLAT_ERROR_ACCESS_DENIED);

// ---- Processes ----
// A process PlatProcessList gives (none after a reset), in the order added.
void MemAddProcess(uint32_t id, const char *image, uint64_t startTime);

// ---- Task Scheduler ----
// Registers a task under its full path ("\\Vendor\\Updater") with its XML,
// which PlatTaskRead hands out as stored, and its state; tasks list in the
// order they were added. Making MEM_TASK_LIST fail is a scheduler that
// cannot list (as Wine's).
void MemAddTask(const char *path, const std::string &xml, bool enabled = true);
// A task whose path is the UTF-8 text utf8Path in characters, listed
// through the code page as the scheduler's wide names are.
void MemAddTaskUtf8(const char *utf8Path, const std::string &xml);
bool MemTaskExists(const char *path);
// The task's XML as the scheduler holds it ("" when there is none).
std::string MemTaskXml(const char *path);
// Registering keeps only the settings, dropping triggers, principal and
// actions, as Wine 8.0's scheduler does.
void MemSetTaskRegisterStrips(bool strips);
// The security descriptor of a task registered without one.
#define MEM_TASK_DEFAULT_SDDL "O:BAG:SYD:(A;;FA;;;BA)"
bool MemTaskEnabled(const char *path);
// The task's security descriptor as PlatTaskSecurity gives it (every task
// has MEM_TASK_SDDL until set).
#define MEM_TASK_SDDL "O:BAG:SYD:(A;;FA;;;BA)(A;;FA;;;SY)(A;;FR;;;AU)"
void MemSetTaskSecurity(const char *path, const char *sddl);
// The scheduler takes PlatTaskSetEnabled and changes nothing (as Wine's).
void MemSetTaskSwitchIgnored(bool ignored);

// ---- Services ----
// A service as the SCM knows it; the defaults are an automatic service of
// its own process, stopped, run as LocalSystem.
struct MemService {
    std::string name;
    std::string displayName;
    std::string binaryPath;
    uint32_t type = PLAT_SERVICE_OWN_PROCESS;
    uint32_t startType = PLAT_SERVICE_AUTO_START;
    int32_t delayed = 0;          // -1: the SCM cannot say
    uint32_t state = PLAT_SERVICE_STOPPED;
    uint32_t processId = 0;
    std::string account = "LocalSystem";
    std::string description;
    bool wideName = false;        // name is UTF-8 characters, listed through the code page
};
// Adds (or replaces, by name) a service; listed in the order added. A
// driver is added with type 1 or 2: the listing leaves it out, as the SCM's
// SERVICE_WIN32 does. MEM_SERVICE_LIST, _QUERY and _SET_START fail as set;
// a start type set is written to the service key's Start, as the SCM does.
void MemAddService(const MemService &service);
// The service's start type as the SCM holds it; -1 when there is none.
int MemServiceStart(const char *name);
// PlatServiceSetStart takes the change and keeps the old start type.
void MemSetServiceChangeIgnored(bool ignored);

// ---- Environment ----
void MemSetEnv(const char *name, const char *value);

// ---- Faults, hooks, counts ----
// Makes call number occurrence (counted from 1 since the last reset; 0 for
// every call) of op fail with code: registry calls return it, the others
// return their failure value and leave it as the last error.
void MemFailCall(MemOp op, int occurrence, long code = PLAT_ERROR_ACCESS_DENIED);
// Runs hook right before call number occurrence (0: every call) of op.
void MemSetHook(MemOp op, int occurrence, std::function<void()> hook);
void MemClearFaults();
int MemCallCount(MemOp op);
void MemResetCounts();
// Calls that touch storage (everything but memory, expansion and errors).
int MemStorageCallCount();
// Keys and searches opened and not closed, blocks allocated and not freed.
int MemOpenKeys();
int MemOpenSearches();
int MemOpenFiles();
int MemLiveBlocks();
// The error codes whose text PlatErrorText gave ("Error N."), in order.
const std::vector<long> &MemShownErrors();
// What PlatWriteStream wrote to each stream since the reset (bytes as
// given; PlatWriteByteOrderMark's three bytes where not a console), and
// the console width PlatConsoleWidth says (0: not a console).
std::string MemStreamText(PlatStream stream);
void MemSetConsoleWidth(int columns);
// What PlatProcessorCount says (1 after a reset).
void MemSetProcessorCount(int count);
