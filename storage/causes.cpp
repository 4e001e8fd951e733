// causes.cpp - the one space of causes (see storage.h): a Windows error
// number or a cause of our own, and the words the status gives each.
#include "storage.h"

// The Windows error behind the last failing step of a store operation, so
// the status can name the cause. Per thread: the scan worker's folder
// holds set it too.
static thread_local long StoreError = PLAT_OK;

long LastStoreError(void)
{
    return StoreError;
}

long SetStoreError(long code)
{
    StoreError = code;
    return code;
}

const char *CauseText(long code)
{
    switch (code) {
    case PLAT_ERROR_ACCESS_DENIED: return "administrator rights are needed";
    case PLAT_ERROR_FILE_NOT_FOUND:
    case PLAT_ERROR_PATH_NOT_FOUND:
    case PLAT_ERROR_KEY_DELETED:
        return "another program changed it since the list was read";
    case PLAT_ERROR_ALREADY_EXISTS:
    case 80: // ERROR_FILE_EXISTS
        return "an entry of that name is already in the other place";
    case CAUSE_WINDOWS_OWN: return NOTE_WINDOWS_OWN;
    case CAUSE_LOGON_NEEDS_PROGRAM: return "the logon needs a program here";
    case CAUSE_NOT_A_LIST: return "its value is not a list of programs";
    case CAUSE_BACKUP_FAILED: return "the backup could not be written";
    case CAUSE_BACKUP_FOLDER_IS_LINK: return "the backup folder is a link to another place";
    case CAUSE_READ_ONLY: return "the file is read-only";
    case CAUSE_PLACE_IS_LINK: return "a folder on its way is a link to another place";
    case CAUSE_NO_USER_RIGHTS:
        return "its folder lies outside the user's profile and the user's ordinary rights to work "
               "there could not be taken";
    case CAUSE_USER_DENIED: return "the user's ordinary rights do not reach its folder";
    case CAUSE_PLACE_LINK_MISPLACED:
        return "a folder on its way became a link to another place, and the file could not be "
               "moved back from there";
    case CAUSE_LIST_UNREAD:
        return "a step failed and its list could not be read back to tell where it is now (the "
               "backup holds it as it was)";
    case CAUSE_APPROVAL_UNREAD:
        return "its switch in Windows' startup settings could not be read, and may still keep "
               "it from starting";
    case CAUSE_TASK_UNREAD:
        return "the Task Scheduler took the change, but its state could not be read back to tell";
    case CAUSE_LOGON_NEEDS_USERINIT: return "the logon needs userinit.exe here";
    case CAUSE_LIST_LACKS_OWN:
        return "its list lacks Windows' own program, which it would take the place of";
    case CAUSE_LIST_ITEM_REPEATED:
        return "it is in its list more than once; change the value in the registry editor";
    case CAUSE_LIST_IN_BOTH:
        return "it could not be taken out of its list, nor taken back from the other: it is in both "
               "now (the backup holds both as they were)";
    case CAUSE_NAME_CUT: return "its name is too long to change it here";
    case CAUSE_NAME_INEXACT: return "its name cannot be handled on this Windows";
    case CAUSE_NAME_NOT_CARRIED: return "a line break in its name cannot be written to a backup";
    case CAUSE_NAME_IN_KEY:
        return "a name in its key cannot be handled on this Windows or written to a backup";
    case CAUSE_TASK_UNCHANGED: return "the Task Scheduler did not change it";
    case CAUSE_TASK_FILES:
        return "it was read from the task files, not from the Task Scheduler; change it in Task "
               "Scheduler";
    case CAUSE_TASK_HIDDEN:
        return "the Task Scheduler hides it from its own listing (its registration was changed "
               "outside it): it is not changed here";
    case CAUSE_TASK_PATH_CUT: return "its path is too long to change it here";
    case CAUSE_TASK_GONE: return "another program removed it since the list was read";
    case CAUSE_OTHER_PLACE:
        return "this place is listed to be seen, not changed here: change it in the registry "
               "editor, or uninstall the program that set it";
    case CAUSE_GROUP_POLICY:
        return "it is managed by Group Policy: change it in the Group Policy editor or by the "
               "domain's policy";
    case CAUSE_APP_POLICY: return "its state is set by policy";
    case CAUSE_APP_UNINSTALL: return "uninstall the app to remove it";
    case CAUSE_APP_STATE_UNREAD: return "its state could not be read, or read back as written";
    case CAUSE_APP_UNREAD: return "its package's manifest could not be read";
    case CAUSE_REMEMBERED_FOREIGN: return "it is not a whole list of entries written by this program";
    case CAUSE_JOURNAL_FOREIGN: return "the history file is not one written by this program";
    case CAUSE_BACKUP_CHANGED:
        return "its backup file changed since it was written, so it is restored only "
               "without administrator rights, into your own places";
    case CAUSE_BACKUP_UNKNOWN:
        return "the history does not know this backup, so it is restored only without "
               "administrator rights, into your own places";
    case CAUSE_PLACE_NOT_LISTED: return "its backup names a place this program does not list";
    case CAUSE_NOT_UNDOABLE: return "no backup was made for it";
    case CAUSE_ENTRY_GONE: return "the entry is not listed any more";
    case CAUSE_BACKUP_UNREAD: return "its backup is not a whole backup written by this program";
    case CAUSE_BACKUP_NOT_VOUCHED:
        return "this program did not write that backup with administrator rights, so it is "
               "not restored with them into a place of all users";
    case CAUSE_CHANGED_WHILE_ASKED:
        return "it changed while the question was open: undo it again to see it";
    case CAUSE_JOURNAL_FULL:
        return "the history file is full (64 MB): rename it, and a new one is begun";
    case CAUSE_TASK_EXISTS:
        return "a task of that name is registered now: remove it first, and its backup "
               "keeps it";
    case CAUSE_TASK_NOT_KEPT:
        return "the Task Scheduler did not keep the task as its backup holds it (it was "
               "taken away again): restore it with the command its Remove named";
    case CAUSE_BACKUP_NO_PLACE:
        return "a copy the history does not know does not say where it was: put it back by hand";
    case CAUSE_NOT_USER_PLACE:
        return "its backup names a place of all users, and it is not checked against a change";
    case CAUSE_SERVICE:
        return "it is a service: uninstall its program to remove it";
    case CAUSE_SERVICE_CHANGED:
        return "its start type changed since it was listed: Refresh";
    case CAUSE_LATER_KIND: return "only a Run value or a Startup folder's file can start later";
    case CAUSE_LATER_OFF: return "it is disabled: enable it first";
    case CAUSE_LATER_NOT_KEPT:
        return "the Task Scheduler did not give its logon task back as written (it starts at "
               "logon as before)";
    case CAUSE_LATER_TWICE:
        return "its logon task under \\Orvane Tool\\Start later could not be taken away again: "
               "it now starts twice, at logon and later; delete that task in Task Scheduler";
    case CAUSE_LATER_EDIT:
        return "it starts later through its logon task, which names it: only its command can "
               "be edited; set it to start at logon first (delay 0) to rename or move it";
    case CAUSE_LATER_COMMAND:
        return "its command is too long or holds a character a task cannot hold";
    case CAUSE_LATER_UNDO_EDIT:
        return "it starts later through its logon task, which would go on starting the edited "
               "command: set it to start at logon first (delay 0), or edit it back";
    case CAUSE_LATER_UNDO:
        return "the entry it starts later is not there disabled (it starts at logon, or is gone): "
               "put back, it would start it twice or start nothing; undo the entry's change "
               "first, or set it to start later";
    case CAUSE_LATER_USERS:
        return "it starts for every user, and its command names a variable each user has their own "
               "value of: one task would start this user's for everyone";
    case CAUSE_ANY_USER:
        return "it may have been placed by any user and would start for every user";
    default: return "Windows refused the change";
    }
}
