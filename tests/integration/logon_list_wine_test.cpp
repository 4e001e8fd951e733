// logon_list_wine_test.cpp - the whole logon list on the real registry and
// folders: every file of a Startup folder, RunOnceEx's sections and the
// policy Run keys, each listed once and each disabled, enabled and removed
// in its own places.
#include "../../store/store.h"
#include "../support/store_helpers.h"
#include "wine_places.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <string.h>

#include <fstream>
#include <string>

namespace {

class WineLogonList : public testing::Test {
protected:
    void SetUp() override
    {
        EmptyAllPlaces();
        Statuses.clear();
    }
    void TearDown() override { EmptyAllPlaces(); }
};

std::string Locations()
{
    std::string all;
    for (int i = 0; i < ItemCatalogue.count; ++i)
        all += std::string(ItemCatalogue.items[i].name) + "@" + ItemCatalogue.items[i].location
               + "\n";
    return all;
}

} // namespace

TEST_F(WineLogonList, EveryStartupFileIsListedAndMovedLikeAShortcut)
{
    std::string startup = ShellFolder(CSIDL_STARTUP);
    std::string off = ShellFolder(CSIDL_PERSONAL) + "\\" DISABLED_USER_FOLDER;
    std::ofstream(startup + "\\tool.bat") << "@exit\r\n";
    std::ofstream(startup + "\\site.url") << "[InternetShortcut]\r\nURL=about:blank\r\n";
    std::ofstream(startup + "\\secret.cmd") << "@exit\r\n";
    SetFileAttributesA((startup + "\\secret.cmd").c_str(), FILE_ATTRIBUTE_HIDDEN);
    std::ofstream(startup + "\\desktop.ini") << "[.ShellClassInfo]\r\n";
    CreateDirectoryA((startup + "\\folder").c_str(), NULL);
    ScanCatalogue();
    ASSERT_EQ(3, ItemCatalogue.count) << Locations();
    const AutostartItem &secret = ItemCatalogue.items[IndexOf("secret.cmd")];
    EXPECT_EQ(1, secret.hidden);
    EXPECT_EQ(startup + "\\secret.cmd", secret.target) << "its own program";
    EXPECT_EQ(0, secret.targetMissing);
    EXPECT_EQ(0, ItemCatalogue.items[IndexOf("tool.bat")].hidden);

    Toggle({"tool.bat", "site.url", "secret.cmd"});
    for (const char *name : {"tool.bat", "site.url", "secret.cmd"}) {
        EXPECT_TRUE(FileExists(off + "\\" + name)) << name;
        EXPECT_FALSE(FileExists(startup + "\\" + name)) << name;
    }
    Toggle({"tool.bat", "site.url", "secret.cmd"});
    EXPECT_TRUE(Statuses.empty()) << Statuses[0];
    ScanCatalogue();
    char backup[TEXT_FIELD_SIZE];
    for (const char *name : {"tool.bat", "site.url", "secret.cmd"}) {
        ScanCatalogue();
        ASSERT_EQ(RemoveDone, RemoveItemWithBackup(&ItemCatalogue.items[IndexOf(name)], backup))
            << name;
        EXPECT_FALSE(FileExists(startup + "\\" + name)) << name;
        EXPECT_NE(std::string::npos, std::string(backup).find(name));
        SetFileAttributesA(backup, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(backup);
    }
    EXPECT_TRUE(FileExists(startup + "\\desktop.ini"));
    DeleteFileA((startup + "\\desktop.ini").c_str());
    RemoveDirectoryA((startup + "\\folder").c_str());
}

TEST_F(WineLogonList, RunOnceExSectionsAndPolicyRunKeys)
{
    const char *ex = CURRENT_VERSION_KEY "\\RunOnceEx";
    std::string one = std::string(ex) + "\\0001", two = std::string(ex) + "\\0002";
    std::string probe = ProbePath();
    ASSERT_TRUE(SetBytes(HKEY_CURRENT_USER, ex, "Flags", REG_DWORD, std::string(4, '\0')));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, ex, "Title", "Setup"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, one.c_str(), "First", "||" + probe));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, one.c_str(), "Second", "||" + probe + " -2"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, two.c_str(), "Third", "||" + probe));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, (std::string(ex) + "\\Depend").c_str(), "X", probe));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, POLICY_RUN_KEY, "UserPolicy", probe));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, POLICY_RUN_KEY, "MachinePolicy", probe,
                          KEY_WOW64_64KEY));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, RUN_KEY, "Native", probe, KEY_WOW64_64KEY));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, RUN_KEY, "Old32", probe, KEY_WOW64_32KEY));
    ScanCatalogue();
    EXPECT_EQ("Native@" RUN_KEY "\nOld32@" RUN_KEY "\nFirst@" + one + "\nSecond@" + one
                  + "\nThird@" + two + "\nUserPolicy@" POLICY_RUN_KEY
                  "\nMachinePolicy@" POLICY_RUN_KEY "\n",
              Locations());

    Toggle({"Second", "UserPolicy", "MachinePolicy"});
    const std::string oneOff = std::string(ex) + "-\\0001";
    EXPECT_EQ(Sz("||" + probe + " -2"), ValueBytes(HKEY_CURRENT_USER, oneOff.c_str(), "Second"));
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, one.c_str(), "Second"));
    EXPECT_EQ(Sz(probe), ValueBytes(HKEY_CURRENT_USER, POLICY_RUN_KEY "-", "UserPolicy"));
    EXPECT_EQ(Sz(probe), ValueBytes(HKEY_LOCAL_MACHINE, POLICY_RUN_KEY "-", "MachinePolicy"));
    Toggle({"Second"});
    EXPECT_EQ(Sz("||" + probe + " -2"), ValueBytes(HKEY_CURRENT_USER, one.c_str(), "Second"));
    EXPECT_TRUE(Statuses.empty()) << Statuses[0];
}
