// packaged_apps_test.cpp - packaged apps' startup tasks: the manifest's
// bounded reader, what each State shows and allows, and the switch in place
// with its backup, planted as Windows keeps them.
#include "../../catalogue/app_manifest.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>

namespace {

const char *kFull = "Contoso.Tray_1.2.3.0_x64__8wekyb3d8bbwe";
const std::string kRoot = std::string("C:\\Program Files\\WindowsApps\\") + kFull;
const std::string kStateKey = std::string(APP_STATE_KEY) + "\\Contoso.Tray_8wekyb3d8bbwe\\Tray";

// A manifest of a full-trust app whose own program is Tray\tray.exe.
std::string Manifest(const std::string &extensions)
{
    return "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<!-- made by hand -->"
           "<Package xmlns=\"m\" xmlns:uap5=\"u\" xmlns:desktop=\"d\">"
           "<Identity Name=\"Contoso.Tray\" Publisher=\"CN=Contoso\" Version=\"1.2.3.0\"/>"
           "<Properties><PublisherDisplayName> Contoso &amp; Co </PublisherDisplayName>"
           "</Properties><Applications><Application Id=\"App\" Executable=\"Tray\\tray.exe\" "
           "EntryPoint=\"Windows.FullTrustApplication\"><Extensions>"
           + extensions + "</Extensions></Application></Applications></Package>";
}

const std::string kTrayTask =
    "<desktop:Extension Category=\"windows.startupTask\"><desktop:StartupTask TaskId=\"Tray\" "
    "Enabled=\"true\" DisplayName=\"Contoso Tray\"/></desktop:Extension>";

void Plant(const std::string &manifest)
{
    MemSetString(PLAT_HKCU, (std::string(APP_REPOSITORY_KEY) + "\\" + kFull).c_str(),
                 "PackageRootFolder", kRoot.c_str());
    MemAddFile((kRoot + "\\AppxManifest.xml").c_str(), manifest);
}

void SetState(uint32_t state)
{
    MemSetValue(PLAT_HKCU, kStateKey.c_str(), APP_STATE_VALUE, PLAT_REG_DWORD,
                std::string((const char *)&state, 4));
}

int StateNow()
{
    std::string bytes;
    uint32_t state = 0;
    if (!MemGetValue(PLAT_HKCU, kStateKey.c_str(), APP_STATE_VALUE, nullptr, &bytes))
        return -1;
    memcpy(&state, bytes.data(), 4);
    return (int)state;
}

const AutostartItem *Row()
{
    int index = IndexOf("Contoso Tray");
    return index < 0 ? nullptr : &ItemCatalogue.items[index];
}

} // namespace

// The tasks of both forms, each with its program: the extension's own, or
// its application's; other extensions passed over; bounded in every way.
TEST(PackagedApps, TheManifestGivesEachStartupTaskAndItsProgram)
{
    std::string xml = Manifest(
        kTrayTask
        + "<uap5:Extension Category=\"windows.startupTask\" Executable=\"bin/helper.exe\" "
          "EntryPoint=\"Windows.FullTrustApplication\"><uap5:StartupTask TaskId='Helper' "
          "Enabled='false' DisplayName='ms-resource:HelperName'/></uap5:Extension>"
          "<uap:Extension Category=\"windows.protocol\" Executable=\"other.exe\"/>");
    AppManifest m;
    ASSERT_EQ(1, ParseAppManifest(xml.data(), xml.size(), &m));
    EXPECT_STREQ("Contoso.Tray", m.name);
    EXPECT_STREQ("1.2.3.0", m.version);
    EXPECT_STREQ("Contoso & Co", m.publisher) << "its display name, trimmed and unescaped";
    ASSERT_EQ(2, m.taskCount);
    EXPECT_STREQ("Tray", m.tasks[0].taskId);
    EXPECT_STREQ("Tray\\tray.exe", m.tasks[0].executable);
    EXPECT_EQ(1, m.tasks[0].enabled);
    EXPECT_EQ(1, m.tasks[0].fullTrust);
    EXPECT_STREQ("Helper", m.tasks[1].taskId);
    EXPECT_STREQ("bin/helper.exe", m.tasks[1].executable);
    EXPECT_STREQ("ms-resource:HelperName", m.tasks[1].displayName);
    EXPECT_EQ(0, m.tasks[1].enabled);

    // Only the package's own Identity, the Application's own attributes, a
    // publisher named in plain words (else the Identity's).
    xml = "<Package><Identity Name=\"Real\" Publisher=\"CN=Real\" Version=\"2.0\"/>"
          "<Properties><PublisherDisplayName>ms-resource:Pub</PublisherDisplayName></Properties>"
          "<Dependencies><Identity Name=\"Other\" Version=\"9\"/></Dependencies>"
          "<Applications><Application Executable=\"a.exe\"><VisualElements Executable=\"b.exe\"/>"
          "<Extensions><Extension Category=\"windows.startupTask\"><StartupTask TaskId=\"T\"/>"
          "</Extension></Extensions></Application></Applications></Package>";
    ASSERT_EQ(1, ParseAppManifest(xml.data(), xml.size(), &m));
    EXPECT_STREQ("Real", m.name);
    EXPECT_STREQ("2.0", m.version);
    EXPECT_STREQ("CN=Real", m.publisher);
    ASSERT_EQ(1, m.taskCount);
    EXPECT_STREQ("a.exe", m.tasks[0].executable);
    EXPECT_EQ(0, m.tasks[0].enabled) << "Enabled absent: off";
    EXPECT_EQ(0, m.tasks[0].fullTrust);

    // Well-formed in every way XML allows; broken in every way it does not.
    const char *good[] = {
        "<?xml version='1.0'?><!-- c --><Package a = 'x' ><![CDATA[<x>]]></Package >\r\n",
        "<Package><Identity Name=\"A&amp;B&lt;\" Version=\"1\"/></Package>"};
    for (const char *text : good)
        EXPECT_EQ(1, ParseAppManifest(text, strlen(text), &m)) << text;
    EXPECT_STREQ("A&B<", ParseAppManifest(good[1], strlen(good[1]), &m) ? m.name : "");
    const char *numeric = "<Package><Identity Name=\"&#84;&#x72;ay\"/></Package>";
    ASSERT_EQ(1, ParseAppManifest(numeric, strlen(numeric), &m));
    EXPECT_STREQ("Tray", m.name) << "the key Windows reads, not the reference";
    const char *bad[] = {"<Package>", "<Package a=\"x></Package>", "<Package a=x></Package>",
                         "<Package></Other>", "x<Package></Package>", "<Package></Package><P/>",
                         "<Package><!-- open </Package>", "<Package><?pi </Package>",
                         "<Package><![CDATA[ </Package>", "<Package a></Package>",
                         "<Package a=\"&foo;\"></Package>", "<Package a=\"&#0;\"></Package>"};
    for (const char *text : bad)
        EXPECT_EQ(0, ParseAppManifest(text, strlen(text), &m)) << text;

    std::string many;
    for (int i = 0; i <= APP_TASKS_MOST; ++i)
        many += kTrayTask;
    xml = Manifest(many);
    ASSERT_EQ(1, ParseAppManifest(xml.data(), xml.size(), &m));
    EXPECT_EQ(APP_TASKS_MOST, m.taskCount);
    EXPECT_EQ(1, m.tasksLeftOut);
    xml = Manifest(kTrayTask);
    for (size_t cut : {xml.size() - 1, xml.size() / 2})
        EXPECT_EQ(0, ParseAppManifest(xml.data(), cut, &m)) << "cut at " << cut;
    std::string other = "<Task>" + kTrayTask + "</Task>";
    EXPECT_EQ(0, ParseAppManifest(other.data(), other.size(), &m)) << "no Package root";
    std::string huge = xml.substr(0, xml.size() - 10) + std::string(APP_MANIFEST_MOST, ' ');
    EXPECT_EQ(0, ParseAppManifest(huge.data(), huge.size(), &m)) << "past 4 MB: not read";
}

// Each State a task may have: what the row shows, and whether it may be
// switched; a policy of the Appx key turns every task of its kind off.
TEST(PackagedApps, EachStateShowsWhatWindowsDoesAndAllowsOnlyTheUsersChange)
{
    const struct {
        int state; // -1: none, the manifest's Enabled (true) stands
        int enabled;
        const char *word;
        long refused;
    } rows[] = {{-1, 1, STATE_ON, PLAT_OK},
                {0, 0, STATE_OFF_IN_SETTINGS, PLAT_OK},
                {1, 0, STATE_OFF_IN_SETTINGS, PLAT_OK},
                {2, 1, STATE_ON, PLAT_OK},
                {3, 0, STATE_OFF_BY_POLICY, CAUSE_APP_POLICY},
                {4, 1, STATE_READ_ONLY, CAUSE_APP_POLICY},
                {5, 0, STATE_READ_ONLY_OFF, CAUSE_APP_STATE_UNREAD}};
    for (const auto &row : rows) {
        MemReset();
        Plant(Manifest(kTrayTask));
        if (row.state >= 0)
            SetState((uint32_t)row.state);
        ScanCatalogue();
        const AutostartItem *item = Row();
        ASSERT_NE(nullptr, item) << row.state;
        EXPECT_EQ(row.enabled, item->enabled) << row.state;
        EXPECT_STREQ(row.word, ItemStateText(item)) << row.state;
        EXPECT_STREQ(APP_TYPE, ItemTypeText(item));
        EXPECT_EQ(row.refused, SwitchRefusalCause(item)) << row.state;
        EXPECT_NE(PLAT_OK, RemoveRefusalCause(item)) << "never removed here";
        EXPECT_EQ(kRoot + "\\Tray\\tray.exe", item->target);
    }
    MemSetValue(PLAT_HKLM, APPX_POLICY_KEY, "EnableFullTrustStartupTasks", PLAT_REG_DWORD,
                std::string(4, '\0'));
    ScanCatalogue();
    EXPECT_STREQ(STATE_OFF_BY_POLICY, ItemStateText(Row()));
    char notes[4 * TEXT_FIELD_SIZE];
    ItemNotes(Row(), notes, sizeof notes);
    EXPECT_NE(nullptr, strstr(notes, NOTE_APP_POLICY_OFF)) << notes;
    EXPECT_NE(nullptr, strstr(notes, "package Contoso.Tray 1.2.3.0, published by Contoso & Co"));
}

// Off writes 1 and on writes 2, each after a backup that restores the old
// State exactly (its absence too), read back; a failed write is told and
// changes nothing; a name from the package's resources; an unreadable
// manifest is a row that says so.
TEST(PackagedApps, TheSwitchIsSavedWrittenAndReadBack)
{
    MemReset();
    MemSetIndirectString(
        (std::string("@{") + kFull + "?ms-resource://Contoso.Tray/Resources/TrayName}").c_str(),
        "Contoso Tray");
    Plant(Manifest("<desktop:Extension Category=\"windows.startupTask\"><desktop:StartupTask "
                   "TaskId=\"Tray\" Enabled=\"true\" DisplayName=\"ms-resource:TrayName\"/>"
                   "</desktop:Extension>"));
    ScanCatalogue();
    ASSERT_NE(nullptr, Row()) << "named from the package's resources";
    Outcomes.clear();
    EXPECT_EQ(ResultDone, ApplyChange(IndexOf("Contoso Tray"), 0, &StatusFront));
    EXPECT_EQ(1, StateNow());
    ASSERT_EQ(1u, Outcomes.size());
    EXPECT_NE(std::string::npos, RegText(MemFileBytes(Outcomes[0].backup)).find("\"State\"=-"))
        << "no State before: the backup deletes it";
    MemFailCall(MEM_REG_SET_VALUE, 0);
    EXPECT_EQ(ResultRefused, ApplyChange(IndexOf("Contoso Tray"), 1, &StatusFront));
    MemClearFaults();
    EXPECT_EQ(1, StateNow());
    Outcomes.clear();
    EXPECT_EQ(ResultDone, ApplyChange(IndexOf("Contoso Tray"), 1, &StatusFront));
    EXPECT_EQ(2, StateNow());
    EXPECT_NE(std::string::npos,
              RegText(MemFileBytes(Outcomes[0].backup)).find("\"State\"=dword:00000001"));
    // A policy's State set since the list was read is not written over.
    SetState(3);
    EXPECT_EQ(ResultRefused, ApplyChange(IndexOf("Contoso Tray"), 0, &StatusFront));
    EXPECT_EQ(3, StateNow());
    EXPECT_EQ(ResultRefused, RemoveEntry(Row(), &StatusFront));

    MemReset();
    Plant(Manifest(kTrayTask).substr(0, 100));
    ScanCatalogue();
    int index = IndexOf(kFull);
    ASSERT_GE(index, 0) << "a package whose tasks cannot be known is a row";
    EXPECT_EQ(CAUSE_APP_UNREAD, SwitchRefusalCause(&ItemCatalogue.items[index]));
}

// What an ordinary program of the user can make of its packages: a task id
// too long for the record (shown as Windows runs it, not switched), no task
// id (never written to the family's key), a folder on the network (never
// touched), a desktop app known by its trust level under an Appx policy,
// and a package replaced while the list is read (nothing skipped unsaid).
TEST(PackagedApps, WhatAUsersPackageCanHoldIsShownAsWindowsRunsItAndSaid)
{
    MemReset();
    std::string id(200, 'T');
    Plant(Manifest("<desktop:Extension Category=\"windows.startupTask\"><desktop:StartupTask "
                   "TaskId=\"" + id + "\" Enabled=\"false\" DisplayName=\"Long\"/></desktop:Extension>"
                   "<desktop:Extension Category=\"windows.startupTask\"><desktop:StartupTask "
                   "Enabled=\"true\" DisplayName=\"No Id\"/></desktop:Extension>"));
    uint32_t on = 2;
    MemSetValue(PLAT_HKCU, (std::string(APP_STATE_KEY) + "\\Contoso.Tray_8wekyb3d8bbwe\\" + id).c_str(),
                APP_STATE_VALUE, PLAT_REG_DWORD, std::string((const char *)&on, 4));
    ScanCatalogue();
    const AutostartItem *longId = &ItemCatalogue.items[IndexOf("Long")];
    EXPECT_EQ(1, longId->enabled) << "State 2 is read though its path is longer than the record";
    EXPECT_EQ(CAUSE_NAME_CUT, SwitchRefusalCause(longId));
    EXPECT_NE(PLAT_OK, SwitchRefusalCause(&ItemCatalogue.items[IndexOf("No Id")]));
    // A task id that is a path, a program outside its package: not switched.
    MemReset();
    Plant(Manifest("<desktop:Extension Category=\"windows.startupTask\"><desktop:StartupTask "
                   "TaskId=\"a\\b\" Enabled=\"true\" DisplayName=\"Path Id\"/></desktop:Extension>"
                   "<desktop:Extension Category=\"windows.startupTask\" Executable=\"..\\..\\x.exe\">"
                   "<desktop:StartupTask TaskId=\"Out\" Enabled=\"true\" DisplayName=\"Out\"/>"
                   "</desktop:Extension>"));
    ScanCatalogue();
    EXPECT_NE(PLAT_OK, SwitchRefusalCause(&ItemCatalogue.items[IndexOf("Path Id")]));
    EXPECT_NE(PLAT_OK, SwitchRefusalCause(&ItemCatalogue.items[IndexOf("Out")]));
    Plant(Manifest(kTrayTask + "<desktop:Extension Category=\"windows.startupTask\"><desktop:StartupTask "
                   "Enabled=\"true\" DisplayName=\"No Id\"/></desktop:Extension>"));
    ScanCatalogue();
    char notes[4 * TEXT_FIELD_SIZE];
    ItemNotes(&ItemCatalogue.items[IndexOf("No Id")], notes, sizeof notes);
    EXPECT_NE(nullptr, strstr(notes, NOTE_APP_NO_TASK_ID)) << notes;
    EXPECT_EQ(ResultRefused, ApplyChange(IndexOf("No Id"), 0, &StatusFront));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, (std::string(APP_STATE_KEY) + "\\Contoso.Tray_8wekyb3d8bbwe").c_str(),
                                APP_STATE_VALUE));

    MemReset();
    MemSetString(PLAT_HKCU, (std::string(APP_REPOSITORY_KEY) + "\\" + kFull).c_str(),
                 "PackageRootFolder", "\\\\server\\share\\Tray");
    const char *bundle = "Contoso.Tray_1.2.3.0_neutral_~_8wekyb3d8bbwe";
    MemSetString(PLAT_HKCU, (std::string(APP_REPOSITORY_KEY) + "\\" + bundle).c_str(),
                 "PackageRootFolder", "C:\\Bundle");
    ScanCatalogue();
    EXPECT_GE(IndexOf(kFull), 0) << "a row that says why its tasks are not known";
    EXPECT_LT(IndexOf(bundle), 0) << "a bundle without a manifest declares no task";
    EXPECT_EQ(0, MemNetworkTouches());

    MemReset();
    Plant("<Package><Applications><Application Executable=\"t.exe\" uap10:TrustLevel=\"mediumIL\">"
          "<Extensions><uap5:Extension Category=\"windows.startupTask\"><uap5:StartupTask "
          "TaskId=\"Tray\" Enabled=\"true\" DisplayName=\"Contoso Tray\"/></uap5:Extension>"
          "</Extensions></Application></Applications></Package>");
    MemSetValue(PLAT_HKLM, APPX_POLICY_KEY, "EnableFullTrustStartupTasks", PLAT_REG_DWORD,
                std::string(4, '\0'));
    ScanCatalogue();
    EXPECT_STREQ(STATE_OFF_BY_POLICY, ItemStateText(Row()));
    EXPECT_EQ(CAUSE_APP_POLICY, SwitchRefusalCause(Row())) << "switched or not, it stays off";

    // A program path longer than a field is shown cut, never "not found";
    // a manifest past 4 MB is a row that says so; a listing that fails is said.
    MemReset();
    Plant(Manifest("<desktop:Extension Category=\"windows.startupTask\" Executable=\""
                   + std::string(300, 'p') + ".exe\"><desktop:StartupTask TaskId=\"Tray\" "
                   "Enabled=\"true\" DisplayName=\"Contoso Tray\"/></desktop:Extension>"));
    ScanCatalogue();
    ASSERT_NE(nullptr, Row());
    EXPECT_EQ(1, Row()->commandCut);
    EXPECT_EQ(0, Row()->targetMissing);
    MemReset();
    Plant(Manifest(kTrayTask) + std::string(APP_MANIFEST_MOST, ' '));
    ScanCatalogue();
    ASSERT_GE(IndexOf(kFull), 0);
    ItemNotes(&ItemCatalogue.items[IndexOf(kFull)], notes, sizeof notes);
    EXPECT_NE(nullptr, strstr(notes, NOTE_APP_MANIFEST_TOO_LARGE)) << notes;
    MemFailCall(MEM_REG_ENUM_KEY, 0);
    ScanCatalogue();
    MemClearFaults();
    EXPECT_NE(nullptr, strstr(ItemCatalogue.tasksUnread, "the packaged apps could not be listed"))
        << ItemCatalogue.tasksUnread;

    // Another package before it, removed while the packages are read.
    int missed = 0;
    for (int occurrence = 1; occurrence <= 8; ++occurrence) {
        MemReset();
        Plant(Manifest(kTrayTask));
        const std::string first = std::string(APP_REPOSITORY_KEY) + "\\Aaa.App_1.0.0.0_x64__8wekyb3d8bbwe";
        MemSetString(PLAT_HKCU, first.c_str(), "PackageRootFolder", "C:\\Aaa");
        MemResetCounts();
        MemSetHook(MEM_REG_ENUM_KEY, occurrence, [&] { MemDeleteKey(PLAT_HKCU, first.c_str()); });
        ScanCatalogue();
        missed += !Row() && !strstr(ItemCatalogue.tasksUnread, SCAN_STORAGE_CHANGED);
    }
    EXPECT_EQ(0, missed);
}
