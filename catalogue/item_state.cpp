// item_state.cpp - whether Windows starts an entry, in one word.
//
// Windows starts an entry at logon unless one of several switches says no:
// this program moved it aside (a "-" key, a folder of disabled items, a
// list value's copy), Windows' own startup settings hold a StartupApproved
// value whose first byte is odd, a policy stops its whole key, or the Task
// Scheduler's Enabled is false. Each is a different place to turn it back
// on, so the list names which one holds it off.
#include "catalogue.h"

const char *ItemStateText(const AutostartItem *item)
{
    if (item->policyOff)
        return STATE_OFF_BY_POLICY;
    // Read-only says too whether it starts: the user cannot switch it here.
    if (item->readOnly || item->schedulerHidden)
        return item->enabled ? STATE_READ_ONLY : STATE_READ_ONLY_OFF;
    if (item->approvalDisabled)
        return STATE_OFF_IN_SETTINGS;
    // A task is switched in place, in the scheduler, by whoever switched it.
    // A packaged app is switched where Windows' settings switch it.
    if (!item->enabled)
        return item->kind == ScheduledTask ? STATE_OFF_IN_SCHEDULER
               : item->kind == PackagedApp ? STATE_OFF_IN_SETTINGS
                                           : STATE_OFF_HERE;
    return STATE_ON;
}

// A key's default value has no name: the registry editor calls it
// "(Default)", and so does every place that shows the entry to the user.
// The record keeps the stored (empty) name for ids and changes.
const char *ItemShownName(const AutostartItem *item)
{
    return item->kind == RegistryValue && !item->logonPlace && !item->name[0] ? DEFAULT_VALUE_NAME
                                                                              : item->name;
}
