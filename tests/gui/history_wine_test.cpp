// history_wine_test.cpp - the History window under Wine: a change made in
// the main window is listed first, and Undo puts the entry back exactly.
#include "../../store/store.h"
#include "../integration/wine_places.h"
#include "gui_support.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

namespace {

// Ctrl and a key as the keyboard gives them: to the focused control, taken
// through the program's own key handling.
void CtrlKey(WPARAM key)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    SetKeyboardState(keys);
    HWND focus = GetFocus();
    PostMessageA(focus, WM_KEYDOWN, key, 1);
    PostMessageA(focus, WM_KEYUP, key, (LPARAM)0xC0000001);
    Pump();
    keys[VK_CONTROL] = 0;
    SetKeyboardState(keys);
}

// The value's type and bytes as stored (the wide call converts nothing);
// "<absent>" when it is not there.
std::string RawValue(const wchar_t *name, DWORD *type)
{
    HKEY key;
    std::string bytes = "<absent>";
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                      KEY_QUERY_VALUE, &key)
        != ERROR_SUCCESS)
        return bytes;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, NULL, type, NULL, &size) == ERROR_SUCCESS) {
        std::string buffer(size, '\0');
        if (RegQueryValueExW(key, name, NULL, type, (BYTE *)&buffer[0], &size) == ERROR_SUCCESS)
            bytes = buffer.substr(0, size);
    }
    RegCloseKey(key);
    return bytes;
}

} // namespace

// Remove, then Ctrl+H: the removal is the newest row, selected; Enter does
// nothing; Undo (answering Yes should it ask) writes the value back with
// its type and bytes, selects the undo's own row, and Escape closes.
TEST(History, ListsARemoveFirstAndUndoesItExactly)
{
    EnsureMainWindow();
    EmptyAllPlaces();
    // An expandable string with a byte past the text: both must come back.
    const std::string text("\"%SystemRoot%\\probe.exe\" -h\0x", 29);
    ASSERT_TRUE(SetBytes(HKEY_CURRENT_USER, RUN_KEY, "History Probe", REG_EXPAND_SZ, text));
    DWORD type = 0, typeBack = 0;
    const std::string bytes = RawValue(L"History Probe", &type);
    ASSERT_EQ((DWORD)REG_EXPAND_SZ, type);
    DropPendingChecks();
    SendMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, 0);
    Pump();
    HWND list = GetDlgItem(MainWindow, IDC_ITEM_LIST);
    int row = -1;
    for (int r = 0; r < (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0); ++r)
        if (ItemText(list, r, 0) == "History Probe")
            row = r;
    ASSERT_GE(row, 0);
    Seen seen;
    HANDLE watcher = WatchBox(IDYES, &seen);
    RunItemCommand(list, IDM_REMOVE, row);
    Finish(watcher);
    Pump();
    ASSERT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "History Probe"));

    SetFocus(list);
    CtrlKey('H');
    ASSERT_NE((HWND)NULL, HistoryWindow);
    EXPECT_FALSE(IsWindowEnabled(MainWindow)) << "modal, as the Add/Edit window";
    HWND history = GetDlgItem(HistoryWindow, IDC_HISTORY_LIST);
    EXPECT_EQ(HISTORY_LIST_NAME, ControlText(history));
    EXPECT_EQ(history, GetFocus());
    ASSERT_GE(SendMessageA(history, LVM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ("Removed \"History Probe\" (HKCU Run)", ItemText(history, 0, 1));
    EXPECT_EQ("window", ItemText(history, 0, 2));
    EXPECT_EQ(0u, ItemText(history, 0, 3).find("Removed ")) << ItemText(history, 0, 3);
    EXPECT_EQ(0, SelectedRow(history));
    const std::string backup = ShellFolder(CSIDL_PERSONAL) + "\\" BACKUP_FOLDER "\\"
                               + ItemText(history, 0, 3);

    PostMessageA(history, WM_KEYDOWN, VK_RETURN, 1);
    Pump();
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "History Probe"))
        << "Enter undoes nothing";

    watcher = WatchBoxUntilStopped(IDYES, &seen);
    SendMessageA(HistoryWindow, WM_COMMAND, IDC_HISTORY_UNDO, 0);
    Stop(watcher);
    Pump();
    EXPECT_EQ(bytes, RawValue(L"History Probe", &typeBack));
    EXPECT_EQ((DWORD)REG_EXPAND_SZ, typeBack);
    std::string status = ControlText(GetDlgItem(HistoryWindow, IDC_HISTORY_STATUS));
    EXPECT_EQ(0u, status.find("Undid change ")) << status;
    EXPECT_EQ(0u, ControlText(GetDlgItem(MainWindow, IDC_STATUS)).find("Undid change "));
    EXPECT_EQ(0, SelectedRow(history)) << "the undo, newest, is selected";
    EXPECT_EQ(0u, ItemText(history, 0, 1).find("Undid change ")) << ItemText(history, 0, 1);

    PostMessageA(history, WM_KEYDOWN, VK_ESCAPE, 1);
    Pump();
    EXPECT_EQ((HWND)NULL, HistoryWindow);
    EXPECT_TRUE(IsWindowEnabled(MainWindow));
    DeleteFileA(backup.c_str());
    EmptyAllPlaces();
    DestroyMainWindow();
}
