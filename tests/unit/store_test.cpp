// store_test.cpp - the store operations over the in-memory platform: moves
// that keep every entry whole, failures of each platform call, clean-up,
// add and edit.
#include "../../store/store.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

namespace {

const char *kRun = RUN_KEY;
const char *kRunOff = RUN_KEY "-";
const char *kRunOnce = CURRENT_VERSION_KEY "\\RunOnce";
const char *kRunOnceOff = CURRENT_VERSION_KEY "\\RunOnce-";
const char *kDisabledAll = MEM_COMMON_DOCUMENTS_FOLDER "\\" DISABLED_ALL_FOLDER;
const char *kDisabledUser = MEM_PERSONAL_FOLDER "\\" DISABLED_USER_FOLDER;

class Store : public testing::Test {
protected:
    void SetUp() override
    {
        MemReset();
        Statuses.clear();
    }
};

std::string Bytes(PlatHive hive, const char *path, const char *name, uint32_t *type = nullptr)
{
    std::string bytes;
    return MemGetValue(hive, path, name, type, &bytes) ? bytes : std::string("<absent>");
}

} // namespace

// ---- enable and disable of registry values ----

TEST_F(Store, DisableAndEnableAUserRunValue)
{
    MemSetString(PLAT_HKCU, kRun, "Tool", "C:\\Tools\\tool.exe -q");
    Toggle({"Tool"});
    EXPECT_TRUE(Statuses.empty());
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRun, "Tool"));
    uint32_t type = 0;
    EXPECT_EQ(Sz("C:\\Tools\\tool.exe -q"), Bytes(PLAT_HKCU, kRunOff, "Tool", &type));
    EXPECT_EQ((uint32_t)PLAT_REG_SZ, type);
    EXPECT_EQ(0, ItemCatalogue.items[IndexOf("Tool")].enabled) << "record follows the request";

    Toggle({"Tool"});
    EXPECT_TRUE(Statuses.empty());
    EXPECT_EQ(Sz("C:\\Tools\\tool.exe -q"), Bytes(PLAT_HKCU, kRun, "Tool"));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRunOff, "Tool"));
    EXPECT_TRUE(MemKeyExists(PLAT_HKCU, kRunOff)) << "the empty Run- key remains";
}

TEST_F(Store, ValuesSurviveDisableAndEnableByteForByte)
{
    uint32_t number = 0x00434241;
    const struct {
        const char *name;
        uint32_t type;
        std::string bytes;
    } values[] = {
        {"Expand", PLAT_REG_EXPAND_SZ, Sz("%windir%\\agent.exe -q")},
        {"Long", PLAT_REG_SZ, Sz("\"C:\\Tools\\agent.exe\" " + std::string(600, 'p'))},
        {"Number", PLAT_REG_DWORD, std::string((const char *)&number, 4)},
        {"Binary", PLAT_REG_BINARY, std::string("C:\\b.exe\0\xff\x01", 11)},
        {"NoZero", PLAT_REG_SZ, "C:\\n.exe"},
        {"Empty", PLAT_REG_SZ, std::string()},
    };
    for (const auto &v : values)
        MemSetValue(PLAT_HKLM, kRunOnce, v.name, v.type, v.bytes);

    Toggle({"Expand", "Long", "Number", "Binary", "NoZero", "Empty"});
    EXPECT_TRUE(Statuses.empty());
    for (const auto &v : values) {
        uint32_t type = 0;
        EXPECT_EQ(v.bytes, Bytes(PLAT_HKLM, kRunOnceOff, v.name, &type)) << v.name;
        EXPECT_EQ(v.type, type) << v.name;
        EXPECT_FALSE(MemValueExists(PLAT_HKLM, kRunOnce, v.name)) << v.name;
    }
    Toggle({"Expand", "Long", "Number", "Binary", "NoZero", "Empty"});
    EXPECT_TRUE(Statuses.empty());
    for (const auto &v : values) {
        uint32_t type = 0;
        EXPECT_EQ(v.bytes, Bytes(PLAT_HKLM, kRunOnce, v.name, &type)) << v.name;
        EXPECT_EQ(v.type, type) << v.name;
    }
}

TEST_F(Store, NothingToApplyTouchesNothing)
{
    MemSetString(PLAT_HKCU, kRun, "Tool", "C:\\tool.exe");
    MemAddLink(MEM_STARTUP_FOLDER "\\Agent.lnk", "C:\\agent.exe", "", "");
    ScanCatalogue();
    std::vector<int32_t> states = Desired({});
    MemResetCounts();
    ApplyChanges(states.data(), (int32_t)states.size(), &StatusFront);
    EXPECT_EQ(0, MemStorageCallCount());
    EXPECT_TRUE(Statuses.empty());
}

TEST_F(Store, FewerDesiredStatesThanRecordsChangeOnlyThose)
{
    MemSetString(PLAT_HKCU, kRun, "A", "C:\\a.exe");
    MemSetString(PLAT_HKCU, kRun, "B", "C:\\b.exe");
    ScanCatalogue();
    int32_t states[1] = {!ItemCatalogue.items[0].enabled};
    ApplyChanges(states, 1, &StatusFront);
    EXPECT_EQ(1u, MemValueNames(PLAT_HKCU, kRun).size());
    EXPECT_EQ(1u, MemValueNames(PLAT_HKCU, kRunOff).size());
}

// (In Run, the same name in both places is one row that came back:
// state_test.cpp.)
TEST_F(Store, CollisionInTheOtherPlaceLeavesBothValues)
{
    const char *once = CURRENT_VERSION_KEY "\\RunOnce";
    const std::string onceOff = std::string(once) + "-";
    MemSetString(PLAT_HKCU, once, "Tool", "C:\\new\\tool.exe");
    MemSetString(PLAT_HKCU, onceOff.c_str(), "TOOL", "C:\\old\\tool.exe");
    Toggle({"Tool"});
    ExpectApplyFailures(1);
    EXPECT_EQ(Sz("C:\\new\\tool.exe"), Bytes(PLAT_HKCU, once, "Tool"));
    EXPECT_EQ(Sz("C:\\old\\tool.exe"), Bytes(PLAT_HKCU, onceOff.c_str(), "Tool"));
}

TEST_F(Store, CutNameFailsWithoutWritingAnything)
{
    std::string longName(300, 'L');
    MemSetString(PLAT_HKCU, kRun, longName.c_str(), "C:\\long.exe");
    ScanCatalogue();
    ASSERT_EQ(1, ItemCatalogue.count);
    ASSERT_EQ(259u, strlen(ItemCatalogue.items[0].name));
    EXPECT_EQ(MoveValueKeyFailed, MoveRegistryValue(&ItemCatalogue.items[0], 0));
    int32_t off = 0;
    ApplyChanges(&off, 1, &StatusFront);
    ExpectApplyFailures(1);
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRun, longName.c_str()));
    EXPECT_TRUE(MemValueNames(PLAT_HKCU, kRunOff).empty());
}

// A 262-character name is listed cut to 259; the value whose whole name is
// those 259 characters is another entry and no operation on the long one
// may reach it. The same holds for a shortcut whose path did not fit.
TEST_F(Store, NoOperationActsOnACutPrefix)
{
    std::string prefix(259, 'P');
    MemSetString(PLAT_HKCU, kRun, (prefix + "xyz").c_str(), "C:\\long.exe");
    MemSetString(PLAT_HKCU, kRun, prefix.c_str(), "C:\\other.exe");
    std::string folder = "C:\\" + std::string(248, 'f');
    MemSetShellFolder(PLAT_CSIDL_STARTUP, folder.c_str());
    MemAddLink((folder + "\\long name.lnk").c_str(), "C:\\t.exe", "", "");
    ScanCatalogue();
    ASSERT_EQ(3, ItemCatalogue.count);
    int cut = 0;
    for (int i = 0; i < 3; ++i) {
        const AutostartItem *item = &ItemCatalogue.items[i];
        if (!item->cut)
            continue;
        ++cut;
        EXPECT_NE(DeleteDone, DeleteItem(item, item->kind == RegistryValue)) << i;
        EXPECT_NE(SaveDone, SaveItem(item->name, "C:\\x.exe", "", 0, EditorEdit, i)) << i;
    }
    EXPECT_EQ(2, cut);
    std::vector<int32_t> off(3, 0);
    ApplyChanges(off.data(), 3, &StatusFront);
    EXPECT_EQ(2u, Statuses.size()) << "the two cut entries are refused";
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRun, (prefix + "xyz").c_str()));
    EXPECT_EQ(Sz("C:\\other.exe"), Bytes(PLAT_HKCU, kRunOff, prefix.c_str())) << "the whole name moved";
    EXPECT_TRUE(MemFileExists((folder + "\\long name.lnk").c_str()));
}

TEST_F(Store, ValueGoneSinceTheScanFailsSafely)
{
    MemSetString(PLAT_HKCU, kRun, "Tool", "C:\\tool.exe");
    ScanCatalogue();
    MemSetValue(PLAT_HKCU, kRun, "Other", PLAT_REG_SZ, Sz("x"));
    PlatKey key;
    PlatRegCreate(PLAT_HKCU, kRun, PLAT_KEY_WRITE, &key);
    PlatRegDeleteValue(key, "Tool");
    PlatRegClose(key);
    EXPECT_EQ(MoveValueWriteFailed, MoveRegistryValue(&ItemCatalogue.items[0], 0));
    EXPECT_TRUE(MemValueNames(PLAT_HKCU, kRunOff).empty());
}

TEST_F(Store, NoWriteAccessLeavesTheEntryEnabledInPlace)
{
    MemSetString(PLAT_HKLM, kRun, "Machine", "C:\\m.exe");
    MemSetString(PLAT_HKCU, kRun, "User", "C:\\u.exe");
    MemDenyWrites(PLAT_HKLM, true);
    Toggle({"Machine", "User"});
    ExpectApplyFailures(1);
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, kRun, "Machine"));
    EXPECT_FALSE(MemKeyExists(PLAT_HKLM, kRunOff));
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRunOff, "User")) << "the loop goes on";
}

TEST_F(Store, RecordsThatAreNotWhereTheySayAreRefused)
{
    AutostartItem item = {};
    item.kind = RegistryValue;
    TextCopy(item.name, sizeof item.name, "Tool");
    TextCopy(item.scope, sizeof item.scope, "USR");
    TextCopy(item.location, sizeof item.location, kRun);
    MemSetString(PLAT_HKCU, kRun, "Tool", "C:\\tool.exe");
    // Enabling a value that is not in a "-" key would write into "...\Ru".
    EXPECT_EQ(MoveValueKeyFailed, MoveRegistryValue(&item, 1));
    TextCopy(item.location, sizeof item.location, std::string(259, 'k').c_str());
    EXPECT_EQ(MoveValueKeyFailed, MoveRegistryValue(&item, 0)) << "no room for the -";
    EXPECT_EQ(1u, MemValueNames(PLAT_HKCU, kRun).size());
}

// Each platform call of a disable fails in turn: the value always survives
// with its bytes, only in its old place when the write did not happen, and
// the status text appears whenever a step failed.
TEST_F(Store, EveryFailingCallOfAMoveKeepsTheValue)
{
    const std::string bytes = Sz("\"C:\\Tools\\tool.exe\" -q");
    const MemOp ops[] = {MEM_REG_OPEN_READ, MEM_REG_QUERY_VALUE, MEM_REG_CREATE,
                         MEM_REG_SET_VALUE, MEM_REG_CLOSE,       MEM_REG_DELETE_VALUE,
                         MEM_ALLOC};
    for (MemOp op : ops) {
        for (int occurrence = 1; occurrence <= 4; ++occurrence) {
            MemReset();
            Statuses.clear();
            MemSetValue(PLAT_HKCU, kRun, "Tool", PLAT_REG_EXPAND_SZ, bytes);
            // Windows' switch, as Windows writes one for each entry it has seen.
            MemSetValue(PLAT_HKCU, APPROVED_KEY "\\Run", "Tool", PLAT_REG_BINARY,
                        std::string("\x02", 1) + std::string(11, '\0'));
            ScanCatalogue();
            std::vector<int32_t> states = Desired({"Tool"});
            MemResetCounts();
            MemFailCall(op, occurrence);
            ApplyChanges(states.data(), (int32_t)states.size(), &StatusFront);
            std::string context = std::string(MemOpName(op)) + " #" + std::to_string(occurrence);

            bool inOld = MemValueExists(PLAT_HKCU, kRun, "Tool");
            bool inNew = MemValueExists(PLAT_HKCU, kRunOff, "Tool");
            EXPECT_TRUE(inOld || inNew) << context << ": the entry is lost";
            EXPECT_TRUE(!inOld || bytes == Bytes(PLAT_HKCU, kRun, "Tool")) << context;
            EXPECT_TRUE(!inNew || bytes == Bytes(PLAT_HKCU, kRunOff, "Tool")) << context;
            // Closing a key that was only read, or after deleting, changes
            // nothing stored; every other failing call must be reported.
            bool failed = MemCallCount(op) >= occurrence && op != MEM_REG_CLOSE;
            EXPECT_TRUE(!Statuses.empty() || (!inOld && inNew))
                << context << ": not moved and not reported";
            EXPECT_TRUE(!(!inNew || failed) || !Statuses.empty())
                << context << ": a failure went unreported";
            for (const std::string &status : Statuses)
                EXPECT_TRUE(IsApplyFailure(status)) << status << context;
            EXPECT_EQ(0, MemOpenKeys()) << context;
            EXPECT_EQ(1, MemLiveBlocks()) << context;
        }
    }
}

TEST_F(Store, MoveResultCodes)
{
    MemSetString(PLAT_HKCU, kRun, "Tool", "C:\\tool.exe");
    ScanCatalogue();
    const AutostartItem *tool = &ItemCatalogue.items[0];
    MemFailCall(MEM_REG_CREATE, 1);
    EXPECT_EQ(MoveValueKeyFailed, MoveRegistryValue(tool, 0));
    MemClearFaults();
    MemResetCounts();
    MemFailCall(MEM_REG_SET_VALUE, 1);
    EXPECT_EQ(MoveValueWriteFailed, MoveRegistryValue(tool, 0));
    MemClearFaults();
    MemResetCounts();
    // The source read opens and closes a key, the collision check another:
    // the third close is the destination's.
    MemFailCall(MEM_REG_CLOSE, 3);
    EXPECT_EQ(MoveValueCloseFailed, MoveRegistryValue(tool, 0));
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRunOff, "Tool"));
}

// ---- shortcuts ----

AutostartItem LinkRecord(const char *folder, const char *name, const char *scope, int enabled)
{
    AutostartItem item = {};
    item.kind = Shortcut;
    item.enabled = enabled;
    TextCopy(item.name, sizeof item.name, name);
    TextCopy(item.scope, sizeof item.scope, scope);
    TextFormat(item.location, sizeof item.location, "%s\\%s", folder, name);
    return item;
}

TEST_F(Store, DisableAndEnableAnAllUsersShortcut)
{
    MemAddLink(MEM_COMMON_STARTUP_FOLDER "\\Agent.lnk", "C:\\agent.exe", "-a", "");
    AutostartItem item = LinkRecord(MEM_COMMON_STARTUP_FOLDER, "Agent.lnk", "all", 1);
    EXPECT_FALSE(MemFolderExists(kDisabledAll));
    EXPECT_EQ(0, MoveShortcut(&item, 0));
    EXPECT_TRUE(MemFileExists((std::string(kDisabledAll) + "\\Agent.lnk").c_str()));
    EXPECT_FALSE(MemFileExists(MEM_COMMON_STARTUP_FOLDER "\\Agent.lnk"));

    Toggle({"Agent.lnk"});
    EXPECT_TRUE(Statuses.empty());
    EXPECT_TRUE(MemFileExists(MEM_COMMON_STARTUP_FOLDER "\\Agent.lnk"));
    EXPECT_TRUE(MemListFolder(kDisabledAll).empty());
}

// Written back after the list was read (listed together, they are one row
// that came back).
TEST_F(Store, ShortcutCollisionLeavesBothFiles)
{
    MemAddLink((std::string(kDisabledUser) + "\\Agent.lnk").c_str(), "C:\\old.exe", "", "");
    ScanCatalogue();
    MemAddLink(MEM_STARTUP_FOLDER "\\Agent.lnk", "C:\\new.exe", "", "");
    ASSERT_EQ(1, ItemCatalogue.count);
    int32_t states[1] = {1};
    ApplyChanges(states, 1, &StatusFront);
    ExpectApplyFailures(1);
    EXPECT_TRUE(MemFileExists(MEM_STARTUP_FOLDER "\\Agent.lnk"));
    EXPECT_TRUE(MemFileExists((std::string(kDisabledUser) + "\\Agent.lnk").c_str()));
}

TEST_F(Store, ShortcutWithoutAFolderToGoToStays)
{
    MemAddLink(MEM_STARTUP_FOLDER "\\Agent.lnk", "C:\\agent.exe", "", "");
    AutostartItem odd = LinkRecord(MEM_STARTUP_FOLDER, "Agent.lnk", "XYZ", 1);
    EXPECT_EQ(1, MoveShortcut(&odd, 0)) << "scope neither USR nor ALL";
    AutostartItem user = LinkRecord(MEM_STARTUP_FOLDER, "Agent.lnk", "USR", 1);
    MemFailCall(MEM_SHELL_FOLDER, 0);
    EXPECT_EQ(1, MoveShortcut(&user, 0));
    EXPECT_TRUE(MemFileExists(MEM_STARTUP_FOLDER "\\Agent.lnk"));
}

// ---- remove ----

TEST_F(Store, DeleteItemResultCodes)
{
    MemSetString(PLAT_HKCU, kRunOff, "Tool", "C:\\tool.exe");
    MemAddLink(MEM_STARTUP_FOLDER "\\Agent.lnk", "C:\\agent.exe", "", "");
    ScanCatalogue();
    const AutostartItem *tool = &ItemCatalogue.items[IndexOf("Tool")];
    const AutostartItem *link = &ItemCatalogue.items[IndexOf("Agent.lnk")];

    MemFailCall(MEM_REG_CREATE, 1);
    EXPECT_EQ(DeleteKeyFailed, DeleteItem(tool, 1));
    MemFailCall(MEM_REG_DELETE_VALUE, 1);
    EXPECT_EQ(DeleteValueFailed, DeleteItem(tool, 1));
    MemFailCall(MEM_DELETE_FILE, 1);
    EXPECT_EQ(DeleteFileFailed, DeleteItem(link, 0));
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRunOff, "Tool"));
    EXPECT_TRUE(MemFileExists(MEM_STARTUP_FOLDER "\\Agent.lnk"));

    EXPECT_EQ(DeleteDone, DeleteItem(tool, 1));
    EXPECT_EQ(DeleteDone, DeleteItem(link, 0));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRunOff, "Tool"));
    EXPECT_FALSE(MemFileExists(MEM_STARTUP_FOLDER "\\Agent.lnk"));
    EXPECT_EQ(DeleteValueFailed, DeleteItem(tool, 1)) << "already gone";
}

// ---- clean-up ----

TEST_F(Store, CleanUpAppliesFirstThenDeletesEveryDisabledKey)
{
    for (const char *name : RunKeyNames) {
        std::string off = std::string(CURRENT_VERSION_KEY "\\") + name + "-";
        MemSetString(PLAT_HKCU, off.c_str(), "OldUser", "C:\\u.exe");
        MemSetString(PLAT_HKLM, off.c_str(), "OldAll", "C:\\a.exe");
    }
    MemSetString(PLAT_HKCU, kRun, "Pending1", "C:\\p1.exe");
    MemSetString(PLAT_HKLM, kRunOnce, "Pending2", "C:\\p2.exe");
    MemSetString(PLAT_HKCU, kRun, "Keep", "C:\\keep.exe");
    MemAddLink((std::string(kDisabledUser) + "\\Off.lnk").c_str(), "C:\\off.exe", "", "");
    ScanCatalogue();
    std::vector<int32_t> states = Desired({"Pending1", "Pending2"});
    CleanUpDisabled(states.data(), (int32_t)states.size(), &StatusFront);

    for (const char *name : RunKeyNames) {
        std::string off = std::string(CURRENT_VERSION_KEY "\\") + name + "-";
        // RunOnceEx-'s own values are settings, not entries: they stay.
        bool stays = strcmp(name, RUN_ONCE_EX) == 0;
        EXPECT_EQ(stays, MemKeyExists(PLAT_HKCU, off.c_str())) << off;
        EXPECT_EQ(stays, MemKeyExists(PLAT_HKLM, off.c_str())) << off;
    }
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRun, "Pending1"));
    EXPECT_FALSE(MemValueExists(PLAT_HKLM, kRunOnce, "Pending2"));
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRun, "Keep"));
    EXPECT_TRUE(MemFileExists((std::string(kDisabledUser) + "\\Off.lnk").c_str()));
    const char *backup = MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER "\\CleanUp 2026-12-07 130509.reg";
    EXPECT_EQ(std::vector<std::string>{std::string("Deleted 10 disabled entries; backup: ") + backup
                                       + "."},
              Statuses);
    EXPECT_NE(std::string::npos,
              RegText(MemFileBytes(backup)).find("\"Pending2\"=\"C:\\\\p2.exe\""));
}

// The question counts storage as it is; what is written or rewritten after
// the backup stays, and the key with it.
TEST_F(Store, CleanUpDeletesOnlyWhatItsBackupHolds)
{
    MemSetString(PLAT_HKCU, kRunOff, "B", "C:\\b.exe");
    MemSetString(PLAT_HKCU, kRunOff, "C", "C:\\c.exe");
    MemSetString(PLAT_HKLM, CURRENT_VERSION_KEY "\\" RUN_ONCE_EX "-\\0001", "", "Setup");
    MemSetString(PLAT_HKLM, CURRENT_VERSION_KEY "\\" RUN_ONCE_EX "-\\0001", "Step", "||C:\\s.exe");
    MemSetString(PLAT_HKLM, CURRENT_VERSION_KEY "\\" RUN_ONCE_EX "-\\Depend", "X", "y");
    CleanUpCount count;
    CountCleanUp(&count);
    EXPECT_EQ(2, count.user);
    EXPECT_EQ(1, count.machine);
    EXPECT_EQ(1, count.settings);
    EXPECT_STREQ("RunOnceEx-, Run-", count.places);
    ScanCatalogue();
    std::vector<int32_t> states = Desired({});
    MemSetHook(MEM_REG_DELETE_VALUE, 1, [] {
        MemSetString(PLAT_HKCU, kRunOff, "Late", "C:\\late.exe");
        MemSetString(PLAT_HKCU, kRunOff, "B", "C:\\rewritten.exe");
    });
    CleanUpDisabled(states.data(), (int32_t)states.size(), &StatusFront);
    EXPECT_EQ((std::vector<std::string>{"B", "Late"}), MemValueNames(PLAT_HKCU, kRunOff));
    EXPECT_FALSE(MemKeyExists(PLAT_HKLM, CURRENT_VERSION_KEY "\\" RUN_ONCE_EX "-\\0001"));
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, CURRENT_VERSION_KEY "\\" RUN_ONCE_EX "-\\Depend", "X"));
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_EQ("Deleted 2 disabled entries and 1 setting of RunOnceEx-; backup: " MEM_PERSONAL_FOLDER
              "\\" BACKUP_FOLDER "\\CleanUp 2026-12-07 130509.reg. 1 disabled entry of this user "
              "was kept: another program changed it since the list was read.",
              Statuses[0]);
}

TEST_F(Store, CleanUpSkipsAHiveItCannotOpen)
{
    MemSetString(PLAT_HKCU, kRunOff, "U", "C:\\u.exe");
    MemSetString(PLAT_HKLM, kRunOff, "A", "C:\\a.exe");
    ScanCatalogue();
    std::vector<int32_t> states = Desired({});
    MemDenyWrites(PLAT_HKLM, true);
    CleanUpDisabled(states.data(), (int32_t)states.size(), &StatusFront);
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, kRunOff, "A"));
    EXPECT_FALSE(MemKeyExists(PLAT_HKCU, kRunOff));
}

// ---- add and edit ----

TEST_F(Store, AddQuotesThePathOnlyWithParametersOrABlank)
{
    SaveItem("Tool", "C:\\Program Files\\Tool\\tool.exe", "-quiet", 1, EditorAdd, -1);
    EXPECT_EQ(Sz("\"C:\\Program Files\\Tool\\tool.exe\" -quiet"), Bytes(PLAT_HKLM, kRun, "Tool"));
    SaveItem("Bare", "C:\\Tools\\tool.exe", "", 0, EditorAdd, -1);
    uint32_t type = 0;
    EXPECT_EQ(Sz("C:\\Tools\\tool.exe"), Bytes(PLAT_HKCU, kRun, "Bare", &type));
    EXPECT_EQ((uint32_t)PLAT_REG_SZ, type);
}

TEST_F(Store, AddReplacesASameNamedValueAndCreatesTheRunKey)
{
    EXPECT_FALSE(MemKeyExists(PLAT_HKLM, kRun));
    SaveItem("Tool", "C:\\one.exe", "", 1, EditorAdd, -1);
    SaveItem("TOOL", "C:\\two.exe", "", 1, EditorAdd, -1);
    EXPECT_EQ(1u, MemValueNames(PLAT_HKLM, kRun).size());
    EXPECT_EQ(Sz("C:\\two.exe"), Bytes(PLAT_HKLM, kRun, "Tool"));
}

TEST_F(Store, AddOfTheLongestTextsIsNotCut)
{
    std::string file(259, 'f'), parameters(259, 'p');
    SaveItem("Long", file.c_str(), parameters.c_str(), 0, EditorAdd, -1);
    EXPECT_EQ(Sz("\"" + file + "\" " + parameters), Bytes(PLAT_HKCU, kRun, "Long"));
}

TEST_F(Store, EditOfADisabledRunOnceValueStaysDisabled)
{
    MemSetString(PLAT_HKCU, kRunOnceOff, "Later", "C:\\later.exe");
    ScanCatalogue();
    SaveItem("Later", "C:\\later.exe", "-x", 0, EditorEdit, IndexOf("Later"));
    EXPECT_EQ(Sz("\"C:\\later.exe\" -x"), Bytes(PLAT_HKCU, kRunOnceOff, "Later"));
    EXPECT_FALSE(MemKeyExists(PLAT_HKCU, kRunOnce));
}

TEST_F(Store, RenameWritesTheNewNameThenDeletesTheOld)
{
    MemSetString(PLAT_HKCU, kRun, "Old", "C:\\t.exe");
    ScanCatalogue();
    SaveItem("New", "C:\\t.exe", "", 0, EditorEdit, IndexOf("Old"));
    EXPECT_EQ(std::vector<std::string>{"New"}, MemValueNames(PLAT_HKCU, kRun));

    MemSetString(PLAT_HKCU, kRun, "Case", "C:\\c.exe");
    ScanCatalogue();
    SaveItem("CASE", "C:\\c2.exe", "", 0, EditorEdit, IndexOf("Case"));
    EXPECT_EQ(Sz("C:\\c2.exe"), Bytes(PLAT_HKCU, kRun, "case")) << "same value, not deleted";
}

TEST_F(Store, HiveChangeMovesTheEntryUnderTheSameKey)
{
    MemSetString(PLAT_HKCU, kRunOnce, "Tool", "C:\\t.exe");
    ScanCatalogue();
    SaveItem("Tool", "C:\\t.exe", "", 1, EditorEdit, IndexOf("Tool"));
    EXPECT_EQ(Sz("C:\\t.exe"), Bytes(PLAT_HKLM, kRunOnce, "Tool"));
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRunOnce, "Tool"));
}

TEST_F(Store, UnchangedEditWritesNothing)
{
    MemSetString(PLAT_HKLM, kRun, "Dll", "rundll32.exe \"C:\\x.dll\",Start", PLAT_REG_EXPAND_SZ);
    ScanCatalogue();
    const AutostartItem &item = ItemCatalogue.items[0];
    std::string name = item.name, target = item.target, parameters = item.parameters;
    MemResetCounts();
    SaveItem(name.c_str(), target.c_str(), parameters.c_str(), 1, EditorEdit, 0);
    EXPECT_EQ(0, MemCallCount(MEM_REG_CREATE) + MemCallCount(MEM_REG_SET_VALUE)
                     + MemCallCount(MEM_REG_DELETE_VALUE));
    uint32_t type = 0;
    EXPECT_EQ(Sz("rundll32.exe \"C:\\x.dll\",Start"), Bytes(PLAT_HKLM, kRun, "Dll", &type));
    EXPECT_EQ((uint32_t)PLAT_REG_EXPAND_SZ, type);
}

TEST_F(Store, FailedEditWriteKeepsTheOldValue)
{
    MemSetString(PLAT_HKCU, kRun, "Old", "C:\\t.exe");
    ScanCatalogue();
    for (MemOp op : {MEM_REG_CREATE, MEM_REG_SET_VALUE}) {
        MemClearFaults();
        MemFailCall(op, 0);
        SaveItem("New", "C:\\t.exe", "", 1, EditorEdit, IndexOf("Old"));
        EXPECT_TRUE(MemValueExists(PLAT_HKCU, kRun, "Old")) << MemOpName(op);
        EXPECT_FALSE(MemValueExists(PLAT_HKLM, kRun, "New")) << MemOpName(op);
    }
}

TEST_F(Store, EditWithAnIndexOutsideTheCatalogueDoesNothing)
{
    ScanCatalogue();
    MemResetCounts();
    SaveItem("X", "C:\\x.exe", "", 0, EditorEdit, 0);
    SaveItem("X", "C:\\x.exe", "", 0, EditorEdit, -1);
    EXPECT_EQ(0, MemStorageCallCount());
}

// What a row refuses is known before anything is asked: the first cause
// the store would meet, a Windows' own logon program refused both ways.
TEST(Refusals, EachRowSaysWhatItRefusesAndWhy)
{
    AutostartItem row;
    memset(&row, 0, sizeof row);
    row.kind = RegistryValue;
    EXPECT_EQ(PLAT_OK, SwitchRefusalCause(&row));
    EXPECT_EQ(PLAT_OK, RemoveRefusalCause(&row));
    row.logonPlace = LogonUserinit;
    row.windowsOwn = 1;
    EXPECT_EQ(CAUSE_WINDOWS_OWN, SwitchRefusalCause(&row));
    EXPECT_EQ(CAUSE_WINDOWS_OWN, RemoveRefusalCause(&row));
    row.inexact = 1;
    EXPECT_EQ(CAUSE_NAME_INEXACT, SwitchRefusalCause(&row));
    EXPECT_EQ(CAUSE_NAME_INEXACT, RemoveRefusalCause(&row));
    row.windowsOwn = 0;
    EXPECT_EQ(CAUSE_NAME_INEXACT, RemoveRefusalCause(&row)) << "a logon row's own refusal is not all";
    AutostartItem task;
    memset(&task, 0, sizeof task);
    task.kind = ScheduledTask;
    task.cut = 1;
    EXPECT_EQ(CAUSE_TASK_PATH_CUT, RemoveRefusalCause(&task));
    task.readOnly = 1;
    EXPECT_EQ(CAUSE_TASK_FILES, SwitchRefusalCause(&task));
    row.inexact = 0;
    row.cut = 1;
    EXPECT_EQ(CAUSE_NAME_CUT, SwitchRefusalCause(&row));
}
