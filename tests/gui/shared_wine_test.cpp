// shared_wine_test.cpp - the small shared window operations under Wine:
// ShowLastError's two kinds of text, CenterWindow, StretchBitmap.
#include "../../ui/ui.h"
#include "gui_support.h"

#include <gtest/gtest.h>

#include <process.h>
#include <string>

namespace {

struct BoxSeen {
    std::string caption;
    std::string text;
    HICON icon = NULL;
};

BOOL CALLBACK FindIcon(HWND child, LPARAM argument)
{
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
        ((BoxSeen *)argument)->icon = (HICON)SendMessageA(child, STM_GETICON, 0, 0);
    return TRUE;
}

// Waits for the message box of this process, reads it and presses OK.
unsigned __stdcall CloseBox(void *argument)
{
    BoxSeen *seen = (BoxSeen *)argument;
    for (int i = 0; i < 200; ++i) {
        HWND box = FindWindowA("#32770", NULL);
        if (box) {
            char text[512] = "";
            GetWindowTextA(box, text, sizeof text);
            seen->caption = text;
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            seen->text = text;
            EnumChildWindows(box, FindIcon, (LPARAM)seen);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(25);
    }
    return 1;
}

BoxSeen ShowErrorFor(DWORD code)
{
    BoxSeen seen;
    HANDLE watcher = (HANDLE)_beginthreadex(NULL, 0, CloseBox, &seen, 0, NULL);
    SetLastError(code);
    ShowLastError(NULL);
    WaitForSingleObject(watcher, 10000);
    CloseHandle(watcher);
    return seen;
}

} // namespace

TEST(Shared, ShowLastErrorShowsTheSystemText)
{
    BoxSeen seen = ShowErrorFor(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ("Error", seen.caption);
    EXPECT_NE(std::string::npos, seen.text.find("not found")) << seen.text;
    EXPECT_EQ(LoadIconA(NULL, IDI_INFORMATION), seen.icon) << "information, not error";
}

TEST(Shared, ShowLastErrorWithoutSystemTextStillSaysWhat)
{
    BoxSeen seen = ShowErrorFor(0x2000DEAD);
    EXPECT_EQ("Error", seen.caption);
    EXPECT_EQ("Unknown error 536927917 (0x2000DEAD).", seen.text);
}

TEST(Shared, CenterWindowSitsFivePixelsBelowTheCentre)
{
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 301, 201, NULL, NULL, NULL,
                                  NULL);
    EXPECT_EQ(1, CenterWindow(window));
    RECT rect;
    GetWindowRect(window, &rect);
    EXPECT_EQ((GetSystemMetrics(SM_CXFULLSCREEN) - 301) / 2, rect.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYFULLSCREEN) - 201) / 2 + 5, rect.top);
    EXPECT_EQ(301, rect.right - rect.left);

    // Larger than the screen: a negative position, truncated toward zero.
    int wide = GetSystemMetrics(SM_CXFULLSCREEN) + 101;
    MoveWindow(window, 0, 0, wide, 100, FALSE);
    CenterWindow(window);
    GetWindowRect(window, &rect);
    EXPECT_EQ(-50, rect.left);
    DestroyWindow(window);
}

TEST(Shared, StretchBitmapDrawsTheWholeBitmapIntoTheRectangle)
{
    // A 2 x 1 bitmap, red then blue, stretched to 20 x 10.
    HDC screen = GetDC(NULL);
    HBITMAP source = CreateCompatibleBitmap(screen, 2, 1);
    HDC sourceDc = CreateCompatibleDC(screen);
    HGDIOBJ old = SelectObject(sourceDc, source);
    SetPixel(sourceDc, 0, 0, RGB(255, 0, 0));
    SetPixel(sourceDc, 1, 0, RGB(0, 0, 255));
    SelectObject(sourceDc, old);
    DeleteDC(sourceDc);

    HBITMAP target = CreateCompatibleBitmap(screen, 40, 20);
    HDC dc = CreateCompatibleDC(screen);
    HGDIOBJ previous = SelectObject(dc, target);
    PatBlt(dc, 0, 0, 40, 20, WHITENESS);
    StretchBitmap(dc, source, 5, 5, 20, 10, SRCCOPY);
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(dc, 6, 6));
    EXPECT_EQ(RGB(0, 0, 255), GetPixel(dc, 23, 14));
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 26, 6)) << "nothing drawn past the rectangle";
    EXPECT_EQ(RGB(255, 255, 255), GetPixel(dc, 4, 4));
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(target);
    DeleteObject(source);
    ReleaseDC(NULL, screen);
}

TEST(Entry, MainClassThatCannotBeRegisteredEndsWithOneAfterTwoBoxes)
{
    // The class exists already in this process, so registering it fails;
    // no window of it exists, so the single-instance rule does not apply.
    AppInstance = GetModuleHandleA(NULL);
    RegisterMainClass();
    ASSERT_EQ((HWND)NULL, FindWindowA(MAIN_CLASS_NAME, NULL));
    Seen seen[2];
    HANDLE watcher = WatchBoxes(2, IDOK, seen);
    EXPECT_EQ(1, RunOrvane(GetModuleHandleA(NULL)));
    Finish(watcher);
    ASSERT_TRUE(seen[0].found);
    ASSERT_TRUE(seen[1].found);
    EXPECT_EQ("Error", seen[0].caption);
    EXPECT_EQ(LoadIconA(NULL, IDI_INFORMATION), seen[0].icon) << "the system's text first";
    EXPECT_EQ("Error", seen[1].caption);
    EXPECT_EQ("Cannot register the Main Window Class.", seen[1].text);
    EXPECT_EQ(LoadIconA(NULL, IDI_ERROR), seen[1].icon);
    EXPECT_EQ((HWND)NULL, FindWindowA(MAIN_CLASS_NAME, NULL));
}
