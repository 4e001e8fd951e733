// store_wine_test.cpp - enable, disable, clean up, add and edit against the
// real registry and folders under Wine.
#include "../../store/store.h"
#include "../support/store_helpers.h"
#include "wine_places.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const char *kRun = RUN_KEY;
const char *kRunOff = RUN_KEY "-";
const char *kRunOnce = CURRENT_VERSION_KEY "\\RunOnce";
const char *kRunOnceOff = CURRENT_VERSION_KEY "\\RunOnce-";

class WineStore : public testing::Test {
protected:
    void SetUp() override
    {
        EmptyAllPlaces();
        Statuses.clear();
    }
    void TearDown() override { EmptyAllPlaces(); }
};

} // namespace

TEST_F(WineStore, DisableAndEnableAUserRunValue)
{
    std::string command = "\"" + ProbePath() + "\" -q";
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kRun, "OrvaneTool", command));
    ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, kRunOff));

    Toggle({"OrvaneTool"});
    EXPECT_TRUE(Statuses.empty());
    DWORD type = 0;
    EXPECT_EQ(Sz(command), ValueBytes(HKEY_CURRENT_USER, kRunOff, "OrvaneTool", &type));
    EXPECT_EQ((DWORD)REG_SZ, type);
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, kRun, "OrvaneTool"));
    ScanCatalogue();
    ASSERT_EQ(1, ItemCatalogue.count);
    EXPECT_EQ(0, ItemCatalogue.items[0].enabled);
    EXPECT_STREQ(kRunOff, ItemCatalogue.items[0].location);

    Toggle({"OrvaneTool"});
    EXPECT_TRUE(Statuses.empty());
    EXPECT_EQ(Sz(command), ValueBytes(HKEY_CURRENT_USER, kRun, "OrvaneTool"));
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, kRunOff, "OrvaneTool"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kRunOff)) << "the empty Run- key stays";
}

TEST_F(WineStore, ExpandableAndLongValuesSurviveByteForByte)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kRunOnce, 0, NULL, 0, KEY_WRITE,
                                             NULL, &key, NULL));
    std::string expand = Sz("%windir%\\system32\\orvane_none.exe -q");
    std::string longText = Sz("C:\\nowhere\\x.exe " + std::string(600, 'p'));
    DWORD number = 0x00434241;
    RegSetValueExA(key, "Expand", 0, REG_EXPAND_SZ, (const BYTE *)expand.data(), (DWORD)expand.size());
    RegSetValueExA(key, "Long", 0, REG_SZ, (const BYTE *)longText.data(), (DWORD)longText.size());
    RegSetValueExA(key, "Number", 0, REG_DWORD, (const BYTE *)&number, sizeof number);
    RegCloseKey(key);

    Toggle({"Expand", "Long", "Number"});
    EXPECT_TRUE(Statuses.empty());
    Toggle({"Expand", "Long", "Number"});
    EXPECT_TRUE(Statuses.empty());
    DWORD type = 0;
    EXPECT_EQ(expand, ValueBytes(HKEY_LOCAL_MACHINE, kRunOnce, "Expand", &type));
    EXPECT_EQ((DWORD)REG_EXPAND_SZ, type);
    EXPECT_EQ(longText, ValueBytes(HKEY_LOCAL_MACHINE, kRunOnce, "Long", &type));
    EXPECT_EQ(std::string((const char *)&number, 4),
              ValueBytes(HKEY_LOCAL_MACHINE, kRunOnce, "Number", &type));
    EXPECT_EQ((DWORD)REG_DWORD, type);
}

// (In Run, a namesake in both places is one row that came back.)
TEST_F(WineStore, CollisionInTheDisabledKeyKeepsBoth)
{
    const std::string onceOff = std::string(kRunOnce) + "-";
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kRunOnce, "Tool", "C:\\new\\tool.exe"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, onceOff.c_str(), "Tool", "C:\\old\\tool.exe"));
    ScanCatalogue();
    std::vector<int32_t> states = {0, 0};
    ASSERT_EQ(2, ItemCatalogue.count);
    ApplyChanges(states.data(), 2, &StatusFront);
    ExpectApplyFailures(1);
    EXPECT_EQ(Sz("C:\\new\\tool.exe"), ValueBytes(HKEY_CURRENT_USER, kRunOnce, "Tool"));
    EXPECT_EQ(Sz("C:\\old\\tool.exe"), ValueBytes(HKEY_CURRENT_USER, onceOff.c_str(), "Tool"));
}

TEST_F(WineStore, DisableAndEnableAnAllUsersShortcut)
{
    std::string startup = ShellFolder(CSIDL_COMMON_STARTUP);
    std::string disabled = ShellFolder(CSIDL_COMMON_DOCUMENTS) + "\\" DISABLED_ALL_FOLDER;
    RemoveDirectoryA(disabled.c_str());
    ASSERT_TRUE(MakeShortcut(startup + "\\Orvane Agent.lnk", ProbePath(), "-a", "agent"));
    ScanCatalogue(); // the scan itself recreates the folder: remove it again
    RemoveDirectoryA(disabled.c_str());
    ASSERT_FALSE(FileExists(disabled));
    std::vector<int32_t> states = {0};
    ASSERT_EQ(1, ItemCatalogue.count);
    ApplyChanges(states.data(), 1, &StatusFront);
    EXPECT_TRUE(Statuses.empty());
    EXPECT_TRUE(FileExists(disabled + "\\Orvane Agent.lnk"));
    EXPECT_FALSE(FileExists(startup + "\\Orvane Agent.lnk"));

    Toggle({"Orvane Agent.lnk"});
    EXPECT_TRUE(Statuses.empty());
    EXPECT_TRUE(FileExists(startup + "\\Orvane Agent.lnk"));
    EXPECT_FALSE(FileExists(disabled + "\\Orvane Agent.lnk"));
}

TEST_F(WineStore, ShortcutCollisionInTheDisabledFolderKeepsBoth)
{
    std::string startup = ShellFolder(CSIDL_STARTUP);
    std::string disabled = ShellFolder(CSIDL_PERSONAL) + "\\" DISABLED_USER_FOLDER;
    CreateDirectoryA(disabled.c_str(), NULL);
    ASSERT_TRUE(MakeShortcut(disabled + "\\Same.lnk", ProbePath(), "-old", ""));
    ScanCatalogue();
    ASSERT_EQ(1, ItemCatalogue.count);
    // Written back after the list was read: the enable moves nothing.
    ASSERT_TRUE(MakeShortcut(startup + "\\Same.lnk", ProbePath(), "-new", ""));
    std::vector<int32_t> states = {1};
    ApplyChanges(states.data(), 1, &StatusFront);
    ExpectApplyFailures(1);
    // Listed together, the two are one row that came back.
    ScanCatalogue();
    ASSERT_EQ(1, ItemCatalogue.count);
    EXPECT_STREQ("-new", ItemCatalogue.items[0].parameters);
    EXPECT_NE(nullptr, strstr(ItemCatalogue.items[0].cameBackCommand, "-old"));
}

TEST_F(WineStore, CleanUpRemovesEveryDisabledKeyButNoShortcut)
{
    for (const char *name : RunKeyNames) {
        std::string off = std::string(CURRENT_VERSION_KEY "\\") + name + "-";
        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, off.c_str(), "OffUser", "C:\\nowhere\\u.exe"));
        ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, off.c_str(), "OffAll", "C:\\nowhere\\a.exe"));
    }
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kRun, "Pending", "C:\\nowhere\\p.exe"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kRun, "Keep", "C:\\nowhere\\k.exe"));
    std::string disabled = ShellFolder(CSIDL_PERSONAL) + "\\" DISABLED_USER_FOLDER;
    CreateDirectoryA(disabled.c_str(), NULL);
    ASSERT_TRUE(MakeShortcut(disabled + "\\Off.lnk", ProbePath(), "", ""));

    ScanCatalogue();
    std::vector<int32_t> states;
    for (int i = 0; i < ItemCatalogue.count; ++i)
        states.push_back(strcmp(ItemCatalogue.items[i].name, "Pending") == 0
                             ? 0
                             : ItemCatalogue.items[i].enabled);
    CleanUpDisabled(states.data(), (int32_t)states.size(), &StatusFront);

    for (const char *name : RunKeyNames) {
        std::string off = std::string(CURRENT_VERSION_KEY "\\") + name + "-";
        // RunOnceEx-'s own values are settings, not entries: they stay.
        bool stays = strcmp(name, RUN_ONCE_EX) == 0;
        EXPECT_EQ(stays, KeyExists(HKEY_CURRENT_USER, off.c_str())) << off;
        EXPECT_EQ(stays, KeyExists(HKEY_LOCAL_MACHINE, off.c_str())) << off;
    }
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, kRun, "Pending"));
    EXPECT_EQ(Sz("C:\\nowhere\\k.exe"), ValueBytes(HKEY_CURRENT_USER, kRun, "Keep"));
    EXPECT_TRUE(FileExists(disabled + "\\Off.lnk"));
}

TEST_F(WineStore, AddWithAndWithoutParameters)
{
    SaveItem("Tool", "C:\\Program Files\\Tool\\tool.exe", "-quiet", 1, EditorAdd, -1);
    EXPECT_EQ(Sz("\"C:\\Program Files\\Tool\\tool.exe\" -quiet"),
              ValueBytes(HKEY_LOCAL_MACHINE, kRun, "Tool"));
    SaveItem("Bare", "C:\\Program Files\\Tool\\tool.exe", "", 0, EditorAdd, -1);
    EXPECT_EQ(Sz("\"C:\\Program Files\\Tool\\tool.exe\""), ValueBytes(HKEY_CURRENT_USER, kRun, "Bare"));
}

TEST_F(WineStore, EditsKeepDisabledPlaceRenameAndChangeHive)
{
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kRunOnceOff, "Later", "C:\\nowhere\\later.exe"));
    ScanCatalogue();
    SaveItem("Later", "C:\\nowhere\\later.exe", "-x", 0, EditorEdit, IndexOf("Later"));
    EXPECT_EQ(Sz("\"C:\\nowhere\\later.exe\" -x"),
              ValueBytes(HKEY_CURRENT_USER, kRunOnceOff, "Later"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kRunOnce));

    ScanCatalogue();
    SaveItem("Renamed", "C:\\nowhere\\later.exe", "-x", 0, EditorEdit, IndexOf("Later"));
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, kRunOnceOff, "Later"));
    EXPECT_EQ(Sz("\"C:\\nowhere\\later.exe\" -x"),
              ValueBytes(HKEY_CURRENT_USER, kRunOnceOff, "Renamed"));

    ScanCatalogue();
    SaveItem("Renamed", "C:\\nowhere\\later.exe", "-x", 1, EditorEdit, IndexOf("Renamed"));
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, kRunOnceOff, "Renamed"));
    EXPECT_EQ(Sz("\"C:\\nowhere\\later.exe\" -x"),
              ValueBytes(HKEY_LOCAL_MACHINE, kRunOnceOff, "Renamed"));
    ScanCatalogue();
    ASSERT_EQ(1, ItemCatalogue.count);
    EXPECT_EQ(0, ItemCatalogue.items[0].enabled);
    EXPECT_STREQ("ALL", ItemCatalogue.items[0].scope);
}

TEST_F(WineStore, UnchangedEditOfADllEntryWritesNothing)
{
    std::string command = "rundll32.exe \"C:\\nowhere\\x.dll\",Start";
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kRun, "Dll", command));
    ScanCatalogue();
    const AutostartItem &item = ItemCatalogue.items[0];
    SaveItem(item.name, item.target, item.parameters, 0, EditorEdit, 0);
    EXPECT_EQ(Sz(command), ValueBytes(HKEY_CURRENT_USER, kRun, "Dll"));
}
