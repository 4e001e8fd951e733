// services_wine_test.cpp - services on the real system: Wine's Service
// Control Manager creates and lists services, so one made here with
// CreateService is a row of the list with the program the SCM would start,
// and one that starts on demand is none; the console switches one to Manual
// and back, as the SCM then says.
#include "../../catalogue/catalogue.h"
#include "../support/store_helpers.h"
#include "wine_places.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace {

const wchar_t *const kAuto = L"OrvaneProbeAuto";
const wchar_t *const kDemand = L"OrvaneProbeDemand";

void DeleteProbeService(SC_HANDLE manager, const wchar_t *name)
{
    SC_HANDLE service = OpenServiceW(manager, name, DELETE);
    if (service) {
        DeleteService(service);
        CloseServiceHandle(service);
    }
}

bool CreateProbeService(SC_HANDLE manager, const wchar_t *name, DWORD start,
                        const std::string &path)
{
    std::wstring wide(path.begin(), path.end());
    SC_HANDLE service = CreateServiceW(manager, name, name, SERVICE_ALL_ACCESS,
                                       SERVICE_WIN32_OWN_PROCESS, start, SERVICE_ERROR_IGNORE,
                                       wide.c_str(), NULL, NULL, NULL, NULL, NULL);
    if (!service)
        return false;
    SERVICE_DESCRIPTIONW description = {(LPWSTR)L"Probe of the list"};
    ChangeServiceConfig2W(service, SERVICE_CONFIG_DESCRIPTION, &description);
    CloseServiceHandle(service);
    return true;
}

// The start type the SCM holds now; SERVICE_NO_CHANGE when unread.
DWORD StartType(SC_HANDLE manager, const wchar_t *name)
{
    DWORD start = SERVICE_NO_CHANGE;
    SC_HANDLE service = OpenServiceW(manager, name, SERVICE_QUERY_CONFIG);
    BYTE block[8192];
    DWORD needed = 0;
    if (service && QueryServiceConfigW(service, (QUERY_SERVICE_CONFIGW *)block, sizeof block,
                                       &needed))
        start = ((QUERY_SERVICE_CONFIGW *)block)->dwStartType;
    if (service)
        CloseServiceHandle(service);
    return start;
}

} // namespace

TEST(ServicesWine, AutomaticServiceIsListedWithItsProgram)
{
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    ASSERT_TRUE(manager) << GetLastError();
    DeleteProbeService(manager, kAuto);
    DeleteProbeService(manager, kDemand);
    // Unquoted with blanks, as many installers write it: the SCM starts the
    // program the path names, the rest its arguments.
    const std::string program = ProbeWithBlanks();
    ASSERT_TRUE(CreateProbeService(manager, kAuto, SERVICE_AUTO_START, program + " --service"))
        << GetLastError();
    ASSERT_TRUE(CreateProbeService(manager, kDemand, SERVICE_DEMAND_START, ProbePath()));
    ScanCatalogue();
    DeleteProbeService(manager, kAuto);
    DeleteProbeService(manager, kDemand);
    CloseServiceHandle(manager);

    int index = IndexOf("OrvaneProbeAuto");
    ASSERT_GE(index, 0) << ItemCatalogue.tasksUnread;
    const AutostartItem *item = &ItemCatalogue.items[index];
    EXPECT_STREQ(SERVICE_TYPE, ItemTypeText(item));
    EXPECT_STREQ(program.c_str(), item->target);
    EXPECT_STREQ("--service", item->parameters);
    EXPECT_EQ(0, item->readOnly);
    EXPECT_EQ(1, item->enabled);
    EXPECT_EQ(0, item->targetMissing);
    char notes[4 * TEXT_FIELD_SIZE];
    ItemNotes(item, notes, sizeof notes);
    EXPECT_NE(nullptr, strstr(notes, "description \"Probe of the list\"")) << notes;
    EXPECT_NE(nullptr, strstr(notes, NOTE_SERVICE_STOPPED)) << notes;
    EXPECT_EQ(-1, IndexOf("OrvaneProbeDemand"));
    EXPECT_STREQ("", ItemCatalogue.tasksUnread);
}

// orvanec disable makes the service Manual and enable automatic again, read
// back from the SCM; unelevated both are refused (exit 3) and nothing changes.
TEST(ServicesWine, ConsoleSwitchesAServiceToManualAndBack)
{
    SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    ASSERT_TRUE(manager) << GetLastError();
    DeleteProbeService(manager, kAuto);
    ASSERT_TRUE(CreateProbeService(manager, kAuto, SERVICE_AUTO_START, ProbePath()));
    const std::string id = "\"HKLM\\" SERVICES_KEY "\\OrvaneProbeAuto\"";
    ConsoleRun off = Console("disable " + id);
    DWORD afterOff = StartType(manager, kAuto);
    ConsoleRun on = Console("enable " + id);
    DWORD afterOn = StartType(manager, kAuto);
    DeleteProbeService(manager, kAuto);
    CloseServiceHandle(manager);
    RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, SERVICES_OFF_KEY, "OrvaneProbeAuto");
    if (PlatIsElevated()) {
        EXPECT_EQ(0u, off.code) << off.out;
        EXPECT_EQ((DWORD)SERVICE_DEMAND_START, afterOff);
        // Start and DelayedAutostart were saved first, and the outcome names the file.
        size_t saved = off.out.find("Switched ");
        EXPECT_NE(std::string::npos, saved) << off.out;
        if (saved != std::string::npos) {
            std::string file = off.out.substr(saved, off.out.find(".reg", saved) + 4 - saved);
            std::string path = ShellFolder(CSIDL_PERSONAL) + "\\" BACKUP_FOLDER "\\" + file;
            EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str())) << path;
        }
        EXPECT_EQ(0u, on.code) << on.out;
    } else {
        EXPECT_EQ(3u, off.code) << off.out;
        EXPECT_EQ((DWORD)SERVICE_AUTO_START, afterOff);
    }
    EXPECT_EQ((DWORD)SERVICE_AUTO_START, afterOn);
}
