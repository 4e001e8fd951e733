// outcome_test.cpp - one scenario per kind of outcome (done, refused, kept
// with its cause, backup failed, folder is a link), each run twice on the
// same storage: through a front end that words it as the window's status
// does, and through the console program, whose line must say the same and
// whose exit code must follow the result and the cause.
#include "../../cli/cli.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

const char *const kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const std::string kUserId = std::string("HKCU\\") + kRun + "\\\\A";
const std::string kMachineId = std::string("HKLM\\") + kRun + "\\\\T";

struct Scenario {
    std::function<void()> storage; // the entries and the faults
    std::function<void(const AutostartItem *)> change;
    std::vector<const char *> command; // the same change at the console
};

struct Told {
    StoreOutcome outcome;
    std::string window; // the window's words
    std::string shortened; // the same with a backup path of at most 20 characters
    std::string console; // the console's line, standard output or error
    int code;
};

Told RunBoth(const Scenario &scenario, const char *entry)
{
    Told told;
    MemReset();
    scenario.storage();
    ScanCatalogue();
    Outcomes.clear();
    int index = IndexOf(entry);
    EXPECT_LE(0, index) << entry;
    if (index < 0)
        return told;
    scenario.change(&ItemCatalogue.items[index]);
    EXPECT_EQ(1u, Outcomes.size());
    told.outcome = Outcomes.back();
    char text[OUTCOME_TEXT_SIZE];
    WordOutcome(&told.outcome, 0, text, sizeof text);
    told.window = text;
    WordOutcome(&told.outcome, 20, text, sizeof text);
    told.shortened = text;
    told.outcome.item = nullptr; // the console's scan replaces the catalogue

    MemReset();
    scenario.storage();
    std::vector<const char *> args = scenario.command;
    args.insert(args.begin(), "orvanec");
    told.code = CliRun((int)args.size(), (char **)args.data());
    told.console = MemStreamText(PLAT_STDOUT) + MemStreamText(PLAT_STDERR);
    return told;
}

void Disable(const AutostartItem *item)
{
    std::vector<int32_t> states = Desired({item->name});
    ApplyChanges(states.data(), (int32_t)states.size(), &StatusFront);
}

void Remove(const AutostartItem *item)
{
    RemoveEntry(item, &StatusFront);
}

class Outcome : public testing::Test {
protected:
    void TearDown() override { MemReset(); }
};

} // namespace

TEST_F(Outcome, DoneSaysWhatWasDoneAndExitsZero)
{
    Scenario s{[] { MemSetString(PLAT_HKCU, kRun, "A", "C:\\a.exe"); }, Disable,
               {"disable", kUserId.c_str()}};
    Told told = RunBoth(s, "A");
    EXPECT_EQ(ResultDone, told.outcome.result);
    EXPECT_EQ(ActionDisable, told.outcome.action);
    EXPECT_EQ("Disabled \"A\".", told.window);
    EXPECT_EQ(told.window + "\r\n", told.console);
    EXPECT_EQ(CliExitDone, told.code);
}

// Without rights an entry of all users is refused for them: exit 3.
TEST_F(Outcome, RefusedNamesTheCauseAndRightsExitThree)
{
    Scenario s{[] {
                   MemSetString(PLAT_HKLM, kRun, "T", "C:\\t.exe");
                   MemDenyWrites(PLAT_HKLM, true);
               },
               Disable, {"disable", kMachineId.c_str()}};
    Told told = RunBoth(s, "T");
    EXPECT_EQ(ResultRefused, told.outcome.result);
    EXPECT_EQ(PLAT_ERROR_ACCESS_DENIED, told.outcome.cause);
    EXPECT_EQ("ERROR: \"T\" was not disabled: administrator rights are needed.", told.window);
    EXPECT_EQ(told.window + "\r\n", told.console);
    EXPECT_EQ(CliExitRights, told.code);
}

// Backed up, then the delete refused: the backup is named, and the user's
// own entry denied is a failure, not a question of rights, nor said to be.
TEST_F(Outcome, KeptNamesItsCauseAndItsBackup)
{
    Scenario s{[] {
                   MemSetString(PLAT_HKCU, kRun, "A", "C:\\a.exe");
                   MemFailCall(MEM_REG_DELETE_VALUE, 0, PLAT_ERROR_ACCESS_DENIED);
               },
               Remove, {"remove", kUserId.c_str(), "--yes"}};
    Told told = RunBoth(s, "A");
    EXPECT_EQ(ResultKept, told.outcome.result);
    EXPECT_EQ(PLAT_ERROR_ACCESS_DENIED, told.outcome.cause);
    const std::string backup = told.outcome.backup;
    EXPECT_NE(std::string::npos, backup.find(".reg")) << backup;
    EXPECT_EQ("ERROR: \"A\" was not removed: Windows denied access to it. Its backup is kept: "
                  + backup,
              told.window);
    EXPECT_EQ(told.window + "\r\n", told.console);
    EXPECT_EQ(CliExitFailed, told.code);
    // The window's status gives a long path its middle cut, never its end.
    EXPECT_EQ(".reg", told.shortened.substr(told.shortened.size() - 4));
    EXPECT_GT(told.window.size(), told.shortened.size());
}

// A No to enabling for every user a file any user may have placed keeps
// it where it is, and is told as declined.
TEST_F(Outcome, DeclinedKeepsTheEntry)
{
    const char *file = MEM_COMMON_DOCUMENTS_FOLDER "\\" DISABLED_ALL_FOLDER "\\Any.lnk";
    MemAddLink(file, "C:\\any.exe", "", "");
    ScanCatalogue();
    Outcomes.clear();
    StatusFrontAnswer = 0;
    EXPECT_EQ(ResultDeclined, ApplyChange(IndexOf("Any.lnk"), 1, &StatusFront));
    StatusFrontAnswer = 1;
    ASSERT_EQ(1u, Outcomes.size());
    EXPECT_EQ(CAUSE_ANY_USER, Outcomes[0].cause);
    EXPECT_TRUE(MemFileExists(file));
    EXPECT_EQ(0, ItemCatalogue.items[IndexOf("Any.lnk")].enabled);
}

TEST_F(Outcome, BackupFailedDeletesNothing)
{
    Scenario s{[] {
                   MemSetString(PLAT_HKCU, kRun, "A", "C:\\a.exe");
                   MemFailCall(MEM_FILE_WRITE, 0);
               },
               Remove, {"remove", kUserId.c_str(), "--yes"}};
    Told told = RunBoth(s, "A");
    EXPECT_EQ(ResultBackupFailed, told.outcome.result);
    EXPECT_EQ(STATUS_BACKUP_FAILED, told.window);
    // The console changes several entries in one run: its line names each.
    EXPECT_EQ("ERROR: \"A\": the backup could not be written; nothing was deleted.\r\n",
              told.console);
    EXPECT_EQ(CliExitFailed, told.code);
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRun, "A"));
}

// Elevated, a backup folder made a link is not written through.
TEST_F(Outcome, FolderIsLinkChangesNothing)
{
    Scenario s{[] {
                   MemSetElevated(true);
                   MemSetString(PLAT_HKCU, kRun, "A", "C:\\a.exe");
                   MemAddFolder(MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER);
                   MemSetReparseTag(MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER, 0xA0000003);
               },
               Remove, {"remove", kUserId.c_str(), "--yes"}};
    Told told = RunBoth(s, "A");
    EXPECT_EQ(ResultFolderIsLink, told.outcome.result);
    EXPECT_EQ("ERROR: The folder \"" BACKUP_FOLDER "\" is a link to another place; nothing was "
              "changed.",
              told.window);
    EXPECT_EQ(told.window + "\r\n", told.console);
    EXPECT_EQ(CliExitFailed, told.code);
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRun, "A"));
}

// A key CleanUp keeps whole for a name no backup carries: the summary names
// the key, and the console names each entry it kept with its own cause.
TEST_F(Outcome, CleanUpKeptWholeNamesEachEntryAndItsCause)
{
    auto storage = [] {
        MemSetString(PLAT_HKLM, RUN_KEY "-", "M", "C:\\m.exe");
        MemSetString(PLAT_HKCU, RUN_KEY "-", "B", "C:\\b.exe");
        MemSetString(PLAT_HKCU, RUN_KEY "-", "Two\nlines", "C:\\c.exe");
    };
    storage();
    ScanCatalogue();
    Outcomes.clear();
    std::vector<int32_t> states = Desired({});
    EXPECT_EQ(0, CleanUpDisabled(states.data(), (int32_t)states.size(), &StatusFront));
    ASSERT_EQ(3u, Outcomes.size());
    EXPECT_EQ(CAUSE_NAME_IN_KEY, Outcomes[0].cause);
    EXPECT_EQ(CAUSE_NAME_NOT_CARRIED, Outcomes[1].cause);
    EXPECT_EQ(0u, Statuses.back().find("Deleted 1 disabled entry; backup: ")) << Statuses.back();
    EXPECT_NE(std::string::npos, Statuses.back().find(".reg. Kept HKCU\\" RUN_KEY "-: a name in it "
                                                      "cannot be handled on this Windows or "
                                                      "written to a backup."))
        << Statuses.back();

    MemReset();
    storage();
    const char *args[] = {"orvanec", "cleanup", "--yes"};
    EXPECT_EQ(CliExitFailed, CliRun(3, (char **)args));
    const std::string err = MemStreamText(PLAT_STDERR);
    EXPECT_NE(std::string::npos, err.find("\"B\" (HKCU\\" RUN_KEY "-\\\\B) was not deleted: a name "
                                          "in its key cannot be handled on this Windows or "
                                          "written to a backup.\r\n"))
        << err;
    EXPECT_NE(std::string::npos, err.find("\"Two\\x0Alines\" (HKCU\\" RUN_KEY "-\\\\Two\\x0Alines) "
                                          "was not deleted: a line break in its name cannot be "
                                          "written to a backup.\r\n"))
        << err << " (a name cannot break the console's line)";
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, RUN_KEY "-", "B"));
}

// A value CleanUp kept whose name no record holds whole is still told,
// and the run is not a success.
TEST_F(Outcome, CleanUpTellsAKeptValueWhateverItsName)
{
    std::string name(300, 'k');
    MemSetString(PLAT_HKCU, RUN_KEY "-", name.c_str(), "C:\\k.exe");
    MemFailCall(MEM_REG_DELETE_VALUE, 0, PLAT_ERROR_ACCESS_DENIED);
    const char *args[] = {"orvanec", "cleanup", "--yes"};
    EXPECT_EQ(CliExitFailed, CliRun(3, (char **)args));
    EXPECT_NE(std::string::npos, MemStreamText(PLAT_STDERR).find("was not deleted: Windows denied "
                                                                 "access to it.\r\n"))
        << MemStreamText(PLAT_STDERR);
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, RUN_KEY "-", name.c_str()));
}

// Off and on again before the next scan: the record followed each move, so
// both changes are made and neither is told as refused.
TEST_F(Outcome, AChangeBeforeTheNextScanActsWhereTheEntryLivesNow)
{
    MemReset();
    MemSetString(PLAT_HKCU, kRun, "A", "C:\\a.exe");
    MemAddLink(MEM_STARTUP_FOLDER "\\B.lnk", "C:\\b.exe", "", "");
    ScanCatalogue();
    Outcomes.clear();
    for (const char *name : {"A", "B.lnk"})
        for (int wanted : {0, 1, 0})
            EXPECT_EQ(ResultDone, ApplyChange(IndexOf(name), wanted, &StatusFront)) << name;
    for (const StoreOutcome &told : Outcomes)
        EXPECT_EQ(ResultDone, told.result);
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, RUN_KEY "-", "A"));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRun, "A"));
    EXPECT_FALSE(MemFileExists(MEM_STARTUP_FOLDER "\\B.lnk"));
}
