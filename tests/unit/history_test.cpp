// history_test.cpp - the history of changes: records kept whole whatever
// fails, each change and its undo giving storage back byte for byte, an
// undo that asks before it writes over, and backups that lend no rights.
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"
#include "../../store/undo.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

namespace {

const char *kRun = RUN_KEY;
const char *kRunOff = RUN_KEY "-";
const char *kSwitches = APPROVED_KEY "\\Run";
const std::string kJournal =
    std::string(MEM_LOCAL_APPDATA_FOLDER) + "\\" REMEMBERED_FOLDER "\\" JOURNAL_FILE;
const std::string kDisabledUser = std::string(MEM_PERSONAL_FOLDER) + "\\" DISABLED_USER_FOLDER;

int Asked = 0;
int Answer(void *, const char *)
{
    ++Asked;
    return StatusFrontAnswer;
}
// Each outcome and its words, worded as it is told (its entry lives no longer).
std::vector<std::string> Said;
void Keep(void *, const StoreOutcome *outcome)
{
    Outcomes.push_back(*outcome);
    char words[OUTCOME_TEXT_SIZE];
    WordOutcome(outcome, 0, words, sizeof words);
    Said.push_back(words);
}
const FrontEnd Window = {Keep, Answer, nullptr, nullptr, FRONT_WINDOW};

std::string Bytes(PlatHive hive, const char *path, const char *name)
{
    uint32_t type = 0;
    std::string bytes;
    MemGetValue(hive, path, name, &type, &bytes);
    return bytes;
}

// Every value of the places the changes below touch, and every Startup file.
std::string Storage()
{
    const struct {
        PlatHive hive;
        const char *path;
    } keys[] = {{PLAT_HKCU, kRun},     {PLAT_HKCU, kRunOff},     {PLAT_HKCU, kSwitches},
                {PLAT_HKLM, kRun},     {PLAT_HKLM, kRunOff},     {PLAT_HKLM, kSwitches},
                {PLAT_HKLM, WINLOGON_KEY}, {PLAT_HKLM, WINLOGON_KEY "-"},
                {PLAT_HKCU, APPROVED_KEY "\\StartupFolder"}};
    std::string all;
    for (const auto &key : keys)
        for (const std::string &name : MemValueNames(key.hive, key.path)) {
            uint32_t type = 0;
            std::string bytes;
            MemGetValue(key.hive, key.path, name.c_str(), &type, &bytes);
            all += std::string(key.path) + "|" + name + "|" + std::to_string(type) + "|" + bytes + "\n";
        }
    for (const char *folder : {MEM_STARTUP_FOLDER, kDisabledUser.c_str()})
        for (const std::string &name : MemListFolder(folder))
            all += name + "|" + MemFileBytes((std::string(folder) + "\\" + name).c_str()) + "\n";
    return all;
}

JournalList Journal()
{
    JournalList list;
    EXPECT_EQ(PLAT_OK, ReadJournal(nullptr, &list));
    return list;
}

// Undoes the newest change; its result.
OutcomeResult UndoLast()
{
    ScanCatalogue();
    JournalList list = Journal();
    EXPECT_GT(list.count, 0);
    OutcomeResult result = list.count ? UndoRecord(&list, &list.records[list.count - 1], &Window)
                                      : ResultRefused;
    FreeJournal(&list);
    return result;
}

class History : public ::testing::Test {
protected:
    void SetUp() override
    {
        MemReset();
        Outcomes.clear();
        StatusFrontAnswer = 1;
        blocks = MemLiveBlocks(); // the catalogue of an earlier test
    }
    int blocks = 0;
    void TearDown() override { StatusFrontAnswer = 1; }
};

JournalRecord Record(const char *name, const char *command)
{
    JournalRecord r;
    JournalBegin(&r, JournalDisable, nullptr);
    TextCopy(r.front, sizeof r.front, FRONT_CONSOLE);
    TextCopy(r.name, sizeof r.name, name);
    TextCopy(r.commandBefore, sizeof r.commandBefore, command);
    return r;
}

} // namespace

TEST_F(History, RecordsComeBackWholeAndOneCutShortIsLeftOutAndSaid)
{
    // Names and commands may hold any character a line would split at.
    JournalRecord first = Record("Tab\there", "\"C:\\a b\\x.exe\"\r\n-q\\");
    JournalRecord second = Record("Second", "y.exe");
    ASSERT_EQ(PLAT_OK, AppendJournal(nullptr, &first));
    ASSERT_EQ(PLAT_OK, AppendJournal(nullptr, &second));
    JournalList list = Journal();
    ASSERT_EQ(2, list.count);
    EXPECT_EQ(1, list.records[0].number);
    EXPECT_EQ(2, list.records[1].number);
    EXPECT_STREQ("Tab\there", list.records[0].name);
    EXPECT_STREQ("\"C:\\a b\\x.exe\"\r\n-q\\", list.records[0].commandBefore);
    EXPECT_STREQ(FRONT_CONSOLE, list.records[0].front);
    FreeJournal(&list);

    // A crash in the middle of the last write: that record is no record.
    std::string whole = MemFileBytes(kJournal.c_str());
    MemAddFile(kJournal.c_str(), whole.substr(0, whole.size() - 12));
    list = Journal();
    EXPECT_EQ(1, list.count);
    EXPECT_EQ(1, list.torn);
    FreeJournal(&list);
    // The next record starts on a line of its own, the damaged one stays out.
    JournalRecord third = Record("Third", "z.exe");
    ASSERT_EQ(PLAT_OK, AppendJournal(nullptr, &third));
    list = Journal();
    ASSERT_EQ(2, list.count);
    EXPECT_STREQ("Third", list.records[1].name);
    EXPECT_EQ(1, list.torn);
    // One byte changed inside a record makes it no record either.
    FreeJournal(&list);
    whole = MemFileBytes(kJournal.c_str());
    whole[whole.find("Third")] = 't';
    MemAddFile(kJournal.c_str(), whole);
    list = Journal();
    EXPECT_EQ(1, list.count);
    EXPECT_EQ(2, list.torn);
    FreeJournal(&list);

    // A zero byte inside a record (a write torn on disk) damages that one
    // alone; the next is numbered past every number the file holds.
    JournalRecord fourth = Record("Fourth", "w.exe");
    ASSERT_EQ(PLAT_OK, AppendJournal(nullptr, &fourth));
    whole = MemFileBytes(kJournal.c_str());
    whole[whole.find("Fourth") - 3] = '\0';
    whole[whole.find("Tab")] = '\0';
    MemAddFile(kJournal.c_str(), whole);
    JournalRecord fifth = Record("Fifth", "v.exe");
    ASSERT_EQ(PLAT_OK, AppendJournal(nullptr, &fifth));
    list = Journal();
    ASSERT_EQ(1, list.count);
    EXPECT_STREQ("Fifth", list.records[0].name);
    EXPECT_EQ(5, list.records[0].number);
    FreeJournal(&list);

    // A file that is not ours is neither read nor written to.
    MemAddFile(kJournal.c_str(), "Notes\nchange\t1\n");
    EXPECT_EQ(CAUSE_JOURNAL_FOREIGN, ReadJournal(nullptr, &list));
    EXPECT_EQ(CAUSE_JOURNAL_FOREIGN, AppendJournal(nullptr, &third));
    EXPECT_EQ("Notes\nchange\t1\n", MemFileBytes(kJournal.c_str()));
    EXPECT_EQ(blocks, MemLiveBlocks());
}

TEST_F(History, EveryFailingCallOfAnAppendLeavesTheHistoryWholeAndSaysSo)
{
    const MemOp ops[] = {MEM_FILE_APPEND, MEM_FILE_WRITE, MEM_FILE_CLOSE, MEM_ALLOC,
                         MEM_SHELL_FOLDER, MEM_PLACE_HOLD, MEM_PLACE_CHECK};
    for (MemOp op : ops)
        for (int occurrence = 1; occurrence <= 2; ++occurrence) {
            MemReset();
            JournalRecord r = Record("Tool", "t.exe");
            ASSERT_EQ(PLAT_OK, AppendJournal(nullptr, &r));
            std::string before = MemFileBytes(kJournal.c_str());
            MemResetCounts();
            MemFailCall(op, occurrence);
            long cause = AppendJournal(nullptr, &r);
            std::string context = std::string(MemOpName(op)) + " #" + std::to_string(occurrence);
            bool failed = MemCallCount(op) >= occurrence;
            MemClearFaults();
            JournalList list = Journal();
            EXPECT_EQ(0, list.torn) << context;
            EXPECT_EQ(cause == PLAT_OK ? 2 : 1, list.count) << context;
            EXPECT_TRUE(cause != PLAT_OK || !failed || op == MEM_FILE_CLOSE) << context;
            // A record written whole is no failure, whatever closing the file says.
            EXPECT_TRUE(cause == PLAT_OK || op != MEM_FILE_CLOSE) << context;
            FreeJournal(&list);
            EXPECT_EQ(blocks, MemLiveBlocks()) << context;
        }
}

// A change made through the window, then undone from the history: storage
// is as it was, byte for byte.
TEST_F(History, EachChangeThenItsUndoGivesStorageBack)
{
    struct Change {
        const char *what;
        void (*seed)();
        void (*change)();
    };
    static const Change changes[] = {
        {"disable with its switch",
         [] {
             MemSetValue(PLAT_HKCU, kRun, "Tool", PLAT_REG_EXPAND_SZ, Sz("%ProgramFiles%\\t.exe -q"));
             MemSetValue(PLAT_HKCU, kSwitches, "Tool", PLAT_REG_BINARY,
                         std::string("\x06\0\0\0\x11\x22\x33\x44\x55\x66\x77\x08", 12));
         },
         [] { ASSERT_EQ(ResultDone, ApplyChange(IndexOf("Tool"), 0, &Window)); }},
        {"disable without a switch",
         [] { MemSetString(PLAT_HKCU, kRun, "Tool", "t.exe"); },
         [] { ASSERT_EQ(ResultDone, ApplyChange(IndexOf("Tool"), 0, &Window)); }},
        {"enable from its place aside",
         [] { MemSetString(PLAT_HKCU, kRunOff, "Tool", "t.exe"); },
         [] { ASSERT_EQ(ResultDone, ApplyChange(IndexOf("Tool"), 1, &Window)); }},
        {"enable of one off in Windows' settings",
         [] {
             MemSetString(PLAT_HKCU, kRun, "Tool", "t.exe");
             MemSetValue(PLAT_HKCU, kSwitches, "Tool", PLAT_REG_BINARY,
                         std::string("\x03\0\0\0\x11\x22\x33\x44\x55\x66\x77\x08", 12));
         },
         [] { ASSERT_EQ(ResultDone, ApplyChange(IndexOf("Tool"), 1, &Window)); }},
        {"enable of a Startup file off in Windows' settings",
         [] {
             MemAddLink(MEM_STARTUP_FOLDER "\\Agent.lnk", "C:\\agent.exe", "", "");
             MemSetValue(PLAT_HKCU, APPROVED_KEY "\\StartupFolder", "Agent.lnk", PLAT_REG_BINARY,
                         std::string("\x03\0\0\0\x11\x22\x33\x44\x55\x66\x77\x08", 12));
         },
         [] { ASSERT_EQ(ResultDone, ApplyChange(IndexOf("Agent.lnk"), 1, &Window)); }},
        {"remove of a value",
         [] {
             MemSetValue(PLAT_HKLM, kRun, "Tool", PLAT_REG_BINARY, std::string("\x01\0\xff", 3));
             MemSetValue(PLAT_HKLM, kSwitches, "Tool", PLAT_REG_BINARY, std::string(12, '\x02'));
         },
         [] { ASSERT_EQ(ResultDone, RemoveEntry(&ItemCatalogue.items[IndexOf("Tool")], &Window)); }},
        {"remove of a Startup file",
         [] { MemAddLink(MEM_STARTUP_FOLDER "\\Agent.lnk", "C:\\agent.exe", "-a", ""); },
         [] { ASSERT_EQ(ResultDone, RemoveEntry(&ItemCatalogue.items[IndexOf("Agent.lnk")], &Window)); }},
        {"cleanup",
         [] {
             MemSetString(PLAT_HKCU, kRunOff, "Old", "old.exe");
             MemSetValue(PLAT_HKLM, kRunOff, "Older", PLAT_REG_DWORD, std::string("\x01\0\0\0", 4));
         },
         [] {
             std::vector<int32_t> states = Desired({});
             ASSERT_EQ(0, CleanUpDisabled(states.data(), (int32_t)states.size(), &Window));
         }},
        {"a program taken out of a list value",
         [] {
             MemSetString(PLAT_HKLM, WINLOGON_KEY, "Userinit",
                          "C:\\Windows\\system32\\userinit.exe,C:\\extra.exe,");
         },
         [] { ASSERT_EQ(ResultDone, ApplyChange(IndexOf("Userinit: C:\\extra.exe"), 0, &Window)); }},
        {"an edit of the command",
         [] { MemSetString(PLAT_HKCU, kRun, "Tool", "old.exe -x"); },
         [] {
             long journalCause = -1;
             char extra[TEXT_FIELD_SIZE];
             ASSERT_EQ(SaveDone, SaveEntry("Renamed", "new.exe", "-y", 0, EditorEdit,
                                           IndexOf("Tool"), extra, &Window, &journalCause));
             ASSERT_EQ(PLAT_OK, journalCause);
         }},
    };
    for (const Change &c : changes) {
        MemReset();
        Outcomes.clear();
        c.seed();
        std::string before = Storage();
        ScanCatalogue();
        c.change();
        std::string after = Storage();
        ASSERT_NE(before, after) << c.what;
        ASSERT_EQ(ResultDone, UndoLast()) << c.what;
        EXPECT_EQ(before, Storage()) << c.what;
        // The undo is a change of its own: undone, the change is back.
        ASSERT_EQ(ResultDone, UndoLast()) << c.what;
        EXPECT_EQ(after, Storage()) << c.what;
        JournalList list = Journal();
        ASSERT_EQ(3, list.count) << c.what;
        EXPECT_EQ(JournalUndo, list.records[2].op);
        EXPECT_EQ(2, list.records[2].undoes);
        EXPECT_EQ(1, list.records[1].undoes);
        FreeJournal(&list);
    }
}

TEST_F(History, AnUndoOverAnEntryWrittenSinceAsksAndSavesItFirst)
{
    // A disabled entry whose command another program rewrote since: the
    // switch back is asked about.
    MemSetString(PLAT_HKCU, kRun, "Moved", "moved.exe");
    ScanCatalogue();
    ASSERT_EQ(ResultDone, ApplyChange(IndexOf("Moved"), 0, &Window));
    MemSetString(PLAT_HKCU, kRunOff, "Moved", "rewritten.exe");
    StatusFrontAnswer = 0;
    EXPECT_EQ(ResultDeclined, UndoLast());
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRun, "Moved"));
    StatusFrontAnswer = 1;
    MemReset();

    MemSetString(PLAT_HKCU, kRun, "Tool", "old.exe");
    ScanCatalogue();
    ASSERT_EQ(ResultDone, RemoveEntry(&ItemCatalogue.items[IndexOf("Tool")], &Window));
    MemSetString(PLAT_HKCU, kRun, "Tool", "newer.exe");

    StatusFrontAnswer = 0;
    EXPECT_EQ(ResultDeclined, UndoLast());
    EXPECT_EQ(Sz("newer.exe"), Bytes(PLAT_HKCU, kRun, "Tool"));

    StatusFrontAnswer = 1;
    EXPECT_EQ(ResultDone, UndoLast());
    EXPECT_EQ(Sz("old.exe"), Bytes(PLAT_HKCU, kRun, "Tool"));
    // What the undo wrote over is in the backup it names, read back the way
    // an undo reads it.
    StoreOutcome undo = Outcomes.back();
    std::string undoWords = Said.back();
    // A value written while the question is open is never written over.
    ASSERT_EQ(ResultDone, UndoLast());
    const FrontEnd racing = {Keep, [](void *, const char *) {
                                 MemSetString(PLAT_HKCU, kRun, "Tool", "newest.exe");
                                 return 1;
                             }, nullptr, nullptr, FRONT_WINDOW};
    MemSetString(PLAT_HKCU, kRun, "Tool", "newer.exe");
    ScanCatalogue();
    JournalList list = Journal();
    EXPECT_EQ(ResultRefused, UndoRecord(&list, &list.records[0], &racing));
    EXPECT_EQ(CAUSE_CHANGED_WHILE_ASKED, Outcomes.back().cause);
    EXPECT_EQ(Sz("newest.exe"), Bytes(PLAT_HKCU, kRun, "Tool"));
    FreeJournal(&list);
    ASSERT_TRUE(undo.backup[0]);
    EXPECT_NE(std::string::npos, RegText(MemFileBytes(undo.backup)).find("newer.exe"));
    EXPECT_NE(std::string::npos, undoWords.find("Undid change 1: Removed \"Tool\" (HKCU Run)"))
        << undoWords;
}

TEST_F(History, ABackupThatChangedOrNamesAnotherPlaceLendsNoRights)
{
    MemSetElevated(true);
    MemSetString(PLAT_HKLM, kRun, "Tool", "tool.exe");
    ScanCatalogue();
    ASSERT_EQ(ResultDone, RemoveEntry(&ItemCatalogue.items[IndexOf("Tool")], &Window));
    JournalList list = Journal();
    ASSERT_EQ(1, list.count);
    std::string backup = list.records[0].backup;
    FreeJournal(&list);
    // Another program of the user rewrites the backup in the user's Documents.
    std::string bytes = MemFileBytes(backup.c_str());
    std::string evil = MemUtf16("evil.exe", false), tool = MemUtf16("tool.exe", false);
    bytes.replace(bytes.find(tool), tool.size(), evil);
    MemAddFile(backup.c_str(), bytes);
    EXPECT_EQ(ResultRefused, UndoLast());
    EXPECT_EQ(CAUSE_BACKUP_CHANGED, Outcomes.back().cause);
    // Unelevated, it may go only into the user's own places: not the machine's.
    MemSetElevated(false);
    EXPECT_EQ(ResultRefused, UndoLast());
    EXPECT_EQ(CAUSE_NOT_USER_PLACE, Outcomes.back().cause);
    EXPECT_FALSE(MemValueExists(PLAT_HKLM, kRun, "Tool"));

    // Rewritten the moment after it was written, before the history noted
    // it: the history keeps what was written, so it is still refused.
    MemSetElevated(true);
    MemSetString(PLAT_HKLM, kRun, "Other", "other.exe");
    ScanCatalogue();
    MemSetHook(MEM_REG_DELETE_VALUE, 0, [] {
        std::string folder = std::string(MEM_PERSONAL_FOLDER) + "\\" BACKUP_FOLDER;
        std::string other = MemUtf16("other.exe", false), evil = MemUtf16("evil!.exe", false);
        for (const std::string &name : MemListFolder(folder.c_str())) {
            std::string path = folder + "\\" + name, bytes = MemFileBytes(path.c_str());
            if (bytes.find(other) != std::string::npos)
                MemAddFile(path.c_str(), bytes.replace(bytes.find(other), other.size(), evil));
        }
    });
    ASSERT_EQ(ResultDone, RemoveEntry(&ItemCatalogue.items[IndexOf("Other")], &Window));
    MemClearFaults();
    EXPECT_EQ(ResultRefused, UndoLast());
    EXPECT_EQ(CAUSE_BACKUP_CHANGED, Outcomes.back().cause);
    MemSetElevated(false);

    // A backup the history saw, naming a key this program does not list, is
    // never written there, even by a record that matches it.
    BackupValue classes = {PLAT_HKCU, "Software\\Classes\\exefile\\shell\\open\\command", "", PLAT_REG_SZ,
                           "evil.exe", 9, 0};
    char path[TEXT_FIELD_SIZE];
    ASSERT_EQ(BackupMade, BackupValues("Removed", &classes, 1, path));
    JournalRecord r = Record("Tool", "");
    r.undoBy = UndoByReg;
    TextCopy(r.backup, sizeof r.backup, path);
    ASSERT_EQ(PLAT_OK, HashBackupFile(path, &r.backupSize, r.backupHash));
    ASSERT_EQ(PLAT_OK, AppendJournal(nullptr, &r));
    EXPECT_EQ(ResultRefused, UndoLast());
    EXPECT_EQ(CAUSE_PLACE_NOT_LISTED, Outcomes.back().cause);
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, "Software\\Classes\\exefile\\shell\\open\\command", ""));

    // A record forged together with its backup (the history lies where any
    // program of the user writes) names the machine's Run key: elevated, it
    // is not restored, for this program never vouched for that record...
    const std::string planted = MemUtf16("C:\\Users\\tester\\evil.exe");
    BackupValue run = {PLAT_HKLM, kRun, "Contoso", PLAT_REG_SZ, planted.data(), (uint32_t)planted.size(), 0};
    ASSERT_EQ(BackupMade, BackupValues("Removed", &run, 1, path));
    TextCopy(r.backup, sizeof r.backup, path);
    ASSERT_EQ(PLAT_OK, HashBackupFile(path, &r.backupSize, r.backupHash));
    ASSERT_EQ(PLAT_OK, AppendJournal(nullptr, &r)); // as that program would, unelevated
    MemSetElevated(true);
    EXPECT_EQ(ResultRefused, UndoLast());
    EXPECT_EQ(CAUSE_BACKUP_NOT_VOUCHED, Outcomes.back().cause);
    EXPECT_FALSE(MemValueExists(PLAT_HKLM, kRun, "Contoso"));
    // Nor does a forged record switch a machine entry, whatever its words.
    MemSetString(PLAT_HKLM, kRun, "Defender", "defender.exe");
    ScanCatalogue();
    JournalRecord forged = Record("Defender", "");
    ItemId(&ItemCatalogue.items[IndexOf("Defender")], nullptr, forged.id, sizeof forged.id);
    forged.undoBy = UndoBySwitch;
    forged.stateBefore = 0;
    forged.stateAfter = 1;
    TextCopy(forged.commandAfter, sizeof forged.commandAfter, "defender.exe");
    MemSetElevated(false);
    ASSERT_EQ(PLAT_OK, AppendJournal(nullptr, &forged));
    MemSetElevated(true);
    EXPECT_EQ(ResultRefused, UndoLast());
    EXPECT_EQ(CAUSE_BACKUP_NOT_VOUCHED, Outcomes.back().cause);
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, kRun, "Defender"));
    // ... while one of its own is.
    MemSetString(PLAT_HKLM, kRun, "Agent", "agent.exe");
    ScanCatalogue();
    ASSERT_EQ(ResultDone, RemoveEntry(&ItemCatalogue.items[IndexOf("Agent")], &Window));
    EXPECT_EQ(ResultDone, UndoLast());
    EXPECT_EQ(Sz("agent.exe"), Bytes(PLAT_HKLM, kRun, "Agent"));
}

TEST_F(History, AStartupFileComesBackAsSavedAndIsTakenAgainOnlyAsPutBack)
{
    const std::string link = std::string(MEM_STARTUP_FOLDER) + "\\Agent.lnk";
    MemAddLink(link.c_str(), "C:\\agent.exe", "-a", "");
    const std::string bytes = MemFileBytes(link.c_str());
    ScanCatalogue();
    ASSERT_EQ(ResultDone, RemoveEntry(&ItemCatalogue.items[IndexOf("Agent.lnk")], &Window));
    // The copy is rewritten after the undo has read and checked it: what
    // was checked is what is put back.
    JournalList list = Journal();
    std::string copy = list.records[0].backup;
    FreeJournal(&list);
    MemSetHook(MEM_PLACE_HOLD, 0, [copy] { MemAddFile(copy.c_str(), "EVIL PAYLOAD"); });
    Asked = 0;
    ASSERT_EQ(ResultDone, UndoLast());
    EXPECT_EQ(0, Asked) << "nothing was there to ask about";
    MemClearFaults();
    EXPECT_EQ(bytes, MemFileBytes(link.c_str()));
    // Another program writes its own file there since: undoing the undo asks.
    MemAddFile(link.c_str(), "another program's");
    StatusFrontAnswer = 0;
    EXPECT_EQ(ResultDeclined, UndoLast());
    EXPECT_EQ("another program's", MemFileBytes(link.c_str()));
    // Put back over a file that came since, the copy failing after that
    // file was taken away: it is back, and its backup named.
    StatusFrontAnswer = 1;
    ASSERT_EQ(ResultDone, UndoLast());
    MemAddFile(link.c_str(), "a third");
    MemSetHook(MEM_DELETE_FILE, 0, [] {
        MemFailCall(MEM_FILE_CREATE, MemCallCount(MEM_FILE_CREATE) + 1);
    });
    EXPECT_EQ(ResultRefused, UndoLast());
    MemClearFaults();
    EXPECT_EQ("a third", MemFileBytes(link.c_str()));
    EXPECT_NE(std::string::npos, Said.back().find("saved in ")) << Said.back();
    EXPECT_EQ(blocks, MemLiveBlocks());
    EXPECT_FALSE(MemFolderHeld(MEM_STARTUP_FOLDER));
}

TEST_F(History, ARemovedTaskComesBackThroughTheSchedulerAsSavedOrNotAtAll)
{
    const char *path = "\\Vendor\\Updater";
    const std::string xml =
        "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n<Task version=\"1.4\" "
        "xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"><Triggers><LogonTrigger>"
        "<Enabled>true</Enabled></LogonTrigger></Triggers><Settings /><Actions Context=\"Author\">"
        "<Exec><Command>C:\\Vendor\\up.exe</Command><Arguments>/s</Arguments></Exec></Actions></Task>";
    MemAddTask(path, xml);
    ScanCatalogue();
    ASSERT_EQ(ResultDone, RemoveEntry(&ItemCatalogue.items[IndexOf("Updater")], &Window));
    ASSERT_EQ(ResultDone, UndoLast());
    EXPECT_EQ(xml, MemTaskXml(path));
    // With its own security descriptor, not the scheduler's default.
    char *sddl = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(PLAT_OK, PlatTaskSecurity(path, &sddl, &length));
    EXPECT_STREQ(MEM_TASK_SDDL, sddl);
    PlatFree(sddl);
    // Another program's task of that path since: undoing the undo asks.
    PlatTaskDelete(path);
    MemAddTask(path, xml.substr(0, xml.find("up.exe")) + "other.exe" + xml.substr(xml.find("up.exe") + 6));
    StatusFrontAnswer = 0;
    EXPECT_EQ(ResultDeclined, UndoLast());
    EXPECT_TRUE(MemTaskExists(path));
    StatusFrontAnswer = 1;
    ASSERT_EQ(ResultDone, UndoLast());
    EXPECT_FALSE(MemTaskExists(path));
    // A scheduler that drops the triggers and actions keeps nothing half made.
    MemSetTaskRegisterStrips(true);
    EXPECT_EQ(ResultRefused, UndoLast());
    EXPECT_EQ(CAUSE_TASK_NOT_KEPT, Outcomes.back().cause);
    EXPECT_FALSE(MemTaskExists(path));
    EXPECT_EQ(blocks, MemLiveBlocks());
}

TEST_F(History, ABackupTheHistoryDoesNotKnowIsListedAndRestoredOnlyUnelevatedIntoTheUsersPlaces)
{
    const std::string raw = MemUtf16("old.exe"); // as the registry stores it
    BackupValue user = {PLAT_HKCU, kRun, "Old", PLAT_REG_SZ, raw.data(), (uint32_t)raw.size(), 0};
    BackupValue machine = {PLAT_HKLM, kRun, "Old", PLAT_REG_SZ, raw.data(), (uint32_t)raw.size(), 0};
    char userFile[TEXT_FIELD_SIZE], machineFile[TEXT_FIELD_SIZE];
    ASSERT_EQ(BackupMade, BackupValues("Removed", &user, 1, userFile));
    ASSERT_EQ(BackupMade, BackupValues("Removed", &machine, 1, machineFile));
    JournalRecord known = Record("Known", "");
    TextCopy(known.backup, sizeof known.backup, machineFile);
    ASSERT_EQ(PLAT_OK, AppendJournal(nullptr, &known));
    JournalList list = Journal();
    // Only the file no record names is added, as not recorded.
    ASSERT_EQ(1, AddUnrecordedBackups(&list));
    ASSERT_EQ(2, list.count);
    const JournalRecord *file = &list.records[1];
    EXPECT_EQ(JournalUnrecorded, file->op);
    EXPECT_STREQ(userFile, file->backup);
    char words[JOURNAL_WORDS_SIZE];
    JournalWords(&list, file, words, sizeof words);
    EXPECT_EQ(0, strncmp(words, "Backup of ", 10)) << words;
    EXPECT_NE(nullptr, strstr(words, ", not recorded: Removed ")) << words;

    MemSetElevated(true);
    EXPECT_EQ(ResultRefused, UndoRecord(&list, file, &Window));
    EXPECT_EQ(CAUSE_BACKUP_UNKNOWN, Outcomes.back().cause);
    MemSetElevated(false);
    StatusFrontAnswer = 0; // it is always asked about
    EXPECT_EQ(ResultDeclined, UndoRecord(&list, file, &Window));
    StatusFrontAnswer = 1;
    EXPECT_EQ(ResultDone, UndoRecord(&list, file, &Window));
    EXPECT_EQ(Sz("old.exe"), Bytes(PLAT_HKCU, kRun, "Old"));
    FreeJournal(&list);
}

TEST(HistoryPlaces, AnUndoWritesOnlyIntoThePlacesThisProgramLists)
{
    EXPECT_TRUE(KeyIsListedPlace(PLAT_HKCU, RUN_KEY "-"));
    EXPECT_TRUE(KeyIsListedPlace(PLAT_HKLM32, CURRENT_VERSION_KEY "\\RunOnceEx-\\0001\\Depend"));
    EXPECT_TRUE(KeyIsListedPlace(PLAT_HKLM, ACTIVE_SETUP_KEY "-\\{0A1B}"));
    EXPECT_TRUE(KeyIsListedPlace(PLAT_HKCU, APP_STATE_KEY "\\Contoso_1a2b\\Updater"));
    EXPECT_TRUE(KeyIsListedPlace(PLAT_HKLM, WINLOGON_KEY "-"));
    EXPECT_FALSE(KeyIsListedPlace(PLAT_HKLM, CURRENT_VERSION_KEY "\\RunOnceEx\\0001\\Other"));
    EXPECT_FALSE(KeyIsListedPlace(PLAT_HKCU, RUN_KEY "\\Below"));
    EXPECT_FALSE(KeyIsListedPlace(PLAT_HKCU, APP_STATE_KEY "\\Contoso_1a2b"));
    EXPECT_FALSE(KeyIsListedPlace(PLAT_HKCU, SAFE_BOOT_KEY));
    EXPECT_FALSE(KeyIsListedPlace(PLAT_HKCU, "Software\\Classes\\exefile\\shell\\open\\command"));
}
