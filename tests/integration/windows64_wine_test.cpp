// windows64_wine_test.cpp - both registry views, the startup settings'
// switch, the program rule and the logon's %ProgramFiles% against the real
// registry and files of a 64-bit Wine prefix.
#include "../../store/store.h"
#include "wine_places.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

class Wine64 : public testing::Test {
protected:
    void SetUp() override { EmptyAllPlaces(); }
    void TearDown() override { EmptyAllPlaces(); }
};

const AutostartItem *Named(const char *name)
{
    for (int32_t i = 0; i < ItemCatalogue.count; ++i)
        if (strcmp(ItemCatalogue.items[i].name, name) == 0)
            return &ItemCatalogue.items[i];
    return nullptr;
}

std::vector<int32_t> StoredStates()
{
    std::vector<int32_t> states;
    for (int32_t i = 0; i < ItemCatalogue.count; ++i)
        states.push_back(ItemCatalogue.items[i].enabled);
    return states;
}

void ApplyStates(std::vector<int32_t> &states)
{
    ApplyChanges(states.data(), (int32_t)states.size(), nullptr);
}

} // namespace

TEST_F(Wine64, BothMachineViewsAreListedAndKeptApart)
{
    std::string probe = ProbePath();
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, RUN_KEY, "Orvane64", probe, KEY_WOW64_64KEY));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, RUN_KEY, "Orvane32", probe, KEY_WOW64_32KEY));
    ScanCatalogue();
    ASSERT_EQ(2, ItemCatalogue.count);
    EXPECT_STREQ("Orvane64", ItemCatalogue.items[0].name) << "native view first";
    EXPECT_STREQ("Orvane32", ItemCatalogue.items[1].name);
    char place[TEXT_FIELD_SIZE + 32];
    ItemPlaceText(&ItemCatalogue.items[1], 1, place, sizeof place);
    EXPECT_STREQ("HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
                 place);

    std::vector<int32_t> states = StoredStates();
    states[1] = 0;
    ApplyStates(states);
    EXPECT_EQ(probe + '\0', ValueBytes(HKEY_LOCAL_MACHINE, RUN_KEY "-", "Orvane32", NULL,
                                       KEY_WOW64_32KEY));
    EXPECT_EQ("<absent>", ValueBytes(HKEY_LOCAL_MACHINE, RUN_KEY "-", "Orvane32", NULL,
                                     KEY_WOW64_64KEY));
    EXPECT_EQ("<absent>", ValueBytes(HKEY_LOCAL_MACHINE, RUN_KEY, "Orvane32", NULL,
                                     KEY_WOW64_32KEY));
    EXPECT_EQ(probe + '\0', ValueBytes(HKEY_LOCAL_MACHINE, RUN_KEY, "Orvane64", NULL,
                                       KEY_WOW64_64KEY));

    ScanCatalogue();
    states = StoredStates();
    CleanUpDisabled(states.data(), (int32_t)states.size(), nullptr);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Wow6432Node\\Microsoft\\Windows\\"
                                               "CurrentVersion\\Run-"));
}

TEST_F(Wine64, SwitchedOffInStartupSettingsIsListedOffAndSwitchedOnInPlace)
{
    std::string probe = ProbePath();
    std::string off("\x03\0\0\0\x10\x20\x30\x40\x50\x60\x70\x01", 12);
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "OrvaneOff", probe));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "OrvaneOn", probe));
    ASSERT_TRUE(SetBytes(HKEY_CURRENT_USER, APPROVED_KEY "\\Run", "OrvaneOff", REG_BINARY, off));
    ASSERT_TRUE(SetBytes(HKEY_CURRENT_USER, APPROVED_KEY "\\Run", "OrvaneOn", REG_BINARY,
                         std::string("\x02\0\0\0\0\0\0\0\0\0\0\0", 12)));
    ScanCatalogue();
    ASSERT_NE(nullptr, Named("OrvaneOff"));
    EXPECT_EQ(0, Named("OrvaneOff")->enabled);
    EXPECT_EQ(1, Named("OrvaneOff")->approvalDisabled);
    EXPECT_EQ(1, Named("OrvaneOn")->enabled);

    std::vector<int32_t> states(ItemCatalogue.count, 1);
    ApplyStates(states);
    DWORD type = 0;
    EXPECT_EQ(std::string("\x02\0\0\0\0\0\0\0\0\0\0\0", 12),
              ValueBytes(HKEY_CURRENT_USER, APPROVED_KEY "\\Run", "OrvaneOff", &type));
    EXPECT_EQ((DWORD)REG_BINARY, type);
    EXPECT_EQ(probe + '\0', ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "OrvaneOff"));
    ScanCatalogue();
    EXPECT_EQ(1, Named("OrvaneOff")->enabled);
}

TEST_F(Wine64, UnquotedCommandsNameTheRealProgram)
{
    std::string blanks = ProbeWithBlanks(); // C:\Program Files\Orvane Probe Folder\probe.exe
    std::string noExtension = blanks.substr(0, blanks.size() - 4);
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "OrvaneBlanks", noExtension + " --start x"));
    // A bare name is looked up where the logon looks, never beside this
    // program; then in App Paths, as the shell does.
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "OrvaneBeside", "orvane_probe -q"));
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    std::string inWindows = std::string(windows) + "\\zzagent.exe";
    ASSERT_TRUE(CopyFileA(ProbePath().c_str(), inWindows.c_str(), FALSE));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "OrvaneBare", "zzagent -q"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY "\\App Paths\\zzapp.exe", "",
                          "\"" + blanks + "\"", KEY_WOW64_64KEY));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "OrvaneAppPath", "zzapp -y"));
    // The logon's %ProgramFiles%, whatever this process was given.
    SetEnvironmentVariableA("ProgramFiles", "C:\\Orvane x86 Program Files");
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "OrvaneEnv",
                          "%ProgramFiles%\\Orvane Probe Folder\\probe.exe -e"));
    ScanCatalogue();
    SetEnvironmentVariableA("ProgramFiles", "C:\\Program Files");
    ASSERT_NE(nullptr, Named("OrvaneBlanks"));
    EXPECT_EQ(blanks, Named("OrvaneBlanks")->target);
    EXPECT_STREQ("--start x", Named("OrvaneBlanks")->parameters);
    EXPECT_STREQ("Orvane test probe", Named("OrvaneBlanks")->description);
    DeleteFileA(inWindows.c_str());
    EXPECT_EQ(1, Named("OrvaneBeside")->targetMissing) << Named("OrvaneBeside")->target;
    EXPECT_EQ(0, lstrcmpiA(inWindows.c_str(), Named("OrvaneBare")->target));
    EXPECT_STREQ("-q", Named("OrvaneBare")->parameters);
    EXPECT_EQ(blanks, Named("OrvaneAppPath")->target);
    EXPECT_STREQ("-y", Named("OrvaneAppPath")->parameters);
    EXPECT_EQ(blanks, Named("OrvaneEnv")->target);
    EXPECT_STREQ("-e", Named("OrvaneEnv")->parameters);
}
