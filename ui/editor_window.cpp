// editor_window.cpp - the Add/Edit window: name, program and parameters of
// a registry entry and the user it starts for. It disables the main window
// while it is open, which makes it modal within the program's one message
// loop and keeps EditIndex valid: no refresh can rebuild the catalogue
// meanwhile. Ok saves through SaveItem, then posts Refresh and its own close.
#include "ui.h"

#include "../store/store.h"
#include "help.h"

#include <commdlg.h>
#include <string.h>

int32_t EditMode = EditorAdd;
int32_t EditIndex = -1;
HWND EditorWindow = NULL;
HBITMAP EditorHeaderBitmap = NULL;

#define FIELD_STYLE (WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL)
#define BUTTON_STYLE (WS_CHILD | WS_VISIBLE | WS_TABSTOP)
#define ICON_STYLE (BUTTON_STYLE | BS_ICON)
// Only the checked radio button is a tab stop (FillFromRecord).
#define RADIO_STYLE (WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON)
#define LABEL_STYLE (WS_CHILD | WS_VISIBLE)

// In reading order, each field after the label that names it; the two
// radio buttons are one group (Tab enters it, the arrows move in it).
static const ChildControl EditorControls[] = {
    {IDC_EDITOR_HELP, "BUTTON", "&Help", 330, 13, 35, 35, ICON_STYLE, IDI_HELP},
    {-1, "STATIC", "Name:", 15, 85, 350, 20, LABEL_STYLE, 0},
    {IDC_EDITOR_NAME, "EDIT", "", 15, 110, 350, 25, FIELD_STYLE, 0},
    {IDC_EDITOR_FILE_LABEL, "STATIC", FILE_LABEL_TEXT, 15, 145, 350, 20, LABEL_STYLE, 0},
    {IDC_EDITOR_FILE, "EDIT", "", 15, 170, 320, 25, FIELD_STYLE, 0},
    {IDC_BROWSE, "BUTTON", "&Browse...", 340, 170, 25, 25, ICON_STYLE, IDI_BROWSE},
    {-1, "STATIC", "Parameters:", 15, 205, 350, 20, LABEL_STYLE, 0},
    {IDC_EDITOR_PARAMETERS, "EDIT", "", 15, 230, 350, 25, FIELD_STYLE, 0},
    {-1, "STATIC", "Start for:", 15, 265, 350, 20, LABEL_STYLE, 0},
    {IDC_EDITOR_USER, "BUTTON", "Only &me", 15, 290, 100, 25, RADIO_STYLE | WS_GROUP, 0},
    {IDC_EDITOR_ALL, "BUTTON", "&All users", 135, 290, 100, 25, RADIO_STYLE, 0},
    {IDC_OK, "BUTTON", "&OK", 150, 335, 100, 30, BUTTON_STYLE | WS_GROUP | BS_DEFPUSHBUTTON, IDI_APPLY},
    {IDC_CANCEL, "BUTTON", "&Cancel", 265, 335, 100, 30, BUTTON_STYLE, IDI_EXIT},
};

int CreateEditorControls(HWND window)
{
    int failures = 0;
    for (const ChildControl &row : EditorControls) {
        HWND control = CreateChildControl(window, &row);
        if (!control)
            ++failures;
        else if (row.id == IDC_EDITOR_NAME)
            SetFocus(control);
    }
    return failures;
}

// File and Parameters show the stored command; one that cannot be shown
// whole in them is kept as stored, and the fields say so and stay read-only.
static void FillCommandFields(HWND window, const AutostartItem *item)
{
    char file[TEXT_FIELD_SIZE], parameters[COMMAND_FIELD_SIZE];
    int state = EditFields(item, file, parameters);
    SetDlgItemTextA(window, IDC_EDITOR_FILE, file);
    SetDlgItemTextA(window, IDC_EDITOR_PARAMETERS, parameters);
    if (state == FieldsEditable)
        return;
    SendDlgItemMessageA(window, IDC_EDITOR_FILE, EM_SETREADONLY, TRUE, 0);
    SendDlgItemMessageA(window, IDC_EDITOR_PARAMETERS, EM_SETREADONLY, TRUE, 0);
    EnableWindow(GetDlgItem(window, IDC_BROWSE), FALSE);
    SetDlgItemTextA(window, IDC_EDITOR_FILE_LABEL,
                    state == FieldsTextBeforeProgram ? KEPT_WHOLE_TEXT_BEFORE
                    : state == FieldsNotText        ? KEPT_WHOLE_NOT_TEXT
                    : state == FieldsNotExact       ? KEPT_WHOLE_NOT_EXACT
                    : state == FieldsRunOnceExForm  ? KEPT_WHOLE_RUN_ONCE_EX
                                                    : KEPT_WHOLE_TOO_LONG);
}

static void FillFromRecord(HWND window)
{
    const AutostartItem *item = EditMode == EditorEdit ? CatalogueItem(EditIndex) : NULL;
    if (item) {
        SetDlgItemTextA(window, IDC_EDITOR_NAME, item->name);
        FillCommandFields(window, item);
    }
    int user = !item || ScopeIsUser(item->scope);
    HWND checked = GetDlgItem(window, user ? IDC_EDITOR_USER : IDC_EDITOR_ALL);
    SendMessageA(checked, BM_SETCHECK, BST_CHECKED, 0);
    SetWindowLongPtrA(checked, GWL_STYLE, GetWindowLongPtrA(checked, GWL_STYLE) | WS_TABSTOP);
}

// The status bar says what the save did, naming the entry.
// A save stored but not written to the history says why after its words.
static void AppendNotJournaled(char *status, size_t size, long journalCause)
{
    if (journalCause == PLAT_OK)
        return;
    char clause[TEXT_FIELD_SIZE];
    TextFormat(clause, sizeof clause, STATUS_NOT_JOURNALED, CauseText(journalCause));
    TextAppend(status, size, clause);
}

static void ReportSave(int result, const char *name, const char *extra, long journalCause)
{
    const AutostartItem *old = EditMode == EditorEdit ? CatalogueItem(EditIndex) : NULL;
    if (result == SaveRefused && old && old->inexact) {
        char status[TEXT_FIELD_SIZE + 96];
        TextFormat(status, sizeof status, STATUS_NAME_INEXACT, old->name);
        SetStatusText(NULL, status);
        return;
    }
    // Started later by its task: the store refused, and says why.
    if (result == SaveRefused && old && old->startLater) {
        char status[TEXT_FIELD_SIZE + 256];
        TextFormat(status, sizeof status, STATUS_APPLY_FAILED_FORMAT, old->name, "saved",
                   CauseText(LastStoreError()));
        SetStatusText(NULL, status);
        return;
    }
    if (result == SaveReplaced) {
        SetStatusWithPath(STATUS_REPLACED, name, extra);
        return;
    }
    char status[2 * TEXT_FIELD_SIZE + 160];
    if (result == SaveCaseParkedKept) {
        TextFormat(status, sizeof status, STATUS_CASE_PARKED_KEPT, name, extra);
        AppendNotJournaled(status, sizeof status, journalCause);
        SetStatusText(NULL, status);
        return;
    }
    const char *format = result == SaveDone        ? (old ? STATUS_SAVED : STATUS_ADDED)
                         : result == SaveLaterTwice  ? STATUS_LATER_TWICE
                         : result == SaveOldKept     ? STATUS_OLD_VALUE_KEPT
                         : result == SaveRefused     ? STATUS_ENTRY_CUT
                         : result == SaveCaseRenamed ? STATUS_CASE_RENAMED
                         : result == SaveCaseNotStored ? STATUS_CASE_NOT_STORED
                                                       : STATUS_NOT_SAVED;
    TextFormat(status, sizeof status, format, name);
    AppendNotJournaled(status, sizeof status, journalCause);
    SetStatusText(NULL, status);
}

#define EDITOR_STYLE (WS_POPUP | WS_CAPTION | WS_SYSMENU)
#define EDITOR_SIZE 380

// The window around a 380 x 380 client area at UiDpi.
static SIZE EditorOuterSize(void)
{
    RECT outer = {0, 0, Scaled(EDITOR_SIZE), Scaled(EDITOR_SIZE)};
    AdjustRectForDpi(&outer, EDITOR_STYLE, WS_EX_CONTROLPARENT, UiDpi);
    SIZE size = {outer.right - outer.left, outer.bottom - outer.top};
    return size;
}

void OpenEditor(const char *title)
{
    SIZE outer = EditorOuterSize();
    EditorWindow = CreateWindowExA(WS_EX_CONTROLPARENT, EDITOR_CLASS_NAME, title, EDITOR_STYLE,
                                   0, 0, outer.cx, outer.cy, MainWindow, NULL, AppInstance,
                                   NULL);
    if (!EditorWindow) {
        ShowLastError(NULL);
        // Nobody else would release the header the opener loaded.
        if (EditorHeaderBitmap)
            DeleteObject(EditorHeaderBitmap);
        EditorHeaderBitmap = NULL;
        return;
    }
    CreateEditorControls(EditorWindow);
    FillFromRecord(EditorWindow);
    UpdateWindow(EditorWindow);
    ShowWindow(EditorWindow, SW_SHOWNORMAL);
}

static void OnOk(HWND window)
{
    char name[TEXT_FIELD_SIZE], file[TEXT_FIELD_SIZE], parameters[COMMAND_FIELD_SIZE];
    GetDlgItemTextA(window, IDC_EDITOR_NAME, name, sizeof name);
    GetDlgItemTextA(window, IDC_EDITOR_FILE, file, sizeof file);
    GetDlgItemTextA(window, IDC_EDITOR_PARAMETERS, parameters, sizeof parameters);
    int user = SendDlgItemMessageA(window, IDC_EDITOR_USER, BM_GETCHECK, 0, 0) == BST_CHECKED;
    // A field longer than its buffer would be saved cut: nothing is saved.
    const int fields[3] = {IDC_EDITOR_NAME, IDC_EDITOR_FILE, IDC_EDITOR_PARAMETERS};
    const size_t sizes[3] = {sizeof name, sizeof file, sizeof parameters};
    for (int i = 0; i < 3; ++i) {
        if ((size_t)GetWindowTextLengthA(GetDlgItem(window, fields[i])) >= sizes[i]) {
            char text[128];
            TextFormat(text, sizeof text, FIELD_TOO_LONG_TEXT, (int)sizes[i] - 1);
            MessageBoxA(window, text, "Orvane", MB_ICONWARNING | MB_OK);
            SetFocus(GetDlgItem(window, fields[i]));
            return;
        }
    }
    if (!name[0]) {
        MessageBoxA(window, NAME_MISSING_TEXT, "Orvane", MB_ICONWARNING | MB_OK);
        SetFocus(GetDlgItem(window, IDC_EDITOR_NAME));
        return;
    }
    if (!file[0]) {
        MessageBoxA(window, FILE_MISSING_TEXT, "Orvane", MB_ICONWARNING | MB_OK);
        SetFocus(GetDlgItem(window, IDC_EDITOR_FILE));
        return;
    }
    // A program that is not there is saved only when the user says so: a
    // mistyped path would start nothing and look like an entry that does.
    if (SaveProgramMissing(file, parameters, EditMode, EditIndex)) {
        char question[TEXT_FIELD_SIZE + 128];
        TextFormat(question, sizeof question, PROGRAM_MISSING_QUESTION, file);
        if (MessageBoxA(window, question, "Orvane", MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2)
            != IDYES) {
            SetFocus(GetDlgItem(window, IDC_EDITOR_FILE));
            return;
        }
    }
    // Another entry of that name is replaced only when the user says so; No
    // keeps this window open with its fields.
    if (SaveWouldReplace(name, !user, EditMode, EditIndex)) {
        char place[TEXT_FIELD_SIZE];
        SaveReplacePlace(!user, EditMode, EditIndex, place);
        char question[2 * TEXT_FIELD_SIZE + 64];
        TextFormat(question, sizeof question, REPLACE_QUESTION, name, place);
        if (MessageBoxA(window, question, "Orvane", MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2)
            != IDYES)
            return;
    }
    char extra[TEXT_FIELD_SIZE];
    const FrontEnd front = {NULL, NULL, NULL, NULL, FRONT_WINDOW};
    long journalCause = PLAT_OK;
    int result = SaveEntry(name, file, parameters, !user, EditMode, EditIndex, extra, &front,
                           &journalCause);
    ReportSave(result, name, extra, journalCause);
    if (result != SaveNotWritten && result != SaveRefused && result != SaveCaseNotStored)
        NoteSavedEntry(name, !user, EditMode, EditIndex);
    WantSelection(name, user ? SCOPE_USER : SCOPE_ALL, RegistryValue);
    // In this order: the main window rebuilds its list before this window
    // closes and enables it again.
    PostMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, 0);
    PostMessageA(window, WM_CLOSE, 0, 0);
}

// Browse starts in the folder of the program named, when it exists, else
// in Program Files, where programs are installed (found from the system).
static void OnBrowse(HWND window)
{
    char path[TEXT_FIELD_SIZE], folder[TEXT_FIELD_SIZE];
    OPENFILENAMEA dialog;
    PrepareFileDialog(&dialog, window, path, sizeof path,
                      "Programs\0*.exe;*.com;*.bat;*.cmd\0All files\0*.*\0", BROWSE_TITLE,
                      OFN_EXPLORER | OFN_FILEMUSTEXIST);
    GetDlgItemTextA(window, IDC_EDITOR_FILE, folder, sizeof folder);
    char *slash = strrchr(folder, '\\');
    if (slash)
        *slash = '\0';
    // A network folder is not opened unasked: it may not answer.
    uint32_t attributes =
        slash && !PlatIsNetworkPath(folder) ? PlatFileAttributes(folder) : PLAT_NO_ATTRIBUTES;
    if (attributes != PLAT_NO_ATTRIBUTES && (attributes & PLAT_FILE_FOLDER))
        dialog.lpstrInitialDir = folder;
    else if (PlatShellFolder(PLAT_CSIDL_PROGRAM_FILES, folder))
        dialog.lpstrInitialDir = folder;
    if (GetOpenFileNameA(&dialog)) {
        path[sizeof path - 1] = '\0';
        SetDlgItemTextA(window, IDC_EDITOR_FILE, path);
    }
}

static void OnCommand(HWND window, WPARAM wParam)
{
    switch (LOWORD(wParam)) {
    case IDC_OK: OnOk(window); break;
    case IDC_CANCEL: PostMessageA(window, WM_CLOSE, 0, 0); break;
    case IDC_EDITOR_HELP: ShowHelp(window, ADD_EDIT_HELP_TOPIC); break;
    case IDC_BROWSE: OnBrowse(window); break;
    default: break;
    }
}

static void OnPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, NULL);
    StretchBitmap(dc, EditorHeaderBitmap, 0, 0, Scaled(380), Scaled(70), SRCCOPY);
    EndPaint(window, &paint);
}

// The main window is enabled before this one goes, so Windows gives the
// activation back to it rather than to some other program's window.
static void OnClose(HWND window)
{
    EnableWindow(MainWindow, TRUE);
    DestroyWindow(window);
    SetForegroundWindow(MainWindow);
    SetActiveWindow(MainWindow);
}

// Every way the window goes ends here: the main window usable again, the
// header released, and drawn at its own DPI should this one have moved to
// a monitor of another.
static void OnDestroy(void)
{
    EnableWindow(MainWindow, TRUE);
    if (EditorHeaderBitmap)
        DeleteObject(EditorHeaderBitmap);
    EditorHeaderBitmap = NULL;
    EditorWindow = NULL;
    if (MainWindow && WindowDpi(MainWindow) != UiDpi)
        RescaleMainWindow(MainWindow, WindowDpi(MainWindow), NULL);
}

// Another monitor: fonts, header, icons and every control at the new DPI,
// in the rectangle Windows suggests.
static void OnDpiChanged(HWND window, int dpi, const RECT *suggested)
{
    UseDpi(dpi);
    HBITMAP header = LoadArt(EditMode == EditorEdit ? IDB_EDITOR_EDIT : IDB_EDITOR_ADD);
    if (header) {
        if (EditorHeaderBitmap)
            DeleteObject(EditorHeaderBitmap);
        EditorHeaderBitmap = header;
    }
    // The controls in table order (the labels share id -1).
    const size_t count = sizeof EditorControls / sizeof EditorControls[0];
    size_t next = 0;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        int id = GetDlgCtrlID(child);
        while (next < count && EditorControls[next].id != id)
            ++next;
        if (next == count)
            break;
        const ChildControl &row = EditorControls[next++];
        MoveScaled(child, row.x, row.y, row.width, row.height);
        if (row.icon)
            SetSkinIcon(child, ButtonIcon(row.icon));
    }
    SIZE outer = EditorOuterSize();
    SetWindowPos(window, NULL, suggested->left, suggested->top, outer.cx, outer.cy,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    InvalidateRect(window, NULL, TRUE);
}

static LRESULT OnActivate(HWND window, WPARAM wParam, LPARAM lParam)
{
    static HWND focused = NULL;
    return ActivateKeepingFocus(window, wParam, lParam, &focused, IDC_EDITOR_NAME);
}

LRESULT CALLBACK EditorWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        CenterWindow(window);
        EnableWindow(MainWindow, FALSE);
        return 0;
    case WM_PAINT:
        OnPaint(window);
        return 0;
    case WM_CLOSE:
        OnClose(window);
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case WM_COMMAND:
        OnCommand(window, wParam);
        return 0;
    case WM_CTLCOLORSTATIC:
        return BlackTextOnWhite((HDC)wParam);
    case WM_DPICHANGED:
        OnDpiChanged(window, HIWORD(wParam), (const RECT *)lParam);
        return 0;
    case WM_ACTIVATE:
        // Back from a box or the file dialog: the keys go to the field that
        // had them, or the name.
        return OnActivate(window, wParam, lParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
