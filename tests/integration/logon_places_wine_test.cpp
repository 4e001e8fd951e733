// logon_places_wine_test.cpp - the rest of the logon on the real registry:
// each program of Winlogon's, rdpwd's and the legacy lists a row in its
// place, Windows' own items untouchable, a disable and enable that give the
// shared value back byte for byte, and its backup imported by regedit /s.
#include "../../store/store.h"
#include "../support/store_helpers.h"
#include "wine_places.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <string.h>

#include <fstream>
#include <string>
#include <vector>

namespace {

const char *kUserinit = "C:\\Windows\\system32\\userinit.exe, C:\\Tools\\a.exe";

std::string BackupsFolder()
{
    return ShellFolder(CSIDL_PERSONAL) + "\\" BACKUP_FOLDER;
}

// The backups of list changes, deleted when drop is set.
std::vector<std::string> ChangedBackups(bool drop = false)
{
    std::vector<std::string> files;
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((BackupsFolder() + "\\Changed *.reg").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return files;
    do
        files.push_back(BackupsFolder() + "\\" + found.cFileName);
    while (FindNextFileA(find, &found));
    FindClose(find);
    for (const std::string &file : files)
        if (drop)
            DeleteFileA(file.c_str());
    return files;
}

std::string Rows()
{
    std::string all;
    for (int i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        char place[2 * TEXT_FIELD_SIZE];
        ItemPlaceText(item, 0, place, sizeof place);
        all += std::string(ItemTypeText(item)) + " " + item->name + " @ " + place + "\n";
    }
    return all;
}

class WineLogonPlaces : public testing::Test {
protected:
    void SetUp() override
    {
        EmptyAllPlaces();
        ChangedBackups(true);
        Statuses.clear();
    }
    void TearDown() override
    {
        EmptyAllPlaces();
        ChangedBackups(true);
    }
};

} // namespace

TEST_F(WineLogonPlaces, EachProgramListedOnceAndAListItemRoundTrips)
{
    const REGSAM native = KEY_WOW64_64KEY;
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, WINLOGON_KEY, "Userinit", kUserinit, native));
    SetString(HKEY_LOCAL_MACHINE, WINLOGON_KEY, "Shell", "explorer.exe, C:\\Tools\\b.exe", native);
    SetString(HKEY_CURRENT_USER, WINLOGON_KEY, "Shell", "C:\\Tools\\mine.exe");
    const std::string components = ACTIVE_SETUP_KEY "\\";
    SetString(HKEY_LOCAL_MACHINE, (components + "{ran}").c_str(), STUB_PATH_VALUE,
              "C:\\Tools\\ran.exe", native);
    SetString(HKEY_LOCAL_MACHINE, (components + "{ran}").c_str(), "Version", "1,0", native);
    SetString(HKEY_CURRENT_USER, (components + "{ran}").c_str(), "Version", "1,0");
    SetString(HKEY_LOCAL_MACHINE, (components + "{new}").c_str(), "", "New Component", native);
    SetString(HKEY_LOCAL_MACHINE, (components + "{new}").c_str(), STUB_PATH_VALUE,
              "C:\\Tools\\new.exe", native);
    SetString(HKEY_CURRENT_USER, ENVIRONMENT_KEY, LOGON_SCRIPT_VALUE, "C:\\Tools\\logon.cmd");
    SetString(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY "\\RunOnceEx\\0001\\Depend", "1",
              "C:\\Tools\\dep.dll", native);
    SetString(HKEY_LOCAL_MACHINE, RDPWD_KEY, "StartupPrograms", "rdpclip, C:\\Tools\\c.exe");
    SetString(HKEY_CURRENT_USER, LEGACY_WINDOWS_KEY, "Load", "C:\\Tools\\load.exe");
    ScanCatalogue();
    const std::string winlogon = " @ HKLM\\" WINLOGON_KEY ", value ";
    EXPECT_EQ("ALL Userinit: C:\\Windows\\system32\\userinit.exe" WINDOWS_OWN_MARK + winlogon
                  + "\"Userinit\"\n"
              "ALL Userinit: C:\\Tools\\a.exe" + winlogon + "\"Userinit\"\n"
              "ALL Shell: explorer.exe" WINDOWS_OWN_MARK + winlogon + "\"Shell\"\n"
              "ALL Shell: C:\\Tools\\b.exe" + winlogon + "\"Shell\"\n"
              "USR Shell: C:\\Tools\\mine.exe @ HKCU\\" WINLOGON_KEY ", value \"Shell\"\n"
              "USR " LOGON_SCRIPT_VALUE " @ HKCU\\Environment, value \"" LOGON_SCRIPT_VALUE "\"\n"
              "ALL StartupPrograms: rdpclip" WINDOWS_OWN_MARK " @ HKLM\\" RDPWD_KEY
              ", value \"StartupPrograms\"\n"
              "ALL StartupPrograms: C:\\Tools\\c.exe @ HKLM\\" RDPWD_KEY
              ", value \"StartupPrograms\"\n"
              "USR Load: C:\\Tools\\load.exe @ HKCU\\" LEGACY_WINDOWS_KEY ", value \"Load\"\n"
              "ALL New Component @ HKLM\\" ACTIVE_SETUP_KEY "\\{new}, value \"StubPath\"\n"
              "ALL {ran} @ HKLM\\" ACTIVE_SETUP_KEY "\\{ran}, value \"StubPath\"\n"
              "ALL 1 @ HKLM\\" CURRENT_VERSION_KEY "\\RunOnceEx\\0001\\Depend, value \"1\"\n",
              Rows());

    // Windows' own item is neither disabled nor removed.
    Toggle({"Userinit: C:\\Windows\\system32\\userinit.exe" WINDOWS_OWN_MARK});
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_NE(std::string::npos, Statuses[0].find(NOTE_WINDOWS_OWN)) << Statuses[0];
    char backup[TEXT_FIELD_SIZE];
    ScanCatalogue();
    EXPECT_EQ(RemoveRefused, RemoveItemWithBackup(&ItemCatalogue.items[0], backup));
    EXPECT_EQ(Sz(kUserinit), ValueBytes(HKEY_LOCAL_MACHINE, WINLOGON_KEY, "Userinit", NULL, native));
    EXPECT_TRUE(ChangedBackups().empty()) << "nothing to back up before a refusal";

    Statuses.clear();
    Toggle({"Userinit: C:\\Tools\\a.exe"});
    EXPECT_TRUE(Statuses.empty()) << Statuses[0];
    EXPECT_EQ(Sz("C:\\Windows\\system32\\userinit.exe"),
              ValueBytes(HKEY_LOCAL_MACHINE, WINLOGON_KEY, "Userinit", NULL, native));
    EXPECT_EQ(Sz(", C:\\Tools\\a.exe"),
              ValueBytes(HKEY_LOCAL_MACHINE, WINLOGON_KEY "-", "Userinit", NULL, native));
    std::vector<std::string> saved = ChangedBackups();
    ASSERT_EQ(1u, saved.size());
    ScanCatalogue();
    int off = IndexOf("Userinit: C:\\Tools\\a.exe");
    ASSERT_GE(off, 0);
    EXPECT_EQ(0, ItemCatalogue.items[off].enabled);

    Toggle({"Userinit: C:\\Tools\\a.exe"});
    EXPECT_TRUE(Statuses.empty()) << Statuses[0];
    DWORD type = 0;
    EXPECT_EQ(Sz(kUserinit),
              ValueBytes(HKEY_LOCAL_MACHINE, WINLOGON_KEY, "Userinit", &type, native));
    EXPECT_EQ((DWORD)REG_SZ, type);
    EXPECT_EQ("<absent>", ValueBytes(HKEY_LOCAL_MACHINE, WINLOGON_KEY "-", "Userinit", NULL, native));

    // The backup made before the first change brings the value back.
    SetString(HKEY_LOCAL_MACHINE, WINLOGON_KEY, "Userinit", "C:\\Tools\\other.exe", native);
    SetString(HKEY_LOCAL_MACHINE, WINLOGON_KEY "-", "Userinit", ", C:\\Tools\\a.exe", native);
    EXPECT_EQ(0u, RunRegedit(saved[0]));
    EXPECT_EQ(Sz(kUserinit), ValueBytes(HKEY_LOCAL_MACHINE, WINLOGON_KEY, "Userinit", NULL, native));
    EXPECT_EQ("<absent>", ValueBytes(HKEY_LOCAL_MACHINE, WINLOGON_KEY "-", "Userinit", NULL, native))
        << "the program is not left in both";
}

// The places beside Winlogon's Userinit and Shell, from the real registry,
// and the local policy's scripts.ini from the system folder Windows gives.
TEST_F(WineLogonPlaces, PolicyShellWinlogonsOtherProgramsAndPolicyScriptsAreRead)
{
    const REGSAM native = KEY_WOW64_64KEY;
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, POLICY_SYSTEM_KEY, "Shell", "C:\\Tools\\kiosk.exe"));
    SetString(HKEY_LOCAL_MACHINE, WINLOGON_KEY, "AppSetup", "C:\\Tools\\setup.cmd", native);
    SetString(HKEY_LOCAL_MACHINE, WINLOGON_KEY, "VmApplet",
              "SystemPropertiesPerformance.exe /pagefile", native);
    SetString(HKEY_LOCAL_MACHINE, SAFE_BOOT_KEY, "AlternateShell", "cmd.exe");
    SetString(HKEY_CURRENT_USER, GROUP_POLICY_SCRIPTS_KEY "\\Logon\\0\\0", "Script",
              "C:\\Tools\\gp.cmd");
    SetString(HKEY_LOCAL_MACHINE, GROUP_POLICY_SCRIPTS_KEY "\\Startup\\0\\0", "Script",
              "C:\\Tools\\boot.cmd", native);
    const std::string scripts = ShellFolder(CSIDL_SYSTEM) + "\\" LOCAL_POLICY_USER_SCRIPTS;
    int made = SHCreateDirectoryExA(NULL, scripts.c_str(), NULL);
    ASSERT_TRUE(made == ERROR_SUCCESS || made == ERROR_ALREADY_EXISTS) << made;
    const char ini[] = "[Logon]\r\n0CmdLine=C:\\Tools\\ini.cmd\r\n";
    std::string bytes = "\xFF\xFE";
    for (const char *c = ini; *c; ++c)
        bytes += std::string(1, *c) + '\0';
    std::ofstream((scripts + "\\scripts.ini").c_str(), std::ios::binary) << bytes;
    ScanCatalogue();
    const std::string winlogon = " @ HKLM\\" WINLOGON_KEY ", value ";
    EXPECT_EQ("USR Shell: C:\\Tools\\kiosk.exe @ HKCU\\" POLICY_SYSTEM_KEY ", value \"Shell\"\n"
              "ALL AppSetup: C:\\Tools\\setup.cmd" + winlogon + "\"AppSetup\"\n"
              "ALL VmApplet: SystemPropertiesPerformance.exe /pagefile" WINDOWS_OWN_MARK + winlogon
                  + "\"VmApplet\"\n"
              "ALL AlternateShell: cmd.exe" WINDOWS_OWN_MARK " @ HKLM\\" SAFE_BOOT_KEY
              ", value \"AlternateShell\"\n"
              "USR Logon script: C:\\Tools\\gp.cmd @ HKCU\\" GROUP_POLICY_SCRIPTS_KEY
              "\\Logon\\0\\0, value \"Script\"\n"
              "USR Logon script: C:\\Tools\\ini.cmd @ " + scripts + "\\scripts.ini, [Logon] 0CmdLine\n"
              "ALL Startup script: C:\\Tools\\boot.cmd @ HKLM\\" GROUP_POLICY_SCRIPTS_KEY
              "\\Startup\\0\\0, value \"Script\"\n",
              Rows());
}
