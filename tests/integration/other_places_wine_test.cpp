// other_places_wine_test.cpp - the other places on the real system: a
// Debugger of Image File Execution Options and a BootExecute entry planted
// in the registry are rows only while the other places are read, each with
// the program Windows would run. BootExecute is put back as it was.
#include "../../catalogue/catalogue.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

const char *const kExe = "orvane-other-probe.exe";

// The value as stored (type and bytes); false when there is none.
bool SaveValue(const char *path, const char *name, DWORD *type, std::string *bytes)
{
    DWORD size = 0;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, path, name, RRF_RT_ANY | RRF_NOEXPAND, type, NULL,
                     &size) != ERROR_SUCCESS)
        return false;
    bytes->resize(size);
    return RegGetValueA(HKEY_LOCAL_MACHINE, path, name, RRF_RT_ANY | RRF_NOEXPAND, type,
                        &(*bytes)[0], &size) == ERROR_SUCCESS;
}

LONG SetValue(const char *path, const char *name, DWORD type, const std::string &bytes)
{
    return RegSetKeyValueA(HKEY_LOCAL_MACHINE, path, name, type, bytes.data(),
                           (DWORD)bytes.size());
}

} // namespace

TEST(OtherPlacesWine, PlantedDebuggerAndBootExecuteAreListedOnlyWithTheOption)
{
    const std::string ifeo = std::string(IFEO_KEY "\\") + kExe;
    const std::string debugger = "\"C:\\OrvaneProbe\\dbg.exe\" -quiet";
    DWORD bootType = REG_MULTI_SZ;
    std::string boot;
    bool hadBoot = SaveValue(SESSION_MANAGER_KEY, "BootExecute", &bootType, &boot);
    const std::string planted = std::string("autocheck autochk *") + '\0' + "orvaneboot /k" + '\0'
                                + '\0';
    ASSERT_EQ(ERROR_SUCCESS, SetValue(ifeo.c_str(), "Debugger", REG_SZ, debugger + '\0'));
    ASSERT_EQ(ERROR_SUCCESS, SetValue(SESSION_MANAGER_KEY, "BootExecute", REG_MULTI_SZ, planted));

    ListOtherPlaces = 0;
    ScanCatalogue();
    int offDebugger = IndexOf("Debugger of orvane-other-probe.exe");
    int offBoot = IndexOf("BootExecute: orvaneboot /k");
    ListOtherPlaces = 1;
    ScanCatalogue();
    ListOtherPlaces = 0;
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, ifeo.c_str());
    if (hadBoot)
        SetValue(SESSION_MANAGER_KEY, "BootExecute", bootType, boot);
    else
        RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, SESSION_MANAGER_KEY, "BootExecute");

    EXPECT_EQ(-1, offDebugger);
    EXPECT_EQ(-1, offBoot);
    int dbg = IndexOf("Debugger of orvane-other-probe.exe");
    ASSERT_GE(dbg, 0) << ItemCatalogue.tasksUnread;
    EXPECT_STREQ(DEBUGGER_TYPE, ItemTypeText(&ItemCatalogue.items[dbg]));
    EXPECT_STREQ("C:\\OrvaneProbe\\dbg.exe", ItemCatalogue.items[dbg].target);
    EXPECT_STREQ("-quiet", ItemCatalogue.items[dbg].parameters);
    EXPECT_STREQ(STATE_READ_ONLY, ItemStateText(&ItemCatalogue.items[dbg]));
    int own = IndexOf("BootExecute: autocheck autochk *");
    EXPECT_EQ(-1, own);
    int bootRow = IndexOf("BootExecute: orvaneboot /k");
    ASSERT_GE(bootRow, 0);
    char system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
    EXPECT_EQ(0, lstrcmpiA((std::string(system) + "\\orvaneboot.exe").c_str(),
                           ItemCatalogue.items[bootRow].target))
        << ItemCatalogue.items[bootRow].target;
    EXPECT_STREQ(BOOT_TYPE, ItemTypeText(&ItemCatalogue.items[bootRow]));
}
