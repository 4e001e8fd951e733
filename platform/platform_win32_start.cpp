// platform_win32_start.cpp - starting programs (platform.h, "Processes") on
// Windows, and knowing whether this process is elevated.
//
// An elevated program that starts an entry's program must not lend it its
// rights: the desktop shell (Explorer) runs with the user's ordinary rights,
// so the program is handed to it. First through the shell's own
// ShellExecute, reached from the desktop window's view
// (IShellWindows::FindWindowSW with SWC_DESKTOP), which opens any file as a
// double-click would; then, for a program file, by starting it with a copy
// of the desktop shell's token (CreateProcessWithTokenW).
#include "platform.h"
#include "text.h"

#include <windows.h>
#include <exdisp.h>
#include <objbase.h>
#include <oleauto.h>
#include <shldisp.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <string.h>

int PlatIsElevated(void)
{
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    TOKEN_ELEVATION elevation;
    DWORD size = 0;
    BOOL ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
    CloseHandle(token);
    return ok && elevation.TokenIsElevated ? 1 : 0;
}

int PlatStartProgram(const char *path)
{
    // ShellExecute reports success as a value above 32.
    return (INT_PTR)ShellExecuteA(NULL, "open", path, "", "", SW_SHOWNORMAL) > 32 ? 1 : 0;
}

// The desktop's Shell.Application object, from its view's background.
static IShellDispatch2 *DesktopShell(void)
{
    IShellWindows *windows = NULL;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, NULL, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                (void **)&windows)))
        return NULL;
    VARIANT empty;
    VariantInit(&empty);
    long window = 0;
    IDispatch *found = NULL;
    HRESULT status = windows->FindWindowSW(&empty, &empty, SWC_DESKTOP, &window,
                                           SWFO_NEEDDISPATCH, &found);
    windows->Release();
    if (status != S_OK || !found)
        return NULL;

    IServiceProvider *provider = NULL;
    IShellBrowser *browser = NULL;
    IShellView *view = NULL;
    IDispatch *background = NULL;
    IShellFolderViewDual *folderView = NULL;
    IDispatch *application = NULL;
    IShellDispatch2 *shell = NULL;
    if (SUCCEEDED(found->QueryInterface(IID_IServiceProvider, (void **)&provider))
        && SUCCEEDED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser,
                                            (void **)&browser))
        && SUCCEEDED(browser->QueryActiveShellView(&view))
        && SUCCEEDED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, (void **)&background))
        && SUCCEEDED(background->QueryInterface(IID_IShellFolderViewDual, (void **)&folderView))
        && SUCCEEDED(folderView->get_Application(&application)))
        application->QueryInterface(IID_IShellDispatch2, (void **)&shell);
    if (application)
        application->Release();
    if (folderView)
        folderView->Release();
    if (background)
        background->Release();
    if (view)
        view->Release();
    if (browser)
        browser->Release();
    if (provider)
        provider->Release();
    found->Release();
    return shell;
}

static int StartThroughDesktopShell(const WCHAR *path)
{
    IShellDispatch2 *shell = DesktopShell();
    if (!shell)
        return 0;
    BSTR file = SysAllocString(path);
    VARIANT none, operation, show;
    VariantInit(&none);
    VariantInit(&operation);
    VariantInit(&show);
    operation.vt = VT_BSTR;
    operation.bstrVal = SysAllocString(L"open");
    show.vt = VT_I4;
    show.lVal = SW_SHOWNORMAL;
    HRESULT status = file ? shell->ShellExecute(file, none, none, operation, show) : E_OUTOFMEMORY;
    VariantClear(&operation);
    SysFreeString(file);
    shell->Release();
    return SUCCEEDED(status);
}

// A program file started with a copy of the desktop shell's token.
static int StartWithDesktopToken(const WCHAR *path)
{
    DWORD processId = 0;
    HWND desktop = GetShellWindow();
    if (!desktop || !GetWindowThreadProcessId(desktop, &processId) || !processId)
        return 0;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
    if (!process)
        return 0;
    HANDLE token = NULL, primary = NULL;
    int started = 0;
    if (OpenProcessToken(process, TOKEN_DUPLICATE, &token)
        && DuplicateTokenEx(token, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY
                                       | TOKEN_ADJUST_DEFAULT | TOKEN_ADJUST_SESSIONID,
                            NULL, SecurityImpersonation, TokenPrimary, &primary)) {
        WCHAR commandLine[MAX_PATH + 3];
        commandLine[0] = L'"';
        lstrcpynW(commandLine + 1, path, MAX_PATH);
        lstrcatW(commandLine, L"\"");
        STARTUPINFOW startup;
        memset(&startup, 0, sizeof startup);
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info;
        if (CreateProcessWithTokenW(primary, 0, path, commandLine, 0, NULL, NULL, &startup,
                                    &info)) {
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
            started = 1;
        }
    }
    if (primary)
        CloseHandle(primary);
    if (token)
        CloseHandle(token);
    CloseHandle(process);
    return started;
}

int PlatStartAsDesktopUser(const char *path)
{
    WCHAR wide[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH))
        return 0;
    if (StartThroughDesktopShell(wide))
        return 1;
    size_t length = wcslen(wide);
    return length > 4 && lstrcmpiW(wide + length - 4, L".exe") == 0
           && StartWithDesktopToken(wide);
}

int PlatShellOpen(const char *verb, const char *file, const char *parameters)
{
    SHELLEXECUTEINFOA info;
    memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    // "properties" is a verb of the item's context menu, not of its class.
    info.fMask = strcmp(verb, "properties") == 0 ? SEE_MASK_INVOKEIDLIST : 0;
    info.lpVerb = verb;
    info.lpFile = file;
    info.lpParameters = parameters[0] ? parameters : NULL;
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExA(&info) ? 1 : 0;
}

static VARIANT TextVariant(const WCHAR *text)
{
    VARIANT variant;
    VariantInit(&variant);
    variant.vt = VT_BSTR;
    variant.bstrVal = SysAllocString(text);
    return variant;
}

// The Properties sheet of a file or folder, shown by the desktop shell: its
// item's verb, from the folder the desktop's Shell.Application opens.
static int DesktopProperties(IShellDispatch2 *shell, WCHAR *path)
{
    WCHAR *slash = wcsrchr(path, L'\\');
    if (!slash || !slash[1])
        return 0;
    WCHAR name[MAX_PATH];
    lstrcpynW(name, slash + 1, MAX_PATH);
    // A drive's root keeps its backslash: "C:\".
    slash[slash > path && slash[-1] == L':' ? 1 : 0] = L'\0';
    VARIANT folderPath = TextVariant(path), verb = TextVariant(L"properties");
    BSTR itemName = SysAllocString(name);
    Folder *folder = NULL;
    FolderItem *item = NULL;
    int shown = itemName && folderPath.bstrVal && verb.bstrVal
                && shell->NameSpace(folderPath, &folder) == S_OK && folder
                && folder->ParseName(itemName, &item) == S_OK && item
                && SUCCEEDED(item->InvokeVerb(verb));
    if (item)
        item->Release();
    if (folder)
        folder->Release();
    SysFreeString(itemName);
    VariantClear(&folderPath);
    VariantClear(&verb);
    return shown;
}

int PlatShellOpenAsDesktopUser(const char *verb, const char *file, const char *parameters)
{
    WCHAR wideVerb[32], wideFile[MAX_PATH * 2], wideParameters[MAX_PATH * 2];
    if (!MultiByteToWideChar(CP_ACP, 0, verb, -1, wideVerb, 32)
        || !MultiByteToWideChar(CP_ACP, 0, file, -1, wideFile, MAX_PATH * 2)
        || !MultiByteToWideChar(CP_ACP, 0, parameters, -1, wideParameters, MAX_PATH * 2))
        return 0;
    IShellDispatch2 *shell = DesktopShell();
    if (!shell)
        return 0;
    int done = 0;
    if (lstrcmpW(wideVerb, L"properties") == 0) {
        done = DesktopProperties(shell, wideFile);
    } else {
        BSTR target = SysAllocString(wideFile);
        VARIANT arguments = TextVariant(wideParameters), none, operation = TextVariant(wideVerb),
                show;
        VariantInit(&none);
        VariantInit(&show);
        show.vt = VT_I4;
        show.lVal = SW_SHOWNORMAL;
        done = target && arguments.bstrVal && operation.bstrVal
               && SUCCEEDED(shell->ShellExecute(target, arguments, none, operation, show));
        VariantClear(&arguments);
        VariantClear(&operation);
        SysFreeString(target);
    }
    shell->Release();
    return done;
}

typedef BOOLEAN(WINAPI *RandomFunction)(PVOID buffer, ULONG length);

int PlatRandom(void *data, uint32_t size)
{
    // RtlGenRandom, exported by advapi32 as SystemFunction036.
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    RandomFunction random =
        advapi ? (RandomFunction)(void *)GetProcAddress(advapi, "SystemFunction036") : NULL;
    return random && random(data, size) ? 1 : 0;
}
