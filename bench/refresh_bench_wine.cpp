// refresh_bench_wine.cpp - what a Refresh costs under Wine, against the
// floor of the platform calls any scan of the same storage must make.
//
// For N = 100, 1000 and 5000 entries (spread over all Run-family keys and
// their "-" keys in both hives and the four folders, about one in ten a
// shortcut, every target orvane_probe.exe with its version resource) it
// prints the median of several Refreshes (ScanCatalogue plus FillListView on
// a real list), the floor (a bare loop of the same platform calls: both
// enumeration passes, two version reads per entry, one link resolve per
// shortcut, one shell icon per item), their ratio, the cost per entry and
// the catalogue's memory. 100 scheduled tasks with a logon trigger are
// added as task files (Wine's scheduler cannot list them); the floor pays
// for the scheduler's failing listing and for reading each file once.
// Run with tools/bench.sh; it changes the autostart places and the task
// files of the prefix it runs in, so give it a scratch one. "window" times
// the real window's Refresh; "console" the console program's commands on
// one entry against its whole list.
#include "../catalogue/catalogue.h"
#include "../tests/gui/gui_support.h"
#include "../tests/integration/wine_places.h"
#include "../ui/ui.h"

#include <objbase.h>
#include <softpub.h>
#include <wintrust.h>
#include <shellapi.h>
#include <taskschd.h>
#include <shlobj.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

double Now()
{
    static LARGE_INTEGER frequency;
    if (!frequency.QuadPart)
        QueryPerformanceFrequency(&frequency);
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return (double)counter.QuadPart / (double)frequency.QuadPart;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::vector<std::string> Folders()
{
    return {ShellFolder(CSIDL_STARTUP), ShellFolder(CSIDL_COMMON_STARTUP),
            ShellFolder(CSIDL_PERSONAL) + "\\" DISABLED_USER_FOLDER,
            ShellFolder(CSIDL_COMMON_DOCUMENTS) + "\\" DISABLED_ALL_FOLDER};
}

// Entry i starts targets[i] when given (distinct files: no cache of any
// kind hides a file's cost), else the probe.
void Seed(int count, const std::string &probe, const std::vector<std::string> &targets = {})
{
    EmptyAllPlaces();
    std::vector<std::string> folders = Folders();
    for (const std::string &folder : folders)
        CreateDirectoryA(folder.c_str(), NULL);
    for (int i = 0; i < count; ++i) {
        const std::string &target = i < (int)targets.size() ? targets[i] : probe;
        std::string command = "\"" + target + "\" -bench";
        char name[64];
        if (i % 10 == 9) {
            snprintf(name, sizeof name, "\\Bench %05d.lnk", i);
            MakeShortcut(folders[(i / 10) % 4] + name, target, "-bench", "bench");
            continue;
        }
        // Six registry rows per key: the user's and both machine views, each
        // with its "-" key; every enabled Run value has an approval value,
        // every other one switched off.
        int place = i % 30;
        int row = place % 6;
        // RunOnceEx's entries live in a section, as Windows lays them out.
        std::string key = std::string(CURRENT_VERSION_KEY "\\") + RunKeyNames[place / 6]
                          + (row % 2 ? "-" : "") + (place / 6 == 4 ? "\\0001" : "");
        HKEY hive = row < 2 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
        REGSAM view = row < 2 ? 0 : row < 4 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
        snprintf(name, sizeof name, "Bench %05d", i);
        SetString(hive, key.c_str(), name, command, view);
        if (place / 6 == 0 && row % 2 == 0) {
            std::string approval(12, '\0');
            approval[0] = (i / 30) % 2 ? 0x03 : 0x02;
            SetBytes(hive, row < 4 ? APPROVED_KEY "\\Run" : APPROVED_KEY "\\Run32", name,
                     REG_BINARY, approval, view ? KEY_WOW64_64KEY : 0);
        }
    }
}

std::string BenchTasksFolder()
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof system);
    return std::string(system) + "\\Tasks\\OrvaneBench";
}

void RemoveBenchTasks()
{
    std::string folder = BenchTasksFolder();
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do
            DeleteFileA((folder + "\\" + found.cFileName).c_str());
        while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

// Task files as the scheduler writes them: UTF-16LE after a byte-order mark.
void SeedTasks(int count, const std::string &probe)
{
    RemoveBenchTasks();
    CreateDirectoryA(BenchTasksFolder().c_str(), NULL);
    for (int i = 0; i < count; ++i) {
        char name[64];
        snprintf(name, sizeof name, "\\Bench Task %03d", i);
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Task version=\"1.2\" "
                          "xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
                          "<RegistrationInfo><Author>Bench</Author></RegistrationInfo><Triggers>"
                          "<LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>"
                          "<Settings><Enabled>true</Enabled></Settings><Actions><Exec><Command>"
                          + probe + "</Command><Arguments>-bench</Arguments></Exec></Actions></Task>";
        std::wstring wide(xml.begin(), xml.end());
        HANDLE file = CreateFileA((BenchTasksFolder() + name).c_str(), GENERIC_WRITE, 0, NULL,
                                  CREATE_ALWAYS, 0, NULL);
        DWORD written = 0;
        WriteFile(file, "\xff\xfe", 2, &written, NULL);
        WriteFile(file, wide.data(), (DWORD)(wide.size() * 2), &written, NULL);
        CloseHandle(file);
    }
}

// ---- the floor: the platform calls alone --------------------------------

void ReadVersionTwice(const char *path);
void ShellIcon(const char *path);

// The scheduler's listing, which fails under Wine, then each task file read
// once, with the version reads and the icon of its program.
int TaskFloor(bool load, bool icons, const std::string &probe)
{
    ITaskService *service = NULL;
    if (SUCCEEDED(CoCreateInstance(CLSID_TaskScheduler, NULL, CLSCTX_INPROC_SERVER,
                                   IID_ITaskService, (void **)&service))) {
        VARIANT empty;
        VariantInit(&empty);
        ITaskFolder *root = NULL;
        IRegisteredTaskCollection *tasks = NULL;
        LONG count = 0;
        BSTR name = SysAllocString(L"\\");
        if (SUCCEEDED(service->Connect(empty, empty, empty, empty))
            && SUCCEEDED(service->GetFolder(name, &root))) {
            if (SUCCEEDED(root->GetTasks(TASK_ENUM_HIDDEN, &tasks))) {
                tasks->get_Count(&count);
                tasks->Release();
            }
            root->Release();
        }
        SysFreeString(name);
        service->Release();
    }
    int entries = 0;
    WIN32_FIND_DATAA found;
    std::string folder = BenchTasksFolder();
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        ++entries;
        if (!load)
            continue;
        HANDLE file = CreateFileA((folder + "\\" + found.cFileName).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
        char bytes[4096];
        DWORD got = 0;
        ReadFile(file, bytes, sizeof bytes, &got, NULL);
        CloseHandle(file);
        ReadVersionTwice(probe.c_str());
        if (icons)
            ShellIcon(probe.c_str());
    } while (FindNextFileA(find, &found));
    FindClose(find);
    return entries;
}

void ReadVersionTwice(const char *path)
{
    for (int which = 0; which < 2; ++which) {
        DWORD unused = 0;
        DWORD size = GetFileVersionInfoSizeA(path, &unused);
        if (!size)
            continue;
        std::vector<char> block(size);
        if (!GetFileVersionInfoA(path, 0, size, block.data()))
            continue;
        void *value = NULL;
        UINT length = 0;
        VerQueryValueA(block.data(), "\\VarFileInfo\\Translation", &value, &length);
        VerQueryValueA(block.data(),
                       which ? "\\StringFileInfo\\040904B0\\CompanyName"
                             : "\\StringFileInfo\\040904B0\\FileDescription",
                       &value, &length);
    }
}

void ShellIcon(const char *path)
{
    SHFILEINFOA info;
    memset(&info, 0, sizeof info);
    if (SHGetFileInfoA(path, 0, &info, sizeof info, SHGFI_ICON | SHGFI_SMALLICON) && info.hIcon)
        DestroyIcon(info.hIcon);
}

void ResolveLink(const std::string &path, char *target)
{
    IShellLinkA *link = NULL;
    target[0] = '\0';
    if (FAILED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void **)&link)))
        return;
    IPersistFile *file = NULL;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file))) {
        WCHAR wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH);
        if (SUCCEEDED(file->Load(wide, STGM_READ)) && SUCCEEDED(link->Resolve(NULL, SLR_NO_UI))) {
            WIN32_FIND_DATAA found;
            char text[MAX_PATH];
            link->GetPath(target, MAX_PATH, &found, SLGP_SHORTPATH);
            link->GetDescription(text, MAX_PATH);
            link->GetArguments(text, MAX_PATH);
        }
        file->Release();
    }
    link->Release();
}

// One approval value read, as the scan reads it for a governed entry.
void ReadApproval(HKEY hive, const char *list, const char *name)
{
    HKEY opened;
    std::string path = std::string(APPROVED_KEY "\\") + list;
    if (RegOpenKeyExA(hive, path.c_str(), 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &opened))
        return;
    BYTE value[64];
    DWORD size = sizeof value;
    RegQueryValueExA(opened, name, NULL, NULL, value, &size);
    RegCloseKey(opened);
}

int FloorPass(bool load, bool icons = true)
{
    int entries = 0;
    for (const char *key : RunKeyNames) {
        for (const RegistryRoot &root : RegistryRoots) {
            HKEY hive = root.hive;
            for (const char *suffix : {"", "-"}) {
                // RunOnceEx: the values of its section (the one the seeding uses).
                std::string path = std::string(CURRENT_VERSION_KEY "\\") + key + suffix
                                   + (key == RunKeyNames[4] ? "\\0001" : "");
                HKEY opened;
                if (RegOpenKeyExA(hive, path.c_str(), 0, KEY_QUERY_VALUE | root.view, &opened))
                    continue;
                for (DWORD index = 0;; ++index) {
                    char name[MAX_PATH], data[MAX_PATH], target[MAX_PATH];
                    DWORD nameLength = sizeof name, size = sizeof data;
                    LONG result = RegEnumValueA(opened, index, name, &nameLength, NULL, NULL,
                                                load ? (BYTE *)data : NULL, load ? &size : NULL);
                    if (result == ERROR_NO_MORE_ITEMS)
                        break;
                    ++entries;
                    if (!load)
                        continue;
                    if (!suffix[0] && key == RunKeyNames[0])
                        ReadApproval(hive, root.view == KEY_WOW64_32KEY ? "Run32" : "Run", name);
                    ExpandEnvironmentStringsA(data, target, sizeof target);
                    char *quote = strchr(data + 1, '"');
                    if (quote)
                        *quote = '\0';
                    ReadVersionTwice(data + 1);
                    if (icons)
                        ShellIcon(data + 1);
                }
                RegCloseKey(opened);
            }
        }
    }
    int csidls[] = {CSIDL_STARTUP, CSIDL_COMMON_STARTUP, CSIDL_PERSONAL, CSIDL_COMMON_DOCUMENTS};
    for (int csidl : csidls) {
        char folder[MAX_PATH];
        if (!SHGetSpecialFolderPathA(NULL, folder, csidl, TRUE))
            continue;
        std::string path = folder;
        if (csidl == CSIDL_PERSONAL || csidl == CSIDL_COMMON_DOCUMENTS) {
            CreateDirectoryA(path.c_str(), NULL);
            path += csidl == CSIDL_PERSONAL ? "\\" DISABLED_USER_FOLDER : "\\" DISABLED_ALL_FOLDER;
            CreateDirectoryA(path.c_str(), NULL);
        }
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((path + "\\*.lnk").c_str(), &found);
        if (find == INVALID_HANDLE_VALUE)
            continue;
        do {
            ++entries;
            if (!load)
                continue;
            if (csidl == CSIDL_STARTUP || csidl == CSIDL_COMMON_STARTUP)
                ReadApproval(csidl == CSIDL_STARTUP ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE,
                             "StartupFolder", found.cFileName);
            char target[MAX_PATH];
            ResolveLink(path + "\\" + found.cFileName, target);
            ReadVersionTwice(target);
            if (icons)
                ShellIcon(target);
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    return entries;
}

// ---- the program's Refresh ----------------------------------------------


// ---- the window: rows first, details behind, and its answers -----------

// Another thread asks the window for an answer (WM_NULL) again and again:
// the longest wait is the longest the window kept the user waiting.
struct AnswerProbe {
    HWND window;
    volatile LONG running;
    double longest;
};

DWORD WINAPI ProbeAnswers(void *context)
{
    AnswerProbe *probe = (AnswerProbe *)context;
    while (probe->running) {
        double start = Now();
        DWORD_PTR result = 0;
        SendMessageTimeoutA(probe->window, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &result);
        probe->longest = std::max(probe->longest, Now() - start);
        Sleep(2);
    }
    return 0;
}

int RecordsPending()
{
    int pending = 0;
    for (int i = 0; i < ItemCatalogue.count; ++i)
        pending += ItemCatalogue.items[i].detailsPending != 0;
    return pending;
}

// Serves the window's queue until seen() holds.
template <typename Seen> void PumpUntil(Seen seen)
{
    while (!seen()) {
        MSG message;
        if (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        } else {
            MsgWaitForMultipleObjects(0, NULL, FALSE, 20, QS_ALLINPUT);
        }
    }
}

// New copies for every run: the program's caches (icons, signatures) are
// keyed by path, so a file read in an earlier run would hide its cost.
std::vector<std::string> ProbeCopies(int count, const std::string &probe, int run)
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + "OrvaneBenchTargets";
    CreateDirectoryA(folder.c_str(), NULL);
    std::vector<std::string> copies;
    for (int i = 0; i < count; ++i) {
        char name[32];
        snprintf(name, sizeof name, "\\target%d-%05d.exe", run, i);
        copies.push_back(folder + name);
        CopyFileA(probe.c_str(), copies.back().c_str(), FALSE);
    }
    return copies;
}

// The bare signature check of each target, as the program asks for it
// (no network, no user interface): what verification may cost at most.
double VerifyFloor(const std::vector<std::string> &targets)
{
    double start = Now();
    for (const std::string &target : targets) {
        WCHAR path[MAX_PATH];
        MultiByteToWideChar(CP_UTF8, 0, target.c_str(), -1, path, MAX_PATH);
        WINTRUST_FILE_INFO file = {};
        file.cbStruct = sizeof file;
        file.pcwszFilePath = path;
        WINTRUST_DATA data = {};
        data.cbStruct = sizeof data;
        data.dwUIChoice = WTD_UI_NONE;
        data.fdwRevocationChecks = WTD_REVOKE_NONE;
        data.dwUnionChoice = WTD_CHOICE_FILE;
        data.pFile = &file;
        data.dwStateAction = WTD_STATEACTION_VERIFY;
        data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL;
        GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
        WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
        data.dwStateAction = WTD_STATEACTION_CLOSE;
        WinVerifyTrust((HWND)INVALID_HANDLE_VALUE, &action, &data);
    }
    return Now() - start;
}

// The real window's Refresh of N entries, median of runs: until every row
// is in the list, until every row's details are in, the longest answer,
// and the floor of the same storage (read after the Refresh, so the floor
// of distinct targets meets files the system has just read: a low floor).
void WindowBench(int runs, const std::vector<int> &sizes, const std::string &probe)
{
    EnsureMainWindow();
    ShowWindow(MainWindow, SW_SHOWNORMAL);
    SeedTasks(0, probe);
    printf("%-6s %-9s %10s %12s %12s %10s %10s %10s %12s %14s\n", "N", "targets", "rows ms",
           "details ms", "answer ms", "floor ms", "verify ms", "rows/fl", "details/fl",
           "unverified/fl");
    for (int count : sizes) {
        for (int distinct = 1; distinct >= 0; --distinct) {
            std::vector<double> rows, details, answers, floor, verify;
            for (int run = 0; run < runs; ++run) {
                std::vector<std::string> targets =
                    distinct ? ProbeCopies(count, probe, run) : std::vector<std::string>();
                if (distinct || run == 0)
                    Seed(count, probe, targets);
                if (!distinct)
                    targets.assign((size_t)count, probe);
                AnswerProbe answer = {MainWindow, 1, 0.0};
                HANDLE thread = CreateThread(NULL, 0, ProbeAnswers, &answer, 0, NULL);
                Sleep(20);
                const AutostartItem *before = ItemCatalogue.items;
                double start = Now();
                SendMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, 1);
                // The worker hands its block over in one step: the rows are in.
                PumpUntil([&] { return ItemCatalogue.items != before; });
                double listed = Now();
                PumpUntil([] { return RecordsPending() == 0; });
                double done = Now();
                InterlockedExchange(&answer.running, 0);
                while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT)
                       != WAIT_OBJECT_0)
                    Pump();
                CloseHandle(thread);
                rows.push_back(listed - start);
                details.push_back(done - start);
                answers.push_back(answer.longest);
                int shown = (int)SendMessageA(ItemListWindow, LVM_GETITEMCOUNT, 0, 0);
                start = Now();
                FloorPass(false);
                FloorPass(true);
                TaskFloor(true, true, probe);
                floor.push_back(Now() - start);
                verify.push_back(VerifyFloor(targets));
                if (shown != count)
                    printf("warning: %d rows of %d\n", shown, count);
            }
            double r = Median(rows) * 1000.0, d = Median(details) * 1000.0;
            double a = Median(answers) * 1000.0, f = Median(floor) * 1000.0;
            double v = Median(verify) * 1000.0;
            // Details without signatures: the bare checks of the same files taken off.
            printf("%-6d %-9s %10.1f %12.1f %12.1f %10.1f %10.1f %10.2f %12.2f %14.2f\n", count,
                   distinct ? "distinct" : "shared", r, d, a, f, v, r / f, d / f, (d - v) / f);
            fflush(stdout);
        }
    }
    EmptyAllPlaces();
    RemoveBenchTasks();
}

// The console program beside this one run as a user runs it, its output
// thrown away: the seconds until it exits.
double RunConsole(const std::string &arguments)
{
    char self[MAX_PATH];
    GetModuleFileNameA(NULL, self, sizeof self);
    std::string program = self;
    program = program.substr(0, program.rfind('\\') + 1) + "orvanec.exe";
    std::string line = "\"" + program + "\" " + arguments;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE nothing = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 &inherit, OPEN_EXISTING, 0, NULL);
    STARTUPINFOA start = {};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = nothing;
    start.hStdOutput = nothing;
    start.hStdError = nothing;
    PROCESS_INFORMATION process = {};
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    double began = Now();
    if (!CreateProcessA(program.c_str(), text.data(), NULL, NULL, TRUE, 0, NULL, NULL, &start,
                        &process)) {
        printf("warning: %s could not be started\n", program.c_str());
        CloseHandle(nothing);
        return 0.0;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    double took = Now() - began;
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    if (code != 0)
        printf("warning: orvanec %s exited %lu\n", arguments.c_str(), (unsigned long)code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(nothing);
    return took;
}

// "orvanec disable ID" and "enable ID" of one Run value against a whole
// "orvanec list" of the same N entries, median of runs, each a process of
// its own (no cache of one run helps the next). The list of entries seen
// exists, so each change is accepted into it as a user's would be.
void ConsoleBench(int runs, const std::vector<int> &sizes, const std::string &probe)
{
    SeedTasks(0, probe);
    printf("%-6s %10s %12s %12s %12s %12s\n", "N", "list ms", "disable ms", "enable ms",
           "disable/list", "enable/list");
    for (int count : sizes) {
        Seed(count, probe);
        RunConsole("diff");
        const std::string id = "\"HKCU\\" RUN_KEY "\\\\Bench 00000\"";
        std::vector<double> list, disable, enable;
        for (int run = 0; run < runs; ++run) {
            list.push_back(RunConsole("list"));
            disable.push_back(RunConsole("disable " + id));
            enable.push_back(RunConsole("enable " + id));
        }
        double l = Median(list) * 1000.0, d = Median(disable) * 1000.0;
        double e = Median(enable) * 1000.0;
        printf("%-6d %10.1f %12.1f %12.1f %12.2f %12.2f\n", count, l, d, e, d / l, e / l);
        fflush(stdout);
    }
    EmptyAllPlaces();
}

} // namespace

int main(int argc, char **argv)
{
    CoInitialize(NULL);
    // "window RUNS [N]": the real window, rows and details side by side.
    if (argc > 1 && strcmp(argv[1], "window") == 0) {
        std::vector<int> sizes = {100, 1000};
        if (argc > 3)
            sizes = {atoi(argv[3])};
        WindowBench(argc > 2 ? atoi(argv[2]) : 3, sizes, ProbePath());
        return 0;
    }
    // "console RUNS [N]": the console program on one entry against its list.
    if (argc > 1 && strcmp(argv[1], "console") == 0) {
        std::vector<int> sizes = {1000};
        if (argc > 3)
            sizes = {atoi(argv[3])};
        ConsoleBench(argc > 2 ? atoi(argv[2]) : 3, sizes, ProbePath());
        return 0;
    }
    int runs = argc > 1 ? atoi(argv[1]) : 5;
    std::string probe = ProbePath();
    HWND list = MakeHiddenItemList();
    printf("%-6s %12s %12s %10s %10s %12s %12s %7s %14s %14s %12s\n", "N", "first ms",
           "refresh ms", "scan ms", "list ms", "floor ms", "scan floor", "ratio", "refresh us/e",
           "floor us/e", "catalogue KB");
    std::vector<int> sizes = {100, 1000, 5000};
    if (argc > 2)
        sizes = {atoi(argv[2])};
    const int taskCount = argc > 3 ? atoi(argv[3]) : 100;
    SeedTasks(taskCount, probe);
    for (int count : sizes) {
        Seed(count, probe);
        std::vector<double> refresh, floor, scan, scanFloor;
        // The first Refresh after seeding is timed on its own; then the
        // Refresh of unchanged storage and the floor alternate, so both see
        // the same caches.
        double first = Now();
        ScanCatalogue();
        FillListView(list);
        first = (Now() - first) * 1000.0;
        FloorPass(false);
        FloorPass(true);
        for (int run = 0; run < runs; ++run) {
            double start = Now();
            ScanCatalogue();
            double scanned = Now();
            FillListView(list);
            refresh.push_back(Now() - start);
            scan.push_back(scanned - start);
            start = Now();
            int counted = FloorPass(false);
            int loaded = FloorPass(true) + TaskFloor(true, true, probe);
            floor.push_back(Now() - start);
            start = Now();
            FloorPass(false);
            FloorPass(true, false);
            TaskFloor(true, false, probe);
            scanFloor.push_back(Now() - start);
            if (counted != count || loaded != count + taskCount
                || ItemCatalogue.count != count + taskCount)
                printf("warning: counted %d, loaded %d, catalogue %d of %d + %d tasks\n", counted,
                       loaded, ItemCatalogue.count, count, taskCount);
        }
        double r = Median(refresh) * 1000.0, f = Median(floor) * 1000.0;
        double sc = Median(scan) * 1000.0, sf = Median(scanFloor) * 1000.0;
        double memory = (double)(ItemCatalogue.capacity + 1) * sizeof(AutostartItem) / 1024.0;
        printf("%-6d %12.1f %12.1f %10.1f %10.1f %12.1f %12.1f %7.2f %14.1f %14.1f %12.0f\n",
               count, first, r, sc, r - sc, f, sf, r / f, r * 1000.0 / count,
               f * 1000.0 / count, memory);
        fflush(stdout);
    }
    EmptyAllPlaces();
    RemoveBenchTasks();
    return 0;
}
