// backups_test.cpp - Remove and CleanUp save what they delete first: the
// .reg text byte for byte, the shortcut's copy, and every failing call of
// the backup leaving everything in place.
#include "../../store/store.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char *kRunOff = RUN_KEY "-";
#define BACKUPS MEM_PERSONAL_FOLDER "\\" BACKUP_FOLDER

class Backups : public testing::Test {
protected:
    void SetUp() override
    {
        MemReset();
        Statuses.clear();
    }
};

void CleanUp()
{
    ScanCatalogue();
    std::vector<int32_t> states = Desired({});
    CleanUpDisabled(states.data(), (int32_t)states.size(), &StatusFront);
}

} // namespace

// Every type as the registry editor writes it; names and strings escaped.
TEST_F(Backups, CleanUpWritesEveryValueAsTheRegistryEditorReadsIt)
{
    MemSetString(PLAT_HKCU, kRunOff, "Say \"hi\"\\=\xe4", "C:\\a \"b\"\\c.exe");
    MemSetString(PLAT_HKCU, kRunOff, "Expand", "%windir%\\x", PLAT_REG_EXPAND_SZ);
    MemSetValue(PLAT_HKCU, kRunOff, "Dword", PLAT_REG_DWORD, std::string("\x78\x56\x34\x12", 4));
    MemSetValue(PLAT_HKLM32, kRunOff, "Binary", PLAT_REG_BINARY, std::string("\x00\xff", 2));
    MemSetValue(PLAT_HKLM, kRunOff, "Multi", PLAT_REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    MemSetValue(PLAT_HKLM, kRunOff, "Unterminated", PLAT_REG_SZ, std::string("ab", 2));
    MemSetValue(PLAT_HKLM, kRunOff, "", PLAT_REG_SZ, std::string("d\0", 2));
    CleanUp();
    const std::string expected =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run-]\r\n"
        "\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
        "\"Unterminated\"=hex(1):61,00,62,00\r\n"
        "@=\"d\"\r\n"
        "\r\n[HKEY_LOCAL_MACHINE\\Software\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Run-]\r\n"
        "\"Binary\"=hex:00,ff\r\n"
        "\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run-]\r\n"
        "\"Say \\\"hi\\\"\\\\=\xe4\"=\"C:\\\\a \\\"b\\\"\\\\c.exe\"\r\n"
        "\"Expand\"=hex(2):25,00,77,00,69,00,6e,00,64,00,69,00,72,00,25,00,5c,00,78,00,00,\\\r\n"
        "  00\r\n"
        "\"Dword\"=dword:12345678\r\n"
        "\r\n";
    EXPECT_EQ(expected, RegText(MemFileBytes(BACKUPS "\\CleanUp 2026-12-07 130509.reg")));
    EXPECT_FALSE(MemKeyExists(PLAT_HKLM32, kRunOff));
}

TEST_F(Backups, LongDataWrapsAsTheRegistryEditorWrapsIt)
{
    MemSetValue(PLAT_HKCU, kRunOff, "Long", PLAT_REG_BINARY, std::string(4000, '\x5a'));
    CleanUp();
    std::string text = RegText(MemFileBytes(BACKUPS "\\CleanUp 2026-12-07 130509.reg"));
    size_t start = text.find("\"Long\"=hex:");
    ASSERT_NE(std::string::npos, start);
    size_t pairs = 0, longest = 0, line = 0;
    for (size_t i = start; i < text.size() && text.compare(i, 4, "\r\n\r\n") != 0; ++i) {
        if (text.compare(i, 2, "5a") == 0)
            ++pairs;
        line = text[i] == '\n' ? 0 : line + 1;
        longest = line > longest ? line : longest;
    }
    EXPECT_EQ(4000u, pairs);
    EXPECT_LE(longest, 80u);
}

// Each call of the backup fails in turn: then nothing is deleted and the
// status says so; no half-written backup is left behind.
TEST_F(Backups, NothingIsDeletedWithoutAWholeBackup)
{
    const MemOp ops[] = {MEM_SHELL_FOLDER,   MEM_FILE_CREATE,    MEM_FILE_WRITE,
                         MEM_FILE_CLOSE,     MEM_REG_OPEN_READ,  MEM_REG_ENUM_VALUE,
                         MEM_REG_QUERY_VALUE, MEM_ALLOC,         MEM_COPY_FILE,
                         MEM_FILE_LOAD,      MEM_REG_NAME_EXACT};
    for (MemOp op : ops) {
        // Allocations run on into the read-back of the backup.
        for (int occurrence = 1; occurrence <= (op == MEM_ALLOC ? 12 : 3); ++occurrence) {
            MemReset();
            Statuses.clear();
            MemSetString(PLAT_HKCU, kRunOff, "Off", "C:\\off.exe");
            MemSetString(PLAT_HKCU, RUN_KEY, "On", "C:\\on.exe");
            MemAddLink(MEM_STARTUP_FOLDER "\\Link.lnk", "C:\\l.exe", "", "");
            ScanCatalogue();
            std::vector<int32_t> states = Desired({});
            MemResetCounts();
            MemFailCall(op, occurrence);
            std::string context = std::string(MemOpName(op)) + " #" + std::to_string(occurrence);
            CleanUpDisabled(states.data(), (int32_t)states.size(), &StatusFront);
            bool cleaned = !MemValueExists(PLAT_HKCU, kRunOff, "Off");
            bool backed =
                RegText(MemFileBytes(BACKUPS "\\CleanUp 2026-12-07 130509.reg")).find("\"Off\"")
                != std::string::npos;
            EXPECT_TRUE(!cleaned || backed) << context << ": cleaned without a backup";
            ASSERT_EQ(1u, Statuses.size()) << context;
            EXPECT_EQ(cleaned, Statuses[0].rfind("Deleted 1 ", 0) == 0) << context;

            char backup[TEXT_FIELD_SIZE];
            for (int i = 0; i < ItemCatalogue.count; ++i) {
                const AutostartItem *item = &ItemCatalogue.items[i];
                if (item->enabled == 0)
                    continue;
                MemResetCounts();
                int result = RemoveItemWithBackup(item, backup);
                bool gone = item->kind == RegistryValue ? !MemValueExists(PLAT_HKCU, RUN_KEY, "On")
                                                        : !MemFileExists(item->location);
                EXPECT_EQ(result == RemoveDone, gone) << context << " " << item->name;
                if (gone) {
                    EXPECT_TRUE(MemFileExists(backup)) << context << " " << item->name;
                }
            }
            EXPECT_EQ(0, MemOpenKeys()) << context;
            EXPECT_EQ(0, MemOpenFiles()) << context;
        }
    }
}

TEST_F(Backups, RemovedShortcutIsCopiedUnderADatedName)
{
    MemAddLink(MEM_STARTUP_FOLDER "\\Agent.lnk", "C:\\a.exe", "-x", "c");
    MemAddFile(BACKUPS "\\Removed 2026-12-07 130509 Agent.lnk", "an earlier one");
    std::string link = MemFileBytes(MEM_STARTUP_FOLDER "\\Agent.lnk");
    ScanCatalogue();
    char backup[TEXT_FIELD_SIZE];
    ASSERT_EQ(RemoveDone, RemoveItemWithBackup(&ItemCatalogue.items[0], backup));
    EXPECT_STREQ(BACKUPS "\\Removed 2026-12-07 130509 (2) Agent.lnk", backup);
    EXPECT_FALSE(MemFileExists(MEM_STARTUP_FOLDER "\\Agent.lnk"));
    EXPECT_EQ("an earlier one", MemFileBytes(BACKUPS "\\Removed 2026-12-07 130509 Agent.lnk"));
    EXPECT_EQ(link, MemFileBytes(backup));
}

// Another program rewrites the file after its copy was made: the new file
// is in no backup, so it stays, and the cause is said.
TEST_F(Backups, AFileRewrittenAfterItsCopyIsKept)
{
    MemAddFile(MEM_STARTUP_FOLDER "\\agent.cmd", "old");
    ScanCatalogue();
    MemSetHook(MEM_COPY_FILE, 1, [] {
        MemSetHook(MEM_FILE_LOAD, MemCallCount(MEM_FILE_LOAD) + 1,
                   [] { MemAddFile(MEM_STARTUP_FOLDER "\\agent.cmd", "new"); });
    });
    char backup[TEXT_FIELD_SIZE];
    ASSERT_EQ(RemoveDeleteFailed, RemoveItemWithBackup(&ItemCatalogue.items[0], backup));
    EXPECT_STREQ("another program changed it since the list was read", CauseText(LastStoreError()));
    EXPECT_EQ("new", MemFileBytes(MEM_STARTUP_FOLDER "\\agent.cmd"));
    EXPECT_EQ("old", MemFileBytes(backup));
}

// A .reg backup changed on the disk before it is read back (a value's data
// replaced, names intact) is no backup: nothing is deleted.
TEST_F(Backups, ABackupChangedBeforeItIsReadBackDeletesNothing)
{
    MemSetString(PLAT_HKCU, RUN_KEY, "Agent", "C:\\a.exe");
    ScanCatalogue();
    MemSetHook(MEM_FILE_LOAD, MemCallCount(MEM_FILE_LOAD) + 1, [] {
        for (const std::string &name : MemListFolder(BACKUPS)) {
            std::string path = std::string(BACKUPS) + "\\" + name, bytes = MemFileBytes(path.c_str());
            size_t at = bytes.find(std::string("a\0.\0e\0x\0e", 9));
            if (at != std::string::npos) {
                bytes[at] = 'X';
                MemAddFile(path.c_str(), bytes);
            }
        }
    });
    char backup[TEXT_FIELD_SIZE];
    EXPECT_EQ(RemoveBackupFailed, RemoveItemWithBackup(&ItemCatalogue.items[0], backup));
    EXPECT_TRUE(MemValueExists(PLAT_HKCU, RUN_KEY, "Agent"));
}

// A hidden file's backup is seen in Explorer; a read-only file that cannot
// be deleted says so, not that rights are missing.
TEST_F(Backups, RemovedFilesCopyIsPlainAndReadOnlyIsTheCause)
{
    MemAddFile(MEM_STARTUP_FOLDER "\\hidden.cmd", "@echo off");
    MemSetHidden(MEM_STARTUP_FOLDER "\\hidden.cmd");
    MemSetReadOnly(MEM_STARTUP_FOLDER "\\hidden.cmd");
    ScanCatalogue();
    char backup[TEXT_FIELD_SIZE];
    ASSERT_EQ(RemoveDeleteFailed, RemoveItemWithBackup(&ItemCatalogue.items[0], backup));
    EXPECT_STREQ("the file is read-only", CauseText(LastStoreError()));
    EXPECT_EQ(0u, PlatFileAttributes(backup) & (PLAT_FILE_HIDDEN | PLAT_FILE_READONLY));
    EXPECT_TRUE(MemFileExists(MEM_STARTUP_FOLDER "\\hidden.cmd"));
}

// The disabled rows of the other logon places stay where they wait: the
// question counts what is deleted, the Run family's "-" keys, and a hidden
// Depend DLL keeps no key whole.
TEST_F(Backups, CleanUpCountsAndDeletesOnlyTheRunFamily)
{
    const char *sectionOff = CURRENT_VERSION_KEY "\\RunOnceEx-\\0001";
    const std::string dependOff = std::string(sectionOff) + "\\Depend";
    struct Kept {
        PlatHive hive;
        std::string key;
        const char *value;
    } kept[] = {{PLAT_HKLM, WINLOGON_KEY "-", "Userinit"},
                {PLAT_HKLM, WINLOGON_KEY "-", "Shell"},
                {PLAT_HKCU, WINLOGON_KEY "-", "Shell"},
                {PLAT_HKLM, ACTIVE_SETUP_KEY "-\\{id}", STUB_PATH_VALUE},
                {PLAT_HKCU, ENVIRONMENT_KEY "-", LOGON_SCRIPT_VALUE},
                {PLAT_HKLM, dependOff, "1"},
                {PLAT_HKLM, RDPWD_KEY "-", "StartupPrograms"},
                {PLAT_HKCU, LEGACY_WINDOWS_KEY "-", "Load"}};
    for (const Kept &k : kept)
        MemSetString(k.hive, k.key.c_str(), k.value, ", C:\\x.exe");
    MemSetString(PLAT_HKLM, sectionOff, "Step", "C:\\y.exe");
    MemSetString(PLAT_HKCU, kRunOff, "Off", "C:\\y.exe");
    ScanCatalogue();
    std::vector<int32_t> states = Desired({}), hidden;
    for (int i = 0; i < ItemCatalogue.count; ++i)
        hidden.push_back(ItemCatalogue.items[i].logonPlace == LogonDepend);
    CleanUpCount what;
    CountCleanUpShown(&what, hidden.data(), (int32_t)hidden.size());
    EXPECT_EQ(1, what.user);
    EXPECT_EQ(1, what.machine);
    EXPECT_EQ(0, what.hiddenPlaces);
    EXPECT_STREQ("RunOnceEx-, Run-", what.places);
    CleanUpDisabledShown(states.data(), hidden.data(), (int32_t)states.size(), &StatusFront);
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_EQ(0u, Statuses[0].find("Deleted 2 disabled entries; backup: ")) << Statuses[0];
    EXPECT_FALSE(MemValueExists(PLAT_HKCU, kRunOff, "Off"));
    EXPECT_FALSE(MemValueExists(PLAT_HKLM, sectionOff, "Step"));
    for (const Kept &k : kept)
        EXPECT_TRUE(MemValueExists(k.hive, k.key.c_str(), k.value)) << k.key;
}

// What a quoted line cannot give back goes as hex of its own type (the
// type in hexadecimal), and an escaped name moves where the data wraps.
TEST_F(Backups, ValuesAQuotedLineCannotCarryGoAsHex)
{
    MemSetValue(PLAT_HKCU, kRunOff, "Broken", PLAT_REG_SZ, std::string("a\r\0", 3));
    MemSetValue(PLAT_HKCU, kRunOff, "Short", PLAT_REG_DWORD, std::string("\x01\x02\x03", 3));
    MemSetValue(PLAT_HKCU, kRunOff, "Quad", 11, std::string(8, '\x11'));
    MemSetValue(PLAT_HKCU, kRunOff, "a\"b\\c", PLAT_REG_BINARY, std::string(22, '\0'));
    CleanUp();
    std::string pairs;
    for (int i = 0; i < 21; ++i)
        pairs += "00,";
    const std::string expected =
        "Windows Registry Editor Version 5.00\r\n"
        "\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run-]\r\n"
        "\"Broken\"=hex(1):61,00,0d,00,00,00\r\n"
        "\"Short\"=hex(4):01,02,03\r\n"
        "\"Quad\"=hex(b):11,11,11,11,11,11,11,11\r\n"
        "\"a\\\"b\\\\c\"=hex:" + pairs + "\\\r\n  00\r\n"
        "\r\n";
    EXPECT_EQ(expected, RegText(MemFileBytes(BACKUPS "\\CleanUp 2026-12-07 130509.reg")));
}

// A section of "RunOnceEx-" emptied goes, its title counted apart; one that
// still holds a key stays, and with it "RunOnceEx-".
TEST_F(Backups, CleanUpDeletesEachEmptiedRunOnceExSection)
{
    const std::string off = CURRENT_VERSION_KEY "\\RunOnceEx-";
    for (const char *section : {"\\0001", "\\0002"}) {
        MemSetString(PLAT_HKLM, (off + section).c_str(), "", "Title");
        MemSetString(PLAT_HKLM, (off + section).c_str(), "1", "C:\\step.exe");
    }
    MemCreateKey(PLAT_HKLM, (off + "\\0001\\Depend").c_str());
    CleanUp();
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_EQ("Deleted 2 disabled entries and 2 settings of RunOnceEx-; backup: " BACKUPS
              "\\CleanUp 2026-12-07 130509.reg.",
              Statuses[0]);
    EXPECT_FALSE(MemKeyExists(PLAT_HKLM, (off + "\\0002").c_str()));
    EXPECT_TRUE(MemKeyExists(PLAT_HKLM, (off + "\\0001\\Depend").c_str()));
    EXPECT_NE(std::string::npos,
              RegText(MemFileBytes(BACKUPS "\\CleanUp 2026-12-07 130509.reg"))
                  .find("RunOnceEx-\\0002]\r\n@=\"Title\"\r\n\"1\"=\"C:\\\\step.exe\"\r\n"));
}

// Entries kept in two places for one cause are one sentence.
TEST_F(Backups, KeptEntriesOfOneCauseAreCountedTogether)
{
    MemSetString(PLAT_HKLM, kRunOff, "A", "C:\\a.exe");
    MemSetString(PLAT_HKLM, CURRENT_VERSION_KEY "\\RunOnce-", "B", "C:\\b.exe");
    ScanCatalogue();
    MemDenyWrites(PLAT_HKLM, true);
    std::vector<int32_t> states = Desired({});
    CleanUpDisabled(states.data(), (int32_t)states.size(), &StatusFront);
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_EQ("Nothing was deleted; backup: " BACKUPS "\\CleanUp 2026-12-07 130509.reg. 2 disabled "
              "entries of all users were kept: administrator rights are needed.",
              Statuses[0]);
}
