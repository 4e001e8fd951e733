// editor_wine_test.cpp - the real Add/Edit window under Wine and Xvfb,
// opened from the real main window of this process.
#include "../../store/store.h"
#include "../../ui/help.h"
#include "../integration/wine_places.h"
#include "../support/store_helpers.h"
#include "gui_support.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

const char *kRunOnce = CURRENT_VERSION_KEY "\\RunOnce";
const char *kRunOnceOff = CURRENT_VERSION_KEY "\\RunOnce-";

class Editor : public testing::Test {
protected:
    static void SetUpTestSuite() { EnsureMainWindow(); }
    static void TearDownTestSuite() { DestroyMainWindow(); }

    HWND list = NULL;

    void SetUp() override
    {
        ASSERT_NE((HWND)NULL, MainWindow);
        list = GetDlgItem(MainWindow, IDC_ITEM_LIST);
        EmptyAllPlaces();
        Refresh();
    }

    void TearDown() override
    {
        if (EditorWindow)
            SendMessageA(EditorWindow, WM_CLOSE, 0, 0);
        Pump();
        EmptyAllPlaces();
    }

    void Refresh()
    {
        DropPendingChecks();
        SendMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, 0);
        Pump();
    }

    int Rows() { return (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0); }

    HWND Control(int id) { return GetDlgItem(EditorWindow, id); }

    bool Checked(int id) { return SendMessageA(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

    void Type(int id, const char *text) { SetWindowTextA(Control(id), text); }

    // Clicks a skinned button the way the mouse does.
    void Click(int id)
    {
        SendMessageA(Control(id), WM_LBUTTONDOWN, 0, MAKELPARAM(5, 5));
        SendMessageA(Control(id), WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    }

    void ChooseAllUsers()
    {
        SendMessageA(Control(IDC_EDITOR_ALL), BM_CLICK, 0, 0);
    }

    void Open(int command)
    {
        SendMessageA(MainWindow, WM_COMMAND, command, 0);
        Pump();
        ASSERT_NE((HWND)NULL, EditorWindow);
    }

    void EditRow(int row)
    {
        SelectRow(list, row);
        Open(IDM_EDIT);
    }
};

bool SameBitmap(HBITMAP a, HBITMAP b)
{
    BITMAP infoA, infoB;
    if (!GetObjectA(a, sizeof infoA, &infoA) || !GetObjectA(b, sizeof infoB, &infoB))
        return false;
    if (infoA.bmWidth != infoB.bmWidth || infoA.bmHeight != infoB.bmHeight)
        return false;
    LONG bytes = infoA.bmWidthBytes * infoA.bmHeight;
    std::vector<char> bitsA(bytes), bitsB(bytes);
    return GetBitmapBits(a, bytes, bitsA.data()) == bytes
           && GetBitmapBits(b, bytes, bitsB.data()) == bytes && bitsA == bitsB;
}

// A program file that exists for one test: a missing one is asked about.
struct FileThere {
    std::string path;
    explicit FileThere(const char *at) : path(at)
    {
        HANDLE file = CreateFileA(at, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        if (file != INVALID_HANDLE_VALUE)
            CloseHandle(file);
    }
    ~FileThere() { DeleteFileA(path.c_str()); }
};

} // namespace

TEST_F(Editor, AddOpensEmptyForTheUserWithTheAddHeader)
{
    Open(IDM_ADD);
    char title[32];
    GetWindowTextA(EditorWindow, title, sizeof title);
    EXPECT_STREQ("Add a startup entry", title);
    EXPECT_EQ(EditorAdd, EditMode);
    HBITMAP addHeader = LoadBitmapA(AppInstance, MAKEINTRESOURCEA(IDB_EDITOR_ADD));
    EXPECT_TRUE(SameBitmap(addHeader, EditorHeaderBitmap)) << "header 115";
    DeleteObject(addHeader);
    for (int id : {IDC_EDITOR_NAME, IDC_EDITOR_FILE, IDC_EDITOR_PARAMETERS})
        EXPECT_EQ("", ControlText(Control(id))) << id;
    EXPECT_TRUE(Checked(IDC_EDITOR_USER));
    EXPECT_FALSE(Checked(IDC_EDITOR_ALL));
    EXPECT_EQ(Control(IDC_EDITOR_NAME), GetFocus());
    EXPECT_FALSE(IsWindowEnabled(MainWindow)) << "the main window waits";
    EXPECT_EQ(MainWindow, GetWindow(EditorWindow, GW_OWNER));
    RECT client;
    GetClientRect(EditorWindow, &client);
    EXPECT_EQ(380, client.right);
    EXPECT_EQ(380, client.bottom);
}

TEST_F(Editor, ThirteenControlsWithTheirTexts)
{
    Open(IDM_ADD);
    const struct {
        int id;
        const char *text;
        int x, y, width, height;
    } rows[] = {{IDC_EDITOR_NAME, "", 15, 110, 350, 25},
                {IDC_EDITOR_FILE, "", 15, 170, 320, 25},
                {IDC_BROWSE, "&Browse...", 340, 170, 25, 25},
                {IDC_EDITOR_PARAMETERS, "", 15, 230, 350, 25},
                {IDC_EDITOR_USER, "Only &me", 15, 290, 100, 25},
                {IDC_EDITOR_ALL, "&All users", 135, 290, 100, 25},
                {IDC_OK, "&OK", 150, 335, 100, 30},
                {IDC_CANCEL, "&Cancel", 265, 335, 100, 30},
                {IDC_EDITOR_HELP, "&Help", 330, 13, 35, 35}};
    for (const auto &row : rows) {
        HWND control = Control(row.id);
        ASSERT_NE((HWND)NULL, control) << row.id;
        EXPECT_EQ(row.text, ControlText(control)) << row.id;
        RECT rect;
        GetWindowRect(control, &rect);
        MapWindowPoints(NULL, EditorWindow, (POINT *)&rect, 2);
        EXPECT_EQ(row.x, rect.left) << row.id;
        EXPECT_EQ(row.y, rect.top) << row.id;
        EXPECT_EQ(row.width, rect.right - rect.left) << row.id;
        EXPECT_EQ(row.height, rect.bottom - rect.top) << row.id;
    }
    for (int id : {IDC_BROWSE, IDC_OK, IDC_CANCEL, IDC_EDITOR_HELP})
        EXPECT_EQ((LONG)BS_OWNERDRAW, GetWindowLongA(Control(id), GWL_STYLE) & BS_TYPEMASK) << id;
    int labels = 0;
    for (HWND child = GetWindow(EditorWindow, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[32];
        GetClassNameA(child, className, sizeof className);
        labels += lstrcmpiA(className, "Static") == 0;
    }
    EXPECT_EQ(4, labels);
}

TEST_F(Editor, EmptyNameOrFileIsRefusedWithTheFocusThere)
{
    Open(IDM_ADD);
    Seen seen;
    HANDLE watcher = WatchBox(IDOK, &seen);
    Click(IDC_OK);
    Finish(watcher);
    Pump();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ("Orvane", seen.caption);
    EXPECT_EQ(NAME_MISSING_TEXT, seen.text);
    EXPECT_EQ(EditorWindow, seen.owner);
    ASSERT_NE((HWND)NULL, EditorWindow) << "the window stays open";
    EXPECT_EQ(Control(IDC_EDITOR_NAME), GetFocus());

    Type(IDC_EDITOR_NAME, "Tool");
    watcher = WatchBox(IDOK, &seen);
    Click(IDC_OK);
    Finish(watcher);
    Pump();
    EXPECT_EQ(FILE_MISSING_TEXT, seen.text);
    ASSERT_NE((HWND)NULL, EditorWindow);
    EXPECT_EQ(Control(IDC_EDITOR_FILE), GetFocus());
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Tool"));
}

TEST_F(Editor, AddForAllUsersWritesTheRunKeyAndTheRowAppears)
{
    Open(IDM_ADD);
    Type(IDC_EDITOR_NAME, "Tool");
    Type(IDC_EDITOR_FILE, "C:\\Program Files\\Tool\\tool.exe");
    Type(IDC_EDITOR_PARAMETERS, "-quiet");
    ChooseAllUsers();
    // The program is not there: asked first, No the default and nothing saved.
    Seen seen;
    HANDLE watcher = WatchBox(IDNO, &seen);
    Click(IDC_OK);
    Finish(watcher);
    Pump();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ("The program \"C:\\Program Files\\Tool\\tool.exe\" was not found, so Windows "
              "would start nothing.\n\nSave the entry anyway?", seen.text);
    EXPECT_EQ(Control(IDC_EDITOR_FILE), GetFocus());
    EXPECT_EQ("<absent>", ValueBytes(HKEY_LOCAL_MACHINE, RUN_KEY, "Tool"));
    watcher = WatchBox(IDYES, &seen);
    Click(IDC_OK);
    Finish(watcher);
    Pump();
    EXPECT_EQ(Sz("\"C:\\Program Files\\Tool\\tool.exe\" -quiet"),
              ValueBytes(HKEY_LOCAL_MACHINE, RUN_KEY, "Tool"));
    EXPECT_EQ((HWND)NULL, EditorWindow);
    EXPECT_TRUE(IsWindowEnabled(MainWindow));
    EXPECT_EQ(MainWindow, GetForegroundWindow());
    ASSERT_EQ(1, Rows());
    EXPECT_EQ("Tool", ItemText(list, 0, 0));
    EXPECT_EQ("ALL", ItemText(list, 0, 1));

    Open(IDM_ADD);
    Type(IDC_EDITOR_NAME, "Bare");
    Type(IDC_EDITOR_FILE, "C:\\Program Files\\Tool\\tool.exe");
    watcher = WatchBox(IDYES, &seen);
    Click(IDC_OK);
    Finish(watcher);
    Pump();
    EXPECT_EQ(Sz("\"C:\\Program Files\\Tool\\tool.exe\""),
              ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Bare"));
    // Added here, after the first list was seen: seen as it is made.
    ASSERT_EQ(2, Rows());
    for (int row = 0; row < Rows(); ++row)
        EXPECT_EQ("", ItemText(list, row, COLUMN_CHANGE)) << ItemText(list, row, 0);
}

TEST_F(Editor, EditShowsTheRecordOfAnAllUsersEntry)
{
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, RUN_KEY, "Agent",
                          "\"C:\\Program Files\\Agent\\agent.exe\" -min"));
    Refresh();
    EditRow(0);
    char title[32];
    GetWindowTextA(EditorWindow, title, sizeof title);
    EXPECT_STREQ("Edit a startup entry", title);
    EXPECT_EQ(EditorEdit, EditMode);
    EXPECT_EQ(0, EditIndex);
    EXPECT_EQ("Agent", ControlText(Control(IDC_EDITOR_NAME)));
    EXPECT_EQ("C:\\Program Files\\Agent\\agent.exe", ControlText(Control(IDC_EDITOR_FILE)));
    EXPECT_EQ("-min", ControlText(Control(IDC_EDITOR_PARAMETERS)));
    EXPECT_TRUE(Checked(IDC_EDITOR_ALL));
    EXPECT_FALSE(Checked(IDC_EDITOR_USER));
    HBITMAP editHeader = LoadBitmapA(AppInstance, MAKEINTRESOURCEA(IDB_EDITOR_EDIT));
    EXPECT_TRUE(SameBitmap(editHeader, EditorHeaderBitmap)) << "header 114";
    DeleteObject(editHeader);
}

TEST_F(Editor, EditOfADisabledRunOnceEntryRenamedAndMovedToAllUsers)
{
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kRunOnceOff, "Later", "C:\\nowhere\\later.exe"));
    Refresh();
    EditRow(0);
    Type(IDC_EDITOR_NAME, "Renamed");
    Type(IDC_EDITOR_PARAMETERS, "-x");
    Click(IDC_OK);
    Pump();
    EXPECT_EQ(Sz("\"C:\\nowhere\\later.exe\" -x"),
              ValueBytes(HKEY_CURRENT_USER, kRunOnceOff, "Renamed"));
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, kRunOnceOff, "Later"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kRunOnce)) << "it stays disabled";
    ASSERT_EQ(1, Rows());
    EXPECT_EQ(1, CheckState(list, 0));

    EditRow(0);
    ChooseAllUsers();
    Click(IDC_OK);
    Pump();
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, kRunOnceOff, "Renamed"));
    EXPECT_EQ(Sz("\"C:\\nowhere\\later.exe\" -x"),
              ValueBytes(HKEY_LOCAL_MACHINE, kRunOnceOff, "Renamed"));
}

TEST_F(Editor, UnchangedEditWritesNothing)
{
    std::string command = "rundll32.exe \"C:\\nowhere\\x.dll\",Start";
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Dll", command));
    Refresh();
    EditRow(0);
    Click(IDC_OK);
    Pump();
    EXPECT_EQ((HWND)NULL, EditorWindow);
    EXPECT_EQ(Sz(command), ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Dll"));
}

TEST_F(Editor, CancelWritesNothingAndDoesNotRefresh)
{
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Keep", "C:\\nowhere\\keep.exe"));
    Refresh();
    EditRow(0);
    Type(IDC_EDITOR_NAME, "Changed");
    // Storage changes meanwhile: only a refresh would show it.
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Other", "C:\\nowhere\\other.exe"));
    Click(IDC_CANCEL);
    Pump();
    EXPECT_EQ((HWND)NULL, EditorWindow);
    EXPECT_TRUE(IsWindowEnabled(MainWindow));
    EXPECT_EQ(MainWindow, GetForegroundWindow());
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Changed"));
    EXPECT_EQ(1, Rows()) << "no refresh after Cancel";
    EXPECT_EQ("C:\\nowhere\\keep.exe", ControlText(GetDlgItem(MainWindow, IDC_COMMAND)));
}

TEST_F(Editor, EditOfAShortcutOpensNoEditor)
{
    ASSERT_TRUE(MakeShortcut(ShellFolder(CSIDL_STARTUP) + "\\Probe.lnk", ProbePath(), "", ""));
    Refresh();
    ASSERT_EQ(1, Rows());
    SelectRow(list, 0);
    // Wine has no property sheet for links and says so in a box, after ten
    // seconds and more on a busy machine: close it whenever it comes.
    Seen seen;
    HANDLE watcher = WatchBoxUntilStopped(IDOK, &seen);
    SendMessageA(MainWindow, WM_COMMAND, IDM_EDIT, 0);
    Stop(watcher);
    Pump();
    EXPECT_EQ(0, EditIndex);
    EXPECT_EQ((HWND)NULL, EditorWindow) << "a shortcut is edited in its property sheet";
    EXPECT_TRUE(IsWindowEnabled(MainWindow));
}

namespace {

std::string HelpArgument;
UINT HelpCommand = 99;

HWND WINAPI RecordHelp(HWND owner, LPCSTR file, UINT command, DWORD_PTR data)
{
    (void)owner;
    (void)data;
    HelpArgument = file ? file : "";
    HelpCommand = command;
    return NULL;
}

} // namespace

TEST_F(Editor, HelpOpensTheAddEditTopic)
{
    // Stand in for the bound HTML Help control and record what it is asked.
    HMODULE savedModule = HtmlHelpModule;
    HtmlHelpFunction savedEntry = HtmlHelpEntry;
    int savedUnavailable = HtmlHelpUnavailable;
    HtmlHelpModule = GetModuleHandleA(NULL);
    HtmlHelpEntry = RecordHelp;
    HtmlHelpUnavailable = 0;

    Open(IDM_ADD);
    Click(IDC_EDITOR_HELP);
    EXPECT_EQ(std::string(HelpFileName) + "::/howtoaddedit.html", HelpArgument);
    EXPECT_EQ(0u, HelpCommand);
    EXPECT_TRUE(FileExists(HelpFileName));

    // The main window's help menu: Help, at the file's default topic.
    SendMessageA(EditorWindow, WM_CLOSE, 0, 0);
    Pump();
    HelpArgument.clear();
    Seen seen;
    HANDLE watcher = WatchMenu(0, &seen);
    SendMessageA(MainWindow, WM_COMMAND, IDM_HELP_BUTTON, 0);
    Finish(watcher);
    Pump();
    EXPECT_EQ(std::string(HelpFileName), HelpArgument);

    std::string extracted = HelpFileName;
    DeleteHelpFile();
    EXPECT_FALSE(FileExists(extracted));
    HtmlHelpModule = savedModule;
    HtmlHelpEntry = savedEntry;
    HtmlHelpUnavailable = savedUnavailable;
}

TEST_F(Editor, BrowsePutsTheChosenPathIntoTheFileField)
{
    Open(IDM_ADD);
    Type(IDC_EDITOR_FILE, "typed");
    std::string probe = ProbePath();
    Seen seen;
    HANDLE watcher = WatchFileDialog(BROWSE_TITLE, probe, &seen);
    Click(IDC_BROWSE);
    Finish(watcher);
    Pump();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(0, lstrcmpiA(probe.c_str(), ControlText(Control(IDC_EDITOR_FILE)).c_str()))
        << ControlText(Control(IDC_EDITOR_FILE));
}

// ---- faults a reviewer found ----

TEST_F(Editor, CannotBeMaximisedOrSized)
{
    Open(IDM_ADD);
    LONG style = GetWindowLongA(EditorWindow, GWL_STYLE);
    EXPECT_EQ(0, style & (WS_MAXIMIZEBOX | WS_THICKFRAME));
    RECT before, after;
    GetWindowRect(EditorWindow, &before);
    SendMessageA(EditorWindow, WM_NCLBUTTONDBLCLK, HTCAPTION, MAKELPARAM(before.left + 50, before.top + 5));
    Pump();
    GetWindowRect(EditorWindow, &after);
    EXPECT_EQ(before.right - before.left, after.right - after.left);
    EXPECT_EQ(before.bottom - before.top, after.bottom - after.top);
}

// A dialog from the keyboard: a close box, Tab and Shift+Tab between the
// fields, Enter for Ok, Escape for Cancel (keys posted to the focused field
// and taken through the program's own message handling).
TEST_F(Editor, TabEnterEscapeAndTheCloseBox)
{
    Open(IDM_ADD);
    EXPECT_NE(0, GetWindowLongA(EditorWindow, GWL_STYLE) & WS_SYSMENU) << "a close box";
    auto press = [](WPARAM key) {
        PostMessageA(GetFocus(), WM_KEYDOWN, key, 0);
        Pump();
    };
    ASSERT_EQ(Control(IDC_EDITOR_NAME), GetFocus());
    press(VK_TAB);
    EXPECT_EQ(Control(IDC_EDITOR_FILE), GetFocus()) << "Tab leaves the Name field";
    press(VK_ESCAPE);
    EXPECT_EQ((HWND)NULL, EditorWindow) << "Escape is Cancel";

    Open(IDM_ADD);
    Type(IDC_EDITOR_NAME, "Keyed");
    Type(IDC_EDITOR_FILE, "C:\\keyed.exe");
    FileThere keyed("C:\\keyed.exe");
    press(VK_RETURN);
    EXPECT_EQ((HWND)NULL, EditorWindow);
    EXPECT_EQ(Sz("C:\\keyed.exe"), ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Keyed"))
        << "Enter is Ok";
}

static HWND WatchedEditor;
static int MainEnabledAtEditorDestroy = -1;
static LRESULT CALLBACK SeeDestroy(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT *message = (const CWPSTRUCT *)lParam;
    if (code == HC_ACTION && message->hwnd == WatchedEditor && message->message == WM_DESTROY)
        MainEnabledAtEditorDestroy = IsWindowEnabled(MainWindow) ? 1 : 0;
    return CallNextHookEx(NULL, code, wParam, lParam);
}

// Closed, the main window is enabled before the editor goes, so Windows
// hands the activation back to it; destroyed any other way, the main window
// is usable again and the header released.
TEST_F(Editor, EveryWayOfClosingLeavesTheMainWindowUsable)
{
    Open(IDM_ADD);
    WatchedEditor = EditorWindow;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, SeeDestroy, NULL, GetCurrentThreadId());
    SendMessageA(EditorWindow, WM_CLOSE, 0, 0);
    UnhookWindowsHookEx(hook);
    EXPECT_EQ(1, MainEnabledAtEditorDestroy);
    EXPECT_TRUE(IsWindowEnabled(MainWindow));

    Open(IDM_ADD);
    EXPECT_FALSE(IsWindowEnabled(MainWindow));
    DestroyWindow(EditorWindow);
    EXPECT_TRUE(IsWindowEnabled(MainWindow));
    EXPECT_EQ((HWND)NULL, EditorWindow);
    EXPECT_EQ((HBITMAP)NULL, EditorHeaderBitmap);
}

// Saving onto another entry's name asks first: No writes nothing and keeps
// the window and its fields; Yes replaces.
TEST_F(Editor, ReplacingAnotherEntryIsAskedFirst)
{
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Taken", "C:\\taken.exe"));
    Refresh();
    Open(IDM_ADD);
    Type(IDC_EDITOR_NAME, "TAKEN");
    Type(IDC_EDITOR_FILE, "C:\\new.exe");
    FileThere program("C:\\new.exe");
    Seen seen;
    HANDLE watcher = WatchBox(IDNO, &seen);
    Click(IDC_OK);
    Finish(watcher);
    Pump();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ("An entry named \"TAKEN\" already exists in HKCU\\" RUN_KEY ".\n\nReplace it?",
              seen.text);
    EXPECT_EQ(EditorWindow, seen.owner);
    ASSERT_NE((HWND)NULL, EditorWindow) << "No keeps the window open";
    EXPECT_EQ("C:\\new.exe", ControlText(Control(IDC_EDITOR_FILE)));
    EXPECT_EQ(Sz("C:\\taken.exe"), ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Taken"));

    watcher = WatchBox(IDYES, &seen);
    Click(IDC_OK);
    Finish(watcher);
    Pump();
    EXPECT_EQ((HWND)NULL, EditorWindow);
    EXPECT_EQ(Sz("C:\\new.exe"), ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Taken"));
}

// A command the two fields cannot show whole is kept as stored: the fields
// are read-only with the reason, and a rename moves the value whole.
TEST_F(Editor, ACommandThatCannotBeShownWholeIsKeptWhole)
{
    std::string binary("C:\\b.exe\0\x01\x02\x03", 12);
    ASSERT_TRUE(SetBytes(HKEY_CURRENT_USER, RUN_KEY, "Binary", REG_BINARY, binary));
    Refresh();
    EditRow(0);
    EXPECT_TRUE(GetWindowLongA(Control(IDC_EDITOR_FILE), GWL_STYLE) & ES_READONLY);
    EXPECT_TRUE(GetWindowLongA(Control(IDC_EDITOR_PARAMETERS), GWL_STYLE) & ES_READONLY);
    EXPECT_EQ(KEPT_WHOLE_NOT_TEXT, ControlText(Control(IDC_EDITOR_FILE_LABEL)));
    Type(IDC_EDITOR_NAME, "Binary renamed");
    Click(IDC_OK);
    Pump();
    DWORD type = 0;
    EXPECT_EQ(binary, ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Binary renamed", &type));
    EXPECT_EQ((DWORD)REG_BINARY, type);
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Binary"));
}
