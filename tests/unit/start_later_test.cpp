// start_later_test.cpp - an entry started some time after logon by a logon
// task of ours: the task's XML as written, the two steps under every
// failing call (the entry always starts one way), the scan folding the task
// into its entry's row, delay 0 giving storage back, and the console's
// command with its history.
#include "../../cli/cli.h"
#include "../../store/store.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const char *kRun = RUN_KEY;
const char *kRunOff = RUN_KEY "-";
const char *kApproved = APPROVED_KEY "\\Run";
const char *kToolTask = START_LATER_FOLDER "Tool";
const char *kAgentLink = MEM_COMMON_STARTUP_FOLDER "\\Agent.lnk";

// The XML of a user's Run value "Tool" started 1 min after logon.
const std::string kUserXml =
    "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
    "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
    "  <RegistrationInfo>\r\n"
    "    <Author>Orvane Tool</Author>\r\n"
    "    <Description>Starts this entry later at logon: "
    "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run-\\\\Tool</Description>\r\n"
    "  </RegistrationInfo>\r\n"
    "  <Triggers>\r\n"
    "    <LogonTrigger>\r\n"
    "      <Delay>PT1M</Delay>\r\n"
    "      <UserId>tester</UserId>\r\n"
    "    </LogonTrigger>\r\n"
    "  </Triggers>\r\n"
    "  <Principals>\r\n"
    "    <Principal id=\"Author\">\r\n"
    "      <UserId>tester</UserId>\r\n"
    "      <LogonType>InteractiveToken</LogonType>\r\n"
    "      <RunLevel>LeastPrivilege</RunLevel>\r\n"
    "    </Principal>\r\n"
    "  </Principals>\r\n"
    "  <Settings>\r\n"
    "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
    "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
    "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\r\n"
    "    <Priority>4</Priority>\r\n"
    "  </Settings>\r\n"
    "  <Actions Context=\"Author\">\r\n"
    "    <Exec>\r\n"
    "      <Command>C:\\Tools\\tool.exe</Command>\r\n"
    "      <Arguments>-q</Arguments>\r\n"
    "    </Exec>\r\n"
    "  </Actions>\r\n"
    "</Task>\r\n";

// The XML of all users' Startup file "Agent.lnk" started 10 min after logon.
const std::string kMachineXml =
    "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
    "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\r\n"
    "  <RegistrationInfo>\r\n"
    "    <Author>Orvane Tool</Author>\r\n"
    "    <Description>Starts this entry later at logon: " MEM_COMMON_DOCUMENTS_FOLDER
    "\\" DISABLED_ALL_FOLDER "\\Agent.lnk</Description>\r\n"
    "  </RegistrationInfo>\r\n"
    "  <Triggers>\r\n"
    "    <LogonTrigger>\r\n"
    "      <Delay>PT10M</Delay>\r\n"
    "    </LogonTrigger>\r\n"
    "  </Triggers>\r\n"
    "  <Principals>\r\n"
    "    <Principal id=\"Author\">\r\n"
    "      <GroupId>S-1-5-32-545</GroupId>\r\n"
    "      <RunLevel>LeastPrivilege</RunLevel>\r\n"
    "    </Principal>\r\n"
    "  </Principals>\r\n"
    "  <Settings>\r\n"
    "    <DisallowStartIfOnBatteries>false</DisallowStartIfOnBatteries>\r\n"
    "    <StopIfGoingOnBatteries>false</StopIfGoingOnBatteries>\r\n"
    "    <ExecutionTimeLimit>PT0S</ExecutionTimeLimit>\r\n"
    "    <Priority>4</Priority>\r\n"
    "  </Settings>\r\n"
    "  <Actions Context=\"Author\">\r\n"
    "    <Exec>\r\n"
    "      <Command>C:\\Agent\\agent.exe</Command>\r\n"
    "      <Arguments>/min</Arguments>\r\n"
    "    </Exec>\r\n"
    "  </Actions>\r\n"
    "</Task>\r\n";

std::string Replaced(std::string text, const std::string &from, const std::string &to)
{
    size_t at = text.find(from);
    return at == std::string::npos ? "<" + from + " not found>" : text.replace(at, from.size(), to);
}

class StartLater : public testing::Test {
protected:
    void SetUp() override
    {
        MemReset();
        Statuses.clear();
        Outcomes.clear();
        MemAddFile("C:\\Tools\\tool.exe");
        MemAddFile("C:\\Agent\\agent.exe");
        MemSetString(PLAT_HKCU, kRun, "Tool", "\"C:\\Tools\\tool.exe\" -q");
        // Windows' switch as it keeps it for an entry that is on.
        MemSetValue(PLAT_HKCU, kApproved, "Tool", PLAT_REG_BINARY, std::string("\x02\0\0\0\0\0\0\0\0\0\0\0", 12));
        MemAddLink(kAgentLink, "C:\\Agent\\agent.exe", "/min", "");
    }
    void TearDown() override { MemReset(); }

    OutcomeResult Delay(const char *name, int32_t seconds)
    {
        ScanCatalogue();
        Outcomes.clear();
        MemResetCounts();
        return DelayEntry(IndexOf(name), seconds, &StatusFront);
    }
    // How the logon would start Tool: at logon, through its task, or both.
    int StartsAtLogon() { return MemValueExists(PLAT_HKCU, kRun, "Tool"); }
    int StartsLater() { return MemTaskExists(kToolTask); }
    size_t XmlBackups()
    {
        size_t count = 0;
        for (const std::string &file : MemListFolder(MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER))
            count += file.size() > 4 && file.compare(file.size() - 4, 4, ".xml") == 0;
        return count;
    }
    std::string Notes(const char *name)
    {
        char notes[4 * TEXT_FIELD_SIZE];
        ItemNotes(&ItemCatalogue.items[IndexOf(name)], notes, sizeof notes);
        return notes;
    }
};

} // namespace

TEST_F(StartLater, WritesTheTaskXmlForEachDelayAndScope)
{
    const struct {
        int32_t seconds;
        const char *duration;
    } delays[] = {{30, "PT30S"}, {60, "PT1M"}, {120, "PT2M"}, {300, "PT5M"}, {600, "PT10M"}};
    for (const auto &d : delays) {
        MemReset();
        SetUp();
        ASSERT_EQ(ResultDone, Delay("Tool", d.seconds)) << d.seconds;
        EXPECT_EQ(Replaced(kUserXml, "PT1M", d.duration), MemTaskXml(kToolTask)) << d.seconds;
        EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRun, "Tool")) << "disabled the usual way";
        EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRunOff, "Tool"));
    }
    ASSERT_EQ(ResultDone, Delay("Agent.lnk", 600));
    EXPECT_EQ(kMachineXml, MemTaskXml(START_LATER_FOLDER "Agent"));
    EXPECT_FALSE(MemFileExists(kAgentLink));
    EXPECT_TRUE(MemFileExists(MEM_COMMON_DOCUMENTS_FOLDER "\\" DISABLED_ALL_FOLDER "\\Agent.lnk"));
}

TEST_F(StartLater, ActionIsTheCommandAsTheLogonStartsItEscaped)
{
    MemAddFile("C:\\Program Files\\A&B\\tool.exe");
    MemSetString(PLAT_HKCU, "Environment", "DATA", "D:\\Mine <x>");
    MemSetString(PLAT_HKCU, kRun, "Tool",
                 "\"C:\\Program Files\\A&B\\tool.exe\" --dir \"%DATA%\\y z\" 'it' %NONE%");
    ASSERT_EQ(ResultDone, Delay("Tool", 30));
    std::string xml = MemTaskXml(kToolTask);
    EXPECT_NE(std::string::npos,
              xml.find("<Command>C:\\Program Files\\A&amp;B\\tool.exe</Command>\r\n"
                       "      <Arguments>--dir &quot;D:\\Mine &lt;x&gt;\\y z&quot; &apos;it&apos; "
                       "%NONE%</Arguments>"))
        << xml;

    // A name the scheduler cannot take, and one taken already: another path.
    MemSetString(PLAT_HKCU, kRun, "a/b:c.", "C:\\Tools\\tool.exe");
    MemAddTask(START_LATER_FOLDER "a_b_c", "<Task/>");
    ASSERT_EQ(ResultDone, Delay("a/b:c.", 60));
    EXPECT_TRUE(MemTaskExists(START_LATER_FOLDER "a_b_c (2)"));
}

TEST_F(StartLater, EveryFailingStepLeavesItStartingOneWay)
{
    const struct {
        const char *what;
        MemOp op;
        int occurrence;
        bool strips;
        long cause;
    } cases[] = {
        {"register refused", MEM_TASK_REGISTER, 1, false, PLAT_ERROR_ACCESS_DENIED},
        {"read-back fails", MEM_TASK_READ, 1, false, CAUSE_LATER_NOT_KEPT},
        {"scheduler drops the triggers", MEM_OP_COUNT, 0, true, CAUSE_LATER_NOT_KEPT},
        {"the disable's move fails", MEM_REG_SET_VALUE, 1, false, PLAT_ERROR_ACCESS_DENIED},
    };
    for (const auto &c : cases) {
        MemReset();
        SetUp();
        ScanCatalogue();
        MemResetCounts();
        MemSetTaskRegisterStrips(c.strips);
        if (c.strips == false)
            MemFailCall(c.op, c.occurrence);
        EXPECT_EQ(ResultRefused, DelayEntry(IndexOf("Tool"), 60, &StatusFront)) << c.what;
        ASSERT_EQ(1u, Outcomes.size()) << c.what;
        EXPECT_EQ(c.cause, Outcomes[0].cause) << c.what;
        EXPECT_TRUE(StartsAtLogon()) << c.what;
        EXPECT_FALSE(StartsLater()) << c.what;
        Outcomes.clear();
    }
    // The disable fails and the task cannot be taken away: twice, said.
    MemReset();
    SetUp();
    ScanCatalogue();
    MemResetCounts();
    MemFailCall(MEM_REG_SET_VALUE, 1);
    MemFailCall(MEM_TASK_DELETE, 1);
    EXPECT_EQ(ResultRefused, DelayEntry(IndexOf("Tool"), 60, &StatusFront));
    EXPECT_EQ(CAUSE_LATER_TWICE, Outcomes.back().cause);
    EXPECT_TRUE(StartsAtLogon() && StartsLater());

    // Back at logon: an enable that fails leaves the task; a task that
    // cannot be deleted has the entry disabled again.
    MemReset();
    SetUp();
    ASSERT_EQ(ResultDone, Delay("Tool", 60));
    ScanCatalogue();
    MemResetCounts();
    MemFailCall(MEM_REG_SET_VALUE, 1);
    EXPECT_EQ(ResultRefused, DelayEntry(IndexOf("Tool"), 0, &StatusFront));
    EXPECT_TRUE(!StartsAtLogon() && StartsLater());
    MemClearFaults();
    ScanCatalogue();
    MemResetCounts();
    MemFailCall(MEM_TASK_DELETE, 1);
    EXPECT_EQ(ResultRefused, DelayEntry(IndexOf("Tool"), 0, &StatusFront));
    EXPECT_EQ(PLAT_ERROR_ACCESS_DENIED, Outcomes.back().cause);
    EXPECT_TRUE(!StartsAtLogon() && StartsLater());
}

TEST_F(StartLater, ScanShowsOneRowWithItsDelayAndAnOrphanTaskAsATask)
{
    ASSERT_EQ(ResultDone, Delay("Tool", 120));
    ScanCatalogue();
    int32_t rows = ItemCatalogue.count;
    int i = IndexOf("Tool");
    ASSERT_GE(i, 0);
    EXPECT_EQ(RegistryValue, ItemCatalogue.items[i].kind);
    EXPECT_EQ(1, ItemCatalogue.items[i].enabled);
    EXPECT_EQ(std::string(kToolTask), ItemCatalogue.items[i].laterTask);
    EXPECT_NE(std::string::npos, Notes("Tool").find("starts 2 min after logon")) << Notes("Tool");
    EXPECT_STREQ(STATE_ON, ItemStateText(&ItemCatalogue.items[i]));
    EXPECT_EQ(std::string::npos, Notes("Tool").find("switched off in Windows"));
    for (int32_t r = 0; r < rows; ++r)
        EXPECT_NE(ScheduledTask, ItemCatalogue.items[r].kind) << "not listed apart";

    // An edit of its command keeps its task's action equal: the new task
    // first, then the value, then the old task away. A failing step leaves
    // both as they were; a rename is refused (its task names the entry).
    auto edit = [&](const char *name) {
        return SaveItem(name, "C:\\Tools\\tool.exe", "-new", 0, EditorEdit, IndexOf("Tool"));
    };
    EXPECT_EQ(SaveRefused, edit("Renamed"));
    EXPECT_EQ(CAUSE_LATER_EDIT, LastStoreError());
    MemResetCounts();
    MemFailCall(MEM_TASK_REGISTER, 1);
    EXPECT_EQ(SaveRefused, edit("Tool"));
    MemClearFaults();
    MemResetCounts();
    MemFailCall(MEM_REG_SET_VALUE, 1);
    EXPECT_NE(SaveDone, edit("Tool"));
    MemClearFaults();
    std::string value;
    ASSERT_TRUE(MemGetValue(PLAT_HKCU, kRunOff, "Tool", nullptr, &value));
    EXPECT_EQ(std::string::npos, value.find("-new"));
    EXPECT_FALSE(MemTaskExists((kToolTask + std::string(" (2)")).c_str()));
    EXPECT_NE(std::string::npos, MemTaskXml(kToolTask).find("<Arguments>-q</Arguments>"));
    ASSERT_EQ(SaveDone, edit("Tool"));
    EXPECT_FALSE(MemTaskExists(kToolTask));
    ScanCatalogue();
    i = IndexOf("Tool");
    ASSERT_EQ(120, ItemCatalogue.items[i].startLater) << "one row, its task folded";
    EXPECT_NE(std::string::npos, MemTaskXml(ItemCatalogue.items[i].laterTask).find("-new"));
    // Its undo would put the value back without the task: refused, said.
    FrontEnd edits = StatusFront;
    edits.name = FRONT_WINDOW;
    char saved[TEXT_FIELD_SIZE];
    long journal = 0;
    ASSERT_EQ(SaveDone, SaveEntry("Tool", "C:\\Tools\\tool.exe", "-q", 0, EditorEdit, i, saved,
                                  &edits, &journal));
    const char *undoEdit[] = {"orvanec", "undo", "1"};
    EXPECT_EQ(CliExitFailed, CliRun(3, (char **)undoEdit));
    EXPECT_NE(std::string::npos, MemStreamText(PLAT_STDERR).find("edit it back"));
    ScanCatalogue();
    i = IndexOf("Tool");

    // CleanUp keeps it: it is on.
    const int32_t states[] = {1};
    CleanUpDisabled(states, 0, &StatusFront);
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRunOff, "Tool"));

    // Disabling the row takes its task away, saved; the entry stays
    // disabled. Undone, it starts later again.
    FrontEnd named = StatusFront;
    named.name = FRONT_WINDOW;
    ApplyChange(i, 0, &named);
    EXPECT_FALSE(StartsLater());
    EXPECT_FALSE(StartsAtLogon());
    const char *undo[] = {"orvanec", "undo", "2"};
    EXPECT_EQ(CliExitDone, CliRun(3, (char **)undo)) << MemStreamText(PLAT_STDERR);
    ScanCatalogue();
    i = IndexOf("Tool");
    EXPECT_EQ(120, ItemCatalogue.items[i].startLater);
    // Switched off in the scheduler, it stays off through a new delay.
    ASSERT_EQ(PLAT_OK, PlatTaskSetEnabled(ItemCatalogue.items[i].laterTask, 0));
    ASSERT_EQ(ResultDone, Delay("Tool", 300));
    ScanCatalogue();
    EXPECT_EQ(0, ItemCatalogue.items[IndexOf("Tool")].enabled);
    // Disabled, then enabled at logon: the disable's task is never put
    // back beside it; a backup that cannot be written keeps the task, said.
    ASSERT_EQ(PLAT_OK, PlatTaskSetEnabled(ItemCatalogue.items[IndexOf("Tool")].laterTask, 1));
    ScanCatalogue();
    MemResetCounts();
    MemFailCall(MEM_FILE_CREATE, 1);
    EXPECT_NE(ResultDone, ApplyChange(IndexOf("Tool"), 0, &named));
    EXPECT_EQ(CAUSE_BACKUP_FAILED, Outcomes.back().cause);
    MemClearFaults();
    EXPECT_TRUE(MemTaskExists(ItemCatalogue.items[IndexOf("Tool")].laterTask));
    ApplyChange(IndexOf("Tool"), 0, &named);
    ScanCatalogue();
    ApplyChange(IndexOf("Tool"), 1, &named);
    const char *undoOff[] = {"orvanec", "undo", "4"};
    EXPECT_EQ(CliExitFailed, CliRun(3, (char **)undoOff)) << MemStreamText(PLAT_STDOUT);
    ScanCatalogue();
    i = IndexOf("Tool");
    int laterTasks = 0;
    for (int32_t r = 0; r < ItemCatalogue.count; ++r)
        laterTasks += ItemCatalogue.items[r].kind == ScheduledTask;
    EXPECT_TRUE(StartsAtLogon() && laterTasks == 0) << "never started twice";
    ApplyChange(i, 0, &StatusFront);

    EXPECT_EQ(ResultRefused, DelayEntry(IndexOf("Tool"), 60, &StatusFront));
    EXPECT_EQ(CAUSE_LATER_OFF, Outcomes.back().cause) << "a disabled entry is not started later";
    EXPECT_EQ(ResultRefused, DelayEntry(IndexOf("Tool"), 0, &StatusFront));
    EXPECT_EQ(CAUSE_LATER_OFF, Outcomes.back().cause) << "nor said to start at logon already";
    // A Startup file that is no shortcut is its own program: the disable
    // would move it away from under its task.
    MemAddFile(MEM_STARTUP_FOLDER "\\sync.bat");
    EXPECT_EQ(ResultRefused, Delay("sync.bat", 60));
    EXPECT_EQ(CAUSE_LATER_KIND, Outcomes.back().cause);
    // A variable longer than the logon's field could be cut: refused whole.
    MemSetString(PLAT_HKCU, "Environment", "LONGCFG", ("D:\\" + std::string(300, 'x')).c_str());
    MemSetString(PLAT_HKCU, kRun, "Long", "\"C:\\Tools\\tool.exe\" --cfg %LONGCFG%");
    EXPECT_EQ(ResultRefused, Delay("Long", 30));
    EXPECT_EQ(CAUSE_LATER_COMMAND, Outcomes.back().cause);
    // Every user's command with a variable each user sets: one task would
    // start this user's program for everyone.
    MemSetString(PLAT_HKLM, kRun, "Sync", "%LOCALAPPDATA%\\Sync\\sync.exe");
    EXPECT_EQ(ResultRefused, Delay("Sync", 60));
    EXPECT_EQ(CAUSE_LATER_USERS, Outcomes.back().cause);

    ASSERT_EQ(ResultDone, Delay("Agent.lnk", 30));
    std::string lnk = MEM_COMMON_DOCUMENTS_FOLDER "\\" DISABLED_ALL_FOLDER "\\Agent.lnk";
    ASSERT_TRUE(PlatDeleteFile(lnk.c_str()));
    ScanCatalogue();
    i = IndexOf("Agent");
    ASSERT_GE(i, 0) << "a task whose entry is gone is listed";
    EXPECT_EQ(ScheduledTask, ItemCatalogue.items[i].kind);

    // A task that names a disabled entry's id but starts another program,
    // or with the highest rights, is no entry's: listed, never hidden.
    MemSetString(PLAT_HKCU, kRunOff, "Tool", "\"C:\\Tools\\tool.exe\" -q");
    MemAddTask(kToolTask, Replaced(kUserXml, "C:\\Tools\\tool.exe", "C:\\Evil\\e.exe"));
    MemAddTask(START_LATER_FOLDER "High", Replaced(kUserXml, "LeastPrivilege", "HighestAvailable"));
    // Another user's (the scheduler shows it to an administrator).
    MemAddTask(START_LATER_FOLDER "Alice",
               Replaced(kUserXml, "<UserId>tester</UserId>\r\n      <Logon",
                        "<UserId>PC\\alice</UserId>\r\n      <Logon"));
    ScanCatalogue();
    int tasks = 0, later = 0;
    for (int32_t r = 0; r < ItemCatalogue.count; ++r) {
        tasks += ItemCatalogue.items[r].kind == ScheduledTask;
        later += ItemCatalogue.items[r].startLater != 0;
    }
    EXPECT_EQ(4, tasks) << "Agent's, and the three claiming Tool";
    EXPECT_EQ(0, later);
}

// Our task changed by another program (a trigger more, its trigger off, a
// working folder, a password logon) is no longer the entry's: listed apart.
TEST_F(StartLater, ATaskChangedSinceIsListedApart)
{
    ASSERT_EQ(ResultDone, Delay("Tool", 60));
    const std::string written = MemTaskXml(kToolTask);
    const std::pair<const char *, const char *> edits[] = {
        {"    </LogonTrigger>\r\n",
         "    </LogonTrigger>\r\n    <TimeTrigger><StartBoundary>2020-01-01T00:00:00"
         "</StartBoundary></TimeTrigger>\r\n"},
        {"<Delay>PT1M</Delay>", "<Delay>PT1M</Delay><Enabled>false</Enabled>"},
        {"</Command>\r\n", "</Command>\r\n      <WorkingDirectory>C:\\D</WorkingDirectory>\r\n"},
        {"InteractiveToken", "Password"}};
    for (const auto &e : edits) {
        MemAddTask(kToolTask, Replaced(written, e.first, e.second));
        ScanCatalogue();
        EXPECT_EQ(0, ItemCatalogue.items[IndexOf("Tool")].startLater) << e.second;
    }
}

// A scheduler that cannot list and gives its tasks back without their
// triggers (Wine's): the task file says what the task is while the
// scheduler knows it by its path; a file it does not know is a task apart.
TEST_F(StartLater, TaskFileFoldsOnlyWhileTheSchedulerKnowsTheTask)
{
    ASSERT_EQ(ResultDone, Delay("Tool", 60));
    std::string file = std::string("C:\\WINDOWS\\System32\\Tasks") + kToolTask;
    MemAddFile(file.c_str(), std::string("\xff\xfe", 2) + MemUtf16(kUserXml.c_str(), false));
    MemAddTask(kToolTask, "<Task><Settings><Enabled>true</Enabled></Settings></Task>");
    MemFailCall(MEM_TASK_LIST, 0, PLAT_ERROR_CALL_NOT_IMPLEMENTED);
    ScanCatalogue();
    ASSERT_EQ(2, ItemCatalogue.count) << "Tool and Agent.lnk";
    EXPECT_EQ(60, ItemCatalogue.items[IndexOf("Tool")].startLater);
    EXPECT_EQ(1, ItemCatalogue.items[IndexOf("Tool")].enabled);
    ASSERT_EQ(ResultDone, DelayEntry(IndexOf("Tool"), 0, &StatusFront));
    EXPECT_TRUE(StartsAtLogon() && !StartsLater());

    ASSERT_EQ(ResultDone, Delay("Tool", 60));
    ASSERT_EQ(PLAT_OK, PlatTaskDelete(kToolTask));
    ScanCatalogue();
    ASSERT_EQ(3, ItemCatalogue.count) << "the file alone is no task of the entry's";
    EXPECT_EQ(0, ItemCatalogue.items[IndexOf("Tool")].startLater);
}

TEST_F(StartLater, DelayZeroGivesStorageBackAndRemoveTakesBoth)
{
    std::string run, approved;
    ASSERT_TRUE(MemGetValue(PLAT_HKCU, kRun, "Tool", nullptr, &run));
    ASSERT_TRUE(MemGetValue(PLAT_HKCU, kApproved, "Tool", nullptr, &approved));
    ASSERT_EQ(ResultDone, Delay("Tool", 300));
    EXPECT_EQ(ResultAlready, Delay("Tool", 300));
    ASSERT_EQ(ResultDone, Delay("Tool", 60)) << "another delay replaces the task";
    EXPECT_NE(std::string::npos, MemTaskXml((kToolTask + std::string(" (2)")).c_str()).find("PT1M"));
    EXPECT_FALSE(MemTaskExists(kToolTask));
    ASSERT_EQ(ResultDone, Delay("Tool", 0));
    std::string runAfter, approvedAfter;
    EXPECT_TRUE(MemGetValue(PLAT_HKCU, kRun, "Tool", nullptr, &runAfter));
    EXPECT_TRUE(MemGetValue(PLAT_HKCU, kApproved, "Tool", nullptr, &approvedAfter));
    EXPECT_EQ(run, runAfter);
    EXPECT_EQ(approved, approvedAfter);
    EXPECT_TRUE(MemValueNames(PLAT_HKCU, kRunOff).empty());
    EXPECT_FALSE(MemTaskExists((kToolTask + std::string(" (2)")).c_str()));

    // All users' shortcut waits in a folder any user may write to: back at
    // logon only when the question's answer is Yes (No the default).
    ASSERT_EQ(ResultDone, Delay("Agent.lnk", 30));
    StatusFrontAnswer = 0;
    EXPECT_EQ(ResultDeclined, Delay("Agent.lnk", 0));
    StatusFrontAnswer = 1;
    EXPECT_FALSE(MemFileExists(kAgentLink));
    EXPECT_EQ(ResultDone, Delay("Agent.lnk", 0));
    EXPECT_TRUE(MemFileExists(kAgentLink));

    // Remove of a delayed entry: its task and the entry, each backed up.
    ASSERT_EQ(ResultDone, Delay("Tool", 30));
    ScanCatalogue();
    MemResetCounts();
    MemFailCall(MEM_REG_DELETE_VALUE, 1);
    EXPECT_NE(ResultDone, RemoveEntry(&ItemCatalogue.items[IndexOf("Tool")], &StatusFront));
    EXPECT_TRUE(StartsLater()) << "the task is put back when the entry stays";
    MemClearFaults();
    ScanCatalogue();
    size_t before = XmlBackups();
    EXPECT_EQ(ResultDone, RemoveEntry(&ItemCatalogue.items[IndexOf("Tool")], &StatusFront));
    EXPECT_FALSE(StartsLater());
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRunOff, "Tool"));
    EXPECT_EQ(before + 1, XmlBackups()) << "the task's backup";

    // In the history the task is a change of its own: both undone, the
    // entry starts later again.
    MemSetString(PLAT_HKCU, kRun, "Tool", "\"C:\\Tools\\tool.exe\" -q");
    ASSERT_EQ(ResultDone, Delay("Tool", 60));
    ScanCatalogue();
    FrontEnd named = StatusFront;
    named.name = FRONT_WINDOW;
    ASSERT_EQ(ResultDone, RemoveEntry(&ItemCatalogue.items[IndexOf("Tool")], &named));
    const char *undoTask[] = {"orvanec", "undo", "2"}, *undoEntry[] = {"orvanec", "undo", "1"};
    EXPECT_EQ(CliExitFailed, CliRun(3, (char **)undoTask)) << "its entry is not back yet";
    EXPECT_EQ(CliExitDone, CliRun(3, (char **)undoEntry)) << MemStreamText(PLAT_STDERR);
    EXPECT_EQ(CliExitDone, CliRun(3, (char **)undoTask)) << MemStreamText(PLAT_STDERR);
    ScanCatalogue();
    EXPECT_EQ(60, ItemCatalogue.items[IndexOf("Tool")].startLater);

    // Machine entry with a user's variable: back at logon whatever the
    // variables (only a new task is refused for them).
    MemSetString(PLAT_HKLM, kRun, "Sync", "%ProgramData%\\Sync\\sync.exe");
    MemSetString(PLAT_HKLM, SESSION_MANAGER_KEY "\\Environment", "ProgramData", "C:\\ProgramData");
    ASSERT_EQ(ResultDone, Delay("Sync", 60));
    MemSetString(PLAT_HKCU, "Environment", "ProgramData", "C:\\ProgramData");
    EXPECT_EQ(ResultDone, Delay("Sync", 0));
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, kRun, "Sync"));
}

TEST_F(StartLater, ConsoleDelaysAndItsHistoryUndoes)
{
    const char *id = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\Tool";
    const char *wrong[] = {"orvanec", "delay", id, "45"};
    EXPECT_EQ(CliExitUsage, CliRun(4, (char **)wrong));
    EXPECT_NE(std::string::npos, MemStreamText(PLAT_STDERR).find("30, 60, 120, 300 or 600"));
    const char *later[] = {"orvanec", "delay", id, "60"};
    EXPECT_EQ(CliExitDone, CliRun(4, (char **)later));
    EXPECT_NE(std::string::npos, MemStreamText(PLAT_STDOUT).find("\"Tool\" now starts 1 min after logon"));
    EXPECT_TRUE(StartsLater());
    const char *undo[] = {"orvanec", "undo", "1"};
    EXPECT_EQ(CliExitDone, CliRun(3, (char **)undo)) << MemStreamText(PLAT_STDERR);
    EXPECT_TRUE(StartsAtLogon() && !StartsLater());

    // A command on the entry's id sees its task: disable stops the task,
    // never an enable beside it (twice) nor a Remove without it.
    ASSERT_EQ(CliExitDone, CliRun(4, (char **)later));
    const char *off[] = {"orvanec", "disable", id};
    EXPECT_EQ(CliExitDone, CliRun(3, (char **)off)) << MemStreamText(PLAT_STDERR);
    EXPECT_FALSE(StartsAtLogon() || StartsLater());
    const char *on[] = {"orvanec", "enable", id};
    ASSERT_EQ(CliExitDone, CliRun(3, (char **)on));
    ASSERT_EQ(CliExitDone, CliRun(4, (char **)later));
    const char *gone[] = {"orvanec", "remove", id, "--yes"};
    EXPECT_EQ(CliExitDone, CliRun(4, (char **)gone)) << MemStreamText(PLAT_STDERR);
    EXPECT_FALSE(StartsAtLogon() || StartsLater());
    MemSetString(PLAT_HKCU, kRun, "Tool", "\"C:\\Tools\\tool.exe\" -q");

    // Under a scheduler that drops triggers (Wine's) it is refused, said.
    MemSetTaskRegisterStrips(true);
    EXPECT_EQ(CliExitFailed, CliRun(4, (char **)later));
    EXPECT_NE(std::string::npos, MemStreamText(PLAT_STDERR).find("was not set to start 1 min"));
    EXPECT_TRUE(StartsAtLogon());
}
