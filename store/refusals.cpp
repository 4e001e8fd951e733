// refusals.cpp - what a row allows, known before anything is asked or tried.
//
// Some rows cannot be changed whatever the user answers: a name cut at its
// field, or changed by the code page, reaches another entry or none; a task
// read from the task files is not the scheduler's to change, nor a script
// Group Policy keeps (it writes its own back); Windows' own program of a
// list value keeps the logon working, and Windows' own service the system.
// The front ends ask here first, so that they offer no check box, question
// or menu item whose Yes would fail.
#include "reg_file.h"

long ReadOnlyCause(const AutostartItem *item)
{
    return ItemIsOtherPlace(item)                  ? CAUSE_OTHER_PLACE
           : item->logonPlace == LogonPolicyScript ? CAUSE_GROUP_POLICY
                                                   : CAUSE_TASK_FILES;
}

// Refusals every change shares, in the order the store meets them.
static long CommonRefusal(const AutostartItem *item)
{
    if (item->inexact)
        return CAUSE_NAME_INEXACT;
    // A policy's State, one that cannot be read, or no task known at all.
    if (item->kind == PackagedApp && item->readOnly)
        return item->appState == APP_STATE_UNREAD && !item->valueName[0] ? CAUSE_APP_UNREAD
               : item->policyOff || item->appState == 3 || item->appState == 4
                   ? CAUSE_APP_POLICY
                   : CAUSE_APP_STATE_UNREAD;
    if (item->kind == ScheduledTask && item->schedulerHidden)
        return CAUSE_TASK_HIDDEN;
    if (item->readOnly) // a task, a script of Group Policy, a row of the other places
        return ReadOnlyCause(item);
    if (item->cut)
        return item->kind == ScheduledTask ? CAUSE_TASK_PATH_CUT : CAUSE_NAME_CUT;
    return PLAT_OK;
}

long SwitchRefusalCause(const AutostartItem *item)
{
    long cause = CommonRefusal(item);
    // Windows' own service is never changed, shown or hidden.
    if (cause == PLAT_OK
        && (item->windowsOwn || (item->kind == Service && ItemHiddenAsWindows(item, 1))))
        cause = CAUSE_WINDOWS_OWN;
    return cause;
}

long RemoveRefusalCause(const AutostartItem *item)
{
    long cause = CommonRefusal(item);
    // A service is removed by uninstalling its program, which knows its files.
    if (cause == PLAT_OK && item->kind == Service)
        cause = CAUSE_SERVICE;
    if (cause == PLAT_OK && item->kind == PackagedApp)
        cause = CAUSE_APP_UNINSTALL;
    if (cause == PLAT_OK && item->logonPlace)
        cause = ListRemoveRefusal(item);
    // A value whose name a .reg line cannot carry has no backup: never removed.
    if (cause == PLAT_OK && item->kind == RegistryValue && !NameCarried(item->name))
        cause = CAUSE_NAME_NOT_CARRIED;
    return cause;
}

long DelayRefusalCause(const AutostartItem *item, int32_t seconds)
{
    if (item->inexact)
        return CAUSE_NAME_INEXACT;
    if (item->cut || !ItemActionable(item))
        return CAUSE_NAME_CUT;
    if (!StartLaterFits(item) || item->cameBack)
        return CAUSE_LATER_KIND;
    if (item->commandCut)
        return CAUSE_LATER_COMMAND;
    // A task's action is expanded here, with this user's variables (never
    // a reason to keep a task: Start at logon takes one away).
    if (seconds && !ScopeIsUser(item->scope) && !ReferencesOnlySystemFolders(item->command))
        return CAUSE_LATER_USERS;
    // Off, and not through a task: nothing starts it now, at logon or later
    // (it is not "already at logon" either).
    if (!item->enabled && !item->startLater)
        return CAUSE_LATER_OFF;
    if (seconds && !StartLaterDelayValid(seconds))
        return PLAT_ERROR_INVALID_PARAMETER;
    return PLAT_OK;
}
