// logon_list_test.cpp - what Windows does with each key, as the details
// and the report say it (the places themselves are tested under Wine).
#include "../../catalogue/catalogue.h"
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
