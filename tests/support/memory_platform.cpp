// memory_platform.cpp - the in-memory platform (see memory_platform.h).
//
// Keys, values, folders and files are kept in maps indexed by their
// lower-cased path, so lookups ignore case as Windows does, while listings
// follow creation order. Handles are small numbers looked up in tables, so a
// handle used after its key was deleted or closed fails as on Windows.
#include "memory_platform.h"

#include "../../platform/network_path.h"
#include "../../platform/text.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <thread>

namespace {

// A value as Windows stores it: its name in characters, its bytes as they
// are (string types in UTF-16LE); the "A" calls see both through the code page.
struct Value {
    std::u32string name;
    uint32_t type;
    std::string raw;
};

struct Key {
    std::vector<Value> values;
    bool denied = false;
    std::string name; // the last part of its path, as first created
    uint64_t written = 0; // bumped by each change of its values or subkeys
};

struct Version {
    bool readFails = false;
    bool hasTranslation = true;
    uint32_t translationLength = 4;
    std::map<std::string, uint32_t> stringLengths;
    uint16_t lang = 0x0409;
    uint16_t codePage = 0x04B0;
    std::vector<std::pair<std::string, std::string>> strings;
};

struct Entry {
    std::string path;
    bool folder = false;
    long order = 0;
    std::string bytes;
    bool isLink = false;
    bool wideName = false; // path's last part is UTF-8 characters, not code-page bytes
    bool hidden = false;
    bool readOnly = false;
    uint32_t reparseTag = 0; // a folder that is a reparse point: its tag
    std::string target, shortTarget, comment, arguments;
    bool hasVersion = false;
    Version version;
    uint64_t writeTime = 0;
    bool hasSignature = false;
    PlatSignature signature = {};
};

struct OpenKey {
    PlatHive hive;
    std::string path;
    bool writable;
};

struct Search {
    std::vector<std::string> names;
    std::vector<bool> exact;
    std::vector<uint32_t> attributes;
    size_t next;
    std::vector<uint64_t> sizes;
    std::vector<uint64_t> writeTimes;
};

struct Fault {
    MemOp op;
    int occurrence;
    long code;
};

struct Hook {
    MemOp op;
    int occurrence;
    std::function<void()> run;
};

struct MemTask {
    std::string path;
    std::string xml;
    bool enabled;
    bool wideName = false; // path is UTF-8 characters, listed through the code page
    std::string sddl = MEM_TASK_SDDL;
};

struct State {
    uint32_t slept = 0; // PlatSleep's milliseconds, never waited
    std::vector<MemService> services;
    bool serviceChangeIgnored = false;
    std::vector<MemTask> tasks;
    bool taskSwitchIgnored = false;
    bool taskRegisterStrips = false;
    std::map<std::string, Key> keys[PLAT_HIVE_COUNT];
    std::map<std::string, Entry> entries;
    std::map<int, std::string> shellFolders;
    std::map<std::string, std::string> indirect;
    std::map<std::string, std::string> env;
    std::map<uintptr_t, OpenKey> openKeys;
    std::map<uintptr_t, Search> searches;
    std::map<uintptr_t, std::string> files;
    std::map<void *, size_t> blocks;
    std::vector<Fault> faults;
    std::vector<Hook> hooks;
    std::vector<long> shownErrors;
    std::string streams[2];
    int consoleWidth = 0;
    int counts[MEM_OP_COUNT] = {};
    bool writesDenied[PLAT_HIVE_COUNT] = {false, false, false};
    bool twoViews = true;
    bool filesRedirected = false;
    bool utf8 = false;
    bool elevated = false;
    std::string networkDrives;
    int networkTouches = 0;
    int processors = 1; // one details thread unless a test asks for more
    bool desktopShell = true;
    bool shellOpens = true;
    std::vector<std::string> started;
    std::string randomQueue;
    uint32_t randomCounter = 0;
    std::map<uintptr_t, std::pair<std::string, size_t>> held; // path, read offset
    std::map<uintptr_t, std::pair<std::vector<std::string>, bool>> places; // chains, as user
    std::vector<std::string> userDenied;
    int asUser = 0; // places held with the user's rights
    bool lowerToken = true; // the desktop shell's or the linked token
    uint32_t lastResolveFlags = 0;
    PlatTime now = {2026, 12, 7, 13, 5, 9};
    std::string computerName = "TESTPC";
    std::string userName = "tester";
    int32_t utcOffset = 0; // minutes ahead of UTC; MEM_UNKNOWN_OFFSET: not known
    std::string userSid = MEM_USER_SID_TEXT;
    std::map<std::string, long> loadDenied; // folded path, the error
    std::vector<PlatProcess> processes;
    std::vector<std::string> searchFolders;
    uintptr_t nextHandle = 0x100;
    uint64_t clock = 1; // the registry's write time: every change moves it on
    long nextOrder = 1;
};

State &S()
{
    static State state;
    return state;
}

// The scan's details are read on several threads at once: what every call
// counts and what a block's allocation notes are taken under this lock (a
// hook runs outside it, so one may wait for another thread); storage is
// only read while they run. The last error is each thread's own, as on
// Windows.
std::mutex &CallLock()
{
    static std::mutex lock;
    return lock;
}

long &LastError()
{
    static thread_local long error = 0;
    return error;
}

} // namespace

// Code page 1252's case folding, as Windows does it for names there.
unsigned char PlatUpperChar(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        return (unsigned char)(c - 'a' + 'A');
    if ((c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return (unsigned char)(c - 0x20);
    switch (c) {
    case 0x9A: return 0x8A;
    case 0x9C: return 0x8C;
    case 0x9E: return 0x8E;
    case 0xFF: return 0x9F;
    default: return c;
    }
}

namespace {

// ---- the code page ----
// Latin-1 by default (every byte one character, so tests may seed any bytes;
// beyond it a few characters get a look-alike and the rest '?', as on a
// Western Windows), or UTF-8 (the manifest's code page).

std::u32string FromA(const std::string &a)
{
    std::u32string out;
    for (size_t i = 0; i < a.size();) {
        unsigned char c = (unsigned char)a[i];
        if (!S().utf8 || c < 0x80) {
            out.push_back(c);
            ++i;
            continue;
        }
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : -1;
        char32_t cp = extra == 3 ? c & 7 : extra == 2 ? c & 15 : c & 31;
        bool ok = extra > 0;
        for (int k = 1; ok && k <= extra; ++k) {
            if (i + k >= a.size() || ((unsigned char)a[i + k] & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | ((unsigned char)a[i + k] & 0x3F);
        }
        out.push_back(ok ? cp : 0xFFFD);
        i += ok ? (size_t)extra + 1 : 1;
    }
    return out;
}

std::string Utf8(const std::u32string &w)
{
    std::string out;
    for (char32_t cp : w) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD; // an unpaired surrogate has no UTF-8 form
        if (cp < 0x80) {
            out.push_back((char)cp);
        } else if (cp < 0x800) {
            out.push_back((char)(0xC0 | (cp >> 6)));
            out.push_back((char)(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back((char)(0xE0 | (cp >> 12)));
            out.push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back((char)(0x80 | (cp & 0x3F)));
        } else {
            out.push_back((char)(0xF0 | (cp >> 18)));
            out.push_back((char)(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back((char)(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back((char)(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string ToA(const std::u32string &w)
{
    if (S().utf8)
        return Utf8(w);
    std::string out;
    for (char32_t cp : w) {
        switch (cp) {
        case 0x106: case 0x141: cp = cp == 0x106 ? 'C' : 'L'; break; // best fit
        case 0x107: case 0x142: cp = cp == 0x107 ? 'c' : 'l'; break;
        default: if (cp > 0xFF) cp = '?';
        }
        out.push_back((char)cp);
    }
    return out;
}

std::u32string FromUtf8(const std::string &text)
{
    bool was = S().utf8;
    S().utf8 = true;
    std::u32string out = FromA(text);
    S().utf8 = was;
    return out;
}

std::u32string FromUtf16(const std::string &raw)
{
    std::u32string out;
    for (size_t i = 0; i + 1 < raw.size(); i += 2) {
        char32_t unit = (unsigned char)raw[i] | ((unsigned char)raw[i + 1] << 8);
        if (unit >= 0xD800 && unit < 0xDC00 && i + 3 < raw.size()) {
            char32_t low = (unsigned char)raw[i + 2] | ((unsigned char)raw[i + 3] << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                out.push_back(0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        out.push_back(unit);
    }
    return out;
}

std::string ToUtf16(const std::u32string &w)
{
    std::string out;
    auto unit = [&out](char32_t u) {
        out.push_back((char)(u & 0xFF));
        out.push_back((char)(u >> 8));
    };
    for (char32_t cp : w) {
        if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

bool IsStringType(uint32_t type)
{
    return type == PLAT_REG_SZ || type == PLAT_REG_EXPAND_SZ || type == PLAT_REG_MULTI_SZ;
}

// What the "A" calls read of a value's bytes, and store of theirs.
std::string ADataOf(uint32_t type, const std::string &raw)
{
    return IsStringType(type) ? ToA(FromUtf16(raw)) : raw;
}

std::string RawOfA(uint32_t type, const std::string &a)
{
    return IsStringType(type) ? ToUtf16(FromA(a)) : a;
}

// Upper case by character, as the registry and the file system compare
// names: Latin-1, Latin Extended-A, Greek and Cyrillic letters.
char32_t UpperW(char32_t c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        || (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F))
        return c - 0x20;
    if ((c >= 0x100 && c <= 0x137 && (c & 1)) || (c >= 0x139 && c <= 0x148 && !(c & 1))
        || (c >= 0x14A && c <= 0x177 && (c & 1)))
        return c - 1;
    return c == 0xFF ? 0x178 : c;
}

std::u32string FoldedW(const std::u32string &w)
{
    std::u32string out = w;
    for (char32_t &c : out)
        c = UpperW(c);
    return out;
}

// The folded form names and paths are looked up by, as on Windows.
std::string Folded(const std::string &text)
{
    std::string out = text;
    for (char &c : out)
        c = (char)PlatUpperChar((unsigned char)c);
    return out;
}

// Paths are compared without case and without a trailing backslash.
std::string PathKey(const std::string &path)
{
    std::string key = Folded(path);
    while (key.size() > 1 && key.back() == '\\')
        key.pop_back();
    return key;
}

std::string Parent(const std::string &path)
{
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

std::string LastComponent(const std::string &path)
{
    size_t slash = path.rfind('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsOp(const Fault &f, MemOp op, int n)
{
    return f.op == op && (f.occurrence == 0 || f.occurrence == n);
}

// Counts the call, runs its hooks and says whether it is to fail.
bool Enter(MemOp op, long *failCode)
{
    State &s = S();
    std::vector<std::function<void()>> due;
    int n = 0;
    {
        std::lock_guard<std::mutex> held(CallLock());
        n = ++s.counts[op];
        for (const Hook &h : s.hooks)
            if (h.op == op && (h.occurrence == 0 || h.occurrence == n))
                due.push_back(h.run);
    }
    for (auto &run : due)
        run();
    std::lock_guard<std::mutex> held(CallLock());
    for (const Fault &f : s.faults) {
        if (IsOp(f, op, n)) {
            *failCode = f.code;
            LastError() = f.code;
            return true;
        }
    }
    return false;
}

// ---- registry helpers ----

// With one view, the 32-bit view's name reaches the machine's only one.
PlatHive Real(PlatHive hive)
{
    return hive == PLAT_HKLM32 && !S().twoViews ? PLAT_HKLM : hive;
}

Key *FindKey(PlatHive hive, const std::string &path)
{
    hive = Real(hive);
    auto it = S().keys[hive].find(PathKey(path));
    return it == S().keys[hive].end() ? nullptr : &it->second;
}

// Moves the key's write time on, as every change of it does in Windows.
void Touch(Key *key)
{
    if (key)
        key->written = ++S().clock;
}

void CreateKeyChain(PlatHive hive, const std::string &path)
{
    hive = Real(hive);
    std::string part;
    size_t start = 0;
    while (start <= path.size()) {
        size_t slash = path.find('\\', start);
        if (slash == std::string::npos)
            slash = path.size();
        part = path.substr(0, slash);
        if (!part.empty()) {
            Key &key = S().keys[hive][PathKey(part)];
            if (key.name.empty()) {
                key.name = LastComponent(part);
                size_t up = part.rfind('\\');
                if (up != std::string::npos)
                    Touch(&S().keys[hive][PathKey(part.substr(0, up))]);
            }
        }
        start = slash + 1;
    }
}

bool HasSubkeys(PlatHive hive, const std::string &path)
{
    hive = Real(hive);
    std::string prefix = PathKey(path) + "\\";
    auto it = S().keys[hive].lower_bound(prefix);
    return it != S().keys[hive].end() && it->first.compare(0, prefix.size(), prefix) == 0;
}

Value *FindWide(Key *key, const std::u32string &name)
{
    std::u32string wanted = FoldedW(name);
    for (Value &v : key->values)
        if (FoldedW(v.name) == wanted)
            return &v;
    return nullptr;
}

// A name of the "A" calls reaches the value its characters name.
Value *FindValue(Key *key, const char *name)
{
    return FindWide(key, FromA(name ? name : ""));
}

void StoreValue(Key *key, const std::u32string &name, uint32_t type, const std::string &raw)
{
    Touch(key);
    // Replacing keeps the stored name's case, as the registry does.
    if (Value *v = FindWide(key, name)) {
        v->type = type;
        v->raw = raw;
    } else {
        key->values.push_back(Value{name, type, raw});
    }
}

OpenKey *Handle(PlatKey key)
{
    auto it = S().openKeys.find((uintptr_t)key);
    return it == S().openKeys.end() ? nullptr : &it->second;
}

// The key behind an open handle, or null with the Windows error.
Key *Resolve(PlatKey key, long *error)
{
    OpenKey *open = Handle(key);
    if (!open) {
        *error = PLAT_ERROR_INVALID_HANDLE;
        return nullptr;
    }
    Key *k = FindKey(open->hive, open->path);
    if (!k)
        *error = PLAT_ERROR_KEY_DELETED;
    return k;
}

PlatKey NewKeyHandle(PlatHive hive, const std::string &path, bool writable)
{
    uintptr_t id = S().nextHandle++;
    S().openKeys[id] = OpenKey{hive, path, writable};
    return (PlatKey)id;
}

// ---- file helpers ----

// Nonzero when the work runs with the user's rights and path is in a folder
// those rights cannot change; then the last error is access denied.
bool UserDenied(const std::string &path)
{
    if (!S().asUser)
        return false;
    std::string key = PathKey(path);
    for (const std::string &folder : S().userDenied)
        if (key == folder || key.compare(0, folder.size() + 1, folder + "\\") == 0) {
            LastError() = PLAT_ERROR_ACCESS_DENIED;
            return true;
        }
    return false;
}

Entry *FindEntry(const std::string &path)
{
    auto it = S().entries.find(PathKey(path));
    return it == S().entries.end() ? nullptr : &it->second;
}

// Nonzero while a held file is open: it cannot be written, replaced or deleted.
bool Held(const std::string &path)
{
    for (const auto &h : S().held)
        if (PathKey(h.second.first) == PathKey(path))
            return true;
    return false;
}

bool FolderExists(const std::string &path)
{
    Entry *e = FindEntry(path);
    return e && e->folder;
}

Entry &NewEntry(const std::string &path, bool folder)
{
    Entry &e = S().entries[PathKey(path)];
    e = Entry();
    e.path = path;
    e.folder = folder;
    e.order = S().nextOrder++;
    return e;
}

void MakeFolders(const std::string &path)
{
    if (path.empty() || FolderExists(path))
        return;
    MakeFolders(Parent(path));
    NewEntry(path, true);
}

// Wildcard match of one name against a pattern with * and ?, ignoring case.
bool Matches(const char *pattern, const char *name)
{
    if (*pattern == '\0')
        return *name == '\0';
    if (*pattern == '*')
        return Matches(pattern + 1, name) || (*name && Matches(pattern, name + 1));
    if (*name == '\0')
        return false;
    if (*pattern == '?' || PlatUpperChar((unsigned char)*pattern) == PlatUpperChar((unsigned char)*name))
        return Matches(pattern + 1, name + 1);
    return false;
}

std::vector<const Entry *> Children(const std::string &folder)
{
    std::vector<const Entry *> out;
    std::string parent = PathKey(folder);
    for (const auto &item : S().entries)
        if (PathKey(Parent(item.second.path)) == parent)
            out.push_back(&item.second);
    std::sort(out.begin(), out.end(),
              [](const Entry *a, const Entry *b) { return a->order < b->order; });
    return out;
}

// The serialised version block: a marker, the translation, its presence and
// reported length (one byte each), then the strings as zero-terminated
// sub-block name, 4-byte reported length and zero-terminated text.
const char kVersionMarker[4] = {'M', 'E', 'M', 'V'};

std::string VersionBlock(const Version &v)
{
    std::string block(kVersionMarker, 4);
    uint32_t translation = (uint32_t)v.lang | ((uint32_t)v.codePage << 16);
    block.append((const char *)&translation, 4);
    block.push_back(v.hasTranslation ? 1 : 0);
    block.push_back((char)v.translationLength);
    for (const auto &s : v.strings) {
        block.append(s.first);
        block.push_back('\0');
        auto reported = v.stringLengths.find(Folded(s.first));
        uint32_t length = reported == v.stringLengths.end() ? (uint32_t)s.second.size() + 1
                                                            : reported->second;
        block.append((const char *)&length, 4);
        block.append(s.second);
        block.push_back('\0');
    }
    block.push_back('\0');
    return block;
}

Entry &FileEntry(const char *path)
{
    Entry *e = FindEntry(path);
    if (!e) {
        MakeFolders(Parent(path));
        e = &NewEntry(path, false);
    }
    return *e;
}

} // namespace

const char *MemOpName(MemOp op)
{
    static const char *const names[MEM_OP_COUNT] = {
        "RegOpenRead",    "RegCreate",      "RegEnumValue",     "RegQueryValue",
        "RegSetValue",    "RegDeleteValue", "RegDeleteSubkey",  "RegClose",
        "ShellFolder",    "CreateFolder",   "FindFirst",        "FindNext",
        "MoveFile",       "DeleteFile",     "FileCreate",       "FileWrite",
        "FileClose",      "ResolveShortcut", "VersionSize",     "VersionRead",
        "VersionQuery",   "ExpandEnvironment", "Alloc",         "ErrorText",
        "FileExists",     "SearchProgram", "CopyFile",       "RegNameExact",
        "FileLoad",       "FileHold",      "RegEnumKey",     "TaskList",
        "TaskRead",       "TaskSetEnabled", "TaskDelete",    "WriteStream",
        "FileStamp",      "CheckSignature", "PlaceHold",     "PlaceCheck",
        "StartThread",   "ComputerName", "ReplaceFile",   "TaskSecurity",  "RegKeyState", "IndirectString",
        "FileAppend", "TaskRegister", "ServiceList", "ServiceQuery", "ServiceSetStart",
        "FileLoadMost", "ProcessList", "UserSid"};
    return op >= 0 && op < MEM_OP_COUNT ? names[op] : "?";
}

void MemReset()
{
    // Blocks the logic still holds survive a reset, so it can free them later.
    std::map<void *, size_t> blocks;
    blocks.swap(S().blocks);
    S() = State();
    S().blocks.swap(blocks);
    LastError() = 0;
    MemCreateKey(PLAT_HKCU, "Software\\Microsoft\\Windows\\CurrentVersion");
    MemCreateKey(PLAT_HKLM, "Software\\Microsoft\\Windows\\CurrentVersion");
    MemCreateKey(PLAT_HKLM32, "Software\\Microsoft\\Windows\\CurrentVersion");
    MemAddFolder("C:\\WINDOWS");
    MemSetShellFolder(PLAT_CSIDL_STARTUP, MEM_STARTUP_FOLDER);
    MemSetShellFolder(PLAT_CSIDL_COMMON_STARTUP, MEM_COMMON_STARTUP_FOLDER);
    MemSetShellFolder(PLAT_CSIDL_PERSONAL, MEM_PERSONAL_FOLDER);
    MemSetShellFolder(PLAT_CSIDL_COMMON_DOCUMENTS, MEM_COMMON_DOCUMENTS_FOLDER);
    MemSetShellFolder(PLAT_CSIDL_WINDOWS, "C:\\WINDOWS");
    MemSetShellFolder(PLAT_CSIDL_PROFILE, MEM_PROFILE_FOLDER);
    MemSetShellFolder(PLAT_CSIDL_LOCAL_APPDATA, MEM_LOCAL_APPDATA_FOLDER);
    MemSetEnv("windir", "C:\\WINDOWS");
}

// ---- seeding and inspection ----

void MemCreateKey(PlatHive hive, const char *path)
{
    CreateKeyChain(hive, path);
}

bool MemKeyExists(PlatHive hive, const char *path)
{
    return FindKey(hive, path) != nullptr;
}

void MemDeleteKey(PlatHive hive, const char *path)
{
    hive = Real(hive);
    std::string key = PathKey(path), below = key + "\\";
    auto &keys = S().keys[hive];
    for (auto it = keys.begin(); it != keys.end();)
        it = it->first == key || it->first.compare(0, below.size(), below) == 0 ? keys.erase(it)
                                                                               : std::next(it);
    std::string parent = path;
    size_t up = parent.rfind('\\');
    if (up != std::string::npos)
        Touch(FindKey(hive, parent.substr(0, up).c_str()));
}

void MemSetValue(PlatHive hive, const char *path, const char *name, uint32_t type,
                 const std::string &bytes)
{
    CreateKeyChain(hive, path);
    StoreValue(FindKey(hive, path), FromA(name ? name : ""), type, RawOfA(type, bytes));
}

void MemSetRaw(PlatHive hive, const char *path, const char *utf8Name, uint32_t type,
               const std::string &raw)
{
    CreateKeyChain(hive, path);
    StoreValue(FindKey(hive, path), FromUtf8(utf8Name), type, raw);
}

bool MemGetRaw(PlatHive hive, const char *path, const char *utf8Name, uint32_t *type,
               std::string *raw)
{
    Key *key = FindKey(hive, path);
    Value *v = key ? FindWide(key, FromUtf8(utf8Name)) : nullptr;
    if (v && type)
        *type = v->type;
    if (v && raw)
        *raw = v->raw;
    return v != nullptr;
}

std::string MemUtf16(const char *utf8, bool terminated)
{
    std::string raw = ToUtf16(FromUtf8(utf8));
    if (terminated)
        raw.append(2, '\0');
    return raw;
}

void MemSetCodePageUtf8(bool utf8)
{
    S().utf8 = utf8;
}

void MemSetString(PlatHive hive, const char *path, const char *name, const char *text,
                  uint32_t type)
{
    MemSetValue(hive, path, name, type, std::string(text, strlen(text) + 1));
}

bool MemGetValue(PlatHive hive, const char *path, const char *name, uint32_t *type,
                 std::string *bytes)
{
    Key *key = FindKey(hive, path);
    Value *v = key ? FindValue(key, name) : nullptr;
    if (!v)
        return false;
    if (type)
        *type = v->type;
    if (bytes)
        *bytes = ADataOf(v->type, v->raw);
    return true;
}

bool MemValueExists(PlatHive hive, const char *path, const char *name)
{
    return MemGetValue(hive, path, name, nullptr, nullptr);
}

std::vector<std::string> MemValueNames(PlatHive hive, const char *path)
{
    std::vector<std::string> names;
    if (Key *key = FindKey(hive, path))
        for (const Value &v : key->values)
            names.push_back(ToA(v.name));
    return names;
}

std::vector<std::string> MemValueNamesUtf8(PlatHive hive, const char *path)
{
    std::vector<std::string> names;
    if (Key *key = FindKey(hive, path))
        for (const Value &v : key->values)
            names.push_back(Utf8(v.name));
    return names;
}

void MemDenyWrites(PlatHive hive, bool deny)
{
    S().writesDenied[Real(hive)] = deny;
}

void MemSetTwoViews(bool two)
{
    S().twoViews = two;
}

void MemSetFilesRedirected(bool redirected)
{
    S().filesRedirected = redirected;
}

void MemAddSearchFolder(const char *folder)
{
    S().searchFolders.push_back(folder);
}

uint32_t MemLastResolveFlags()
{
    return S().lastResolveFlags;
}

void MemDenyKey(PlatHive hive, const char *path)
{
    CreateKeyChain(hive, path);
    FindKey(hive, path)->denied = true;
}

void MemSetShellFolder(int csidl, const char *path)
{
    if (path)
        S().shellFolders[csidl] = path;
    else
        S().shellFolders.erase(csidl);
}

void MemAddFolder(const char *path)
{
    MakeFolders(path);
}

void MemAddFile(const char *path, const std::string &bytes)
{
    MakeFolders(Parent(path));
    NewEntry(path, false).bytes = bytes;
}

void MemAddFileUtf8(const char *folder, const char *utf8Name, const std::string &bytes)
{
    MakeFolders(folder);
    Entry &e = NewEntry(std::string(folder) + "\\" + utf8Name, false);
    e.bytes = bytes;
    e.wideName = true;
}

void MemAddLink(const char *path, const char *target, const char *arguments,
                const char *comment, const char *shortTarget)
{
    MakeFolders(Parent(path));
    Entry &e = NewEntry(path, false);
    e.bytes = "L\0\0\0 shell link";
    e.isLink = true;
    e.target = target ? target : "";
    e.arguments = arguments ? arguments : "";
    e.comment = comment ? comment : "";
    e.shortTarget = shortTarget ? shortTarget : "";
}

void MemSetVersion(const char *path, const char *description, const char *company,
                   uint16_t lang, uint16_t codePage)
{
    Entry &e = FileEntry(path);
    e.hasVersion = true;
    e.version = Version();
    e.version.lang = lang;
    e.version.codePage = codePage;
    char prefix[64];
    TextFormat(prefix, sizeof prefix, "\\StringFileInfo\\%04X%04X\\", lang, codePage);
    if (description)
        e.version.strings.push_back({std::string(prefix) + "FileDescription", description});
    if (company)
        e.version.strings.push_back({std::string(prefix) + "CompanyName", company});
}

void MemSetVersionReadFails(const char *path, bool fails)
{
    Entry &e = FileEntry(path);
    e.hasVersion = true;
    e.version.readFails = fails;
}

void MemSetVersionTranslation(const char *path, bool present)
{
    Entry &e = FileEntry(path);
    e.hasVersion = true;
    e.version.hasTranslation = present;
}

void MemSetVersionString(const char *path, const char *subBlock, const char *text)
{
    Entry &e = FileEntry(path);
    e.hasVersion = true;
    e.version.strings.push_back({subBlock, text});
}

void MemSetVersionTranslationLength(const char *path, uint32_t length)
{
    Entry &e = FileEntry(path);
    e.hasVersion = true;
    e.version.translationLength = length;
}

void MemSetVersionStringLength(const char *path, const char *subBlock, uint32_t length)
{
    Entry &e = FileEntry(path);
    e.hasVersion = true;
    e.version.stringLengths[Folded(subBlock)] = length;
}

void MemSetWriteTime(const char *path, uint64_t writeTime)
{
    FileEntry(path).writeTime = writeTime;
}

void MemSetSignature(const char *path, int32_t state, const char *signer, bool microsoftRoot,
                     int32_t code)
{
    Entry &e = FileEntry(path);
    e.hasSignature = true;
    memset(&e.signature, 0, sizeof e.signature);
    e.signature.state = state;
    e.signature.microsoftRoot = microsoftRoot ? 1 : 0;
    e.signature.code = code;
    TextCopy(e.signature.signer, sizeof e.signature.signer, signer);
}

bool MemFileExists(const char *path)
{
    Entry *e = FindEntry(path);
    return e && !e->folder;
}

bool MemFolderExists(const char *path)
{
    return FolderExists(path);
}

std::string MemFileBytes(const char *path)
{
    Entry *e = FindEntry(path);
    return e ? e->bytes : std::string();
}

std::vector<std::string> MemListFolder(const char *path)
{
    std::vector<std::string> names;
    for (const Entry *e : Children(path))
        names.push_back(LastComponent(e->path));
    return names;
}

void MemSetEnv(const char *name, const char *value)
{
    S().env[Folded(name)] = value;
}

void MemFailCall(MemOp op, int occurrence, long code)
{
    S().faults.push_back(Fault{op, occurrence, code});
}

void MemSetHook(MemOp op, int occurrence, std::function<void()> hook)
{
    S().hooks.push_back(Hook{op, occurrence, std::move(hook)});
}

void MemClearFaults()
{
    S().faults.clear();
    S().hooks.clear();
}

int MemCallCount(MemOp op)
{
    return S().counts[op];
}

void MemResetCounts()
{
    for (int &c : S().counts)
        c = 0;
}

int MemStorageCallCount()
{
    int total = 0;
    for (int op = 0; op < MEM_OP_COUNT; ++op)
        if (op != MEM_EXPAND_ENVIRONMENT && op != MEM_ALLOC && op != MEM_ERROR_TEXT
            && op != MEM_WRITE_STREAM && op != MEM_START_THREAD)
            total += S().counts[op];
    return total;
}

int MemOpenKeys()
{
    return (int)S().openKeys.size();
}

int MemOpenSearches()
{
    return (int)S().searches.size();
}

int MemOpenFiles()
{
    return (int)(S().files.size() + S().places.size());
}

int MemLiveBlocks()
{
    return (int)S().blocks.size();
}

const std::vector<long> &MemShownErrors()
{
    return S().shownErrors;
}

// ---- the platform interface ----

long PlatRegOpenRead(PlatHive hive, const char *path, PlatKey *key)
{
    long fail;
    *key = nullptr;
    if (Enter(MEM_REG_OPEN_READ, &fail))
        return fail;
    Key *k = FindKey(hive, path ? path : "");
    if (!k)
        return PLAT_ERROR_FILE_NOT_FOUND;
    if (k->denied)
        return PLAT_ERROR_ACCESS_DENIED;
    *key = NewKeyHandle(hive, path, false);
    return PLAT_OK;
}

long PlatRegCreate(PlatHive hive, const char *path, PlatKeyAccess, PlatKey *key)
{
    long fail;
    *key = nullptr;
    if (Enter(MEM_REG_CREATE, &fail))
        return fail;
    if (S().writesDenied[Real(hive)])
        return PLAT_ERROR_ACCESS_DENIED;
    Key *k = FindKey(hive, path ? path : "");
    if (k && k->denied)
        return PLAT_ERROR_ACCESS_DENIED;
    CreateKeyChain(hive, path ? path : "");
    *key = NewKeyHandle(hive, path, true);
    return PLAT_OK;
}

long PlatRegEnumValue(PlatKey key, uint32_t index, char *name, uint32_t nameSize,
                      uint32_t *type, void *data, uint32_t *dataSize)
{
    long fail;
    if (nameSize > 0)
        name[0] = '\0';
    if (Enter(MEM_REG_ENUM_VALUE, &fail))
        return fail;
    Key *k = Resolve(key, &fail);
    if (!k)
        return fail;
    if (index >= k->values.size())
        return PLAT_ERROR_NO_MORE_ITEMS;
    const Value &v = k->values[index];
    std::string aName = ToA(v.name);
    std::string bytes = ADataOf(v.type, v.raw);
    bool nameFits = aName.size() < nameSize;
    TextCopy(name, nameSize, aName.c_str());
    if (type)
        *type = v.type;
    bool dataFits = true;
    if (data) {
        uint32_t room = *dataSize;
        dataFits = bytes.size() <= room;
        memset(data, 0, room);
        if (dataFits)
            memcpy(data, bytes.data(), bytes.size());
        *dataSize = (uint32_t)bytes.size();
    }
    return nameFits && dataFits ? PLAT_OK : PLAT_ERROR_MORE_DATA;
}

int PlatRegNameExact(PlatKey key, uint32_t index, const char *name)
{
    long fail;
    if (Enter(MEM_REG_NAME_EXACT, &fail))
        return 0;
    Key *k = Resolve(key, &fail);
    if (!k || index >= k->values.size())
        return 0;
    const Value &v = k->values[index];
    return FromA(name) == v.name && ToA(v.name) == name ? 1 : 0;
}

namespace {

long QueryValue(MemOp op, PlatKey key, const char *name, uint32_t *type, void *data,
                uint32_t *dataSize, bool raw)
{
    long fail;
    if (Enter(op, &fail))
        return fail;
    Key *k = Resolve(key, &fail);
    if (!k)
        return fail;
    Value *v = FindValue(k, name);
    if (!v)
        return PLAT_ERROR_FILE_NOT_FOUND;
    if (type)
        *type = v->type;
    std::string bytes = raw ? v->raw : ADataOf(v->type, v->raw);
    uint32_t room = data ? *dataSize : 0;
    *dataSize = (uint32_t)bytes.size();
    if (!data)
        return PLAT_OK;
    if (bytes.size() > room)
        return PLAT_ERROR_MORE_DATA;
    memcpy(data, bytes.data(), bytes.size());
    return PLAT_OK;
}

long SetValue(MemOp op, PlatKey key, const char *name, uint32_t type, const void *data,
              uint32_t size, bool raw)
{
    long fail;
    if (Enter(op, &fail))
        return fail;
    Key *k = Resolve(key, &fail);
    if (!k)
        return fail;
    if (!Handle(key)->writable)
        return PLAT_ERROR_ACCESS_DENIED;
    std::string bytes((const char *)data, size);
    StoreValue(k, FromA(name ? name : ""), type, raw ? bytes : RawOfA(type, bytes));
    return PLAT_OK;
}

} // namespace

long PlatRegQueryValue(PlatKey key, const char *name, uint32_t *type, void *data,
                       uint32_t *dataSize)
{
    return QueryValue(MEM_REG_QUERY_VALUE, key, name, type, data, dataSize, false);
}

long PlatRegReadRaw(PlatKey key, const char *name, uint32_t *type, void *data,
                    uint32_t *dataSize)
{
    return QueryValue(MEM_REG_QUERY_VALUE, key, name, type, data, dataSize, true);
}

long PlatRegSetValue(PlatKey key, const char *name, uint32_t type, const void *data,
                     uint32_t size)
{
    return SetValue(MEM_REG_SET_VALUE, key, name, type, data, size, false);
}

long PlatRegWriteRaw(PlatKey key, const char *name, uint32_t type, const void *data,
                     uint32_t size)
{
    return SetValue(MEM_REG_SET_VALUE, key, name, type, data, size, true);
}

long PlatRegDeleteValue(PlatKey key, const char *name)
{
    long fail;
    if (Enter(MEM_REG_DELETE_VALUE, &fail))
        return fail;
    Key *k = Resolve(key, &fail);
    if (!k)
        return fail;
    if (!Handle(key)->writable)
        return PLAT_ERROR_ACCESS_DENIED;
    Value *v = FindValue(k, name);
    if (!v)
        return PLAT_ERROR_FILE_NOT_FOUND;
    k->values.erase(k->values.begin() + (v - k->values.data()));
    Touch(k);
    return PLAT_OK;
}

long PlatRegDeleteSubkey(PlatHive hive, PlatKey key, const char *subkey)
{
    long fail;
    if (Enter(MEM_REG_DELETE_SUBKEY, &fail))
        return fail;
    Key *k = Resolve(key, &fail);
    if (!k)
        return fail;
    OpenKey *open = Handle(key);
    // The deletion's view must be the key's: anything else is a fault of the logic.
    if (Real(hive) != Real(open->hive))
        return PLAT_ERROR_INVALID_PARAMETER;
    std::string path = open->path + "\\" + subkey;
    if (!FindKey(open->hive, path))
        return PLAT_ERROR_FILE_NOT_FOUND;
    if (HasSubkeys(open->hive, path) || FindKey(open->hive, path)->denied)
        return PLAT_ERROR_ACCESS_DENIED;
    S().keys[Real(open->hive)].erase(PathKey(path));
    Touch(k);
    return PLAT_OK;
}

long PlatRegEnumKey(PlatKey key, uint32_t index, char *name, uint32_t nameSize)
{
    long fail;
    if (nameSize > 0)
        name[0] = '\0';
    if (Enter(MEM_REG_ENUM_KEY, &fail))
        return fail;
    if (!Resolve(key, &fail))
        return fail;
    OpenKey *open = Handle(key);
    std::string prefix = PathKey(open->path) + "\\";
    uint32_t seen = 0;
    for (const auto &k : S().keys[Real(open->hive)]) {
        if (k.first.compare(0, prefix.size(), prefix) != 0
            || k.first.find('\\', prefix.size()) != std::string::npos)
            continue;
        if (seen++ == index) {
            TextCopy(name, nameSize, k.second.name.c_str());
            return PLAT_OK;
        }
    }
    return PLAT_ERROR_NO_MORE_ITEMS;
}

long PlatRegKeyState(PlatKey key, PlatKeyState *state)
{
    memset(state, 0, sizeof *state);
    long fail;
    if (Enter(MEM_REG_KEY_STATE, &fail))
        return fail;
    Key *k = Resolve(key, &fail);
    if (!k)
        return fail;
    OpenKey *open = Handle(key);
    std::string prefix = PathKey(open->path) + "\\";
    for (const auto &sub : S().keys[Real(open->hive)])
        state->subkeys += sub.first.compare(0, prefix.size(), prefix) == 0
                          && sub.first.find('\\', prefix.size()) == std::string::npos;
    state->values = (uint32_t)k->values.size();
    state->written = k->written;
    return PLAT_OK;
}

long PlatRegClose(PlatKey key)
{
    long fail;
    bool failed = Enter(MEM_REG_CLOSE, &fail);
    if (!Handle(key))
        return PLAT_ERROR_INVALID_HANDLE;
    // A failing close still releases the handle, as RegCloseKey does.
    S().openKeys.erase((uintptr_t)key);
    return failed ? fail : (long)PLAT_OK;
}

int PlatShellFolder(int csidl, char *path)
{
    long fail;
    path[0] = '\0';
    if (Enter(MEM_SHELL_FOLDER, &fail))
        return 0;
    auto it = S().shellFolders.find(csidl);
    if (it == S().shellFolders.end()) {
        LastError() = PLAT_ERROR_FILE_NOT_FOUND;
        return 0;
    }
    MakeFolders(it->second);
    TextCopy(path, PLAT_TEXT_SIZE, it->second.c_str());
    return 1;
}

int PlatIndirectString(const char *source, char *text, size_t size)
{
    long fail;
    if (size)
        text[0] = '\0';
    if (Enter(MEM_INDIRECT_STRING, &fail) || !size)
        return 0;
    auto it = S().indirect.find(source);
    if (it == S().indirect.end())
        return 0;
    TextCopy(text, size, it->second.c_str());
    return 1;
}

void MemSetIndirectString(const char *source, const char *text)
{
    if (text)
        S().indirect[source] = text;
    else
        S().indirect.erase(source);
}

int PlatCreateFolder(const char *path)
{
    long fail;
    if (Enter(MEM_CREATE_FOLDER, &fail) || UserDenied(path))
        return 0;
    if (FindEntry(path)) {
        LastError() = PLAT_ERROR_ALREADY_EXISTS;
        return 0;
    }
    if (!FolderExists(Parent(path))) {
        LastError() = PLAT_ERROR_PATH_NOT_FOUND;
        return 0;
    }
    NewEntry(path, true);
    return 1;
}

PlatFind PlatFindFirst(const char *pattern, char *name)
{
    long fail;
    name[0] = '\0';
    if (Enter(MEM_FIND_FIRST, &fail))
        return nullptr;
    std::string folder = Parent(pattern);
    std::string mask = LastComponent(pattern);
    Search search{{}, {}, {}, 0, {}, {}};
    if (FolderExists(folder))
        for (const Entry *e : Children(folder)) {
            // A name of characters is listed as the code page gives it.
            std::string stored = LastComponent(e->path);
            std::string given = e->wideName ? ToA(FromUtf8(stored)) : stored;
            if (!Matches(mask.c_str(), given.c_str()))
                continue;
            search.names.push_back(given);
            search.exact.push_back(given.size() < PLAT_TEXT_SIZE
                                   && (!e->wideName || FromA(given) == FromUtf8(stored)));
            search.attributes.push_back((e->folder ? PLAT_FILE_FOLDER : 0)
                                        | (e->hidden ? PLAT_FILE_HIDDEN : 0));
            search.sizes.push_back(e->bytes.size());
            search.writeTimes.push_back(e->writeTime);
        }
    if (search.names.empty()) {
        LastError() = PLAT_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    TextCopy(name, PLAT_TEXT_SIZE, search.names[0].c_str());
    search.next = 1;
    uintptr_t id = S().nextHandle++;
    S().searches[id] = search;
    return (PlatFind)id;
}

int PlatFindNext(PlatFind find, char *name)
{
    long fail;
    name[0] = '\0';
    if (Enter(MEM_FIND_NEXT, &fail))
        return 0;
    auto it = S().searches.find((uintptr_t)find);
    if (it == S().searches.end() || it->second.next >= it->second.names.size())
        return 0;
    TextCopy(name, PLAT_TEXT_SIZE, it->second.names[it->second.next++].c_str());
    return 1;
}

uint32_t PlatFindAttributes(PlatFind find)
{
    auto it = S().searches.find((uintptr_t)find);
    if (it == S().searches.end() || it->second.next == 0)
        return 0;
    return it->second.attributes[it->second.next - 1];
}

uint64_t PlatFindSize(PlatFind find)
{
    auto it = S().searches.find((uintptr_t)find);
    if (it == S().searches.end() || it->second.next == 0)
        return 0;
    return it->second.sizes[it->second.next - 1];
}

uint64_t PlatFindWriteTime(PlatFind find)
{
    auto it = S().searches.find((uintptr_t)find);
    if (it == S().searches.end() || it->second.next == 0)
        return 0;
    return it->second.writeTimes[it->second.next - 1];
}

void MemSetHidden(const char *path)
{
    if (Entry *e = FindEntry(path))
        e->hidden = true;
}

void MemSetReadOnly(const char *path)
{
    if (Entry *e = FindEntry(path))
        e->readOnly = true;
}

uint32_t PlatFileAttributes(const char *path)
{
    const Entry *e = FindEntry(path);
    if (!e) {
        LastError() = PLAT_ERROR_FILE_NOT_FOUND; // as GetFileAttributes sets it
        return PLAT_NO_ATTRIBUTES;
    }
    return (e->folder ? PLAT_FILE_FOLDER : 0) | (e->hidden ? PLAT_FILE_HIDDEN : 0)
           | (e->readOnly ? PLAT_FILE_READONLY : 0);
}

int PlatFindExact(PlatFind find)
{
    auto it = S().searches.find((uintptr_t)find);
    if (it == S().searches.end() || it->second.next == 0)
        return 0;
    return it->second.exact[it->second.next - 1] ? 1 : 0;
}

void PlatFindClose(PlatFind find)
{
    S().searches.erase((uintptr_t)find);
}

// The entry at from takes the name to (anything there is replaced).
static int MoveEntry(const Entry *source, const char *from, const char *to)
{
    Entry moved = *source;
    S().entries.erase(PathKey(from));
    moved.path = to;
    moved.order = S().nextOrder++;
    S().entries[PathKey(to)] = moved;
    return 1;
}

int PlatMoveFile(const char *from, const char *to)
{
    long fail;
    if (Enter(MEM_MOVE_FILE, &fail) || UserDenied(from) || UserDenied(to))
        return 0;
    Entry *source = FindEntry(from);
    if (!source) {
        LastError() = PLAT_ERROR_FILE_NOT_FOUND;
        return 0;
    }
    if (MemFolderHeld(from)) {
        LastError() = 32; // ERROR_SHARING_VIOLATION: held without delete sharing
        return 0;
    }
    if (FindEntry(to)) {
        LastError() = PLAT_ERROR_ALREADY_EXISTS;
        return 0;
    }
    if (!FolderExists(Parent(to))) {
        LastError() = PLAT_ERROR_PATH_NOT_FOUND;
        return 0;
    }
    return MoveEntry(source, from, to);
}

int PlatReplaceFile(const char *from, const char *to)
{
    long fail;
    if (Enter(MEM_REPLACE_FILE, &fail) || UserDenied(from) || UserDenied(to))
        return 0;
    Entry *target = FindEntry(to);
    if (target && (target->folder || Held(to))) {
        LastError() = target->folder ? PLAT_ERROR_ACCESS_DENIED : 32;
        return 0;
    }
    Entry *source = FindEntry(from);
    if (!source || source->folder) {
        LastError() = PLAT_ERROR_FILE_NOT_FOUND;
        return 0;
    }
    if (!FolderExists(Parent(to))) {
        LastError() = PLAT_ERROR_PATH_NOT_FOUND;
        return 0;
    }
    return MoveEntry(source, from, to);
}

int PlatDeleteFile(const char *path)
{
    long fail;
    if (Enter(MEM_DELETE_FILE, &fail) || UserDenied(path))
        return 0;
    if (Held(path)) {
        LastError() = 32;
        return 0;
    }
    Entry *e = FindEntry(path);
    if (!e || e->folder || e->readOnly) {
        LastError() = e ? PLAT_ERROR_ACCESS_DENIED : PLAT_ERROR_FILE_NOT_FOUND;
        return 0;
    }
    S().entries.erase(PathKey(path));
    return 1;
}

void MemSetTime(const PlatTime &now)
{
    S().now = now;
}

void MemSetComputerName(const char *name)
{
    S().computerName = name;
}

int PlatComputerName(char *name, size_t size)
{
    long fail;
    if (size)
        name[0] = '\0';
    if (Enter(MEM_COMPUTER_NAME, &fail) || S().computerName.empty())
        return 0;
    TextCopy(name, size, S().computerName.c_str());
    return size > 0;
}

void PlatLocalTime(PlatTime *now)
{
    *now = S().now;
}

void MemSetUserName(const char *name)
{
    S().userName = name;
}

void MemSetUtcOffset(int32_t minutesAhead)
{
    S().utcOffset = minutesAhead;
}

int PlatUserName(char *name, size_t size)
{
    if (size)
        name[0] = '\0';
    if (S().userName.empty())
        return 0;
    TextCopy(name, size, S().userName.c_str());
    return size > 0;
}

int PlatLocalTimeOffset(PlatTime *now, int32_t *minutesAhead)
{
    *now = S().now;
    if (S().utcOffset == MEM_UNKNOWN_OFFSET)
        return 0;
    *minutesAhead = S().utcOffset;
    return 1;
}

// The stand-in's local time is UTC: a FILETIME is the days since 1601 and
// the time of day, the days counted through the civil calendar.
static const uint64_t kTicksPerSecond = 10000000u;
static const int64_t kDays1601To1970 = 134774;

static int64_t DaysFromCivil(int64_t y, int m, int d)
{
    y -= m <= 2;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t yoe = y - era * 400;
    int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

uint64_t PlatFileTimeNow(void)
{
    const PlatTime &t = S().now;
    int64_t days = DaysFromCivil(t.year, t.month, t.day) + kDays1601To1970;
    return ((uint64_t)days * 86400u + (uint64_t)(t.hour * 3600 + t.minute * 60 + t.second))
           * kTicksPerSecond;
}

int PlatFileTimeToLocal(uint64_t fileTime, PlatTime *local)
{
    // FileTimeToSystemTime refuses times past the year 30827 (high bit set).
    if (fileTime >> 63)
        return 0;
    uint64_t seconds = fileTime / kTicksPerSecond;
    int64_t z = (int64_t)(seconds / 86400u) - kDays1601To1970 + 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t doe = z - era * 146097;
    int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    int64_t mp = (5 * doy + 2) / 153;
    int month = (int)(mp < 10 ? mp + 3 : mp - 9);
    local->year = (int)(yoe + era * 400 + (month <= 2));
    local->month = month;
    local->day = (int)(doy - (153 * mp + 2) / 5 + 1);
    uint64_t second = seconds % 86400u;
    local->hour = (int)(second / 3600);
    local->minute = (int)(second / 60 % 60);
    local->second = (int)(second % 60);
    return 1;
}

int PlatCopyFile(const char *from, const char *to)
{
    long fail;
    if (Enter(MEM_COPY_FILE, &fail) || UserDenied(to))
        return 0;
    Entry *source = FindEntry(from);
    if (!source || source->folder || FindEntry(to) || !FolderExists(Parent(to))) {
        LastError() = !source ? PLAT_ERROR_FILE_NOT_FOUND : PLAT_ERROR_ALREADY_EXISTS;
        return 0;
    }
    Entry copy = *source;
    copy.hidden = copy.readOnly = false;
    copy.path = to;
    copy.order = S().nextOrder++;
    S().entries[PathKey(to)] = copy;
    return 1;
}

int PlatIsNetworkPath(const char *path)
{
    int network = 0;
    char drive = PathDriveOf(path, &network);
    return network || (drive && S().networkDrives.find(drive) != std::string::npos);
}

void MemSetNetworkDrive(char letter)
{
    S().networkDrives.push_back((char)toupper((unsigned char)letter));
}

int MemNetworkTouches()
{
    return S().networkTouches;
}

namespace {

// A file call that would wait on the network under Windows.
void NoteTouch(const char *path)
{
    if (path && PlatIsNetworkPath(path)) {
        std::lock_guard<std::mutex> held(CallLock());
        ++S().networkTouches;
    }
}

} // namespace

int PlatFileExists(const char *path)
{
    long fail;
    NoteTouch(path);
    if (Enter(MEM_FILE_EXISTS, &fail))
        return 0;
    return MemFileExists(path) ? 1 : 0;
}

int PlatFileStamp(const char *path, uint64_t *size, uint64_t *writeTime)
{
    long fail;
    NoteTouch(path);
    *size = *writeTime = 0;
    if (Enter(MEM_FILE_STAMP, &fail))
        return 0;
    Entry *e = FindEntry(path);
    if (!e || e->folder) {
        LastError() = PLAT_ERROR_FILE_NOT_FOUND;
        return 0;
    }
    *size = e->bytes.size();
    *writeTime = e->writeTime;
    return 1;
}

// The HRESULTs Windows gives for these outcomes.
#define MEM_TRUST_E_NOSIGNATURE ((int32_t)0x800B0100)
#define MEM_HRESULT_OF(error) ((int32_t)(0x80070000u | (uint32_t)(error)))

int PlatCheckSignature(const char *path, PlatSignature *result)
{
    long fail;
    NoteTouch(path);
    memset(result, 0, sizeof *result);
    result->state = PLAT_TRUST_UNCHECKED;
    if (Enter(MEM_CHECK_SIGNATURE, &fail)) {
        result->code = MEM_HRESULT_OF(fail);
        return 0;
    }
    Entry *e = FindEntry(path);
    if (!e || e->folder) {
        result->code = MEM_HRESULT_OF(PLAT_ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (e->hasSignature) {
        *result = e->signature;
    } else {
        result->state = PLAT_TRUST_NOT_SIGNED;
        result->code = MEM_TRUST_E_NOSIGNATURE;
    }
    return 1;
}

int PlatSearchProgram(const char *name, char *found)
{
    long fail;
    NoteTouch(name);
    found[0] = '\0';
    if (Enter(MEM_SEARCH_PROGRAM, &fail))
        return 0;
    std::string file = name;
    if (LastComponent(file).find('.') == std::string::npos)
        file += ".exe";
    for (const std::string &folder : S().searchFolders) {
        if (PlatIsNetworkPath(folder.c_str()))
            continue; // as the Windows layer: a share is never searched
        std::string path = folder + "\\" + file;
        if (MemFileExists(path.c_str()))
            return TextCopy(found, PLAT_TEXT_SIZE, path.c_str());
    }
    LastError() = PLAT_ERROR_FILE_NOT_FOUND;
    return 0;
}

int PlatHasTwoViews(void)
{
    return S().twoViews ? 1 : 0;
}

int PlatFilesRedirected(void)
{
    return S().filesRedirected ? 1 : 0;
}

PlatFile PlatFileCreate(const char *path)
{
    long fail;
    if (Enter(MEM_FILE_CREATE, &fail) || UserDenied(path))
        return nullptr;
    Entry *e = FindEntry(path);
    if (Held(path)) {
        LastError() = 32; // a sharing violation
        return nullptr;
    }
    if (e && e->folder) {
        LastError() = PLAT_ERROR_ACCESS_DENIED;
        return nullptr;
    }
    if (!FolderExists(Parent(path))) {
        LastError() = PLAT_ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    if (!e)
        NewEntry(path, false);
    else
        e->bytes.clear();
    uintptr_t id = S().nextHandle++;
    S().files[id] = path;
    return (PlatFile)id;
}

PlatFile PlatFileCreateNew(const char *path)
{
    long fail;
    if (Enter(MEM_FILE_CREATE, &fail) || UserDenied(path))
        return nullptr;
    if (FindEntry(path)) {
        LastError() = 80; // ERROR_FILE_EXISTS, as CREATE_NEW gives
        return nullptr;
    }
    if (!FolderExists(Parent(path))) {
        LastError() = PLAT_ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    NewEntry(path, false);
    uintptr_t id = S().nextHandle++;
    S().files[id] = path;
    return (PlatFile)id;
}

PlatFile PlatFileAppend(const char *path)
{
    long fail;
    if (Enter(MEM_FILE_APPEND, &fail) || UserDenied(path))
        return nullptr;
    Entry *e = FindEntry(path);
    if (e && e->folder) {
        LastError() = PLAT_ERROR_ACCESS_DENIED;
        return nullptr;
    }
    for (const auto &open : S().files)
        if (PathKey(open.second) == PathKey(path)) {
            LastError() = 32; // held by another writer
            return nullptr;
        }
    if (!e && !FolderExists(Parent(path))) {
        LastError() = PLAT_ERROR_PATH_NOT_FOUND;
        return nullptr;
    }
    if (!e)
        e = &NewEntry(path, false);
    // One handle reads from the start and writes at the end.
    uintptr_t id = S().nextHandle++;
    S().files[id] = e->path;
    S().held[id] = {e->path, 0};
    return (PlatFile)id;
}

void PlatSleep(uint32_t milliseconds)
{
    S().slept += milliseconds;
}

long PlatLastError(void)
{
    return LastError();
}

PlatFile PlatFileHold(const char *path)
{
    long fail;
    if (Enter(MEM_FILE_HOLD, &fail))
        return nullptr;
    Entry *e = FindEntry(path);
    if (!e || e->folder) {
        LastError() = PLAT_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    for (const auto &open : S().files)
        if (PathKey(open.second) == PathKey(path)) {
            LastError() = 32; // open for writing elsewhere
            return nullptr;
        }
    uintptr_t id = S().nextHandle++;
    S().held[id] = {e->path, 0};
    return (PlatFile)id;
}

uint32_t PlatFileRead(PlatFile file, void *data, uint32_t size)
{
    auto it = S().held.find((uintptr_t)file);
    Entry *e = it == S().held.end() ? nullptr : FindEntry(it->second.first);
    if (!e)
        return 0;
    size_t &offset = it->second.second;
    uint32_t n = (uint32_t)std::min<size_t>(size, e->bytes.size() - std::min(offset, e->bytes.size()));
    memcpy(data, e->bytes.data() + offset, n);
    offset += n;
    return n;
}

int PlatFolderIsLink(const char *path)
{
    Entry *e = FindEntry(path);
    return e && e->folder && (e->reparseTag & 0x20000000) ? 1 : 0;
}

void MemSetReparseTag(const char *folder, uint32_t tag)
{
    MakeFolders(folder);
    FindEntry(folder)->reparseTag = tag;
}

bool MemFileHeld(const char *path)
{
    return Held(path);
}

void MemDenyUser(const char *folder)
{
    S().userDenied.push_back(PathKey(folder));
}

bool MemFolderHeld(const char *folder)
{
    for (const auto &place : S().places)
        for (const std::string &held : place.second.first)
            if (held == PathKey(folder))
                return true;
    return false;
}

long PlatPlaceHold(const char *const *folders, int count, int asUser, PlatPlace *place)
{
    long fail;
    *place = nullptr;
    if (Enter(MEM_PLACE_HOLD, &fail))
        return fail;
    if (asUser && !S().lowerToken)
        return LastError() = PLAT_ERROR_NO_TOKEN;
    std::vector<std::string> chain;
    for (int i = 0; i < count; ++i) {
        std::string path = folders[i];
        if (path.size() < 3 || path[1] != ':' || path[2] != '\\')
            return LastError() = PLAT_ERROR_INVALID_PARAMETER;
        // Every folder below the root, each looked at itself.
        for (size_t at = 3; at <= path.size(); ++at) {
            if (at < path.size() && path[at] != '\\')
                continue;
            std::string folder = path.substr(0, at);
            Entry *e = FindEntry(folder);
            if (!e || !e->folder)
                return LastError() = PLAT_ERROR_PATH_NOT_FOUND;
            if (e->reparseTag & 0x20000000)
                return LastError() = PLAT_ERROR_STOPPED_ON_SYMLINK;
            chain.push_back(PathKey(folder));
        }
    }
    uintptr_t id = S().nextHandle++;
    S().places[id] = std::make_pair(chain, asUser != 0);
    S().asUser += asUser ? 1 : 0;
    *place = (PlatPlace)id;
    return PLAT_OK;
}

void MemSetLowerToken(bool available)
{
    S().lowerToken = available;
}

long PlatPlaceCheck(PlatPlace place)
{
    long fail;
    if (Enter(MEM_PLACE_CHECK, &fail))
        return fail;
    auto it = S().places.find((uintptr_t)place);
    if (it == S().places.end())
        return PLAT_OK;
    for (const std::string &folder : it->second.first) {
        Entry *e = FindEntry(folder);
        if (e && (e->reparseTag & 0x20000000))
            return LastError() = PLAT_ERROR_STOPPED_ON_SYMLINK;
    }
    return PLAT_OK;
}

void PlatPlaceRelease(PlatPlace place)
{
    auto it = S().places.find((uintptr_t)place);
    if (it == S().places.end())
        return;
    // RevertToSelf gives back the user's rights whoever took them.
    if (it->second.second)
        S().asUser = 0;
    S().places.erase(it);
}

int PlatIsElevated(void)
{
    return S().elevated ? 1 : 0;
}

int PlatStartProgram(const char *path)
{
    S().started.push_back(std::string("direct ") + path);
    return MemFileExists(path) ? 1 : 0;
}

int PlatStartAsDesktopUser(const char *path)
{
    if (!S().desktopShell)
        return 0;
    S().started.push_back(std::string("desktop ") + path);
    return MemFileExists(path) ? 1 : 0;
}

int PlatShellOpen(const char *verb, const char *file, const char *parameters)
{
    S().started.push_back(std::string("direct ") + verb + " " + file + " " + parameters);
    return S().shellOpens ? 1 : 0;
}

int PlatShellOpenAsDesktopUser(const char *verb, const char *file, const char *parameters)
{
    if (!S().desktopShell)
        return 0;
    S().started.push_back(std::string("desktop ") + verb + " " + file + " " + parameters);
    return S().shellOpens ? 1 : 0;
}

void MemSetShellOpens(bool opens)
{
    S().shellOpens = opens;
}

int PlatRandom(void *data, uint32_t size)
{
    unsigned char *bytes = (unsigned char *)data;
    for (uint32_t i = 0; i < size; ++i) {
        if (!S().randomQueue.empty()) {
            bytes[i] = (unsigned char)S().randomQueue[0];
            S().randomQueue.erase(0, 1);
        } else {
            bytes[i] = (unsigned char)(S().randomCounter++ * 37 + 11);
        }
    }
    return 1;
}

void MemSetElevated(bool elevated)
{
    S().elevated = elevated;
}

void MemSetDesktopShell(bool available)
{
    S().desktopShell = available;
}

const std::vector<std::string> &MemStarted()
{
    return S().started;
}

void MemQueueRandom(const std::string &bytes)
{
    S().randomQueue += bytes;
}

int PlatFileWrite(PlatFile file, const void *data, uint32_t size)
{
    long fail;
    if (Enter(MEM_FILE_WRITE, &fail))
        return 0;
    auto it = S().files.find((uintptr_t)file);
    Entry *e = it == S().files.end() ? nullptr : FindEntry(it->second);
    if (!e) {
        LastError() = PLAT_ERROR_INVALID_HANDLE;
        return 0;
    }
    e->bytes.append((const char *)data, size);
    return 1;
}

int PlatFileClose(PlatFile file)
{
    long fail;
    bool failed = Enter(MEM_FILE_CLOSE, &fail);
    // An appending handle is both held and written.
    bool wasHeld = S().held.erase((uintptr_t)file) != 0;
    bool wasWritten = S().files.erase((uintptr_t)file) != 0;
    if (!wasHeld && !wasWritten)
        return 0;
    return failed ? 0 : 1;
}

void *PlatFileLoad(const char *path, uint32_t *size)
{
    long fail;
    *size = 0;
    if (Enter(MEM_FILE_LOAD, &fail))
        return nullptr;
    Entry *e = FindEntry(path);
    if (!e || e->folder) {
        LastError() = PLAT_ERROR_FILE_NOT_FOUND;
        return nullptr;
    }
    std::string bytes = e->bytes;
    void *block = PlatAllocZero(bytes.size() + 2);
    if (block) {
        memcpy(block, bytes.data(), bytes.size());
        *size = (uint32_t)bytes.size();
    }
    return block;
}

long PlatFileLoadMost(const char *path, uint32_t most, void **data, uint32_t *size)
{
    long fail;
    *data = nullptr;
    *size = 0;
    if (Enter(MEM_FILE_LOAD_MOST, &fail))
        return fail;
    auto denied = S().loadDenied.find(PathKey(path));
    if (denied != S().loadDenied.end())
        return LastError() = denied->second;
    Entry *e = FindEntry(path);
    if (!e || e->folder)
        return LastError() = PLAT_ERROR_FILE_NOT_FOUND;
    if (e->bytes.size() > most)
        return PLAT_ERROR_MORE_DATA;
    void *block = PlatAllocZero(e->bytes.size() + 2);
    if (!block)
        return PLAT_ERROR_OUTOFMEMORY;
    memcpy(block, e->bytes.data(), e->bytes.size());
    *data = block;
    *size = (uint32_t)e->bytes.size();
    return PLAT_OK;
}

void MemDenyLoad(const char *path, long code)
{
    S().loadDenied[PathKey(path)] = code;
}

int PlatUserSid(char *sid, size_t size)
{
    long fail;
    if (size)
        sid[0] = '\0';
    if (Enter(MEM_USER_SID, &fail) || S().userSid.empty())
        return 0;
    return TextCopy(sid, size, S().userSid.c_str());
}

void MemSetUserSid(const char *sid)
{
    S().userSid = sid;
}

long PlatProcessList(PlatProcess **processes, uint32_t *count)
{
    long fail;
    *processes = nullptr;
    *count = 0;
    if (Enter(MEM_PROCESS_LIST, &fail))
        return fail;
    if (S().processes.empty())
        return PLAT_OK;
    PlatProcess *out = (PlatProcess *)PlatAllocZero(S().processes.size() * sizeof *out);
    if (!out)
        return PLAT_ERROR_OUTOFMEMORY;
    memcpy(out, S().processes.data(), S().processes.size() * sizeof *out);
    *processes = out;
    *count = (uint32_t)S().processes.size();
    return PLAT_OK;
}

void MemAddProcess(uint32_t id, const char *image, uint64_t startTime)
{
    PlatProcess p = {};
    p.id = id;
    p.startTime = startTime;
    TextCopy(p.image, sizeof p.image, image);
    S().processes.push_back(p);
}

int PlatNamesEqual(const char *a, const char *b)
{
    return FoldedW(FromA(a)) == FoldedW(FromA(b)) ? 1 : 0;
}

uint32_t PlatTextToUtf16(const char *text, void *bytes, uint32_t room)
{
    std::string raw = ToUtf16(FromA(text));
    if (raw.size() > room)
        return 0;
    memcpy(bytes, raw.data(), raw.size());
    return (uint32_t)raw.size();
}

uint32_t PlatCodePage(void)
{
    return S().utf8 ? 65001 : 1252;
}

int32_t PlatResolveShortcut(void *, const char *linkPath, uint32_t flags, char *target,
                            char *comment, char *arguments)
{
    long fail;
    target[0] = comment[0] = arguments[0] = '\0';
    S().lastResolveFlags = flags;
    if (Enter(MEM_RESOLVE_SHORTCUT, &fail))
        return (int32_t)fail;
    Entry *e = FindEntry(linkPath);
    if (!e)
        return (int32_t)0x80070002; // the file is not there
    if (!e->isLink)
        return PLAT_E_FAIL;
    TextCopy(target, PLAT_TEXT_SIZE, e->target.c_str());
    TextCopy(comment, PLAT_TEXT_SIZE, e->comment.c_str());
    TextCopy(arguments, PLAT_TEXT_SIZE, e->arguments.c_str());
    return PLAT_OK;
}

uint32_t PlatVersionSize(const char *path)
{
    long fail;
    NoteTouch(path);
    if (Enter(MEM_VERSION_SIZE, &fail))
        return 0;
    Entry *e = path && path[0] ? FindEntry(path) : nullptr;
    if (!e || !e->hasVersion) {
        LastError() = PLAT_ERROR_FILE_NOT_FOUND;
        return 0;
    }
    return (uint32_t)VersionBlock(e->version).size();
}

int PlatVersionRead(const char *path, uint32_t size, void *block)
{
    long fail;
    NoteTouch(path);
    if (Enter(MEM_VERSION_READ, &fail))
        return 0;
    Entry *e = FindEntry(path);
    if (!e || !e->hasVersion || e->version.readFails) {
        LastError() = PLAT_ERROR_ACCESS_DENIED;
        return 0;
    }
    std::string bytes = VersionBlock(e->version);
    if (bytes.size() > size) {
        LastError() = PLAT_ERROR_MORE_DATA;
        return 0;
    }
    memcpy(block, bytes.data(), bytes.size());
    return 1;
}

int PlatVersionQuery(const void *block, const char *subBlock, const void **value,
                     uint32_t *length)
{
    long fail;
    *value = nullptr;
    *length = 0;
    if (Enter(MEM_VERSION_QUERY, &fail))
        return 0;
    const char *p = (const char *)block;
    if (memcmp(p, kVersionMarker, 4) != 0)
        return 0;
    if (TextCompareNoCase(subBlock, "\\VarFileInfo\\Translation") == 0) {
        if (!p[8])
            return 0;
        *value = p + 4;
        *length = (unsigned char)p[9];
        return 1;
    }
    for (p += 10; *p; ) {
        const char *name = p;
        uint32_t reported;
        memcpy(&reported, name + strlen(name) + 1, 4);
        const char *text = name + strlen(name) + 5;
        if (TextCompareNoCase(name, subBlock) == 0) {
            *value = text;
            *length = reported;
            return 1;
        }
        p = text + strlen(text) + 1;
    }
    return 0;
}

uint32_t PlatExpandEnvironment(const char *source, char *dest, uint32_t destSize)
{
    long fail;
    if (Enter(MEM_EXPAND_ENVIRONMENT, &fail)) {
        TextCopy(dest, destSize, source);
        return 0;
    }
    std::string out;
    const char *p = source;
    while (*p) {
        const char *close = *p == '%' ? strchr(p + 1, '%') : nullptr;
        if (!close) {
            out.push_back(*p++);
            continue;
        }
        auto it = S().env.find(Folded(std::string(p + 1, close)));
        if (close > p + 1 && it != S().env.end()) {
            out += it->second;
            p = close + 1;
        } else {
            // An unknown name stays as written; its closing % may open the next.
            out.append(p, close);
            p = close;
        }
    }
    TextCopy(dest, destSize, out.c_str());
    return (uint32_t)out.size() + 1;
}

void *PlatAllocZero(size_t size)
{
    long fail;
    if (Enter(MEM_ALLOC, &fail))
        return nullptr;
    void *block = calloc(1, size ? size : 1);
    std::lock_guard<std::mutex> held(CallLock());
    if (block)
        S().blocks[block] = size;
    return block;
}

void PlatFree(void *block)
{
    if (!block)
        return;
    // Freeing a block twice, or one that is not ours, is a fault of the logic.
    std::lock_guard<std::mutex> held(CallLock());
    if (!S().blocks.erase(block))
        abort();
    free(block);
}

void PlatErrorText(long code, char *text, size_t size)
{
    long fail;
    Enter(MEM_ERROR_TEXT, &fail);
    std::unique_lock<std::mutex> held(CallLock());
    S().shownErrors.push_back(code);
    held.unlock();
    TextFormat(text, size, "Error %ld.", code);
}

int PlatWriteStream(PlatStream stream, const char *text, size_t length)
{
    long fail;
    if (Enter(MEM_WRITE_STREAM, &fail))
        return 0;
    std::string &out = S().streams[stream == PLAT_STDERR];
    // A console converts each write alone: a character split between two
    // writes shows as U+FFFD, as on Windows.
    for (size_t i = 0; i < length;) {
        unsigned char c = (unsigned char)text[i];
        size_t size = !S().utf8 || c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3
                                               : (c & 0xF8) == 0xF0 ? 4 : 0;
        bool whole = size > 0 && i + size <= length;
        for (size_t k = 1; whole && k < size; ++k)
            whole = ((unsigned char)text[i + k] & 0xC0) == 0x80;
        if (whole)
            out.append(text + i, size);
        else
            out.append("\xEF\xBF\xBD");
        i += whole ? size : 1;
    }
    return 1;
}

int PlatWriteByteOrderMark(PlatStream stream)
{
    if (S().consoleWidth == 0)
        S().streams[stream == PLAT_STDERR].append("\xEF\xBB\xBF");
    return 1;
}

int PlatConsoleWidth(void)
{
    return S().consoleWidth;
}

void MemSetConsoleWidth(int columns)
{
    S().consoleWidth = columns;
}

std::string MemStreamText(PlatStream stream)
{
    return S().streams[stream == PLAT_STDERR];
}

// ---- Task Scheduler ----

namespace {

// A block the task calls hand out: counted as their own call, not as an
// allocation of the logic, so a hook on MEM_ALLOC still finds the scan's.
void *TaskBlock(size_t size)
{
    void *block = calloc(1, size ? size : 1);
    if (block)
        S().blocks[block] = size;
    return block;
}

// The path as the code page gives it.
std::string TaskPath(const MemTask &t)
{
    return t.wideName ? ToA(FromUtf8(t.path)) : t.path;
}

bool SameFolded(const std::string &text, const std::string &folded)
{
    if (text.size() != folded.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if ((char)PlatUpperChar((unsigned char)text[i]) != folded[i])
            return false;
    return true;
}

// Found without a copy per task: thousands are registered in a test.
MemTask *FindTask(const char *path)
{
    const std::string wanted = Folded(path);
    for (MemTask &t : S().tasks)
        if (t.wideName ? SameFolded(TaskPath(t), wanted) : SameFolded(t.path, wanted))
            return &t;
    return nullptr;
}

} // namespace

void MemAddTask(const char *path, const std::string &xml, bool enabled)
{
    MemTask *t = FindTask(path);
    if (t)
        *t = MemTask{path, xml, enabled};
    else
        S().tasks.push_back(MemTask{path, xml, enabled});
}

void MemAddTaskUtf8(const char *utf8Path, const std::string &xml)
{
    MemTask task{utf8Path, xml, true};
    task.wideName = true;
    S().tasks.push_back(task);
}

bool MemTaskExists(const char *path)
{
    return FindTask(path) != nullptr;
}

bool MemTaskEnabled(const char *path)
{
    MemTask *t = FindTask(path);
    return t && t->enabled;
}

void MemSetTaskSecurity(const char *path, const char *sddl)
{
    MemTask *t = FindTask(path);
    if (t)
        t->sddl = sddl;
}

void MemSetTaskSwitchIgnored(bool ignored)
{
    S().taskSwitchIgnored = ignored;
}

long PlatTaskList(char **paths, uint32_t *count, const uint8_t **exact)
{
    long fail;
    *paths = nullptr;
    *count = 0;
    *exact = nullptr;
    if (Enter(MEM_TASK_LIST, &fail))
        return fail;
    std::string all, exactness;
    for (const MemTask &t : S().tasks) {
        std::string given = TaskPath(t);
        all += given + '\0';
        exactness += (char)(!t.wideName || FromA(given) == FromUtf8(t.path));
    }
    char *block = (char *)TaskBlock(all.size() + exactness.size() + 1);
    if (!block)
        return PLAT_ERROR_OUTOFMEMORY;
    memcpy(block, all.data(), all.size());
    memcpy(block + all.size() + 1, exactness.data(), exactness.size());
    *paths = block;
    *count = (uint32_t)S().tasks.size();
    *exact = (const uint8_t *)block + all.size() + 1;
    return PLAT_OK;
}

long PlatTaskRead(const char *path, char **xml, uint32_t *size, int32_t *enabled)
{
    long fail;
    if (xml)
        *xml = nullptr;
    if (size)
        *size = 0;
    if (Enter(MEM_TASK_READ, &fail))
        return fail;
    MemTask *t = FindTask(path);
    if (!t)
        return PLAT_ERROR_FILE_NOT_FOUND;
    if (xml) {
        char *block = (char *)TaskBlock(t->xml.size() + 1);
        if (!block)
            return PLAT_ERROR_OUTOFMEMORY;
        memcpy(block, t->xml.data(), t->xml.size());
        *xml = block;
        if (size)
            *size = (uint32_t)t->xml.size();
    }
    if (enabled)
        *enabled = t->enabled ? 1 : 0;
    return PLAT_OK;
}

long PlatTaskSecurity(const char *path, char **sddl, uint32_t *size)
{
    long fail;
    *sddl = nullptr;
    *size = 0;
    if (Enter(MEM_TASK_SECURITY, &fail))
        return fail;
    MemTask *t = FindTask(path);
    if (!t)
        return PLAT_ERROR_FILE_NOT_FOUND;
    char *block = (char *)TaskBlock(t->sddl.size() + 1);
    if (!block)
        return PLAT_ERROR_OUTOFMEMORY;
    memcpy(block, t->sddl.data(), t->sddl.size());
    *sddl = block;
    *size = (uint32_t)t->sddl.size();
    return PLAT_OK;
}

long PlatTaskSetEnabled(const char *path, int32_t enabled)
{
    long fail;
    if (Enter(MEM_TASK_SET_ENABLED, &fail))
        return fail;
    MemTask *t = FindTask(path);
    if (!t)
        return PLAT_ERROR_FILE_NOT_FOUND;
    if (!S().taskSwitchIgnored)
        t->enabled = enabled != 0;
    return PLAT_OK;
}

long PlatTaskDelete(const char *path)
{
    long fail;
    if (Enter(MEM_TASK_DELETE, &fail))
        return fail;
    std::vector<MemTask> &tasks = S().tasks;
    for (size_t i = 0; i < tasks.size(); ++i) {
        if (Folded(tasks[i].path) == Folded(path)) {
            tasks.erase(tasks.begin() + (long)i);
            return PLAT_OK;
        }
    }
    return PLAT_ERROR_FILE_NOT_FOUND;
}

long PlatTaskRegister(const char *path, const char *xml, const char *sddl)
{
    long fail;
    if (Enter(MEM_TASK_REGISTER, &fail))
        return fail;
    if (FindTask(path))
        return PLAT_ERROR_ALREADY_EXISTS;
    std::string kept = xml;
    if (S().taskRegisterStrips) {
        for (const char *element : {"Triggers", "Principals", "Actions"}) {
            size_t open = kept.find(std::string("<") + element);
            size_t close = kept.find(std::string("</") + element + ">");
            if (open != std::string::npos && close != std::string::npos)
                kept.erase(open, close + strlen(element) + 3 - open);
        }
    }
    MemTask task;
    task.path = path;
    task.xml = kept;
    task.enabled = true;
    task.sddl = sddl ? sddl : MEM_TASK_DEFAULT_SDDL;
    S().tasks.push_back(task);
    return PLAT_OK;
}

std::string MemTaskXml(const char *path)
{
    MemTask *t = FindTask(path);
    return t ? t->xml : std::string();
}

void MemSetTaskRegisterStrips(bool strips)
{
    S().taskRegisterStrips = strips;
}

// ---- threads ----

// Real threads: the worker's logic runs concurrently as on Windows. The
// stand-in's storage is not locked, so a test touches it only while the
// thread waits in a hook of its own or has been joined.
PlatThread PlatStartThread(void (*run)(void *context), void *context)
{
    long fail;
    if (Enter(MEM_START_THREAD, &fail))
        return NULL;
    return (PlatThread) new std::thread(run, context);
}

void PlatJoinThread(PlatThread thread)
{
    if (!thread)
        return;
    std::thread *running = (std::thread *)thread;
    running->join();
    delete running;
}

PlatLock PlatNewLock(void)
{
    return (PlatLock) new std::mutex();
}

void PlatEnterLock(PlatLock lock)
{
    ((std::mutex *)lock)->lock();
}

void PlatLeaveLock(PlatLock lock)
{
    ((std::mutex *)lock)->unlock();
}

void PlatFreeLock(PlatLock lock)
{
    delete (std::mutex *)lock;
}

int PlatProcessorCount(void)
{
    return S().processors;
}

void MemSetProcessorCount(int count)
{
    S().processors = count;
}

// ---- Services ----

void MemAddService(const MemService &service)
{
    for (MemService &s : S().services)
        if (Folded(s.name.c_str()) == Folded(service.name.c_str())) {
            s = service;
            return;
        }
    S().services.push_back(service);
}

namespace {

std::string ServiceName(const MemService &s)
{
    return s.wideName ? ToA(FromUtf8(s.name)) : s.name;
}

// Cut as the Win32 side cuts: at the field, terminated.
void CopyCut(char *field, size_t size, const std::string &text, int32_t *cut = nullptr)
{
    size_t length = text.size() < size ? text.size() : size - 1;
    memcpy(field, text.data(), length);
    field[length] = '\0';
    if (cut)
        *cut = text.size() >= size;
}

} // namespace

long PlatServiceList(PlatServiceStatus **services, uint32_t *count)
{
    long fail;
    *services = nullptr;
    *count = 0;
    if (Enter(MEM_SERVICE_LIST, &fail))
        return fail;
    std::vector<const MemService *> listed;
    for (const MemService &s : S().services)
        if (s.type & (PLAT_SERVICE_OWN_PROCESS | PLAT_SERVICE_SHARE_PROCESS))
            listed.push_back(&s);
    if (listed.empty())
        return PLAT_OK;
    PlatServiceStatus *out = (PlatServiceStatus *)TaskBlock(listed.size() * sizeof *out);
    if (!out)
        return PLAT_ERROR_OUTOFMEMORY;
    for (size_t i = 0; i < listed.size(); ++i) {
        const MemService &s = *listed[i];
        std::string given = ServiceName(s);
        int32_t cut = 0;
        CopyCut(out[i].name, sizeof out[i].name, given, &cut);
        out[i].exact = !cut && (!s.wideName || FromA(given) == FromUtf8(s.name));
        CopyCut(out[i].displayName, sizeof out[i].displayName, s.displayName);
        out[i].type = s.type;
        out[i].state = s.state;
        out[i].processId = s.processId;
    }
    *services = out;
    *count = (uint32_t)listed.size();
    return PLAT_OK;
}

long PlatServiceQuery(const char *name, PlatServiceConfig *config)
{
    long fail;
    memset(config, 0, sizeof *config);
    config->delayed = -1;
    if (Enter(MEM_SERVICE_QUERY, &fail))
        return fail;
    for (const MemService &s : S().services) {
        // Win32 widens the name given: one the code page changed reaches none.
        if (Folded(ServiceName(s).c_str()) != Folded(name)
            || (s.wideName && FromA(name) != FromUtf8(s.name)))
            continue;
        config->type = s.type;
        config->startType = s.startType;
        config->delayed = s.delayed;
        CopyCut(config->binaryPath, sizeof config->binaryPath, s.binaryPath,
                &config->binaryPathCut);
        CopyCut(config->account, sizeof config->account, s.account);
        CopyCut(config->description, sizeof config->description, s.description);
        return PLAT_OK;
    }
    return PLAT_ERROR_SERVICE_DOES_NOT_EXIST;
}

int MemServiceStart(const char *name)
{
    for (const MemService &s : S().services)
        if (Folded(ServiceName(s).c_str()) == Folded(name))
            return (int)s.startType;
    return -1;
}

void MemSetServiceChangeIgnored(bool ignored)
{
    S().serviceChangeIgnored = ignored;
}

long PlatServiceSetStart(const char *name, uint32_t startType)
{
    long fail;
    if (Enter(MEM_SERVICE_SET_START, &fail))
        return fail;
    for (MemService &s : S().services) {
        if (Folded(ServiceName(s).c_str()) != Folded(name))
            continue;
        if (S().serviceChangeIgnored)
            return PLAT_ERROR_WRITE_FAULT;
        s.startType = startType;
        std::string start((const char *)&startType, 4);
        MemSetValue(PLAT_HKLM, ("System\\CurrentControlSet\\Services\\" + s.name).c_str(),
                    "Start", PLAT_REG_DWORD, start);
        return PLAT_OK;
    }
    return PLAT_ERROR_SERVICE_DOES_NOT_EXIST;
}
