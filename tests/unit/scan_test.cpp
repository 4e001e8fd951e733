// scan_test.cpp - the catalogue scan over the in-memory platform: table
// order, both passes, storage changing between them, every failing platform
// call, overlong and odd data, version strings.
#include "../../catalogue/catalogue.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <string.h>
#include <string>
#include <vector>

namespace {

const char *kRun = RUN_KEY;
const char *kRunOnce = CURRENT_VERSION_KEY "\\RunOnce";
const char *kRunOnceDisabled = CURRENT_VERSION_KEY "\\RunOnce-";
const char *kAgent = "C:\\Tools\\agent.exe";
const char *kDisabledUser = MEM_PERSONAL_FOLDER "\\" DISABLED_USER_FOLDER;
const char *kDisabledAll = MEM_COMMON_DOCUMENTS_FOLDER "\\" DISABLED_ALL_FOLDER;

class Scan : public testing::Test {
protected:
    void SetUp() override
    {
        MemReset();
        MemSetVersion(kAgent, "Agent Service", "Agent Works");
    }
};

const AutostartItem &Item(int i)
{
    return ItemCatalogue.items[i];
}

std::string Names()
{
    std::string names;
    for (int i = 0; i < ItemCatalogue.count; ++i)
        names += std::string(names.empty() ? "" : ",") + Item(i).name;
    return names;
}

// Every record in use has terminated fields; every record after them is zero.
void ExpectSaneCatalogue(const char *context)
{
    ASSERT_NE(nullptr, ItemCatalogue.items) << context;
    ASSERT_LE(ItemCatalogue.count, ItemCatalogue.capacity) << context;
    for (int i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem &item = Item(i);
        const char *fields[] = {item.name, item.location, item.target, item.targetFolder,
                                item.description, item.company};
        for (const char *field : fields)
            EXPECT_NE(nullptr, memchr(field, 0, TEXT_FIELD_SIZE)) << context << " record " << i;
        EXPECT_NE(nullptr, memchr(item.command, 0, COMMAND_FIELD_SIZE)) << context << " record " << i;
        EXPECT_NE(nullptr, memchr(item.parameters, 0, COMMAND_FIELD_SIZE)) << context;
        EXPECT_NE(nullptr, memchr(item.scope, 0, SCOPE_SIZE)) << context;
        EXPECT_TRUE(item.kind == RegistryValue || item.kind == Shortcut) << context;
        EXPECT_TRUE(item.enabled == 0 || item.enabled == 1) << context;
    }
    static const AutostartItem zero = {};
    for (int i = ItemCatalogue.count; i <= ItemCatalogue.capacity; ++i)
        EXPECT_EQ(0, memcmp(&zero, &Item(i), sizeof zero)) << context << " spare record " << i;
    EXPECT_EQ(0, MemOpenKeys()) << context;
    EXPECT_EQ(0, MemOpenSearches()) << context;
}

// One entry in every place of the table, named after its row.
void SeedEveryPlace()
{
    for (int row = 0; row < LOCATION_COUNT; ++row) {
        const AutostartLocation &loc = AutostartLocations[row];
        std::string name = "row" + std::to_string(row + 1);
        if (loc.kind == LocationRegistryKey) {
            std::string path = std::string(loc.keyPath) + (loc.enabled ? "" : "-")
                               + (RowHasSections(&loc) ? "\\0001" : "");
            MemSetString(HiveOfRow(&loc), path.c_str(), name.c_str(), kAgent);
        } else {
            char folder[TEXT_FIELD_SIZE];
            ASSERT_TRUE(ResolveLocationFolder(&loc, folder));
            MemAddLink((std::string(folder) + "\\" + name + ".lnk").c_str(), kAgent, "-x", "c");
        }
    }
}

} // namespace

// The whole scan order written out, not taken from the table it checks.
TEST_F(Scan, RecordsFollowTheLocationTable)
{
    SeedEveryPlace();
    ScanCatalogue();
    ExpectSaneCatalogue("every place");
    struct Row {
        const char *place; // as ItemPlaceText gives it, short hive names
        const char *type;
        int enabled;
    };
#define CV "\\Software\\Microsoft\\Windows\\CurrentVersion\\"
#define CV32 "HKLM\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\"
#define KEY_ROWS(key)                                                                   \
    {"HKCU" CV key, "USR", 1}, {"HKCU" CV key "-", "USR", 0}, {"HKLM" CV key, "ALL", 1}, \
        {"HKLM" CV key "-", "ALL", 0}, {CV32 key, "ALL32", 1}, {CV32 key "-", "ALL32", 0}
#define SECTION_ROWS(key)                                                               \
    {"HKCU" CV key "\\0001", "USR", 1}, {"HKCU" CV key "-\\0001", "USR", 0},               \
        {"HKLM" CV key "\\0001", "ALL", 1}, {"HKLM" CV key "-\\0001", "ALL", 0},           \
        {CV32 key "\\0001", "ALL32", 1}, {CV32 key "-\\0001", "ALL32", 0}
    const Row expected[] = {
        KEY_ROWS("Run"),      KEY_ROWS("RunServices"), KEY_ROWS("RunServicesOnce"),
        KEY_ROWS("RunOnce"),  SECTION_ROWS("RunOnceEx"),
        {"HKCU" CV "Policies\\Explorer\\Run", "USR", 1},
        {"HKCU" CV "Policies\\Explorer\\Run-", "USR", 0},
        {"HKLM" CV "Policies\\Explorer\\Run", "ALL", 1},
        {"HKLM" CV "Policies\\Explorer\\Run-", "ALL", 0},
        {MEM_STARTUP_FOLDER "\\row35.lnk", "USR", 1},
        {MEM_COMMON_STARTUP_FOLDER "\\row36.lnk", "ALL", 1},
        {MEM_PERSONAL_FOLDER "\\DisabledCUStartItems\\row37.lnk", "USR", 0},
        {MEM_COMMON_DOCUMENTS_FOLDER "\\DisabledAUStartItems\\row38.lnk", "ALL", 0},
    };
#undef SECTION_ROWS
#undef KEY_ROWS
#undef CV32
#undef CV
    const int rows = (int)(sizeof expected / sizeof expected[0]);
    ASSERT_EQ(38, rows);
    ASSERT_EQ(rows, ItemCatalogue.count);
    EXPECT_EQ(rows, ItemCatalogue.capacity);
    for (int row = 0; row < rows; ++row) {
        const AutostartItem &item = Item(row);
        char place[TEXT_FIELD_SIZE + 32];
        ItemPlaceText(&item, 0, place, sizeof place);
        std::string name = "row" + std::to_string(row + 1);
        EXPECT_EQ(row < 34 ? name : name + ".lnk", item.name);
        EXPECT_STREQ(expected[row].place, place) << name;
        EXPECT_STREQ(expected[row].type, ItemTypeText(&item)) << name;
        EXPECT_EQ(expected[row].enabled, item.enabled) << name;
        EXPECT_EQ(row < 34 ? RegistryValue : Shortcut, item.kind) << name;
    }
    // Nothing of the 32-bit view in a machine entry's HKLM row, nor the reverse.
    uint32_t type;
    EXPECT_FALSE(MemGetValue(PLAT_HKLM, kRun, "row5", &type, nullptr));
    EXPECT_FALSE(MemGetValue(PLAT_HKLM32, kRun, "row3", &type, nullptr));
}

// With one view (32-bit Windows) the machine's rows are read once.
TEST_F(Scan, OneViewListsMachineEntriesOnce)
{
    MemSetTwoViews(false);
    MemSetString(PLAT_HKLM, kRun, "Machine", kAgent);
    MemSetString(PLAT_HKLM, (std::string(kRun) + "-").c_str(), "Off", kAgent);
    ScanCatalogue();
    ExpectSaneCatalogue("one view");
    EXPECT_EQ("Machine,Off", Names());
    EXPECT_EQ(2, ItemCatalogue.capacity);
    EXPECT_STREQ("ALL", ItemTypeText(&Item(0)));
}

TEST_F(Scan, RegistryValueFields)
{
    MemSetString(PLAT_HKCU, kRun, "Agent", "\"C:\\Tools\\agent.exe\" -min");
    MemSetString(PLAT_HKCU, (std::string(kRun) + "-").c_str(), "Old", "C:\\Tools\\old.exe");
    ScanCatalogue();
    ExpectSaneCatalogue("run and run-");
    ASSERT_EQ(2, ItemCatalogue.count);
    const AutostartItem &agent = Item(0);
    EXPECT_EQ(RegistryValue, agent.kind);
    EXPECT_STREQ("Agent", agent.name);
    EXPECT_STREQ("USR", agent.scope);
    EXPECT_STREQ("\"C:\\Tools\\agent.exe\" -min", agent.command);
    EXPECT_STREQ(kRun, agent.location);
    EXPECT_STREQ(kAgent, agent.target);
    EXPECT_STREQ("-min", agent.parameters);
    EXPECT_STREQ("C:\\Tools", agent.targetFolder);
    EXPECT_STREQ("Agent Service", agent.description);
    EXPECT_STREQ("Agent Works", agent.company);
    EXPECT_EQ(1, agent.enabled);

    const AutostartItem &old = Item(1);
    EXPECT_EQ((std::string(kRun) + "-"), old.location);
    EXPECT_EQ(0, old.enabled);
    EXPECT_STREQ("n/a", old.description);
    EXPECT_STREQ("n/a", old.company);
}

TEST_F(Scan, UserValueThenMachineDisabledValueThenAllUsersShortcut)
{
    MemAddLink(MEM_COMMON_STARTUP_FOLDER "\\Probe.lnk", kAgent, "-a", "comment");
    MemSetString(PLAT_HKLM, kRunOnceDisabled, "Later", kAgent);
    MemSetString(PLAT_HKCU, kRun, "First", kAgent);
    ScanCatalogue();
    EXPECT_EQ("First,Later,Probe.lnk", Names());
    EXPECT_STREQ("ALL", Item(1).scope);
    EXPECT_EQ(0, Item(1).enabled);
    EXPECT_STREQ("ALL", Item(2).scope);
}

TEST_F(Scan, ShortcutFields)
{
    MemSetVersion("C:\\Program Files\\Agent\\agent.exe", "Agent Service", "Agent Works");
    MemSetVersion("C:\\PROGRA~1\\Agent\\agent.exe", "Agent Service", "Agent Works");
    MemAddLink(MEM_STARTUP_FOLDER "\\Agent.lnk", "C:\\Program Files\\Agent\\agent.exe", "-min",
               "Starts the agent", "C:\\PROGRA~1\\Agent\\agent.exe");
    MemAddLink(MEM_STARTUP_FOLDER "\\NoVersion.lnk", "C:\\Tools\\plain.exe", "", "Has a comment");
    ScanCatalogue();
    ASSERT_EQ(2, ItemCatalogue.count);
    const AutostartItem &agent = Item(0);
    EXPECT_EQ(Shortcut, agent.kind);
    EXPECT_STREQ("Agent.lnk", agent.name);
    EXPECT_STREQ(MEM_STARTUP_FOLDER "\\Agent.lnk", agent.location);
    // The long path, quoted for its blank, one blank, the arguments.
    EXPECT_STREQ("C:\\Program Files\\Agent\\agent.exe", agent.target);
    EXPECT_STREQ("-min", agent.parameters);
    EXPECT_STREQ("\"C:\\Program Files\\Agent\\agent.exe\" -min", agent.command);
    EXPECT_STREQ("C:\\Program Files\\Agent", agent.targetFolder);
    EXPECT_STREQ("Agent Service", agent.description);
    EXPECT_STREQ("Agent Works", agent.company);
    // The link's own comment gives way to "n/a" when the target has no version.
    EXPECT_STREQ("n/a", Item(1).description);
}

TEST_F(Scan, BrokenShortcutIsStillAnEntry)
{
    MemAddFile(MEM_STARTUP_FOLDER "\\garbage.lnk", "\x01\x02not a link");
    MemAddFolder(MEM_STARTUP_FOLDER "\\folder.lnk"); // a folder: not started, not listed
    ScanCatalogue();
    ExpectSaneCatalogue("broken links");
    ASSERT_EQ(1, ItemCatalogue.count);
    for (int i = 0; i < 1; ++i) {
        EXPECT_STREQ("", Item(i).target);
        EXPECT_STREQ("", Item(i).parameters);
        EXPECT_STREQ("", Item(i).command);
        EXPECT_STREQ("n/a", Item(i).description);
        EXPECT_STREQ("n/a", Item(i).company);
    }
}

TEST_F(Scan, EmptyStorageGivesOneZeroRecord)
{
    ScanCatalogue();
    ExpectSaneCatalogue("empty");
    EXPECT_EQ(0, ItemCatalogue.count);
    EXPECT_EQ(0, ItemCatalogue.capacity);
    EXPECT_EQ(1, MemLiveBlocks());
}

TEST_F(Scan, FoldersOfDisabledItemsExistAfterAScan)
{
    EXPECT_FALSE(MemFolderExists(kDisabledUser));
    ScanCatalogue();
    EXPECT_TRUE(MemFolderExists(kDisabledUser));
    EXPECT_TRUE(MemFolderExists(kDisabledAll));
    EXPECT_TRUE(MemFolderExists(MEM_STARTUP_FOLDER));
    EXPECT_TRUE(MemFolderExists(MEM_COMMON_STARTUP_FOLDER));
}

// RunOnceEx's entries are its sections' values; its own values are settings.
TEST_F(Scan, RunOnceExListsItsSectionsNotItsSettings)
{
    const std::string ex = CURRENT_VERSION_KEY "\\RunOnceEx";
    MemSetValue(PLAT_HKLM, ex.c_str(), "Flags", PLAT_REG_DWORD, std::string(4, '\0'));
    MemSetString(PLAT_HKLM, ex.c_str(), "Title", "Setup");
    MemSetString(PLAT_HKLM, (ex + "\\0001").c_str(), "", "Installing tools");
    MemSetString(PLAT_HKLM, (ex + "\\0001").c_str(), "Step", "||C:\\step.exe /q");
    MemSetString(PLAT_HKLM, (ex + "\\0001").c_str(), "Dll", "C:\\x.dll|Install|1");
    MemSetString(PLAT_HKLM, (ex + "\\Depend").c_str(), "Other", kAgent);
    ScanCatalogue();
    ASSERT_EQ("Step,Dll", Names());
    EXPECT_EQ(2, ItemCatalogue.capacity) << "Depend and the title counted for nothing";
    char notes[2 * TEXT_FIELD_SIZE];
    ItemNotes(&Item(1), notes, sizeof notes);
    EXPECT_STREQ(NOTE_RUN_ONCE_EX "; section title: \"Installing tools\"; " NOTE_TARGET_MISSING, notes);
    EXPECT_EQ(ex + "\\0001", Item(0).location);
    EXPECT_STREQ("C:\\step.exe", Item(0).target);
    EXPECT_STREQ("/q", Item(0).parameters);
    EXPECT_STREQ("C:\\x.dll", Item(1).target);
    EXPECT_STREQ("Install|1", Item(1).parameters);
    // Disabled into the same section of RunOnceEx-, and back.
    Toggle({"Step"});
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, (ex + "-\\0001").c_str(), "Step"));
    Toggle({"Step"});
    EXPECT_TRUE(MemValueExists(PLAT_HKLM, (ex + "\\0001").c_str(), "Step"));
}

TEST_F(Scan, EmptyDataGivesEmptyFieldsAndNotAvailable)
{
    MemSetValue(PLAT_HKCU, kRun, "Nothing", PLAT_REG_SZ, std::string());
    ScanCatalogue();
    ASSERT_EQ(1, ItemCatalogue.count);
    EXPECT_STREQ("", Item(0).command);
    EXPECT_STREQ("", Item(0).target);
    EXPECT_STREQ("", Item(0).parameters);
    EXPECT_STREQ("", Item(0).targetFolder);
    EXPECT_STREQ("n/a", Item(0).description);
    EXPECT_STREQ("n/a", Item(0).company);
}

TEST_F(Scan, OverlongNamesAndData)
{
    std::string longName(300, 'N');
    MemSetString(PLAT_HKCU, kRun, longName.c_str(), kAgent);
    MemSetString(PLAT_HKCU, kRun, "LongData", (std::string(kAgent) + std::string(300, ' ')).c_str());
    MemSetValue(PLAT_HKCU, kRun, "Exact2048", PLAT_REG_SZ, std::string(2048, 'e'));
    MemSetString(PLAT_HKCU, kRun, std::string(259, 'M').c_str(), "C:\\m.exe");
    MemSetString(PLAT_HKCU, kRun, "Fits2047", std::string(2047, 'f').c_str());
    MemSetString(PLAT_HKCU, kRun, "Long3000", (std::string(kAgent) + " " + std::string(3000, 'x')).c_str());
    ScanCatalogue();
    ExpectSaneCatalogue("overlong");
    ASSERT_EQ(6, ItemCatalogue.count);
    EXPECT_EQ(std::string(259, 'N'), Item(0).name) << "a long name is cut, not lost";
    EXPECT_EQ(1, Item(0).cut);
    EXPECT_STREQ(kAgent, Item(0).command);
    EXPECT_STREQ("LongData", Item(1).name);
    EXPECT_EQ(std::string(kAgent) + std::string(300, ' '), Item(1).command)
        << "a command of a few hundred characters is held whole";
    EXPECT_EQ(0, Item(1).commandCut);
    EXPECT_STREQ(kAgent, Item(1).target);
    EXPECT_EQ(std::string(2047, 'e'), Item(2).command) << "no terminator: the field's worth";
    EXPECT_EQ(1, Item(2).commandCut);
    EXPECT_EQ(std::string(259, 'M'), Item(3).name);
    EXPECT_EQ(0, Item(3).cut) << "259 characters fit exactly";
    EXPECT_EQ(std::string(2047, 'f'), Item(4).command);
    EXPECT_EQ(0, Item(4).commandCut) << "2047 characters fit exactly";
    EXPECT_EQ((std::string(kAgent) + " " + std::string(3000, 'x')).substr(0, 2047), Item(5).command)
        << "data longer than the field is shown cut, not left empty";
    EXPECT_EQ(1, Item(5).commandCut);
    EXPECT_STREQ(kAgent, Item(5).target);
}

TEST_F(Scan, OddValueTypesAreTakenAsText)
{
    uint32_t number = 0x00434241; // "ABC" and a zero byte
    MemSetValue(PLAT_HKCU, kRun, "Dword", PLAT_REG_DWORD, std::string((char *)&number, 4));
    MemSetValue(PLAT_HKCU, kRun, "Binary", PLAT_REG_BINARY, std::string("C:\\b.exe\0junk", 13));
    MemSetString(PLAT_HKCU, kRun, "Expand", "%windir%\\agent.exe -q", PLAT_REG_EXPAND_SZ);
    MemSetValue(PLAT_HKCU, kRun, "NoZero", PLAT_REG_SZ, "C:\\n.exe");
    MemSetValue(PLAT_HKCU, kRun, "Multi", PLAT_REG_MULTI_SZ, std::string("C:\\m.exe\0two\0\0", 14));
    ScanCatalogue();
    ExpectSaneCatalogue("odd types");
    ASSERT_EQ(5, ItemCatalogue.count);
    EXPECT_STREQ("ABC", Item(0).command);
    EXPECT_STREQ("C:\\b.exe", Item(1).command);
    EXPECT_STREQ("%windir%\\agent.exe -q", Item(2).command) << "command is stored text";
    EXPECT_STREQ("C:\\WINDOWS\\agent.exe -q", Item(2).target);
    EXPECT_STREQ("C:\\n.exe", Item(3).command);
    EXPECT_STREQ("C:\\m.exe", Item(4).command);
}

// A writer adds to the first place after it was counted and before it is
// loaded: the scan goes again, and the last places' rows are still there.
TEST_F(Scan, StorageGrowingBetweenPassesIsScannedAgainToTheLastRow)
{
    MemSetString(PLAT_HKCU, kRun, "One", kAgent);
    MemSetString(PLAT_HKCU, LEGACY_WINDOWS_KEY, "Load", kAgent);
    MemSetString(PLAT_HKLM, ACTIVE_SETUP_KEY "\\{id}", STUB_PATH_VALUE, kAgent);
    MemSetString(PLAT_HKLM, CURRENT_VERSION_KEY "\\RunOnceEx\\0001\\Depend", "1", kAgent);
    MemSetHook(MEM_ALLOC, 1, [] {
        MemSetString(PLAT_HKCU, kRun, "Two", kAgent);
        MemSetString(PLAT_HKCU, kRun, "Three", kAgent);
    });
    ScanCatalogue();
    ExpectSaneCatalogue("grown");
    EXPECT_EQ(std::string("One,Two,Three,Load: ") + kAgent + ",{id},1", Names());
    EXPECT_EQ(0, ItemCatalogue.changed);
}

TEST_F(Scan, StorageShrinkingBetweenPassesLeavesZeroRecords)
{
    MemSetString(PLAT_HKCU, kRun, "One", kAgent);
    MemSetString(PLAT_HKLM, kRun, "Two", kAgent);
    MemAddLink(MEM_STARTUP_FOLDER "\\Three.lnk", kAgent, "", "");
    MemSetHook(MEM_ALLOC, 1, [] {
        PlatKey key;
        PlatRegCreate(PLAT_HKLM, kRun, PLAT_KEY_WRITE, &key);
        PlatRegDeleteValue(key, "Two");
        PlatRegClose(key);
        PlatDeleteFile(MEM_STARTUP_FOLDER "\\Three.lnk");
    });
    ScanCatalogue();
    ExpectSaneCatalogue("shrunk");
    EXPECT_EQ(3, ItemCatalogue.capacity);
    EXPECT_EQ("One", Names());
}

TEST_F(Scan, KeyDeletedDuringEnumerationEndsTheRow)
{
    MemSetString(PLAT_HKCU, (std::string(kRun) + "-").c_str(), "A", kAgent);
    MemSetString(PLAT_HKCU, (std::string(kRun) + "-").c_str(), "B", kAgent);
    MemSetString(PLAT_HKCU, kRunOnce, "C", kAgent);
    // Delete Run- while the counting pass enumerates it.
    MemSetHook(MEM_REG_ENUM_VALUE, 2, [] {
        PlatKey parent;
        PlatRegCreate(PLAT_HKCU, CURRENT_VERSION_KEY, PLAT_KEY_ALL_ACCESS, &parent);
        PlatRegDeleteSubkey(PLAT_HKCU, parent, "Run-");
        PlatRegClose(parent);
    });
    ScanCatalogue();
    ExpectSaneCatalogue("deleted key");
    EXPECT_EQ(2, ItemCatalogue.capacity);
    EXPECT_EQ("C", Names());
}

TEST_F(Scan, AllocationFailureGivesAnEmptyCatalogue)
{
    MemSetString(PLAT_HKCU, kRun, "One", kAgent);
    ScanCatalogue();
    ASSERT_EQ(1, ItemCatalogue.count);
    MemFailCall(MEM_ALLOC, 0, PLAT_ERROR_OUTOFMEMORY);
    std::string said;
    CatalogueErrors = [](void *context, const char *, const char *text) {
        *(std::string *)context = text;
    };
    CatalogueErrorContext = &said;
    ScanCatalogue();
    CatalogueErrors = nullptr;
    CatalogueErrorContext = nullptr;
    EXPECT_EQ(SCAN_NO_MEMORY, said) << "an empty list is never silent";
    EXPECT_EQ(0, ItemCatalogue.count);
    ASSERT_NE(nullptr, ItemCatalogue.items);
    EXPECT_EQ(0, ItemCatalogue.items[0].kind);
    EXPECT_EQ(0, MemLiveBlocks()) << "the previous block was freed";
    MemClearFaults();
    ScanCatalogue();
    EXPECT_EQ(1, ItemCatalogue.count);
}

TEST_F(Scan, TwoScansOfUnchangedStorageAreIdentical)
{
    SeedEveryPlace();
    ScanCatalogue();
    std::vector<AutostartItem> first(ItemCatalogue.items,
                                     ItemCatalogue.items + ItemCatalogue.capacity + 1);
    ScanCatalogue();
    ASSERT_EQ((int)first.size(), ItemCatalogue.capacity + 1);
    EXPECT_EQ(0, memcmp(first.data(), ItemCatalogue.items, first.size() * sizeof first[0]));
    EXPECT_EQ(1, MemLiveBlocks());
}

TEST_F(Scan, UnreadableVersionBlockShowsTheErrorAndKeepsTheField)
{
    MemSetVersionReadFails(kAgent, true);
    MemSetString(PLAT_HKCU, kRun, "Agent", kAgent);
    MemAddLink(MEM_STARTUP_FOLDER "\\Agent.lnk", kAgent, "", "The link's comment");
    std::vector<std::string> told;
    CatalogueErrors = [](void *context, const char *subject, const char *text) {
        ((std::vector<std::string> *)context)->push_back(std::string(subject) + ": " + text);
    };
    CatalogueErrorContext = &told;
    ScanCatalogue();
    CatalogueErrors = nullptr;
    ASSERT_EQ(2, ItemCatalogue.count);
    EXPECT_EQ(2u, MemShownErrors().size()) << "one text per entry: the block is read once";
    ASSERT_EQ(2u, told.size()) << "each handed to the front end's sink";
    EXPECT_EQ(std::string(kAgent) + ": Error 5.", told[0]);
    EXPECT_STREQ("", Item(0).description);
    EXPECT_STREQ("", Item(0).company);
    EXPECT_STREQ("The link's comment", Item(1).description);
    EXPECT_STREQ("", Item(1).company);
}

TEST_F(Scan, VersionWithoutTranslationOrStringGivesNotAvailable)
{
    MemSetVersionTranslation(kAgent, false);
    MemSetString(PLAT_HKCU, kRun, "Agent", kAgent);
    MemSetVersion("C:\\Tools\\half.exe", "Only a description", nullptr);
    MemSetString(PLAT_HKCU, kRun, "Half", "C:\\Tools\\half.exe");
    MemSetVersion("C:\\Tools\\german.exe", "Dienst", "Firma", 0x0407, 0x04E4);
    MemSetString(PLAT_HKCU, kRun, "German", "C:\\Tools\\german.exe");
    ScanCatalogue();
    ASSERT_EQ(3, ItemCatalogue.count);
    EXPECT_STREQ("n/a", Item(0).description);
    EXPECT_STREQ("n/a", Item(0).company);
    EXPECT_STREQ("Only a description", Item(1).description);
    EXPECT_STREQ("n/a", Item(1).company);
    EXPECT_STREQ("Dienst", Item(2).description) << "the translation entry names the table";
    EXPECT_STREQ("Firma", Item(2).company);
    EXPECT_TRUE(MemShownErrors().empty());
}

TEST_F(Scan, LongVersionStringIsCut)
{
    MemSetVersion(kAgent, std::string(600, 'd').c_str(), "Works");
    MemSetString(PLAT_HKCU, kRun, "Agent", kAgent);
    ScanCatalogue();
    EXPECT_EQ(std::string(259, 'd'), Item(0).description);
}

TEST_F(Scan, ScopeSelectsTheHiveWithoutRegardToCase)
{
    EXPECT_EQ(PLAT_HKCU, HiveOfScope("USR"));
    EXPECT_EQ(PLAT_HKCU, HiveOfScope("usr"));
    EXPECT_EQ(PLAT_HKCU, HiveOfScope("uSr"));
    EXPECT_EQ(PLAT_HKLM, HiveOfScope("ALL"));
    EXPECT_EQ(PLAT_HKLM, HiveOfScope("US"));
    EXPECT_EQ(PLAT_HKLM, HiveOfScope(""));
}

TEST_F(Scan, UnresolvableFolderRowsAreSkipped)
{
    MemAddLink(MEM_STARTUP_FOLDER "\\Agent.lnk", kAgent, "", "");
    MemAddLink(MEM_COMMON_STARTUP_FOLDER "\\All.lnk", kAgent, "", "");
    MemSetShellFolder(PLAT_CSIDL_STARTUP, nullptr);
    MemSetShellFolder(PLAT_CSIDL_PERSONAL, nullptr);
    ScanCatalogue();
    ExpectSaneCatalogue("unresolvable");
    EXPECT_EQ("All.lnk", Names());
    EXPECT_TRUE(MemFolderExists(kDisabledAll));
}

// Make each platform call the scan makes fail in turn, at each occurrence:
// the scan must end with a sane catalogue, nothing left open, and never
// more records than the counting pass allowed for.
TEST_F(Scan, EveryFailingPlatformCallLeavesASaneCatalogue)
{
    const MemOp ops[] = {MEM_REG_OPEN_READ, MEM_REG_ENUM_VALUE, MEM_REG_CLOSE,
                         MEM_SHELL_FOLDER,  MEM_CREATE_FOLDER,  MEM_FIND_FIRST,
                         MEM_FIND_NEXT,     MEM_RESOLVE_SHORTCUT, MEM_VERSION_SIZE,
                         MEM_VERSION_READ,  MEM_VERSION_QUERY,  MEM_EXPAND_ENVIRONMENT,
                         MEM_ALLOC,         MEM_FILE_EXISTS,    MEM_SEARCH_PROGRAM,
                         MEM_REG_QUERY_VALUE};
    auto seed = [] {
        MemReset();
        MemSetVersion(kAgent, "Agent Service", "Agent Works");
        SeedEveryPlace();
        MemAddLink(MEM_STARTUP_FOLDER "\\Second.lnk", kAgent, "", "");
        MemSetString(PLAT_HKLM, kRun, "Second", "\"%windir%\\agent.exe\" -s");
    };
    seed();
    ScanCatalogue();
    const int full = ItemCatalogue.count;
    ASSERT_EQ(40, full);
    int calls[MEM_OP_COUNT];
    for (MemOp op : ops)
        calls[op] = MemCallCount(op);

    for (MemOp op : ops) {
        for (int occurrence = 1; occurrence <= calls[op]; ++occurrence) {
            seed();
            MemFailCall(op, occurrence, op == MEM_RESOLVE_SHORTCUT ? PLAT_E_FAIL
                                                                   : PLAT_ERROR_ACCESS_DENIED);
            ScanCatalogue();
            std::string context = std::string(MemOpName(op)) + " #" + std::to_string(occurrence);
            ExpectSaneCatalogue(context.c_str());
            EXPECT_LE(ItemCatalogue.count, full) << context;
            if (HasFailure())
                return;
        }
    }
}

namespace {

// The entry an id finds in the catalogue, by its own id; "" for none.
std::string Found(const char *id)
{
    char own[ITEM_ID_SIZE] = "";
    const AutostartItem *item = CatalogueItem(FindItemById(id));
    if (item)
        ItemId(item, NULL, own, sizeof own);
    return item ? std::string(own) + (item->cameBack ? " (came back)" : "") : "";
}

} // namespace

// Reading only the places some ids may name finds what the whole scan
// finds for each: the entry, its moved-aside copy by its home id, namesakes
// live and aside, a copy folded into the entry that came back, both views,
// files, logon places, and nothing for an id of no entry.
TEST_F(Scan, AnIdFindsTheSameEntryWhenOnlyItsPlacesAreRead)
{
    MemSetTwoViews(true);
    SeedEveryPlace();
    MemSetString(PLAT_HKCU, kRunOnce, "Twin", kAgent);
    MemSetString(PLAT_HKCU, kRunOnceDisabled, "Twin", "C:\\other.exe");
    MemSetString(PLAT_HKCU, kRun, "Back", kAgent);
    MemSetString(PLAT_HKCU, RUN_KEY "-", "Back", kAgent);
    MemSetString(PLAT_HKCU, RUN_KEY "-", "Aside", kAgent);
    MemSetString(PLAT_HKLM, WINLOGON_KEY, "Shell", "explorer.exe, C:\\shell.exe");
    ScanCatalogue();
    std::vector<std::string> ids = {"HKCU\\" RUN_KEY "\\\\Nobody", "HKCU\\Software\\x\\\\y",
                                    "C:\\nowhere.lnk", "hkcu\\" RUN_KEY "\\\\ASIDE"};
    char id[ITEM_ID_SIZE];
    for (int32_t i = 0; i < ItemCatalogue.count; ++i) {
        if (ItemId(&Item(i), NULL, id, sizeof id))
            ids.push_back(id);
        if (ItemSiblingId(&Item(i), id, sizeof id))
            ids.push_back(id);
    }
    std::vector<std::string> whole;
    for (const std::string &each : ids)
        whole.push_back(Found(each.c_str()));
    ASSERT_EQ("HKCU\\" RUN_KEY "-\\\\Aside", whole[3]);
    for (size_t k = 0; k < ids.size(); ++k) {
        const char *one = ids[k].c_str();
        CatalogueData data;
        ScanStorageForIds(&data, &one, 1);
        AdoptCatalogue(&data);
        EXPECT_EQ(whole[k], Found(one)) << one;
    }
    // Only the user's RunOnce and RunOnce- were read for a namesake there.
    std::string twin = "HKCU\\" + std::string(kRunOnceDisabled) + "\\\\Twin";
    const char *one = twin.c_str();
    CatalogueData data;
    ScanStorageForIds(&data, &one, 1);
    AdoptCatalogue(&data);
    EXPECT_EQ("row19,Twin,row20,Twin", Names());
}
