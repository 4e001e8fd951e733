// elevated_test.cpp - run elevated, the program lends its rights to no one:
// Run goes through the desktop shell, the help file cannot be chosen or
// changed by another program, and backups never follow a planted link.
#include "../../store/store.h"
#include "../../help/help_file.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

#define BACKUPS MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER
const uint32_t kJunction = 0xA0000003, kSymbolicLink = 0xA000000C, kCloud = 0x9000601A;

int Answer = 0;
std::vector<std::string> Questions;
int Ask(void *, const char *question)
{
    Questions.push_back(question);
    return Answer;
}

class Elevated : public testing::Test {
protected:
    void SetUp() override
    {
        MemReset();
        Statuses.clear();
        Questions.clear();
        MemSetElevated(true);
    }
};

} // namespace

TEST_F(Elevated, RunTakesTheDesktopShellAndAsksOnlyWithoutOne)
{
    MemAddFile("C:\\Tools\\agent.exe");
    MemSetString(PLAT_HKCU, RUN_KEY, "Agent", "C:\\Tools\\agent.exe -x");
    ScanCatalogue();
    const FrontEnd asking = {nullptr, Ask, nullptr, nullptr, nullptr};
    const AutostartItem *item = &ItemCatalogue.items[0];
    EXPECT_EQ(StartedByDesktop, StartItemProgram(item, &asking));
    MemSetDesktopShell(false);
    Answer = 0;
    EXPECT_EQ(StartDeclined, StartItemProgram(item, &asking));
    Answer = 1;
    EXPECT_EQ(StartedElevated, StartItemProgram(item, &asking));
    MemSetElevated(false);
    EXPECT_EQ(StartedAsUser, StartItemProgram(item, &asking));
    EXPECT_EQ((std::vector<std::string>{"desktop C:\\Tools\\agent.exe", "direct C:\\Tools\\agent.exe",
                                        "direct C:\\Tools\\agent.exe"}),
              MemStarted());
    EXPECT_EQ(2u, Questions.size());
    EXPECT_EQ("Start \"Agent\" with administrator rights?", Questions[0]);
}

// Verbs and URL handlers come from classes the user's programs can rewrite:
// elevated, they run only in the desktop shell, or not at all.
TEST_F(Elevated, UrlsAndFoldersOpenOnlyWithTheUsersRights)
{
    EXPECT_EQ(OpenedByDesktop, OpenWithUserRights("open", "https://x.example/", ""));
    MemSetDesktopShell(false);
    EXPECT_EQ(OpenNoDesktop, OpenWithUserRights("explore", "C:\\Tools", "C:\\Tools\\a.exe"));
    MemSetElevated(false);
    EXPECT_EQ(OpenedAsUser, OpenWithUserRights("properties", "C:\\Tools\\a.exe", ""));
    MemSetShellOpens(false);
    EXPECT_EQ(OpenFailed, OpenWithUserRights("open", "https://x.example/", ""));
    EXPECT_EQ((std::vector<std::string>{"desktop open https://x.example/ ",
                                        "direct properties C:\\Tools\\a.exe ",
                                        "direct open https://x.example/ "}),
              MemStarted());
}

TEST_F(Elevated, HelpFileIsNewUnderAnUnpredictableNameAndHeld)
{
    MemAddFolder("C:\\Temp");
    // The first name drawn is taken: it is left alone and another is drawn.
    MemQueueRandom(std::string(8, '\x01'));
    MemAddFile("C:\\Temp\\Orvane Help 0101010101010101.chm", "planted");
    MemQueueRandom(std::string(8, '\x01'));
    char path[PLAT_TEXT_SIZE];
    PlatFile held = nullptr;
    ASSERT_TRUE(ExtractHelpFile("C:\\Temp\\", "ITSF help", 9, path, &held));
    EXPECT_EQ("planted", MemFileBytes("C:\\Temp\\Orvane Help 0101010101010101.chm"));
    EXPECT_STRNE("C:\\Temp\\Orvane Help 0101010101010101.chm", path);
    EXPECT_EQ("ITSF help", MemFileBytes(path));
    // Held: no other program can replace, rewrite or delete it until exit.
    EXPECT_TRUE(MemFileHeld(path));
    EXPECT_EQ(nullptr, PlatFileCreate(path));
    EXPECT_FALSE(PlatDeleteFile(path));
    PlatFileClose(held);
    EXPECT_TRUE(PlatDeleteFile(path));

    // Changed between writing and holding: not shown, not left behind.
    MemSetHook(MEM_FILE_HOLD, 0, [] {
        for (const std::string &name : MemListFolder("C:\\Temp"))
            if (name.find("Orvane Help") == 0 && MemFileBytes(("C:\\Temp\\" + name).c_str()) != "planted")
                MemAddFile(("C:\\Temp\\" + name).c_str(), "ITSF evil");
    });
    EXPECT_FALSE(ExtractHelpFile("C:\\Temp\\", "ITSF help", 9, path, &held));
    EXPECT_EQ(nullptr, held);
    EXPECT_EQ(1u, MemListFolder("C:\\Temp").size()) << "only the planted file";
}

TEST_F(Elevated, BackupsNeverFollowALinkNorOverwriteATakenName)
{
    MemSetString(PLAT_HKCU, RUN_KEY, "Agent", "C:\\a.exe");
    MemAddLink(MEM_STARTUP_FOLDER "\\Link.lnk", "C:\\l.exe", "", "");
    MemSetReparseTag(BACKUPS, kJunction);
    MemSetReparseTag(MEM_PERSONAL_FOLDER "\\" DISABLED_USER_FOLDER, kSymbolicLink);
    ScanCatalogue();
    char backup[TEXT_FIELD_SIZE];
    EXPECT_EQ(RemoveFolderIsLink, RemoveItemWithBackup(&ItemCatalogue.items[0], backup));
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, RUN_KEY, "Agent"));
    // A disable saves the switch first: not through a link either.
    Toggle({"Link.lnk"});
    EXPECT_EQ(std::vector<std::string>{"ERROR: A folder on the way to \"" BACKUP_FOLDER
                                       "\" is a link to another place; nothing was changed."},
              Statuses);
    MemSetReparseTag(BACKUPS, 0);
    Statuses.clear();
    Toggle({"Link.lnk"});
    EXPECT_EQ(std::vector<std::string>{"ERROR: The folder \"" DISABLED_USER_FOLDER
                                       "\" is a link to another place; nothing was changed."},
              Statuses);
    EXPECT_TRUE(MemFileExists(MEM_STARTUP_FOLDER "\\Link.lnk"));

    // A cloud placeholder is an ordinary folder; a name taken between
    // looking and creating is never written over.
    MemSetReparseTag(BACKUPS, kCloud);
    MemResetCounts(); // the disable above saved its switch
    MemSetHook(MEM_FILE_CREATE, 1, [] {
        MemAddFile(BACKUPS "\\Removed 2026-12-07 130509.reg", "someone else's");
    });
    ASSERT_EQ(RemoveDone, RemoveItemWithBackup(&ItemCatalogue.items[0], backup));
    EXPECT_STREQ(BACKUPS "\\Removed 2026-12-07 130509 (2).reg", backup);
    EXPECT_EQ("someone else's", MemFileBytes(BACKUPS "\\Removed 2026-12-07 130509.reg"));
}

// A folder made a link while a .reg backup is being made: the file begun
// there is closed and deleted, and nothing is removed.
TEST_F(Elevated, BackupFolderMadeALinkMidwayLeavesNoFileOpen)
{
    MemSetString(PLAT_HKCU, RUN_KEY, "Agent", "C:\\a.exe");
    MemAddFolder(BACKUPS);
    ScanCatalogue();
    MemSetHook(MEM_FILE_CREATE, 1, [] { MemSetReparseTag(BACKUPS, kJunction); });
    EXPECT_EQ(ResultFolderIsLink, RemoveEntry(&ItemCatalogue.items[0], &StatusFront));
    EXPECT_EQ(0, MemOpenFiles());
    EXPECT_TRUE(MemListFolder(BACKUPS).empty());
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, RUN_KEY, "Agent"));
}

// HKCU's shell folders and any folder the user owns are the user's to
// redirect: elevated, work there goes through no link and with the user's
// rights, or is refused naming the entry; unelevated nothing changes.
TEST_F(Elevated, UserPlacesFollowNoLinkAndUseTheUsersRights)
{
    const char *disabled = MEM_PERSONAL_FOLDER "\\" DISABLED_USER_FOLDER "\\Link.lnk";
    MemAddLink(disabled, "C:\\l.exe", "", "");
    MemSetString(PLAT_HKCU, RUN_KEY, "Agent", "C:\\a.exe");
    MemSetReparseTag("C:\\Users\\tester\\AppData", kJunction);
    Toggle({"Link.lnk"});
    EXPECT_EQ(std::vector<std::string>{"ERROR: \"Link.lnk\" was not enabled: a folder on its way "
                                       "is a link to another place."},
              Statuses);
    EXPECT_TRUE(MemFileExists(disabled));
    EXPECT_EQ(0, MemOpenFiles());

    // A junction above the backups folder: nothing is deleted unbacked.
    MemSetReparseTag(MEM_PERSONAL_FOLDER, kJunction);
    char backup[TEXT_FIELD_SIZE];
    ASSERT_LE(0, IndexOf("Agent"));
    EXPECT_EQ(RemoveFolderIsLink, RemoveItemWithBackup(&ItemCatalogue.items[IndexOf("Agent")], backup));
    EXPECT_EQ(CAUSE_PLACE_IS_LINK, LastStoreError());
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, RUN_KEY, "Agent"));
    MemSetString(PLAT_HKLM, WINLOGON_KEY, "Shell", "C:\\WINDOWS\\explorer.exe,C:\\x.exe");
    Statuses.clear();
    Toggle({"Shell: C:\\x.exe"});
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_NE(std::string::npos, Statuses[0].find("a folder on its way is a link")) << Statuses[0];
    MemSetReparseTag(MEM_PERSONAL_FOLDER, 0);

    // Startup pointed at System32: moved with the user's rights, which fail there.
    MemSetReparseTag("C:\\Users\\tester\\AppData", 0);
    MemSetShellFolder(PLAT_CSIDL_STARTUP, "C:\\WINDOWS\\System32");
    MemDenyUser("C:\\WINDOWS");
    Statuses.clear();
    Toggle({"Link.lnk"});
    EXPECT_EQ(std::vector<std::string>{"ERROR: \"Link.lnk\" was not enabled: the user's ordinary "
                                       "rights do not reach its folder."},
              Statuses);
    EXPECT_TRUE(MemFileExists(disabled));

    // Unelevated the folders are not held and the move is today's.
    MemSetElevated(false);
    MemResetCounts();
    Statuses.clear();
    Toggle({"Link.lnk"});
    EXPECT_EQ(0, MemCallCount(MEM_PLACE_HOLD));
    EXPECT_TRUE(MemFileExists("C:\\WINDOWS\\System32\\Link.lnk"));
}

// Elevated with no lower token to take (an administrator without UAC's
// split token; Wine): only places inside the profile are worked in.
TEST_F(Elevated, WithoutTheUsersRightsOnlyTheProfileIsWorkedIn)
{
    const char *disabled = MEM_PERSONAL_FOLDER "\\" DISABLED_USER_FOLDER "\\Link.lnk";
    MemAddLink(disabled, "C:\\l.exe", "", "");
    MemSetLowerToken(false);
    MemSetShellFolder(PLAT_CSIDL_STARTUP, "C:\\WINDOWS\\System32");
    Toggle({"Link.lnk"});
    EXPECT_EQ(std::vector<std::string>{"ERROR: \"Link.lnk\" was not enabled: its folder lies "
                                       "outside the user's profile and the user's ordinary rights "
                                       "to work there could not be taken."},
              Statuses);
    EXPECT_TRUE(MemFileExists(disabled));

    // Another profile, or a name that only begins like this one, is outside.
    for (const char *other : {"C:\\Users\\Public\\Startup", "C:\\Users\\tester2\\Startup"}) {
        MemSetShellFolder(PLAT_CSIDL_STARTUP, other);
        Toggle({"Link.lnk"});
        EXPECT_TRUE(MemFileExists(disabled)) << other;
    }
    MemSetShellFolder(PLAT_CSIDL_STARTUP, MEM_STARTUP_FOLDER);
    Statuses.clear();
    Toggle({"Link.lnk"});
    EXPECT_TRUE(Statuses.empty()) << Statuses[0];
    EXPECT_TRUE(MemFileExists(MEM_STARTUP_FOLDER "\\Link.lnk"));
    MemSetValue(PLAT_HKCU, APPROVED_KEY "\\StartupFolder", "Link.lnk", PLAT_REG_BINARY,
                std::string(12, '\2'));
    ScanCatalogue();
    char backup[TEXT_FIELD_SIZE];
    ASSERT_LE(0, IndexOf("Link.lnk"));
    EXPECT_EQ(RemoveDone, RemoveItemWithBackup(&ItemCatalogue.items[IndexOf("Link.lnk")], backup));
    EXPECT_EQ(0, MemOpenFiles()) << "every held place is let go";

    MemSetShellFolder(PLAT_CSIDL_PERSONAL, "C:\\Docs");
    Statuses.clear();
    CleanUpDisabled(nullptr, 0, &StatusFront);
    EXPECT_EQ(std::vector<std::string>{"ERROR: Nothing was written to \"" BACKUP_FOLDER "\": it "
                                       "lies outside the user's profile and the user's ordinary "
                                       "rights could not be taken to work there; nothing was "
                                       "changed."},
              Statuses);
}

// An empty folder can be made a junction in place while held: what went
// through it comes back, and a backup made through it is not kept.
TEST_F(Elevated, ALinkMadeWhileHeldUndoesTheWork)
{
    const char *disabled = MEM_PERSONAL_FOLDER "\\" DISABLED_USER_FOLDER "\\Link.lnk";
    MemAddLink(disabled, "C:\\l.exe", "", "");
    MemSetHook(MEM_MOVE_FILE, 1, [] { MemSetReparseTag(MEM_STARTUP_FOLDER, kJunction); });
    Toggle({"Link.lnk"});
    EXPECT_EQ(std::vector<std::string>{"ERROR: \"Link.lnk\" was not enabled: a folder on its way "
                                       "is a link to another place."},
              Statuses);
    EXPECT_TRUE(MemFileExists(disabled));
    EXPECT_FALSE(MemFileExists(MEM_STARTUP_FOLDER "\\Link.lnk"));
    // Not brought back: the status says so, not that the file is gone.
    MemSetReparseTag(MEM_STARTUP_FOLDER, 0);
    MemResetCounts();
    MemFailCall(MEM_MOVE_FILE, 2);
    Statuses.clear();
    Toggle({"Link.lnk"});
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_NE(std::string::npos, Statuses[0].find("could not be moved back")) << Statuses[0];
    // A check that could not be made undoes the work too, and says why.
    MemClearFaults();
    MemSetReparseTag(MEM_STARTUP_FOLDER, 0);
    MemResetCounts();
    MemSetHook(MEM_MOVE_FILE, 1, [] {
        MemFailCall(MEM_PLACE_CHECK, MemCallCount(MEM_PLACE_CHECK) + 1, PLAT_ERROR_INVALID_PARAMETER);
    });
    Statuses.clear();
    Toggle({"Link.lnk"});
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_EQ(std::string::npos, Statuses[0].find("is a link")) << Statuses[0];
    EXPECT_TRUE(MemFileExists(MEM_STARTUP_FOLDER "\\Link.lnk"));

    MemSetString(PLAT_HKCU, RUN_KEY, "Agent", "C:\\a.exe");
    ScanCatalogue();
    MemResetCounts(); // the disables above made backups of their switches
    MemSetHook(MEM_FILE_CREATE, 1, [] { MemSetReparseTag(BACKUPS, kJunction); });
    char backup[TEXT_FIELD_SIZE];
    ASSERT_LE(0, IndexOf("Agent"));
    EXPECT_EQ(RemoveFolderIsLink, RemoveItemWithBackup(&ItemCatalogue.items[IndexOf("Agent")], backup));
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, RUN_KEY, "Agent"));
    EXPECT_TRUE(MemListFolder(BACKUPS).empty());
}

// Any user can make the shared folder of disabled items a junction to
// another user's folder: elevated, its files are shown so and are neither
// copied, deleted nor enabled with administrator rights.
TEST_F(Elevated, FilesSeenThroughALinkedSharedFolderAreNotActedOn)
{
    const char *shared = MEM_COMMON_DOCUMENTS_FOLDER "\\" DISABLED_ALL_FOLDER "\\Theirs.lnk";
    MemAddLink(shared, "C:\\t.exe", "", "");
    MemSetReparseTag(MEM_COMMON_DOCUMENTS_FOLDER "\\" DISABLED_ALL_FOLDER, kJunction);
    ScanCatalogue();
    ASSERT_LE(0, IndexOf("Theirs.lnk"));
    char notes[TEXT_FIELD_SIZE * 2], backup[TEXT_FIELD_SIZE];
    ItemNotes(&ItemCatalogue.items[IndexOf("Theirs.lnk")], notes, sizeof notes);
    EXPECT_NE(nullptr, strstr(notes, NOTE_FOLDER_IS_LINK)) << notes;
    EXPECT_EQ(RemoveRefused, RemoveItemWithBackup(&ItemCatalogue.items[IndexOf("Theirs.lnk")], backup));
    EXPECT_EQ(CAUSE_PLACE_IS_LINK, LastStoreError());
    EXPECT_TRUE(MemFileExists(shared));
    EXPECT_TRUE(MemListFolder(BACKUPS).empty()) << "not copied either";
    Toggle({"Theirs.lnk"});
    EXPECT_EQ(std::vector<std::string>{"ERROR: \"Theirs.lnk\" was not enabled: a folder on its way "
                                       "is a link to another place."},
              Statuses);
    EXPECT_TRUE(MemFileExists(shared));
}

// The scan makes the folders of disabled items only through held folders,
// the user's with the user's rights: not where Documents was redirected.
TEST_F(Elevated, TheScanMakesDisabledFoldersOnlyWhereTheUserCould)
{
    MemSetShellFolder(PLAT_CSIDL_PERSONAL, "C:\\WINDOWS\\System32");
    MemDenyUser("C:\\WINDOWS");
    MemSetReparseTag(MEM_COMMON_DOCUMENTS_FOLDER, kJunction);
    ScanCatalogue();
    EXPECT_FALSE(MemFolderExists("C:\\WINDOWS\\System32\\" DISABLED_USER_FOLDER));
    EXPECT_FALSE(MemFolderExists(MEM_COMMON_DOCUMENTS_FOLDER "\\" DISABLED_ALL_FOLDER));
    MemSetReparseTag(MEM_COMMON_DOCUMENTS_FOLDER, 0);
    ScanCatalogue();
    EXPECT_TRUE(MemFolderExists(MEM_COMMON_DOCUMENTS_FOLDER "\\" DISABLED_ALL_FOLDER));
}
