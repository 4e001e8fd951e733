// main_window_wine_test.cpp - the real main window and item list under Wine
// and Xvfb, created in this process as the program creates them, driven by
// messages, read back from the controls, checked against storage.
#include "../../store/store.h"
#include "../../report/html_log.h"
#include "../integration/wine_places.h"
#include "../support/store_helpers.h"
#include "gui_support.h"

#include <gtest/gtest.h>

#include <process.h>
#include <shlobj.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char *kRunOff = RUN_KEY "-";
const char *kRunOnceOff = CURRENT_VERSION_KEY "\\RunOnce-";

class MainWindowTest : public testing::Test {
protected:
    // One main window for the suite: Wine takes a while to withdraw a
    // top-level window, and the program makes only one anyway.
    static void SetUpTestSuite() { EnsureMainWindow(); }
    static void TearDownTestSuite() { DestroyMainWindow(); }

    HWND list = NULL;
    std::string probe;

    void SetUp() override
    {
        ASSERT_NE((HWND)NULL, MainWindow);
        list = GetDlgItem(MainWindow, IDC_ITEM_LIST);
        probe = ProbePath();
        EmptyAllPlaces();
        SetStatusText(NULL, "Orvane Tool");
    }

    void TearDown() override { EmptyAllPlaces(); }

    void Refresh()
    {
        DropPendingChecks();
        SendMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, 0);
        Pump();
    }

    int Rows() { return (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0); }

    int RowOf(const char *name)
    {
        for (int row = 0; row < Rows(); ++row)
            if (ItemText(list, row, 0) == name)
                return row;
        return -1;
    }

    // As a signature check would find it: Windows' own program, by its whole
    // path in the system folder, given nothing to run.
    static void MakeWindowsOwn(AutostartItem *item)
    {
        char system[MAX_PATH];
        GetSystemDirectoryA(system, MAX_PATH);
        TextFormat(item->target, sizeof item->target, "%s\\notepad.exe", system);
        TextCopy(item->command, sizeof item->command, item->target);
        item->parameters[0] = '\0';
        item->signedByWindows = 1;
    }

    std::string Status() { return ControlText(GetDlgItem(MainWindow, IDC_STATUS)); }
    std::string Field(int id) { return ControlText(GetDlgItem(MainWindow, id)); }

    void Command(int id)
    {
        SendMessageA(MainWindow, WM_COMMAND, id, 0);
        Pump();
    }

    // The usual three: a user Run value, a disabled machine RunOnce value and
    // an all-users shortcut, in this table order.
    void SeedThree()
    {
        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "User Tool", "\"" + probe + "\" -u"));
        ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kRunOnceOff, "Later", probe));
        ASSERT_TRUE(MakeShortcut(ShellFolder(CSIDL_COMMON_STARTUP) + "\\Probe.lnk", probe, "-x",
                                 "link"));
        Refresh();
    }
};

struct Expected {
    int id;
    const char *className;
    const char *text;
    int x, y, width, height;
    DWORD style;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM argument)
{
    if (GetParent(child) == MainWindow)
        ((std::vector<HWND> *)argument)->push_back(child);
    return TRUE;
}

} // namespace

TEST_F(MainWindowTest, ControlsInTheirOrderPlacesAndStyles)
{
    const DWORD skinned = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
    const DWORD field = WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_READONLY | ES_AUTOHSCROLL;
    const DWORD iconOnly = skinned | BS_ICON;
    const DWORD commandField =
        WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | ES_READONLY | ES_MULTILINE;
    // In reading order, which is the Tab order.
    const Expected expected[] = {
        {116, "Button", "&Refresh", 460, 20, 35, 35, iconOnly},
        {130, "Button", "&Save Log", 505, 20, 35, 35, iconOnly},
        {115, "Button", "&Help", 550, 20, 35, 35, iconOnly},
        {110, "SysListView32", "Startup entries", 15, 95, 570, 116,
         WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL
             | LVS_SHOWSELALWAYS},
        {1009, "msctls_statusbar32", "Orvane Tool", -1, -1, -1, -1, WS_CHILD | WS_VISIBLE},
        {1, "Button", "Details", 15, 216, 570, 154, WS_CHILD | WS_VISIBLE | BS_GROUPBOX},
        {1, "Static", "Location:", 24, 234, 70, 15, WS_CHILD | WS_VISIBLE},
        {131, "Edit", "", 90, 234, 470, 17, field},
        {1, "Static", "Command:", 24, 250, 70, 15, WS_CHILD | WS_VISIBLE},
        // Three lines of the command at the first size.
        {117, "Edit", "", 90, 250, 470, 49, commandField},
        {1, "Static", "Description:", 24, 298, 70, 15, WS_CHILD | WS_VISIBLE},
        {118, "Edit", "", 90, 298, 470, 17, field},
        {1, "Static", "Company:", 24, 314, 70, 15, WS_CHILD | WS_VISIBLE},
        {119, "Edit", "", 90, 314, 470, 17, field},
        {1, "Static", "Publisher:", 24, 330, 70, 15, WS_CHILD | WS_VISIBLE},
        {133, "Edit", "", 90, 330, 470, 17, field},
        {1, "Static", "Notes:", 24, 346, 70, 15, WS_CHILD | WS_VISIBLE},
        {132, "Edit", "", 90, 346, 470, 17, field},
        {111, "Button", "&Add", 15, 380, 100, 30, skinned},
        {1008, "Button", "&Edit", 131, 380, 100, 30, skinned},
        {112, "Button", "&CleanUp", 249, 380, 100, 30, skinned},
        {113, "Button", "A&pply", 367, 380, 100, 30, skinned},
        {114, "Button", "E&xit", 485, 380, 100, 30, skinned},
    };
    Refresh();
    std::vector<HWND> children;
    EnumChildWindows(MainWindow, CollectChild, (LPARAM)&children);
    ASSERT_EQ(sizeof expected / sizeof expected[0], children.size());
    for (size_t i = 0; i < children.size(); ++i) {
        const Expected &want = expected[i];
        HWND child = children[i];
        char className[64];
        GetClassNameA(child, className, sizeof className);
        EXPECT_EQ(0, lstrcmpiA(want.className, className)) << "row " << i + 1 << ": " << className;
        EXPECT_EQ(want.id, GetDlgCtrlID(child)) << "row " << i + 1;
        EXPECT_EQ(want.text, ControlText(child)) << "row " << i + 1;
        DWORD style = (DWORD)GetWindowLongA(child, GWL_STYLE);
        EXPECT_EQ(want.style, style & want.style) << "row " << i + 1 << std::hex << " style " << style;
        EXPECT_EQ(0, GetWindowLongA(child, GWL_EXSTYLE) & ~WS_EX_CLIENTEDGE & ~WS_EX_NOPARENTNOTIFY)
            << "row " << i + 1;
        if (want.x < 0)
            continue;
        RECT rect;
        GetWindowRect(child, &rect);
        MapWindowPoints(NULL, MainWindow, (POINT *)&rect, 2);
        EXPECT_EQ(want.x, rect.left) << "row " << i + 1;
        EXPECT_EQ(want.y, rect.top) << "row " << i + 1;
        EXPECT_EQ(want.width, rect.right - rect.left) << "row " << i + 1;
        EXPECT_EQ(want.height, rect.bottom - rect.top) << "row " << i + 1;
    }
    // The list: its columns and check boxes as its only extended style.
    char header[32];
    LVCOLUMNA column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = header;
    column.cchTextMax = sizeof header;
    const char *headers[] = {"Application", "Type", "State", "Path", "Change", "Cost"};
    const int widths[] = {130, 40, 130, 100, 60, 80};
    for (int i = 0; i < LIST_COLUMNS; ++i) {
        ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, i, (LPARAM)&column));
        EXPECT_STREQ(headers[i], header);
        EXPECT_EQ(widths[i], column.cx);
    }
    EXPECT_EQ(LVS_EX_CHECKBOXES, SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    EXPECT_EQ((LRESULT)SmallIconList, SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    EXPECT_EQ(list, ItemListWindow);
}

TEST_F(MainWindowTest, DrawingAreaStaysFreeAboveTheStatusBar)
{
    RECT client, status;
    GetClientRect(MainWindow, &client);
    GetWindowRect(GetDlgItem(MainWindow, IDC_STATUS), &status);
    MapWindowPoints(NULL, MainWindow, (POINT *)&status, 2);
    EXPECT_EQ(600, client.right);
    EXPECT_EQ(450, status.top);
    EXPECT_EQ(client.bottom, status.bottom);
    char title[32];
    GetWindowTextA(MainWindow, title, sizeof title);
    EXPECT_STREQ("Orvane Tool", title);
}

TEST_F(MainWindowTest, RowsFollowTheCatalogueWithChecksTypesAndPaths)
{
    SeedThree();
    ASSERT_EQ(3, Rows());
    EXPECT_EQ("User Tool", ItemText(list, 0, 0));
    EXPECT_EQ("Later", ItemText(list, 1, 0));
    EXPECT_EQ("Probe.lnk", ItemText(list, 2, 0));
    EXPECT_EQ(2, CheckState(list, 0));
    EXPECT_EQ(1, CheckState(list, 1));
    EXPECT_EQ(2, CheckState(list, 2));
    EXPECT_EQ("USR", ItemText(list, 0, COLUMN_TYPE));
    EXPECT_EQ("ALL", ItemText(list, 1, COLUMN_TYPE));
    EXPECT_EQ("ALL", ItemText(list, 2, COLUMN_TYPE));
    EXPECT_EQ("on", ItemText(list, 0, COLUMN_STATE));
    EXPECT_EQ("off here", ItemText(list, 1, COLUMN_STATE));
    EXPECT_EQ(probe, ItemText(list, 0, COLUMN_PATH));
    EXPECT_EQ(probe, ItemText(list, 2, COLUMN_PATH));
    // A keyboard user starts on a row: the first, selected and focused.
    EXPECT_EQ(0, SelectedRow(list));
    EXPECT_EQ(0, SendMessageA(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED));
}

// The list draws every row from its record: a click on a box toggles that
// record's box (twice: back), the status counts it, and a sort carries it.
TEST_F(MainWindowTest, ClickedBoxesBelongToTheirRecordsThroughASort)
{
    SeedThree();
    ASSERT_TRUE(GetWindowLongA(list, GWL_STYLE) & LVS_OWNERDATA);
    RECT row = {LVIR_BOUNDS, 0, 0, 0};
    ASSERT_TRUE(SendMessageA(list, LVM_GETITEMRECT, 2, (LPARAM)&row));
    LVHITTESTINFO hit = {};
    hit.pt.y = (row.top + row.bottom) / 2;
    for (hit.pt.x = row.left; hit.pt.x < row.left + 40; ++hit.pt.x)
        if (SendMessageA(list, LVM_HITTEST, 0, (LPARAM)&hit) == 2
            && (hit.flags & LVHT_ONITEMSTATEICON))
            break;
    LPARAM box = MAKELPARAM(hit.pt.x, hit.pt.y);
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, box);
    SendMessageA(list, WM_LBUTTONUP, 0, box);
    EXPECT_EQ(1, CheckState(list, 2));
    EXPECT_EQ(2, CheckState(list, 0));
    EXPECT_EQ("1 change not applied yet: press Apply to store it.", Status());
    NMLISTVIEW click = {};
    click.hdr.hwndFrom = list;
    click.hdr.code = LVN_COLUMNCLICK;
    click.iSubItem = 0;
    SendMessageA(MainWindow, WM_NOTIFY, IDC_ITEM_LIST, (LPARAM)&click);
    ASSERT_EQ("Probe.lnk", ItemText(list, 1, 0));
    EXPECT_EQ(1, CheckState(list, 1)) << "the box went with its record";
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, box);
    SendMessageA(list, WM_LBUTTONUP, 0, box);
    ASSERT_EQ("User Tool", ItemText(list, 2, 0));
    EXPECT_EQ(1, CheckState(list, 2)) << "the click reaches the record now shown there";
    EXPECT_EQ("2 changes not applied yet: press Apply to store them.", Status());
    SelectRow(list, 2);
    SendMessageA(MainWindow, WM_NOTIFY, IDC_ITEM_LIST, (LPARAM)&click);
    SendMessageA(MainWindow, WM_NOTIFY, IDC_ITEM_LIST, (LPARAM)&click);
    EXPECT_EQ(0, SelectedRow(list)) << "the selection follows its record to the scan's order";
    DropPendingChecks();
}

// Details that hide a row above the selected one as Windows' own: the list
// keeps rows by number, the selection stays on its entry.
TEST_F(MainWindowTest, ARowHiddenByItsDetailsLeavesTheSelectionOnItsEntry)
{
    SeedThree();
    int hide = HideWindowsEntries;
    HideWindowsEntries = 1;
    SelectRow(list, 2);
    int32_t hidden = HiddenWindowsRows;
    MakeWindowsOwn(&ItemCatalogue.items[1]);
    EXPECT_TRUE(UpdateRowDetails(list, 1));
    ASSERT_EQ(2, Rows());
    EXPECT_EQ(1, SelectedRow(list));
    EXPECT_EQ("Probe.lnk", ItemText(list, 1, 0));
    EXPECT_EQ(2, CheckState(list, 1));
    EXPECT_EQ(hidden + 1, HiddenWindowsRows);
    HideWindowsEntries = hide;
    Refresh();
}

TEST_F(MainWindowTest, DetailsPaneForEachKindOfPlaceAndRefreshEmptiesIt)
{
    SeedThree();
    SelectRow(list, 0);
    EXPECT_EQ("HKCU\\" RUN_KEY, Field(IDC_LOCATION));
    EXPECT_EQ("\"" + probe + "\" -u", Field(IDC_COMMAND));
    EXPECT_EQ("Orvane test probe", Field(IDC_DESCRIPTION));
    EXPECT_EQ("Orvane Test Works", Field(IDC_COMPANY));
    EXPECT_EQ(PUBLISHER_NOT_SIGNED, Field(IDC_PUBLISHER));
    SelectRow(list, 1);
    EXPECT_EQ(std::string("HKLM\\") + kRunOnceOff, Field(IDC_LOCATION));
    SelectRow(list, 2);
    EXPECT_EQ(ShellFolder(CSIDL_COMMON_STARTUP) + "\\Probe.lnk", Field(IDC_LOCATION));
    EXPECT_EQ(probe + " -x", Field(IDC_COMMAND));
    // A Refresh keeps the selection, and the pane shows that entry again.
    Refresh();
    EXPECT_EQ(ShellFolder(CSIDL_COMMON_STARTUP) + "\\Probe.lnk", Field(IDC_LOCATION));
    EXPECT_EQ(PUBLISHER_NOT_SIGNED, Field(IDC_PUBLISHER));
}

namespace {
std::vector<std::wstring> FooterTexts;
std::vector<RECT> FooterRects;
std::vector<UINT> FooterFormats;
typedef int(WINAPI *DrawTextWCall)(HDC, LPCWSTR, int, LPRECT, UINT);
DrawTextWCall RealDrawTextW = NULL;
int WINAPI RecordingDrawTextW(HDC dc, LPCWSTR text, int length, LPRECT rect, UINT format)
{
    FooterTexts.push_back(length < 0 ? std::wstring(text) : std::wstring(text, (size_t)length));
    FooterRects.push_back(*rect);
    FooterFormats.push_back(format);
    return RealDrawTextW(dc, text, length, rect, format);
}
} // namespace

// What appeared or changed since the last look is marked until accepted,
// sorted first on asking, and what this program changes itself is accepted
// as it is made.
TEST_F(MainWindowTest, MarksWhatIsNewOrChangedUntilAccepted)
{
    SeedThree(); // the first run: what is there is seen
    EXPECT_EQ("", ItemText(list, RowOf("User Tool"), COLUMN_CHANGE));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "User Tool", "\"" + probe + "\" -v"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Newcomer", probe));
    Refresh();
    EXPECT_EQ(MARK_CHANGED, ItemText(list, RowOf("User Tool"), COLUMN_CHANGE));
    EXPECT_EQ(MARK_NEW, ItemText(list, RowOf("Newcomer"), COLUMN_CHANGE));
    EXPECT_NE(std::string::npos, Status().find("1 new, 1 changed, 0 gone since ")) << Status();
    SelectRow(list, RowOf("User Tool"));
    EXPECT_NE(std::string::npos, Field(IDC_NOTES).find("command was \"\"" + probe + "\" -u\""));
    RunItemCommand(list, IDM_SORT_CHANGE, 0);
    EXPECT_EQ("Newcomer", ItemText(list, 0, COLUMN_NAME));
    RunItemCommand(list, IDM_SORT_SCAN, 0);

    RunItemCommand(list, IDM_ACCEPT, RowOf("Newcomer"));
    EXPECT_EQ("\"Newcomer\" is accepted as it is now.", Status());
    EXPECT_EQ("", ItemText(list, RowOf("Newcomer"), COLUMN_CHANGE));
    // Disabled here: accepted as made, and still no mark after the Refresh.
    RunItemCommand(list, IDM_TOGGLE, RowOf("User Tool"));
    Command(IDM_APPLY);
    Pump();
    EXPECT_EQ("", ItemText(list, RowOf("User Tool"), COLUMN_CHANGE));
    ASSERT_TRUE(DeleteFileA((ShellFolder(CSIDL_COMMON_STARTUP) + "\\Probe.lnk").c_str()));
    Refresh();
    EXPECT_NE(std::string::npos, Status().find("0 new, 0 changed, 1 gone")) << Status();
    char gone[GONE_TEXT_SIZE];
    GoneText(gone, sizeof gone);
    EXPECT_NE(std::string::npos, std::string(gone).find("\"Probe.lnk\"")) << gone;
    RunItemCommand(list, IDM_ACCEPT_ALL, 0);
    GoneText(gone, sizeof gone);
    EXPECT_EQ(0u, std::string(gone).find("No entry is gone since ")) << gone;
}

// The footer counts what a Refresh found, drawn wide on its band above the
// status bar; an Apply that disables one more is counted at once.
TEST_F(MainWindowTest, FooterCountsTheEntriesAfterEveryRefresh)
{
    RealDrawTextW = (DrawTextWCall)HookImport("user32.dll", "DrawTextW", (void *)RecordingDrawTextW);
    ASSERT_NE((DrawTextWCall)NULL, RealDrawTextW);
    SeedThree();
    FooterTexts.clear();
    RedrawWindow(MainWindow, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_NE(FooterTexts.end(),
              std::find(FooterTexts.begin(), FooterTexts.end(), L"3 entries: 1 off here"));
    RunItemCommand(list, IDM_TOGGLE, 0);
    FooterTexts.clear();
    FooterRects.clear();
    Command(IDM_APPLY);
    UpdateWindow(MainWindow);
    HookImport("user32.dll", "DrawTextW", (void *)RealDrawTextW);
    auto found = std::find(FooterTexts.begin(), FooterTexts.end(), L"3 entries: 2 off here");
    ASSERT_NE(FooterTexts.end(), found) << "the count follows the Apply without a full repaint";
    RECT status, drawn = FooterRects[(size_t)(found - FooterTexts.begin())];
    GetWindowRect(GetDlgItem(MainWindow, IDC_STATUS), &status);
    MapWindowPoints(NULL, MainWindow, (POINT *)&status, 2);
    EXPECT_EQ(status.top - 25, drawn.top);
    EXPECT_EQ(status.top, drawn.bottom);

    // A service of another maker is an entry, counted apart too.
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    const std::string path = ProbePath();
    std::wstring probe(path.begin(), path.end());
    SC_HANDLE service = CreateServiceW(manager, L"OrvaneFooterProbe", L"OrvaneFooterProbe",
                                       SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_AUTO_START, SERVICE_ERROR_IGNORE, probe.c_str(),
                                       NULL, NULL, NULL, NULL, NULL);
    ASSERT_TRUE(service) << GetLastError();
    Refresh();
    DeleteService(service);
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    char text[256];
    EntryCountText(text, sizeof text);
    EXPECT_STREQ("4 entries: 2 off here; 1 service", text);
}

// A command longer than one line is there whole: the field wraps it, the
// scroll bar reaches the rest.
TEST_F(MainWindowTest, TheDetailsShowTheWholeCommand)
{
    std::string command = "\"" + probe + "\" --profile ";
    while (command.size() < 383)
        command += (char)('a' + command.size() % 26);
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Long", command));
    Refresh();
    SelectRow(list, RowOf("Long"));
    EXPECT_EQ(command, Field(IDC_COMMAND));
    HWND field = GetDlgItem(MainWindow, IDC_COMMAND);
    EXPECT_TRUE(GetWindowLongA(field, GWL_STYLE) & ES_READONLY);
    EXPECT_GE(SendMessageA(field, EM_GETLINECOUNT, 0, 0), 3);
    SCROLLINFO bar = {};
    bar.cbSize = sizeof bar;
    bar.fMask = SIF_RANGE | SIF_PAGE;
    ASSERT_TRUE(GetScrollInfo(field, SB_VERT, &bar));
    EXPECT_GT(bar.nMax - bar.nMin + 1, (int)bar.nPage) << "the bar says there is more";

    // Longer than the record holds: as much as the field shows, then "...".
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Longer", command + std::string(3000, 'z')));
    Refresh();
    SelectRow(list, RowOf("Longer"));
    std::string shown = Field(IDC_COMMAND);
    ASSERT_GT(shown.size(), command.size() + 3);
    EXPECT_EQ(command, shown.substr(0, command.size()));
    EXPECT_EQ("z...", shown.substr(shown.size() - 4));
}

// Rows hidden as Windows' own are not counted: the footer counts the list.
TEST_F(MainWindowTest, FooterCountsOnlyTheRowsShown)
{
    SeedThree();
    FinishDetails(MainWindow);
    int saved = HideWindowsEntries;
    HideWindowsEntries = 0;
    // As a signature check would mark it: the probe alone, Windows' own.
    AutostartItem *own = (AutostartItem *)CatalogueItem(RecordOfRow(list, RowOf("Later")));
    ASSERT_NE((AutostartItem *)NULL, own);
    MakeWindowsOwn(own);
    RealDrawTextW = (DrawTextWCall)HookImport("user32.dll", "DrawTextW", (void *)RecordingDrawTextW);
    ASSERT_NE((DrawTextWCall)NULL, RealDrawTextW);
    FooterTexts.clear();
    Seen seen;
    SelectRow(list, RowOf("Probe.lnk"));
    HANDLE watcher = WatchMenu(2, &seen); // "H&ide Windows' own entries"
    Command(IDM_HELP_BUTTON);
    Finish(watcher);
    Pump();
    UpdateWindow(MainWindow);
    HookImport("user32.dll", "DrawTextW", (void *)RealDrawTextW);
    EXPECT_EQ(2, Rows());
    EXPECT_NE(FooterTexts.end(),
              std::find(FooterTexts.begin(), FooterTexts.end(), L"2 entries"));
    EXPECT_EQ("1 of Windows' own entries hidden", Status());
    EXPECT_EQ(RowOf("Probe.lnk"), SelectedRow(list)) << "the selection stays";
    watcher = WatchMenu(2, &seen);
    Command(IDM_HELP_BUTTON);
    Finish(watcher);
    EXPECT_EQ("Windows' own entries shown", Status());
    EXPECT_EQ(RowOf("Probe.lnk"), SelectedRow(list));
    // Nothing verified as Windows' own: the option says so, not "0 hidden".
    Refresh();
    watcher = WatchMenu(2, &seen);
    Command(IDM_HELP_BUTTON);
    Finish(watcher);
    EXPECT_EQ("none could be verified as Windows' own", Status());
    HideWindowsEntries = saved;
    SaveHideWindowsSetting(saved);
}

// The keyboard's list: typed letters select the row whose name begins with
// them, Sort by sorts with the header's arrow and the layout keeps it, and
// after Remove the next row (the one before, at the end) is selected.
TEST_F(MainWindowTest, TypingSortingAndRemovingKeepARowUnderTheKeyboard)
{
    SeedThree(); // User Tool, Later, Probe.lnk
    auto type = [&](char c) {
        PostMessageA(list, WM_CHAR, (WPARAM)c, 0);
        Pump();
    };
    type('p');
    EXPECT_EQ(RowOf("Probe.lnk"), SelectedRow(list));
    type('R');
    EXPECT_EQ(RowOf("Probe.lnk"), SelectedRow(list)) << "\"pr\" still matches";
    Sleep(1100);
    type('l');
    EXPECT_EQ(RowOf("Later"), SelectedRow(list)) << "a pause starts a new search";
    // A space in a name being typed is the name's, not the check box's.
    Sleep(1100);
    int box = CheckState(list, RowOf("User Tool"));
    for (char c : std::string("user")) {
        type(c);
    }
    PostMessageA(list, WM_KEYDOWN, VK_SPACE, 0);
    Pump();
    type('t');
    EXPECT_EQ(RowOf("User Tool"), SelectedRow(list));
    EXPECT_EQ(box, CheckState(list, RowOf("User Tool")));
    NMLVFINDITEMA find = {};
    find.hdr.hwndFrom = list;
    find.hdr.code = LVN_ODFINDITEMA;
    find.lvfi.flags = LVFI_STRING | LVFI_PARTIAL;
    find.lvfi.psz = "us";
    EXPECT_EQ(RowOf("User Tool"), SendMessageA(MainWindow, WM_NOTIFY, IDC_ITEM_LIST, (LPARAM)&find));

    HWND header = (HWND)SendMessageA(list, LVM_GETHEADER, 0, 0);
    auto arrow = [&](int column) {
        HDITEMA item = {};
        item.mask = HDI_FORMAT;
        SendMessageA(header, HDM_GETITEMA, column, (LPARAM)&item);
        return item.fmt & (HDF_SORTUP | HDF_SORTDOWN);
    };
    RunItemCommand(list, IDM_SORT_STATE, 0);
    EXPECT_EQ("Later", ItemText(list, 0, COLUMN_NAME)) << "\"off here\" before \"on\"";
    EXPECT_EQ(HDF_SORTUP, arrow(COLUMN_STATE));
    RunItemCommand(list, IDM_SORT_STATE, 0);
    EXPECT_EQ(HDF_SORTDOWN, arrow(COLUMN_STATE));
    EXPECT_EQ(0, arrow(COLUMN_NAME));
    ASSERT_EQ(PLAT_OK, SaveMainWindowLayout(MainWindow));
    WindowLayout layout = {};
    ASSERT_EQ(1, ReadWindowLayoutSetting(&layout));
    EXPECT_EQ(COLUMN_STATE, layout.sortColumn);
    EXPECT_EQ(1, layout.sortDescending);
    RunItemCommand(list, IDM_SORT_SCAN, 0);
    EXPECT_EQ(0, arrow(COLUMN_STATE));
    EXPECT_EQ("User Tool", ItemText(list, 0, COLUMN_NAME));

    Seen seen;
    SelectRow(list, 1);
    HANDLE watcher = WatchBox(IDYES, &seen);
    RunItemCommand(list, IDM_REMOVE, 1);
    Finish(watcher);
    Pump();
    ASSERT_EQ(2, Rows());
    EXPECT_EQ(RowOf("Probe.lnk"), SelectedRow(list)) << "the next row";
    watcher = WatchBox(IDYES, &seen);
    RunItemCommand(list, IDM_REMOVE, 1);
    Finish(watcher);
    Pump();
    EXPECT_EQ(RowOf("User Tool"), SelectedRow(list)) << "at the end, the row before";
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Orvane Tool", 0, KEY_SET_VALUE, &key) == 0) {
        RegDeleteValueA(key, "MainWindowLayout");
        RegCloseKey(key);
    }
}

// A status longer than the bar ends in "..." where it is cut, and its
// tooltip holds the whole sentence.
TEST_F(MainWindowTest, ACutStatusEndsInDotsAndItsTooltipHoldsItAll)
{
    HWND bar = GetDlgItem(MainWindow, IDC_STATUS);
    std::string text = "Removed \"Tool\"; backup: " + std::string(300, 'x') + ".reg";
    RealDrawTextW = (DrawTextWCall)HookImport("user32.dll", "DrawTextW", (void *)RecordingDrawTextW);
    ASSERT_NE((DrawTextWCall)NULL, RealDrawTextW);
    FooterTexts.clear();
    FooterFormats.clear();
    SetStatusText(NULL, text.c_str());
    RedrawWindow(bar, NULL, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
    HookImport("user32.dll", "DrawTextW", (void *)RealDrawTextW);
    std::wstring wide(text.begin(), text.end());
    auto drawn = std::find(FooterTexts.begin(), FooterTexts.end(), wide);
    ASSERT_NE(FooterTexts.end(), drawn) << "drawn whole, cut by the call";
    EXPECT_TRUE(FooterFormats[(size_t)(drawn - FooterTexts.begin())] & DT_END_ELLIPSIS);
    EXPECT_EQ(text, Status()) << "the window text stays whole for screen readers";

    // The tooltip of the bar: found among the program's tooltip windows.
    std::string tip;
    for (HWND tips = NULL; tip.empty()
                           && (tips = FindWindowExA(NULL, tips, TOOLTIPS_CLASSA, NULL)) != NULL;) {
        DWORD process = 0;
        GetWindowThreadProcessId(tips, &process);
        if (process != GetCurrentProcessId())
            continue;
        TOOLINFOA tool = {};
        tool.cbSize = TTTOOLINFOA_V2_SIZE;
        tool.hwnd = bar;
        tool.uId = (UINT_PTR)bar;
        if (!SendMessageA(tips, TTM_GETTOOLINFOA, 0, (LPARAM)&tool))
            continue;
        // The "A" call gives at most 80 characters: the whole through the wide.
        TOOLINFOW wide = {};
        wide.cbSize = TTTOOLINFOW_V2_SIZE;
        wide.hwnd = bar;
        wide.uId = (UINT_PTR)bar;
        std::wstring buffer(1024, L'\0');
        wide.lpszText = &buffer[0];
        SendMessageW(tips, TTM_GETTEXTW, buffer.size(), (LPARAM)&wide);
        tip = std::string(buffer.begin(), buffer.begin() + (ptrdiff_t)wcslen(buffer.c_str()));
    }
    EXPECT_EQ(text, tip);
}

// A packaged app planted as Windows keeps it: a row of Type APP, switched
// off in place by Apply with a backup named, Run greyed and Delete refused.
TEST_F(MainWindowTest, APackagedAppIsARowSwitchedInPlace)
{
    const std::string full = "Orvane.Window_1.0.0.0_x64__abcdefghjkmnp";
    const std::string repository = std::string(APP_REPOSITORY_KEY) + "\\" + full;
    const std::string state = std::string(APP_STATE_KEY) + "\\Orvane.Window_abcdefghjkmnp\\Win";
    std::string folder = probe.substr(0, probe.rfind('\\'));
    std::string manifest = folder + "\\AppxManifest.xml";
    std::string xml = "<Package><Applications><Application Executable=\""
                      + probe.substr(folder.size() + 1) + "\"><Extensions><Extension "
                      "Category=\"windows.startupTask\"><StartupTask TaskId=\"Win\" "
                      "Enabled=\"true\" DisplayName=\"Orvane Window App\"/></Extension>"
                      "</Extensions></Application></Applications></Package>";
    HANDLE file = CreateFileA(manifest.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD written = 0;
    WriteFile(file, xml.data(), (DWORD)xml.size(), &written, NULL);
    CloseHandle(file);
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, repository.c_str(), "PackageRootFolder", folder));
    Refresh();
    int row = RowOf("Orvane Window App");
    ASSERT_GE(row, 0);
    EXPECT_EQ(APP_TYPE, ItemText(list, row, COLUMN_TYPE));
    EXPECT_EQ(STATE_ON, ItemText(list, row, COLUMN_STATE));
    RunItemCommand(list, IDM_TOGGLE, row);
    Command(IDM_APPLY);
    EXPECT_EQ(0u, Status().find("Disabled \"Orvane Window App\"; backup: ")) << Status();
    EXPECT_EQ(std::string("\x01\0\0\0", 4), ValueBytes(HKEY_CURRENT_USER, state.c_str(), "State"));
    row = RowOf("Orvane Window App");
    EXPECT_EQ(STATE_OFF_IN_SETTINGS, ItemText(list, row, COLUMN_STATE));
    Seen seen;
    SelectRow(list, row);
    HANDLE watcher = WatchBox(IDYES, &seen);
    SendMessageA(list, WM_KEYDOWN, VK_DELETE, 0);
    Finish(watcher);
    EXPECT_FALSE(seen.found) << "refused at once, asking nothing";
    EXPECT_NE(std::string::npos, Status().find("uninstall the app to remove it")) << Status();
    RegDeleteKeyA(HKEY_CURRENT_USER, repository.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, state.c_str());
    DeleteFileA(manifest.c_str());
}

// A row that cannot be switched keeps its box, drawn greyed (state images 3
// and 4), and Space says why; Delete says why at once, asking nothing.
TEST_F(MainWindowTest, WindowsOwnRowKeepsAGreyedBoxAndSaysWhy)
{
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, WINLOGON_KEY, "Userinit",
                          "C:\\Windows\\system32\\userinit.exe,C:\\a.exe"));
    Refresh();
    int own = RowOf("Userinit: C:\\Windows\\system32\\userinit.exe" WINDOWS_OWN_MARK);
    ASSERT_GE(own, 0);
    EXPECT_EQ(4, CheckState(list, own));
    EXPECT_EQ(2, CheckState(list, RowOf("Userinit: C:\\a.exe")));
    SelectRow(list, own);
    SendMessageA(list, WM_KEYDOWN, VK_SPACE, 0);
    EXPECT_EQ(4, CheckState(list, own));
    EXPECT_NE(std::string::npos, Status().find(NOTE_WINDOWS_OWN)) << Status();
    SetStatusText(NULL, "");
    Seen seen;
    HANDLE watcher = WatchBox(IDYES, &seen);
    SendMessageA(list, WM_KEYDOWN, VK_DELETE, 0);
    Finish(watcher);
    EXPECT_FALSE(seen.found) << seen.text;
    EXPECT_NE(std::string::npos, Status().find(NOTE_WINDOWS_OWN)) << Status();
    // The menu offers only what the row allows, and the status says why;
    // a program that is not there cannot be run or found.
    SetStatusText(NULL, "");
    watcher = WatchMenu(-1, &seen);
    SendMessageA(list, WM_CONTEXTMENU, (WPARAM)list, MAKELPARAM(-1, -1));
    Finish(watcher);
    Pump();
    // (Wine has no userinit.exe: its program is missing too.)
    EXPECT_EQ("&Run;&Find Target;&Edit;&Disable;S&tart later;Re&move;", seen.greyed);
    EXPECT_NE(std::string::npos, Status().find("is not changed here")) << Status();
    SelectRow(list, RowOf("Userinit: C:\\a.exe"));
    watcher = WatchMenu(-1, &seen);
    SendMessageA(list, WM_CONTEXTMENU, (WPARAM)list, MAKELPARAM(-1, -1));
    Finish(watcher);
    Pump();
    EXPECT_EQ("&Run;&Find Target;&Edit;S&tart later;", seen.greyed) << "not a Run value";
}

TEST_F(MainWindowTest, ApplyMovesAnUncheckedValueAndTheRowStaysUnchecked)
{
    SeedThree();
    RunItemCommand(list, IDM_TOGGLE, 0);
    EXPECT_EQ(1, CheckState(list, 0));
    Command(IDM_APPLY);
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "User Tool"));
    EXPECT_NE("<absent>", ValueBytes(HKEY_CURRENT_USER, kRunOff, "User Tool"));
    ASSERT_EQ(3, Rows());
    EXPECT_EQ("User Tool", ItemText(list, 0, 0));
    EXPECT_EQ(1, CheckState(list, 0));
    EXPECT_EQ(0u, Status().find("Disabled \"User Tool\"; backup: Disabled ")) << Status();
}

// Each list value an Apply changes is backed up on its own: the status
// names the backup of one change, and of several the first and how many more.
TEST_F(MainWindowTest, ApplyOfListItemsNamesTheirBackups)
{
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, WINLOGON_KEY, "Userinit",
                          "C:\\Windows\\system32\\userinit.exe,C:\\a.exe,C:\\b.exe,C:\\c.exe"));
    Refresh();
    RunItemCommand(list, IDM_TOGGLE, RowOf("Userinit: C:\\a.exe"));
    Command(IDM_APPLY);
    EXPECT_EQ(0u, Status().find("Disabled \"Userinit: C:\\a.exe\"; backup: ")) << Status();
    RunItemCommand(list, IDM_TOGGLE, RowOf("Userinit: C:\\b.exe"));
    RunItemCommand(list, IDM_TOGGLE, RowOf("Userinit: C:\\c.exe"));
    Command(IDM_APPLY);
    EXPECT_EQ(0u, Status().find("Applied 2 changes. Backups: ")) << Status();
    EXPECT_NE(std::string::npos, Status().find(".reg in ")) << Status();
    EXPECT_NE(std::string::npos, Status().find(" and 1 more.")) << Status();
    EXPECT_STREQ(",C:\\a.exe,C:\\b.exe,C:\\c.exe",
                 ValueBytes(HKEY_LOCAL_MACHINE, WINLOGON_KEY "-", "Userinit").c_str());
}

// An entry switched off in Windows' startup settings shows unchecked with
// "Enable" and its reason; checking it and applying switches it on in place.
// A 32-bit program's machine entry tells its view.
TEST_F(MainWindowTest, StartupSettingsSwitchAndTheThirtyTwoBitView)
{
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Switched Off", probe));
    ASSERT_TRUE(SetBytes(HKEY_CURRENT_USER, APPROVED_KEY "\\Run", "Switched Off", REG_BINARY,
                         std::string("\x03\0\0\0\x01\x02\x03\x04\x05\x06\x07\x08", 12)));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, RUN_KEY, "Old Tool", probe, KEY_WOW64_32KEY));
    Refresh();
    ASSERT_EQ(2, Rows());
    EXPECT_EQ(1, CheckState(list, 0));
    EXPECT_EQ("USR", ItemText(list, 0, COLUMN_TYPE));
    EXPECT_EQ("off in Windows' settings", ItemText(list, 0, COLUMN_STATE));
    EXPECT_EQ("ALL32", ItemText(list, 1, COLUMN_TYPE));
    SelectRow(list, 1);
    EXPECT_EQ("HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
              Field(IDC_LOCATION));
    SelectRow(list, 0);
    EXPECT_EQ("HKCU\\" RUN_KEY, Field(IDC_LOCATION));
    EXPECT_EQ(0u, Field(IDC_NOTES).find("switched off in Windows' startup settings"));
    Seen seen;
    HANDLE watcher = WatchMenu(4, &seen);
    SendMessageA(list, WM_CONTEXTMENU, (WPARAM)list, MAKELPARAM(100, 100));
    Finish(watcher);
    Pump();
    EXPECT_EQ("&Enable", seen.item4);
    EXPECT_EQ(2, CheckState(list, 0));
    Command(IDM_APPLY);
    EXPECT_EQ(std::string("\x02\0\0\0\0\0\0\0\0\0\0\0", 12),
              ValueBytes(HKEY_CURRENT_USER, APPROVED_KEY "\\Run", "Switched Off"));
    EXPECT_EQ(probe + '\0', ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Switched Off"));
    EXPECT_EQ(2, CheckState(list, 0));
    EXPECT_EQ("Enabled \"Switched Off\".", Status());
}

// One row failing names it and its cause, and hides the other's success.
// (RunOnce: in Run, a namesake in both places is one row that came back.)
TEST_F(MainWindowTest, FailingApplyShowsTheStatusText)
{
    const char *once = CURRENT_VERSION_KEY "\\RunOnce";
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, once, "Tool", probe));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, once, "Zed", probe));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, CURRENT_VERSION_KEY "\\RunOnce-", "Tool",
                          "C:\\other.exe"));
    Refresh();
    ASSERT_EQ(3, Rows());
    RunItemCommand(list, IDM_TOGGLE, 0);
    RunItemCommand(list, IDM_TOGGLE, 1);
    EXPECT_EQ("\"Zed\" will be disabled when you press Apply; 2 changes pending", Status());
    Command(IDM_APPLY);
    EXPECT_EQ("Applied 1 of 2 changes. ERROR: \"Tool\" was not disabled: an entry of that "
              "name is already in the other place.",
              Status());
    EXPECT_NE("<absent>", ValueBytes(HKEY_CURRENT_USER, once, "Tool"));
    EXPECT_EQ(2, CheckState(list, 0)) << "the refresh shows storage as it is";
}

TEST_F(MainWindowTest, ContextMenuToggleOnlyFlipsTheBoxAndFollowsTheStoredState)
{
    SeedThree();
    SelectRow(list, 0);
    Seen seen;
    HANDLE watcher = WatchMenu(4, &seen);
    SendMessageA(list, WM_CONTEXTMENU, (WPARAM)list, MAKELPARAM(100, 100));
    Finish(watcher);
    Pump();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ("&Disable", seen.item4);
    EXPECT_EQ(1, CheckState(list, 0));
    EXPECT_NE("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "User Tool")) << "not stored";
    EXPECT_EQ("\"User Tool\" will be disabled when you press Apply; 1 change pending", Status());

    // Still "Disable": the label follows what is stored; the box stays off.
    watcher = WatchMenu(4, &seen);
    SendMessageA(list, WM_CONTEXTMENU, (WPARAM)list, MAKELPARAM(100, 100));
    Finish(watcher);
    Pump();
    EXPECT_EQ("&Disable", seen.item4);
    EXPECT_EQ(1, CheckState(list, 0));

    SelectRow(list, 1);
    watcher = WatchMenu(4, &seen);
    SendMessageA(list, WM_CONTEXTMENU, (WPARAM)list, MAKELPARAM(100, 100));
    Finish(watcher);
    Pump();
    EXPECT_EQ("&Enable", seen.item4);
    EXPECT_EQ(2, CheckState(list, 1));
    EXPECT_EQ("\"Later\" will be enabled when you press Apply; 2 changes pending", Status());
}

TEST_F(MainWindowTest, ContextMenuWithoutSelectionShowsNothing)
{
    SeedThree();
    // A Refresh keeps the last selection: take it away first.
    LVITEMA none;
    memset(&none, 0, sizeof none);
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&none);
    ASSERT_EQ(-1, SelectedRow(list));
    EXPECT_EQ(0, SendMessageA(list, WM_CONTEXTMENU, (WPARAM)list, MAKELPARAM(100, 100)));
}

// Run starts the program (through the desktop shell when elevated, or after
// asking); the status bar says so.
TEST_F(MainWindowTest, RunStartsTheProgram)
{
    SeedThree();
    std::string mark = probe + ".ran";
    DeleteFileA(mark.c_str());
    Seen seen;
    // Asked only when no desktop shell can start it.
    HANDLE watcher = WatchBoxUntilStopped(IDYES, &seen);
    RunItemCommand(list, IDM_RUN, 0);
    Stop(watcher);
    for (int i = 0; i < 100 && !FileExists(mark); ++i)
        Sleep(50);
    EXPECT_TRUE(FileExists(mark)) << Status();
    EXPECT_TRUE(Status().find("Started \"User Tool\"") == 0
                || Status() == "Handed \"User Tool\" to the desktop to start.")
        << Status();
    DeleteFileA(mark.c_str());
}

// Remove asks first (naming the entry, a backup kept, No the default),
// then says what it removed and where the backup is, a long path shortened
// in the middle.
TEST_F(MainWindowTest, RemoveAsksThenNamesTheEntryAndItsBackup)
{
    SeedThree();
    Seen seen;
    HANDLE watcher = WatchBox(IDNO, &seen);
    RunItemCommand(list, IDM_REMOVE, 0);
    Finish(watcher);
    Pump();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ("Remove \"User Tool\"?\n\nA backup of it is kept in Documents\\" BACKUP_FOLDER ".",
              seen.text);
    EXPECT_NE("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "User Tool")) << "No keeps it";

    watcher = WatchBox(IDYES, &seen);
    RunItemCommand(list, IDM_REMOVE, 0);
    Finish(watcher);
    Pump();
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "User Tool"));
    std::string status = Status();
    const std::string lead = "Removed \"User Tool\"; backup: ";
    EXPECT_EQ(lead, status.substr(0, lead.size())) << status;
    // The file's name first: a line cut at its end keeps it.
    EXPECT_EQ(0u, status.find(lead + "Removed ")) << status;
    EXPECT_NE(std::string::npos, status.find(".reg in ")) << status;
    std::string folder = ShellFolder(CSIDL_PERSONAL) + "\\" BACKUP_FOLDER "\\";
    WIN32_FIND_DATAA found;
    // Other tests may have left backups there: the one that holds the entry.
    HANDLE find = FindFirstFileA((folder + "Removed *.reg").c_str(), &found);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    std::string holding;
    do {
        if (RegText(ReadWholeFile(folder + found.cFileName)).find("\"User Tool\"=")
            != std::string::npos)
            holding = folder + found.cFileName;
    } while (holding.empty() && FindNextFileA(find, &found));
    FindClose(find);
    EXPECT_NE("", holding) << "a backup holds the removed value";
    DeleteFileA(holding.c_str());
    ASSERT_EQ(2, Rows());
    EXPECT_EQ("Later", ItemText(list, 0, 0));

    // The value goes away behind the program's back: Remove must fail.
    HKEY key;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceOff, 0, KEY_WRITE, &key);
    RegDeleteValueA(key, "Later");
    RegCloseKey(key);
    watcher = WatchBox(IDYES, &seen);
    RunItemCommand(list, IDM_REMOVE, 0);
    Finish(watcher);
    Pump();
    EXPECT_EQ(STATUS_BACKUP_FAILED, Status()) << "nothing to save: nothing removed";
    EXPECT_EQ(2, Rows());
}

// CleanUp never applies pending changes unasked: Cancel stops it, No drops
// them; its own question says how many entries of which places go.
TEST_F(MainWindowTest, CleanUpSettlesPendingChangesThenAsksWithNoAsDefault)
{
    SeedThree();
    RunItemCommand(list, IDM_TOGGLE, 0);
    Seen first[1];
    HANDLE watcher = WatchBoxSequence({IDCANCEL}, first);
    Command(IDM_CLEANUP);
    Finish(watcher);
    Pump();
    EXPECT_EQ("Apply the 1 change you made?", first[0].text);
    EXPECT_NE("<absent>", ValueBytes(HKEY_LOCAL_MACHINE, kRunOnceOff, "Later")) << "cancelled";
    EXPECT_EQ(1, CheckState(list, 0)) << "the pending change stays on screen";

    // Written since the list was read: counted, not named.
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kRunOff, "Fresh", probe));
    Seen both[2];
    watcher = WatchBoxSequence({IDNO, IDYES}, both);
    Command(IDM_CLEANUP);
    Finish(watcher);
    Pump();
    EXPECT_EQ("Delete the 2 entries you disabled here (this user: 1, all users: 1)?\n\n"
              "    Later (all users)\n    and 1 more\n\n"
              "A backup of them is kept in Documents\\" BACKUP_FOLDER ".",
              both[1].text);
    EXPECT_NE("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "User Tool"))
        << "the pending change was dropped, not applied";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kRunOnceOff));
    EXPECT_EQ(0u, Status().find("Deleted 2 disabled entries; backup: ")) << Status();
    ASSERT_EQ(2, Rows());
}

// Refresh, Exit and the close box ask about unapplied changes; Cancel keeps
// them and the window.
TEST_F(MainWindowTest, PendingChangesAreNeverDroppedSilently)
{
    SeedThree();
    RunItemCommand(list, IDM_TOGGLE, 1);
    EXPECT_EQ("\"Later\" will be enabled when you press Apply; 1 change pending", Status());
    Seen seen[3];
    HANDLE watcher = WatchBoxSequence({IDCANCEL, IDCANCEL, IDYES}, seen);
    SendMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, (LPARAM)list);
    SendMessageA(MainWindow, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(MainWindow)) << "Cancel keeps the window";
    EXPECT_EQ(2, CheckState(list, 1));
    SendMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, (LPARAM)list);
    Finish(watcher);
    Pump();
    for (const Seen &box : seen)
        EXPECT_EQ("Apply the 1 change you made?", box.text);
    EXPECT_EQ(Sz(probe), ValueBytes(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY "\\RunOnce", "Later"))
        << "Yes applied it";
    EXPECT_EQ("Refreshed: 3 entries.", Status());
}

// The list answers Delete (asking first), F5, Enter and a double-click; the
// icon-only buttons carry tooltips.
TEST_F(MainWindowTest, ListKeysDoubleClickAndTooltips)
{
    SeedThree();
    SelectRow(list, 0);
    Seen seen;
    HANDLE watcher = WatchBox(IDNO, &seen);
    SendMessageA(list, WM_KEYDOWN, VK_DELETE, 0);
    Finish(watcher);
    EXPECT_EQ(0u, seen.text.find("Remove \"User Tool\"?"));
    SendMessageA(list, WM_KEYDOWN, VK_F5, 0);
    Pump();
    EXPECT_EQ("Refreshed: 3 entries.", Status());
    SelectRow(list, 0);
    SendMessageA(list, WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    ASSERT_NE((HWND)NULL, EditorWindow) << "Enter edits";
    SendMessageA(EditorWindow, WM_CLOSE, 0, 0);
    Pump();
    RECT row = {LVIR_LABEL, 0, 0, 0};
    SendMessageA(list, LVM_GETITEMRECT, 0, (LPARAM)&row);
    LPARAM at = MAKELPARAM(row.left + 40, (row.top + row.bottom) / 2);
    SendMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageA(list, WM_LBUTTONUP, 0, at);
    SendMessageA(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    SendMessageA(list, WM_LBUTTONUP, 0, at);
    Pump();
    ASSERT_NE((HWND)NULL, EditorWindow) << "a double-click edits";
    SendMessageA(EditorWindow, WM_CLOSE, 0, 0);
    Pump();

    HWND tips = NULL;
    while ((tips = FindWindowExA(NULL, tips, "tooltips_class32", NULL)) != NULL)
        if (GetWindow(tips, GW_OWNER) == MainWindow)
            break;
    ASSERT_NE((HWND)NULL, tips);
    EXPECT_EQ(3, SendMessageA(tips, TTM_GETTOOLCOUNT, 0, 0));
    for (int id : {IDM_REFRESH, IDM_SAVE_LOG, IDM_HELP_BUTTON}) {
        char text[80] = "";
        TOOLINFOA info = {};
        info.cbSize = TTTOOLINFOA_V2_SIZE;
        info.hwnd = MainWindow;
        info.uId = (UINT_PTR)GetDlgItem(MainWindow, id);
        info.lpszText = text;
        SendMessageA(tips, TTM_GETTEXTA, sizeof text, (LPARAM)&info);
        EXPECT_NE("", std::string(text)) << id;
    }
}

TEST_F(MainWindowTest, EditWithoutSelectionSaysSo)
{
    SeedThree();
    // A Refresh keeps the last selection: take it away first.
    LVITEMA none;
    memset(&none, 0, sizeof none);
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&none);
    EditIndex = 5;
    Seen seen;
    HANDLE watcher = WatchBox(IDOK, &seen);
    Command(IDM_EDIT);
    Finish(watcher);
    ASSERT_TRUE(seen.found);
    EXPECT_EQ("Error", seen.caption);
    EXPECT_EQ(NO_SELECTION_TEXT, seen.text);
    EXPECT_EQ(-1, EditIndex);
    EXPECT_EQ((HWND)NULL, EditorWindow);
}

TEST_F(MainWindowTest, SaveLogRefreshesThenWritesTheReport)
{
    SeedThree();
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string chosen = std::string(temp) + "orvane-log";
    DeleteFileA((chosen + ".html").c_str());
    Seen seen;
    HANDLE watcher = WatchFileDialog("Save Log...", chosen, &seen);
    Command(IDM_SAVE_LOG);
    Finish(watcher);
    Pump();
    ASSERT_TRUE(seen.found);
    SYSTEMTIME today;
    GetLocalTime(&today);
    char proposed[64];
    snprintf(proposed, sizeof proposed, "Orvane Tool report %04d-%02d-%02d.html", today.wYear,
             today.wMonth, today.wDay);
    EXPECT_EQ(proposed, seen.text) << "the name proposed";
    EXPECT_EQ(0u, Status().find("Report saved: ")) << Status();
    EXPECT_EQ("orvane-log.html", Status().substr(Status().size() - 15));
    std::string report = ReadWholeFile(chosen + ".html");
    EXPECT_EQ(0u, report.find("<html>\n<head>\n<meta http-equiv=\"Content-Type\" "
                              "content=\"text/html; charset=utf-8\">\n<title>Orvane Items</title>"));
    EXPECT_NE(std::string::npos, report.find("<h3>User Tool</h3>"));
    EXPECT_NE(std::string::npos, report.find("<h3>Probe.lnk</h3>"));
    // The dialog asked about "orvane-log", not the name completed here: kept.
    watcher = WatchFileDialog("Save Log...", chosen, &seen);
    Command(IDM_SAVE_LOG);
    Finish(watcher);
    Pump();
    EXPECT_NE(std::string::npos, Status().find("already exists")) << Status();
    EXPECT_EQ(report, ReadWholeFile(chosen + ".html"));
    DeleteFileA((chosen + ".html").c_str());
}

TEST(SaveLogName, CaseSensitiveHtmRuleAndNoOverflow)
{
    const struct {
        const char *chosen, *written;
    } names[] = {{"report", "report.html"},       {"report.htm", "report.htm"},
                 {"a.html", "a.html"},            {"x.htm.bak", "x.htm.bak"},
                 {"REPORT.HTM", "REPORT.HTM.html"}};
    for (const auto &name : names) {
        char path[TEXT_FIELD_SIZE];
        TextCopy(path, sizeof path, name.chosen);
        EXPECT_EQ(1, CompleteLogPath(path, sizeof path)) << name.chosen;
        EXPECT_STREQ(name.written, path);
    }
    char full[TEXT_FIELD_SIZE];
    std::string longest(255, 'r');
    TextCopy(full, sizeof full, longest.c_str());
    EXPECT_EQ(0, CompleteLogPath(full, sizeof full)) << "no room for .html: refused";
    EXPECT_EQ(longest, full);
    TextCopy(full, sizeof full, std::string(254, 'r').c_str());
    EXPECT_EQ(1, CompleteLogPath(full, sizeof full));
    EXPECT_EQ(259u, strlen(full));
}

// Shell icons handed to the list and destroyed by it, counted through the
// program's imports.
typedef DWORD_PTR(WINAPI *FileInfoCall)(LPCSTR, DWORD, SHFILEINFOA *, UINT, UINT);
typedef BOOL(WINAPI *DestroyIconCall)(HICON);
static FileInfoCall RealFileInfo;
static DestroyIconCall RealDestroyIcon;
static std::vector<HICON> IconsGiven, IconsDestroyed;

static DWORD_PTR WINAPI CountingFileInfo(LPCSTR path, DWORD attributes, SHFILEINFOA *info,
                                         UINT size, UINT flags)
{
    DWORD_PTR result = RealFileInfo(path, attributes, info, size, flags);
    if (result && (flags & SHGFI_ICON) && info->hIcon)
        IconsGiven.push_back(info->hIcon);
    return result;
}

static BOOL WINAPI CountingDestroyIcon(HICON icon)
{
    IconsDestroyed.push_back(icon);
    return RealDestroyIcon(icon);
}

TEST_F(MainWindowTest, TenRefreshesCopyNoIconAndGrowNoList)
{
    SeedThree();
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Missing", "C:\\nowhere\\gone.exe"));
    IconsGiven.clear();
    IconsDestroyed.clear();
    RealFileInfo = (FileInfoCall)HookImport("shell32.dll", "SHGetFileInfoA", (void *)CountingFileInfo);
    RealDestroyIcon =
        (DestroyIconCall)HookImport("user32.dll", "DestroyIcon", (void *)CountingDestroyIcon);
    ASSERT_TRUE(RealFileInfo && RealDestroyIcon);
    Refresh();
    int shared = ImageList_GetImageCount(SmallIconList);
    for (int i = 0; i < 10; ++i) {
        Refresh();
        EXPECT_EQ(shared, ImageList_GetImageCount(SmallIconList)) << "refresh " << i;
        for (int row = 0; row < Rows(); ++row) {
            LVITEMA item = {};
            item.mask = LVIF_IMAGE;
            item.iItem = row;
            SendMessageA(list, LVM_GETITEMA, 0, (LPARAM)&item);
            EXPECT_TRUE(item.iImage >= 0 && item.iImage < shared) << "row " << row;
        }
    }
    HookImport("shell32.dll", "SHGetFileInfoA", (void *)RealFileInfo);
    HookImport("user32.dll", "DestroyIcon", (void *)RealDestroyIcon);
    EXPECT_TRUE(IconsGiven.empty()) << "rows show the system's icons by index: none copied";
    EXPECT_EQ(4, Rows());
}

// ---- faults a reviewer found ----

TEST_F(MainWindowTest, KeyboardContextMenuOpensAtTheSelectedRow)
{
    SeedThree();
    SelectRow(list, 1);
    RECT row;
    row.left = LVIR_LABEL;
    ASSERT_TRUE(SendMessageA(list, LVM_GETITEMRECT, 1, (LPARAM)&row));
    MapWindowPoints(list, NULL, (POINT *)&row, 2);
    Seen seen;
    HANDLE watcher = WatchMenu(-1, &seen);
    SendMessageA(list, WM_CONTEXTMENU, (WPARAM)list, (LPARAM)-1);
    Finish(watcher);
    Pump();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(row.left, seen.where.left);
    EXPECT_EQ(row.bottom, seen.where.top);

    // From the mouse, the menu keeps its point.
    watcher = WatchMenu(-1, &seen);
    SendMessageA(list, WM_CONTEXTMENU, (WPARAM)list, MAKELPARAM(140, 150));
    Finish(watcher);
    Pump();
    EXPECT_EQ(140, seen.where.left);
    EXPECT_EQ(150, seen.where.top);
}

static WNDPROC ListProcBeforeTest;
static LRESULT CALLBACK RefuseSecondRow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == LVM_SETITEMCOUNT && wParam > 1)
        wParam = 1;
    return CallWindowProcA(ListProcBeforeTest, window, message, wParam, lParam);
}

// A list that takes fewer rows than asked ends there, each row showing its
// own record, and Apply then reads no check box into a record it does not
// belong to.
TEST_F(MainWindowTest, ARowThatCannotBeInsertedShiftsNoLaterRow)
{
    ListProcBeforeTest = (WNDPROC)SetWindowLongPtrA(list, GWLP_WNDPROC, (LONG_PTR)RefuseSecondRow);
    SeedThree();
    SetWindowLongPtrA(list, GWLP_WNDPROC, (LONG_PTR)ListProcBeforeTest);
    ASSERT_EQ(1, Rows());
    EXPECT_EQ("User Tool", ItemText(list, 0, 0));
    Command(IDM_APPLY);
    EXPECT_NE("<absent>", ValueBytes(HKEY_LOCAL_MACHINE, kRunOnceOff, "Later"));
    EXPECT_TRUE(FileExists(ShellFolder(CSIDL_COMMON_STARTUP) + "\\Probe.lnk"));
    EXPECT_EQ(3, Rows());
}

typedef LPVOID(WINAPI *HeapAllocCall)(HANDLE, DWORD, SIZE_T);
static HeapAllocCall RealHeapAlloc;
static LPVOID WINAPI NoHeap(HANDLE, DWORD, SIZE_T)
{
    return NULL;
}

TEST_F(MainWindowTest, ApplyWithoutMemoryForTheCheckBoxesSaysSo)
{
    SeedThree();
    RunItemCommand(list, IDM_TOGGLE, 0);
    RealHeapAlloc = (HeapAllocCall)HookImport("kernel32.dll", "HeapAlloc", (void *)NoHeap);
    ASSERT_NE((HeapAllocCall)NULL, RealHeapAlloc);
    Command(IDM_APPLY);
    HookImport("kernel32.dll", "HeapAlloc", (void *)RealHeapAlloc);
    EXPECT_EQ(STATUS_CHECKS_UNREAD, Status());
    EXPECT_NE("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "User Tool"));
}

TEST_F(MainWindowTest, ButtonIconsAreLoadedAtTheSizeTheyAreDrawn)
{
    for (int id : {IDM_ADD, IDM_EDIT, IDM_CLEANUP, IDM_APPLY, IDM_EXIT, IDM_REFRESH}) {
        SkinButtonData *data =
            (SkinButtonData *)GetWindowLongPtrA(GetDlgItem(MainWindow, id), GWLP_USERDATA);
        ASSERT_NE(nullptr, data) << id;
        ICONINFO info;
        ASSERT_TRUE(GetIconInfo(data->icon, &info)) << id;
        BITMAP bitmap;
        GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        EXPECT_EQ(20, bitmap.bmWidth) << id;
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
    }
}

// An unreadable version block shows its error box during the scan; the box
// is owned by the main window, and a Refresh that its message loop hands on
// replaces the scan cleanly: the list ends with the new scan's rows, every
// detail read.
typedef BOOL(WINAPI *VersionInfoCall)(LPCSTR, DWORD, DWORD, LPVOID);
typedef int(WINAPI *MessageBoxCall)(HWND, LPCSTR, LPCSTR, UINT);
static VersionInfoCall RealVersionInfo;
static MessageBoxCall RealMessageBox;
static volatile LONG VersionReads;
static int BoxesShown;
static HANDLE ReadsReleased; // while set, the version reads wait for it

static BOOL WINAPI FailFirstVersionRead(LPCSTR path, DWORD handle, DWORD size, LPVOID block)
{
    if (InterlockedIncrement(&VersionReads) == 1) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    return RealVersionInfo(path, handle, size, block);
}

static BOOL WINAPI HeldVersionRead(LPCSTR path, DWORD handle, DWORD size, LPVOID block)
{
    InterlockedIncrement(&VersionReads);
    // Held only off the window's thread: read there, it would freeze the test.
    if (GetWindowThreadProcessId(MainWindow, NULL) != GetCurrentThreadId())
        WaitForSingleObject(ReadsReleased, 30000);
    return RealVersionInfo(path, handle, size, block);
}

static int WINAPI CountingBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    if (++BoxesShown == 1)
        PostMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, 0);
    return RealMessageBox(owner, text, caption, type);
}

static int PendingRecords()
{
    int pending = 0;
    for (int32_t i = 0; i < ItemCatalogue.count; ++i)
        pending += ItemCatalogue.items[i].detailsPending;
    return pending;
}

TEST_F(MainWindowTest, NoScanStartsInsideAScan)
{
    SeedThree();
    VersionReads = 0;
    BoxesShown = 0;
    RealVersionInfo = (VersionInfoCall)HookImport("version.dll", "GetFileVersionInfoA",
                                                  (void *)FailFirstVersionRead);
    RealMessageBox = (MessageBoxCall)HookImport("user32.dll", "MessageBoxA", (void *)CountingBox);
    ASSERT_TRUE(RealVersionInfo && RealMessageBox);
    Seen seen;
    HANDLE watcher = WatchBox(IDOK, &seen);
    Refresh();
    Finish(watcher);
    Pump();
    HookImport("version.dll", "GetFileVersionInfoA", (void *)RealVersionInfo);
    HookImport("user32.dll", "MessageBoxA", (void *)RealMessageBox);
    EXPECT_EQ(1, BoxesShown);
    EXPECT_EQ(MainWindow, seen.owner);
    EXPECT_EQ(3, Rows());
    EXPECT_EQ(0, PendingRecords());
    EXPECT_GT(VersionReads, 3) << "the Refresh inside the box read again";
}

namespace {

// Answers the window with WM_NULL from another thread until told to stop.
struct WindowProbe {
    HWND window;
    volatile LONG stop;
    volatile LONG answers;
    volatile LONG timeouts;
};

unsigned __stdcall ProbeWindow(void *argument)
{
    WindowProbe *probe = (WindowProbe *)argument;
    while (!probe->stop) {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(probe->window, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result))
            InterlockedIncrement(&probe->answers);
        else
            InterlockedIncrement(&probe->timeouts);
        Sleep(5);
    }
    return 0;
}

} // namespace

// A slow Refresh (many programs in a Startup folder): every row is there
// before any file is read, the pane says so, and the window answers while
// the details come in.
TEST_F(MainWindowTest, RowsComeBeforeTheirDetailsAndTheWindowAnswersMeanwhile)
{
    const int files = 120;
    std::string folder = ShellFolder(CSIDL_STARTUP);
    for (int i = 0; i < files; ++i)
        ASSERT_TRUE(CopyFileA(probe.c_str(),
                              (folder + "\\copy" + std::to_string(i) + ".exe").c_str(), FALSE));
    DropPendingChecks();
    // The worker is held inside its first file read: rows, no details.
    VersionReads = 0;
    ReadsReleased = CreateEventA(NULL, TRUE, FALSE, NULL);
    RealVersionInfo = (VersionInfoCall)HookImport("version.dll", "GetFileVersionInfoA",
                                                  (void *)HeldVersionRead);
    ASSERT_TRUE(ReadsReleased && RealVersionInfo);
    const AutostartItem *before = ItemCatalogue.items;
    SendMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, 0);
    WindowProbe state = {MainWindow, 0, 0, 0};
    HANDLE thread = (HANDLE)_beginthreadex(NULL, 0, ProbeWindow, &state, 0, NULL);
    ASSERT_NE((HANDLE)NULL, thread);
    MSG message;
    auto serve = [&](auto until) {
        for (DWORD start = GetTickCount(); !until() && GetTickCount() - start < 60000;) {
            if (!PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
                MsgWaitForMultipleObjects(0, NULL, FALSE, 10, QS_ALLINPUT);
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    };
    serve([&] { return ItemCatalogue.items != before && VersionReads > 0; });
    ASSERT_EQ(files, Rows());
    EXPECT_EQ(files, PendingRecords());
    SelectRow(list, files - 1);
    EXPECT_EQ(DETAILS_PENDING_TEXT, Field(IDC_DESCRIPTION));
    LONG answeredWhileHeld = state.answers;
    serve([&] { return state.answers > answeredWhileHeld + 2; });
    EXPECT_EQ(files, PendingRecords()) << "the window answered while nothing was read";
    SetEvent(ReadsReleased);
    serve([&] { return PendingRecords() == 0; });
    HookImport("version.dll", "GetFileVersionInfoA", (void *)RealVersionInfo);
    CloseHandle(ReadsReleased);
    LONG answeredWhileReading = state.answers - answeredWhileHeld;
    state.stop = 1;
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 5000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
        Pump();
    CloseHandle(thread);
    EXPECT_EQ(0, PendingRecords());
    EXPECT_GT(answeredWhileReading, 0) << "the window did not answer while reading";
    EXPECT_EQ(0, state.timeouts);
    EXPECT_EQ("Orvane test probe", Field(IDC_DESCRIPTION));
    EXPECT_EQ(PUBLISHER_NOT_SIGNED, Field(IDC_PUBLISHER));
}

// Rows that come while a question is open wait for its answer: the entry
// asked about is the one removed, though another program put a new entry
// before it meanwhile, and the new rows come after.
TEST_F(MainWindowTest, RowsThatComeDuringAQuestionWaitForItsAnswer)
{
    SeedThree();
    const int row = RowOf("User Tool");
    ASSERT_GE(row, 0);
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "AAA First", probe));
    VersionReads = 0;
    ReadsReleased = CreateEventA(NULL, TRUE, FALSE, NULL);
    RealVersionInfo = (VersionInfoCall)HookImport("version.dll", "GetFileVersionInfoA",
                                                  (void *)HeldVersionRead);
    ASSERT_TRUE(ReadsReleased && RealVersionInfo);
    SendMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, 0);
    // Answered only once the worker has handed its rows over.
    static Seen seen;
    static LRESULT rowsInTheBox;
    rowsInTheBox = -1;
    HANDLE answer = (HANDLE)_beginthreadex(
        NULL, 0,
        [](void *list) -> unsigned {
            for (int i = 0; i < 3000 && !VersionReads; ++i)
                Sleep(10);
            Sleep(300); // time for the box's own loop to serve the rows' notice
            rowsInTheBox = SendMessageA((HWND)list, LVM_GETITEMCOUNT, 0, 0);
            Finish(WatchBox(IDYES, &seen));
            return 0;
        },
        list, 0, NULL);
    RunItemCommand(list, IDM_REMOVE, row);
    WaitForSingleObject(answer, 60000);
    CloseHandle(answer);
    EXPECT_EQ(0u, seen.text.find("Remove \"User Tool\"?")) << seen.text;
    EXPECT_EQ(3, rowsInTheBox) << "the new rows did not wait for the answer";
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "User Tool"));
    EXPECT_EQ(Sz(probe), ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "AAA First"));
    SetEvent(ReadsReleased);
    Pump();
    HookImport("version.dll", "GetFileVersionInfoA", (void *)RealVersionInfo);
    CloseHandle(ReadsReleased);
    EXPECT_GE(RowOf("AAA First"), 0) << "the rows came after the answer";
    EXPECT_EQ(-1, RowOf("User Tool"));
}

// Header clicks sort by the column, then in reverse, then as scanned; a
// Refresh keeps the sort and the selected entry.
TEST_F(MainWindowTest, HeaderClicksSortAndRefreshKeepsSortAndSelection)
{
    SeedThree();
    auto click = [&](int column) {
        NMLISTVIEW click = {};
        click.hdr.hwndFrom = list;
        click.hdr.idFrom = IDC_ITEM_LIST;
        click.hdr.code = LVN_COLUMNCLICK;
        click.iItem = -1;
        click.iSubItem = column;
        SendMessageA(MainWindow, WM_NOTIFY, IDC_ITEM_LIST, (LPARAM)&click);
    };
    auto names = [&]() {
        std::string all;
        for (int row = 0; row < Rows(); ++row)
            all += ItemText(list, row, 0) + ",";
        return all;
    };
    click(0);
    EXPECT_EQ("Later,Probe.lnk,User Tool,", names());
    click(0);
    EXPECT_EQ("User Tool,Probe.lnk,Later,", names());
    SelectRow(list, 2);
    Refresh();
    EXPECT_EQ("User Tool,Probe.lnk,Later,", names());
    EXPECT_EQ(2, SelectedRow(list));
    SelectRow(list, 0);
    SelectRow(list, 2);
    EXPECT_EQ(std::string("HKLM\\") + kRunOnceOff, Field(IDC_LOCATION)) << "row 2 acts on its own record";
    click(1);
    EXPECT_EQ("Later,Probe.lnk,User Tool,", names()) << "ALL before USR, ties as scanned";
    click(1);
    click(1);
    EXPECT_EQ("User Tool,Later,Probe.lnk,", names()) << "the scan's order again";
}

// Last of the suite: the list shows the system's small icon list, which
// neither the list view nor the shutdown may destroy.
TEST_F(MainWindowTest, TheSharedIconListOutlivesTheMainWindow)
{
    SeedThree();
    HIMAGELIST shared = SmallIconList;
    DestroyMainWindow();
    FreeSharedResources();
    int width = 0, height = 0;
    EXPECT_TRUE(ImageList_GetIconSize(shared, &width, &height)) << "destroyed";
    EXPECT_EQ(16, width);
    CreateSharedResources();
    EXPECT_EQ(shared, SmallIconList) << "the one system list";
    EnsureMainWindow();
}

// A larger window: the list takes the room, nothing overlaps, the Path
// column follows, and the next start comes back at that size.
TEST(ResizedMainWindow, KeepsItsLayoutAndIsRestoredAtTheNextStart)
{
    EnsureMainWindow();
    HWND list = GetDlgItem(MainWindow, IDC_ITEM_LIST);
    RECT outer, before, after;
    GetWindowRect(MainWindow, &outer);
    GetWindowRect(list, &before);
    int path = (int)SendMessageA(list, LVM_GETCOLUMNWIDTH, COLUMN_PATH, 0);
    int name = (int)SendMessageA(list, LVM_GETCOLUMNWIDTH, COLUMN_NAME, 0);
    MINMAXINFO limits = {};
    SendMessageA(MainWindow, WM_GETMINMAXINFO, 0, (LPARAM)&limits);
    EXPECT_EQ(outer.right - outer.left, limits.ptMinTrackSize.x);
    EXPECT_EQ(outer.bottom - outer.top, limits.ptMinTrackSize.y);
    int width = outer.right - outer.left + 200, height = outer.bottom - outer.top + 150;
    SetWindowPos(MainWindow, NULL, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    Pump();
    GetWindowRect(list, &after);
    EXPECT_EQ(before.right - before.left + 200, after.right - after.left);
    // Three lines more for the command, the rest for the list.
    EXPECT_EQ(before.bottom - before.top + 150 - 48, after.bottom - after.top);
    RECT command;
    GetWindowRect(GetDlgItem(MainWindow, IDC_COMMAND), &command);
    EXPECT_EQ(49 + 48, command.bottom - command.top);
    // The Name and Path columns share the width gained.
    EXPECT_EQ(name + 66, SendMessageA(list, LVM_GETCOLUMNWIDTH, COLUMN_NAME, 0));
    EXPECT_EQ(path + 134, SendMessageA(list, LVM_GETCOLUMNWIDTH, COLUMN_PATH, 0));

    RECT client, status;
    GetClientRect(MainWindow, &client);
    GetWindowRect(GetDlgItem(MainWindow, IDC_STATUS), &status);
    MapWindowPoints(NULL, MainWindow, (POINT *)&status, 2);
    std::vector<HWND> children;
    for (HWND child = GetWindow(MainWindow, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (child != GetDlgItem(MainWindow, IDC_STATUS))
            children.push_back(child);
    HWND group = FindWindowExA(MainWindow, NULL, "BUTTON", "Details");
    RECT box;
    GetWindowRect(group, &box);
    MapWindowPoints(NULL, MainWindow, (POINT *)&box, 2);
    for (size_t i = 0; i < children.size(); ++i) {
        RECT one, two, common;
        GetWindowRect(children[i], &one);
        MapWindowPoints(NULL, MainWindow, (POINT *)&one, 2);
        EXPECT_TRUE(one.left >= 0 && one.right <= client.right && one.bottom <= status.top)
            << ControlText(children[i]);
        // The labels and fields sit inside the details box, all else outside.
        int inside = one.top > box.top && one.bottom < box.bottom;
        if (children[i] != group) {
            EXPECT_EQ(inside, (bool)IntersectRect(&common, &one, &box)) << ControlText(children[i]);
        }
        for (size_t j = i + 1; j < children.size(); ++j) {
            GetWindowRect(children[j], &two);
            MapWindowPoints(NULL, MainWindow, (POINT *)&two, 2);
            int both = inside && two.top > box.top && two.bottom < box.bottom;
            if (children[i] != group && children[j] != group && !both) {
                EXPECT_FALSE(IntersectRect(&common, &one, &two))
                    << ControlText(children[i]) << " / " << ControlText(children[j]);
            }
        }
    }

    SendMessageA(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(123, 0));
    EXPECT_EQ(PLAT_OK, SaveMainWindowLayout(MainWindow));
    DestroyMainWindow();
    EnsureMainWindow();
    GetWindowRect(MainWindow, &outer);
    EXPECT_EQ(width, outer.right - outer.left);
    EXPECT_EQ(height, outer.bottom - outer.top);
    EXPECT_EQ(123, SendMessageA(GetDlgItem(MainWindow, IDC_ITEM_LIST), LVM_GETCOLUMNWIDTH, 0, 0));

    // Left maximised: back maximised, over the size it returns to, and the
    // Path column as it was at that size.
    list = GetDlgItem(MainWindow, IDC_ITEM_LIST);
    path = (int)SendMessageA(list, LVM_GETCOLUMNWIDTH, COLUMN_PATH, 0);
    ShowWindow(MainWindow, SW_SHOWMAXIMIZED);
    Pump();
    ASSERT_TRUE(IsZoomed(MainWindow));
    EXPECT_EQ(PLAT_OK, SaveMainWindowLayout(MainWindow));
    DestroyMainWindow();
    EnsureMainWindow();
    EXPECT_TRUE(IsZoomed(MainWindow));
    ShowWindow(MainWindow, SW_RESTORE);
    Pump();
    GetWindowRect(MainWindow, &outer);
    EXPECT_EQ(width, outer.right - outer.left);
    EXPECT_EQ(height, outer.bottom - outer.top);
    EXPECT_EQ(path, SendMessageA(GetDlgItem(MainWindow, IDC_ITEM_LIST), LVM_GETCOLUMNWIDTH,
                                 COLUMN_PATH, 0));

    // The suites after this one start at today's size.
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Orvane Tool", 0, KEY_SET_VALUE, &key) == 0) {
        RegDeleteValueA(key, "MainWindowLayout");
        RegCloseKey(key);
    }
    DestroyMainWindow();
}
