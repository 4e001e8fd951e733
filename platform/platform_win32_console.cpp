// platform_win32_console.cpp - standard output and error of the console
// program. WriteFile of "A" text to a console shows it through the
// console's own code page, which is rarely the process's UTF-8: only
// WriteConsoleW shows every character. Redirected, the same text goes out
// as UTF-8 without a byte-order mark, what scripts and parsers expect.
#include "platform.h"

#include <windows.h>

static HANDLE StreamHandle(PlatStream stream)
{
    return GetStdHandle(stream == PLAT_STDERR ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

// text of the process code page as UTF-16 (PlatFree it); null on failure.
static WCHAR *WideText(const char *text, size_t length, int *wideLength)
{
    *wideLength = 0;
    if (length == 0 || length > 0x7FFFFFF)
        return NULL;
    int needed = MultiByteToWideChar(CP_ACP, 0, text, (int)length, NULL, 0);
    WCHAR *wide = needed > 0 ? (WCHAR *)PlatAllocZero(sizeof(WCHAR) * (size_t)needed) : NULL;
    if (wide)
        *wideLength = MultiByteToWideChar(CP_ACP, 0, text, (int)length, wide, needed);
    return wide;
}

static int WriteAll(HANDLE handle, const void *data, DWORD size)
{
    const char *at = (const char *)data;
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(handle, at, size, &written, NULL) || written == 0)
            return 0;
        at += written;
        size -= written;
    }
    return 1;
}

int PlatWriteStream(PlatStream stream, const char *text, size_t length)
{
    HANDLE handle = StreamHandle(stream);
    if (handle == NULL || handle == INVALID_HANDLE_VALUE)
        return 0;
    if (length == 0)
        return 1;
    DWORD mode = 0;
    int console = GetConsoleMode(handle, &mode);
    // Under the UTF-8 code page a file gets the bytes as they are.
    if (!console && GetACP() == CP_UTF8)
        return WriteAll(handle, text, (DWORD)length);
    int wideLength = 0;
    WCHAR *wide = WideText(text, length, &wideLength);
    if (!wide)
        return 0;
    int done = 1;
    if (console) {
        for (int at = 0; done && at < wideLength;) {
            DWORD written = 0;
            DWORD chunk = (DWORD)(wideLength - at) > 8192 ? 8192 : (DWORD)(wideLength - at);
            done = WriteConsoleW(handle, wide + at, chunk, &written, NULL) && written > 0;
            at += (int)written;
        }
    } else {
        int needed = WideCharToMultiByte(CP_UTF8, 0, wide, wideLength, NULL, 0, NULL, NULL);
        char *utf8 = needed > 0 ? (char *)PlatAllocZero((size_t)needed) : NULL;
        done = utf8 && WideCharToMultiByte(CP_UTF8, 0, wide, wideLength, utf8, needed, NULL, NULL)
                           == needed
               && WriteAll(handle, utf8, (DWORD)needed);
        PlatFree(utf8);
    }
    PlatFree(wide);
    return done;
}

int PlatWriteByteOrderMark(PlatStream stream)
{
    HANDLE handle = StreamHandle(stream);
    DWORD mode = 0;
    if (handle == NULL || handle == INVALID_HANDLE_VALUE)
        return 0;
    // The bytes themselves: under another code page PlatWriteStream would
    // take them for three characters of it.
    return GetConsoleMode(handle, &mode) || WriteAll(handle, "\xEF\xBB\xBF", 3);
}

int PlatConsoleWidth(void)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(StreamHandle(PLAT_STDOUT), &info))
        return 0;
    int width = info.srWindow.Right - info.srWindow.Left + 1;
    return width > 0 ? width : 0;
}
