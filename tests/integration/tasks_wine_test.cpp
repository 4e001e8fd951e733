// tasks_wine_test.cpp - scheduled tasks on the real system: Wine's Task
// Scheduler cannot list its tasks, so task files planted under system32\Tasks
// are read from disk, listed with their triggers and commands, and never
// switched or removed through the scheduler.
#include "../../store/store.h"
#include "../support/store_helpers.h"
#include "wine_places.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <string>

namespace {

std::string TasksFolder()
{
    char system[MAX_PATH];
    GetSystemDirectoryA(system, sizeof system);
    return std::string(system) + "\\Tasks";
}

// The XML as the scheduler stores it: UTF-16LE after a byte-order mark.
void PlantTask(const std::string &file, const std::string &settings, const std::string &program)
{
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\r\n"
                      "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
                      "<RegistrationInfo><Author>Orvane Test</Author></RegistrationInfo>"
                      "<Triggers><LogonTrigger><Delay>PT30S</Delay></LogonTrigger></Triggers>"
                      "<Settings>" + settings + "</Settings><Actions><Exec><Command>" + program
                      + "</Command><Arguments>/quiet</Arguments></Exec></Actions></Task>";
    std::string bytes = "\xff\xfe";
    for (char c : xml)
        bytes += std::string{c, '\0'};
    std::ofstream(file, std::ios::binary) << bytes;
}

class WineTasks : public testing::Test {
protected:
    void SetUp() override
    {
        EmptyAllPlaces();
        Statuses.clear();
        RemoveTasks();
        CreateDirectoryA(TasksFolder().c_str(), NULL);
        CreateDirectoryA((TasksFolder() + "\\OrvaneTest").c_str(), NULL);
        CreateDirectoryA((TasksFolder() + "\\OrvaneTest\\Deep").c_str(), NULL);
    }
    void TearDown() override
    {
        RemoveTasks();
        EmptyAllPlaces();
    }
    static void RemoveTasks()
    {
        std::string root = TasksFolder() + "\\OrvaneTest";
        DeleteFileA((root + "\\Deep\\Agent").c_str());
        DeleteFileA((root + "\\Hidden").c_str());
        RemoveDirectoryA((root + "\\Deep").c_str());
        RemoveDirectoryA(root.c_str());
    }
};

} // namespace

TEST_F(WineTasks, TaskFilesAreListedReadOnly)
{
    std::string root = TasksFolder() + "\\OrvaneTest";
    PlantTask(root + "\\Deep\\Agent", "", ProbePath());
    PlantTask(root + "\\Hidden", "<Hidden>true</Hidden><Enabled>false</Enabled>", "nothere.exe");
    ScanCatalogue();
    int agent = IndexOf("Agent"), hidden = IndexOf("Hidden");
    ASSERT_GE(agent, 0);
    ASSERT_GE(hidden, 0);
    const AutostartItem &a = ItemCatalogue.items[agent];
    EXPECT_STREQ("\\OrvaneTest\\Deep\\Agent", a.location);
    EXPECT_EQ(ProbePath(), a.target);
    EXPECT_STREQ("/quiet", a.parameters);
    EXPECT_EQ(0, a.targetMissing);
    EXPECT_EQ(1, a.readOnly);
    EXPECT_STREQ("at logon of any user, 30 s delay; " NOTE_TASK_FILES "; author Orvane Test",
                 a.taskNotes);
    EXPECT_EQ(0, ItemCatalogue.items[hidden].enabled);
    EXPECT_STREQ("at logon of any user, 30 s delay; hidden task; " NOTE_TASK_FILES
                 "; author Orvane Test", ItemCatalogue.items[hidden].taskNotes);

    Toggle({"Agent"});
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_EQ(std::string("ERROR: \"Agent\" was not switched off: ") + CauseText(CAUSE_TASK_FILES) + ".", Statuses[0]);
    ScanCatalogue();
    char backup[MAX_PATH];
    EXPECT_EQ(RemoveRefused, RemoveItemWithBackup(&ItemCatalogue.items[IndexOf("Agent")], backup));
    EXPECT_TRUE(FileExists(root + "\\Deep\\Agent"));
}
