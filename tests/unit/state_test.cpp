// state_test.cpp - the state and the program stay true through every change:
// Windows' own switch follows a renamed or removed entry, the program shown
// is the one the logon starts, and every result said is the one that
// happened.
#include "../../store/store.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

const char *kRun = RUN_KEY;
const char *kRunOff = RUN_KEY "-";
const char *kApprovedRun = APPROVED_KEY "\\Run";
const std::string kOff("\x07\x01\x02\x03\x5a\x5a\x5a\x5a\x5a\x5a\x5a\x5a", 12);

class State : public testing::Test {
protected:
    void SetUp() override
    {
        MemReset();
        Statuses.clear();
    }
};

std::string Stored(PlatHive hive, const char *path, const char *name)
{
    std::string bytes;
    return MemGetValue(hive, path, name, nullptr, &bytes) ? bytes : std::string("<absent>");
}

} // namespace

TEST_F(State, SwitchedOffEntryStaysOffThroughRenameAndHiveChange)
{
    MemSetString(PLAT_HKCU, kRun, "Old", "C:\\old.exe");
    MemSetValue(PLAT_HKCU, kApprovedRun, "Old", PLAT_REG_BINARY, kOff);
    ScanCatalogue();
    ASSERT_EQ(SaveDone, SaveItem("New", "C:\\old.exe", "", 0, EditorEdit, IndexOf("Old")));
    EXPECT_EQ(kOff, Stored(PLAT_HKCU, kApprovedRun, "New"));
    EXPECT_EQ("<absent>", Stored(PLAT_HKCU, kApprovedRun, "Old"));
    ScanCatalogue();
    ASSERT_EQ(SaveDone, SaveItem("New", "C:\\old.exe", "", 1, EditorEdit, IndexOf("New")));
    EXPECT_EQ(kOff, Stored(PLAT_HKLM, kApprovedRun, "New")) << "the machine's list";
    EXPECT_EQ("<absent>", Stored(PLAT_HKCU, kApprovedRun, "New"));
    ScanCatalogue();
    EXPECT_EQ(1, ItemCatalogue.items[IndexOf("New")].approvalDisabled);
}

// Remove and CleanUp back the approval value up with its entry and delete
// it; one still governing an entry of the same name stays.
TEST_F(State, RemoveAndCleanUpTakeTheApprovalValueAlong)
{
    MemSetString(PLAT_HKCU, kRun, "Gone", "C:\\g.exe");
    MemSetString(PLAT_HKCU, kRunOff, "Off", "C:\\o.exe");
    MemSetString(PLAT_HKCU, kRunOff, "Twin", "C:\\t.exe");
    MemSetString(PLAT_HKCU, kRun, "Twin", "C:\\t2.exe");
    for (const char *name : {"Gone", "Off", "Twin"})
        MemSetValue(PLAT_HKCU, kApprovedRun, name, PLAT_REG_BINARY, kOff);
    ScanCatalogue();
    char backup[TEXT_FIELD_SIZE];
    ASSERT_EQ(RemoveDone, RemoveItemWithBackup(&ItemCatalogue.items[IndexOf("Gone")], backup));
    EXPECT_EQ("<absent>", Stored(PLAT_HKCU, kApprovedRun, "Gone"));
    std::string text = RegText(MemFileBytes(backup));
    EXPECT_NE(std::string::npos, text.find("StartupApproved\\Run]\r\n\"Gone\"=hex:07,01,02,03,5a"));

    ScanCatalogue();
    std::vector<int32_t> states = Desired({});
    CleanUpDisabled(states.data(), (int32_t)states.size(), &StatusFront);
    EXPECT_EQ("<absent>", Stored(PLAT_HKCU, kApprovedRun, "Off"));
    EXPECT_EQ(kOff, Stored(PLAT_HKCU, kApprovedRun, "Twin")) << "Run\\Twin's own";
    text = RegText(MemFileBytes(MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER
                                "\\CleanUp 2026-12-07 130509.reg"));
    EXPECT_NE(std::string::npos, text.find("\"Off\"=hex:07,01"));

    // A file's switch goes beside its copy, and then from the registry.
    MemAddLink(MEM_STARTUP_FOLDER "\\Agent.lnk", "C:\\a.exe", "", "");
    MemSetValue(PLAT_HKCU, APPROVED_KEY "\\StartupFolder", "Agent.lnk", PLAT_REG_BINARY, kOff);
    ScanCatalogue();
    ASSERT_EQ(RemoveDone, RemoveItemWithBackup(&ItemCatalogue.items[IndexOf("Agent.lnk")], backup));
    EXPECT_NE(std::string::npos, RegText(MemFileBytes((std::string(backup) + ".reg").c_str()))
                                     .find("StartupApproved\\StartupFolder]\r\n\"Agent.lnk\"=hex:07"));
    EXPECT_EQ("<absent>", Stored(PLAT_HKCU, APPROVED_KEY "\\StartupFolder", "Agent.lnk"));
}

TEST_F(State, ProgramIsFoundAfterExpansionAndInAppPaths)
{
    MemSetEnv("ProgramFiles", "C:\\Program Files");
    MemAddFile("C:\\Program.exe");
    MemAddFile("C:\\Program Files\\App\\app.exe");
    MemSetString(PLAT_HKCU, kRun, "Expanded", "%ProgramFiles%\\App\\app.exe -x",
                 PLAT_REG_EXPAND_SZ);
    MemAddFile("C:\\Tools\\zz agent.exe");
    MemSetString(PLAT_HKLM, CURRENT_VERSION_KEY "\\App Paths\\zzagent.exe", "",
                 "\"C:\\Tools\\zz agent.exe\"");
    MemSetString(PLAT_HKCU, kRun, "Bare", "zzagent -q");
    MemSetString(PLAT_HKCU, kRun, "Gone", "C:\\nowhere.exe");
    ScanCatalogue();
    const AutostartItem &expanded = ItemCatalogue.items[IndexOf("Expanded")];
    EXPECT_STREQ("C:\\Program.exe", expanded.target) << "Windows expands, then splits";
    EXPECT_STREQ("Files\\App\\app.exe -x", expanded.parameters);
    const AutostartItem &bare = ItemCatalogue.items[IndexOf("Bare")];
    EXPECT_STREQ("C:\\Tools\\zz agent.exe", bare.target);
    EXPECT_STREQ("-q", bare.parameters);
    EXPECT_EQ(0, bare.targetMissing);
    char notes[TEXT_FIELD_SIZE];
    ItemNotes(&ItemCatalogue.items[IndexOf("Gone")], notes, sizeof notes);
    EXPECT_STREQ(NOTE_TARGET_MISSING, notes);
}

TEST_F(State, CleanUpWithoutMachineRightsSaysWhatItKept)
{
    MemSetString(PLAT_HKLM, kRunOff, "A", "C:\\a.exe");
    MemSetString(PLAT_HKLM, kRunOff, "B", "C:\\b.exe");
    MemSetString(PLAT_HKCU, kRunOff, "C", "C:\\c.exe");
    ScanCatalogue();
    MemDenyWrites(PLAT_HKLM, true);
    std::vector<int32_t> states = Desired({});
    CleanUpDisabled(states.data(), (int32_t)states.size(), &StatusFront);
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_EQ("Deleted 1 disabled entry; backup: " MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER
              "\\CleanUp 2026-12-07 130509.reg. 2 disabled entries of all users were kept: "
              "administrator rights are needed.",
              Statuses[0]);
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, kRunOff, "A"));
    MemSetString(PLAT_HKCU, kRunOff, "D", "C:\\d.exe");
    ScanCatalogue();
    std::vector<int32_t> flipped = Desired({"B", "D"});
    EXPECT_EQ(1, ApplyChanges(flipped.data(), (int32_t)flipped.size(), nullptr))
        << "one of two changes stored";
}

TEST_F(State, CollisionCheckLooksAtTheEnabledAndTheDisabledPlace)
{
    MemSetString(PLAT_HKCU, kRun, "Taken", "C:\\t.exe");
    MemSetString(PLAT_HKCU, kRunOff, "Off", "C:\\o.exe");
    MemSetString(PLAT_HKCU, kRunOff, "Hidden", "C:\\h.exe");
    ScanCatalogue();
    EXPECT_TRUE(SaveWouldReplace("Taken", 0, EditorEdit, IndexOf("Off")));
    EXPECT_TRUE(SaveWouldReplace("Hidden", 0, EditorAdd, -1));
    EXPECT_FALSE(SaveWouldReplace("Free", 0, EditorEdit, IndexOf("Off")));
}

// A Refresh never opens a file on the network: an unreachable server would
// hold the list for a minute per call. Its fields say why they are empty.
TEST_F(State, NetworkTargetsAreNeverOpenedDuringAScan)
{
    MemSetNetworkDrive('N');
    MemSetVersion("\\\\server\\share\\tool.exe", "Tool", "Works");
    MemSetString(PLAT_HKCU, kRun, "Unc", "\\\\server\\share\\tool.exe -x");
    MemSetString(PLAT_HKCU, kRun, "Mapped", "N:\\tools\\agent.exe");
    MemSetString(PLAT_HKCU, kRun, "Spaced", "\\\\server\\share\\my tool.exe /q");
    MemAddLink(MEM_STARTUP_FOLDER "\\Net.lnk", "\\\\server\\share\\tool.exe", "", "");
    ScanCatalogue();
    EXPECT_EQ(0, MemNetworkTouches());
    ASSERT_EQ(4, ItemCatalogue.count);
    for (int i = 0; i < ItemCatalogue.count; ++i) {
        EXPECT_STREQ(NOT_READ_NETWORK, ItemCatalogue.items[i].description);
        EXPECT_STREQ(NOT_READ_NETWORK, ItemCatalogue.items[i].company);
        EXPECT_EQ(0, ItemCatalogue.items[i].targetMissing) << "unknown, not missing";
    }
}

// Every spelling of a share or a network drive counts, and a PATH folder on
// a share is never searched.
TEST_F(State, NetworkPathsInEverySpelling)
{
    MemSetNetworkDrive('N');
    const char *targets[] = {"//server/share/a.exe", "\\/server\\share/b.exe",
                             "\\\\?\\N:\\c.exe", "\\\\.\\n:\\d.exe",
                             "\\\\?\\GLOBALROOT\\Device\\Mup\\server\\share\\e.exe"};
    for (const char *target : targets) {
        MemSetVersion(target, "Tool", "Works");
        MemSetString(PLAT_HKCU, kRun, target, (std::string("\"") + target + "\" -x").c_str());
    }
    MemAddSearchFolder("\\\\server\\bin");
    MemAddFile("\\\\server\\bin\\tool.exe");
    MemSetString(PLAT_HKCU, kRun, "~Pathed", "tool.exe -x");
    ScanCatalogue();
    ASSERT_EQ(6, ItemCatalogue.count);
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(NOT_READ_NETWORK, ItemCatalogue.items[i].description) << ItemCatalogue.items[i].name;
        EXPECT_EQ(0, ItemCatalogue.items[i].targetMissing) << ItemCatalogue.items[i].name;
    }
    EXPECT_STREQ("tool.exe -x", ItemCatalogue.items[5].target);
    EXPECT_EQ(1, ItemCatalogue.items[5].targetMissing);
}

// A value backed up but not deleted: the cause Windows gave is kept for the
// status bar.
TEST_F(State, ARemoveThatCannotDeleteSaysWhy)
{
    MemSetString(PLAT_HKLM, kRun, "Machine", "C:\\m.exe");
    ScanCatalogue();
    MemDenyWrites(PLAT_HKLM, true);
    char backup[TEXT_FIELD_SIZE];
    EXPECT_EQ(RemoveDeleteFailed, RemoveItemWithBackup(&ItemCatalogue.items[0], backup));
    EXPECT_STREQ("administrator rights are needed", CauseText(LastStoreError()));
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, kRun, "Machine"));
}

// Enabling in place reads the switch again before writing: one rewritten
// shorter in between is left as it now is, and nothing is held on to.
TEST_F(State, EnablingInPlaceRereadsTheSwitch)
{
    MemSetString(PLAT_HKCU, kRun, "Sync", "C:\\s.exe");
    MemSetValue(PLAT_HKCU, kApprovedRun, "Sync", PLAT_REG_BINARY, kOff);
    ScanCatalogue();
    const std::string shrunk("\x03\x00\x00\x00", 4);
    std::vector<int32_t> states = Desired({"Sync"});
    int blocks = MemLiveBlocks();
    MemResetCounts();
    MemSetHook(MEM_REG_QUERY_VALUE, 2, [&] {
        MemSetValue(PLAT_HKCU, kApprovedRun, "Sync", PLAT_REG_BINARY, shrunk);
    });
    EXPECT_EQ(1, ApplyChanges(states.data(), (int32_t)states.size(), &StatusFront));
    EXPECT_EQ(shrunk, Stored(PLAT_HKCU, kApprovedRun, "Sync"));
    EXPECT_EQ(blocks, MemLiveBlocks());
}

namespace {

// The FILETIME of the stand-in's clock (2026-12-07 13:05:09), as stored.
const std::string kNowTime("\x80\xf0\x1a\x96\x4b\x86\xdd\x01", 8);
// Switched off on 8 Dec 2026 14:02 (the stand-in's local time is UTC).
const std::string kOffOn8Dec =
    std::string("\x03\x00\x00\x00", 4) + std::string("\x00\xfc\xa1\xb1\x1c\x87\xdd\x01", 8);

std::string Notes(const char *name)
{
    char notes[4 * COMMAND_FIELD_SIZE];
    ItemNotes(&ItemCatalogue.items[IndexOf(name)], notes, sizeof notes);
    return notes;
}

int RowsNamed(const char *name)
{
    int rows = 0;
    for (int i = 0; i < ItemCatalogue.count; ++i)
        rows += strcmp(ItemCatalogue.items[i].name, name) == 0;
    return rows;
}

} // namespace

// A disable also switches Windows' switch off, so a program that writes its
// value back stays off; the switch as it was is saved first.
TEST_F(State, ADisableSetsWindowsSwitchAfterSavingIt)
{
    MemSetString(PLAT_HKCU, kRun, "Sync", "C:\\sync.exe");
    MemSetString(PLAT_HKCU, kRun, "Fresh", "C:\\fresh.exe");
    MemSetString(PLAT_HKCU, CURRENT_VERSION_KEY "\\RunOnce", "Once", "C:\\once.exe");
    const std::string onWithBit2("\x06\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x44", 13);
    MemSetValue(PLAT_HKCU, kApprovedRun, "Sync", PLAT_REG_BINARY, onWithBit2);
    ScanCatalogue();
    Outcomes.clear();
    EXPECT_EQ(3, ApplyChanges(Desired({"Sync", "Fresh", "Once"}).data(), ItemCatalogue.count,
                              &StatusFront));
    EXPECT_EQ(std::string("\x07\x00\x00\x00", 4) + kNowTime + "\x44",
              Stored(PLAT_HKCU, kApprovedRun, "Sync"))
        << "the other bits and bytes kept";
    EXPECT_EQ(std::string("\x03\x00\x00\x00", 4) + kNowTime, Stored(PLAT_HKCU, kApprovedRun, "Fresh"));
    EXPECT_EQ("<absent>", Stored(PLAT_HKCU, kApprovedRun, "Once")) << "RunOnce has no switch";
    EXPECT_EQ(Sz("C:\\sync.exe"), Stored(PLAT_HKCU, kRunOff, "Sync"));
    ASSERT_EQ(3u, Outcomes.size());
    std::string saved = RegText(MemFileBytes(Outcomes[0].backup));
    EXPECT_NE(std::string::npos, saved.find("\"Sync\"=hex:06,00,00,00,00,00,00,00,00,00,00,00,44"))
        << saved;
    EXPECT_NE(std::string::npos, RegText(MemFileBytes(Outcomes[1].backup)).find("\"Fresh\"=-"));
    EXPECT_STREQ("", Outcomes[2].backup);

    // Written back by its program: one row, kept off by the switch.
    MemSetString(PLAT_HKCU, kRun, "Sync", "C:\\sync.exe /new");
    ScanCatalogue();
    EXPECT_EQ(1, RowsNamed("Sync"));
    EXPECT_STREQ(STATE_OFF_IN_SETTINGS, ItemStateText(&ItemCatalogue.items[IndexOf("Sync")]));
    // Enabling clears it as before.
    EXPECT_EQ(ResultDone, ApplyChange(IndexOf("Fresh"), 1, &StatusFront));
    EXPECT_EQ(std::string(12, '\0').replace(0, 1, "\x02"), Stored(PLAT_HKCU, kApprovedRun, "Fresh"));
}

// A switch that cannot be written is said, the move kept; a backup that
// cannot be written leaves everything as it was.
TEST_F(State, ADisableWhoseSwitchOrBackupFailsSaysSo)
{
    MemSetString(PLAT_HKCU, kRun, "Sync", "C:\\sync.exe");
    ScanCatalogue();
    MemResetCounts();
    MemFailCall(MEM_REG_SET_VALUE, 2); // the move's write passes, the switch's fails
    EXPECT_EQ(ResultSwitchNotSet, ApplyChange(IndexOf("Sync"), 0, &StatusFront));
    EXPECT_EQ(Sz("C:\\sync.exe"), Stored(PLAT_HKCU, kRunOff, "Sync"));
    EXPECT_EQ("<absent>", Stored(PLAT_HKCU, kApprovedRun, "Sync"));
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_NE(std::string::npos, Statuses[0].find("was disabled here, but Windows' switch"))
        << Statuses[0];

    MemReset();
    Statuses.clear();
    MemSetString(PLAT_HKCU, kRun, "Sync", "C:\\sync.exe");
    MemSetValue(PLAT_HKCU, kApprovedRun, "Sync", PLAT_REG_BINARY, std::string(12, '\x02'));
    ScanCatalogue();
    MemFailCall(MEM_FILE_CREATE, 0);
    EXPECT_EQ(ResultRefused, ApplyChange(IndexOf("Sync"), 0, &StatusFront));
    EXPECT_EQ(Sz("C:\\sync.exe"), Stored(PLAT_HKCU, kRun, "Sync"));
    EXPECT_EQ("<absent>", Stored(PLAT_HKCU, kRunOff, "Sync"));
    EXPECT_EQ(std::string(12, '\x02'), Stored(PLAT_HKCU, kApprovedRun, "Sync"));
    EXPECT_EQ(1u, Statuses.size());
}

// A value written back into Run while its copy waits in Run-: one row that
// names both; its enable asks which copy to keep and saves the other.
TEST_F(State, AValueWrittenBackIsOneRowWhoseEnableKeepsTheChosenCopy)
{
    for (int answer : {0, 1}) {
        MemReset();
        Statuses.clear();
        MemSetString(PLAT_HKCU, kRunOff, "Sync", "C:\\old.exe");
        MemSetString(PLAT_HKCU, kRun, "Sync", "C:\\new.exe");
        MemSetValue(PLAT_HKCU, kApprovedRun, "Sync", PLAT_REG_BINARY, kOffOn8Dec);
        ScanCatalogue();
        ASSERT_EQ(1, RowsNamed("Sync"));
        const AutostartItem &row = ItemCatalogue.items[IndexOf("Sync")];
        EXPECT_STREQ(kRun, row.location);
        EXPECT_STREQ(STATE_OFF_IN_SETTINGS, ItemStateText(&row));
        EXPECT_NE(std::string::npos,
                  Notes("Sync").find("came back after it was disabled here on 8 Dec 14:02; "
                                     "Windows' switch keeps it off; the copy disabled here: "
                                     "C:\\old.exe"))
            << Notes("Sync");
        int32_t marked[8] = {0};
        CleanUpKept kept;
        MarkCleanUpRecords(nullptr, ItemCatalogue.count, marked, &kept);
        EXPECT_EQ(1, kept.cameBackCopies) << "CleanUp says it deletes the copy";
        char said[512];
        ASSERT_NE(0, CleanUpKeptText(&kept, said, sizeof said));
        EXPECT_NE(nullptr, strstr(said, "1 entry that came back after it was disabled here has a copy"))
            << said;

        StatusFrontAnswer = answer;
        Outcomes.clear();
        EXPECT_EQ(ResultDone, ApplyChange(IndexOf("Sync"), 1, &StatusFront));
        StatusFrontAnswer = 1;
        const char *keptCommand = answer ? "C:\\old.exe" : "C:\\new.exe";
        const char *savedCommand = answer ? "C:\\new.exe" : "C:\\old.exe";
        EXPECT_EQ(Sz(keptCommand), Stored(PLAT_HKCU, kRun, "Sync")) << answer;
        EXPECT_EQ("<absent>", Stored(PLAT_HKCU, kRunOff, "Sync"));
        EXPECT_EQ(0, Stored(PLAT_HKCU, kApprovedRun, "Sync")[0] & 1) << "the switch is on";
        ASSERT_EQ(1u, Outcomes.size());
        EXPECT_EQ(answer ? CameBackRestored : CameBackKeptLive, Outcomes[0].cameBack);
        EXPECT_NE(std::string::npos,
                  RegText(MemFileBytes(Outcomes[0].backup)).find(savedCommand + 3))
            << RegText(MemFileBytes(Outcomes[0].backup));
        ScanCatalogue();
        EXPECT_EQ(1, ItemCatalogue.items[IndexOf("Sync")].enabled);
    }
    // Either copy's backup failing leaves both copies and the switch as they were.
    for (int answer : {0, 1}) {
        MemReset();
        MemSetString(PLAT_HKCU, kRunOff, "Sync", "C:\\old.exe");
        MemSetString(PLAT_HKCU, kRun, "Sync", "C:\\new.exe");
        MemSetValue(PLAT_HKCU, kApprovedRun, "Sync", PLAT_REG_BINARY, kOffOn8Dec);
        ScanCatalogue();
        MemFailCall(MEM_FILE_CREATE, 0);
        StatusFrontAnswer = answer;
        EXPECT_EQ(ResultRefused, ApplyChange(IndexOf("Sync"), 1, &StatusFront)) << answer;
        StatusFrontAnswer = 1;
        EXPECT_EQ(Sz("C:\\old.exe"), Stored(PLAT_HKCU, kRunOff, "Sync"));
        EXPECT_EQ(Sz("C:\\new.exe"), Stored(PLAT_HKCU, kRun, "Sync"));
        EXPECT_EQ(kOffOn8Dec, Stored(PLAT_HKCU, kApprovedRun, "Sync")) << answer;
    }
}

// Disable of a row that came back while its switch is on: the copy written
// back is saved and deleted, the copy disabled here kept, the switch set;
// a failing backup changes nothing.
TEST_F(State, DisablingARowThatCameBackKeepsBothCopiesSwitchedOff)
{
    MemSetString(PLAT_HKCU, kRunOff, "Sync", "C:\\old.exe");
    MemSetString(PLAT_HKCU, kRun, "Sync", "C:\\new.exe");
    ScanCatalogue();
    ASSERT_EQ(1, RowsNamed("Sync"));
    EXPECT_NE(std::string::npos, Notes("Sync").find("Windows starts it again"));
    MemFailCall(MEM_FILE_CREATE, 0);
    EXPECT_EQ(ResultRefused, ApplyChange(IndexOf("Sync"), 0, &StatusFront));
    EXPECT_EQ("<absent>", Stored(PLAT_HKCU, kApprovedRun, "Sync"));
    MemClearFaults();
    Outcomes.clear();
    EXPECT_EQ(ResultDone, ApplyChange(IndexOf("Sync"), 0, &StatusFront));
    EXPECT_EQ(Sz("C:\\new.exe"), Stored(PLAT_HKCU, kRun, "Sync")) << "the newer copy is kept";
    EXPECT_EQ(Sz("C:\\old.exe"), Stored(PLAT_HKCU, kRunOff, "Sync"));
    EXPECT_EQ(std::string("\x03\x00\x00\x00", 4) + kNowTime, Stored(PLAT_HKCU, kApprovedRun, "Sync"));
    ASSERT_EQ(1u, Outcomes.size());
    char text[OUTCOME_TEXT_SIZE];
    WordOutcome(&Outcomes[0], 0, text, sizeof text);
    EXPECT_NE(nullptr, strstr(text, "Windows' switch keeps both copies off")) << text;
    // The record says so at once, not only after the next list.
    EXPECT_EQ(STATE_OFF_IN_SETTINGS, std::string(ItemStateText(&ItemCatalogue.items[IndexOf("Sync")])));
    ScanCatalogue();
    EXPECT_EQ(STATE_OFF_IN_SETTINGS, std::string(ItemStateText(&ItemCatalogue.items[IndexOf("Sync")])));
}

// What the third review found: the backup of a No keeps the switch as it
// was; a file any user may have placed is never folded into a row of all
// users; a hidden row's copy keeps its key whole in CleanUp; a name with a
// line break is still disabled, its switch said not set.
TEST_F(State, CameBackRowsKeepTheirSwitchTheirRightsAndTheirHiding)
{
    MemSetString(PLAT_HKCU, kRunOff, "Sync", "C:\\old.exe");
    MemSetString(PLAT_HKCU, kRun, "Sync", "C:\\new.exe");
    MemSetValue(PLAT_HKCU, kApprovedRun, "Sync", PLAT_REG_BINARY, kOffOn8Dec);
    ScanCatalogue();
    std::vector<int32_t> hidden((size_t)ItemCatalogue.count, 0);
    hidden[(size_t)IndexOf("Sync")] = 1;
    CleanUpCount count;
    CountCleanUpShown(&count, hidden.data(), ItemCatalogue.count);
    EXPECT_EQ(0, count.user);
    EXPECT_EQ(1, count.hiddenPlaces);
    StatusFrontAnswer = 0;
    Outcomes.clear();
    EXPECT_EQ(ResultDone, ApplyChange(IndexOf("Sync"), 1, &StatusFront));
    ASSERT_EQ(1u, Outcomes.size());
    EXPECT_NE(std::string::npos, RegText(MemFileBytes(Outcomes[0].backup)).find("hex:03,00,00,00"));

    const std::string shared = MEM_COMMON_DOCUMENTS_FOLDER "\\" DISABLED_ALL_FOLDER "\\Agent.lnk";
    MemAddLink(shared.c_str(), "C:\\planted.exe", "", "");
    MemAddLink(MEM_COMMON_STARTUP_FOLDER "\\Agent.lnk", "C:\\agent.exe", "", "");
    ScanCatalogue();
    EXPECT_EQ(2, RowsNamed("Agent.lnk"));

    MemSetString(PLAT_HKCU, kRun, "Two\nLines", "C:\\two.exe");
    ScanCatalogue();
    Outcomes.clear();
    EXPECT_EQ(ResultSwitchNotSet, ApplyChange(IndexOf("Two\nLines"), 0, &StatusFront));
    EXPECT_EQ(Sz("C:\\two.exe"), Stored(PLAT_HKCU, kRunOff, "Two\nLines"));
}

// Yes to restoring the copy disabled here, whose move then fails: the copy
// written back goes back into its empty place, and nothing is lost.
TEST_F(State, ARestoreWhoseMoveFailsPutsTheCopyWrittenBackBack)
{
    MemSetString(PLAT_HKCU, kRunOff, "Sync", "C:\\old.exe");
    MemSetString(PLAT_HKCU, kRun, "Sync", "C:\\new.exe");
    MemSetValue(PLAT_HKCU, kApprovedRun, "Sync", PLAT_REG_BINARY, kOffOn8Dec);
    ScanCatalogue();
    StatusFrontAnswer = 1;
    bool armed = false;
    MemSetHook(MEM_REG_DELETE_VALUE, 0, [&] {
        if (!armed) { // the next write, the move's, fails
            armed = true;
            MemFailCall(MEM_REG_SET_VALUE, MemCallCount(MEM_REG_SET_VALUE) + 1);
        }
    });
    EXPECT_NE(ResultDone, ApplyChange(IndexOf("Sync"), 1, &StatusFront));
    MemClearFaults();
    EXPECT_TRUE(armed);
    EXPECT_EQ(Sz("C:\\new.exe"), Stored(PLAT_HKCU, kRun, "Sync"));
    EXPECT_EQ(Sz("C:\\old.exe"), Stored(PLAT_HKCU, kRunOff, "Sync"));
}

// Yes to restoring the copy disabled here: it arrives, but its old copy
// cannot be deleted. It is enabled, and said to be, with the copy left.
TEST_F(State, ARestoreThatArrivesButLeavesItsCopySaysSo)
{
    MemSetString(PLAT_HKCU, kRunOff, "Sync", "C:\\old.exe");
    MemSetString(PLAT_HKCU, kRun, "Sync", "C:\\new.exe");
    MemSetValue(PLAT_HKCU, kApprovedRun, "Sync", PLAT_REG_BINARY, kOffOn8Dec);
    ScanCatalogue();
    StatusFrontAnswer = 1;
    MemResetCounts();
    MemFailCall(MEM_REG_DELETE_VALUE, 2); // the copy's, after the live one's
    Outcomes.clear();
    EXPECT_NE(ResultDone, ApplyChange(IndexOf("Sync"), 1, &StatusFront));
    MemClearFaults();
    EXPECT_EQ(Sz("C:\\old.exe"), Stored(PLAT_HKCU, kRun, "Sync"));
    ASSERT_EQ(1u, Outcomes.size());
    char text[OUTCOME_TEXT_SIZE];
    WordOutcome(&Outcomes[0], 0, text, sizeof text);
    EXPECT_NE(nullptr, strstr(text, "was enabled as it was disabled here, but its copy there")) << text;
}

// Yes to restoring the copy disabled here, while another program writes the
// live value again between its removal and the move: what it wrote stays,
// and the status says where the deleted copy is.
TEST_F(State, ARestoreRacingAWriterNeverWritesOverItsValue)
{
    MemSetString(PLAT_HKCU, kRunOff, "Sync", "C:\\old.exe");
    MemSetString(PLAT_HKCU, kRun, "Sync", "C:\\new.exe");
    MemSetValue(PLAT_HKCU, kApprovedRun, "Sync", PLAT_REG_BINARY, kOffOn8Dec);
    ScanCatalogue();
    StatusFrontAnswer = 1;
    bool deleted = false, written = false;
    MemSetHook(MEM_REG_DELETE_VALUE, 0, [&] { deleted = true; });
    MemSetHook(MEM_REG_CREATE, 0, [&] {
        if (deleted && !written) { // after the live copy went, before the move
            written = true;
            MemSetString(PLAT_HKCU, kRun, "Sync", "C:\\newest.exe");
        }
    });
    Outcomes.clear();
    EXPECT_NE(ResultDone, ApplyChange(IndexOf("Sync"), 1, &StatusFront));
    MemClearFaults();
    EXPECT_EQ(Sz("C:\\newest.exe"), Stored(PLAT_HKCU, kRun, "Sync"));
    EXPECT_EQ(Sz("C:\\old.exe"), Stored(PLAT_HKCU, kRunOff, "Sync"));
    ASSERT_EQ(1u, Outcomes.size());
    EXPECT_NE(std::string::npos, RegText(MemFileBytes(Outcomes[0].backup)).find("new.exe"));
    char text[OUTCOME_TEXT_SIZE];
    WordOutcome(&Outcomes[0], 0, text, sizeof text);
    EXPECT_NE(nullptr, strstr(text, "it is saved in")) << text;
}

// A Startup file written back while its copy waits among the disabled items:
// one row; Yes puts the copy disabled here back and saves the other, and a
// move that fails puts the file written back back in its place.
TEST_F(State, AStartupFileWrittenBackIsOneRowAndYesRestoresTheCopyDisabledHere)
{
    const std::string waiting = MEM_PERSONAL_FOLDER "\\" DISABLED_USER_FOLDER "\\Agent.lnk";
    const char *live = MEM_STARTUP_FOLDER "\\Agent.lnk";
    for (bool moveFails : {true, false}) {
        MemReset();
        MemAddLink(waiting.c_str(), "C:\\old.exe", "", "");
        MemAddLink(live, "C:\\new.exe", "", "");
        MemSetValue(PLAT_HKCU, APPROVED_KEY "\\StartupFolder", "Agent.lnk", PLAT_REG_BINARY,
                    kOffOn8Dec);
        ScanCatalogue();
        ASSERT_EQ(1, RowsNamed("Agent.lnk"));
        EXPECT_NE(std::string::npos, Notes("Agent.lnk").find("on 8 Dec 14:02; Windows' switch keeps "
                                                             "it off; the copy disabled here: C:\\old.exe"))
            << Notes("Agent.lnk");
        if (moveFails)
            MemFailCall(MEM_MOVE_FILE, 0);
        Outcomes.clear();
        EXPECT_EQ(moveFails ? ResultRefused : ResultDone,
                  ApplyChange(IndexOf("Agent.lnk"), 1, &StatusFront));
        MemClearFaults();
        ScanCatalogue();
        ASSERT_EQ(1, RowsNamed("Agent.lnk"));
        const AutostartItem &row = ItemCatalogue.items[IndexOf("Agent.lnk")];
        EXPECT_STREQ(moveFails ? "C:\\new.exe" : "C:\\old.exe", row.target);
        EXPECT_EQ(moveFails ? 1 : 0, row.cameBack);
        EXPECT_EQ(moveFails ? 0 : 1, row.enabled);
        ASSERT_EQ(1u, Outcomes.size());
        char target[TEXT_FIELD_SIZE], comment[TEXT_FIELD_SIZE], arguments[TEXT_FIELD_SIZE];
        ResolveShortcut(Outcomes[0].backup, target, comment, arguments);
        EXPECT_STREQ("C:\\new.exe", target) << "the copy written back is saved";
    }
}
