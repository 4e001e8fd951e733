// tasks_test.cpp - scheduled tasks: the definition parser over real-shaped
// XML, the rows of the scan, switching in place with read-back, and Remove
// with the XML backup written and read back before anything is deleted.
#include "../../catalogue/task_xml.h"
#include "../../report/html_log.h"
#include "../../store/store.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

std::string Task(const std::string &triggers, const std::string &actions,
                 const std::string &settings = "", const std::string &head = "")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
           "<Task version=\"1.4\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
           "<RegistrationInfo><Author>Vendor</Author></RegistrationInfo>"
           + head + "<Triggers>" + triggers + "</Triggers><Settings>" + settings
           + "</Settings><Actions Context=\"Author\">" + actions + "</Actions></Task>";
}

std::string Exec(const std::string &command, const std::string &arguments = "")
{
    return "<Exec><Command>" + command + "</Command>"
           + (arguments.empty() ? "" : "<Arguments>" + arguments + "</Arguments>") + "</Exec>";
}

const std::string kLogon = "<LogonTrigger><Enabled>true</Enabled></LogonTrigger>";
const std::string kUpdater = Task(kLogon, Exec("C:\\Vendor\\up.exe", "/silent"));

std::string Utf16(const std::string &utf8, bool mark)
{
    return (mark ? std::string("\xff\xfe", 2) : std::string()) + MemUtf16(utf8.c_str(), false);
}

struct ParseCase {
    const char *what;
    std::string xml;
    int whole;
    const char *triggers;
    const char *program;
    const char *arguments;
    int execs, enabled, hidden, highest;
};

} // namespace

TEST(TaskXml, ReadsTheSubsetOfRealDefinitions)
{
    const std::string longCommand = "C:\\" + std::string(300, 'x') + ".exe";
    const ParseCase cases[] = {
        {"UTF-16 with a mark", Utf16(kUpdater, true), 1, "at logon of any user",
         "C:\\Vendor\\up.exe", "/silent", 1, 1, 0, 0},
        {"UTF-16 without a mark", Utf16(kUpdater, false), 1, "at logon of any user",
         "C:\\Vendor\\up.exe", "/silent", 1, 1, 0, 0},
        {"UTF-8 without a mark",
         Task("<LogonTrigger><UserId>PC\\ana</UserId><Delay>PT30S</Delay></LogonTrigger>",
              Exec("a.exe")),
         1, "at logon of PC\\ana, 30 s delay", "a.exe", "", 1, 1, 0, 0},
        {"boot, switched-off trigger, two actions",
         Task("<BootTrigger><Delay>PT1H30M</Delay><Enabled>false</Enabled></BootTrigger>",
              Exec("a.exe", "1") + Exec("b.exe", "2")),
         1, "at boot, 1 h 30 min delay, this trigger switched off", "a.exe", "1", 2, 1, 0, 0},
        {"hidden, switched off, highest rights",
         Task(kLogon, Exec("a.exe"), "<Enabled>false</Enabled><Hidden>true</Hidden>",
              "<Principals><Principal id=\"Author\"><RunLevel>HighestAvailable</RunLevel>"
              "</Principal></Principals>"),
         1, "at logon of any user", "a.exe", "", 1, 0, 1, 1},
        {"entities and CDATA",
         Task(kLogon, Exec("&quot;C:\\A &amp; B\\&#x263a;.exe&quot;", "<![CDATA[<x> & y]]>")),
         1, "at logon of any user", "\"C:\\A & B\\\xe2\x98\xba.exe\"", "<x> & y", 1, 1, 0, 0},
        {"a time trigger only", Task("<TimeTrigger><StartBoundary>2026-01-01T00:00:00"
                                     "</StartBoundary></TimeTrigger>", Exec("a.exe")),
         1, "", "a.exe", "", 1, 1, 0, 0},
        {"a 300-character command", Task(kLogon, Exec(longCommand)), 1, "at logon of any user",
         longCommand.c_str(), "", 1, 1, 0, 0},
        {"truncated", kUpdater.substr(0, kUpdater.size() / 2), 0, nullptr, nullptr, nullptr, 0, 0,
         0, 0},
        {"mismatched end tag", "<Task><Actions></Triggers></Task>", 0, nullptr, nullptr, nullptr,
         0, 0, 0, 0},
        {"another root", "<Job><Triggers>" + kLogon + "</Triggers></Job>", 0, nullptr, nullptr,
         nullptr, 0, 0, 0, 0},
    };
    for (const ParseCase &c : cases) {
        TaskDefinition task;
        EXPECT_EQ(c.whole, ParseTaskXml(c.xml.data(), c.xml.size(), &task)) << c.what;
        if (!c.whole)
            continue;
        EXPECT_STREQ(c.triggers, task.triggers) << c.what;
        EXPECT_STREQ(c.program, task.program) << c.what;
        EXPECT_STREQ(c.arguments, task.arguments) << c.what;
        EXPECT_EQ(c.execs, task.execActions) << c.what;
        EXPECT_EQ(c.enabled, task.enabled) << c.what;
        EXPECT_EQ(c.hidden, task.hidden) << c.what;
        EXPECT_EQ(c.highest, task.highest) << c.what;
        EXPECT_EQ(c.triggers[0] != '\0', TaskStartsAtLogon(&task)) << c.what;
        EXPECT_EQ(0, task.commandCut) << c.what;
    }
    // Past the command field: cut between characters (two-byte ones here,
    // the field's end falling inside one), and marked.
    std::string wide = "C:\\x";
    while (wide.size() < COMMAND_FIELD_SIZE + 8)
        wide += "\xc3\xa9";
    const std::string xml = Task(kLogon, Exec(wide));
    TaskDefinition task;
    ASSERT_EQ(1, ParseTaskXml(xml.data(), xml.size(), &task));
    EXPECT_EQ(wide.substr(0, COMMAND_FIELD_SIZE - 2), task.program);
    EXPECT_EQ(1, task.commandCut);
}

class Tasks : public testing::Test {
protected:
    void SetUp() override
    {
        MemReset();
        Statuses.clear();
        MemAddFile("C:\\Vendor\\up.exe");
    }
    const AutostartItem *Row(const char *name)
    {
        int i = IndexOf(name);
        return i < 0 ? nullptr : &ItemCatalogue.items[i];
    }
    std::string Notes(const char *name)
    {
        char notes[4 * TEXT_FIELD_SIZE];
        ItemNotes(Row(name), notes, sizeof notes);
        return notes;
    }
};

// One row per logon or boot task, Windows' own after the user's, details
// in the notes, an unreadable definition listed and said.
// A task runs every action: one of Windows' programs first hides nothing
// after it; only Windows' own task folder holds tasks that are hidden.
TEST_F(Tasks, OnlyATaskRunningWindowsOwnProgramAloneIsHidden)
{
    const char *program = "C:\\Windows\\System32\\notepad.exe";
    MemSetSignature(program, PLAT_TRUST_VERIFIED, WINDOWS_SIGNER, true);
    const std::string system = "<Principals><Principal><UserId>S-1-5-18</UserId></Principal></Principals>";
    const std::string user = "<Principals><Principal><UserId>PC\\ana</UserId></Principal></Principals>";
    MemAddTask("\\Microsoft\\Windows\\Alone", Task(kLogon, Exec(program), "", system));
    MemAddTask("\\Microsoft\\Windows\\Then",
               Task(kLogon, Exec(program) + Exec("C:\\evil.exe"), "", system));
    // Outside Windows' own folder any program of the user may register one,
    // and inside it one that runs as the user, or as whoever registered it.
    MemAddTask("\\Mine", Task(kLogon, Exec(program), "", system));
    MemAddTask("\\Microsoft\\Windows\\Ana", Task(kLogon, Exec(program), "", user));
    MemAddTask("\\Microsoft\\Windows\\Anyone", Task(kLogon, Exec(program)));
    ScanCatalogue();
    EXPECT_EQ(1, ItemHiddenAsWindows(Row("Alone"), 1));
    for (const char *shown : {"Then", "Mine", "Ana", "Anyone"})
        EXPECT_EQ(0, ItemHiddenAsWindows(Row(shown), 1)) << shown;
}

TEST_F(Tasks, ScanListsLogonTasksWithTheirDetails)
{
    MemAddTask("\\Microsoft\\Windows\\Setup\\Boot",
               Task("<BootTrigger/>", Exec("b.exe"), "<Hidden>true</Hidden>"));
    MemAddTask("\\Vendor\\Updater", kUpdater, false);
    MemAddTask("\\Timer", Task("<TimeTrigger/>", Exec("t.exe")));
    MemAddTask("\\Broken", kUpdater.substr(0, 100));
    MemAddTask("\\Com", Task(kLogon, "<ComHandler><ClassId>{1234}</ClassId></ComHandler>"
                                         + Exec("x.exe")));
    ScanCatalogue();
    ASSERT_EQ(4, ItemCatalogue.count);
    EXPECT_STREQ("Updater", ItemCatalogue.items[0].name);
    EXPECT_STREQ("Boot", ItemCatalogue.items[3].name);
    const AutostartItem *updater = Row("Updater");
    EXPECT_STREQ("\\Vendor\\Updater", updater->location);
    EXPECT_STREQ(TASK_TYPE, ItemTypeText(updater));
    EXPECT_STREQ("C:\\Vendor\\up.exe", updater->target);
    EXPECT_STREQ("/silent", updater->parameters);
    EXPECT_EQ(0, updater->enabled);
    EXPECT_EQ("at logon of any user; author Vendor", Notes("Updater"));
    EXPECT_EQ("at logon of any user; 1 further action; COM handler {1234}; author Vendor; " NOTE_TARGET_MISSING,
              Notes("Com"));
    EXPECT_EQ(NOTE_TASK_UNREADABLE, Notes("Broken"));
    EXPECT_EQ(0u, Notes("Boot").find("at boot; hidden task; author Vendor")) << Notes("Boot");
    EXPECT_EQ(-1, IndexOf("Timer"));
}

// Where the scheduler cannot list, the task files are read, two folders
// deep, and those rows are never handed back to the scheduler.
TEST_F(Tasks, TaskFilesStandInForAListlessSchedulerReadOnly)
{
    MemFailCall(MEM_TASK_LIST, 0, PLAT_ERROR_CALL_NOT_IMPLEMENTED);
    // The folder is the system's: %windir% is the user's to set.
    MemSetEnv("windir", "C:\\Users\\tester\\w");
    MemAddFile("C:\\WINDOWS\\System32\\Tasks\\Vendor\\Sub\\Agent", Utf16(kUpdater, true));
    MemAddFile("C:\\WINDOWS\\System32\\Tasks\\Cut", kUpdater.substr(0, 50));
    // Larger than any definition: listed, never loaded. A linked folder leads elsewhere.
    MemAddFile("C:\\WINDOWS\\System32\\Tasks\\Big", std::string(TASK_XML_MOST + 1, ' '));
    MemAddFile("C:\\WINDOWS\\System32\\Tasks\\Linked\\Elsewhere", Utf16(kUpdater, true));
    MemSetReparseTag("C:\\WINDOWS\\System32\\Tasks\\Linked", 0xA0000003);
    ScanCatalogue();
    ASSERT_EQ(3, ItemCatalogue.count);
    EXPECT_STREQ("", ItemCatalogue.tasksUnread) << "a scheduler without a listing failed nothing";
    EXPECT_EQ(-1, IndexOf("Elsewhere"));
    EXPECT_EQ(NOTE_TASK_UNREADABLE "; " NOTE_TASK_FILES, Notes("Big"));
    EXPECT_EQ(2, MemCallCount(MEM_FILE_LOAD));
    EXPECT_STREQ("\\Vendor\\Sub\\Agent", Row("Agent")->location);
    EXPECT_EQ("at logon of any user; " NOTE_TASK_FILES "; author Vendor", Notes("Agent"));
    EXPECT_EQ(NOTE_TASK_UNREADABLE "; " NOTE_TASK_FILES, Notes("Cut"));
    Toggle({"Agent"});
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_EQ(std::string("ERROR: \"Agent\" was not switched off: ") + CauseText(CAUSE_TASK_FILES) + ".", Statuses[0]);
    char backup[TEXT_FIELD_SIZE];
    ScanCatalogue();
    EXPECT_EQ(RemoveRefused, RemoveItemWithBackup(Row("Agent"), backup));
    EXPECT_EQ(0, MemCallCount(MEM_TASK_READ) + MemCallCount(MEM_TASK_SET_ENABLED)
                     + MemCallCount(MEM_TASK_DELETE));
}

// A listing that failed or timed out is no listing of nothing: the task
// files stand in, and every scan says so, to the front end and the report.
TEST_F(Tasks, FailedListingIsSaidEveryScan)
{
    MemAddFile("C:\\WINDOWS\\System32\\Tasks\\Agent", Utf16(kUpdater, true));
    MemFailCall(MEM_TASK_LIST, 0, 1460); // ERROR_TIMEOUT
    std::vector<std::string> told;
    CatalogueErrors = [](void *context, const char *, const char *text) {
        ((std::vector<std::string> *)context)->push_back(text);
    };
    CatalogueErrorContext = &told;
    ScanCatalogue();
    ScanCatalogue();
    CatalogueErrors = nullptr;
    CatalogueErrorContext = nullptr;
    char said[TASKS_UNREAD_SIZE];
    TextFormat(said, sizeof said, TASKS_NOT_LISTED, "Error 1460.");
    EXPECT_EQ(std::vector<std::string>({said, said}), told);
    EXPECT_STREQ(said, ItemCatalogue.tasksUnread);
    EXPECT_GE(IndexOf("Agent"), 0);
    WriteHtmlLog("C:\\report.html");
    EXPECT_NE(std::string::npos, MemFileBytes("C:\\report.html").find(said));
}

// Past the most a list holds, the tasks left out are counted and said.
TEST_F(Tasks, TasksPastTheMostAreCounted)
{
    for (int i = 0; i < 4096 + 2; ++i)
        MemAddTask(("\\T" + std::to_string(i)).c_str(), kUpdater);
    MemFailCall(MEM_TASK_READ, 0); // each listed unread, as it may start: quicker
    ScanCatalogue();
    EXPECT_EQ(4096, ItemCatalogue.count);
    EXPECT_STREQ("2 tasks past the first 4096 were not read: the list holds no more",
                 ItemCatalogue.tasksUnread);
}

// Elevated, a logon task that the scheduler's registry cache or its task
// files hold and its listing does not (its SD value deleted) is listed
// read-only, said hidden; unelevated the cache is not read.
TEST_F(Tasks, TasksHiddenFromTheListingAreListedElevated)
{
    const std::string tree =
        "Software\\Microsoft\\Windows NT\\CurrentVersion\\Schedule\\TaskCache\\Tree";
    const std::string files = "C:\\WINDOWS\\System32\\Tasks";
    for (const char *task : {"\\Listed", "\\Vendor\\Ghost", "\\CacheOnly", "\\Timer"})
        MemSetString(PLAT_HKLM, (tree + task).c_str(), "Id", "{0}");
    for (const char *task : {"\\Listed", "\\Vendor\\Ghost", "\\Orphan"})
        MemAddFile((files + task).c_str(), Utf16(kUpdater, true));
    MemAddFile((files + "\\Timer").c_str(), Task("<TimeTrigger/>", Exec("t.exe")));
    MemAddTask("\\Listed", kUpdater);
    ScanCatalogue();
    EXPECT_EQ(1, ItemCatalogue.count);
    MemSetElevated(true);
    ScanCatalogue();
    ASSERT_EQ(4, ItemCatalogue.count);
    EXPECT_EQ(0, Row("Listed")->readOnly);
    EXPECT_EQ(1, Row("Ghost")->readOnly);
    EXPECT_STREQ("\\Vendor\\Ghost", Row("Ghost")->location);
    EXPECT_EQ("at logon of any user; " NOTE_TASK_HIDDEN "; author Vendor", Notes("Ghost"));
    EXPECT_EQ(NOTE_TASK_UNREADABLE "; " NOTE_TASK_HIDDEN "; " NOTE_TASK_CACHE_ONLY,
              Notes("CacheOnly"));
    EXPECT_EQ("at logon of any user; " NOTE_TASK_HIDDEN "; " NOTE_TASK_FILE_ONLY "; author Vendor",
              Notes("Orphan"));
    EXPECT_EQ(-1, IndexOf("Timer"));
    Toggle({"Ghost"});
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_EQ(std::string("ERROR: \"Ghost\" was not switched off: ")
                  + CauseText(CAUSE_TASK_HIDDEN) + ".",
              Statuses[0]);
}

// Who it runs as, the rights and further actions come before the author (any text), which
// is cut with "..."; a long command is whole up to its field, then marked
// cut; a task not ours to read keeps the scheduler's state.
TEST_F(Tasks, NotesPutWhatTheTaskMayDoFirst)
{
    const std::string author(240, 'A');
    MemAddTask("\\Evil", "<Task><RegistrationInfo><Author>" + author + "</Author></RegistrationInfo>"
                            "<Principals><Principal><UserId>S-1-5-18</UserId>"
                            "<RunLevel>HighestAvailable</RunLevel></Principal>"
                            "</Principals><Triggers>" + kLogon + "</Triggers><Actions>"
                            + Exec("C:\\Vendor\\up.exe", std::string(600, 'q'))
                            + Exec("C:\\evil.exe") + "</Actions></Task>");
    MemAddTask("\\Longer", Task(kLogon, Exec("C:\\" + std::string(2100, 'q'))));
    MemAddTask("\\Denied", kUpdater);
    MemAddTask("\\Users", Task(kLogon,
                                "<Exec><Command>C:\\u.exe</Command>"
                                "<WorkingDirectory>C:\\w</WorkingDirectory></Exec>",
                                "", "<Principals><Principal><GroupId>S-1-5-32-545</GroupId>"
                                    "</Principal></Principals>"));
    MemFailCall(MEM_TASK_READ, 3, PLAT_ERROR_ACCESS_DENIED);
    ScanCatalogue();
    // Whose rights come first: SYSTEM's said as plainly as the highest.
    const std::string first = "at logon of any user; runs as SYSTEM; runs with highest rights; "
                              "1 further action: C:\\evil.exe; author ";
    EXPECT_EQ(first + author.substr(0, TEXT_FIELD_SIZE - 4 - first.size()) + "...",
              Row("Evil")->taskNotes);
    EXPECT_EQ(600u, strlen(Row("Evil")->parameters));
    EXPECT_EQ(0, Row("Evil")->commandCut);
    EXPECT_EQ(1, Row("Longer")->commandCut);
    EXPECT_EQ(1, Row("Denied")->enabled);
    EXPECT_EQ(NOTE_TASK_UNREADABLE, Notes("Denied"));
    EXPECT_EQ("at logon of any user; runs as the user who logs on; working folder C:\\w; "
              "author Vendor; " NOTE_TARGET_MISSING,
              Notes("Users"));
    MemFailCall(MEM_TASK_READ, 0, PLAT_ERROR_ACCESS_DENIED); // its state unknown too
    ScanCatalogue();
    EXPECT_EQ(1, Row("Denied")->enabled);
    EXPECT_EQ(std::string(NOTE_TASK_UNREADABLE "; " NOTE_TASK_STATE_UNKNOWN), Notes("Denied"));
}

// A path the code page cannot spell reaches no task, or another's: listed,
// never switched or removed, the cause said.
TEST_F(Tasks, InexactPathIsNeverActedOn)
{
    MemAddTaskUtf8("\\Vendor\\Up\xc4\x9b", kUpdater);
    ScanCatalogue();
    ASSERT_EQ(1, ItemCatalogue.count);
    EXPECT_EQ(1, ItemCatalogue.items[0].inexact);
    Toggle({"Up?"});
    RemoveEntry(&ItemCatalogue.items[0], &StatusFront);
    ASSERT_EQ(2u, Statuses.size());
    EXPECT_EQ(Statuses[0], Statuses[1]);
    EXPECT_EQ("ERROR: \"Up?\": its name cannot be handled on this Windows; nothing was changed.",
              Statuses[1]);
    EXPECT_EQ(0, MemCallCount(MEM_TASK_SET_ENABLED) + MemCallCount(MEM_TASK_DELETE));
}

// Switched in place and read back: a change the scheduler took but did not
// make is a failure; a refusal names its cause.
TEST_F(Tasks, SwitchIsReadBack)
{
    MemAddTask("\\Vendor\\Updater", kUpdater);
    Toggle({"Updater"});
    EXPECT_TRUE(Statuses.empty());
    EXPECT_FALSE(MemTaskEnabled("\\Vendor\\Updater"));

    MemSetTaskSwitchIgnored(true);
    Toggle({"Updater"});
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_EQ("ERROR: \"Updater\" was not switched on: the Task Scheduler did not change it.",
              Statuses[0]);

    MemSetTaskSwitchIgnored(false);
    MemFailCall(MEM_TASK_SET_ENABLED, 0, PLAT_ERROR_ACCESS_DENIED);
    Toggle({"Updater"});
    ASSERT_EQ(2u, Statuses.size());
    EXPECT_EQ("ERROR: \"Updater\" was not switched on: administrator rights are needed.",
              Statuses[1]);
    EXPECT_TRUE(MemTaskExists("\\Vendor\\Updater"));
}

// The XML goes to the backup as UTF-16 with a mark, is read back, and only
// then is the task deleted; a failing backup deletes nothing.
TEST_F(Tasks, RemoveBacksUpTheXmlFirst)
{
    MemAddTask("\\Vendor\\Updater", kUpdater);
    ScanCatalogue();
    MemFailCall(MEM_FILE_WRITE, 0);
    EXPECT_EQ(ResultBackupFailed, RemoveEntry(Row("Updater"), &StatusFront));
    MemClearFaults();
    MemFailCall(MEM_FILE_LOAD, 0);
    EXPECT_EQ(ResultBackupFailed, RemoveEntry(Row("Updater"), &StatusFront));
    EXPECT_TRUE(MemTaskExists("\\Vendor\\Updater"));
    EXPECT_EQ(0, MemCallCount(MEM_TASK_DELETE));
    EXPECT_TRUE(MemListFolder(MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER).empty());
    MemClearFaults();

    const std::string file = MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER
                             "\\Removed 2026-12-07 130509 Updater.xml";
    MemSetHook(MEM_TASK_DELETE, 1, [&] { EXPECT_EQ(Utf16(kUpdater, true), MemFileBytes(file.c_str())); });
    EXPECT_EQ(ResultDone, RemoveEntry(Row("Updater"), &StatusFront));
    EXPECT_FALSE(MemTaskExists("\\Vendor\\Updater"));
    EXPECT_EQ("Removed \"Updater\"; backup: " + file + "; to restore it: schtasks /create /xml \""
                  + file + "\" /tn \"\\Vendor\\Updater\" (that gives it the default security "
                  "descriptor; its own is saved in " + file.substr(0, file.size() - 4) + ".sddl)",
              Statuses.back());
}

// A task that stores no password (S4U) is restored with none; a user whose
// name holds "%" gets no command line either.
TEST_F(Tasks, RestoreNamesNoPasswordForS4uAndNoVariableInItsUser)
{
    const std::string folder = MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER "\\Removed 2026-12-07 130509 ";
    for (const char *user : {"PC\\ana", "PC\\%USERNAME%"}) {
        MemReset();
        MemAddTask("\\Vendor\\S4u", Task(kLogon, Exec("C:\\up.exe"), "",
                                           std::string("<Principals><Principal id=\"Author\"><UserId>")
                                               + user + "</UserId><LogonType>S4U</LogonType>"
                                               "</Principal></Principals>"));
        ScanCatalogue();
        Statuses.clear();
        EXPECT_EQ(ResultDone, RemoveEntry(Row("S4u"), &StatusFront));
        const std::string file = folder + "S4u.xml";
        std::string restore = strchr(user, '%')
                                  ? std::string(TASK_RESTORE_BY_IMPORT)
                                  : "schtasks /create /xml \"" + file
                                        + "\" /tn \"\\Vendor\\S4u\" /ru \"PC\\ana\" /np";
        EXPECT_NE(std::string::npos, Statuses.back().find("to restore it: " + restore + " ("))
            << Statuses.back();
    }
}

// A task run whether its user is logged on or not, "%" in its name: its
// security descriptor is saved beside its XML, both or neither; the restore
// names the user, asks his password, and puts each "%" outside the quotes
// after a caret, where cmd.exe expands no variable; a descriptor that
// cannot be read refuses the removal, one changed meanwhile keeps the task.
TEST_F(Tasks, RemovedTaskHasARestoreThatWorks)
{
    const char *path = "\\Vendor\\100%windir%";
    const std::string xml = Task(kLogon, Exec("C:\\Vendor\\up.exe"), "",
                                 "<Principals><Principal id=\"Author\"><UserId>PC\\ana</UserId>"
                                 "<LogonType>Password</LogonType></Principal></Principals>");
    const std::string sddl = "O:S-1-5-21-7G:SYD:(A;;FA;;;S-1-5-21-7)";
    MemAddTask(path, xml);
    MemSetTaskSecurity(path, sddl.c_str());
    ScanCatalogue();
    const std::string folder = MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER;
    MemFailCall(MEM_TASK_SECURITY, 0, PLAT_ERROR_ACCESS_DENIED);
    EXPECT_EQ(ResultRefused, RemoveEntry(Row("100%windir%"), &StatusFront));
    MemClearFaults();
    MemFailCall(MEM_FILE_WRITE, 2); // the descriptor's
    EXPECT_EQ(ResultBackupFailed, RemoveEntry(Row("100%windir%"), &StatusFront));
    EXPECT_TRUE(MemListFolder(folder.c_str()).empty());
    MemClearFaults();

    EXPECT_EQ(ResultDone, RemoveEntry(Row("100%windir%"), &StatusFront));
    EXPECT_FALSE(MemTaskExists(path));
    const std::string file = folder + "\\Removed 2026-12-07 130509 100%windir%";
    EXPECT_EQ(Utf16(xml, true), MemFileBytes((file + ".xml").c_str()));
    EXPECT_EQ(sddl, MemFileBytes((file + ".sddl").c_str()));
    // No command line for a name any user could make cmd.exe expand.
    EXPECT_EQ("Removed \"100%windir%\"; backup: " + file + ".xml; to restore it: "
                  TASK_RESTORE_BY_IMPORT " (that gives it the default security descriptor; its "
                  "own is saved in " + file + ".sddl)",
              Statuses.back());

    MemAddTask(path, xml);
    MemSetHook(MEM_FILE_LOAD, MemCallCount(MEM_FILE_LOAD) + 2,
               [&] { MemSetTaskSecurity(path, "D:(A;;FA;;;WD)"); });
    EXPECT_EQ(ResultKept, RemoveEntry(Row("100%windir%"), &StatusFront));
    EXPECT_TRUE(MemTaskExists(path));
}

// A task registered anew after its backup was read back is kept; a read
// that fails says its own cause; a cut path says so.
TEST_F(Tasks, RemoveDeletesOnlyWhatTheBackupHolds)
{
    MemAddTask("\\Vendor\\Updater", kUpdater);
    ScanCatalogue();
    const std::string anew = Task(kLogon, Exec("C:\\Vendor\\up.exe", "/other"));
    MemSetHook(MEM_FILE_LOAD, MemCallCount(MEM_FILE_LOAD) + 1,
               [&] { MemAddTask("\\Vendor\\Updater", anew); });
    EXPECT_EQ(ResultKept, RemoveEntry(Row("Updater"), &StatusFront));
    EXPECT_TRUE(MemTaskExists("\\Vendor\\Updater"));
    EXPECT_EQ(0, MemCallCount(MEM_TASK_DELETE));
    EXPECT_EQ(0u, Statuses.back().find("ERROR: \"Updater\" was not removed: another program "
                                       "changed it since the list was read. Its backup is kept: "));

    MemFailCall(MEM_TASK_READ, 0, PLAT_ERROR_ACCESS_DENIED);
    RemoveEntry(Row("Updater"), &StatusFront);
    EXPECT_EQ("ERROR: \"Updater\" was not removed: administrator rights are needed.",
              Statuses.back());
    MemClearFaults();

    const std::string deep = "\\" + std::string(150, 'v') + "\\" + std::string(120, 'w') + "\\Agent";
    MemAddTask(deep.c_str(), kUpdater);
    Toggle({"Agent"});
    EXPECT_EQ("ERROR: \"Agent\" was not switched off: its path is too long to change it here.",
              Statuses.back());
}

// CleanUp deletes disabled registry entries only: a switched-off task stays.
TEST_F(Tasks, CleanUpLeavesTasks)
{
    MemAddTask("\\Vendor\\Updater", kUpdater, false);
    ScanCatalogue();
    std::vector<int32_t> states = Desired({});
    CleanUpDisabled(states.data(), (int32_t)states.size(), &StatusFront);
    EXPECT_TRUE(MemTaskExists("\\Vendor\\Updater"));
    EXPECT_EQ(0, MemCallCount(MEM_TASK_DELETE) + MemCallCount(MEM_TASK_SET_ENABLED));
}
