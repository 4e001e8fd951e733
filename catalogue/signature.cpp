// signature.cpp - the Publisher of an entry: who signed its program, as
// Windows verified it, and whether that makes it one of Windows' own.
//
// A file's version strings say whatever its maker wrote; only a signature
// that Windows verifies names who made it. A check costs a file read and,
// for Windows' own files, catalog look-ups, so each result is kept for the
// life of the process under the file's path, size and last-write time: a
// file replaced or changed since is checked again.
#include "catalogue.h"

#include <atomic>
#include <string.h>

#define NOT_AVAILABLE "n/a"

int SignatureIsWindows(const PlatSignature *signature)
{
    return signature->state == PLAT_TRUST_VERIFIED && signature->microsoftRoot
           && strcmp(signature->signer, WINDOWS_SIGNER) == 0;
}

void PublisherText(const PlatSignature *signature, char *text)
{
    switch (signature->state) {
    case PLAT_TRUST_VERIFIED:
        TextFormat(text, TEXT_FIELD_SIZE, "%s (verified)",
                   signature->signer[0] ? signature->signer : "unnamed signer");
        break;
    case PLAT_TRUST_NOT_SIGNED: TextCopy(text, TEXT_FIELD_SIZE, PUBLISHER_NOT_SIGNED); break;
    case PLAT_TRUST_CHANGED:
        TextCopy(text, TEXT_FIELD_SIZE, "signature not valid: changed since signed");
        break;
    case PLAT_TRUST_UNTRUSTED_ROOT:
        TextCopy(text, TEXT_FIELD_SIZE, "signature not valid: untrusted root");
        break;
    case PLAT_TRUST_EXPIRED:
        TextCopy(text, TEXT_FIELD_SIZE, "signature not valid: expired without timestamp");
        break;
    case PLAT_TRUST_INVALID:
        TextFormat(text, TEXT_FIELD_SIZE, "signature not valid: error 0x%08X",
                   (unsigned)signature->code);
        break;
    default:
        TextFormat(text, TEXT_FIELD_SIZE, "not checked: error 0x%08X", (unsigned)signature->code);
        break;
    }
}

// ---- the cache -----------------------------------------------------------

// A fixed table by the path's case-folded hash, searched a few slots on;
// when those are taken the home slot is given to the newcomer (it is only
// checked again later). No allocation: a Refresh never fails for the cache.
// The scan worker reads details on several threads: a slot is read and
// written only while held (HoldSlots), never while a file is checked.
#define SIGNATURE_SLOTS 4096
#define SIGNATURE_PROBES 8

struct SignatureSlot {
    uint32_t hash; // 0: free
    char path[TEXT_FIELD_SIZE];
    uint64_t size;
    uint64_t writeTime;
    char publisher[TEXT_FIELD_SIZE];
    int32_t signedByWindows;
};

static SignatureSlot Slots[SIGNATURE_SLOTS];
// Held for a slot's copy only: a flag spun on (yielding) needs neither an
// allocation nor the library's exceptions.
static std::atomic_flag SlotsBusy = ATOMIC_FLAG_INIT;

static void HoldSlots(void)
{
    while (SlotsBusy.test_and_set(std::memory_order_acquire))
        PlatSleep(0);
}

static void ReleaseSlots(void)
{
    SlotsBusy.clear(std::memory_order_release);
}

void ForgetSignatures(void)
{
    HoldSlots();
    memset(Slots, 0, sizeof Slots);
    ReleaseSlots();
}

// Never 0, so 0 can mark a free slot.
static uint32_t PathHash(const char *path)
{
    uint32_t hash = 2166136261u;
    for (const char *c = path; *c; ++c)
        hash = (hash ^ PlatUpperChar((unsigned char)*c)) * 16777619u;
    return hash ? hash : 1;
}

// The slot that holds path, else a free one where it belongs, else its home.
static SignatureSlot *SlotOf(const char *path, uint32_t hash)
{
    for (uint32_t probe = 0; probe < SIGNATURE_PROBES; ++probe) {
        SignatureSlot *slot = &Slots[(hash + probe) % SIGNATURE_SLOTS];
        if (!slot->hash || (slot->hash == hash && PlatNamesEqual(slot->path, path)))
            return slot;
    }
    return &Slots[hash % SIGNATURE_SLOTS];
}

void ReadPublisher(AutostartItem *item, const char *native)
{
    item->signedByWindows = 0;
    if (native[0] && PlatIsNetworkPath(native)) {
        TextCopy(item->publisher, TEXT_FIELD_SIZE, PUBLISHER_NETWORK);
        return;
    }
    uint64_t size = 0, writeTime = 0;
    if (!native[0] || !PlatFileStamp(native, &size, &writeTime)) {
        TextCopy(item->publisher, TEXT_FIELD_SIZE, NOT_AVAILABLE);
        return;
    }
    uint32_t hash = PathHash(native);
    HoldSlots();
    SignatureSlot *slot = SlotOf(native, hash);
    int known = slot->hash == hash && slot->size == size && slot->writeTime == writeTime
                && PlatNamesEqual(slot->path, native);
    if (known) {
        TextCopy(item->publisher, TEXT_FIELD_SIZE, slot->publisher);
        item->signedByWindows = slot->signedByWindows;
    }
    ReleaseSlots();
    if (known)
        return;
    PlatSignature signature;
    int checked = PlatCheckSignature(native, &signature);
    PublisherText(&signature, item->publisher);
    item->signedByWindows = SignatureIsWindows(&signature);
    // A check that could not be made is tried again at the next Refresh.
    if (!checked)
        return;
    // Found again: another thread may have taken the slot meanwhile.
    HoldSlots();
    slot = SlotOf(native, hash);
    slot->hash = hash;
    TextCopy(slot->path, sizeof slot->path, native);
    slot->size = size;
    slot->writeTime = writeTime;
    TextCopy(slot->publisher, sizeof slot->publisher, item->publisher);
    slot->signedByWindows = item->signedByWindows;
    ReleaseSlots();
}

static const char *FileNameOf(const char *path)
{
    const char *slash = strrchr(path, '\\');
    return slash ? slash + 1 : path;
}

// A copy of a Windows file verifies as Windows' wherever it lies (the
// catalogs name its hash, not its place), and beside a planted DLL it runs
// that DLL. Only the Windows folder and its system folders, which no
// ordinary program may write, hold Windows' own programs; the folder comes
// from the system, never from the environment.
int IsWindowsFolder(const char *windows, const char *folder)
{
    static const char *const kSubfolders[] = {"", "\\System32", "\\SysWOW64"};
    for (const char *sub : kSubfolders) {
        char candidate[TEXT_FIELD_SIZE];
        if (TextFormat(candidate, sizeof candidate, "%s%s", windows, sub)
            && TextCompareNoCase(candidate, folder) == 0)
            return 1;
    }
    return 0;
}

int InWindowsFolders(const char *target)
{
    char windows[PLAT_TEXT_SIZE];
    if (!PlatShellFolder(PLAT_CSIDL_WINDOWS, windows) || !windows[0])
        return 0;
    char folder[TEXT_FIELD_SIZE];
    TargetFolderOf(target, folder);
    return IsWindowsFolder(windows, folder);
}

// The program Windows starts is the command's first word; the target shown
// may be a file named after it (the DLL of rundll32, a script, or a copy of
// a Windows file given a Windows file as its argument). Only a first word
// that names the target itself, by its whole path, is Windows' own program:
// a bare name is found by a search the logon may make otherwise.
static int StartsTheTarget(const AutostartItem *item)
{
    char first[TEXT_FIELD_SIZE];
    const char *c = item->command;
    while (*c == ' ' || *c == '\t')
        ++c;
    char end = ' ';
    if (*c == '"')
        end = *c++;
    size_t n = 0;
    while (c[n] && c[n] != end && (end == '"' || c[n] != '\t') && n + 1 < sizeof first)
        ++n;
    TextFormat(first, sizeof first, "%.*s", (int)n, c);
    char program[TEXT_FIELD_SIZE];
    ExpandAsLogon(first, program);
    if (!strchr(program, '\\'))
        return 0;
    char target[TEXT_FIELD_SIZE];
    TextCopy(target, sizeof target, item->target);
    char *dot = strrchr(target, '.');
    const char *slash = strrchr(target, '\\');
    if (dot && (!slash || dot > slash) && !strchr(FileNameOf(program), '.'))
        *dot = '\0';
    return TextCompareNoCase(program, target) == 0 && InWindowsFolders(item->target);
}

// Windows' programs that run what they are given, or what the user set up
// for them (cmd.exe with nothing runs Command Processor\AutoRun): their
// rows are never taken for Windows' own, whatever their arguments.
int RunsWhatItIsGiven(const char *target)
{
    static const char *const kHosts[] = {
        "cmd.exe",     "wsl.exe",     "bash.exe",   "control.exe",  "powershell.exe",
        "pwsh.exe",    "wscript.exe", "cscript.exe", "mshta.exe",   "rundll32.exe",
        "regsvr32.exe", "conhost.exe"};
    for (const char *host : kHosts)
        if (TextCompareNoCase(FileNameOf(target), host) == 0)
            return 1;
    return 0;
}

// Only a place no ordinary program of the user can write may hold a row
// that is hidden: not the user's keys or Startup folder, not a task outside
// Windows' own task folder, nor one there that runs as a user account or is
// hidden from the scheduler's own listing (never Windows' doing).
static int OnlyWindowsCanWrite(const AutostartItem *item)
{
    if (item->kind == ScheduledTask)
        return IsWindowsTask(item) && item->runsAsWindows && !item->schedulerHidden;
    return !ScopeIsUser(item->scope);
}

// A service is Windows' own when what runs (its program, or the DLL
// svchost.exe loads for it) is verified as Windows' and lies in the Windows
// folders, started as it is: its own program given nothing to run, or
// svchost.exe of the Windows folders, which takes only the name of its
// group. Only an administrator installs a service, so no user could have
// put one there; a program that runs what it is given is never Windows'.
static int ServiceIsWindows(const AutostartItem *item)
{
    // What a cut path held past the cut is not known: it may be arguments.
    if (item->commandCut || RunsWhatItIsGiven(item->target) || !InWindowsFolders(item->target))
        return 0;
    if (item->serviceHost[0])
        return TextCompareNoCase(FileNameOf(item->serviceHost), "svchost.exe") == 0
               && InWindowsFolders(item->serviceHost);
    for (const char *c = item->parameters; *c; ++c)
        if (*c != ' ' && *c != '\t')
            return 0;
    return 1;
}

// A row of the other places is Windows' own when the file Windows runs or
// loads there is verified as Windows' and lies in the Windows folders (only
// an administrator writes those keys). Never a debugger or an exit monitor:
// each is given another program's command line, and Windows sets neither.
static int OtherPlaceIsWindows(const AutostartItem *item)
{
    // A bare name in AppInit_DLLs or AppCertDLLs is searched for from each
    // program's own folder first: the file found may be anyone's.
    int bare = (item->logonPlace == LogonAppInit || item->logonPlace == LogonAppCert)
               && !strchr(item->command, '\\');
    return item->logonPlace != LogonImageDebugger && item->logonPlace != LogonSilentExit && !bare
           && !item->cut && !item->commandCut && !RunsWhatItIsGiven(item->target)
           && InWindowsFolders(item->target);
}

int ItemHiddenAsWindows(const AutostartItem *item, int hideWindows)
{
    if (ItemIsOtherPlace(item))
        return hideWindows && item->signedByWindows && !item->inexact
               && OtherPlaceIsWindows(item);
    if (hideWindows && item->kind == Service)
        return item->signedByWindows && !item->inexact && ServiceIsWindows(item);
    if (!hideWindows || !item->signedByWindows || item->moreActions
        || !OnlyWindowsCanWrite(item) || RunsWhatItIsGiven(item->target)
        || !ReferencesOnlySystemFolders(item->command))
        return 0;
    // Anything given to run is shown: no list of Windows' programs that run
    // their arguments is ever complete, and what they run is not Windows'.
    for (const char *c = item->parameters; *c; ++c)
        if (*c != ' ' && *c != '\t')
            return 0;
    return StartsTheTarget(item);
}
