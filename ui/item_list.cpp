// item_list.cpp - the list of entries: one row per catalogue record, row i
// always showing record i, with the program's icon, a check box for the
// state the user wants, the scope and the target; and its context menu.
// The check boxes change nothing by themselves: Apply writes them.
#include "ui.h"

#include "../store/store.h"

#include <shellapi.h>
#include <string.h>

#ifndef _WIN64
static_assert(sizeof(SHELLEXECUTEINFOA) == 60, "the 60-byte SHELLEXECUTEINFOA");
#endif

HWND ItemListWindow = NULL;
WNDPROC ListViewClassProc = NULL;
int ListFilling = 0;

static void InsertColumn(HWND list, int column, const char *header, int width)
{
    LVCOLUMNA info;
    memset(&info, 0, sizeof info);
    info.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    info.fmt = LVCFMT_LEFT;
    info.cx = width;
    info.pszText = (char *)header;
    info.iSubItem = column;
    SendMessageA(list, LVM_INSERTCOLUMNA, column, (LPARAM)&info);
}

void SetUpItemList(HWND list)
{
    InsertColumn(list, 0, "Application", 150);
    InsertColumn(list, 1, "Type", 40);
    InsertColumn(list, 2, "Path", 350);
    SendMessageA(list, WM_SETFONT, (WPARAM)UiFont, FALSE);
    ShowWindow(list, SW_SHOWNORMAL);
    ItemListWindow = list;
    SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, (LPARAM)SmallIconList);
    // Mask 0 replaces the whole extended style: check boxes and nothing else.
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES);
    ListViewClassProc = WindowProcFromLong(
        SetWindowLongPtrA(list, GWLP_WNDPROC, WindowProcAsLong(ListViewProc)));
}

static void SetCheck(HWND list, int row, int checked)
{
    LVITEMA item;
    memset(&item, 0, sizeof item);
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
    SendMessageA(list, LVM_SETITEMSTATE, row, (LPARAM)&item);
}

static void SetSubItemText(HWND list, int row, int column, const char *text)
{
    LVITEMA item;
    memset(&item, 0, sizeof item);
    item.iSubItem = column;
    item.pszText = (char *)text;
    SendMessageA(list, LVM_SETITEMTEXTA, row, (LPARAM)&item);
}

// Icon indexes already asked for, by target: every change ends in a
// Refresh, and asking the shell again for the same file costs as much as
// reading its version block. The system list keeps its indexes for the
// life of the process; a slot is simply replaced when another path lands
// on it.
#define ICON_CACHE_SLOTS 1024
struct IconCacheSlot {
    char path[TEXT_FIELD_SIZE];
    int index;
};
static IconCacheSlot IconCache[ICON_CACHE_SLOTS];

static IconCacheSlot *IconSlot(const char *path)
{
    uint32_t hash = 2166136261u;
    for (const char *c = path; *c; ++c)
        hash = (hash ^ (unsigned char)(*c >= 'a' && *c <= 'z' ? *c - 32 : *c)) * 16777619u;
    return &IconCache[hash % ICON_CACHE_SLOTS];
}

static int ShellIconIndex(const char *native);

// The index of the target's small icon in the system's list, as Explorer
// shows it.
static int IconIndex(const char *target)
{
    char native[TEXT_FIELD_SIZE];
    NativeFilePath(target, native);
    IconCacheSlot *slot = IconSlot(native);
    if (slot->path[0] && lstrcmpiA(slot->path, native) == 0)
        return slot->index;
    int index = ShellIconIndex(native);
    TextCopy(slot->path, sizeof slot->path, native);
    slot->index = index;
    return index;
}

// A target on the network is never opened: its icon comes from its name's
// extension alone. A target without an icon gets a program's.
static int ShellIconIndex(const char *native)
{
    SHFILEINFOA info;
    memset(&info, 0, sizeof info);
    UINT flags = SHGFI_SYSICONINDEX | SHGFI_SMALLICON;
    if (native[0] && PlatIsNetworkPath(native))
        flags |= SHGFI_USEFILEATTRIBUTES;
    if (native[0] && SHGetFileInfoA(native, FILE_ATTRIBUTE_NORMAL, &info, sizeof info, flags))
        return info.iIcon;
    memset(&info, 0, sizeof info);
    if (SHGetFileInfoA(".exe", FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                       SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_USEFILEATTRIBUTES))
        return info.iIcon;
    return I_IMAGENONE;
}

int FillListView(HWND list)
{
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    int icons = SmallIconList != NULL;
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    ListFilling = 1;
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem *record = &ItemCatalogue.items[i];
        LVITEMA item;
        memset(&item, 0, sizeof item);
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = i;
        item.pszText = (char *)record->name;
        item.iImage = icons ? IconIndex(record->target) : I_IMAGENONE;
        // Row i must show record i, or Apply would read each later check box
        // into the wrong record: a row that cannot be inserted ends the list.
        if (SendMessageA(list, LVM_INSERTITEMA, 0, (LPARAM)&item) != i) {
            SendMessageA(list, LVM_DELETEITEM, i, 0);
            break;
        }
        SetCheck(list, i, record->enabled);
        SetSubItemText(list, i, 1, ItemTypeText(record));
        SetSubItemText(list, i, 2, record->target);
    }
    ListFilling = 0;
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, NULL, TRUE);
    return 0;
}

void ShowStoredStates(HWND list)
{
    int rows = list ? (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) : 0;
    ListFilling = 1;
    for (int i = 0; i < rows && i < ItemCatalogue.count; ++i)
        SetCheck(list, i, ItemCatalogue.items[i].enabled);
    ListFilling = 0;
}

int32_t SelectedRow(HWND list)
{
    if (!list)
        return -1;
    return (int32_t)SendMessageA(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED);
}

void OpenForUser(const char *verb, const char *file, const char *parameters, const char *what)
{
    if (OpenWithUserRights(verb, file, parameters) != OpenNoDesktop)
        return;
    char status[TEXT_FIELD_SIZE + 128];
    TextFormat(status, sizeof status, STATUS_NOT_OPENED_ELEVATED, what);
    SetStatusText(NULL, status);
}

void ShowShellProperties(const char *path)
{
    if (path)
        OpenForUser("properties", path, "", path);
}

static void FindTarget(const AutostartItem *item)
{
    char target[TEXT_FIELD_SIZE], folder[TEXT_FIELD_SIZE];
    NativeFilePath(item->target, target);
    NativeFilePath(item->targetFolder, folder);
    OpenForUser("explore", folder, target, folder);
}

// Yes/No with No the default, owned by the main window.
static int AskYesNo(void *, const char *question)
{
    return MessageBoxA(MainWindow, question, "Orvane",
                       MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES;
}

// Run starts the program with the rights the logon would give it.
static void RunItem(const AutostartItem *item)
{
    int result = StartItemProgram(item, AskYesNo, NULL);
    const char *format = result == StartedAsUser     ? STATUS_STARTED
                         : result == StartedElevated ? STATUS_STARTED_ELEVATED
                         : result == StartedByDesktop ? STATUS_HANDED_TO_DESKTOP
                         : result == StartDeclined   ? STATUS_NOT_STARTED
                         : result == StartNotFound   ? STATUS_START_NOT_FOUND
                                                     : STATUS_START_FAILED;
    char status[TEXT_FIELD_SIZE + 96];
    TextFormat(status, sizeof status, format, item->name);
    SetStatusText(NULL, status);
}

// Saved first, then deleted: the status bar names the backup, or says why
// nothing was removed.
static void RemoveItem(const AutostartItem *item)
{
    char question[TEXT_FIELD_SIZE + 128];
    TextFormat(question, sizeof question, REMOVE_QUESTION, item->name);
    if (MessageBoxA(MainWindow, question, MAIN_WINDOW_TITLE,
                    MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2)
        != IDYES)
        return;
    char backup[TEXT_FIELD_SIZE];
    int result = RemoveItemWithBackup(item, backup);
    if (result == RemoveRefused && item->inexact) {
        ReportInexact(SetStatusText, NULL, item);
        return;
    }
    if (result == RemoveNameNotCarried) {
        char kept[TEXT_FIELD_SIZE + 96];
        TextFormat(kept, sizeof kept, STATUS_NAME_NOT_CARRIED, item->name);
        SetStatusText(NULL, kept);
        return;
    }
    if (result == RemoveFolderIsLink) {
        ReportFolderIsLink(SetStatusText, NULL, BACKUP_FOLDER);
        return;
    }
    if (result == RemoveBackupFailed) {
        SetStatusText(NULL, STATUS_BACKUP_FAILED);
        return;
    }
    if (result != RemoveDone) {
        char format[TEXT_FIELD_SIZE];
        // The cause goes into the format; the path is shortened after it.
        TextFormat(format, sizeof format, STATUS_REMOVE_FAILED, CauseText(LastStoreError()));
        SetStatusWithPath(format, item->name, backup);
        return;
    }
    SetStatusWithPath(STATUS_REMOVED, item->name, backup);
    PostRefresh();
}

void RunItemCommand(HWND list, UINT command, int32_t row)
{
    const AutostartItem *item = CatalogueItem(row);
    if (!item)
        return;
    // The target as the 64-bit system sees it, as the logon would start it.
    char target[TEXT_FIELD_SIZE];
    NativeFilePath(item->target, target);
    switch (command) {
    case IDM_RUN: RunItem(item); break;
    case IDM_FIND_TARGET: FindTarget(item); break;
    case IDM_EDIT_ITEM: EditCatalogueItem(row); break;
    // The label follows the stored state; the box gets its opposite.
    case IDM_TOGGLE: SetCheck(list, row, !item->enabled); break;
    case IDM_REMOVE: RemoveItem(item); break;
    case IDM_PROPERTIES: ShowShellProperties(target); break;
    default: break;
    }
}

static void RenameToEnable(HMENU popup)
{
    MENUITEMINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE | MIIM_STRING | MIIM_DATA;
    info.fType = MFT_STRING;
    info.dwTypeData = (char *)"Enable";
    info.dwItemData = 0;
    SetMenuItemInfoA(popup, 4, TRUE, &info);
}

// A menu asked for from the keyboard (Shift+F10, the menu key) comes with
// the point (-1, -1): it opens at the selected row instead.
static POINT MenuPoint(HWND list, int32_t row, LPARAM lParam)
{
    POINT point = {(short)LOWORD(lParam), (short)HIWORD(lParam)};
    if (lParam != (LPARAM)-1 && (point.x != -1 || point.y != -1))
        return point;
    RECT rect;
    rect.left = LVIR_LABEL;
    if (!SendMessageA(list, LVM_GETITEMRECT, row, (LPARAM)&rect))
        GetClientRect(list, &rect);
    point.x = rect.left;
    point.y = rect.bottom;
    ClientToScreen(list, &point);
    return point;
}

static void OnContextMenu(HWND list, LPARAM lParam)
{
    int32_t row = SelectedRow(list);
    HMENU menu = LoadMenuA(AppInstance, MAKEINTRESOURCEA(IDR_ITEM_MENU));
    if (!menu)
        return;
    HMENU popup = GetSubMenu(menu, 0);
    const AutostartItem *item = CatalogueItem(row);
    if (item && !item->enabled)
        RenameToEnable(popup);
    SetForegroundWindow(list);
    POINT point = MenuPoint(list, row, lParam);
    UINT chosen = (UINT)TrackPopupMenu(popup, TPM_RETURNCMD, point.x, point.y, 0, list, NULL);
    RunItemCommand(list, chosen, row);
    DestroyMenu(menu);
    PostMessageA(list, WM_NULL, 0, 0);
}

// Delete removes the selected entry (asking first), F5 refreshes, Enter
// edits. Nonzero when the key was one of these.
static int OnListKey(HWND list, WPARAM key)
{
    int32_t row = SelectedRow(list);
    switch (key) {
    case VK_DELETE:
        if (row >= 0)
            RunItemCommand(list, IDM_REMOVE, row);
        return 1;
    case VK_F5: PostMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, (LPARAM)list); return 1;
    case VK_RETURN:
        if (row >= 0)
            OnEdit(MainWindow);
        return 1;
    default: return 0;
    }
}

LRESULT CALLBACK ListViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CONTEXTMENU) {
        if (SelectedRow(window) < 0)
            return 0;
        OnContextMenu(window, lParam);
    }
    if (message == WM_KEYDOWN && OnListKey(window, wParam))
        return 0;
    // Enter reaches a list only when it asks for it.
    if (message == WM_GETDLGCODE && wParam == VK_RETURN)
        return DLGC_WANTALLKEYS;
    return CallWindowProcA(ListViewClassProc, window, message, wParam, lParam);
}
