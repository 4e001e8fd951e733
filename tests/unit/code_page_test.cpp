// code_page_test.cpp - on a Windows whose code page loses characters (no
// UTF-8), a name the "A" calls change is listed but never acted on, and
// values are copied as stored, whatever the code page made of their text.
#include "../../store/store.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

const char *kRun = RUN_KEY;
const char *kRunOff = RUN_KEY "-";

class CodePage : public testing::Test {
protected:
    void SetUp() override
    {
        MemReset(); // Latin-1: Ć reads as C, 日本 as ??
        Statuses.clear();
        MemSetRaw(PLAT_HKCU, kRun, "Client", PLAT_REG_SZ, MemUtf16("C:\\client.exe"));
        MemSetRaw(PLAT_HKCU, kRun, u8"\u0106lient", PLAT_REG_SZ, MemUtf16("C:\\c2.exe"));
        MemSetRaw(PLAT_HKCU, kRun, u8"\u65e5\u672c", PLAT_REG_SZ, MemUtf16("C:\\jp.exe"));
        MemSetRaw(PLAT_HKCU, kRun, "??", PLAT_REG_SZ, MemUtf16("C:\\qq.exe"));
        MemSetRaw(PLAT_HKCU, kRun, "Sync", PLAT_REG_EXPAND_SZ,
                  MemUtf16(u8"C:\\Users\\\u0141ukasz\\sync.exe"));
        MemAddFileUtf8(MEM_STARTUP_FOLDER, "Client.lnk", "plain");
        MemAddFileUtf8(MEM_STARTUP_FOLDER, u8"\u0106lient.lnk", "accented");
        ScanCatalogue();
    }
    // The row of that name read as exact (or not).
    AutostartItem *Row(const char *name, bool exact)
    {
        for (int i = 0; i < ItemCatalogue.count; ++i)
            if (strcmp(ItemCatalogue.items[i].name, name) == 0
                && !ItemCatalogue.items[i].inexact == exact)
                return &ItemCatalogue.items[i];
        return nullptr;
    }
};

} // namespace

TEST_F(CodePage, ChangedNamesAreListedAndRefusedExactOnesReachTheirOwnEntry)
{
    ASSERT_EQ(7, ItemCatalogue.count);
    for (const char *name : {"Client", "??", "Client.lnk"})
        ASSERT_TRUE(Row(name, false) && Row(name, true)) << name;
    char backup[TEXT_FIELD_SIZE];
    EXPECT_EQ(RemoveRefused, RemoveItemWithBackup(Row("??", false), backup));
    EXPECT_EQ(RemoveRefused, RemoveItemWithBackup(Row("Client.lnk", false), backup));
    EXPECT_EQ(SaveRefused, SaveItem("X", "C:\\x.exe", "", 0, EditorEdit,
                                    (int32_t)(Row("Client", false) - ItemCatalogue.items)));
    std::vector<int32_t> states = Desired({});
    states[Row("Client", false) - ItemCatalogue.items] = 0;
    ApplyChanges(states.data(), (int32_t)states.size(), &StatusFront);
    EXPECT_EQ(std::vector<std::string>{"ERROR: \"Client\": its name cannot be handled on this "
                                       "Windows; nothing was changed."},
              Statuses);
    EXPECT_EQ(5u, MemValueNamesUtf8(PLAT_HKCU, kRun).size()) << "nothing moved";
    EXPECT_EQ(2u, MemListFolder(MEM_STARTUP_FOLDER).size()) << "nothing removed";

    // The exact twins are reached: "??" is deleted, Ćlient.lnk stays.
    ASSERT_EQ(RemoveDone, RemoveItemWithBackup(Row("??", true), backup));
    EXPECT_TRUE(MemGetRaw(PLAT_HKCU, kRun, u8"\u65e5\u672c", nullptr, nullptr));
    EXPECT_FALSE(MemGetRaw(PLAT_HKCU, kRun, "??", nullptr, nullptr));
    ASSERT_EQ(RemoveDone, RemoveItemWithBackup(Row("Client.lnk", true), backup));
    EXPECT_EQ(std::vector<std::string>{u8"\u0106lient.lnk"}, MemListFolder(MEM_STARTUP_FOLDER));
}

TEST_F(CodePage, CopiesKeepTheStoredBytesAndTheFieldsStayReadOnly)
{
    // The command reads "C:\Users\Lukasz": disable and enable copy Łukasz.
    const std::string stored = MemUtf16(u8"C:\\Users\\\u0141ukasz\\sync.exe");
    Toggle({"Sync"});
    uint32_t type = 0;
    std::string raw;
    ASSERT_TRUE(MemGetRaw(PLAT_HKCU, kRunOff, "Sync", &type, &raw));
    EXPECT_EQ(stored, raw);
    EXPECT_EQ((uint32_t)PLAT_REG_EXPAND_SZ, type);
    Toggle({"Sync"});
    ASSERT_TRUE(MemGetRaw(PLAT_HKCU, kRun, "Sync", &type, &raw));
    EXPECT_EQ(stored, raw);

    // Its text cannot be written back as it is: the command is kept whole.
    ScanCatalogue();
    char file[TEXT_FIELD_SIZE], parameters[COMMAND_FIELD_SIZE];
    EXPECT_EQ(FieldsNotExact, EditFields(Row("Sync", true), file, parameters));
    EXPECT_EQ(SaveDone, SaveItem("Synced", "C:\\typed.exe", "", 0, EditorEdit,
                                 (int32_t)(Row("Sync", true) - ItemCatalogue.items)));
    ASSERT_TRUE(MemGetRaw(PLAT_HKCU, kRun, "Synced", &type, &raw));
    EXPECT_EQ(stored, raw);
}

// A program of a list that the code page changes is listed but never acted
// on (the store finds programs by their stored form); those beside it are.
TEST_F(CodePage, ListProgramsTheCodePageChangesAreListedNotActedOn)
{
    MemSetRaw(PLAT_HKLM, WINLOGON_KEY, "Userinit", PLAT_REG_SZ,
              MemUtf16(u8"C:\\WINDOWS\\system32\\userinit.exe,C:\\\u0106.exe,C:\\", false)
                  + std::string("\0\xd8", 2) + MemUtf16("x.exe,C:\\a.exe"));
    for (bool utf8 : {true, false}) {
        MemSetCodePageUtf8(utf8);
        ScanCatalogue();
        std::vector<int32_t> inexact, states = Desired({});
        for (int i = 0; i < ItemCatalogue.count; ++i)
            if (ItemCatalogue.items[i].logonPlace == LogonUserinit) {
                inexact.push_back(ItemCatalogue.items[i].inexact);
                states[i] = ItemCatalogue.items[i].windowsOwn;
            }
        EXPECT_EQ((std::vector<int32_t>{0, !utf8, 1, 0}), inexact) << utf8;
        if (utf8)
            continue;
        Statuses.clear();
        ApplyChanges(states.data(), (int32_t)states.size(), &StatusFront);
        EXPECT_EQ(2u, Statuses.size());
        for (const std::string &status : Statuses)
            EXPECT_NE(std::string::npos, status.find("cannot be handled on this Windows")) << status;
        std::string raw;
        ASSERT_TRUE(MemGetRaw(PLAT_HKLM, WINLOGON_KEY "-", "Userinit", nullptr, &raw));
        EXPECT_EQ(MemUtf16(",C:\\a.exe"), raw);
    }
}

// CleanUp keeps a key holding a name it cannot back up or reach, and says so.
TEST_F(CodePage, CleanUpKeepsKeysWithNamesItCannotCarry)
{
    MemSetRaw(PLAT_HKCU, kRunOff, u8"\u65e5", PLAT_REG_SZ, MemUtf16("C:\\j.exe"));
    MemSetRaw(PLAT_HKLM, kRunOff, "Line\nBreak", PLAT_REG_SZ, MemUtf16("C:\\l.exe"));
    MemSetRaw(PLAT_HKLM32, kRunOff, "Fine", PLAT_REG_SZ, MemUtf16("C:\\f.exe"));
    ScanCatalogue();
    char backup[TEXT_FIELD_SIZE];
    EXPECT_EQ(RemoveNameNotCarried, RemoveItemWithBackup(Row("Line\nBreak", true), backup));
    std::vector<int32_t> states = Desired({});
    CleanUpDisabled(states.data(), (int32_t)states.size(), &StatusFront);
    EXPECT_TRUE(MemKeyExists(PLAT_HKCU, kRunOff));
    EXPECT_TRUE(MemKeyExists(PLAT_HKLM, kRunOff));
    EXPECT_FALSE(MemKeyExists(PLAT_HKLM32, kRunOff));
    ASSERT_EQ(1u, Statuses.size());
    EXPECT_EQ(0u, Statuses[0].find("Deleted 1 disabled entry; backup: ")) << Statuses[0];
    EXPECT_NE(std::string::npos,
              Statuses[0].find("Kept HKLM\\" CURRENT_VERSION_KEY "\\Run-: a name in it"));
    EXPECT_NE(std::string::npos,
              Statuses[0].find("Kept HKCU\\" CURRENT_VERSION_KEY "\\Run-: a name in it"));
}
