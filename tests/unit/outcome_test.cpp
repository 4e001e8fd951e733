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
    // Its switch in Windows' settings was saved before it was set off.
    EXPECT_EQ(0u, told.window.rfind("Disabled \"A\"; backup: " MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER
                                    "\\Disabled 2026-12-07 130509.reg", 0))
        << told.window;
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
    // The window's status names the file first, then its folder, whose
    // middle a long path loses.
    const std::string file = backup.substr(backup.rfind('\\') + 1);
    EXPECT_NE(std::string::npos, told.shortened.find(": " + file + " in ")) << told.shortened;
    EXPECT_NE(std::string::npos, told.shortened.find("...")) << told.shortened;
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
    // A logon place's rows: a whole value, and one program of a list.
    MemSetString(PLAT_HKCU, ENVIRONMENT_KEY, LOGON_SCRIPT_VALUE, "C:\\s.cmd");
    MemSetString(PLAT_HKCU, LEGACY_WINDOWS_KEY, "Load", "C:\\l.exe C:\\m.exe");
    ScanCatalogue();
    Outcomes.clear();
    for (const char *name : {"A", "B.lnk", LOGON_SCRIPT_VALUE, "Load: C:\\m.exe"})
        for (int wanted : {0, 1, 0})
            EXPECT_EQ(ResultDone, ApplyChange(IndexOf(name), wanted, &StatusFront)) << name;
    for (const StoreOutcome &told : Outcomes)
        EXPECT_EQ(ResultDone, told.result);
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, RUN_KEY "-", "A"));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRun, "A"));
    EXPECT_FALSE(MemFileExists(MEM_STARTUP_FOLDER "\\B.lnk"));
}

// ---- every failure of every call, for every change ----

namespace {

const std::string kBackups = MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER;
const std::string kRunOff = std::string(kRun) + "-";
const std::string kApproved = APPROVED_KEY "\\Run";
const std::string kLink = MEM_STARTUP_FOLDER "\\Agent.lnk";
const std::string kLinkOff = MEM_PERSONAL_FOLDER "\\" DISABLED_USER_FOLDER "\\Agent.lnk";
const std::string kStep = CURRENT_VERSION_KEY "\\RunOnceEx\\0001";
const std::string kStepOff = CURRENT_VERSION_KEY "\\RunOnceEx-\\0001";
const std::string kStub = ACTIVE_SETUP_KEY "\\{id}";
const std::string kStubOff = ACTIVE_SETUP_KEY "-\\{id}";
const std::string kPolicyOff = POLICY_RUN_KEY "-";
const std::string kUserinit = "C:\\WINDOWS\\system32\\userinit.exe,C:\\a.exe";
const std::string kTaskXml = "<Task><Triggers><LogonTrigger/></Triggers><Actions><Exec>"
                             "<Command>C:\\up.exe</Command></Exec></Actions></Task>";
const std::string kOn(std::string("\x02", 1) + std::string(11, '\0'));
const std::string kOffSwitch(std::string("\x03\0\0\0\x5a", 5) + std::string(7, '\0'));

bool Holds(PlatHive hive, const std::string &key, const char *name, const std::string &bytes)
{
    uint32_t type = 0;
    std::string now;
    return MemGetValue(hive, key.c_str(), name, &type, &now) && type == PLAT_REG_SZ && now == bytes;
}

// The value's name stored in exactly this case, holding the text.
bool HoldsExactly(const std::string &key, const char *name, const char *text)
{
    for (const std::string &stored : MemValueNamesUtf8(PLAT_HKCU, key.c_str()))
        if (stored == name)
            return Holds(PLAT_HKCU, key, name, Sz(text));
    return false;
}

bool Contains(PlatHive hive, const std::string &key, const char *name, const char *text)
{
    std::string now;
    return MemGetValue(hive, key.c_str(), name, nullptr, &now) && now.find(text) != now.npos;
}

bool HoldsFile(const std::string &path, const std::string &bytes)
{
    return MemFileExists(path.c_str()) && MemFileBytes(path.c_str()) == bytes;
}

// The .reg backup holds "name"="text" (\ and " escaped) under [key].
bool RegHolds(const std::string &file, const std::string &key, const char *name,
              const std::string &text)
{
    std::string line = std::string("\r\n\"") + name + "\"=\"";
    for (char c : text)
        line += c == '\\' || c == '"' ? std::string("\\") + c : std::string(1, c);
    std::string reg = RegText(MemFileBytes(file.c_str()));
    size_t at = reg.find(line + "\"\r\n");
    size_t head = reg.rfind("\r\n[", at);
    return at != reg.npos && head != reg.npos && reg.compare(head + 3, key.size() + 3, key + "]\r\n") == 0;
}

const std::string kUser = "HKEY_CURRENT_USER\\", kMachine = "HKEY_LOCAL_MACHINE\\";

// What an operation said: where it puts the entry now (a mask of Sweep::at),
// kDone or kNotDone, and the backup it named.
const int kDone = -1, kNotDone = -2, kUnknown = -3;
struct Said {
    int at;
    std::string backup;
};

struct Sweep {
    const char *what;
    std::function<void()> seed;
    std::function<Said()> act;
    std::function<int()> at; // bit 0: whole where it was; 1: where it goes; 2: a parked copy
    int done;                // at once done
    std::function<bool(const std::string &)> inBackup;
};

Said Switch(const char *row, int wanted)
{
    ApplyChange(IndexOf(row), wanted, &StatusFront);
    if (Outcomes.size() != 1)
        return {kNotDone + 100, ""};
    const StoreOutcome &told = Outcomes[0];
    EXPECT_TRUE(told.result == ResultDone || told.cause != PLAT_OK) << "a failure without a cause";
    // A step failed and where it is now could not be read back: said so.
    bool unread = told.cause == CAUSE_LIST_UNREAD || told.cause == CAUSE_APPROVAL_UNREAD
                  || told.cause == CAUSE_TASK_UNREAD || told.cause == CAUSE_APP_STATE_UNREAD;
    // Moved aside, its switch not set: where done puts it, said with a cause.
    bool moved = told.result == ResultDone || told.result == ResultSwitchNotSet;
    return {moved ? kDone : unread ? kUnknown : kNotDone, told.backup};
}

Said Remove(const char *row)
{
    OutcomeResult result = RemoveEntry(&ItemCatalogue.items[IndexOf(row)], &StatusFront);
    const StoreOutcome &told = Outcomes.back();
    EXPECT_TRUE(result == ResultDone || result == ResultBackupFailed || told.cause != PLAT_OK);
    return {result == ResultDone ? kDone : result == ResultKept ? kNotDone : 1, told.backup};
}

Said CleanUp()
{
    std::vector<int32_t> states = Desired({});
    CleanUpDisabled(states.data(), (int32_t)states.size(), &StatusFront);
    const StoreOutcome &summary = Outcomes.back();
    int deleted = 0;
    for (int32_t i = 0; i < summary.keyCount; ++i)
        deleted += summary.keys[i].deleted;
    if (summary.result != ResultDone)
        return {1, ""};
    if (Outcomes.size() > 1)
        return {kNotDone, summary.backup}; // an entry kept, with its cause
    // "There were no disabled registry entries": then it is not there.
    return {deleted ? kDone : summary.backup[0] ? 1 : 0, summary.backup};
}

// Add (row null) or an edit of the row that keeps the fields as shown.
Said Save(const char *name, const char *file, const char *row = nullptr)
{
    char backup[TEXT_FIELD_SIZE], shown[TEXT_FIELD_SIZE], parameters[COMMAND_FIELD_SIZE] = "";
    if (row)
        EditFields(&ItemCatalogue.items[IndexOf(row)], shown, parameters);
    int result = SaveItemWithBackup(name, row ? shown : file, parameters, 0,
                                    row ? EditorEdit : EditorAdd, row ? IndexOf(row) : -1, backup);
    switch (result) {
    case SaveDone: case SaveReplaced: case SaveCaseRenamed: return {kDone, backup};
    case SaveOldKept: return {3, backup};
    case SaveCaseParkedKept: return {2 | 4, backup};
    default: return {1, backup};
    }
}

void RunValue() { MemSetString(PLAT_HKCU, kRun, "Tool", "C:\\tool.exe -q"); }
void RunValueOff() { MemSetString(PLAT_HKCU, kRunOff.c_str(), "Tool", "C:\\tool.exe -q"); }
int RunAt(const std::string &from, const std::string &to)
{
    return Holds(PLAT_HKCU, from, "Tool", Sz("C:\\tool.exe -q"))
           | Holds(PLAT_HKCU, to, "Tool", Sz("C:\\tool.exe -q")) << 1;
}
bool RunInBackup(const std::string &file, const std::string &key)
{
    return RegHolds(file, kUser + key, "Tool", "C:\\tool.exe -q");
}

const std::string kLinkBytes = [] {
    MemReset();
    MemAddLink(kLink.c_str(), "C:\\agent.exe", "-a", "");
    return MemFileBytes(kLink.c_str());
}();
int LinkAt(const std::string &from, const std::string &to)
{
    return HoldsFile(from, kLinkBytes) | HoldsFile(to, kLinkBytes) << 1;
}

int ListAt(const std::string &from, const std::string &to, const char *name, const char *item)
{
    // Windows' own program never leaves the live Userinit.
    if (!Contains(PLAT_HKLM, WINLOGON_KEY, "Userinit", "userinit.exe")
        && std::string(name) == "Userinit")
        return 8;
    return Contains(PLAT_HKLM, from, name, item) | Contains(PLAT_HKLM, to, name, item) << 1;
}

int StepAt(const std::string &from, const std::string &to)
{
    return Holds(PLAT_HKLM, from, "Step", Sz("||C:\\step.exe"))
           | Holds(PLAT_HKLM, to, "Step", Sz("||C:\\step.exe")) << 1;
}

int StubAt(const std::string &from, const std::string &to)
{
    return Holds(PLAT_HKLM, from, STUB_PATH_VALUE, Sz("C:\\stub.exe /r"))
           | Holds(PLAT_HKLM, to, STUB_PATH_VALUE, Sz("C:\\stub.exe /r")) << 1;
}

int TaskAt(bool wasEnabled)
{
    if (!MemTaskExists("\\Vendor\\Updater"))
        return 0;
    return MemTaskEnabled("\\Vendor\\Updater") == wasEnabled ? 1 : 2;
}

bool NoBackup(const std::string &) { return false; }

std::vector<Sweep> Sweeps()
{
    const std::string userinitLine = kUserinit;
    return {
        {"disable a Run value", RunValue, [] { return Switch("Tool", 0); },
         [] { return RunAt(kRun, kRunOff); }, 2, NoBackup},
        {"enable a Run value", RunValueOff, [] { return Switch("Tool", 1); },
         [] { return RunAt(kRunOff, kRun); }, 2, NoBackup},
        {"remove a Run value", RunValue, [] { return Remove("Tool"); },
         [] { return RunAt(kRun, kRun) & 1; }, 0,
         [](const std::string &file) { return RunInBackup(file, kRun); }},
        {"clean up a Run value", RunValueOff, CleanUp, [] { return RunAt(kRunOff, kRunOff) & 1; }, 0,
         [](const std::string &file) { return RunInBackup(file, kRunOff); }},
        {"clean up a policy Run value",
         [] { MemSetString(PLAT_HKCU, kPolicyOff.c_str(), "Tool", "C:\\tool.exe -q"); }, CleanUp,
         [] { return RunAt(kPolicyOff, kPolicyOff) & 1; }, 0,
         [](const std::string &file) { return RunInBackup(file, kPolicyOff); }},
        {"disable a Startup file", [] { MemAddLink(kLink.c_str(), "C:\\agent.exe", "-a", ""); },
         [] { return Switch("Agent.lnk", 0); }, [] { return LinkAt(kLink, kLinkOff); }, 2,
         NoBackup},
        {"enable a Startup file", [] { MemAddLink(kLinkOff.c_str(), "C:\\agent.exe", "-a", ""); },
         [] { return Switch("Agent.lnk", 1); }, [] { return LinkAt(kLinkOff, kLink); }, 2,
         NoBackup},
        {"remove a Startup file", [] { MemAddLink(kLink.c_str(), "C:\\agent.exe", "-a", ""); },
         [] { return Remove("Agent.lnk"); }, [] { return LinkAt(kLink, kLink) & 1; }, 0,
         [](const std::string &file) { return HoldsFile(file, kLinkBytes); }},
        {"disable a Userinit item",
         [] { MemSetString(PLAT_HKLM, WINLOGON_KEY, "Userinit", kUserinit.c_str()); },
         [] { return Switch("Userinit: C:\\a.exe", 0); },
         [] { return ListAt(WINLOGON_KEY, WINLOGON_KEY "-", "Userinit", "C:\\a.exe"); }, 2,
         [](const std::string &file) {
             return RegHolds(file, kMachine + WINLOGON_KEY, "Userinit", kUserinit);
         }},
        {"remove a Userinit item",
         [] { MemSetString(PLAT_HKLM, WINLOGON_KEY, "Userinit", kUserinit.c_str()); },
         [] { return Remove("Userinit: C:\\a.exe"); },
         [] { return ListAt(WINLOGON_KEY, WINLOGON_KEY, "Userinit", "C:\\a.exe") & 1; }, 0,
         [](const std::string &file) {
             return RegHolds(file, kMachine + WINLOGON_KEY, "Userinit", kUserinit);
         }},
        {"enable a Shell item",
         [] {
             MemSetString(PLAT_HKLM, WINLOGON_KEY, "Shell", "explorer.exe");
             MemSetString(PLAT_HKLM, WINLOGON_KEY "-", "Shell", ",C:\\x.exe");
         },
         [] { return Switch("Shell: C:\\x.exe", 1); },
         [] { return ListAt(WINLOGON_KEY "-", WINLOGON_KEY, "Shell", "C:\\x.exe"); }, 2,
         [](const std::string &file) {
             return RegHolds(file, kMachine + WINLOGON_KEY "-", "Shell", ",C:\\x.exe");
         }},
        {"disable a RunOnceEx step",
         [] { MemSetString(PLAT_HKLM, kStep.c_str(), "Step", "||C:\\step.exe"); },
         [] { return Switch("Step", 0); }, [] { return StepAt(kStep, kStepOff); }, 2, NoBackup},
        {"enable a RunOnceEx step",
         [] { MemSetString(PLAT_HKLM, kStepOff.c_str(), "Step", "||C:\\step.exe"); },
         [] { return Switch("Step", 1); }, [] { return StepAt(kStepOff, kStep); }, 2, NoBackup},
        {"remove a RunOnceEx step",
         [] { MemSetString(PLAT_HKLM, kStep.c_str(), "Step", "||C:\\step.exe"); },
         [] { return Remove("Step"); }, [] { return StepAt(kStep, kStep) & 1; }, 0,
         [](const std::string &file) { return RegHolds(file, kMachine + kStep, "Step", "||C:\\step.exe"); }},
        {"clean up a RunOnceEx step",
         [] { MemSetString(PLAT_HKLM, kStepOff.c_str(), "Step", "||C:\\step.exe"); }, CleanUp,
         [] { return StepAt(kStepOff, kStepOff) & 1; }, 0,
         [](const std::string &file) {
             return RegHolds(file, kMachine + kStepOff, "Step", "||C:\\step.exe");
         }},
        {"disable an Active Setup stub",
         [] { MemSetString(PLAT_HKLM, kStub.c_str(), STUB_PATH_VALUE, "C:\\stub.exe /r"); },
         [] { return Switch("{id}", 0); }, [] { return StubAt(kStub, kStubOff); }, 2, NoBackup},
        {"enable an Active Setup stub",
         [] { MemSetString(PLAT_HKLM, kStubOff.c_str(), STUB_PATH_VALUE, "C:\\stub.exe /r"); },
         [] { return Switch("{id}", 1); }, [] { return StubAt(kStubOff, kStub); }, 2, NoBackup},
        {"remove an Active Setup stub",
         [] { MemSetString(PLAT_HKLM, kStub.c_str(), STUB_PATH_VALUE, "C:\\stub.exe /r"); },
         [] { return Remove("{id}"); }, [] { return StubAt(kStub, kStub) & 1; }, 0,
         [](const std::string &file) {
             return RegHolds(file, kMachine + kStub, STUB_PATH_VALUE, "C:\\stub.exe /r");
         }},
        {"disable a packaged app's startup task",
         [] {
             MemSetString(PLAT_HKCU, APP_REPOSITORY_KEY "\\Contoso.Tray_1.0.0.0_x64__8w",
                          "PackageRootFolder", "C:\\Apps\\Tray");
             MemAddFile("C:\\Apps\\Tray\\AppxManifest.xml",
                        "<Package><Applications><Application Executable=\"tray.exe\">"
                        "<Extensions><Extension Category=\"windows.startupTask\">"
                        "<StartupTask TaskId=\"Tray\" Enabled=\"true\"/></Extension>"
                        "</Extensions></Application></Applications></Package>");
             uint32_t on = 2;
             MemSetValue(PLAT_HKCU, APP_STATE_KEY "\\Contoso.Tray_8w\\Tray", APP_STATE_VALUE,
                         PLAT_REG_DWORD, std::string((const char *)&on, 4));
         },
         [] { return Switch("Tray", 0); },
         [] {
             std::string bytes;
             MemGetValue(PLAT_HKCU, APP_STATE_KEY "\\Contoso.Tray_8w\\Tray", APP_STATE_VALUE,
                         nullptr, &bytes);
             return (bytes == std::string("\x02\0\0\0", 4)) | (bytes == std::string("\x01\0\0\0", 4)) << 1;
         },
         2, [](const std::string &file) { return RegText(MemFileBytes(file.c_str())).find(
                                                    "\"State\"=dword:00000002") != std::string::npos; }},
        {"disable a task", [] { MemAddTask("\\Vendor\\Updater", kTaskXml); },
         [] { return Switch("Updater", 0); }, [] { return TaskAt(true); }, 2, NoBackup},
        {"enable a task", [] { MemAddTask("\\Vendor\\Updater", kTaskXml, false); },
         [] { return Switch("Updater", 1); }, [] { return TaskAt(false); }, 2, NoBackup},
        {"remove a task", [] { MemAddTask("\\Vendor\\Updater", kTaskXml); },
         [] { return Remove("Updater"); }, [] { return TaskAt(true); }, 0,
         [](const std::string &file) {
             return HoldsFile(file, "\xff\xfe" + MemUtf16(kTaskXml.c_str(), false));
         }},
        {"add an entry", [] {}, [] { return Save("New", "C:\\new.exe"); },
         [] {
             return (int)!MemValueExists(PLAT_HKCU, kRun, "New")
                    | Holds(PLAT_HKCU, kRun, "New", Sz("C:\\new.exe")) << 1;
         },
         2, NoBackup},
        {"add over an entry", RunValue, [] { return Save("Tool", "C:\\new.exe"); },
         [] {
             return (RunAt(kRun, kRun) & 1) | Holds(PLAT_HKCU, kRun, "Tool", Sz("C:\\new.exe")) << 1;
         },
         2, [](const std::string &file) { return RunInBackup(file, kRun); }},
        {"rename an entry", RunValue,
         [] { return Save("New", nullptr, "Tool"); },
         [] {
             return (RunAt(kRun, kRun) & 1) | Holds(PLAT_HKCU, kRun, "New", Sz("C:\\tool.exe -q")) << 1;
         },
         2, NoBackup},
        {"rename an entry in its case", RunValue,
         [] { return Save("TOOL", nullptr, "Tool"); },
         [] {
             int parked = 0;
             for (const std::string &name : MemValueNamesUtf8(PLAT_HKCU, kRun))
                 parked |= name.rfind("Orvane Tool rename", 0) == 0;
             return HoldsExactly(kRun, "Tool", "C:\\tool.exe -q")
                    | HoldsExactly(kRun, "TOOL", "C:\\tool.exe -q") << 1 | parked << 2;
         },
         2, NoBackup},
        {"enable an entry switched off in Windows' settings",
         [] {
             RunValue();
             MemSetValue(PLAT_HKCU, kApproved.c_str(), "Tool", PLAT_REG_BINARY, kOffSwitch);
         },
         [] { return Switch("Tool", 1); },
         [] {
             std::string now;
             MemGetValue(PLAT_HKCU, kApproved.c_str(), "Tool", nullptr, &now);
             return (RunAt(kRun, kRun) & 1) * ((now == kOffSwitch) | (now == kOn) << 1);
         },
         2, NoBackup},
        {"rename an entry switched off in Windows' settings, its switch carried",
         [] {
             RunValue();
             MemSetValue(PLAT_HKCU, kApproved.c_str(), "Tool", PLAT_REG_BINARY, kOffSwitch);
         },
         [] { return Save("New", nullptr, "Tool"); },
         [] {
             auto whole = [](const char *name) {
                 std::string now;
                 return Holds(PLAT_HKCU, kRun, name, Sz("C:\\tool.exe -q"))
                        && MemGetValue(PLAT_HKCU, kApproved.c_str(), name, nullptr, &now)
                        && now == kOffSwitch;
             };
             return whole("Tool") | whole("New") << 1;
         },
         2, NoBackup},
        {"rename over an entry switched off in Windows' settings, its switch kept till replaced",
         [] {
             RunValue();
             MemSetString(PLAT_HKCU, kRun, "Other", "C:\\o.exe");
             MemSetValue(PLAT_HKCU, kApproved.c_str(), "Other", PLAT_REG_BINARY, kOffSwitch);
         },
         [] { return Save("Other", nullptr, "Tool"); },
         [] {
             std::string now;
             bool switched = MemGetValue(PLAT_HKCU, kApproved.c_str(), "Other", nullptr, &now);
             int replaced = !switched && Holds(PLAT_HKCU, kRun, "Other", Sz("C:\\tool.exe -q"));
             // Unless replaced, the other entry keeps its command and its switch.
             if (!replaced && !(Holds(PLAT_HKCU, kRun, "Other", Sz("C:\\o.exe")) && switched
                                && now == kOffSwitch))
                 return 0;
             return (RunAt(kRun, kRun) & 1) | replaced << 1;
         },
         2, [](const std::string &file) { return RegHolds(file, kUser + kRun, "Other", "C:\\o.exe"); }},
    };
}

// The counts of each platform call the sweep's operation made; occurrence
// 0 fails none.
std::vector<int> SweepOnce(const Sweep &sweep, int op, int occurrence)
{
    MemReset();
    Statuses.clear();
    Outcomes.clear();
    sweep.seed();
    ScanCatalogue();
    int blocks = MemLiveBlocks();
    MemResetCounts();
    if (occurrence)
        MemFailCall((MemOp)op, occurrence);
    Said said = sweep.act();
    MemClearFaults();
    std::vector<int> calls;
    for (int i = 0; i < MEM_OP_COUNT; ++i)
        calls.push_back(MemCallCount((MemOp)i));
    std::string context = std::string(sweep.what) + ", "
                          + (occurrence ? MemOpName((MemOp)op) + (" #" + std::to_string(occurrence))
                                        : std::string("no failure"));
    int at = sweep.at();
    EXPECT_TRUE(at != 0 || sweep.inBackup(said.backup)) << context << ": lost";
    if (!occurrence || calls[op] < occurrence) {
        EXPECT_EQ(kDone, said.at) << context << ": not done without a failure";
    }
    if (said.at == kDone) {
        EXPECT_EQ(sweep.done, at) << context << ": said done";
    } else if (said.at == kNotDone) {
        EXPECT_NE(sweep.done, at) << context << ": said not done";
    } else if (said.at != kUnknown) {
        EXPECT_EQ(said.at, at) << context << ": not where it was said to be";
    }
    EXPECT_EQ(0, MemOpenKeys()) << context;
    EXPECT_EQ(0, MemOpenFiles()) << context;
    EXPECT_EQ(0, MemOpenSearches()) << context;
    EXPECT_EQ(blocks, MemLiveBlocks()) << context;
    return calls;
}

} // namespace

// Each store operation with each platform call it makes failing in turn,
// occurrence by occurrence: the entry is always whole in one of its places
// or in the backup the status names, the status says where it is, and
// nothing is left open.
TEST_F(Outcome, EveryFailingCallOfEveryChangeIsToldAndLosesNothing)
{
    for (const Sweep &sweep : Sweeps()) {
        std::vector<int> calls = SweepOnce(sweep, 0, 0);
        for (int op = 0; op < MEM_OP_COUNT; ++op)
            for (int occurrence = 1; calls[op] && occurrence < 400; ++occurrence)
                if (SweepOnce(sweep, op, occurrence)[op] < occurrence)
                    break;
    }
}
