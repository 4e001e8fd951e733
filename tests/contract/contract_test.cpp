// contract_test.cpp - what the logic relies on from the platform interface.
//
// Compiled twice: natively against the in-memory stand-in and, in the
// 64-bit Windows build, against platform_win32.cpp under Wine. A check that
// passes on one side and fails on the other means the stand-in lies about
// Windows, and every logic test built on it would prove nothing.
//
// No check assumes an enumeration order: Wine lists values sorted by name,
// Windows in creation order.
#include "fixture.h"

#include "../../platform/platform.h"

#include <chrono>
#include <thread>
#include <gtest/gtest.h>

#include <set>
#include <string.h>
#include <string>

namespace {

const char kPoison = (char)0xCC;

class Contract : public testing::Test {
protected:
    void SetUp() override { FixtureBegin(); }
    void TearDown() override { FixtureEnd(); }
};

std::string KeyPath(const char *leaf)
{
    return std::string(CONTRACT_KEY) + "\\" + leaf;
}

PlatKey CreateKey(PlatHive hive, const std::string &path)
{
    PlatKey key = nullptr;
    EXPECT_EQ(PLAT_OK, PlatRegCreate(hive, path.c_str(), PLAT_KEY_WRITE, &key)) << path;
    EXPECT_NE(nullptr, key);
    return key;
}

void SetBytes(PlatHive hive, const std::string &path, const char *name, uint32_t type,
              const std::string &bytes)
{
    PlatKey key = CreateKey(hive, path);
    ASSERT_EQ(PLAT_OK, PlatRegSetValue(key, name, type, bytes.data(), (uint32_t)bytes.size()));
    ASSERT_EQ(PLAT_OK, PlatRegClose(key));
}

std::string Sz(const std::string &text)
{
    return std::string(text.c_str(), text.size() + 1);
}

// Reads a value back whole through the read interface.
bool ReadBack(PlatHive hive, const std::string &path, const char *name, uint32_t *type,
              std::string *bytes)
{
    PlatKey key = nullptr;
    if (PlatRegOpenRead(hive, path.c_str(), &key) != PLAT_OK)
        return false;
    uint32_t size = 0;
    long result = PlatRegQueryValue(key, name, type, nullptr, &size);
    if (result == PLAT_OK) {
        std::string buffer(size + 16, kPoison);
        uint32_t room = (uint32_t)buffer.size();
        result = PlatRegQueryValue(key, name, type, &buffer[0], &room);
        buffer.resize(room);
        *bytes = buffer;
    }
    PlatRegClose(key);
    return result == PLAT_OK;
}

} // namespace

// ---- registry ----------------------------------------------------------

TEST_F(Contract, MissingKeyDoesNotOpenForReading)
{
    PlatKey key = (PlatKey)&key;
    EXPECT_NE(PLAT_OK, PlatRegOpenRead(PLAT_HKCU, KeyPath("Absent").c_str(), &key));
    EXPECT_EQ(nullptr, key);
}

TEST_F(Contract, CreateMakesMissingKeyAndParents)
{
    for (PlatHive hive : {PLAT_HKCU, PLAT_HKLM}) {
        std::string path = KeyPath("Deep\\Run-");
        PlatKey key = CreateKey(hive, path);
        EXPECT_EQ(PLAT_OK, PlatRegClose(key));

        PlatKey readKey = nullptr;
        ASSERT_EQ(PLAT_OK, PlatRegOpenRead(hive, path.c_str(), &readKey)) << "hive " << hive;
        char name[PLAT_TEXT_SIZE];
        memset(name, kPoison, sizeof name);
        EXPECT_EQ(PLAT_ERROR_NO_MORE_ITEMS,
                  PlatRegEnumValue(readKey, 0, name, sizeof name, nullptr, nullptr, nullptr));
        EXPECT_EQ(PLAT_OK, PlatRegClose(readKey));
    }
}

TEST_F(Contract, EnumerationListsEveryValueOnceThenEnds)
{
    std::string path = KeyPath("Run");
    SetBytes(PLAT_HKCU, path, "Zeta", PLAT_REG_SZ, Sz("C:\\z.exe"));
    SetBytes(PLAT_HKCU, path, "alpha", PLAT_REG_EXPAND_SZ, Sz("%windir%\\a.exe"));
    uint32_t number = 0x12345678;
    SetBytes(PLAT_HKCU, path, "Mid", PLAT_REG_DWORD, std::string((const char *)&number, 4));

    PlatKey key = nullptr;
    ASSERT_EQ(PLAT_OK, PlatRegOpenRead(PLAT_HKCU, path.c_str(), &key));
    std::set<std::string> seen;
    uint32_t index = 0;
    for (;; ++index) {
        char name[PLAT_TEXT_SIZE];
        char data[PLAT_TEXT_SIZE];
        memset(name, kPoison, sizeof name);
        memset(data, kPoison, sizeof data);
        uint32_t type = 0xDEAD;
        uint32_t size = sizeof data;
        long result = PlatRegEnumValue(key, index, name, sizeof name, &type, data, &size);
        if (result == PLAT_ERROR_NO_MORE_ITEMS)
            break;
        ASSERT_EQ(PLAT_OK, result) << "index " << index;
        EXPECT_TRUE(seen.insert(name).second) << "listed twice: " << name;
        std::string got(data, size);
        if (std::string(name) == "Zeta") {
            EXPECT_EQ(PLAT_REG_SZ, type);
            EXPECT_EQ(Sz("C:\\z.exe"), got);
        } else if (std::string(name) == "alpha") {
            EXPECT_EQ(PLAT_REG_EXPAND_SZ, type);
            EXPECT_EQ(Sz("%windir%\\a.exe"), got);
        } else if (std::string(name) == "Mid") {
            EXPECT_EQ(PLAT_REG_DWORD, type);
            EXPECT_EQ(std::string((const char *)&number, 4), got);
        } else {
            ADD_FAILURE() << "unexpected value " << name;
        }
        ASSERT_LT(index, 10u) << "enumeration does not end";
    }
    EXPECT_EQ(3u, index);
    EXPECT_EQ(3u, seen.size());
    // The end stays the end.
    char name[PLAT_TEXT_SIZE];
    EXPECT_EQ(PLAT_ERROR_NO_MORE_ITEMS,
              PlatRegEnumValue(key, index + 1, name, sizeof name, nullptr, nullptr, nullptr));
    EXPECT_EQ(PLAT_OK, PlatRegClose(key));
}

TEST_F(Contract, CountingPassEnumeratesNamesWithoutData)
{
    std::string path = KeyPath("Run");
    SetBytes(PLAT_HKLM, path, "One", PLAT_REG_SZ, Sz("1"));
    SetBytes(PLAT_HKLM, path, "Two", PLAT_REG_SZ, Sz(std::string(4000, 'x')));
    PlatKey key = nullptr;
    ASSERT_EQ(PLAT_OK, PlatRegOpenRead(PLAT_HKLM, path.c_str(), &key));
    int counted = 0;
    char name[PLAT_TEXT_SIZE];
    while (PlatRegEnumValue(key, counted, name, sizeof name, nullptr, nullptr, nullptr)
           != PLAT_ERROR_NO_MORE_ITEMS) {
        ++counted;
        ASSERT_LT(counted, 10);
    }
    EXPECT_EQ(2, counted);
    PlatRegClose(key);
}

TEST_F(Contract, LongNameGivesMoreDataWithNameCutAndDataWhole)
{
    std::string path = KeyPath("Run");
    std::string longName(300, 'N');
    SetBytes(PLAT_HKCU, path, longName.c_str(), PLAT_REG_SZ, Sz("C:\\long.exe"));

    PlatKey key = nullptr;
    ASSERT_EQ(PLAT_OK, PlatRegOpenRead(PLAT_HKCU, path.c_str(), &key));
    char name[PLAT_TEXT_SIZE];
    char data[PLAT_TEXT_SIZE];
    memset(name, kPoison, sizeof name);
    memset(data, kPoison, sizeof data);
    uint32_t size = sizeof data;
    uint32_t type = 0xDEAD;
    EXPECT_EQ(PLAT_ERROR_MORE_DATA, PlatRegEnumValue(key, 0, name, sizeof name, &type, data, &size));
    EXPECT_EQ(std::string(259, 'N'), std::string(name));
    EXPECT_EQ(PLAT_REG_SZ, type);
    EXPECT_EQ(Sz("C:\\long.exe"), std::string(data, size));

    // Name only, as the counting pass asks.
    EXPECT_EQ(PLAT_ERROR_MORE_DATA,
              PlatRegEnumValue(key, 0, name, sizeof name, nullptr, nullptr, nullptr));
    EXPECT_EQ(PLAT_ERROR_NO_MORE_ITEMS,
              PlatRegEnumValue(key, 1, name, sizeof name, nullptr, nullptr, nullptr));
    PlatRegClose(key);
}

TEST_F(Contract, LongDataGivesMoreDataWithDataEmptyAndNameWhole)
{
    std::string path = KeyPath("Run");
    std::string text(4000, 'd');
    SetBytes(PLAT_HKCU, path, "Big", PLAT_REG_SZ, Sz(text));

    PlatKey key = nullptr;
    ASSERT_EQ(PLAT_OK, PlatRegOpenRead(PLAT_HKCU, path.c_str(), &key));
    char name[PLAT_TEXT_SIZE];
    char data[PLAT_TEXT_SIZE];
    memset(name, kPoison, sizeof name);
    memset(data, kPoison, sizeof data);
    uint32_t size = sizeof data;
    EXPECT_EQ(PLAT_ERROR_MORE_DATA, PlatRegEnumValue(key, 0, name, sizeof name, nullptr, data, &size));
    EXPECT_STREQ("Big", name);
    EXPECT_EQ(std::string(sizeof data, '\0'), std::string(data, sizeof data));
    EXPECT_GE(size, 4001u);
    PlatRegClose(key);
}

TEST_F(Contract, DataOfExactlyTheFieldSizeFitsWithoutTerminator)
{
    std::string path = KeyPath("Run");
    SetBytes(PLAT_HKCU, path, "Full", PLAT_REG_BINARY, std::string(260, 'f'));
    PlatKey key = nullptr;
    ASSERT_EQ(PLAT_OK, PlatRegOpenRead(PLAT_HKCU, path.c_str(), &key));
    char name[PLAT_TEXT_SIZE];
    char data[PLAT_TEXT_SIZE];
    uint32_t size = sizeof data;
    EXPECT_EQ(PLAT_OK, PlatRegEnumValue(key, 0, name, sizeof name, nullptr, data, &size));
    EXPECT_EQ(260u, size);
    EXPECT_EQ(std::string(260, 'f'), std::string(data, size));
    PlatRegClose(key);
}

TEST_F(Contract, ValuesReadBackByteForByte)
{
    struct Case {
        const char *name;
        uint32_t type;
        std::string bytes;
    };
    uint32_t number = 7;
    const Case cases[] = {
        {"Plain", PLAT_REG_SZ, Sz("C:\\Program Files\\Agent\\agent.exe -min")},
        {"Expand", PLAT_REG_EXPAND_SZ, Sz("%windir%\\system32\\agent.exe")},
        {"Number", PLAT_REG_DWORD, std::string((const char *)&number, 4)},
        {"Huge", PLAT_REG_SZ, Sz(std::string(4000, 'h'))},
        {"Binary", PLAT_REG_BINARY, std::string("\x01\x00\xff\x80", 4)},
        {"Empty", PLAT_REG_SZ, std::string()},
        {"", PLAT_REG_SZ, Sz("default value")},
    };
    std::string path = KeyPath("RunOnce-");
    for (const Case &c : cases)
        SetBytes(PLAT_HKLM, path, c.name, c.type, c.bytes);
    for (const Case &c : cases) {
        uint32_t type = 0xDEAD;
        std::string bytes;
        ASSERT_TRUE(ReadBack(PLAT_HKLM, path, c.name, &type, &bytes)) << c.name;
        EXPECT_EQ(c.type, type) << c.name;
        EXPECT_EQ(c.bytes, bytes) << c.name;
    }
}

TEST_F(Contract, ShortQueryBufferGivesMoreDataAndTheSize)
{
    std::string path = KeyPath("Run");
    SetBytes(PLAT_HKCU, path, "Big", PLAT_REG_SZ, Sz(std::string(600, 'q')));
    PlatKey key = nullptr;
    ASSERT_EQ(PLAT_OK, PlatRegOpenRead(PLAT_HKCU, path.c_str(), &key));
    char data[PLAT_TEXT_SIZE];
    uint32_t size = sizeof data;
    EXPECT_EQ(PLAT_ERROR_MORE_DATA, PlatRegQueryValue(key, "Big", nullptr, data, &size));
    EXPECT_GE(size, 601u);
    size = sizeof data;
    EXPECT_EQ(PLAT_ERROR_FILE_NOT_FOUND, PlatRegQueryValue(key, "Gone", nullptr, data, &size));
    PlatRegClose(key);
}

TEST_F(Contract, ValueNamesMatchWithoutCase)
{
    std::string path = KeyPath("Run");
    SetBytes(PLAT_HKCU, path, "Tool", PLAT_REG_SZ, Sz("first"));
    SetBytes(PLAT_HKCU, path, "TOOL", PLAT_REG_SZ, Sz("second"));
    uint32_t type;
    std::string bytes;
    ASSERT_TRUE(ReadBack(PLAT_HKCU, path, "tool", &type, &bytes));
    EXPECT_EQ(Sz("second"), bytes);
    PlatKey key = nullptr;
    ASSERT_EQ(PLAT_OK, PlatRegOpenRead(PLAT_HKCU, path.c_str(), &key));
    char name[PLAT_TEXT_SIZE];
    EXPECT_NE(PLAT_ERROR_NO_MORE_ITEMS,
              PlatRegEnumValue(key, 0, name, sizeof name, nullptr, nullptr, nullptr));
    EXPECT_EQ(PLAT_ERROR_NO_MORE_ITEMS,
              PlatRegEnumValue(key, 1, name, sizeof name, nullptr, nullptr, nullptr));
    PlatRegClose(key);
}

TEST_F(Contract, ReadHandleCannotChangeValues)
{
    std::string path = KeyPath("Run");
    SetBytes(PLAT_HKCU, path, "Keep", PLAT_REG_SZ, Sz("kept"));
    PlatKey key = nullptr;
    ASSERT_EQ(PLAT_OK, PlatRegOpenRead(PLAT_HKCU, path.c_str(), &key));
    EXPECT_NE(PLAT_OK, PlatRegSetValue(key, "New", PLAT_REG_SZ, "x", 2));
    EXPECT_NE(PLAT_OK, PlatRegDeleteValue(key, "Keep"));
    PlatRegClose(key);
    uint32_t type;
    std::string bytes;
    EXPECT_TRUE(ReadBack(PLAT_HKCU, path, "Keep", &type, &bytes));
    EXPECT_FALSE(ReadBack(PLAT_HKCU, path, "New", &type, &bytes));
}

TEST_F(Contract, DeleteValueThenItIsGone)
{
    std::string path = KeyPath("Run");
    SetBytes(PLAT_HKCU, path, "Tool", PLAT_REG_SZ, Sz("C:\\tool.exe"));
    SetBytes(PLAT_HKCU, path, "Other", PLAT_REG_SZ, Sz("C:\\other.exe"));
    PlatKey key = CreateKey(PLAT_HKCU, path);
    EXPECT_EQ(PLAT_OK, PlatRegDeleteValue(key, "Tool"));
    EXPECT_EQ(PLAT_ERROR_FILE_NOT_FOUND, PlatRegDeleteValue(key, "Tool"));
    EXPECT_EQ(PLAT_OK, PlatRegClose(key));
    uint32_t type;
    std::string bytes;
    EXPECT_FALSE(ReadBack(PLAT_HKCU, path, "Tool", &type, &bytes));
    EXPECT_TRUE(ReadBack(PLAT_HKCU, path, "Other", &type, &bytes));
}

// A reader that enumerates a key learns from its state whether a value
// came or went meanwhile, even when the count is the same again.
TEST_F(Contract, KeyStateChangesWithEveryWrite)
{
    std::string path = KeyPath("Run");
    SetBytes(PLAT_HKCU, path, "Tool", PLAT_REG_SZ, Sz("C:\\tool.exe"));
    PlatKey key = CreateKey(PLAT_HKCU, path);
    PlatKeyState before, after;
    ASSERT_EQ(PLAT_OK, PlatRegKeyState(key, &before));
    EXPECT_EQ(1u, before.values);
    EXPECT_EQ(0u, before.subkeys);
    // Past the clock's tick, as a writer elsewhere would be.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(PLAT_OK, PlatRegDeleteValue(key, "Tool"));
    ASSERT_EQ(PLAT_OK, PlatRegSetValue(key, "Other", PLAT_REG_SZ, "x", 2));
    ASSERT_EQ(PLAT_OK, PlatRegKeyState(key, &after));
    EXPECT_EQ(1u, after.values);
    EXPECT_NE(before.written, after.written);
    PlatRegClose(key);
}

// On 64-bit Windows the machine's two views hold different keys, and every
// call keeps to the view it names; the user's hive has one.
TEST_F(Contract, MachineViewsAreKeptApart)
{
    ASSERT_NE(0, PlatHasTwoViews());
    SetBytes(PLAT_HKLM32, KeyPath("Run"), "Only32", PLAT_REG_SZ, Sz("C:\\x86.exe"));
    SetBytes(PLAT_HKLM, KeyPath("Run"), "Only64", PLAT_REG_SZ, Sz("C:\\x64.exe"));
    uint32_t type = 0;
    std::string bytes;
    EXPECT_TRUE(ReadBack(PLAT_HKLM32, KeyPath("Run"), "Only32", &type, &bytes));
    EXPECT_EQ(Sz("C:\\x86.exe"), bytes);
    EXPECT_FALSE(ReadBack(PLAT_HKLM, KeyPath("Run"), "Only32", &type, &bytes));
    EXPECT_FALSE(ReadBack(PLAT_HKLM32, KeyPath("Run"), "Only64", &type, &bytes));
    PlatKey parent = nullptr;
    ASSERT_EQ(PLAT_OK, PlatRegCreate(PLAT_HKLM32, CONTRACT_KEY, PLAT_KEY_ALL_ACCESS, &parent));
    EXPECT_EQ(PLAT_OK, PlatRegDeleteSubkey(PLAT_HKLM32, parent, "Run"));
    EXPECT_EQ(PLAT_OK, PlatRegClose(parent));
    EXPECT_FALSE(ReadBack(PLAT_HKLM32, KeyPath("Run"), "Only32", &type, &bytes));
    EXPECT_TRUE(ReadBack(PLAT_HKLM, KeyPath("Run"), "Only64", &type, &bytes)) << "other view kept";
}

TEST_F(Contract, FilesAndProgramsAreFound)
{
    std::string file = FixtureScratch() + "\\tool.exe";
    ASSERT_TRUE(FixtureMakeFile(file, "MZ"));
    EXPECT_NE(0, PlatFileExists(file.c_str()));
    EXPECT_EQ(0, PlatFileExists(FixtureScratch().c_str())) << "a folder is not a file";
    EXPECT_EQ(0, PlatFileExists((FixtureScratch() + "\\tool").c_str()));
    char found[PLAT_TEXT_SIZE];
    memset(found, kPoison, sizeof found);
    EXPECT_EQ(0, PlatSearchProgram("orvane-no-such-program", found));
    EXPECT_STREQ("", found);
}

// Decided from the spelling alone: every form that reaches a share.
TEST_F(Contract, NetworkPathSpellings)
{
    const char *network[] = {"\\\\server\\share\\x.exe", "//server/share/x.exe",
                             "\\/server/share\\x.exe", "\\\\?\\UNC\\server\\share\\x.exe",
                             "\\\\?\\GLOBALROOT\\Device\\Mup\\server\\share\\x.exe"};
    for (const char *path : network)
        EXPECT_NE(0, PlatIsNetworkPath(path)) << path;
    const char *local[] = {"C:\\x.exe", "c:/x.exe", "\\\\?\\C:\\x.exe", "\\\\.\\C:\\x.exe", "x.exe",
                           "\\x.exe"};
    for (const char *path : local)
        EXPECT_EQ(0, PlatIsNetworkPath(path)) << path;
}

// Names fold as the system's code page folds them, beyond A-Z too.
TEST_F(Contract, UpperCaseOfTheCodePage)
{
    const unsigned char pairs[][2] = {{'a', 'A'}, {'z', 'Z'}, {'`', '`'}, {'{', '{'},
                                      {'@', '@'}, {0xE4, 0xC4}, {0xFC, 0xDC}, {0xF7, 0xF7},
                                      {0xC4, 0xC4}, {0x7F, 0x7F}};
    for (const auto &pair : pairs)
        EXPECT_EQ(pair[1], PlatUpperChar(pair[0])) << "char " << (int)pair[0];
}

// A name the code page changes is no name of its value: reported inexact,
// while its exact twin is exact; raw bytes go in and out untouched, and
// names compare by character.
TEST_F(Contract, NamesBeyondTheCodePageAndRawBytes)
{
    std::string path = KeyPath("wide");
    const std::string odd("C\0:\0\\\0x", 7); // odd length, no terminator
    ASSERT_TRUE(FixtureSetWideValue(PLAT_HKCU, path, "Client", PLAT_REG_SZ, odd));
    ASSERT_TRUE(FixtureSetWideValue(PLAT_HKCU, path, u8"\u0106lient", PLAT_REG_SZ, odd));
    PlatKey key = nullptr;
    ASSERT_EQ(PLAT_OK, PlatRegOpenRead(PLAT_HKCU, path.c_str(), &key));
    int exact = 0, inexact = 0;
    char name[PLAT_TEXT_SIZE];
    for (uint32_t i = 0; PlatRegEnumValue(key, i, name, sizeof name, nullptr, nullptr, nullptr)
                         == PLAT_OK;
         ++i)
        (PlatRegNameExact(key, i, name) ? exact : inexact)++;
    EXPECT_EQ(1, exact);
    EXPECT_EQ(1, inexact);
    char raw[16];
    memset(raw, kPoison, sizeof raw);
    uint32_t type = 0, size = sizeof raw;
    ASSERT_EQ(PLAT_OK, PlatRegReadRaw(key, "Client", &type, raw, &size));
    EXPECT_EQ(odd, std::string(raw, size));
    PlatRegClose(key);
    key = CreateKey(PLAT_HKCU, path);
    ASSERT_EQ(PLAT_OK, PlatRegWriteRaw(key, "Copy", PLAT_REG_SZ, odd.data(), 6));
    PlatRegClose(key);
    ASSERT_EQ(PLAT_OK, PlatRegOpenRead(PLAT_HKCU, path.c_str(), &key));
    size = sizeof raw;
    ASSERT_EQ(PLAT_OK, PlatRegReadRaw(key, "COPY", &type, raw, &size));
    EXPECT_EQ(odd.substr(0, 6), std::string(raw, size)) << "no terminator added";
    PlatRegClose(key);

    EXPECT_TRUE(PlatNamesEqual("M\xfcller", "M\xdcLLER"));
    EXPECT_FALSE(PlatNamesEqual("Client", "Clients"));
    unsigned char units[8];
    ASSERT_EQ(4u, PlatTextToUtf16("A\xe4", units, sizeof units));
    EXPECT_EQ(0, memcmp(units, "A\0\xe4\0", 4));
    EXPECT_EQ(1252u, PlatCodePage());

    std::string dir = FixtureScratch();
    ASSERT_TRUE(FixtureMakeWideFile(dir, "Client.lnk"));
    ASSERT_TRUE(FixtureMakeWideFile(dir, u8"\u0106lient.lnk"));
    PlatFind find = PlatFindFirst((dir + "\\*.lnk").c_str(), name);
    ASSERT_NE(nullptr, find);
    exact = inexact = 0;
    do
        (PlatFindExact(find) ? exact : inexact)++;
    while (PlatFindNext(find, name));
    PlatFindClose(find);
    EXPECT_EQ(1, exact);
    EXPECT_EQ(1, inexact);
    uint32_t loaded = 0;
    ASSERT_TRUE(FixtureMakeFile(dir + "\\whole.bin", std::string("ab\0c", 4)));
    void *block = PlatFileLoad((dir + "\\whole.bin").c_str(), &loaded);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(std::string("ab\0c", 4), std::string((const char *)block, loaded));
    PlatFree(block);
}

TEST_F(Contract, DeleteSubkeyRemovesItAndOnlyIt)
{
    for (PlatHive hive : {PLAT_HKCU, PLAT_HKLM}) {
        SetBytes(hive, KeyPath("Run-"), "Tool", PLAT_REG_SZ, Sz("C:\\tool.exe"));
        SetBytes(hive, KeyPath("RunOnce-"), "Tool", PLAT_REG_SZ, Sz("C:\\tool.exe"));
        PlatKey parent = nullptr;
        ASSERT_EQ(PLAT_OK, PlatRegCreate(hive, CONTRACT_KEY, PLAT_KEY_ALL_ACCESS, &parent));
        EXPECT_EQ(PLAT_OK, PlatRegDeleteSubkey(hive, parent, "Run-")) << "hive " << hive;
        EXPECT_NE(PLAT_OK, PlatRegDeleteSubkey(hive, parent, "Run-")) << "hive " << hive;
        EXPECT_NE(PLAT_OK, PlatRegDeleteSubkey(hive, parent, "RunServices-")) << "hive " << hive;
        EXPECT_EQ(PLAT_OK, PlatRegClose(parent));

        PlatKey key = nullptr;
        EXPECT_NE(PLAT_OK, PlatRegOpenRead(hive, KeyPath("Run-").c_str(), &key));
        EXPECT_EQ(PLAT_OK, PlatRegOpenRead(hive, KeyPath("RunOnce-").c_str(), &key));
        PlatRegClose(key);
    }
}

// ---- folders and files -------------------------------------------------

TEST_F(Contract, ShellFoldersResolveAndExist)
{
    for (int csidl : {PLAT_CSIDL_STARTUP, PLAT_CSIDL_COMMON_STARTUP, PLAT_CSIDL_PERSONAL,
                      PLAT_CSIDL_COMMON_DOCUMENTS}) {
        char path[PLAT_TEXT_SIZE];
        memset(path, kPoison, sizeof path);
        ASSERT_NE(0, PlatShellFolder(csidl, path)) << "CSIDL " << csidl;
        ASSERT_NE(nullptr, memchr(path, 0, sizeof path)) << "unterminated, CSIDL " << csidl;
        EXPECT_NE('\0', path[0]) << "CSIDL " << csidl;
        EXPECT_TRUE(FixtureFolderExists(path)) << path;
    }
}

TEST_F(Contract, CreateFolderOnlyWhereTheParentExists)
{
    std::string folder = FixtureScratch() + "\\DisabledCUStartItems";
    EXPECT_NE(0, PlatCreateFolder(folder.c_str()));
    EXPECT_TRUE(FixtureFolderExists(folder));
    EXPECT_EQ(0, PlatCreateFolder(folder.c_str())) << "exists already";
    std::string orphan = FixtureScratch() + "\\missing\\child";
    EXPECT_EQ(0, PlatCreateFolder(orphan.c_str()));
    EXPECT_FALSE(FixtureFolderExists(orphan));
}

TEST_F(Contract, FindListsEveryMatchOnce)
{
    std::string dir = FixtureScratch();
    ASSERT_TRUE(FixtureMakeFile(dir + "\\Agent.lnk", "x"));
    ASSERT_TRUE(FixtureMakeFile(dir + "\\b tool.lnk", "xyz"));
    ASSERT_TRUE(FixtureMakeFile(dir + "\\notes.txt", "x"));
    ASSERT_TRUE(FixtureMakeFolder(dir + "\\folder.lnk"));

    std::string pattern = dir + "\\*.lnk";
    std::set<std::string> seen;
    char name[PLAT_TEXT_SIZE];
    memset(name, kPoison, sizeof name);
    PlatFind find = PlatFindFirst(pattern.c_str(), name);
    ASSERT_NE(nullptr, find);
    int found = 0;
    do {
        EXPECT_TRUE(seen.insert(name).second) << "listed twice: " << name;
        EXPECT_EQ(std::string(name) == "b tool.lnk" ? 3u : name[0] == 'f' ? 0u : 1u,
                  PlatFindSize(find)) << name;
        ASSERT_LT(++found, 10);
    } while (PlatFindNext(find, name));
    PlatFindClose(find);
    EXPECT_EQ((std::set<std::string>{"Agent.lnk", "b tool.lnk", "folder.lnk"}), seen);
}

TEST_F(Contract, FindInEmptyOrMissingFolderFindsNothing)
{
    char name[PLAT_TEXT_SIZE];
    std::string empty = FixtureScratch() + "\\*.lnk";
    EXPECT_EQ(nullptr, PlatFindFirst(empty.c_str(), name));
    std::string missing = FixtureScratch() + "\\nowhere\\*.lnk";
    EXPECT_EQ(nullptr, PlatFindFirst(missing.c_str(), name));
}

TEST_F(Contract, MoveNeverReplacesAnExistingFile)
{
    std::string dir = FixtureScratch();
    ASSERT_TRUE(FixtureMakeFolder(dir + "\\DisabledAUStartItems"));
    std::string from = dir + "\\Agent.lnk";
    std::string to = dir + "\\DisabledAUStartItems\\Agent.lnk";
    ASSERT_TRUE(FixtureMakeFile(from, "enabled copy"));
    ASSERT_TRUE(FixtureMakeFile(to, "disabled copy"));

    EXPECT_EQ(0, PlatMoveFile(from.c_str(), to.c_str()));
    EXPECT_EQ("enabled copy", FixtureReadFile(from));
    EXPECT_EQ("disabled copy", FixtureReadFile(to));

    std::string free = dir + "\\DisabledAUStartItems\\Other.lnk";
    EXPECT_NE(0, PlatMoveFile(from.c_str(), free.c_str()));
    EXPECT_FALSE(FixtureFileExists(from));
    EXPECT_EQ("enabled copy", FixtureReadFile(free));
    EXPECT_EQ(0, PlatMoveFile(from.c_str(), (dir + "\\x.lnk").c_str())) << "source is gone";
}

// Replace takes the destination's name in one step; a folder is never replaced.
TEST_F(Contract, ReplaceTakesAnExistingFilesPlace)
{
    std::string dir = FixtureScratch();
    std::string from = dir + "\\r.html.new", to = dir + "\\r.html";
    ASSERT_TRUE(FixtureMakeFile(from, "new"));
    ASSERT_TRUE(FixtureMakeFile(to, "old"));
    EXPECT_NE(0, PlatReplaceFile(from.c_str(), to.c_str()));
    EXPECT_FALSE(FixtureFileExists(from));
    EXPECT_EQ("new", FixtureReadFile(to));
    ASSERT_TRUE(FixtureMakeFile(from, "again"));
    ASSERT_TRUE(FixtureMakeFolder(dir + "\\Folder"));
    EXPECT_EQ(0, PlatReplaceFile(from.c_str(), (dir + "\\Folder").c_str()));
    EXPECT_EQ("again", FixtureReadFile(from));
}

// The work inside held folders is not hindered by the holding. (That they
// cannot be renamed meanwhile holds on Windows only: Wine 8 lets a folder
// open without delete sharing be renamed.)
TEST_F(Contract, HeldFoldersLetTheWorkThrough)
{
    std::string folder = FixtureScratch() + "\\Startup";
    ASSERT_TRUE(FixtureMakeFolder(folder));
    ASSERT_TRUE(FixtureMakeFile(FixtureScratch() + "\\Agent.lnk", "x"));
    const char *folders[] = {folder.c_str()};
    PlatPlace place = nullptr;
    ASSERT_EQ(PLAT_OK, PlatPlaceHold(folders, 1, 0, &place));
    EXPECT_NE(0, PlatMoveFile((FixtureScratch() + "\\Agent.lnk").c_str(),
                              (folder + "\\Agent.lnk").c_str()));
    EXPECT_NE(0, PlatCreateFolder((folder + "\\sub").c_str()));
    EXPECT_EQ(PLAT_OK, PlatPlaceCheck(place));
    PlatPlaceRelease(place);

    std::string gone = folder + "\\none";
    const char *missing[] = {gone.c_str()};
    EXPECT_NE(PLAT_OK, PlatPlaceHold(missing, 1, 0, &place));
    EXPECT_EQ(nullptr, place);
}

TEST_F(Contract, MoveIntoMissingFolderFails)
{
    std::string from = FixtureScratch() + "\\Agent.lnk";
    ASSERT_TRUE(FixtureMakeFile(from, "x"));
    EXPECT_EQ(0, PlatMoveFile(from.c_str(), (FixtureScratch() + "\\none\\Agent.lnk").c_str()));
    EXPECT_TRUE(FixtureFileExists(from));
}

TEST_F(Contract, DeleteFileOnce)
{
    std::string path = FixtureScratch() + "\\Agent.lnk";
    ASSERT_TRUE(FixtureMakeFile(path, "x"));
    EXPECT_NE(0, PlatDeleteFile(path.c_str()));
    EXPECT_FALSE(FixtureFileExists(path));
    EXPECT_EQ(0, PlatDeleteFile(path.c_str()));
}

TEST_F(Contract, CreatedFileReplacesOldContent)
{
    std::string path = FixtureScratch() + "\\report.html";
    ASSERT_TRUE(FixtureMakeFile(path, std::string(5000, 'o')));
    PlatFile file = PlatFileCreate(path.c_str());
    ASSERT_NE(nullptr, file);
    EXPECT_NE(0, PlatFileWrite(file, "<html>\n", 7));
    EXPECT_NE(0, PlatFileWrite(file, "</html>", 7));
    EXPECT_NE(0, PlatFileClose(file));
    EXPECT_EQ("<html>\n</html>", FixtureReadFile(path));
    EXPECT_EQ(nullptr, PlatFileCreate((FixtureScratch() + "\\none\\r.html").c_str()));
}

TEST_F(Contract, FileStampGivesTheSizeOfFilesOnly)
{
    std::string path = FixtureScratch() + "\\tool.exe";
    ASSERT_TRUE(FixtureMakeFile(path, std::string(5000, 'o')));
    uint64_t size = 1, time = 1;
    EXPECT_NE(0, PlatFileStamp(path.c_str(), &size, &time));
    EXPECT_EQ(5000u, size);
    EXPECT_EQ(0, PlatFileStamp(FixtureScratch().c_str(), &size, &time)) << "a folder";
    EXPECT_EQ(0, PlatFileStamp((path + ".gone").c_str(), &size, &time));
    EXPECT_EQ(0u, size);
}

// ---- shortcuts ---------------------------------------------------------

TEST_F(Contract, ShortcutResolvesToLongTargetCommentAndArguments)
{
    std::string folder = FixtureScratch() + "\\Program Files";
    ASSERT_TRUE(FixtureMakeFolder(folder));
    std::string target = folder + "\\agent.exe";
    ASSERT_TRUE(FixtureMakeFile(target, "MZ"));
    std::string link = FixtureScratch() + "\\Agent.lnk";
    ASSERT_TRUE(FixtureMakeShortcut(link, target, "-min", "Starts the agent"));

    char resolved[PLAT_TEXT_SIZE], comment[PLAT_TEXT_SIZE], arguments[PLAT_TEXT_SIZE];
    memset(resolved, kPoison, sizeof resolved);
    memset(comment, kPoison, sizeof comment);
    memset(arguments, kPoison, sizeof arguments);
    long status = PlatResolveShortcut(nullptr, link.c_str(), PLAT_SLR_NO_UI, resolved, comment, arguments);
    EXPECT_GE(status, 0);
    EXPECT_EQ(target, std::string(resolved)) << "the long form, blanks and all";
    EXPECT_STREQ("Starts the agent", comment);
    EXPECT_STREQ("-min", arguments);
}

TEST_F(Contract, BrokenShortcutsGiveNegativeStatusAndEmptyOutputs)
{
    std::string garbage = FixtureScratch() + "\\garbage.lnk";
    std::string bytes;
    for (int i = 0; i < 512; ++i)
        bytes.push_back((char)(i * 37 + 11));
    ASSERT_TRUE(FixtureMakeFile(garbage, bytes));
    std::string empty = FixtureScratch() + "\\empty.lnk";
    ASSERT_TRUE(FixtureMakeFile(empty, ""));
    std::string missing = FixtureScratch() + "\\missing.lnk";

    for (const std::string &link : {garbage, empty, missing}) {
        char target[PLAT_TEXT_SIZE], comment[PLAT_TEXT_SIZE], arguments[PLAT_TEXT_SIZE];
        memset(target, kPoison, sizeof target);
        memset(comment, kPoison, sizeof comment);
        memset(arguments, kPoison, sizeof arguments);
        EXPECT_LT(PlatResolveShortcut(nullptr, link.c_str(), PLAT_SLR_NO_UI, target, comment, arguments), 0)
            << link;
        EXPECT_STREQ("", target) << link;
        EXPECT_STREQ("", comment) << link;
        EXPECT_STREQ("", arguments) << link;
    }
}

// ---- version information -----------------------------------------------

TEST_F(Contract, VersionStringsOfTheProbe)
{
    std::string probe = FixtureVersionProbe();
    uint32_t size = PlatVersionSize(probe.c_str());
    ASSERT_GT(size, 0u) << probe;
    std::string block(size, kPoison);
    ASSERT_NE(0, PlatVersionRead(probe.c_str(), size, &block[0]));

    const void *value = nullptr;
    uint32_t length = 0;
    ASSERT_NE(0, PlatVersionQuery(block.data(), "\\VarFileInfo\\Translation", &value, &length));
    ASSERT_GE(length, 4u);
    uint32_t translation;
    memcpy(&translation, value, 4);
    EXPECT_EQ(0x0409u, translation & 0xFFFF);
    EXPECT_EQ(0x04B0u, translation >> 16);

    ASSERT_NE(0, PlatVersionQuery(block.data(), "\\StringFileInfo\\040904B0\\FileDescription",
                                  &value, &length));
    EXPECT_STREQ("Orvane test probe", (const char *)value);
    ASSERT_NE(0, PlatVersionQuery(block.data(), "\\StringFileInfo\\040904B0\\CompanyName",
                                  &value, &length));
    EXPECT_STREQ("Orvane Test Works", (const char *)value);
    EXPECT_EQ(0, PlatVersionQuery(block.data(), "\\StringFileInfo\\040904B0\\NoSuchString",
                                  &value, &length));
    EXPECT_EQ(0, PlatVersionQuery(block.data(), "\\StringFileInfo\\040704E4\\CompanyName",
                                  &value, &length));
}

TEST_F(Contract, NoVersionResourceGivesSizeZero)
{
    std::string plain = FixtureScratch() + "\\notes.txt";
    ASSERT_TRUE(FixtureMakeFile(plain, "no resources here"));
    EXPECT_EQ(0u, PlatVersionSize(plain.c_str()));
    EXPECT_EQ(0u, PlatVersionSize((FixtureScratch() + "\\absent.exe").c_str()));
    EXPECT_EQ(0u, PlatVersionSize(""));
}

// ---- environment and memory --------------------------------------------

TEST_F(Contract, ExpansionThatFits)
{
    FixtureSetEnv("ORVANE_TOOLS", "C:\\Tools");
    char out[PLAT_TEXT_SIZE];
    memset(out, kPoison, sizeof out);
    uint32_t needed = PlatExpandEnvironment("%ORVANE_TOOLS%\\agent.exe /s", out, sizeof out);
    EXPECT_STREQ("C:\\Tools\\agent.exe /s", out);
    EXPECT_EQ(strlen("C:\\Tools\\agent.exe /s") + 1, needed);

    memset(out, kPoison, sizeof out);
    PlatExpandEnvironment("%ORVANE_UNDEFINED_NAME%\\x.exe", out, sizeof out);
    EXPECT_STREQ("%ORVANE_UNDEFINED_NAME%\\x.exe", out);
}

TEST_F(Contract, ExpansionThatDoesNotFitIsCutAndTerminated)
{
    std::string longValue = "C:\\" + std::string(300, 'v');
    FixtureSetEnv("ORVANE_LONG", longValue.c_str());
    char out[PLAT_TEXT_SIZE + 8];
    memset(out, kPoison, sizeof out);
    uint32_t needed = PlatExpandEnvironment("%ORVANE_LONG%\\agent.exe", out, PLAT_TEXT_SIZE);
    std::string whole = longValue + "\\agent.exe";
    EXPECT_EQ(whole.size() + 1, needed);
    EXPECT_EQ(whole.substr(0, PLAT_TEXT_SIZE - 1), std::string(out));
    for (size_t i = PLAT_TEXT_SIZE; i < sizeof out; ++i)
        EXPECT_EQ(kPoison, out[i]) << "written past the field at " << i;
}

TEST_F(Contract, AllocationIsZeroFilled)
{
    const size_t size = 5001 * 2128;
    unsigned char *block = (unsigned char *)PlatAllocZero(size);
    ASSERT_NE(nullptr, block);
    size_t nonzero = 0;
    for (size_t i = 0; i < size; ++i)
        nonzero += block[i] != 0;
    EXPECT_EQ(0u, nonzero);
    PlatFree(block);
}

// The scan's own thread: it runs its work with its context (the registry
// too), waits for a lock its starter holds, and the join returns only once
// it has ended.
struct ThreadWork {
    PlatLock lock;
    int ran;
    long opened;
};

static void RunThreadWork(void *context)
{
    ThreadWork *work = (ThreadWork *)context;
    PlatEnterLock(work->lock);
    PlatKey key = NULL;
    work->opened = PlatRegOpenRead(PLAT_HKCU, "Software", &key);
    if (key)
        PlatRegClose(key);
    work->ran = 1;
    PlatLeaveLock(work->lock);
}

TEST_F(Contract, AThreadRunsItsWorkAfterTheLockAndIsJoined)
{
    ThreadWork work = {PlatNewLock(), 0, -1};
    ASSERT_NE(nullptr, work.lock);
    PlatEnterLock(work.lock);
    PlatThread thread = PlatStartThread(RunThreadWork, &work);
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(0, work.ran) << "ran past the lock";
    PlatLeaveLock(work.lock);
    PlatJoinThread(thread);
    EXPECT_EQ(1, work.ran);
    EXPECT_EQ(PLAT_OK, work.opened);
    PlatFreeLock(work.lock);
}

TEST_F(Contract, ComputerAndUserNamesAreGivenCutToSize)
{
    for (int (*read)(char *, size_t) : {PlatComputerName, PlatUserName}) {
        char name[300], small[4];
        memset(small, kPoison, sizeof small);
        ASSERT_NE(0, read(name, sizeof name));
        EXPECT_NE('\0', name[0]);
        EXPECT_NE(0, read(small, 3));
        EXPECT_EQ(std::string(name).substr(0, 2), std::string(small));
        EXPECT_EQ(kPoison, small[3]) << "written past the size";
    }
}

// The time read with its offset lies between two readings of the local
// time, and the offset is one a time zone has.
TEST_F(Contract, LocalTimeComesWithItsOffsetFromUtc)
{
    PlatTime before, at, after;
    int32_t ahead = 0x7FFFFFFF;
    PlatLocalTime(&before);
    int known = PlatLocalTimeOffset(&at, &ahead);
    PlatLocalTime(&after);
    auto seconds = [](const PlatTime &t) {
        return ((((t.year * 13LL + t.month) * 32 + t.day) * 24 + t.hour) * 60 + t.minute) * 60
               + t.second;
    };
    EXPECT_LE(seconds(before), seconds(at));
    EXPECT_LE(seconds(at), seconds(after));
    ASSERT_NE(0, known);
    EXPECT_LE(-12 * 60, ahead);
    EXPECT_GE(14 * 60, ahead);
    EXPECT_EQ(0, ahead % 15) << ahead;
}

// A name a package's resources do not hold is nothing, never the reference
// itself shown as a name.
TEST_F(Contract, AnIndirectStringNoPackageHoldsGivesNothing)
{
    char text[64];
    memset(text, kPoison, sizeof text);
    EXPECT_EQ(0, PlatIndirectString("@{NoSuch.Package_1.0.0.0_x64__abcdefghjkmnp?ms-resource://"
                                     "NoSuch.Package/Resources/Name}",
                                     text, sizeof text));
    EXPECT_STREQ("", text);
}

// The switch of a startup entry holds when it was switched off as a
// FILETIME: now, shown as local time, is the clock's local time.
TEST_F(Contract, FileTimeOfNowReadsAsTheLocalTime)
{
    PlatTime before, shown, after;
    PlatLocalTime(&before);
    uint64_t now = PlatFileTimeNow();
    PlatLocalTime(&after);
    memset(&shown, kPoison, sizeof shown);
    ASSERT_NE(0, PlatFileTimeToLocal(now, &shown));
    auto minutes = [](const PlatTime &t) {
        return ((t.year * 13L + t.month) * 32L + t.day) * 1440L + t.hour * 60L + t.minute;
    };
    EXPECT_LE(minutes(before), minutes(shown));
    EXPECT_LE(minutes(shown), minutes(after));
    EXPECT_EQ(0, PlatFileTimeToLocal(0x8000000000000000ull, &shown)) << "past what Windows converts";
}
