// app_wine_test.cpp - the real orvane.exe under Wine: single instance, exit
// codes, and the resources it carries.
#include "../../resources/resource.h"
#include "../integration/wine_places.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

std::string ExePath()
{
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, self, sizeof self);
    std::string path(self, length);
    return path.substr(0, path.rfind('\\') + 1) + "orvane.exe";
}

PROCESS_INFORMATION Start()
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string command = "\"" + ExePath() + "\"";
    EXPECT_TRUE(CreateProcessA(NULL, &command[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                               &process))
        << GetLastError();
    return process;
}

HWND WaitForMainWindow()
{
    for (int i = 0; i < 200; ++i) {
        HWND window = FindWindowA("OrvaneWndClass", NULL);
        if (window && IsWindowVisible(window))
            return window;
        Sleep(50);
    }
    return NULL;
}

DWORD WaitForExit(const PROCESS_INFORMATION &process)
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, 15000) == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

class App : public testing::Test {
protected:
    // The program scans the real places when it starts: start it on empty ones.
    void SetUp() override
    {
        EmptyAllPlaces();
        ASSERT_EQ(NULL, FindWindowA("OrvaneWndClass", NULL)) << "an instance is left over";
    }
    void TearDown() override { EmptyAllPlaces(); }
};

} // namespace

TEST_F(App, SecondStartExitsWithThreeAndBringsTheFirstForward)
{
    PROCESS_INFORMATION first = Start();
    HWND window = WaitForMainWindow();
    ASSERT_NE((HWND)NULL, window);
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    EXPECT_STREQ("Orvane Tool", title);

    // Put another window in front, then start again.
    HWND other = CreateWindowExA(0, "STATIC", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, NULL,
                                 NULL, NULL, NULL);
    SetForegroundWindow(other);
    PROCESS_INFORMATION second = Start();
    EXPECT_EQ(3u, WaitForExit(second));
    // Wine hands the foreground over through X events: give them a moment.
    for (int i = 0; i < 100 && GetForegroundWindow() != window; ++i) {
        MSG message;
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        Sleep(50);
    }
    EXPECT_EQ(window, GetForegroundWindow());
    DestroyWindow(other);

    PostMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(0u, WaitForExit(first));
}

TEST_F(App, MainWindowHasA600By450ClientAreaAndASizeBorder)
{
    PROCESS_INFORMATION process = Start();
    HWND window = WaitForMainWindow();
    ASSERT_NE((HWND)NULL, window);
    RECT client;
    GetClientRect(window, &client);
    EXPECT_EQ(600, client.right - client.left);
    EXPECT_GE(client.bottom - client.top, 450);
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    const LONG sizable = WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
    EXPECT_EQ(sizable, style & sizable);
    EXPECT_TRUE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(0u, WaitForExit(process));
}

TEST_F(App, ExitCodeIsZeroWhateverTheQuitMessageCarries)
{
    PROCESS_INFORMATION process = Start();
    HWND window = WaitForMainWindow();
    ASSERT_NE((HWND)NULL, window);
    DWORD thread = GetWindowThreadProcessId(window, NULL);
    ASSERT_TRUE(PostThreadMessageA(thread, WM_QUIT, 7, 0));
    EXPECT_EQ(0u, WaitForExit(process));
}

// ---- resources ----------------------------------------------------------

namespace {

class Resources : public testing::Test {
protected:
    HMODULE module = NULL;
    void SetUp() override
    {
        module = LoadLibraryExA(ExePath().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE((HMODULE)NULL, module);
    }
    void TearDown() override { FreeLibrary(module); }

    const BYTE *Find(LPCSTR type, int id, DWORD *size)
    {
        HRSRC found = FindResourceExA(module, type, MAKEINTRESOURCEA(id),
                                      MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        if (!found)
            return NULL;
        *size = SizeofResource(module, found);
        return (const BYTE *)LockResource(LoadResource(module, found));
    }
};

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

} // namespace

// Each picture at 100, 150 and 200 %, in 256 colours with RLE8 compression,
// and loadable as the window loads it.
TEST_F(Resources, BitmapsHaveTheirSizesAtEachScaleInRle8)
{
    const struct {
        int id, width, height;
    } bitmaps[] = {{IDB_HEADER, 600, 80},       {IDB_FOOTER, 600, 25},
                   {IDB_FACE_NORMAL, 100, 30},  {IDB_FACE_PRESSED, 100, 30},
                   {IDB_FACE_HOT, 100, 30},     {IDB_EDITOR_EDIT, 380, 70},
                   {IDB_EDITOR_ADD, 380, 70}};
    const struct {
        int offset, percent;
    } scales[] = {{0, 100}, {ART_150, 150}, {ART_200, 200}};
    for (const auto &b : bitmaps) {
        for (const auto &scale : scales) {
            int id = b.id + scale.offset;
            DWORD size = 0;
            const BYTE *bytes = Find(MAKEINTRESOURCEA(2) /* RT_BITMAP */, id, &size);
            ASSERT_NE(nullptr, bytes) << "bitmap " << id;
            const BITMAPINFOHEADER *header = (const BITMAPINFOHEADER *)bytes;
            EXPECT_EQ((b.width * scale.percent + 50) / 100, header->biWidth) << "bitmap " << id;
            EXPECT_EQ((b.height * scale.percent + 50) / 100, header->biHeight) << "bitmap " << id;
            EXPECT_EQ(8, header->biBitCount) << "bitmap " << id;
            EXPECT_EQ((DWORD)BI_RLE8, header->biCompression) << "bitmap " << id;
            HBITMAP loaded = LoadBitmapA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(id));
            BITMAP info = {};
            EXPECT_TRUE(loaded && GetObjectA(loaded, sizeof info, &info)) << "bitmap " << id;
            EXPECT_EQ(header->biWidth, info.bmWidth) << "bitmap " << id;
            if (loaded)
                DeleteObject(loaded);
        }
    }
}

TEST_F(Resources, IconGroupsHoldTheirSizesAndDepths)
{
    typedef std::vector<std::pair<int, int>> Images; // (size, bits)
    const Images glyph = {{20, 8}, {20, 32}, {30, 32}, {40, 32}};
    const struct {
        int id;
        Images images;
    } groups[] = {
        {IDI_APP, {{16, 8}, {20, 8}, {32, 8}, {48, 8}, {20, 32}, {32, 32}, {48, 32}}},
        {IDI_HELP, glyph},  {IDI_ADD, glyph},     {IDI_EXIT, glyph},
        {IDI_APPLY, glyph}, {IDI_REFRESH, glyph}, {IDI_EDIT, glyph},
        {IDI_BROWSE, glyph}, {IDI_SAVE, glyph},
    };
    for (const auto &g : groups) {
        DWORD size = 0;
        const BYTE *bytes = Find(MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */, g.id, &size);
        ASSERT_NE(nullptr, bytes) << "icon group " << g.id;
        WORD count = ((const WORD *)bytes)[2];
        const GroupIconEntry *entries = (const GroupIconEntry *)(bytes + 6);
        Images got;
        for (WORD i = 0; i < count; ++i)
            got.push_back({entries[i].width ? entries[i].width : 256, entries[i].bitCount});
        EXPECT_EQ(g.images, got) << "icon group " << g.id;
    }
}

static std::vector<std::pair<UINT, std::string>> MenuItems(HMENU popup)
{
    std::vector<std::pair<UINT, std::string>> items;
    for (int i = 0; i < GetMenuItemCount(popup); ++i) {
        char text[64] = "";
        GetMenuStringA(popup, i, text, sizeof text, MF_BYPOSITION);
        UINT id = GetMenuItemID(popup, i);
        items.push_back({id == (UINT)-1 ? 0 : id, text});
    }
    return items;
}

TEST_F(Resources, MenusHaveTheirTextsAndIds)
{
    HMENU help = LoadMenuA(module, MAKEINTRESOURCEA(IDR_HELP_MENU));
    ASSERT_NE((HMENU)NULL, help);
    char caption[32] = "";
    GetMenuStringA(help, 0, caption, sizeof caption, MF_BYPOSITION);
    EXPECT_STREQ("Help", caption);
    std::vector<std::pair<UINT, std::string>> expectedHelp = {
        {118, "&Help\tF1"}, {0, ""}, {136, "H&ide Windows' own entries"},
        {137, "Show &other places that start programs"},
        {149, "His&tory...\tCtrl+H"}, {0, ""},
        {119, "Product &Website"}, {120, "&Support Us"}, {0, ""}, {121, "&About"}};
    EXPECT_EQ(expectedHelp, MenuItems(GetSubMenu(help, 0)));
    EXPECT_EQ((UINT)MF_CHECKED,
              GetMenuState(GetSubMenu(help, 0), IDM_HIDE_WINDOWS, MF_BYCOMMAND) & MF_CHECKED)
        << "hiding is on by default";
    EXPECT_EQ(0u, GetMenuState(GetSubMenu(help, 0), IDM_OTHER_PLACES, MF_BYCOMMAND) & MF_CHECKED)
        << "the other places are off by default";
    DestroyMenu(help);

    HMENU item = LoadMenuA(module, MAKEINTRESOURCEA(IDR_ITEM_MENU));
    ASSERT_NE((HMENU)NULL, item);
    std::vector<std::pair<UINT, std::string>> expectedItem = {
        {123, "&Run"},     {124, "&Find Target"}, {0, ""},
        {125, "&Edit"},    {126, "&Disable"},     {0, "S&tart later"}, {127, "Re&move"},
        {135, "&Properties"}, {0, ""},
        {146, "A&ccept"},  {147, "Accept a&ll"},  {148, "Show what is &gone"},
        {149, "&History...\tCtrl+H"}, {0, ""}, {0, "&Sort by"}};
    EXPECT_EQ(expectedItem, MenuItems(GetSubMenu(item, 0)));
    std::vector<std::pair<UINT, std::string>> expectedSort = {
        {140, "&Application"}, {141, "&Type"}, {142, "&State"}, {143, "&Path"},
        {144, "&Change (marked first)"}, {153, "C&ost (highest first)"}, {145, "Order &found"}};
    EXPECT_EQ(expectedSort, MenuItems(GetSubMenu(GetSubMenu(item, 0), 14)));
    std::vector<std::pair<UINT, std::string>> expectedLater = {
        {160, "&30 seconds"}, {161, "&1 minute"}, {162, "&2 minutes"}, {163, "&5 minutes"},
        {164, "1&0 minutes"}, {0, ""}, {165, "Start at &logon"}};
    EXPECT_EQ(expectedLater, MenuItems(GetSubMenu(GetSubMenu(item, 0), 5)));
    DestroyMenu(item);
}

TEST_F(Resources, VersionRecordIs1200WithDescriptionAndCompany)
{
    std::string path = ExePath();
    DWORD unused = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &unused);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
    VS_FIXEDFILEINFO *fixed = NULL;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", (void **)&fixed, &length));
    EXPECT_EQ(0x00010002u, fixed->dwFileVersionMS);
    EXPECT_EQ(0u, fixed->dwFileVersionLS);
    EXPECT_EQ(0x00010002u, fixed->dwProductVersionMS);
    EXPECT_EQ((DWORD)VFT_APP, fixed->dwFileType);
    char *text = NULL;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\FileDescription",
                               (void **)&text, &length));
    EXPECT_NE(0u, strlen(text));
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\StringFileInfo\\040904b0\\CompanyName",
                               (void **)&text, &length));
    EXPECT_NE(0u, strlen(text));
}

TEST_F(Resources, HelpResourceIsTheCompiledHelpFile)
{
    DWORD size = 0;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(IDR_HELP_FILE), "HTML_HELP");
    ASSERT_NE((HRSRC)NULL, found);
    size = SizeofResource(module, found);
    const char *bytes = (const char *)LockResource(LoadResource(module, found));
    ASSERT_NE(nullptr, bytes);
    std::string chm = ReadWholeFile(ORVANE_HELP_CHM);
    ASSERT_FALSE(chm.empty());
    EXPECT_EQ(chm, std::string(bytes, size));
    EXPECT_EQ(0, memcmp(bytes, "ITSF", 4)) << "a compiled HTML help file";
}

namespace {

HWND WaitForWindow(const char *className, const char *title)
{
    for (int i = 0; i < 200; ++i) {
        HWND window = FindWindowA(className, title);
        if (window && IsWindowVisible(window))
            return window;
        Sleep(50);
    }
    return NULL;
}

} // namespace

// Help from the help menu of the running program: the file is extracted,
// shown, and gone after a normal exit even with its window still open.
TEST_F(App, HelpFileIsGoneAfterExitWithItsWindowOpen)
{
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    std::string pattern = std::string(folder) + "Orvane Help *.chm";

    PROCESS_INFORMATION process = Start();
    HWND window = WaitForMainWindow();
    ASSERT_NE((HWND)NULL, window);
    PostMessageA(window, WM_COMMAND, IDM_HELP_BUTTON, 0);
    HWND menu = WaitForWindow("#32768", NULL);
    ASSERT_NE((HWND)NULL, menu);
    PostMessageA(menu, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
    HWND help = WaitForWindow(NULL, "Orvane Tool Help");
    EXPECT_NE((HWND)NULL, help) << "the help window opens";
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(pattern.c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, find) << "extracted under a random name";
    FindClose(find);
    std::string helpFile = std::string(folder) + found.cFileName;

    PostMessageA(window, WM_COMMAND, IDM_EXIT, 0);
    EXPECT_EQ(0u, WaitForExit(process));
    EXPECT_FALSE(FileExists(helpFile));
}
