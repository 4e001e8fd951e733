// report_sample.cpp - see report_sample.h.
#include "report_sample.h"

#include <string.h>

static void Fill(AutostartItem *item, int32_t kind, const char *name, const char *scope,
                 const char *command, const char *location, const char *description,
                 const char *company, const char *publisher, int32_t enabled)
{
    memset(item, 0, sizeof *item);
    item->kind = kind;
    TextCopy(item->name, sizeof item->name, name);
    TextCopy(item->scope, sizeof item->scope, scope);
    TextCopy(item->command, sizeof item->command, command);
    TextCopy(item->location, sizeof item->location, location);
    TextCopy(item->description, sizeof item->description, description);
    TextCopy(item->company, sizeof item->company, company);
    TextCopy(item->publisher, sizeof item->publisher, publisher);
    item->enabled = enabled;
}

void FillReportSample(AutostartItem *items)
{
    Fill(&items[0], RegistryValue, "Agent <b>&\"x\"", "usr",
         "\"C:\\Program Files\\Agent\\agent.exe\" -min", RUN_KEY, "Agent Service",
         "Agent & Co", "Agent <Co> (verified)", 1);
    Fill(&items[1], RegistryValue, "Updater", "ALL", "C:\\Tools\\upd.exe /s",
         CURRENT_VERSION_KEY "\\RunOnce-", "n/a", "n/a",
         "signature not valid: changed since signed", 0);
    Fill(&items[2], Shortcut, "Probe.lnk", "USR", "C:\\PROGRA~1\\Probe\\probe.exe-min",
         "C:\\Users\\tester\\Documents\\DisabledCUStartItems\\Probe.lnk", "n/a", "n/a",
         PUBLISHER_NOT_SIGNED, 0);
}
