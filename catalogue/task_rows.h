// task_rows.h - the task rows of one scan as they are gathered: by the
// scheduler's listing or the task files (tasks.cpp), and the tasks hidden
// from that listing (hidden_tasks.cpp). Within the catalogue only.
#pragma once

#include "catalogue.h"

// Far more than any system registers; the scan stays bounded.
#define TASK_MOST 4096

struct TaskCollector {
    AutostartItem *items;
    int32_t count;
    int32_t room;
    long leftOut;                   // tasks not read: past TASK_MOST, or no room for them
    char unread[TASKS_UNREAD_SIZE]; // what was said of tasks that may be missing
};

// The next row's record, zeroed, until it is counted (++count); null past
// TASK_MOST or without memory (the caller counts what it leaves out).
AutostartItem *NewTaskRow(TaskCollector *c);

// One task's row from its XML (null: not read); zero when it does not
// start at logon or boot (a definition that cannot be read is listed, since
// it may). source: where it was read, for the notes (null: the scheduler).
int FillTaskRow(AutostartItem *item, const char *path, const void *xml, size_t size,
                const char *source);

// Tells CatalogueErrors (subject: the folder concerned, or empty) and keeps
// the words for the status and the report.
void SayTasksUnread(TaskCollector *c, const char *subject, const char *text);

// The task files' folder (System32\Tasks of the Windows folder the system
// names, never %windir%, which the user may set), as the 64-bit system sees
// it (folder: TEXT_FIELD_SIZE). Zero when it cannot be had.
int TaskFilesFolder(char *folder);

// Elevated: rows for the logon and boot tasks that the scheduler's registry
// cache or its task files hold and its listing (count paths, as
// PlatTaskList gave them) does not.
void AddHiddenTasks(TaskCollector *c, const char *paths, uint32_t count);
