// start_later_wine_test.cpp - Start later on the real system, through the
// console program. Wine's Task Scheduler keeps no trigger or action of a
// task it registers and cannot list: a delay is refused there, the entry
// untouched and no task left; a task of ours planted as its file beside the
// entry disabled as the store disables it lists as the entry's one row, and
// delay 0 gives the entry back and takes the task away.
#include "../../catalogue/catalogue.h"
#include "wine_places.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

const char *kOnId = "\"HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\\\Orvane Later\"";
const char *kOffId = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run-\\\\Orvane Later";

std::string LaterFolder()
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof system);
    return std::string(system) + "\\Tasks\\Orvane Tool\\Start later";
}

int FilesIn(const std::string &folder)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    int files = 0;
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do
        files += !(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    while (FindNextFileA(find, &found));
    FindClose(find);
    return files;
}

// The task file as the scheduler keeps it: UTF-16LE after a byte-order mark.
void PlantTask(const std::string &file, const char *xml)
{
    int length = MultiByteToWideChar(CP_UTF8, 0, xml, -1, NULL, 0);
    std::vector<wchar_t> wide((size_t)length);
    MultiByteToWideChar(CP_UTF8, 0, xml, -1, wide.data(), length);
    HANDLE out = CreateFileA(file.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, out) << file;
    DWORD wrote = 0;
    WriteFile(out, "\xff\xfe", 2, &wrote, NULL);
    WriteFile(out, wide.data(), (DWORD)((length - 1) * 2), &wrote, NULL);
    CloseHandle(out);
}

} // namespace

TEST(WineStartLater, ADelayIsRefusedAndAPlantedTaskIsOneRowUntilDelayZero)
{
    EmptyAllPlaces();
    std::string probe = ProbePath();
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, RUN_KEY, "Orvane Later", "\"" + probe + "\" /later"));
    std::string stored = ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Orvane Later");

    // The scheduler does not give the task back as written: refused.
    EXPECT_EQ(1u, Console(std::string("delay ") + kOnId + " 60").code);
    EXPECT_EQ(stored, ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Orvane Later"));
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY "-", "Orvane Later"));
    EXPECT_EQ(0, FilesIn(LaterFolder())) << "no task left behind";

    // The pair as the store leaves it where a scheduler keeps the task.
    ASSERT_EQ(0u, Console(std::string("disable ") + kOnId).code);
    char user[256];
    DWORD size = sizeof user;
    ASSERT_TRUE(GetUserNameA(user, &size));
    std::vector<char> xml(START_LATER_XML_SIZE);
    ASSERT_TRUE(StartLaterXml(kOffId, 60, probe.c_str(), "/later", user, xml.data(), xml.size()));
    CreateDirectoryA(LaterFolder().substr(0, LaterFolder().rfind('\\')).c_str(), NULL);
    CreateDirectoryA(LaterFolder().c_str(), NULL);
    PlantTask(LaterFolder() + "\\Orvane Later", xml.data());

    ConsoleRun list = Console("list --format jsonl");
    ASSERT_EQ(0u, list.code);
    // One row, the entry's, on with its delay (Wine's own rows may come too).
    size_t at = list.out.find("\"name\": \"Orvane Later\"");
    ASSERT_NE(std::string::npos, at) << list.out;
    EXPECT_EQ(std::string::npos, list.out.find("\"name\": \"Orvane Later\"", at + 1)) << list.out;
    EXPECT_EQ(std::string::npos, list.out.find("Start later")) << "not listed apart";
    std::string row = list.out.substr(at, list.out.find('\n', at) - at);
    EXPECT_NE(std::string::npos, row.find("\"enabled\": true")) << row;
    EXPECT_NE(std::string::npos, row.find("\"notes\": \"starts 1 min after logon\"")) << row;

    ConsoleRun back = Console(std::string("delay \"") + kOffId + "\" 0");
    EXPECT_EQ(0u, back.code) << back.out;
    EXPECT_EQ(stored, ValueBytes(HKEY_CURRENT_USER, RUN_KEY, "Orvane Later"));
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, RUN_KEY "-", "Orvane Later"));
    EXPECT_EQ(0, FilesIn(LaterFolder())) << "the task went with delay 0";
    DeleteFileA((LaterFolder() + "\\Orvane Later").c_str());
    EmptyAllPlaces();
    StopTaskScheduler();
}
