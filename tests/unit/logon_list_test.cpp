// logon_list_test.cpp - what Windows does with each key, as the details
// and the report say it (the places themselves are tested under Wine).
#include "../../report/html_log.h"
#include "../../store/store.h"
#include "../support/store_helpers.h"
#include "../support/memory_platform.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

namespace {

std::string NotesOf(const char *name)
{
    for (int i = 0; i < ItemCatalogue.count; ++i)
        if (strcmp(ItemCatalogue.items[i].name, name) == 0) {
            char notes[4 * TEXT_FIELD_SIZE];
            ItemNotes(&ItemCatalogue.items[i], notes, sizeof notes);
            return notes;
        }
    return "<no such entry>";
}

int IndexOfName(const char *name)
{
    for (int i = 0; i < ItemCatalogue.count; ++i)
        if (strcmp(ItemCatalogue.items[i].name, name) == 0)
            return i;
    return 0;
}

} // namespace

TEST(LogonList, NotesSayWhatWindowsDoesWithEachKey)
{
    MemReset();
    MemAddFile("C:\\a.exe");
    const std::string cv = CURRENT_VERSION_KEY "\\";
    MemSetString(PLAT_HKCU, (cv + "RunServices").c_str(), "Service", "C:\\a.exe");
    MemSetString(PLAT_HKCU, (cv + "RunServicesOnce-").c_str(), "OffService", "C:\\a.exe");
    MemSetString(PLAT_HKCU, (cv + "RunOnce").c_str(), "Once", "C:\\a.exe");
    MemSetString(PLAT_HKCU, (cv + "RunOnce").c_str(), "!After", "C:\\a.exe");
    MemSetString(PLAT_HKCU, (cv + "RunOnce").c_str(), "*Safe", "C:\\a.exe");
    MemSetString(PLAT_HKCU, (cv + "RunOnce").c_str(), "!*Both", "C:\\a.exe");
    MemSetString(PLAT_HKCU, (cv + "RunOnce").c_str(), "x*Not", "C:\\a.exe");
    MemSetString(PLAT_HKLM, (cv + "RunOnce").c_str(), "Admin", "C:\\a.exe");
    MemSetString(PLAT_HKLM, (cv + "RunOnceEx\\0001").c_str(), "Step", "||C:\\a.exe");
    MemSetString(PLAT_HKLM, POLICY_RUN_KEY, "Policy", "C:\\a.exe");
    MemSetString(PLAT_HKLM, RUN_KEY, "Machine", "C:\\a.exe");
    MemSetString(PLAT_HKCU, RUN_KEY, "User", "C:\\a.exe");
    MemSetValue(PLAT_HKCU, POLICY_EXPLORER_KEY, "DisableLocalMachineRun", PLAT_REG_DWORD,
                std::string("\x01\0\0\0", 4));
    MemSetValue(PLAT_HKLM, POLICY_EXPLORER_KEY, "DisableCurrentUserRun", PLAT_REG_DWORD,
                std::string("\x02\0\0\0", 4)); // not 1: no switch
    ScanCatalogue();
    EXPECT_EQ(NOTE_NOT_STARTED_HERE, NotesOf("Service"));
    EXPECT_EQ("", NotesOf("OffService")) << "a disabled place says nothing of its key";
    EXPECT_EQ(NOTE_RUN_ONCE_BEFORE, NotesOf("Once"));
    EXPECT_EQ(NOTE_RUN_ONCE_AFTER, NotesOf("!After"));
    EXPECT_EQ(NOTE_RUN_ONCE_BEFORE "; " NOTE_SAFE_MODE, NotesOf("*Safe"));
    EXPECT_EQ(NOTE_RUN_ONCE_AFTER "; " NOTE_SAFE_MODE, NotesOf("!*Both"));
    EXPECT_EQ(NOTE_RUN_ONCE_BEFORE, NotesOf("x*Not"));
    EXPECT_EQ(NOTE_RUN_ONCE_BEFORE "; " NOTE_ADMINISTRATOR_LOGON, NotesOf("Admin"));
    EXPECT_EQ(NOTE_RUN_ONCE_EX, NotesOf("Step"));
    EXPECT_EQ(NOTE_POLICY_KEY, NotesOf("Policy"));
    EXPECT_EQ(NOTE_POLICY_OFF, NotesOf("Machine"));
    EXPECT_EQ("", NotesOf("User"));
}

TEST(LogonList, NotesSayWhatWindowsDoesWithEachLogonPlace)
{
    MemReset();
    MemSetEnv("SystemRoot", "C:\\WINDOWS");
    for (const char *file : {"C:\\a.exe", "C:\\b.exe", "C:\\off.exe", "C:\\evil\\userinit.exe",
                             "C:\\WINDOWS\\explorer.exe", "C:\\WINDOWS\\system32\\userinit.exe",
                             "C:\\WINDOWS\\system32\\rdpclip.exe"})
        MemAddFile(file);
    MemAddSearchFolder("C:\\WINDOWS");
    MemAddSearchFolder("C:\\WINDOWS\\system32");
    MemSetString(PLAT_HKLM, WINLOGON_KEY, "Userinit",
                 "C:\\Windows\\system32\\userinit.exe, C:\\a.exe ,C:\\evil\\userinit.exe");
    MemSetString(PLAT_HKLM, WINLOGON_KEY, "Shell", "explorer.exe");
    MemSetString(PLAT_HKCU, WINLOGON_KEY, "Shell", "\"C:\\a.exe\"");
    MemSetString(PLAT_HKLM, WINLOGON_KEY "-", "Userinit", ", C:\\off.exe");
    const std::string components = ACTIVE_SETUP_KEY "\\";
    MemSetString(PLAT_HKLM, (components + "{ran}").c_str(), STUB_PATH_VALUE, "C:\\a.exe /r");
    MemSetString(PLAT_HKLM, (components + "{ran}").c_str(), "Version", "1,2");
    MemSetString(PLAT_HKCU, (components + "{ran}").c_str(), "Version", "1,2");
    MemSetString(PLAT_HKLM, (components + "{newer}").c_str(), STUB_PATH_VALUE, "C:\\a.exe /n");
    MemSetString(PLAT_HKLM, (components + "{newer}").c_str(), "", "Newer");
    MemSetString(PLAT_HKLM, (components + "{newer}").c_str(), "Version", "1.10");
    MemSetString(PLAT_HKCU, (components + "{newer}").c_str(), "Version", "1.9");
    MemSetString(PLAT_HKLM, (components + "{never}").c_str(), STUB_PATH_VALUE, "C:\\a.exe");
    MemSetString(PLAT_HKLM, (components + "{nostub}").c_str(), "Version", "1");
    MemSetString(PLAT_HKLM, (components + "{off}").c_str(), STUB_PATH_VALUE, "C:\\a.exe");
    MemSetValue(PLAT_HKLM, (components + "{off}").c_str(), "IsInstalled", PLAT_REG_DWORD,
                std::string(4, '\0'));
    MemSetValue(PLAT_HKLM, (components + "{never}").c_str(), "IsInstalled", PLAT_REG_DWORD,
                std::string("\0\0\0\1", 4));
    MemSetString(PLAT_HKCU, ENVIRONMENT_KEY, LOGON_SCRIPT_VALUE, "C:\\a.exe");
    MemSetString(PLAT_HKLM, CURRENT_VERSION_KEY "\\RunOnceEx\\0001\\Depend", "1", "C:\\a.dll");
    MemSetString(PLAT_HKLM, RDPWD_KEY, "StartupPrograms", "rdpclip,C:\\a.exe");
    MemSetString(PLAT_HKCU, LEGACY_WINDOWS_KEY, "Load", "C:\\a.exe C:\\b.exe");
    ScanCatalogue();

    // Marked as the place's own setting, and shown: nothing verified it.
    const std::string own = NOTE_WINDOWS_OWN "; " NOTE_OWN_SHOWN "; ";
    EXPECT_EQ(own + NOTE_USERINIT, NotesOf("Userinit: C:\\Windows\\system32\\userinit.exe"
                                           WINDOWS_OWN_MARK));
    int userinit = IndexOfName("Userinit: C:\\Windows\\system32\\userinit.exe" WINDOWS_OWN_MARK);
    ASSERT_GE(userinit, 0);
    ItemCatalogue.items[userinit].signedByWindows = 1;
    EXPECT_EQ(NOTE_WINDOWS_OWN "; " NOTE_USERINIT,
              NotesOf("Userinit: C:\\Windows\\system32\\userinit.exe" WINDOWS_OWN_MARK))
        << "verified: the mark and the hide option agree";
    EXPECT_EQ(NOTE_USERINIT "; " NOTE_LIST_BLANKS, NotesOf("Userinit: C:\\a.exe"))
        << "blanks around an item trimmed, and marked";
    EXPECT_EQ(NOTE_USERINIT, NotesOf("Userinit: C:\\evil\\userinit.exe"))
        << "Windows' own name in another folder is not Windows' own";
    EXPECT_EQ("", NotesOf("Userinit: C:\\off.exe"));
    EXPECT_EQ(own + NOTE_SHELL_REPLACED, NotesOf("Shell: explorer.exe" WINDOWS_OWN_MARK));
    EXPECT_EQ(NOTE_USER_SHELL, NotesOf("Shell: \"C:\\a.exe\""));
    EXPECT_EQ(NOTE_ACTIVE_SETUP_RUN " (version 1,2)", NotesOf("{ran}"));
    EXPECT_EQ(NOTE_ACTIVE_SETUP_PENDING, NotesOf("Newer")) << "1.9 is below 1.10";
    EXPECT_EQ(NOTE_ACTIVE_SETUP_PENDING, NotesOf("{never}"));
    EXPECT_EQ("<no such entry>", NotesOf("{nostub}"));
    EXPECT_EQ(NOTE_ACTIVE_SETUP_NOT_INSTALLED, NotesOf("{off}"));
    EXPECT_EQ(NOTE_LOGON_SCRIPT, NotesOf(LOGON_SCRIPT_VALUE));
    EXPECT_EQ(NOTE_DEPEND "; " NOTE_TARGET_MISSING, NotesOf("1"));
    EXPECT_EQ(own + NOTE_REMOTE_DESKTOP, NotesOf("StartupPrograms: rdpclip" WINDOWS_OWN_MARK));
    EXPECT_EQ(NOTE_LEGACY, NotesOf("Load: C:\\b.exe"));
    EXPECT_EQ(16, ItemCatalogue.count);

    const AutostartItem *shell = &ItemCatalogue.items[IndexOfName("Shell: \"C:\\a.exe\"")];
    char place[2 * TEXT_FIELD_SIZE];
    ItemPlaceText(shell, 0, place, sizeof place);
    EXPECT_STREQ("HKCU\\" WINLOGON_KEY ", value \"Shell\"", place);
    EXPECT_STREQ("C:\\a.exe", shell->target);
    EXPECT_STREQ(SCOPE_USER, ItemTypeText(shell));
}

// The details mark a program whose text in a live list is not exactly the
// row's; Windows' own Userinit form and the "-" keys' pieces are not marked.
TEST(LogonList, InexactListTextIsMarked)
{
    const std::string own = NOTE_WINDOWS_OWN "; " NOTE_OWN_SHOWN "; ";
    const std::string empty = "; " NOTE_LIST_EMPTY_ITEM, twice = "; " NOTE_LIST_REPEATED;
    struct Case {
        PlatHive hive;
        const char *key, *value, *text, *row;
        std::string notes;
    } cases[] = {
        {PLAT_HKLM, WINLOGON_KEY, "Userinit", "C:\\WINDOWS\\system32\\userinit.exe,",
         "Userinit: C:\\WINDOWS\\system32\\userinit.exe" WINDOWS_OWN_MARK, own + NOTE_USERINIT},
        {PLAT_HKLM, WINLOGON_KEY, "Userinit", "C:\\a.exe,,", "Userinit: C:\\a.exe",
         NOTE_USERINIT + empty},
        {PLAT_HKLM, WINLOGON_KEY, "Shell", "explorer.exe,", "Shell: explorer.exe" WINDOWS_OWN_MARK,
         own + NOTE_SHELL + empty},
        {PLAT_HKLM, WINLOGON_KEY, "Shell", ",C:\\a.exe", "Shell: C:\\a.exe", NOTE_SHELL + empty},
        {PLAT_HKLM, WINLOGON_KEY, "Shell", "C:\\b.exe,,C:\\a.exe", "Shell: C:\\a.exe",
         NOTE_SHELL + empty},
        {PLAT_HKLM, WINLOGON_KEY, "Shell", "C:\\a.exe ,C:\\b.exe", "Shell: C:\\a.exe",
         NOTE_SHELL "; " NOTE_LIST_BLANKS},
        {PLAT_HKLM, WINLOGON_KEY, "Shell", "C:\\b.exe,c:\\A.EXE,C:\\a.exe", "Shell: C:\\a.exe",
         NOTE_SHELL + twice},
        {PLAT_HKLM, WINLOGON_KEY, "Shell", "C:\\b.exe,C:\\a.exe", "Shell: C:\\a.exe", NOTE_SHELL},
        {PLAT_HKCU, LEGACY_WINDOWS_KEY, "Load", "C:\\a.exe  c:\\a.exe", "Load: C:\\a.exe",
         NOTE_LEGACY + twice},
        {PLAT_HKLM, WINLOGON_KEY "-", "Shell", ", C:\\a.exe,", "Shell: C:\\a.exe", ""},
    };
    for (const Case &c : cases) {
        MemReset();
        MemSetEnv("SystemRoot", "C:\\WINDOWS");
        for (const char *file : {"C:\\a.exe", "C:\\b.exe", "C:\\WINDOWS\\explorer.exe",
                                 "C:\\WINDOWS\\system32\\userinit.exe"})
            MemAddFile(file);
        MemAddSearchFolder("C:\\WINDOWS");
        MemSetString(c.hive, c.key, c.value, c.text);
        ScanCatalogue();
        EXPECT_EQ(c.notes, NotesOf(c.row)) << c.text;
    }
}

// A shared list is rewritten only as it was read and backed up, and never
// left without a program where the logon needs one.
TEST(LogonList, ASharedListChangesOnlyAsReadAndNeverEmpties)
{
    MemReset();
    MemSetEnv("SystemRoot", "C:\\WINDOWS");
    const std::string rdpwdOff = RDPWD_KEY "-";
    MemSetString(PLAT_HKLM, WINLOGON_KEY, "Userinit", "C:\\x.exe");
    MemSetString(PLAT_HKLM, WINLOGON_KEY, "Shell", "C:\\WINDOWS\\explorer.exe,C:\\x.exe");
    MemSetString(PLAT_HKCU, WINLOGON_KEY, "Shell", "C:\\mine.exe");
    MemSetString(PLAT_HKLM, RDPWD_KEY, "StartupPrograms", "rdpclip,C:\\x.exe");
    Statuses.clear();
    Toggle({"Userinit: C:\\x.exe"});
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_NE(std::string::npos, Statuses[0].find("the logon needs a program here")) << Statuses[0];
    EXPECT_FALSE(MemValueExists(PLAT_HKLM, WINLOGON_KEY "-", "Userinit"));

    // Another program rewrites the value while its backup is read back.
    const char *changed = "rdpclip,C:\\x.exe,C:\\new.exe";
    MemSetHook(MEM_FILE_LOAD, 1, [&] {
        MemSetString(PLAT_HKLM, RDPWD_KEY, "StartupPrograms", changed);
    });
    Statuses.clear();
    Toggle({"StartupPrograms: C:\\x.exe"});
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_NE(std::string::npos, Statuses[0].find("another program changed it")) << Statuses[0];
    uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(MemGetValue(PLAT_HKLM, RDPWD_KEY, "StartupPrograms", &type, &bytes));
    EXPECT_EQ(Sz(changed), bytes);
    EXPECT_FALSE(MemValueExists(PLAT_HKLM, rdpwdOff.c_str(), "StartupPrograms"));

    // The item's arrival is undone when it cannot leave.
    MemClearFaults();
    MemResetCounts();
    MemFailCall(MEM_REG_SET_VALUE, 2);
    Toggle({"Shell: C:\\x.exe"});
    ASSERT_TRUE(MemGetValue(PLAT_HKLM, WINLOGON_KEY, "Shell", &type, &bytes));
    EXPECT_EQ(Sz("C:\\WINDOWS\\explorer.exe,C:\\x.exe"), bytes);
    EXPECT_FALSE(MemValueExists(PLAT_HKLM, WINLOGON_KEY "-", "Shell"));
    // Nor undone: the status says it is in both, and its backup is named.
    MemResetCounts();
    MemFailCall(MEM_REG_DELETE_VALUE, 0);
    Statuses.clear();
    Outcomes.clear();
    Toggle({"Shell: C:\\x.exe"});
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_NE(std::string::npos, Statuses[0].find("it is in both now")) << Statuses[0];
    ASSERT_EQ(1u, Outcomes.size());
    EXPECT_NE(std::string::npos, std::string(Outcomes[0].backup).find(".reg"));
    MemClearFaults();

    // The user's own Shell goes whole, so that the machine's applies.
    ScanCatalogue();
    char backup[TEXT_FIELD_SIZE];
    EXPECT_EQ(RemoveDone, RemoveItemWithBackup(&ItemCatalogue.items[IndexOf("Shell: C:\\mine.exe")],
                                               backup));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, WINLOGON_KEY, "Shell"));
    EXPECT_NE(std::string::npos, MemFileBytes(backup).find(std::string("m\0i\0n\0e\0", 8)));
}

// A write whose key then fails to close has written: the program taken out
// of the live Userinit stays in Winlogon- and the change is done; nothing
// is undone that storage shows made.
TEST(LogonList, AFailedCloseAfterAWriteCountsAsWritten)
{
    MemReset();
    MemSetString(PLAT_HKLM, WINLOGON_KEY, "Userinit",
                 "C:\\WINDOWS\\system32\\userinit.exe,C:\\a.exe");
    ScanCatalogue();
    std::vector<int32_t> states = Desired({"Userinit: C:\\a.exe"});
    MemResetCounts();
    // Winlogon- is written first, the live value second; the close after it fails.
    MemSetHook(MEM_REG_SET_VALUE, 2,
               [] { MemFailCall(MEM_REG_CLOSE, MemCallCount(MEM_REG_CLOSE) + 1); });
    Statuses.clear();
    Outcomes.clear();
    ApplyChanges(states.data(), (int32_t)states.size(), &StatusFront);
    EXPECT_TRUE(Statuses.empty()) << (Statuses.empty() ? "" : Statuses[0]);
    ASSERT_EQ(1u, Outcomes.size());
    EXPECT_EQ(ResultDone, Outcomes[0].result);
    uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(MemGetValue(PLAT_HKLM, WINLOGON_KEY, "Userinit", &type, &bytes));
    EXPECT_EQ(Sz("C:\\WINDOWS\\system32\\userinit.exe"), bytes);
    ASSERT_TRUE(MemGetValue(PLAT_HKLM, WINLOGON_KEY "-", "Userinit", &type, &bytes));
    EXPECT_EQ(Sz(",C:\\a.exe"), bytes);
}

// A component, RunOnceEx section or Group Policy script deleted while its
// key is enumerated, at each point of the scan in turn: every other is
// listed, or the list says storage changed while it was read.
TEST(LogonList, AKeyDeletedWhileItsSubkeysAreReadHidesNoOther)
{
    for (std::string root : {ACTIVE_SETUP_KEY, CURRENT_VERSION_KEY "\\RunOnceEx",
                             GROUP_POLICY_SCRIPTS_KEY "\\Startup\\0"}) {
        bool setup = root == ACTIVE_SETUP_KEY;
        bool script = root.find("Group Policy") != std::string::npos;
        int missed = 0;
        for (int occurrence = 1; occurrence <= 12; ++occurrence) {
            MemReset();
            for (const char *id : {"{a}", "{b}", "{c}"})
                if (script)
                    MemSetString(PLAT_HKLM, (root + "\\" + id).c_str(), "Script",
                                 (std::string("C:\\") + id + ".cmd").c_str());
                else if (setup)
                    MemSetString(PLAT_HKLM, (root + "\\" + id).c_str(), STUB_PATH_VALUE, "C:\\a.exe");
                else
                    MemSetString(PLAT_HKLM, (root + "\\" + id + "\\" RUN_ONCE_EX_DEPEND).c_str(), id,
                                 "C:\\a.dll");
            MemResetCounts();
            MemSetHook(MEM_REG_ENUM_KEY, occurrence,
                       [&] { MemDeleteKey(PLAT_HKLM, (root + "\\{a}").c_str()); });
            ScanCatalogue();
            for (const char *id : {"{b}", "{c}"}) {
                std::string name = script ? std::string("Startup script: C:\\") + id + ".cmd" : id;
                int seen = 0;
                for (int32_t i = 0; i < ItemCatalogue.count; ++i)
                    seen += name == ItemCatalogue.items[i].name;
                missed += seen != 1 && !ItemCatalogue.changed;
            }
        }
        EXPECT_EQ(0, missed) << root;
    }
}

// Windows' own program is known by the Windows folder the system gives
// (a program of the user may set %SystemRoot%), by its name alone where
// that cannot be known, and Userinit never loses userinit.exe.
TEST(LogonList, WindowsOwnIsKnownFromTheSystemAndUserinitKeepsIt)
{
    MemReset();
    MemSetEnv("SystemRoot", "C:\\Users\\u\\w");
    MemSetEnv("windir", "C:\\Users\\u\\w");
    MemSetString(PLAT_HKLM, WINLOGON_KEY, "Userinit",
                 "%SystemRoot%\\system32\\userinit.exe,C:\\Windows\\SysWOW64\\userinit,"
                 "C:\\evil\\userinit.exe,C:\\a.exe");
    MemSetString(PLAT_HKCU, WINLOGON_KEY, "Shell", "C:\\Users\\u\\w\\explorer.exe");
    ScanCatalogue();
    EXPECT_LE(0, IndexOf("Userinit: %SystemRoot%\\system32\\userinit.exe" WINDOWS_OWN_MARK));
    EXPECT_LE(0, IndexOf("Userinit: C:\\Windows\\SysWOW64\\userinit" WINDOWS_OWN_MARK));
    EXPECT_LE(0, IndexOf("Shell: C:\\Users\\u\\w\\explorer.exe"));

    MemSetString(PLAT_HKLM, WINLOGON_KEY, "Userinit", "\"C:\\evil\\userinit.exe\",C:\\a.exe");
    Statuses.clear();
    Toggle({"Userinit: \"C:\\evil\\userinit.exe\""});
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_NE(std::string::npos, Statuses[0].find("the logon needs userinit.exe here")) << Statuses[0];
    char backup[TEXT_FIELD_SIZE];
    EXPECT_EQ(RemoveRefused, RemoveItemWithBackup(&ItemCatalogue.items[IndexOf(
                                 "Userinit: \"C:\\evil\\userinit.exe\"")], backup));
    EXPECT_EQ(CAUSE_LOGON_NEEDS_USERINIT, LastStoreError());
    Toggle({"Userinit: C:\\a.exe"});
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, WINLOGON_KEY "-", "Userinit")) << "userinit.exe stays";

    MemSetShellFolder(PLAT_CSIDL_WINDOWS, nullptr);
    ScanCatalogue();
    EXPECT_LE(0, IndexOf("Userinit: \"C:\\evil\\userinit.exe\"" WINDOWS_OWN_MARK));
}

// Only a list Windows needs keeps its own program: nothing enabled takes
// the place of Windows' default; the others may be emptied, and their
// backup gives the state back, the value that was not there deleted.
TEST(LogonList, AListWindowsNeedsIsNeverLeftWithoutItsOwnProgram)
{
    MemReset();
    MemSetString(PLAT_HKLM, WINLOGON_KEY, "Shell", ",");
    MemSetString(PLAT_HKLM, WINLOGON_KEY "-", "Userinit",
                 ", C:\\a.exe, C:\\WINDOWS\\system32\\userinit.exe");
    MemSetString(PLAT_HKLM, WINLOGON_KEY "-", "Shell", ", C:\\b.exe");
    MemSetString(PLAT_HKCU, LEGACY_WINDOWS_KEY, "Load", "C:\\evil.exe");
    Statuses.clear();
    Outcomes.clear();
    Toggle({"Userinit: C:\\a.exe", "Shell: C:\\b.exe", "Load: C:\\evil.exe"});
    ASSERT_EQ(2u, Statuses.size());
    for (const std::string &status : Statuses)
        EXPECT_NE(std::string::npos, status.find("lacks Windows' own program")) << status;
    EXPECT_FALSE(MemValueExists(PLAT_HKLM, WINLOGON_KEY, "Userinit"));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, LEGACY_WINDOWS_KEY, "Load"));
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, LEGACY_WINDOWS_KEY "-", "Load"));
    EXPECT_NE(std::string::npos, RegText(MemFileBytes(Outcomes.back().backup)).find("\"Load\"=-\r\n"));

    Toggle({"Userinit: C:\\WINDOWS\\system32\\userinit.exe"});
    Toggle({"Userinit: C:\\a.exe"});
    uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(MemGetValue(PLAT_HKLM, WINLOGON_KEY, "Userinit", &type, &bytes));
    EXPECT_EQ(Sz("C:\\WINDOWS\\system32\\userinit.exe, C:\\a.exe"), bytes);
}

// Without the rights a change is refused before its backup; the user's own
// Shell goes whole though Windows' program is in it, the machine's never.
TEST(LogonList, RefusalsLeaveNothingBehindAndTheUsersShellGoesWhole)
{
    MemReset();
    MemSetString(PLAT_HKLM, WINLOGON_KEY, "Userinit",
                 "C:\\WINDOWS\\system32\\userinit.exe,C:\\a.exe");
    MemSetString(PLAT_HKLM, WINLOGON_KEY, "Shell", "explorer.exe");
    MemSetString(PLAT_HKCU, WINLOGON_KEY, "Shell", "explorer.exe");
    MemDenyWrites(PLAT_HKLM, true);
    Statuses.clear();
    Toggle({"Userinit: C:\\a.exe"});
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_NE(std::string::npos, Statuses[0].find("administrator rights are needed")) << Statuses[0];
    char backup[TEXT_FIELD_SIZE];
    EXPECT_EQ(RemoveRefused,
              RemoveItemWithBackup(&ItemCatalogue.items[IndexOf("Userinit: C:\\a.exe")], backup));
    EXPECT_TRUE(MemListFolder(MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER).empty());
    MemDenyWrites(PLAT_HKLM, false);

    const AutostartItem *machine = nullptr, *mine = nullptr;
    for (int i = 0; i < ItemCatalogue.count; ++i)
        if (ItemCatalogue.items[i].logonPlace == LogonShell)
            machine = &ItemCatalogue.items[i];
        else if (ItemCatalogue.items[i].logonPlace == LogonUserShell)
            mine = &ItemCatalogue.items[i];
    ASSERT_TRUE(machine && mine && mine->windowsOwn);
    EXPECT_EQ(CAUSE_WINDOWS_OWN, RemoveRefusalCause(machine));
    EXPECT_EQ(RemoveDone, RemoveItemWithBackup(mine, backup));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, WINLOGON_KEY, "Shell"));
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, WINLOGON_KEY, "Shell"));

    // Not whole beside another program (it would go unasked), and not a copy
    // of a repeated item (which copy the row is cannot be told).
    const char *userinit = "C:\\WINDOWS\\system32\\userinit.exe,C:\\a.exe ,C:\\b.exe, C:\\a.exe";
    MemSetString(PLAT_HKCU, WINLOGON_KEY, "Shell", "explorer.exe,C:\\u.exe");
    MemSetString(PLAT_HKLM, WINLOGON_KEY, "Userinit", userinit);
    ScanCatalogue();
    mine = nullptr;
    for (int i = 0; i < ItemCatalogue.count; ++i)
        if (ItemCatalogue.items[i].logonPlace == LogonUserShell && ItemCatalogue.items[i].windowsOwn)
            mine = &ItemCatalogue.items[i];
    ASSERT_TRUE(mine);
    EXPECT_EQ(CAUSE_WINDOWS_OWN, RemoveRefusalCause(mine));
    EXPECT_EQ(RemoveRefused, RemoveItemWithBackup(mine, backup));
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, WINLOGON_KEY, "Shell"));
    Statuses.clear();
    Toggle({"Userinit: C:\\a.exe"});
    ASSERT_FALSE(Statuses.empty());
    EXPECT_NE(std::string::npos, Statuses[0].find("more than once")) << Statuses[0];
    uint32_t type = 0;
    std::string stored;
    ASSERT_TRUE(MemGetValue(PLAT_HKLM, WINLOGON_KEY, "Userinit", &type, &stored));
    EXPECT_EQ(std::string(userinit) + '\0', stored);
}

// Public Documents is writable by every user: only its disabled files are
// noted, and only they make Enable ask.
TEST(LogonList, FilesOfTheSharedDisabledFolderMayBeAnyUsers)
{
    MemReset();
    MemAddFile(MEM_COMMON_DOCUMENTS_FOLDER "\\" DISABLED_ALL_FOLDER "\\shared.bat");
    MemAddFile(MEM_PERSONAL_FOLDER "\\" DISABLED_USER_FOLDER "\\own.bat");
    MemAddFile(MEM_COMMON_STARTUP_FOLDER "\\started.bat");
    ScanCatalogue();
    ASSERT_EQ(3, ItemCatalogue.count);
    EXPECT_EQ(NOTE_ANY_USER, NotesOf("shared.bat"));
    EXPECT_EQ("", NotesOf("own.bat"));
    EXPECT_EQ("", NotesOf("started.bat"));
}

// A Shell a policy sets takes the place of Winlogon's (said on both of its
// rows) and keeps a program as Shell does; Winlogon's other programs and
// Safe Mode's shell keep Windows' own, arguments and all.
TEST(LogonList, PolicyShellAndWinlogonsOtherProgramsKeepTheRulesOfTheirLists)
{
    MemReset();
    for (const char *file : {"C:\\mine.exe", "C:\\kiosk.exe", "C:\\a.exe", "C:\\t.exe", "C:\\m.cmd",
                             "C:\\WINDOWS\\explorer.exe", "C:\\WINDOWS\\system32\\cmd.exe",
                             "C:\\WINDOWS\\system32\\SystemPropertiesPerformance.exe"})
        MemAddFile(file);
    MemAddSearchFolder("C:\\WINDOWS");
    MemAddSearchFolder("C:\\WINDOWS\\system32");
    MemSetString(PLAT_HKLM, WINLOGON_KEY, "Shell", "explorer.exe");
    MemSetString(PLAT_HKCU, WINLOGON_KEY, "Shell", "C:\\mine.exe");
    MemSetString(PLAT_HKCU, POLICY_SYSTEM_KEY, "Shell", "C:\\kiosk.exe");
    MemSetString(PLAT_HKLM, WINLOGON_KEY, "VmApplet",
                 "SystemPropertiesPerformance.exe /pagefile,C:\\a.exe,"
                 "C:\\WINDOWS\\system32\\SystemPropertiesPerformance.exe /x");
    MemSetString(PLAT_HKLM, WINLOGON_KEY, "Taskman", "C:\\t.exe");
    MemSetString(PLAT_HKLM, ENVIRONMENT_KEY, LOGON_SCRIPT_VALUE, "C:\\m.cmd");
    MemSetString(PLAT_HKLM, SAFE_BOOT_KEY, "AlternateShell", "cmd.exe");
    ScanCatalogue();
    const std::string own = NOTE_WINDOWS_OWN "; " NOTE_OWN_SHOWN "; ";
    EXPECT_EQ(own + NOTE_SHELL_BY_POLICY, NotesOf("Shell: explorer.exe" WINDOWS_OWN_MARK));
    EXPECT_EQ(NOTE_SHELL_BY_POLICY, NotesOf("Shell: C:\\mine.exe"));
    EXPECT_EQ(NOTE_POLICY_SHELL, NotesOf("Shell: C:\\kiosk.exe"));
    EXPECT_STREQ(SCOPE_USER, ItemTypeText(&ItemCatalogue.items[IndexOf("Shell: C:\\kiosk.exe")]));
    EXPECT_EQ(own + NOTE_VM_APPLET,
              NotesOf("VmApplet: SystemPropertiesPerformance.exe /pagefile" WINDOWS_OWN_MARK));
    EXPECT_EQ(NOTE_VM_APPLET,
              NotesOf("VmApplet: C:\\WINDOWS\\system32\\SystemPropertiesPerformance.exe /x"))
        << "Windows' own program with other arguments is not Windows' own";
    EXPECT_EQ(NOTE_TASKMAN, NotesOf("Taskman: C:\\t.exe"));
    EXPECT_EQ(NOTE_MACHINE_SCRIPT, NotesOf(LOGON_SCRIPT_VALUE));
    EXPECT_EQ(own + NOTE_SAFE_MODE_SHELL, NotesOf("AlternateShell: cmd.exe" WINDOWS_OWN_MARK));

    // A policy's Shell goes whole: Winlogon's then applies.
    Statuses.clear();
    Toggle({"Shell: C:\\kiosk.exe"});
    EXPECT_TRUE(Statuses.empty()) << Statuses[0];
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, POLICY_SYSTEM_KEY, "Shell"));
    Statuses.clear();
    Toggle({"VmApplet: C:\\a.exe", "Taskman: C:\\t.exe"});
    EXPECT_TRUE(Statuses.empty()) << Statuses[0];
    EXPECT_FALSE(MemValueExists(PLAT_HKLM, WINLOGON_KEY, "Taskman")) << "Windows sets none";
    uint32_t type = 0;
    std::string bytes;
    ASSERT_TRUE(MemGetValue(PLAT_HKLM, WINLOGON_KEY "-", "VmApplet", &type, &bytes));
    EXPECT_EQ(Sz(",C:\\a.exe"), bytes);
    ScanCatalogue();
    char backup[TEXT_FIELD_SIZE];
    EXPECT_EQ(RemoveRefused,
              RemoveItemWithBackup(&ItemCatalogue.items[IndexOf(
                                       "AlternateShell: cmd.exe" WINDOWS_OWN_MARK)],
                                   backup));
    EXPECT_EQ(CAUSE_WINDOWS_OWN, LastStoreError());
}

// Group Policy's scripts: the policy client's record and the local policy's
// ini files (Logon of the user, Startup of the machine), a file too large or
// unreadable said on a row of its own; none of them ever changed here.
TEST(LogonList, GroupPolicyScriptsAreListedAndNeverChanged)
{
    MemReset();
    MemSetShellFolder(PLAT_CSIDL_SYSTEM, "C:\\WINDOWS\\system32");
    const std::string logon = GROUP_POLICY_SCRIPTS_KEY "\\Logon\\0";
    MemSetString(PLAT_HKCU, logon.c_str(), "FileSysPath", "C:\\WINDOWS\\System32\\GroupPolicy\\User");
    MemSetString(PLAT_HKCU, logon.c_str(), "DisplayName", "Local Group Policy");
    MemSetString(PLAT_HKCU, (logon + "\\0").c_str(), "Script", "logon.cmd");
    MemSetString(PLAT_HKCU, (logon + "\\0").c_str(), "Parameters", "/q");
    MemSetString(PLAT_HKLM, GROUP_POLICY_SCRIPTS_KEY "\\Startup\\0\\0", "Script", "C:\\s\\boot.cmd");
    const std::string user = "C:\\WINDOWS\\system32\\" LOCAL_POLICY_USER_SCRIPTS "\\";
    const std::string machine = "C:\\WINDOWS\\system32\\" LOCAL_POLICY_MACHINE_SCRIPTS "\\";
    for (const std::string &file : std::vector<std::string>{"C:\\s\\boot.cmd", "C:\\s\\a.cmd", "C:\\s\\ps.ps1",
                             "C:\\WINDOWS\\system32\\GroupPolicy\\User\\Scripts\\Logon\\logon.cmd",
                             user + "Logon\\b.ps1"})
        MemAddFile(file.c_str());
    const std::string bom = "\xFF\xFE";
    MemAddFile((user + "scripts.ini").c_str(),
               bom + MemUtf16("[Logon]\r\n0CmdLine=C:\\s\\a.cmd\r\n1Parameters= -x\r\n"
                              " 1cmdline = b.ps1\r\n[Logoff]\r\n2CmdLine=C:\\s\\off.cmd\r\n",
                              false));
    // At the limit it is read; one byte past, noted.
    std::string full = bom + MemUtf16("[Startup]\r\n0CmdLine=C:\\s\\ps.ps1\r\n", false);
    full += MemUtf16(std::string((POLICY_INI_MOST - full.size()) / 2, ' ').c_str(), false);
    MemAddFile((machine + "psscripts.ini").c_str(), full);
    MemAddFile((machine + "scripts.ini").c_str(), full + " ");
    ScanCatalogue();

    EXPECT_EQ(NOTE_POLICY_LOGON_SCRIPT "; policy \"Local Group Policy\"",
              NotesOf("Logon script: logon.cmd"));
    const AutostartItem *script = &ItemCatalogue.items[IndexOf("Logon script: logon.cmd")];
    EXPECT_STREQ("C:\\WINDOWS\\System32\\GroupPolicy\\User\\Scripts\\Logon\\logon.cmd /q",
                 script->command);
    EXPECT_STREQ(STATE_READ_ONLY, ItemStateText(script));
    EXPECT_EQ(NOTE_POLICY_STARTUP_SCRIPT, NotesOf("Startup script: C:\\s\\boot.cmd"));
    EXPECT_EQ(NOTE_POLICY_LOGON_SCRIPT, NotesOf("Logon script: C:\\s\\a.cmd"));
    const AutostartItem *ini = &ItemCatalogue.items[IndexOf("Logon script: b.ps1")];
    EXPECT_STREQ((user + "Logon\\b.ps1 -x").c_str(), ini->command);
    char place[2 * TEXT_FIELD_SIZE];
    ItemPlaceText(ini, 0, place, sizeof place);
    EXPECT_EQ(user + "scripts.ini, [Logon] 1CmdLine", place);
    EXPECT_EQ("<no such entry>", NotesOf("Logon script: C:\\s\\off.cmd")) << "Logoff runs nothing at logon";
    EXPECT_EQ(NOTE_POLICY_STARTUP_SCRIPT, NotesOf("Startup script: C:\\s\\ps.ps1"));
    EXPECT_EQ(NOTE_POLICY_FILE_TOO_LARGE, NotesOf("scripts.ini"));
    EXPECT_EQ(6, ItemCatalogue.count);

    for (const AutostartItem *row : {script, ini}) {
        EXPECT_EQ(CAUSE_GROUP_POLICY, SwitchRefusalCause(row));
        EXPECT_EQ(CAUSE_GROUP_POLICY, RemoveRefusalCause(row));
    }
    Statuses.clear();
    Toggle({"Logon script: logon.cmd", "Logon script: b.ps1"});
    ASSERT_EQ(2u, Statuses.size());
    for (const std::string &status : Statuses)
        EXPECT_NE(std::string::npos, status.find("managed by Group Policy")) << status;
    char backup[TEXT_FIELD_SIZE];
    EXPECT_EQ(RemoveRefused,
              RemoveItemWithBackup(&ItemCatalogue.items[IndexOf("Logon script: logon.cmd")], backup));
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, (logon + "\\0").c_str(), "Script"));
    EXPECT_TRUE(MemListFolder(MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER).empty());

    WriteHtmlLog("C:\\report.html");
    std::string report = MemFileBytes("C:\\report.html");
    EXPECT_NE(std::string::npos, report.find("Group Policy scripts (this user): 3 entries"));
    EXPECT_NE(std::string::npos, report.find("File:</td><td>" + user + "scripts.ini, [Logon] 0CmdLine"));

    // A file another program holds open is said unread, for both passes.
    PlatFile open = PlatFileCreate((user + "scripts.ini").c_str());
    ScanCatalogue();
    PlatFileClose(open);
    EXPECT_EQ(0u, NotesOf("scripts.ini").find(NOTE_GROUP_POLICY "; could not be read ("))
        << NotesOf("scripts.ini");
}
