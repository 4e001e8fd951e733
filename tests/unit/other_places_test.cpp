// other_places_test.cpp - the other places Windows starts a program from by
// itself: each listed with the file Windows runs or loads, at the edges of
// what starts it; Windows' own left out or hidden; nothing read with the
// option off; every change refused; a value that cannot be read said.
#include "../../cli/cli.h"
#include "../../store/remembered.h"
#include "../../store/store.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char *const kSys = "C:\\WINDOWS\\System32\\";

std::vector<std::string> *Told;
void Tell(void *, const char *subject, const char *text)
{
    Told->push_back(std::string(subject) + ": " + text);
}

void SetDword(PlatHive hive, const std::string &path, const char *name, uint32_t value)
{
    MemSetValue(hive, path.c_str(), name, PLAT_REG_DWORD, std::string((const char *)&value, 4));
}

// A REG_MULTI_SZ of the strings, each terminated, and the list's end.
void SetMulti(const char *path, const char *name, std::initializer_list<std::string> strings)
{
    std::string bytes;
    for (const std::string &s : strings)
        bytes += s + '\0';
    MemSetValue(PLAT_HKLM, path, name, PLAT_REG_MULTI_SZ, bytes + '\0');
}

std::string Ifeo(const char *exe) { return std::string(IFEO_KEY "\\") + exe; }

class OtherPlaces : public testing::Test {
protected:
    std::vector<std::string> told;
    void SetUp() override
    {
        MemReset();
        ForgetSignatures();
        Statuses.clear();
        MemSetEnv("SystemRoot", "C:\\WINDOWS");
        Told = &told;
        CatalogueErrors = Tell;
        ListOtherPlaces = 1;
    }
    void TearDown() override
    {
        CatalogueErrors = nullptr;
        ListOtherPlaces = 0;
    }
    const AutostartItem *Row(const char *name)
    {
        int i = IndexOf(name);
        return i < 0 ? nullptr : &ItemCatalogue.items[i];
    }
    // Every place planted: what Windows starts from each, and beside it
    // what it does not (a GlobalFlag without the bit, Windows' own entries).
    void Plant()
    {
        MemSetString(PLAT_HKLM, Ifeo("sethc.exe").c_str(), "Debugger",
                     "\"C:\\Tools\\dbg.exe\" -attach --quiet");
        SetDword(PLAT_HKLM, Ifeo("quiet.exe"), "GlobalFlag", 0x100);
        SetDword(PLAT_HKLM, Ifeo("notepad.exe"), "UseFilter", 1);
        MemSetString(PLAT_HKLM, (Ifeo("notepad.exe") + "\\f1").c_str(), "FilterFullPath",
                     "C:\\Apps\\notepad.exe");
        MemSetString(PLAT_HKLM, (Ifeo("notepad.exe") + "\\f1").c_str(), "Debugger",
                     "C:\\Tools\\e.exe");
        MemSetString(PLAT_HKLM, SILENT_EXIT_KEY "\\quiet.exe", "MonitorProcess", "C:\\Tools\\w.exe");
        MemSetString(PLAT_HKLM, Ifeo("mon.exe").c_str(), "GlobalFlag", "0x200");
        MemSetString(PLAT_HKLM, SILENT_EXIT_KEY "\\mon.exe", "MonitorProcess",
                     "C:\\Tools\\w.exe %e");
        MemAddFile("C:\\Tools\\w.exe");
        MemSetString(PLAT_HKLM, LEGACY_WINDOWS_KEY, "AppInit_DLLs", "C:\\Tools\\a.dll, hook  last");
        MemSetString(PLAT_HKLM, APP_CERT_KEY, "Vendor", "C:\\Tools\\cert.dll");
        SetMulti(SESSION_MANAGER_KEY, "BootExecute",
                 {"autocheck  AUTOCHK *", "", "autocheck vendorchk /x *", "\\??\\C:\\Tools\\n.exe",
                  "async debug \\??\\C:\\Tools\\b.exe -z"});
        SetMulti(LSA_KEY, "Security Packages", {"\"\"", "kerberos", "msv1_0.dll"});
        SetMulti(LSA_KEY, "Notification Packages", {"scecli", "  filter "});
        MemSetString(PLAT_HKLM, RUN_KEY, "Tool", "C:\\Tools\\tool.exe");
    }
};

struct Expected {
    const char *name, *type, *state, *target, *parameters;
};

} // namespace

TEST_F(OtherPlaces, EachPlaceIsListedWithTheFileWindowsRunsOrLoads)
{
    Plant();
    ScanCatalogue();
    const std::string sys = kSys;
    const std::string hook = sys + "hook.dll", last = sys + "last.dll";
    const std::string chk = sys + "vendorchk.exe", filter = sys + "filter.dll";
    const Expected rows[] = {
        {"Debugger of sethc.exe", "IFEO", STATE_READ_ONLY, "C:\\Tools\\dbg.exe", "-attach --quiet"},
        {"Debugger of C:\\Apps\\notepad.exe", "IFEO", STATE_READ_ONLY, "C:\\Tools\\e.exe", ""},
        {"On exit of mon.exe", "EXIT", STATE_READ_ONLY_OFF, "C:\\Tools\\w.exe", "%e"},
        {"AppInit_DLLs: C:\\Tools\\a.dll", "DLL", STATE_READ_ONLY_OFF, "C:\\Tools\\a.dll", ""},
        {"AppInit_DLLs: hook", "DLL", STATE_READ_ONLY_OFF, hook.c_str(), ""},
        {"AppInit_DLLs: last", "DLL", STATE_READ_ONLY_OFF, last.c_str(), ""},
        {"AppCertDLLs: Vendor", "DLL", STATE_READ_ONLY, "C:\\Tools\\cert.dll", ""},
        {"BootExecute: autocheck vendorchk /x *", "BOOT", STATE_READ_ONLY, chk.c_str(), "/x *"},
        {"BootExecute: \\??\\C:\\Tools\\n.exe", "BOOT", STATE_READ_ONLY, "C:\\Tools\\n.exe", ""},
        {"BootExecute: async debug \\??\\C:\\Tools\\b.exe -z", "BOOT", STATE_READ_ONLY,
         "C:\\Tools\\b.exe", "-z"},
        {"Notification Packages: filter", "LSA", STATE_READ_ONLY, filter.c_str(), ""},
    };
    // The Run value, and the rows above: nothing of quiet.exe, autochk or
    // Windows' own packages.
    ASSERT_EQ(12, ItemCatalogue.count);
    for (const Expected &e : rows) {
        const AutostartItem *item = Row(e.name);
        ASSERT_TRUE(item) << e.name;
        EXPECT_STREQ(e.type, ItemTypeText(item)) << e.name;
        EXPECT_STREQ(e.state, ItemStateText(item)) << e.name;
        EXPECT_STREQ(e.target, item->target) << e.name;
        EXPECT_STREQ(e.parameters, item->parameters) << e.name;
    }
    char notes[4 * TEXT_FIELD_SIZE], id[ITEM_ID_SIZE];
    ItemNotes(Row("On exit of mon.exe"), notes, sizeof notes);
    EXPECT_NE(std::string::npos, std::string(notes).find(NOTE_SILENT_EXIT_OFF)) << notes;
    ASSERT_TRUE(ItemId(Row("AppInit_DLLs: hook"), NULL, id, sizeof id));
    EXPECT_STREQ("HKLM\\" LEGACY_WINDOWS_KEY "\\\\AppInit_DLLs\\\\hook", id);

    // Switched on: LoadAppInit_DLLs 1, ReportingMode with its launch bit.
    SetDword(PLAT_HKLM, LEGACY_WINDOWS_KEY, "LoadAppInit_DLLs", 1);
    SetDword(PLAT_HKLM, SILENT_EXIT_KEY "\\mon.exe", "ReportingMode", 3);
    ScanCatalogue();
    EXPECT_STREQ(STATE_READ_ONLY, ItemStateText(Row("AppInit_DLLs: hook")));
    EXPECT_STREQ(STATE_READ_ONLY, ItemStateText(Row("On exit of mon.exe")));
    EXPECT_TRUE(told.empty());

    // Off, none of it is read.
    ListOtherPlaces = 0;
    MemResetCounts();
    ScanCatalogue();
    EXPECT_EQ(1, ItemCatalogue.count);
    EXPECT_EQ(0, ItemCatalogue.otherPlaces);
}

// The 32-bit view is read too; a key it shares with the native view (the
// same value) is one row.
TEST_F(OtherPlaces, TheThirtyTwoBitViewIsListedOnceWhereItIsShared)
{
    MemSetString(PLAT_HKLM, Ifeo("a.exe").c_str(), "Debugger", "C:\\Tools\\dbg.exe");
    MemSetString(PLAT_HKLM32, Ifeo("a.exe").c_str(), "Debugger", "C:\\Tools\\dbg.exe");
    MemSetString(PLAT_HKLM32, Ifeo("b.exe").c_str(), "Debugger", "C:\\Tools\\dbg32.exe");
    // The same list that only 32-bit processes load is a row of its own.
    MemSetString(PLAT_HKLM, LEGACY_WINDOWS_KEY, "AppInit_DLLs", "C:\\Tools\\a.dll");
    MemSetString(PLAT_HKLM32, LEGACY_WINDOWS_KEY, "AppInit_DLLs", "C:\\Tools\\a.dll");
    SetDword(PLAT_HKLM32, LEGACY_WINDOWS_KEY, "LoadAppInit_DLLs", 1);
    ScanCatalogue();
    ASSERT_EQ(4, ItemCatalogue.count);
    int loaded = 0;
    for (int32_t i = 0; i < ItemCatalogue.count; ++i)
        loaded += ItemCatalogue.items[i].logonPlace == LogonAppInit && ItemCatalogue.items[i].enabled
                  && ItemCatalogue.items[i].view == View32;
    EXPECT_EQ(1, loaded);
    const AutostartItem *b = Row("Debugger of b.exe");
    ASSERT_TRUE(b);
    char place[2 * TEXT_FIELD_SIZE];
    ItemPlaceText(b, 0, place, sizeof place);
    EXPECT_NE(std::string::npos, std::string(place).find("WOW6432Node")) << place;
}

// Hidden only where the file loaded or run is Windows' signed file in the
// Windows folders; never a debugger, which is given a program to run.
TEST_F(OtherPlaces, WindowsSignedFilesAreHiddenButNeverADebugger)
{
    const std::string own = std::string(kSys) + "ownpkg.dll";
    const std::string taskmgr = std::string(kSys) + "taskmgr.exe";
    MemSetSignature(own.c_str(), PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    MemSetSignature(taskmgr.c_str(), PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    MemSetSignature("C:\\Tools\\pkg.dll", PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    SetMulti(LSA_KEY, "Authentication Packages", {"ownpkg", "C:\\Tools\\pkg.dll"});
    // A bare name loaded into every process is searched for from each
    // program's folder first: whatever System32 holds, never hidden.
    MemSetString(PLAT_HKLM, LEGACY_WINDOWS_KEY, "AppInit_DLLs", "ownpkg");
    MemSetString(PLAT_HKLM, Ifeo("sethc.exe").c_str(), "Debugger", taskmgr.c_str());
    ScanCatalogue();
    EXPECT_EQ(1, ItemHiddenAsWindows(Row("Authentication Packages: ownpkg"), 1));
    EXPECT_EQ(0, ItemHiddenAsWindows(Row("Authentication Packages: ownpkg"), 0));
    EXPECT_EQ(0, ItemHiddenAsWindows(Row("Authentication Packages: C:\\Tools\\pkg.dll"), 1));
    EXPECT_EQ(0, ItemHiddenAsWindows(Row("Debugger of sethc.exe"), 1));
    EXPECT_EQ(0, ItemHiddenAsWindows(Row("AppInit_DLLs: ownpkg"), 1));

    // Windows loads these as written: a %VAR% in them is no folder of its,
    // so the Windows-signed file the expanded path would name is not hidden.
    // Only an AppCertDLLs REG_EXPAND_SZ is expanded.
    MemSetString(PLAT_HKLM, LEGACY_WINDOWS_KEY, "AppInit_DLLs", "%SystemRoot%\\System32\\ownpkg.dll");
    SetMulti(LSA_KEY, "Authentication Packages", {"%SystemRoot%\\System32\\ownpkg"});
    MemSetValue(PLAT_HKLM, APP_CERT_KEY, "Own", PLAT_REG_EXPAND_SZ,
                std::string("%SystemRoot%\\System32\\ownpkg.dll") + '\0');
    ScanCatalogue();
    EXPECT_EQ(0, ItemHiddenAsWindows(Row("AppInit_DLLs: %SystemRoot%\\System32\\ownpkg.dll"), 1));
    EXPECT_EQ(0, ItemHiddenAsWindows(
                     Row("Authentication Packages: %SystemRoot%\\System32\\ownpkg"), 1));
    EXPECT_EQ(1, ItemHiddenAsWindows(Row("AppCertDLLs: Own"), 1));
}

// Listed to be seen: a switch, a Remove and an edit are refused with the
// place's cause, and nothing is written.
TEST_F(OtherPlaces, EveryChangeIsRefusedWithItsCause)
{
    Plant();
    ScanCatalogue();
    int32_t index = IndexOf("Debugger of sethc.exe");
    ASSERT_GE(index, 0);
    const AutostartItem *item = &ItemCatalogue.items[index];
    EXPECT_EQ(CAUSE_OTHER_PLACE, SwitchRefusalCause(item));
    EXPECT_EQ(CAUSE_OTHER_PLACE, RemoveRefusalCause(item));
    MemSetElevated(true);
    MemResetCounts();
    Outcomes.clear();
    EXPECT_NE(ResultDone, ApplyChange(index, 0, &StatusFront));
    EXPECT_NE(ResultDone, RemoveEntry(&ItemCatalogue.items[IndexOf("BootExecute: \\??\\C:\\Tools\\n.exe")],
                                      &StatusFront));
    ASSERT_EQ(2u, Outcomes.size());
    for (const StoreOutcome &o : Outcomes)
        EXPECT_EQ(CAUSE_OTHER_PLACE, o.cause);
    EXPECT_EQ(0, MemCallCount(MEM_REG_SET_VALUE) + MemCallCount(MEM_REG_DELETE_VALUE)
                     + MemCallCount(MEM_REG_CREATE) + MemCallCount(MEM_FILE_CREATE));
    // Nor is its program started by Run, though it is there.
    EXPECT_EQ(StartFailed, StartItemProgram(Row("On exit of mon.exe"), &StatusFront));
    EXPECT_TRUE(MemStarted().empty());
}

// A key that cannot be read is said with the system's words, never taken
// for an empty one.
TEST_F(OtherPlaces, AnUnreadKeyIsSaid)
{
    SetMulti(LSA_KEY, "Notification Packages", {"filter"});
    MemDenyKey(PLAT_HKLM, LSA_KEY);
    ScanCatalogue();
    ASSERT_EQ(3u, told.size());
    EXPECT_EQ("HKLM\\" LSA_KEY ", value Authentication Packages: could not be read (Error 5.): "
              "what it starts is not listed",
              told[0]);
    EXPECT_NE(std::string(ItemCatalogue.tasksUnread).find("Notification Packages"),
              std::string::npos);
    // A listing of programs or DLLs cut short is said too.
    MemSetString(PLAT_HKLM, Ifeo("a.exe").c_str(), "Debugger", "C:\\Tools\\dbg.exe");
    MemSetString(PLAT_HKLM, APP_CERT_KEY, "Vendor", "C:\\Tools\\cert.dll");
    told.clear();
    MemFailCall(MEM_REG_ENUM_KEY, 0, PLAT_ERROR_ACCESS_DENIED);
    MemFailCall(MEM_REG_ENUM_VALUE, 0, PLAT_ERROR_ACCESS_DENIED);
    ScanCatalogue();
    MemClearFaults();
    std::string all;
    for (const std::string &t : told)
        all += t + "\n";
    EXPECT_NE(std::string::npos, all.find("Image File Execution Options:")) << all;
    EXPECT_NE(std::string::npos, all.find("AppCertDLLs:")) << all;
}

// The console lists them with --all-places only, --place other selects
// them; entries accepted with them (and a service's) are read back whole,
// and not gone from a scan without them.
TEST_F(OtherPlaces, ConsoleListsThemWithAllPlacesAndTheListKeepsThem)
{
    Plant();
    std::vector<const char *> args = {"orvanec", "list", "-f", "csv", "--place", "other"};
    size_t before = MemStreamText(PLAT_STDOUT).size();
    EXPECT_EQ(0, CliRun((int)args.size(), (char **)args.data()));
    EXPECT_EQ(std::string::npos, MemStreamText(PLAT_STDOUT).find("sethc", before));
    args.push_back("--all-places");
    before = MemStreamText(PLAT_STDOUT).size();
    EXPECT_EQ(0, CliRun((int)args.size(), (char **)args.data()));
    std::string out = MemStreamText(PLAT_STDOUT).substr(before);
    EXPECT_NE(std::string::npos, out.find("Debugger of sethc.exe,IFEO,read-only")) << out;
    EXPECT_EQ(std::string::npos, out.find("Tool,")) << out;

    MemService agent;
    agent.name = agent.displayName = "Agent";
    agent.binaryPath = "C:\\Tools\\tool.exe";
    agent.startType = PLAT_SERVICE_AUTO_START;
    MemAddService(agent);
    RememberedList list = {};
    ListOtherPlaces = 1;
    ScanCatalogue();
    ASSERT_TRUE(AcceptAll(&list, &ItemCatalogue));
    ASSERT_EQ(PLAT_OK, WriteRemembered(NULL, &list));
    FreeRemembered(&list);
    long cause = 0;
    ASSERT_EQ(RememberedDone, ReadRemembered(NULL, 1, &list, NULL, &cause));
    ListOtherPlaces = 0;
    ScanCatalogue();
    RememberedMarks marks;
    CompareRemembered(&ItemCatalogue, &list, &marks);
    EXPECT_EQ(0, marks.goneCount);
    EXPECT_EQ(11, marks.goneUnsure);
    FreeMarks(&marks);
    // A service no longer automatic, from a listing that failed nowhere, is gone.
    agent.startType = PLAT_SERVICE_DEMAND_START;
    MemAddService(agent);
    ScanCatalogue();
    CompareRemembered(&ItemCatalogue, &list, &marks);
    EXPECT_EQ(1, marks.goneCount);
    FreeMarks(&marks);
    FreeRemembered(&list);
}
