// dpi_wine_test.cpp - both windows at the prefix's DPI. tests/gui/dpi.sh
// runs this suite at 96, 144 and 192 DPI (ORVANE_TEST_DPI), each in a
// server started with that LogPixels, and hands the later runs the rows the
// list showed at 96 (ORVANE_ROWS_AT_96). A DPI change of a monitor is sent
// as Windows sends it (Wine has one DPI for every monitor).
#include "gui_support.h"

#include "../../store/store.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <iostream>
#include <string>

namespace {

int EnvNumber(const char *name)
{
    char text[32] = "";
    return GetEnvironmentVariableA(name, text, sizeof text) ? atoi(text) : 0;
}

// Every label and button of window shows its whole text, in a font of the
// DPI: measured in its own font against its client area, less the icon or
// check box beside it.
void ExpectTextsFit(HWND window, int dpi, const char *where)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[32] = "";
        GetClassNameA(child, className, sizeof className);
        LONG style = GetWindowLongA(child, GWL_STYLE);
        bool button = !lstrcmpiA(className, "BUTTON");
        if ((!button && lstrcmpiA(className, "STATIC")) || (button && (style & BS_ICON)))
            continue;
        wchar_t text[128] = L"", shown[128];
        int length = GetWindowTextW(child, text, 128), kept = 0;
        for (int i = 0; i < length; ++i)
            if (text[i] != L'&' || text[i + 1] == L'&')
                shown[kept++] = text[i];
        if (!kept)
            continue;
        int beside = 0;
        SkinButtonData *skin = button ? (SkinButtonData *)GetWindowLongPtrA(child, GWLP_USERDATA)
                                      : NULL;
        if (skin && skin->icon)
            beside = MulDiv(20, dpi, 96);
        else if ((style & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
            beside = MulDiv(16, dpi, 96);
        HDC dc = GetDC(child);
        HGDIOBJ previous = SelectObject(dc, (HFONT)SendMessageA(child, WM_GETFONT, 0, 0));
        SIZE size = {0, 0};
        GetTextExtentPoint32W(dc, shown, kept, &size);
        SelectObject(dc, previous);
        ReleaseDC(child, dc);
        RECT client;
        GetClientRect(child, &client);
        std::wstring name(shown, kept);
        EXPECT_LE(size.cx + beside, client.right)
            << where << " at " << dpi << ": \"" << std::string(name.begin(), name.end()) << "\"";
        EXPECT_LE(size.cy, client.bottom)
            << where << " at " << dpi << ": \"" << std::string(name.begin(), name.end()) << "\"";
        // Drawn at the DPI, not in a 96-DPI font that would fit anywhere.
        EXPECT_GE(MulDiv(size.cy, 96, dpi), 12) << where << " at " << dpi;
    }
}

// The Add button's icon is loaded at the size it is drawn at dpi, and the
// header band fills its height at dpi.
void ExpectDrawnAt(int dpi)
{
    SkinButtonData *add =
        (SkinButtonData *)GetWindowLongPtrA(GetDlgItem(MainWindow, IDM_ADD), GWLP_USERDATA);
    ASSERT_NE(nullptr, add);
    ICONINFO icon = {};
    ASSERT_TRUE(GetIconInfo(add->icon, &icon));
    BITMAP bitmap = {};
    GetObjectA(icon.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(MulDiv(20, dpi, 96), bitmap.bmWidth) << "icon at " << dpi;
    DeleteObject(icon.hbmColor);
    DeleteObject(icon.hbmMask);
    RedrawWindow(MainWindow, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
    // Under the subtitle, just above the band's lower edge (on the screen,
    // which a 192-DPI window overhangs).
    HDC dc = GetDC(MainWindow);
    COLORREF band = GetPixel(dc, MulDiv(200, dpi, 96), MulDiv(76, dpi, 96));
    ReleaseDC(MainWindow, dc);
    EXPECT_LT(GetGValue(band), 160) << "header band at " << dpi << ": " << std::hex << band;
}

int Column(int column)
{
    return (int)SendMessageA(ItemListWindow, LVM_GETCOLUMNWIDTH, column, 0);
}

} // namespace

TEST(Dpi, NothingIsCutAndTheListShowsNoFewerRows)
{
    int dpi = EnvNumber("ORVANE_TEST_DPI");
    ASSERT_NE(0, dpi) << "run by tests/gui/dpi.sh";
    EnsureMainWindow();
    ASSERT_NE((HWND)NULL, MainWindow);
    // The prefix's DPI reached the window: the manifest made it DPI-aware.
    ASSERT_EQ(dpi, WindowDpi(MainWindow));
    // Today's 600 pixels wide at 96 DPI, or the size the 96 run left, scaled
    // (the frame does not scale exactly).
    RECT client;
    GetClientRect(MainWindow, &client);
    EXPECT_NEAR(MulDiv(600, dpi, 96), client.right, 3);
    ExpectTextsFit(MainWindow, dpi, "main window");
    ExpectDrawnAt(dpi);

    int rows = (int)SendMessageA(ItemListWindow, LVM_GETCOUNTPERPAGE, 0, 0);
    std::cout << "ORVANE_ROWS " << rows << std::endl;
    if (dpi != 96) {
        EXPECT_GE(rows, EnvNumber("ORVANE_ROWS_AT_96"));
    }

    // The size is remembered at 96 DPI: the same window at any DPI.
    RECT outer;
    GetWindowRect(MainWindow, &outer);
    ASSERT_EQ(PLAT_OK, SaveMainWindowLayout(MainWindow));
    WindowLayout layout = {};
    ASSERT_EQ(1, ReadWindowLayoutSetting(&layout));
    EXPECT_NEAR(MulDiv(outer.right - outer.left, 96, dpi), layout.width, 1);
    EXPECT_NEAR(MulDiv(Column(0), 96, dpi), layout.columns[0], 1);

    PostMessageA(MainWindow, WM_COMMAND, IDM_ADD, 0);
    Pump();
    ASSERT_NE((HWND)NULL, EditorWindow);
    GetClientRect(EditorWindow, &client);
    EXPECT_EQ(MulDiv(380, dpi, 96), client.bottom);
    ExpectTextsFit(EditorWindow, dpi, "Add/Edit window");
    SendMessageA(EditorWindow, WM_CLOSE, 0, 0);
    Pump();

    // Moved to a monitor of another DPI (125 %: halfway, the 150 % pictures
    // shrunk): the suggested rectangle, the columns and pictures at that
    // DPI, nothing cut; and back again.
    int other = dpi == 96 ? 120 : 96;
    int columns[LIST_COLUMNS];
    for (int i = 0; i < LIST_COLUMNS; ++i)
        columns[i] = Column(i);
    // A little larger than the window at that DPI, which is its minimum.
    RECT suggested = {10, 20, 50 + MulDiv(outer.right - outer.left, other, dpi),
                      60 + MulDiv(outer.bottom - outer.top, other, dpi)};
    SendMessageA(MainWindow, WM_DPICHANGED, MAKEWPARAM(other, other), (LPARAM)&suggested);
    Pump();
    RECT placed;
    GetWindowRect(MainWindow, &placed);
    EXPECT_EQ(suggested.left, placed.left);
    EXPECT_EQ(suggested.right, placed.right);
    // (Name and Path also share the few pixels the window grew by.)
    EXPECT_NEAR(MulDiv(columns[COLUMN_STATE], other, dpi), Column(COLUMN_STATE), 1);
    BITMAP header = {};
    GetObjectA(HeaderBitmap, sizeof header, &header);
    EXPECT_EQ(other == 96 ? 80 : 120, header.bmHeight);
    ExpectTextsFit(MainWindow, other, "main window moved");
    ExpectDrawnAt(other);
    SendMessageA(MainWindow, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), (LPARAM)&outer);
    Pump();
    for (int i = 0; i < LIST_COLUMNS; ++i)
        EXPECT_NEAR(columns[i], Column(i), 2) << "column " << i;
    GetClientRect(MainWindow, &client);
    EXPECT_NEAR(MulDiv(600, dpi, 96), client.right, 3);
    DestroyMainWindow();
}
