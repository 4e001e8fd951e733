// app_manifest.h - what a packaged app's AppxManifest.xml says about
// starting at logon.
//
// A packaged (Store or MSIX) app starts at logon only through a startup
// task its manifest declares: an Extension of Category "windows.startupTask"
// (uap5:StartupTask for an app of the Universal platform or one of the
// desktop bridge, desktop:StartupTask for a full-trust one) with a TaskId,
// Enabled (the state before the user or a policy chose) and an optional
// DisplayName; the program is the Extension's Executable, else its
// Application's. Read by a bounded reader of our own, like the task XML.
#pragma once

#include "catalogue.h"

#include <stddef.h>
#include <stdint.h>

// Far more than any package declares.
#define APP_TASKS_MOST 8
// Input larger than this is not read as a manifest.
#define APP_MANIFEST_MOST (4u * 1024u * 1024u)

struct AppStartupTask {
    char taskId[TEXT_FIELD_SIZE];
    char displayName[TEXT_FIELD_SIZE]; // as written: text or an ms-resource: name
    char executable[TEXT_FIELD_SIZE];  // relative to the package's folder
    int32_t enabled;                   // the manifest's Enabled (false when absent)
    int32_t fullTrust;                 // a full-trust program (its policy is EnableFullTrustStartupTasks)
    int32_t cut;                       // its id did not fit: listed, never switched
    int32_t programCut;                // its program's path did not fit: shown cut
};

struct AppManifest {
    char name[TEXT_FIELD_SIZE];      // Identity Name
    char publisher[TEXT_FIELD_SIZE]; // PublisherDisplayName, else Identity Publisher
    char version[64];                // Identity Version
    AppStartupTask tasks[APP_TASKS_MOST];
    int32_t taskCount;
    int32_t tasksLeftOut; // startup tasks past APP_TASKS_MOST
};

// Parses size bytes (UTF-8 or UTF-16, with or without a byte-order mark).
// Nonzero when the document is whole and its root is Package; zero
// otherwise, the fields then as far as read. Never reads past size.
int ParseAppManifest(const void *data, size_t size, AppManifest *manifest);
