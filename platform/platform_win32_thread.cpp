// platform_win32_thread.cpp - the scan's own threads. A thread that calls
// the shell (IShellLink, SHGetFileInfo) must first enter a COM apartment,
// a single-threaded one as the shell's objects expect, and leave it before
// it ends.
#include "platform.h"

#include <windows.h>
#include <objbase.h>

struct ThreadStart {
    void (*run)(void *context);
    void *context;
};

static DWORD WINAPI ThreadMain(void *argument)
{
    ThreadStart start = *(ThreadStart *)argument;
    HeapFree(GetProcessHeap(), 0, argument);
    // The scan's threads fill every core: below the window's, so that the
    // window still answers at once while they read.
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
    HRESULT com = CoInitializeEx(NULL, COINIT_APARTMENTTHREADED);
    start.run(start.context);
    if (SUCCEEDED(com))
        CoUninitialize();
    return 0;
}

PlatThread PlatStartThread(void (*run)(void *context), void *context)
{
    ThreadStart *start = (ThreadStart *)HeapAlloc(GetProcessHeap(), 0, sizeof(ThreadStart));
    if (!start)
        return NULL;
    start->run = run;
    start->context = context;
    HANDLE thread = CreateThread(NULL, 0, ThreadMain, start, 0, NULL);
    if (!thread)
        HeapFree(GetProcessHeap(), 0, start);
    return (PlatThread)thread;
}

void PlatJoinThread(PlatThread thread)
{
    if (!thread)
        return;
    WaitForSingleObject((HANDLE)thread, INFINITE);
    CloseHandle((HANDLE)thread);
}

PlatLock PlatNewLock(void)
{
    CRITICAL_SECTION *section =
        (CRITICAL_SECTION *)HeapAlloc(GetProcessHeap(), 0, sizeof(CRITICAL_SECTION));
    if (section)
        InitializeCriticalSection(section);
    return (PlatLock)section;
}

void PlatEnterLock(PlatLock lock)
{
    EnterCriticalSection((CRITICAL_SECTION *)lock);
}

void PlatLeaveLock(PlatLock lock)
{
    LeaveCriticalSection((CRITICAL_SECTION *)lock);
}

void PlatFreeLock(PlatLock lock)
{
    if (!lock)
        return;
    DeleteCriticalSection((CRITICAL_SECTION *)lock);
    HeapFree(GetProcessHeap(), 0, lock);
}

int PlatProcessorCount(void)
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? (int)info.dwNumberOfProcessors : 1;
}
