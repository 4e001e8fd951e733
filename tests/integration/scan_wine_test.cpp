// scan_wine_test.cpp - the scan and the report on the real Win32 platform
// layer under Wine: real registry keys, shell folders, shortcuts and version
// resources.
//
// Every test empties all 24 places first (the Wine prefix is a scratch one
// made for the test run) and again at the end, and every entry it seeds
// points at orvane_probe.exe, which only exits, in case Wine starts it.
#include "../../catalogue/catalogue.h"
#include "../../report/html_log.h"
#include "../support/report_sample.h"
#include "wine_places.h"

#include <gtest/gtest.h>

#include <string.h>

#include <windows.h>
#include <shlobj.h>

#include <fstream>
#include <string>

namespace {

class WineScan : public testing::Test {
protected:
    void SetUp() override { EmptyAllPlaces(); }
    void TearDown() override { EmptyAllPlaces(); }
};

} // namespace

TEST_F(WineScan, RecordsAndFieldsInTableOrder)
{
    std::string probe = ProbePath();
    std::string blanks = ProbeWithBlanks();
    ASSERT_FALSE(ShortPath(blanks).empty());
    std::string link = ShellFolder(CSIDL_COMMON_STARTUP) + "\\Orvane Probe.lnk";
    ASSERT_TRUE(MakeShortcut(link, ShortPath(blanks), "-min", "The link's comment"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY "\\RunOnce-", "OrvaneLater", probe));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "OrvaneProbe", "\"" + probe + "\" -a"));

    ScanCatalogue();
    ASSERT_EQ(3, ItemCatalogue.count);
    EXPECT_EQ(3, ItemCatalogue.capacity);

    const AutostartItem &user = ItemCatalogue.items[0];
    EXPECT_EQ(RegistryValue, user.kind);
    EXPECT_STREQ("OrvaneProbe", user.name);
    EXPECT_STREQ("USR", user.scope);
    EXPECT_EQ("\"" + probe + "\" -a", user.command);
    EXPECT_STREQ(RUN_KEY, user.location);
    EXPECT_EQ(probe, user.target);
    EXPECT_STREQ("-a", user.parameters);
    EXPECT_EQ(probe.substr(0, probe.rfind('\\')), user.targetFolder);
    EXPECT_STREQ("Orvane test probe", user.description);
    EXPECT_STREQ("Orvane Test Works", user.company);
    EXPECT_EQ(1, user.enabled);

    const AutostartItem &later = ItemCatalogue.items[1];
    EXPECT_STREQ("OrvaneLater", later.name);
    EXPECT_STREQ("ALL", later.scope);
    EXPECT_STREQ(CURRENT_VERSION_KEY "\\RunOnce-", later.location);
    EXPECT_EQ(probe, later.target);
    EXPECT_STREQ("", later.parameters);
    EXPECT_EQ(0, later.enabled);

    // A link stored with the 8.3 form of its target shows the long form,
    // quoted for its blanks, one blank, then the arguments.
    const AutostartItem &shortcut = ItemCatalogue.items[2];
    EXPECT_EQ(Shortcut, shortcut.kind);
    EXPECT_STREQ("Orvane Probe.lnk", shortcut.name);
    EXPECT_STREQ("ALL", shortcut.scope);
    EXPECT_EQ(link, shortcut.location);
    EXPECT_EQ(blanks, shortcut.target);
    EXPECT_STREQ("-min", shortcut.parameters);
    EXPECT_EQ("\"" + blanks + "\" -min", shortcut.command);
    EXPECT_EQ(blanks.substr(0, blanks.rfind('\\')), shortcut.targetFolder);
    EXPECT_STREQ("Orvane test probe", shortcut.description);
    EXPECT_STREQ("Orvane Test Works", shortcut.company);
    EXPECT_EQ(1, shortcut.enabled);
}

TEST_F(WineScan, FoldersOfDisabledItemsExistAfterAScan)
{
    std::string user = ShellFolder(CSIDL_PERSONAL) + "\\" DISABLED_USER_FOLDER;
    std::string all = ShellFolder(CSIDL_COMMON_DOCUMENTS) + "\\" DISABLED_ALL_FOLDER;
    RemoveDirectoryA(user.c_str());
    RemoveDirectoryA(all.c_str());
    ScanCatalogue();
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(user.c_str())) << user;
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(all.c_str())) << all;
    EXPECT_EQ(0, ItemCatalogue.count);
}

TEST_F(WineScan, DisabledShortcutsAndPlainValues)
{
    std::string folder = ShellFolder(CSIDL_PERSONAL) + "\\" DISABLED_USER_FOLDER;
    CreateDirectoryA(folder.c_str(), NULL);
    ASSERT_TRUE(MakeShortcut(folder + "\\Off.lnk", ProbePath(), "", "off"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, CURRENT_VERSION_KEY "\\RunServices", "Plain",
                          "C:\\nowhere\\x.exe /q"));
    ScanCatalogue();
    ASSERT_EQ(2, ItemCatalogue.count);
    EXPECT_STREQ("Plain", ItemCatalogue.items[0].name);
    EXPECT_STREQ("C:\\nowhere\\x.exe", ItemCatalogue.items[0].target);
    EXPECT_STREQ("/q", ItemCatalogue.items[0].parameters);
    EXPECT_STREQ("n/a", ItemCatalogue.items[0].description);
    EXPECT_EQ(folder + "\\Off.lnk", ItemCatalogue.items[1].location);
    EXPECT_EQ(0, ItemCatalogue.items[1].enabled);
    EXPECT_STREQ("USR", ItemCatalogue.items[1].scope);
}

TEST(WineReport, MatchesTheGoldenFile)
{
    AutostartItem sample[REPORT_SAMPLE_COUNT + 1] = {};
    FillReportSample(sample);
    CatalogueData saved = ItemCatalogue;
    ItemCatalogue.items = sample;
    ItemCatalogue.count = REPORT_SAMPLE_COUNT;

    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string path = std::string(temp) + "orvane report.html";
    std::ofstream(path, std::ios::binary) << std::string(20000, 'x');
    WriteHtmlLog(path.c_str());
    ItemCatalogue = saved;

    std::string golden = ReadWholeFile(ORVANE_TEST_DATA "/report_golden.html");
    ASSERT_FALSE(golden.empty());
    // The report declares the code page it is written in: UTF-8 here.
    size_t charset = golden.find("charset=windows-1252");
    ASSERT_NE(std::string::npos, charset);
    golden.replace(charset, strlen("charset=windows-1252"), "charset=utf-8");
    // This computer's name, and the local time the report was written at.
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD length = sizeof computer;
    ASSERT_TRUE(GetComputerNameA(computer, &length));
    size_t at = golden.find("Computer: TESTPC<br>");
    ASSERT_NE(std::string::npos, at);
    golden.replace(at + 10, 6, computer);
    std::string written = ReadWholeFile(path);
    SYSTEMTIME now;
    GetLocalTime(&now);
    const std::string date = "<p>Date: ";
    size_t when = written.find(date);
    ASSERT_NE(std::string::npos, when);
    EXPECT_EQ(std::to_string(now.wYear), written.substr(when + date.size(), 4));
    golden.replace(golden.find(date) + date.size(), 19, written.substr(when + date.size(), 19));
    EXPECT_EQ(golden, written);
    DeleteFileA(path.c_str());
}
