// help_wine_test.cpp - extracting the embedded help and binding the HTML
// Help control, in-process under Wine (this test program carries the same
// resources as orvane.exe).
#include "../../ui/help.h"
#include "../../ui/ui.h"
#include "../integration/wine_places.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

namespace {

#define SERVER_KEY "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32"

// A file of someone else's in the temporary folder, under the old fixed name.
std::string PlantedPath()
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    return std::string(folder) + "Orv29A.chm";
}

std::string ResourceBytes()
{
    HRSRC found = FindResourceA(NULL, MAKEINTRESOURCEA(IDR_HELP_FILE), "HTML_HELP");
    if (!found)
        return std::string();
    const char *bytes = (const char *)LockResource(LoadResource(NULL, found));
    return std::string(bytes, SizeofResource(NULL, found));
}

std::string RegisteredServer()
{
    char path[MAX_PATH] = "";
    LONG size = sizeof path;
    RegQueryValueA(HKEY_CLASSES_ROOT, SERVER_KEY, path, &size);
    return path;
}

void SetRegisteredServer(const std::string &path)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, SERVER_KEY, 0, NULL, 0,
                                             KEY_WRITE, NULL, &key, NULL));
    RegSetValueExA(key, NULL, 0, REG_SZ, (const BYTE *)path.c_str(), (DWORD)path.size() + 1);
    RegCloseKey(key);
}

void ForgetBinding()
{
    HtmlHelpModule = NULL;
    HtmlHelpEntry = NULL;
    HtmlHelpUnavailable = 0;
}

const UINT kCloseAll = 0x12; // HH_CLOSE_ALL: binds without showing a window

class Help : public testing::Test {
protected:
    std::string server;
    void SetUp() override
    {
        AppInstance = GetModuleHandleA(NULL);
        server = RegisteredServer();
        HelpFileName[0] = '\0';
        DeleteFileA(PlantedPath().c_str());
    }
    void TearDown() override
    {
        SetRegisteredServer(server);
        DeleteHelpFile();
        HelpFileName[0] = '\0';
        DeleteFileA(PlantedPath().c_str());
        ForgetBinding();
    }
};

} // namespace

// The file is new, under a random name, exactly the resource, held against
// writing and deletion while the program runs, reused, and gone at exit.
TEST_F(Help, ExtractsExactlyTheResourceIntoAHeldNewFile)
{
    std::string bytes = ResourceBytes();
    ASSERT_GT(bytes.size(), 1000u);
    HtmlHelpUnavailable = 1; // extract only; nothing is shown
    EXPECT_EQ(0, ShowHelp(NULL, ADD_EDIT_HELP_TOPIC));
    std::string path = HelpFileName;
    EXPECT_NE(std::string::npos, path.find("\\Orvane Help ")) << path;
    EXPECT_EQ(bytes, ReadWholeFile(path));
    HANDLE writer = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer) << "held against writing";
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);
    EXPECT_FALSE(DeleteFileA(path.c_str())) << "held against deletion";

    EXPECT_EQ(0, ShowHelp(NULL, NULL));
    EXPECT_EQ(path, std::string(HelpFileName)) << "one file per run";
    DeleteHelpFile();
    EXPECT_FALSE(FileExists(path));
}

TEST_F(Help, NothingIsDeletedWhenHelpWasNeverShown)
{
    std::ofstream(PlantedPath(), std::ios::binary) << "someone else's";
    DeleteHelpFile();
    EXPECT_TRUE(FileExists(PlantedPath()));
}

TEST_F(Help, BindsOnceThroughTheRegisteredControl)
{
    ForgetBinding();
    CallHtmlHelp(NULL, NULL, kCloseAll, 0);
    ASSERT_NE((HMODULE)NULL, HtmlHelpModule);
    ASSERT_NE((HtmlHelpFunction)NULL, HtmlHelpEntry);
    EXPECT_EQ(0, HtmlHelpUnavailable);
    HMODULE bound = HtmlHelpModule;

    // Later requests use the bound control whatever the registry says now.
    SetRegisteredServer(ProbePath());
    CallHtmlHelp(NULL, NULL, kCloseAll, 0);
    EXPECT_EQ(bound, HtmlHelpModule);
    EXPECT_EQ(0, HtmlHelpUnavailable);
}

TEST_F(Help, AFailedBindingIsNeverRetried)
{
    ForgetBinding();
    // A module without the HtmlHelpA export: loads, but has no ordinal 14.
    SetRegisteredServer(ProbePath());
    EXPECT_EQ((HWND)NULL, CallHtmlHelp(NULL, NULL, kCloseAll, 0));
    EXPECT_EQ(1, HtmlHelpUnavailable);
    EXPECT_EQ((HtmlHelpFunction)NULL, HtmlHelpEntry);

    SetRegisteredServer(server);
    HMODULE module = HtmlHelpModule;
    EXPECT_EQ((HWND)NULL, CallHtmlHelp(NULL, NULL, kCloseAll, 0));
    EXPECT_EQ(module, HtmlHelpModule) << "no second load";
    EXPECT_EQ((HtmlHelpFunction)NULL, HtmlHelpEntry);
}

static int HelpShown = 0;
static HWND WINAPI RecordHelp(HWND, LPCSTR, UINT, DWORD_PTR)
{
    ++HelpShown;
    return NULL;
}

// What a failed extraction leaves is never shown; a temporary folder too
// long for the buffer gives no name at all rather than an unterminated one.
TEST_F(Help, OnlyAFileJustWrittenWholeIsShown)
{
    HtmlHelpModule = GetModuleHandleA(NULL);
    HtmlHelpEntry = RecordHelp;
    HelpShown = 0;
    ASSERT_EQ(0, ShowHelp(NULL, NULL));
    EXPECT_EQ(1, HelpShown);

    HtmlHelpEntry = NULL; // its close-all call at exit is not a showing
    DeleteHelpFile();
    HtmlHelpEntry = RecordHelp;

    char saved[MAX_PATH] = "";
    GetEnvironmentVariableA("TMP", saved, sizeof saved);
    std::string deep = "C:\\" + std::string(280, 't');
    SetEnvironmentVariableA("TMP", deep.c_str());
    EXPECT_EQ(0, ShowHelp(NULL, NULL));
    SetEnvironmentVariableA("TMP", saved[0] ? saved : NULL);
    EXPECT_EQ(1, HelpShown);
    EXPECT_STREQ("", HelpFileName);
}
