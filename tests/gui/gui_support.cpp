// gui_support.cpp - see gui_support.h.
#include "gui_support.h"

#include "../../catalogue/catalogue.h"

#include <process.h>

void Pump()
{
    MSG message;
    for (int round = 0; round < 3; ++round) {
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE)) {
            if (TranslateDialogKeys(&message))
                continue;
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        // A Refresh among them reads on the worker: its rows and details in.
        if (MainWindow)
            FinishDetails(MainWindow);
        Sleep(5);
    }
}

void DropPendingChecks()
{
    if (!ItemListWindow)
        return;
    int rows = (int)SendMessageA(ItemListWindow, LVM_GETITEMCOUNT, 0, 0);
    // Rows show their own record (sorted, or with hidden rows left out).
    for (int i = 0; i < rows; ++i) {
        const AutostartItem *record = CatalogueItem(RecordOfRow(ItemListWindow, i));
        if (!record)
            continue;
        LVITEMA item = {};
        item.stateMask = LVIS_STATEIMAGEMASK;
        item.state = INDEXTOSTATEIMAGEMASK(record->enabled ? 2 : 1);
        SendMessageA(ItemListWindow, LVM_SETITEMSTATE, i, (LPARAM)&item);
    }
}

void EnsureMainWindow()
{
    AppInstance = GetModuleHandleA(NULL);
    if (!MainWindow) {
        CreateSharedResources();
        RegisterMainClass();
        RegisterEditorClass();
        CreateMainWindow();
        CreateMainControls(MainWindow);
    }
    Pump();
}

HWND MakeHiddenItemList()
{
    AppInstance = GetModuleHandleA(NULL);
    CreateSharedResources();
    HWND parent = CreateWindowExA(0, "STATIC", "host", WS_POPUP, 0, 0, 600, 450, NULL, NULL,
                                  AppInstance, NULL);
    HWND list = CreateWindowExA(0, WC_LISTVIEWA, "ListView",
                                ITEM_LIST_STYLE,
                                15, 95, 570, 180, parent, NULL, AppInstance, NULL);
    SetUpItemList(list);
    return list;
}

void DestroyMainWindow()
{
    DestroyWindow(MainWindow);
    Pump();
    MainWindow = NULL;
}

namespace {

struct Watch {
    int kind; // 0 box, 1 menu, 2 file dialog
    int answer;
    std::string title;
    std::string name;
    Seen *seen;
    int count;
    int polls = 400; // of 25 ms each
    std::vector<int> answers = std::vector<int>(); // per box, when they differ
};

// Set by Stop: a watcher that may never see its window ends at once.
volatile LONG StopWatching = 0;

BOOL CALLBACK FindBoxIcon(HWND child, LPARAM argument)
{
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
        ((Seen *)argument)->icon = (HICON)SendMessageA(child, STM_GETICON, 0, 0);
    return TRUE;
}

HWND FindOwnDialog(const char *className, const char *title)
{
    HWND found = NULL;
    DWORD self = GetCurrentProcessId();
    for (HWND window = FindWindowExA(NULL, NULL, className, title); window;
         window = FindWindowExA(NULL, window, className, title)) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == self && IsWindowVisible(window))
            found = window;
    }
    return found;
}

void AnswerBox(HWND box, Watch *watch)
{
    char text[1024] = "";
    GetWindowTextA(box, text, sizeof text);
    watch->seen->caption = text;
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    watch->seen->text = text;
    watch->seen->owner = GetWindow(box, GW_OWNER);
    EnumChildWindows(box, FindBoxIcon, (LPARAM)watch->seen);
    int answer = watch->answer;
    if (!watch->answers.empty()) {
        answer = watch->answers.front();
        watch->answers.erase(watch->answers.begin());
    }
    PostMessageA(box, WM_COMMAND, answer, 0);
}

void AnswerMenu(HWND menuWindow, Watch *watch)
{
    HMENU menu = (HMENU)SendMessageA(menuWindow, MN_GETHMENU, 0, 0);
    char text[64] = "";
    if (menu)
        GetMenuStringA(menu, 4, text, sizeof text, MF_BYPOSITION);
    watch->seen->item4 = text;
    watch->seen->greyed.clear();
    for (int position = 0; menu && position < GetMenuItemCount(menu); ++position)
        if ((GetMenuState(menu, position, MF_BYPOSITION) & (MF_GRAYED | MF_SEPARATOR))
            == MF_GRAYED) {
            GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
            watch->seen->greyed += std::string(text) + ";";
        }
    GetWindowRect(menuWindow, &watch->seen->where);
    if (watch->answer < 0) {
        PostMessageA(menuWindow, WM_KEYDOWN, VK_ESCAPE, 0);
        return;
    }
    int downs = 0;
    for (int position = 0; position <= watch->answer; ++position)
        if (!menu || !(GetMenuState(menu, position, MF_BYPOSITION) & MF_SEPARATOR))
            ++downs;
    for (int i = 0; i < downs; ++i)
        PostMessageA(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
    PostMessageA(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
}

void AnswerFileDialog(HWND dialog, Watch *watch)
{
    // The explorer-style dialog's file name box is combo box 0x47C.
    Sleep(200);
    char proposed[MAX_PATH] = "";
    GetDlgItemTextA(dialog, 0x47C, proposed, sizeof proposed);
    watch->seen->text = proposed;
    SetDlgItemTextA(dialog, 0x47C, watch->name.c_str());
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
}

unsigned __stdcall WatchThread(void *argument)
{
    Watch *watch = (Watch *)argument;
    HWND answered = NULL;
    for (int i = 0; i < watch->polls && watch->count > 0 && !StopWatching; ++i) {
        HWND window = NULL;
        if (watch->kind == 0)
            window = FindOwnDialog("#32770", NULL);
        else if (watch->kind == 1)
            window = FindOwnDialog("#32768", NULL);
        else
            window = FindOwnDialog("#32770", watch->title.c_str());
        if (window && window != answered) {
            watch->seen->found = true;
            if (watch->kind == 0)
                AnswerBox(window, watch);
            else if (watch->kind == 1)
                AnswerMenu(window, watch);
            else
                AnswerFileDialog(window, watch);
            answered = window;
            ++watch->seen;
            --watch->count;
            continue;
        }
        Sleep(25);
    }
    delete watch;
    return 0;
}

HANDLE StartWatch(Watch *watch)
{
    return (HANDLE)_beginthreadex(NULL, 0, WatchThread, watch, 0, NULL);
}

} // namespace

HANDLE WatchBox(int button, Seen *seen)
{
    return StartWatch(new Watch{0, button, "", "", seen, 1});
}

HANDLE WatchBoxes(int count, int button, Seen *seen)
{
    return StartWatch(new Watch{0, button, "", "", seen, count});
}

HANDLE WatchBoxSequence(const std::vector<int> &buttons, Seen *seen)
{
    Watch *watch = new Watch{0, 0, "", "", seen, (int)buttons.size()};
    watch->answers = buttons;
    return StartWatch(watch);
}

HANDLE WatchBoxUntilStopped(int button, Seen *seen)
{
    Watch *watch = new Watch{0, button, "", "", seen, 1};
    watch->polls = 4800;
    return StartWatch(watch);
}

void Stop(HANDLE watcher)
{
    InterlockedExchange(&StopWatching, 1);
    WaitForSingleObject(watcher, 15000);
    CloseHandle(watcher);
    InterlockedExchange(&StopWatching, 0);
}

HANDLE WatchMenu(int position, Seen *seen)
{
    return StartWatch(new Watch{1, position, "", "", seen, 1});
}

HANDLE WatchFileDialog(const char *title, const std::string &name, Seen *seen)
{
    return StartWatch(new Watch{2, IDOK, title, name, seen, 1});
}

void Finish(HANDLE watcher)
{
    WaitForSingleObject(watcher, 15000);
    CloseHandle(watcher);
}

std::string ControlText(HWND control)
{
    // As long as the control's text is: a command field holds thousands.
    std::string text((size_t)GetWindowTextLengthA(control) + 1, '\0');
    text.resize((size_t)GetWindowTextA(control, &text[0], (int)text.size()));
    return text;
}

std::string ItemText(HWND list, int row, int column)
{
    char text[TEXT_FIELD_SIZE] = "";
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = sizeof text;
    SendMessageA(list, LVM_GETITEMTEXTA, row, (LPARAM)&item);
    return text;
}

int CheckState(HWND list, int row)
{
    return (int)((SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK)
                  & LVIS_STATEIMAGEMASK) >> 12);
}

void SelectRow(HWND list, int row)
{
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageA(list, LVM_SETITEMSTATE, row, (LPARAM)&item);
}

void *HookImport(const char *dll, const char *function, void *replacement)
{
    BYTE *base = (BYTE *)GetModuleHandleA(NULL);
    IMAGE_NT_HEADERS *headers = (IMAGE_NT_HEADERS *)(base + ((IMAGE_DOS_HEADER *)base)->e_lfanew);
    IMAGE_DATA_DIRECTORY *imports =
        &headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (IMAGE_IMPORT_DESCRIPTOR *module = (IMAGE_IMPORT_DESCRIPTOR *)(base + imports->VirtualAddress);
         module->Name; ++module) {
        if (lstrcmpiA((const char *)(base + module->Name), dll) != 0)
            continue;
        IMAGE_THUNK_DATA *names = (IMAGE_THUNK_DATA *)(base + module->OriginalFirstThunk);
        IMAGE_THUNK_DATA *slots = (IMAGE_THUNK_DATA *)(base + module->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            IMAGE_IMPORT_BY_NAME *name = (IMAGE_IMPORT_BY_NAME *)(base + names->u1.AddressOfData);
            if (strcmp((const char *)name->Name, function) != 0)
                continue;
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof(void *), PAGE_READWRITE, &protection);
            void *previous = (void *)slots->u1.Function;
            slots->u1.Function = (ULONG_PTR)replacement;
            VirtualProtect(&slots->u1.Function, sizeof(void *), protection, &protection);
            return previous;
        }
    }
    return NULL;
}
