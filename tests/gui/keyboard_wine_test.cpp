// keyboard_wine_test.cpp - the main window and the Add/Edit window used with
// the keyboard alone (keys posted to the focused control and taken through
// the program's own key handling), and named through the accessibility
// interface as a screen reader reads them.
#include "../../store/store.h"
#include "../integration/wine_places.h"
#include "gui_support.h"

#include <gtest/gtest.h>

#include <oleacc.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace {

class Keyboard : public testing::Test {
protected:
    static void SetUpTestSuite() { EnsureMainWindow(); }
    static void TearDownTestSuite() { DestroyMainWindow(); }

    HWND list = NULL;

    void SetUp() override
    {
        ASSERT_NE((HWND)NULL, MainWindow);
        list = GetDlgItem(MainWindow, IDC_ITEM_LIST);
        EmptyAllPlaces();
        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Alpha", ProbePath()));
        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Beta", ProbePath()));
        DropPendingChecks();
        SendMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, 0);
        Pump();
    }

    void TearDown() override { EmptyAllPlaces(); }

    std::string Status() { return ControlText(GetDlgItem(MainWindow, IDC_STATUS)); }

    // A key as the keyboard gives it: to the focused window, through the loop.
    void Key(WPARAM key)
    {
        HWND focus = GetFocus();
        PostMessageA(focus, WM_KEYDOWN, key, 1);
        PostMessageA(focus, WM_KEYUP, key, (LPARAM)0xC0000001);
        Pump();
    }
    void AltKey(char letter)
    {
        PostMessageA(GetFocus(), WM_SYSCHAR, (WPARAM)letter, (LPARAM)(1 | (1 << 29)));
        Pump();
    }
    void CtrlKey(WPARAM key)
    {
        BYTE keys[256];
        GetKeyboardState(keys);
        keys[VK_CONTROL] = 0x80;
        SetKeyboardState(keys);
        Key(key);
        keys[VK_CONTROL] = 0;
        SetKeyboardState(keys);
    }
};

// IID_IAccessible, spelled here: both oleacc and uuid define the symbol.
const IID kAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

std::string AccessibleName(HWND control)
{
    IAccessible *accessible = NULL;
    if (FAILED(AccessibleObjectFromWindow(control, (DWORD)OBJID_CLIENT, kAccessible,
                                          (void **)&accessible)))
        return "<no object>";
    VARIANT self;
    VariantInit(&self);
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR name = NULL;
    std::string text;
    if (accessible->get_accName(self, &name) == S_OK && name) {
        char narrow[256] = "";
        WideCharToMultiByte(CP_UTF8, 0, name, -1, narrow, sizeof narrow, NULL, NULL);
        text = narrow;
        SysFreeString(name);
    }
    accessible->Release();
    return text;
}

// Every button, radio button and the list has a spoken name; every field
// comes right after the label that names it.
void ExpectNamed(HWND window)
{
    int controls = 0;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char className[32];
        GetClassNameA(child, className, sizeof className);
        LONG type = GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK;
        if (lstrcmpiA(className, "Edit") == 0) {
            HWND label = GetWindow(child, GW_HWNDPREV);
            GetClassNameA(label, className, sizeof className);
            EXPECT_EQ(0, lstrcmpiA(className, "Static")) << GetDlgCtrlID(child);
            EXPECT_NE("", ControlText(label)) << GetDlgCtrlID(child);
        } else if (lstrcmpiA(className, "Button") == 0 && type != BS_GROUPBOX) {
            std::string text = ControlText(child);
            if (text.find('&') != std::string::npos)
                text.erase(text.find('&'), 1);
            EXPECT_EQ(text, AccessibleName(child)) << GetDlgCtrlID(child);
        } else if (lstrcmpiA(className, "SysListView32") == 0) {
            EXPECT_EQ("Startup entries", AccessibleName(child));
        } else {
            continue;
        }
        ++controls;
    }
    EXPECT_GE(controls, 8);
}

} // namespace

// Space checks off, Alt+P applies (the entry stays selected though it
// moved), Delete asks and a No says so, F5 refreshes and keeps the row,
// Enter edits and Escape closes the editor, the list keeps the keys after
// every box and window; Tab crosses the controls in reading order.
TEST_F(Keyboard, EverydayFlowWithKeysAlone)
{
    SetFocus(list);
    Key(VK_DOWN);
    Key(VK_DOWN); // Beta
    ASSERT_EQ(1, SelectedRow(list));
    Key(VK_SPACE);
    EXPECT_EQ(1, CheckState(list, 1));
    AltKey('p');
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Beta"));
    EXPECT_NE("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY "-", "Beta"));
    // Its switch in Windows' settings was saved before it was set off.
    EXPECT_EQ(0u, Status().find("Disabled \"Beta\"; backup: Disabled ")) << Status();
    const AutostartItem *selected = CatalogueItem(SelectedRow(list));
    ASSERT_NE(nullptr, selected);
    EXPECT_STREQ("Beta", selected->name);

    Seen seen;
    HANDLE watcher = WatchBox(IDNO, &seen);
    Key(VK_DELETE);
    Finish(watcher);
    Pump();
    EXPECT_TRUE(seen.found);
    EXPECT_EQ("Nothing removed: \"Beta\" is kept.", Status());
    EXPECT_EQ(list, GetFocus()) << "back from the box";

    Key(VK_F5);
    EXPECT_EQ("Refreshed: 2 entries.", Status());
    EXPECT_STREQ("Beta", CatalogueItem(SelectedRow(list))->name);

    Key(VK_RETURN);
    ASSERT_NE((HWND)NULL, EditorWindow);
    EXPECT_EQ(GetDlgItem(EditorWindow, IDC_EDITOR_NAME), GetFocus());
    Key(VK_ESCAPE);
    EXPECT_EQ((HWND)NULL, EditorWindow);
    EXPECT_EQ(list, GetFocus()) << "back from the editor";

    const int order[] = {IDC_LOCATION, IDC_COMMAND, IDC_DESCRIPTION, IDC_COMPANY, IDC_PUBLISHER, IDC_NOTES,
                         IDM_ADD,      IDM_EDIT,    IDM_CLEANUP,     IDM_APPLY,   IDM_EXIT,
                         IDM_REFRESH,  IDM_SAVE_LOG, IDM_HELP_BUTTON, IDC_ITEM_LIST};
    for (int id : order) {
        Key(VK_TAB);
        EXPECT_EQ(id, GetDlgCtrlID(GetFocus()));
    }
}

// Alt+A opens Add; Ctrl+S asks where to save the report; the context
// menu's Disable sets the box and says that Apply stores it.
TEST_F(Keyboard, AccessKeysAcceleratorsAndTheMenusToggle)
{
    SetFocus(list);
    AltKey('a');
    ASSERT_NE((HWND)NULL, EditorWindow);
    char title[32];
    GetWindowTextA(EditorWindow, title, sizeof title);
    EXPECT_STREQ(EDITOR_ADD_TITLE, title);
    AltKey('c');
    EXPECT_EQ((HWND)NULL, EditorWindow) << "Alt+C is the editor's Cancel";

    std::string report = ShellFolder(CSIDL_PERSONAL) + "\\keys report.html";
    DeleteFileA(report.c_str());
    Seen seen;
    HANDLE watcher = WatchFileDialog("Save Log...", report, &seen);
    SetFocus(list);
    CtrlKey('S');
    Finish(watcher);
    Pump();
    EXPECT_TRUE(FileExists(report));
    DeleteFileA(report.c_str());

    SelectRow(list, 0);
    watcher = WatchMenu(4, &seen);
    SendMessageA(list, WM_CONTEXTMENU, (WPARAM)list, -1);
    Finish(watcher);
    Pump();
    EXPECT_EQ(1, CheckState(list, 0));
    EXPECT_EQ("\"Alpha\" will be disabled when you press Apply; 1 change pending", Status());
    EXPECT_NE("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Alpha")) << "not yet stored";
    DropPendingChecks();
}

TEST_F(Keyboard, EveryControlOfBothWindowsIsNamed)
{
    ExpectNamed(MainWindow);
    SelectRow(list, 0);
    SendMessageA(MainWindow, WM_COMMAND, IDM_EDIT, 0);
    Pump();
    ASSERT_NE((HWND)NULL, EditorWindow);
    ExpectNamed(EditorWindow);
    HWND user = GetDlgItem(EditorWindow, IDC_EDITOR_USER);
    EXPECT_TRUE(GetWindowLongA(user, GWL_STYLE) & WS_GROUP) << "the radio buttons' group";
    EXPECT_EQ(GetDlgItem(EditorWindow, IDC_EDITOR_ALL), GetNextDlgGroupItem(EditorWindow, user, FALSE));
    SendMessageA(EditorWindow, WM_CLOSE, 0, 0);
    Pump();
}
