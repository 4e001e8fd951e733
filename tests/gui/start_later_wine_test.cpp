// start_later_wine_test.cpp - the window's Start later under Wine, whose
// Task Scheduler keeps no trigger of a task it registers: a delay is
// refused, said, storage untouched; a task of ours planted as its file
// beside the entry disabled here is the entry's one row, on, with its
// delay, and Start at logon gives the entry back.
#include "../../store/store.h"
#include "../integration/wine_places.h"
#include "gui_support.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

std::string LaterFolder()
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof system);
    return std::string(system) + "\\Tasks\\Orvane Tool\\Start later";
}

int RowOf(HWND list, const char *name, int *rows)
{
    int row = -1;
    *rows = (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0);
    for (int r = 0; r < *rows; ++r)
        if (ItemText(list, r, 0) == name)
            row = r;
    return row;
}

void Refresh()
{
    DropPendingChecks();
    SendMessageA(MainWindow, WM_COMMAND, IDM_REFRESH, 0);
    Pump();
}

std::string Status()
{
    return ControlText(GetDlgItem(MainWindow, IDC_STATUS));
}

} // namespace

TEST(StartLaterWindow, RefusedWhereTheTaskIsNotKeptAndAPlantedTaskIsOneRow)
{
    EnsureMainWindow();
    EmptyAllPlaces();
    std::string probe = ProbePath();
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Later Probe", probe + " /later"));
    std::string stored = ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Later Probe");
    Refresh();
    HWND list = GetDlgItem(MainWindow, IDC_ITEM_LIST);
    int rows = 0, row = RowOf(list, "Later Probe", &rows);
    ASSERT_GE(row, 0);

    RunItemCommand(list, IDM_LATER_60, row);
    Pump();
    EXPECT_EQ(std::string("ERROR: \"Later Probe\" was not set to start 1 min after logon: ")
                  + CauseText(CAUSE_LATER_NOT_KEPT) + ".", Status());
    EXPECT_EQ(stored, ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Later Probe"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((LaterFolder() + "\\Later Probe").c_str()));

    // Disabled here, then its task planted as a scheduler would keep it.
    RunItemCommand(list, IDM_TOGGLE, row);
    SendMessageA(MainWindow, WM_COMMAND, IDM_APPLY, 0);
    Pump();
    ASSERT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Later Probe"));
    char user[256];
    DWORD size = sizeof user;
    ASSERT_TRUE(GetUserNameA(user, &size));
    std::vector<char> xml(START_LATER_XML_SIZE);
    ASSERT_TRUE(StartLaterXml("HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run-\\\\Later Probe",
                              120, probe.c_str(), "/later", user, xml.data(), xml.size()));
    std::vector<wchar_t> wide(xml.size());
    int length = MultiByteToWideChar(CP_UTF8, 0, xml.data(), -1, wide.data(), (int)wide.size());
    CreateDirectoryA(LaterFolder().substr(0, LaterFolder().rfind('\\')).c_str(), NULL);
    CreateDirectoryA(LaterFolder().c_str(), NULL);
    HANDLE file = CreateFileA((LaterFolder() + "\\Later Probe").c_str(), GENERIC_WRITE, 0, NULL,
                              CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD wrote = 0;
    WriteFile(file, "\xff\xfe", 2, &wrote, NULL);
    WriteFile(file, wide.data(), (DWORD)(length - 1) * 2, &wrote, NULL);
    CloseHandle(file);

    Refresh();
    row = RowOf(list, "Later Probe", &rows);
    ASSERT_GE(row, 0);
    for (int32_t i = 0; i < ItemCatalogue.count; ++i)
        EXPECT_NE(0, strncmp(ItemCatalogue.items[i].location, START_LATER_FOLDER,
                             strlen(START_LATER_FOLDER))) << "the task is not listed apart";
    EXPECT_EQ(2, CheckState(list, row));
    SelectRow(list, row);
    Pump();
    std::string notes = ControlText(GetDlgItem(MainWindow, IDC_NOTES));
    EXPECT_NE(std::string::npos, notes.find("starts 2 min after logon")) << notes;

    RunItemCommand(list, IDM_LATER_NONE, row);
    Pump();
    EXPECT_EQ(0u, Status().find("\"Later Probe\" now starts at logon")) << Status();
    EXPECT_EQ(stored, ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Later Probe"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA((LaterFolder() + "\\Later Probe").c_str()));
    DeleteFileA((LaterFolder() + "\\Later Probe").c_str());
    EmptyAllPlaces();
    // The Refresh the change posted reads the task folder: done before
    // the scheduler, which it starts, is stopped.
    FinishDetails(MainWindow);
    DestroyMainWindow();
    StopTaskScheduler();
}
