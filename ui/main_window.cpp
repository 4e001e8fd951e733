// main_window.cpp - the main window: its controls, header painting, the
// details pane, and the commands that turn buttons and the help menu into
// catalogue operations. Refresh (116) is the one road from storage to the
// screen: it rescans the catalogue and rebuilds the list together.
#include "ui.h"

#include "../store/store.h"
#include "../help/help.h"
#include "../report/html_log.h"

#include <commdlg.h>
#include <shellapi.h>
#include <string.h>

#define VERSION_TEXT "(ver.1.2)"
#define SUPPORT_PAGE ORVANE_WEB_SITE "supportus.html"

// ---- controls -----------------------------------------------------------

#define SKINNED (WS_CHILD | WS_VISIBLE | WS_TABSTOP)
#define LABEL (WS_CHILD | WS_VISIBLE)
#define FIELD (WS_CHILD | WS_VISIBLE | ES_READONLY | ES_AUTOHSCROLL)

// Rows 3 to 19 of the main window, after the list and the status bar.
static const ChildControl MainControls[] = {
    {IDM_ADD, "BUTTON", "Add", 15, 380, 100, 30, SKINNED, IDI_ADD},
    {IDM_EDIT, "BUTTON", "Edit", 131, 380, 100, 30, SKINNED, IDI_EDIT},
    {IDM_CLEANUP, "BUTTON", "CleanUp", 249, 380, 100, 30, SKINNED, IDI_APP},
    {IDM_APPLY, "BUTTON", "Apply", 367, 380, 100, 30, SKINNED, IDI_APPLY},
    {IDM_EXIT, "BUTTON", "Exit", 485, 380, 100, 30, SKINNED, IDI_EXIT},
    {IDM_REFRESH, "BUTTON", "", 460, 20, 35, 35, SKINNED, IDI_REFRESH},
    {IDM_SAVE_LOG, "BUTTON", "", 505, 20, 35, 35, SKINNED, IDI_SAVE},
    {IDM_HELP_BUTTON, "BUTTON", "", 550, 20, 35, 35, SKINNED, IDI_HELP},
    {IDC_STATIC_ANY, "BUTTON", "Details", 15, 264, 570, 106, WS_CHILD | WS_VISIBLE | BS_GROUPBOX, 0},
    {IDC_STATIC_ANY, "STATIC", "Location:", 24, 282, 70, 15, LABEL, 0},
    {IDC_LOCATION, "EDIT", "", 90, 282, 470, 17, FIELD, 0},
    {IDC_STATIC_ANY, "STATIC", "Command:", 24, 298, 70, 15, LABEL, 0},
    {IDC_COMMAND, "EDIT", "", 90, 298, 470, 17, FIELD, 0},
    {IDC_STATIC_ANY, "STATIC", "Description:", 24, 314, 70, 15, LABEL, 0},
    {IDC_DESCRIPTION, "EDIT", "", 90, 314, 470, 17, FIELD, 0},
    {IDC_STATIC_ANY, "STATIC", "Company:", 24, 330, 70, 15, LABEL, 0},
    {IDC_COMPANY, "EDIT", "", 90, 330, 470, 17, FIELD, 0},
    // Why an entry is off, a missing target, a name that is not changed here.
    {IDC_STATIC_ANY, "STATIC", "Notes:", 24, 346, 70, 15, LABEL, 0},
    {IDC_NOTES, "EDIT", "", 90, 346, 470, 17, FIELD, 0},
};

// The icon-only buttons say what they do when the pointer rests on them.
static void AddTooltips(HWND window)
{
    HWND tips = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, NULL, WS_POPUP | TTS_ALWAYSTIP,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                window, NULL, AppInstance, NULL);
    if (!tips)
        return;
    const struct {
        int id;
        const char *text;
    } tools[] = {{IDM_REFRESH, TOOLTIP_REFRESH}, {IDM_SAVE_LOG, TOOLTIP_SAVE_LOG},
                 {IDM_HELP_BUTTON, TOOLTIP_HELP}};
    for (const auto &tool : tools) {
        TOOLINFOA info;
        memset(&info, 0, sizeof info);
        // The size without the newest field, which older comctl32 refuses.
        info.cbSize = TTTOOLINFOA_V2_SIZE;
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = window;
        info.uId = (UINT_PTR)GetDlgItem(window, tool.id);
        info.lpszText = (char *)tool.text;
        SendMessageA(tips, TTM_ADDTOOLA, 0, (LPARAM)&info);
    }
}

// Keeps the 600 x 450 drawing area free above the status bar.
static void FitStatusBar(HWND window, HWND status)
{
    WINDOWINFO info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    GetWindowInfo(status, &info);
    int frame = GetSystemMetrics(SM_CYDLGFRAME);
    int statusHeight = info.rcClient.bottom - info.rcClient.top;
    SetWindowPos(window, NULL, 0, 0, 600 + 2 * frame,
                 450 + GetSystemMetrics(SM_CYCAPTION) + 2 * frame + statusHeight,
                 SWP_NOMOVE | SWP_NOZORDER);
    SendMessageA(status, WM_SIZE, 0, 0);
    ShowWindow(status, SW_SHOWNORMAL);
}

int CreateMainControls(HWND window)
{
    int failures = 0;
    HWND list = CreateWindowExA(0, WC_LISTVIEWA, "ListView",
                                WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | LVS_REPORT
                                    | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS,
                                15, 95, 570, 164, window, (HMENU)(INT_PTR)IDC_ITEM_LIST,
                                AppInstance, NULL);
    if (list)
        SetUpItemList(list);
    else
        ++failures;

    HWND status = CreateStatusWindowA(WS_CHILD, MAIN_WINDOW_TITLE, window, IDC_STATUS);
    if (status)
        FitStatusBar(window, status);
    else
        ++failures;

    for (const ChildControl &row : MainControls)
        if (!CreateChildControl(window, &row))
            ++failures;
    AddTooltips(window);
    return failures;
}

// ---- shared with the list and the editor --------------------------------

void SetStatusText(void *context, const char *text)
{
    (void)context;
    SetWindowTextA(GetDlgItem(MainWindow, IDC_STATUS), text);
}

// A Refresh the program starts after a change (lParam 0) keeps the status
// that change set; one the user asks for says so itself.
void PostRefresh(void)
{
    PostMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, 0);
}

// The status bar holds what fits its width: a longer path loses its middle.
void SetStatusWithPath(const char *format, const char *name, const char *path)
{
    char shortPath[TEXT_FIELD_SIZE];
    TextShortenMiddle(shortPath, sizeof shortPath, path, STATUS_PATH_ROOM);
    char status[2 * TEXT_FIELD_SIZE + 64];
    if (name)
        TextFormat(status, sizeof status, format, name, shortPath);
    else
        TextFormat(status, sizeof status, format, shortPath);
    SetStatusText(NULL, status);
}

// ---- check boxes that differ from storage -------------------------------

int32_t PendingChanges(void)
{
    int rows = ItemListWindow ? (int)SendMessageA(ItemListWindow, LVM_GETITEMCOUNT, 0, 0) : 0;
    int32_t pending = 0;
    for (int i = 0; i < rows && i < ItemCatalogue.count; ++i) {
        LRESULT state = SendMessageA(ItemListWindow, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK);
        int wanted = (int)((state & LVIS_STATEIMAGEMASK) >> 12) - 1;
        pending += wanted != ItemCatalogue.items[i].enabled;
    }
    return pending;
}

// Says how many changes wait for Apply, when that number changed.
static int32_t ShownPending = 0;
static void ShowPending(void)
{
    int32_t pending = PendingChanges();
    if (pending == ShownPending)
        return;
    ShownPending = pending;
    char status[96];
    if (pending == 0)
        TextCopy(status, sizeof status, STATUS_NONE_PENDING);
    else
        TextFormat(status, sizeof status, STATUS_CHANGES_PENDING, (int)pending,
                   pending == 1 ? "change" : "changes");
    SetStatusText(NULL, status);
}

void EditCatalogueItem(int32_t index)
{
    EditIndex = index;
    const AutostartItem *item = CatalogueItem(index);
    if (!item)
        return;
    if (item->kind == Shortcut) {
        ShowShellProperties(item->location);
        return;
    }
    // A cut name is not the entry's: editing it could reach another one.
    if (item->cut) {
        SetStatusText(NULL, STATUS_ENTRY_CUT);
        return;
    }
    if (item->inexact) {
        ReportInexact(SetStatusText, NULL, item);
        return;
    }
    EditMode = EditorEdit;
    EditorHeaderBitmap = LoadBitmapA(AppInstance, MAKEINTRESOURCEA(IDB_EDITOR_EDIT));
    OpenEditor(EDITOR_EDIT_TITLE);
}

// ---- painting and the details pane --------------------------------------

static void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    StretchBitmap(dc, HeaderBitmap, 0, 0, 600, 80, SRCCOPY);
    StretchBitmap(dc, FooterBitmap, 0, 425, 600, 25, SRCCOPY);
    SelectObject(dc, UiFont);
    SelectObject(dc, GetStockObject(NULL_BRUSH));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(255, 255, 255));
    TextOutA(dc, 250, 42, VERSION_TEXT, (int)strlen(VERSION_TEXT));
    EndPaint(window, &paint);
}

static void ShowDetails(HWND window)
{
    const AutostartItem *item = CatalogueItem(SelectedRow(ItemListWindow));
    if (!item)
        return;
    char location[TEXT_FIELD_SIZE + 64];
    char notes[4 * TEXT_FIELD_SIZE];
    ItemPlaceText(item, 0, location, sizeof location);
    ItemNotes(item, notes, sizeof notes);
    SendDlgItemMessageA(window, IDC_LOCATION, WM_SETTEXT, 0, (LPARAM)location);
    SendDlgItemMessageA(window, IDC_NOTES, WM_SETTEXT, 0, (LPARAM)notes);
    SendDlgItemMessageA(window, IDC_COMMAND, WM_SETTEXT, 0, (LPARAM)item->command);
    SendDlgItemMessageA(window, IDC_DESCRIPTION, WM_SETTEXT, 0, (LPARAM)item->description);
    SendDlgItemMessageA(window, IDC_COMPANY, WM_SETTEXT, 0, (LPARAM)item->company);
}

static void OnNotify(HWND window, const NMHDR *header)
{
    if (header->code == LVN_ITEMCHANGED) {
        const NMLISTVIEW *change = (const NMLISTVIEW *)header;
        if ((change->uChanged & LVIF_STATE)
            && ((change->uNewState ^ change->uOldState) & LVIS_STATEIMAGEMASK) && !ListFilling)
            ShowPending();
        ShowDetails(window);
    } else if (header->code == NM_DBLCLK && header->hwndFrom == ItemListWindow) {
        OnEdit(window);
    }
}

// ---- commands -----------------------------------------------------------

static void OnAdd(void)
{
    EditMode = EditorAdd;
    EditorHeaderBitmap = LoadBitmapA(AppInstance, MAKEINTRESOURCEA(IDB_EDITOR_ADD));
    OpenEditor(EDITOR_ADD_TITLE);
}

void OnEdit(HWND window)
{
    int32_t row = SelectedRow(ItemListWindow);
    if (row < 0) {
        EditIndex = -1;
        MessageBoxA(window, NO_SELECTION_TEXT, "Error", MB_ICONERROR);
        return;
    }
    EditCatalogueItem(row);
}

// The desired state of every row: its check box (state image 2 or 1) minus 1.
static int32_t *ReadCheckBoxes(int32_t *count)
{
    *count = 0;
    int rows = ItemListWindow ? (int)SendMessageA(ItemListWindow, LVM_GETITEMCOUNT, 0, 0) : 0;
    if (rows > ItemCatalogue.count)
        rows = ItemCatalogue.count;
    int32_t *desired =
        (int32_t *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(int32_t) * (rows + 1));
    if (!desired)
        return NULL;
    for (int i = 0; i < rows; ++i) {
        LRESULT state = SendMessageA(ItemListWindow, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK);
        desired[i] = (int32_t)((state & LVIS_STATEIMAGEMASK) >> 12) - 1;
    }
    *count = rows;
    return desired;
}

// What Apply's failures said: the first one, and how many there were.
struct ApplyReport {
    char first[TEXT_FIELD_SIZE + 128];
    int failures;
};

static void CollectFailure(void *context, const char *text)
{
    ApplyReport *report = (ApplyReport *)context;
    if (report->failures++ == 0)
        TextCopy(report->first, sizeof report->first, text);
}

// A file of the shared folder of disabled items is enabled for every user
// only when the user says so; a No keeps it disabled.
static void ConfirmEnablesForAllUsers(int32_t *desired, int32_t count)
{
    for (int32_t i = 0; i < count; ++i) {
        const AutostartItem *item = CatalogueItem(i);
        if (!item || !desired[i] || item->enabled || !ItemPlacedByAnyUser(item))
            continue;
        char question[TEXT_FIELD_SIZE + 256];
        TextFormat(question, sizeof question, ENABLE_ANY_USER_QUESTION, item->name);
        if (MessageBoxA(MainWindow, question, MAIN_WINDOW_TITLE,
                        MB_ICONWARNING | MB_YESNO | MB_DEFBUTTON2)
            != IDYES)
            desired[i] = 0;
    }
}

// Apply: every row's check box is stored; the status says how many changes
// were stored and names the first that was not, with its cause.
static void OnApply(void)
{
    int32_t count = 0;
    int32_t pending = PendingChanges();
    int32_t *desired = ReadCheckBoxes(&count);
    if (!desired) {
        SetStatusText(NULL, STATUS_CHECKS_UNREAD);
        return;
    }
    ConfirmEnablesForAllUsers(desired, count);
    ApplyReport report;
    report.first[0] = '\0';
    report.failures = 0;
    int stored = ApplyChanges(desired, count, CollectFailure, &report);
    HeapFree(GetProcessHeap(), 0, desired);
    char status[2 * TEXT_FIELD_SIZE];
    if (report.failures == 0)
        TextFormat(status, sizeof status, STATUS_APPLIED, stored, stored == 1 ? "change" : "changes");
    else
        TextFormat(status, sizeof status, STATUS_APPLIED_SOME, stored, (int)pending,
                   report.first, report.failures > 1 ? STATUS_MORE_FAILURES : "");
    SetStatusText(NULL, status);
    ShownPending = 0;
    PostRefresh();
}

int ResolvePendingChanges(HWND window)
{
    int32_t pending = PendingChanges();
    if (pending == 0)
        return 1;
    char question[96];
    TextFormat(question, sizeof question, APPLY_PENDING_QUESTION, (int)pending,
               pending == 1 ? "change" : "changes");
    int answer = MessageBoxA(window, question, MAIN_WINDOW_TITLE,
                             MB_ICONQUESTION | MB_YESNOCANCEL);
    if (answer == IDCANCEL)
        return 0;
    if (answer == IDYES)
        OnApply();
    else
        ShowStoredStates(ItemListWindow); // No: dropped, as the user said
    ShownPending = 0;
    return 1;
}

// The disabled registry entries CleanUp would delete, by hive.
static void CountDisabled(int32_t *user, int32_t *machine)
{
    *user = *machine = 0;
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        if (item->kind == RegistryValue && LocationDisabled(item->location))
            ++*(ScopeIsUser(item->scope) ? user : machine);
    }
}

// CleanUp: pending check boxes are settled first (asked, never applied
// unasked); then the question names what goes, with No the default.
static void OnCleanUp(HWND window)
{
    if (!ResolvePendingChanges(window))
        return;
    int32_t user = 0, machine = 0;
    CountDisabled(&user, &machine);
    if (user + machine == 0) {
        SetStatusText(NULL, STATUS_CLEANUP_NOTHING);
        return;
    }
    char question[512];
    TextFormat(question, sizeof question, CLEANUP_QUESTION, (int)(user + machine),
               user + machine == 1 ? "entry" : "entries", (int)user, (int)machine);
    if (MessageBoxA(window, question, MAIN_WINDOW_TITLE,
                    MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2)
        != IDYES)
        return;
    // The stored states: nothing pending is applied here.
    int32_t count = ItemCatalogue.count;
    int32_t *stored = (int32_t *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY,
                                           sizeof(int32_t) * ((size_t)count + 1));
    if (!stored) {
        SetStatusText(NULL, STATUS_CHECKS_UNREAD);
        return;
    }
    for (int32_t i = 0; i < count; ++i)
        stored[i] = ItemCatalogue.items[i].enabled;
    CleanUpDisabled(stored, count, SetStatusText, NULL);
    HeapFree(GetProcessHeap(), 0, stored);
    PostRefresh();
}

// A box shown during a scan runs its own message loop, which would hand a
// posted Refresh to this window: a scan inside a scan would free the records
// the outer one is filling. One scan at a time.
static void OnRefresh(HWND window, LPARAM fromUser)
{
    static int scanning = 0;
    if (scanning || !ResolvePendingChanges(window))
        return;
    scanning = 1;
    SetDlgItemTextA(window, IDC_LOCATION, "");
    SetDlgItemTextA(window, IDC_COMMAND, "");
    SetDlgItemTextA(window, IDC_DESCRIPTION, "");
    SetDlgItemTextA(window, IDC_COMPANY, "");
    SetDlgItemTextA(window, IDC_NOTES, "");
    ScanCatalogue();
    if (ItemListWindow)
        FillListView(ItemListWindow);
    ShownPending = 0;
    if (fromUser) {
        char status[64];
        TextFormat(status, sizeof status, STATUS_REFRESHED, (int)ItemCatalogue.count,
                   ItemCatalogue.count == 1 ? "entry" : "entries");
        SetStatusText(NULL, status);
    }
    scanning = 0;
}

static void OnHelpMenu(HWND window)
{
    RECT button;
    GetWindowRect(GetDlgItem(window, IDM_HELP_BUTTON), &button);
    HMENU menu = LoadMenuA(AppInstance, MAKEINTRESOURCEA(IDR_HELP_MENU));
    if (!menu)
        return;
    SetForegroundWindow(window);
    UINT chosen = (UINT)TrackPopupMenu(GetSubMenu(menu, 0), TPM_RETURNCMD | TPM_RIGHTALIGN,
                                       button.right, button.bottom, 0, window, NULL);
    switch (chosen) {
    case IDM_HELP: ShowHelp(window, NULL); break;
    case IDM_WEBSITE: OpenForUser("open", ORVANE_WEB_SITE, "", ORVANE_WEB_SITE); break;
    case IDM_SUPPORT: OpenForUser("open", SUPPORT_PAGE, "", SUPPORT_PAGE); break;
    case IDM_ABOUT: MessageBoxA(window, ABOUT_TEXT, "About...", MB_ICONINFORMATION); break;
    default: break;
    }
    DestroyMenu(menu);
    PostMessageA(window, WM_NULL, 0, 0);
}

static void OnSaveLog(HWND window)
{
    char path[TEXT_FIELD_SIZE];
    char documents[TEXT_FIELD_SIZE];
    OPENFILENAMEA dialog;
    PrepareFileDialog(&dialog, window, path, sizeof path, "HTML files\0*.htm;*.html\0",
                      "Save Log...", OFN_EXPLORER | OFN_OVERWRITEPROMPT);
    // Proposed: "Orvane Tool report 2026-12-07.html" in Documents.
    SYSTEMTIME today;
    GetLocalTime(&today);
    TextFormat(path, sizeof path, LOG_NAME_FORMAT, today.wYear, today.wMonth, today.wDay);
    if (PlatShellFolder(PLAT_CSIDL_PERSONAL, documents))
        dialog.lpstrInitialDir = documents;
    if (!GetSaveFileNameA(&dialog))
        return;
    path[sizeof path - 1] = '\0';
    if (!CompleteLogPath(path, sizeof path)) {
        MessageBoxA(window, LOG_NAME_TOO_LONG, "Save Log...", MB_ICONWARNING | MB_OK);
        return;
    }
    SendMessageA(window, WM_COMMAND, IDM_REFRESH, 0);
    SetStatusWithPath(WriteHtmlLog(path) ? STATUS_REPORT_SAVED : STATUS_REPORT_FAILED, NULL, path);
}

static void OnCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    switch (LOWORD(wParam)) {
    case IDM_ADD: OnAdd(); break;
    case IDM_EDIT: OnEdit(window); break;
    case IDM_CLEANUP: OnCleanUp(window); break;
    case IDM_APPLY: OnApply(); break;
    case IDM_EXIT: PostMessageA(window, WM_CLOSE, 0, 0); break;
    case IDM_HELP_BUTTON: OnHelpMenu(window); break;
    case IDM_REFRESH: OnRefresh(window, lParam); break;
    case IDM_SAVE_LOG: OnSaveLog(window); break;
    default: break;
    }
}

static void OnCreate(HWND window)
{
    CenterWindow(window);
    // The controls do not exist yet: the first scan runs from the loop.
    PostMessageA(window, WM_COMMAND, IDM_REFRESH, 0);
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate(window);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_NOTIFY:
        OnNotify(window, (const NMHDR *)lParam);
        return 0;
    case WM_COMMAND:
        OnCommand(window, wParam, lParam);
        return 0;
    case WM_CTLCOLORSTATIC:
        return BlackTextOnWhite((HDC)wParam);
    case WM_CLOSE:
        // Exit, Alt+F4 and the close box: unapplied changes are asked about.
        if (ResolvePendingChanges(window))
            DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
