// task_xml.h - what a scheduled task's registration XML says about its start.
//
// The Task Scheduler keeps each task as one XML document (schema 1.2-1.6),
// handed out as UTF-16 by the scheduler and stored as UTF-16 (sometimes
// UTF-8) files under %windir%\System32\Tasks. Only a small subset matters
// here, so the parser is our own: bounded fields, unknown elements ignored.
#pragma once

#include "catalogue.h"

#include <stddef.h>
#include <stdint.h>

struct TaskDefinition {
    int32_t logonTriggers;                 // LogonTrigger elements
    int32_t bootTriggers;                  // BootTrigger elements
    char triggers[TEXT_FIELD_SIZE];        // "at logon of any user, 30 s delay; at boot"
    char author[TEXT_FIELD_SIZE];
    char program[COMMAND_FIELD_SIZE];      // the first Exec action's Command
    char arguments[COMMAND_FIELD_SIZE];    // ... and its Arguments
    int32_t commandCut;                    // 1 when either did not fit (cut between characters)
    char workingDirectory[TEXT_FIELD_SIZE];
    int32_t execActions;
    int32_t comHandlers;
    char classId[TEXT_FIELD_SIZE];         // the first ComHandler action's ClassId
    int32_t enabled;                       // Settings/Enabled (true when absent)
    int32_t hidden;                        // Settings/Hidden
    int32_t highest;                       // Principal/RunLevel HighestAvailable
    char runAs[TEXT_FIELD_SIZE];           // Principal/UserId
    char runAsGroup[TEXT_FIELD_SIZE];      // Principal/GroupId
    char furtherPrograms[TEXT_FIELD_SIZE]; // the other Exec actions' Commands, ", " between
    int32_t noPassword;                    // ... S4U: no password is stored for it
    char description[4 * TEXT_FIELD_SIZE]; // RegistrationInfo/Description
    char logonDelay[32];                   // the first LogonTrigger's Delay ("PT1M")
    int32_t loggedOff;                     // Principal/LogonType Password or S4U: it runs
                                           // whether its user is logged on or not
    int32_t otherTriggers;                 // Triggers of any other kind (time, event, ...)
    int32_t triggersOff;                   // logon or boot triggers switched off
};

// Input larger than this is not a task definition.
#define TASK_XML_MOST (4u * 1024u * 1024u)

// Parses size bytes (UTF-16LE/BE with or without a byte-order mark, or
// UTF-8 with or without one). Nonzero when the document is whole and
// well-formed with a Task root; zero otherwise, the fields then as far as
// read. Never reads past size.
int ParseTaskXml(const void *data, size_t size, TaskDefinition *task);

// Nonzero when the task starts at logon or at boot.
int TaskStartsAtLogon(const TaskDefinition *task);

// TextCopy that never ends inside a UTF-8 character; nonzero when whole.
int TaskFieldCopy(char *field, size_t size, const char *text);

// Text of size bytes in UTF-16LE/BE or UTF-8 (with or without a byte-order
// mark) as terminated UTF-8, in a block to PlatFree, *length its bytes to
// the first zero; null when the block cannot be had.
char *DecodeTextDocument(const void *bytes, size_t size, size_t *length);

// The UTF-8 bytes of one character into out (room for 4), U+FFFD for a
// surrogate or a code past U+10FFFF; their count.
size_t TaskPutUtf8(uint32_t code, char *out);

// UTF-8 text as UTF-16LE bytes after a byte-order mark, in a block to
// PlatFree (*size bytes); null when it cannot be had.
void *TaskXmlToUtf16(const char *text, size_t length, uint32_t *size);

// The id of the entry a task of the Start later folder starts, as its
// description names it; null for a task not written as ours
// (start_later.cpp).
const char *StartLaterEntryId(const TaskDefinition *task);
