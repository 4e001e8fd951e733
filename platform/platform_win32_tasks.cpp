// platform_win32_tasks.cpp - the Task Scheduler behind platform.h.
//
// Task Scheduler 2.0 is reached only through COM (ITaskService); its paths
// and XML are wide text. Both stay in this file: paths leave it in the
// process code page, as every other name does, and the XML as UTF-8, so no
// character of the definition is lost. Wine's scheduler does not implement
// the listing (get_Count): PlatTaskList says so (ERROR_CALL_NOT_IMPLEMENTED,
// never one of a listing that failed) and the caller reads the task files
// instead, never asking the scheduler about them.
#include "platform.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <taskschd.h>
#include <string.h>

// Deep enough for any vendor's folders; a loop of folders ends here.
#define TASK_FOLDER_DEPTH 16

// A call the scheduler does not implement (E_NOTIMPL) is told apart from
// one that failed.
static long TaskResult(HRESULT status)
{
    if (SUCCEEDED(status))
        return PLAT_OK;
    if (status == E_NOTIMPL)
        return PLAT_ERROR_CALL_NOT_IMPLEMENTED;
    return HRESULT_FACILITY(status) == FACILITY_WIN32 ? (long)HRESULT_CODE(status) : (long)status;
}

static long Connect(ITaskService **service)
{
    *service = NULL;
    HRESULT status = CoCreateInstance(CLSID_TaskScheduler, NULL, CLSCTX_INPROC_SERVER,
                                      IID_ITaskService, (void **)service);
    if (FAILED(status))
        return TaskResult(status);
    VARIANT empty;
    VariantInit(&empty);
    status = (*service)->Connect(empty, empty, empty, empty);
    if (FAILED(status)) {
        (*service)->Release();
        *service = NULL;
    }
    return TaskResult(status);
}

// text of the code page as a new BSTR (SysFreeString it); null on failure.
static BSTR WideOf(const char *text)
{
    int count = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    if (count <= 0)
        return NULL;
    BSTR wide = SysAllocStringLen(NULL, (UINT)(count - 1));
    if (wide)
        MultiByteToWideChar(CP_ACP, 0, text, -1, wide, count);
    return wide;
}

// A wide text in codePage, in a block to PlatFree; *size its bytes. exact
// (when asked) is zero when the text is not the wide one: a character the
// code page lacks is '?', never a look-alike (best fit would make one
// task's name another's). UTF-8 takes neither flag: there a lone surrogate
// is what fails to come back.
static char *NarrowOf(const wchar_t *wide, UINT codePage, uint32_t *size, int *exact)
{
    UINT page = codePage == CP_ACP ? GetACP() : codePage;
    DWORD flags = page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL *used = page == CP_UTF8 ? NULL : &usedDefault;
    int bytes = WideCharToMultiByte(page, flags, wide, -1, NULL, 0, NULL, NULL);
    if (bytes <= 0)
        return NULL;
    char *text = (char *)PlatAllocZero((size_t)bytes);
    if (!text)
        return NULL;
    WideCharToMultiByte(page, flags, wide, -1, text, bytes, NULL, used);
    if (size)
        *size = (uint32_t)(bytes - 1);
    if (exact) {
        *exact = !usedDefault;
        if (page == CP_UTF8) {
            int count = MultiByteToWideChar(page, 0, text, -1, NULL, 0);
            wchar_t *back = count > 0 ? (wchar_t *)PlatAllocZero((size_t)count * sizeof(wchar_t))
                                      : NULL;
            *exact = back && MultiByteToWideChar(page, 0, text, -1, back, count)
                     && wcscmp(back, wide) == 0;
            PlatFree(back);
        }
    }
    return text;
}

// The paths, and one byte per path (1: exact) to go after them.
struct PathBlock {
    char *data;
    size_t used;
    size_t room;
    uint32_t count;
    uint8_t *exact;
    size_t exactRoom;
};

static int AddPath(PathBlock *block, const wchar_t *path)
{
    uint32_t size = 0;
    int exact = 0;
    char *text = NarrowOf(path, CP_ACP, &size, &exact);
    if (!text)
        return 0;
    if (block->count == block->exactRoom) {
        size_t room = block->exactRoom ? block->exactRoom * 2 : 64;
        uint8_t *grown = (uint8_t *)PlatAllocZero(room);
        if (!grown) {
            PlatFree(text);
            return 0;
        }
        if (block->exact)
            memcpy(grown, block->exact, block->count);
        PlatFree(block->exact);
        block->exact = grown;
        block->exactRoom = room;
    }
    block->exact[block->count] = exact ? 1 : 0;
    if (block->used + size + 2 > block->room) {
        size_t room = (block->room + size + 2) * 2;
        char *grown = (char *)PlatAllocZero(room);
        if (!grown) {
            PlatFree(text);
            return 0;
        }
        if (block->data)
            memcpy(grown, block->data, block->used);
        PlatFree(block->data);
        block->data = grown;
        block->room = room;
    }
    memcpy(block->data + block->used, text, (size_t)size + 1);
    block->used += (size_t)size + 1;
    ++block->count;
    PlatFree(text);
    return 1;
}

static VARIANT IndexOf(LONG index)
{
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = index;
    return v;
}

// A folder's tasks (hidden too), then its subfolders', as Task Scheduler
// shows them. A subfolder that cannot be read (not ours to see) is left
// out; the rest is still listed.
static HRESULT ListFolder(ITaskFolder *folder, PathBlock *block, int depth)
{
    IRegisteredTaskCollection *tasks = NULL;
    HRESULT status = folder->GetTasks(TASK_ENUM_HIDDEN, &tasks);
    if (FAILED(status))
        return status;
    LONG count = 0;
    status = tasks->get_Count(&count);
    for (LONG i = 1; SUCCEEDED(status) && i <= count; ++i) {
        IRegisteredTask *task = NULL;
        if (FAILED(tasks->get_Item(IndexOf(i), &task)) || !task)
            continue;
        BSTR path = NULL;
        if (SUCCEEDED(task->get_Path(&path)) && path && !AddPath(block, path))
            status = E_OUTOFMEMORY;
        SysFreeString(path);
        task->Release();
    }
    tasks->Release();
    if (FAILED(status) || depth >= TASK_FOLDER_DEPTH)
        return status;

    ITaskFolderCollection *folders = NULL;
    status = folder->GetFolders(0, &folders);
    if (FAILED(status))
        return status;
    count = 0;
    status = folders->get_Count(&count);
    for (LONG i = 1; SUCCEEDED(status) && i <= count; ++i) {
        ITaskFolder *sub = NULL;
        if (FAILED(folders->get_Item(IndexOf(i), &sub)) || !sub)
            continue;
        if (ListFolder(sub, block, depth + 1) == E_OUTOFMEMORY)
            status = E_OUTOFMEMORY;
        sub->Release();
    }
    folders->Release();
    return status;
}

static long RootFolder(ITaskService **service, ITaskFolder **root)
{
    *root = NULL;
    long result = Connect(service);
    if (result != PLAT_OK)
        return result;
    BSTR name = SysAllocString(L"\\");
    HRESULT status = (*service)->GetFolder(name, root);
    SysFreeString(name);
    if (FAILED(status)) {
        (*service)->Release();
        *service = NULL;
    }
    return TaskResult(status);
}

static long ListAll(char **paths, uint32_t *count, const uint8_t **exact)
{
    *paths = NULL;
    *count = 0;
    *exact = NULL;
    ITaskService *service = NULL;
    ITaskFolder *root = NULL;
    long result = RootFolder(&service, &root);
    if (result != PLAT_OK)
        return result;
    PathBlock block = {NULL, 0, 0, 0, NULL, 0};
    result = TaskResult(ListFolder(root, &block, 0));
    root->Release();
    service->Release();
    // One block: the paths, then their exactness.
    char *whole = result == PLAT_OK ? (char *)PlatAllocZero(block.used + block.count + 1) : NULL;
    if (whole) {
        if (block.data)
            memcpy(whole, block.data, block.used);
        if (block.exact)
            memcpy(whole + block.used + 1, block.exact, block.count);
    }
    PlatFree(block.data);
    PlatFree(block.exact);
    if (!whole)
        return result != PLAT_OK ? result : (long)PLAT_ERROR_OUTOFMEMORY;
    *paths = whole;
    *count = block.count;
    *exact = (const uint8_t *)whole + block.used + 1;
    return PLAT_OK;
}

// The registered task at path, through the root folder.
static long OpenTask(const char *path, ITaskService **service, IRegisteredTask **task)
{
    *task = NULL;
    ITaskFolder *root = NULL;
    long result = RootFolder(service, &root);
    if (result != PLAT_OK)
        return result;
    BSTR wide = WideOf(path);
    HRESULT status = wide ? root->GetTask(wide, task) : E_OUTOFMEMORY;
    SysFreeString(wide);
    root->Release();
    if (FAILED(status) || !*task) {
        (*service)->Release();
        *service = NULL;
        *task = NULL;
        return FAILED(status) ? TaskResult(status) : (long)PLAT_ERROR_FILE_NOT_FOUND;
    }
    return PLAT_OK;
}

long PlatTaskRead(const char *path, char **xml, uint32_t *size, int32_t *enabled)
{
    if (xml)
        *xml = NULL;
    if (size)
        *size = 0;
    ITaskService *service = NULL;
    IRegisteredTask *task = NULL;
    long result = OpenTask(path, &service, &task);
    if (result != PLAT_OK)
        return result;
    if (enabled) {
        VARIANT_BOOL on = VARIANT_FALSE;
        result = TaskResult(task->get_Enabled(&on));
        *enabled = on != VARIANT_FALSE;
    }
    if (xml && result == PLAT_OK) {
        BSTR text = NULL;
        result = TaskResult(task->get_Xml(&text));
        if (result == PLAT_OK) {
            *xml = NarrowOf(text ? text : L"", CP_UTF8, size, NULL);
            if (!*xml)
                result = PLAT_ERROR_OUTOFMEMORY;
        }
        SysFreeString(text);
    }
    task->Release();
    service->Release();
    return result;
}

long PlatTaskSecurity(const char *path, char **sddl, uint32_t *size)
{
    *sddl = NULL;
    *size = 0;
    ITaskService *service = NULL;
    IRegisteredTask *task = NULL;
    long result = OpenTask(path, &service, &task);
    if (result != PLAT_OK)
        return result;
    // The system access list would need a privilege; registering takes
    // owner, group and access list.
    BSTR text = NULL;
    LONG parts = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION
                 | DACL_SECURITY_INFORMATION;
    result = TaskResult(task->GetSecurityDescriptor(parts, &text));
    if (result == PLAT_OK) {
        *sddl = NarrowOf(text ? text : L"", CP_UTF8, size, NULL);
        if (!*sddl)
            result = PLAT_ERROR_OUTOFMEMORY;
    }
    SysFreeString(text);
    task->Release();
    service->Release();
    return result;
}

long PlatTaskSetEnabled(const char *path, int32_t enabled)
{
    ITaskService *service = NULL;
    IRegisteredTask *task = NULL;
    long result = OpenTask(path, &service, &task);
    if (result != PLAT_OK)
        return result;
    result = TaskResult(task->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE));
    task->Release();
    service->Release();
    return result;
}

long PlatTaskDelete(const char *path)
{
    const char *slash = strrchr(path, '\\');
    if (!slash || !slash[1])
        return PLAT_ERROR_INVALID_PARAMETER;
    char folderPath[PLAT_TEXT_SIZE];
    size_t length = (size_t)(slash - path);
    if (length >= sizeof folderPath)
        return PLAT_ERROR_INVALID_PARAMETER;
    memcpy(folderPath, path, length);
    folderPath[length] = '\0';
    if (length == 0)
        strcpy(folderPath, "\\");

    ITaskService *service = NULL;
    long result = Connect(&service);
    if (result != PLAT_OK)
        return result;
    ITaskFolder *folder = NULL;
    BSTR folderName = WideOf(folderPath);
    BSTR taskName = WideOf(slash + 1);
    HRESULT status = folderName && taskName ? service->GetFolder(folderName, &folder) : E_OUTOFMEMORY;
    if (SUCCEEDED(status) && folder) {
        status = folder->DeleteTask(taskName, 0);
        folder->Release();
    }
    SysFreeString(folderName);
    SysFreeString(taskName);
    service->Release();
    return TaskResult(status);
}

long PlatTaskRegister(const char *path, const char *xml, const char *sddl)
{
    ITaskService *service = NULL;
    ITaskFolder *root = NULL;
    long result = RootFolder(&service, &root);
    if (result != PLAT_OK)
        return result;
    BSTR widePath = WideOf(path);
    // The XML is UTF-8 whatever the code page: converted as such.
    int count = MultiByteToWideChar(CP_UTF8, 0, xml, -1, NULL, 0);
    BSTR wideXml = count > 0 ? SysAllocStringLen(NULL, (UINT)(count - 1)) : NULL;
    if (wideXml)
        MultiByteToWideChar(CP_UTF8, 0, xml, -1, wideXml, count);
    VARIANT empty, security;
    VariantInit(&empty);
    VariantInit(&security);
    if (sddl) {
        security.vt = VT_BSTR;
        security.bstrVal = WideOf(sddl);
    }
    IRegisteredTask *task = NULL;
    // TASK_CREATE alone: an existing task is never replaced. No user and
    // no logon type given: the principal of the XML stands.
    HRESULT status = widePath && wideXml && (!sddl || security.bstrVal)
                         ? root->RegisterTask(widePath, wideXml, TASK_CREATE, empty, empty,
                                              TASK_LOGON_NONE, security, &task)
                         : E_OUTOFMEMORY;
    VariantClear(&security);
    if (task)
        task->Release();
    SysFreeString(widePath);
    SysFreeString(wideXml);
    root->Release();
    service->Release();
    return TaskResult(status);
}

// The listing runs on its own thread: a scheduler service that does not
// answer must not hold the Refresh. A late listing frees its own result;
// once one has timed out, the scheduler is not waited for again in this
// process (every Refresh would otherwise pay the wait): each later listing
// fails at once with the same error, which the caller says every time.
#define TASK_LIST_WAIT_MS 4000
static LONG SchedulerSilent = 0;

struct ListJob {
    LONG references;
    long result;
    char *paths;
    uint32_t count;
    const uint8_t *exact;
};

static void ReleaseJob(ListJob *job)
{
    if (InterlockedDecrement(&job->references) == 0) {
        PlatFree(job->paths);
        PlatFree(job);
    }
}

static DWORD WINAPI ListThread(void *context)
{
    ListJob *job = (ListJob *)context;
    HRESULT com = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    job->result = ListAll(&job->paths, &job->count, &job->exact);
    if (SUCCEEDED(com))
        CoUninitialize();
    ReleaseJob(job);
    return 0;
}

long PlatTaskList(char **paths, uint32_t *count, const uint8_t **exact)
{
    *paths = NULL;
    *count = 0;
    *exact = NULL;
    if (InterlockedCompareExchange(&SchedulerSilent, 0, 0))
        return 1460; // ERROR_TIMEOUT
    ListJob *job = (ListJob *)PlatAllocZero(sizeof(ListJob));
    if (!job)
        return PLAT_ERROR_OUTOFMEMORY;
    job->references = 2;
    HANDLE thread = CreateThread(NULL, 0, ListThread, job, 0, NULL);
    if (!thread) {
        PlatFree(job);
        return (long)GetLastError();
    }
    DWORD waited = WaitForSingleObject(thread, TASK_LIST_WAIT_MS);
    CloseHandle(thread);
    long result = 1460; // ERROR_TIMEOUT
    if (waited == WAIT_OBJECT_0) {
        result = job->result;
        *paths = job->paths;
        *count = job->count;
        *exact = job->exact;
        job->paths = NULL;
    } else {
        InterlockedExchange(&SchedulerSilent, 1);
    }
    ReleaseJob(job);
    return result;
}
