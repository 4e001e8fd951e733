// reg_reader_test.cpp - the program's .reg backups read back by the program
// itself: every value the writer writes comes back with its type, bytes and
// name; anything the writer does not write is refused whole.
#include "../../store/reg_reader.h"
#include "../support/memory_platform.h"
#include "../support/store_helpers.h"

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

namespace {

struct Written {
    PlatHive hive;
    const char *path;
    std::string name;
    uint32_t type;
    std::string bytes;
    bool absent;
};

// The backup the writer makes of the values, as bytes.
std::string Backup(const std::vector<Written> &values)
{
    std::vector<BackupValue> list;
    for (const Written &w : values)
        list.push_back({w.hive, w.path, w.name.c_str(), w.type, w.bytes.data(),
                        (uint32_t)w.bytes.size(), w.absent ? 1 : 0});
    char file[TEXT_FIELD_SIZE];
    EXPECT_EQ(BackupMade, BackupValues("Test", list.data(), (int)list.size(), file));
    return MemFileBytes(file);
}

std::string Utf16(const std::string &ascii)
{
    std::string units;
    for (char c : ascii)
        units += std::string(1, c) + '\0';
    return units;
}

int Read(const std::string &bytes, RegFileContent *content, uint32_t *line)
{
    return ReadRegText((const unsigned char *)bytes.data(), (uint32_t)bytes.size(), content, line);
}

class RegReader : public testing::Test {
protected:
    void SetUp() override
    {
        MemReset();
        MemSetCodePageUtf8(true);
    }
};

TEST_F(RegReader, EveryValueTheWriterWritesComesBackExactly)
{
    const int blocks = MemLiveBlocks(); // an earlier test's catalogue
    std::string wide = std::string(600, '\x5a'); // wraps over many lines
    std::vector<Written> values = {
        {PLAT_HKCU, RUN_KEY, "Plain", PLAT_REG_SZ, MemUtf16("C:\\a \"b\".exe"), false},
        {PLAT_HKCU, RUN_KEY, "", PLAT_REG_SZ, MemUtf16("default"), false},
        {PLAT_HKCU, RUN_KEY, "Back\\slash \"quoted\" \xC5\x81\xC3\xB3" "d\xC5\xBA \xF0\x9F\x98\x80",
         PLAT_REG_EXPAND_SZ, MemUtf16("%windir%\\x.exe"), false},
        {PLAT_HKCU, RUN_KEY, "No end", PLAT_REG_SZ, MemUtf16("C:\\a.exe", false), false},
        {PLAT_HKCU, RUN_KEY, "Odd", PLAT_REG_SZ, MemUtf16("C:\\b.exe") + "x", false},
        {PLAT_HKCU, RUN_KEY, "Line\nbreak?", PLAT_REG_SZ, MemUtf16("a\r\nb"), false},
        {PLAT_HKCU, RUN_KEY, "Number", PLAT_REG_DWORD, std::string("\x78\x56\x34\x12", 4), false},
        {PLAT_HKCU, RUN_KEY, "Short number", PLAT_REG_DWORD, std::string("\x01", 1), false},
        {PLAT_HKCU, RUN_KEY, "Wide", PLAT_REG_BINARY, wide, false},
        {PLAT_HKCU, RUN_KEY, "Empty", PLAT_REG_BINARY, "", false},
        {PLAT_HKLM32, RUN_KEY, "Gone", PLAT_REG_NONE, "", true},
    };
    for (uint32_t type : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 9u, 10u, 11u, 0x20000u, 0xFFFFFFFFu})
        values.push_back({PLAT_HKLM, RUN_KEY "-", "Type " + std::to_string(type), type,
                          std::string("\x00\x01\xfe\xff", 4) + std::to_string(type), false});
    values[5].name = "Line break?"; // a line break no .reg line carries is never written
    std::string file = Backup(values);
    RegFileContent content;
    uint32_t line = 7;
    ASSERT_EQ(RegReadDone, Read(file, &content, &line)) << "line " << line;
    ASSERT_EQ((int32_t)values.size(), content.count);
    for (int32_t i = 0; i < content.count; ++i) {
        const RegFileValue &v = content.values[i];
        const Written &w = values[(size_t)i];
        SCOPED_TRACE(w.name);
        EXPECT_EQ(w.hive, v.hive);
        EXPECT_STREQ(w.path, v.path);
        EXPECT_EQ(w.name, v.name);
        EXPECT_EQ(1, v.nameExact);
        EXPECT_EQ(w.absent, v.deleted != 0);
        if (!w.absent) {
            EXPECT_EQ(w.type, v.type);
            EXPECT_EQ(w.bytes, std::string((const char *)v.data, v.size));
        }
    }
    FreeRegContent(&content);
    EXPECT_EQ(blocks, MemLiveBlocks());
}

TEST_F(RegReader, WhatTheWriterDoesNotWriteIsRefusedWhole)
{
    const int blocks = MemLiveBlocks(); // an earlier test's catalogue
    const std::string head = "\xFF\xFE" + Utf16("Windows Registry Editor Version 5.00\r\n\r\n"
                                                 "[HKEY_CURRENT_USER\\Software\\Run]\r\n");
    struct Case {
        std::string lines;
        int result;
        uint32_t line;
    } cases[] = {
        {"\"A\"=dword:0000000g\r\n", RegReadMalformed, 4},
        {"\"A\"=dword:000001\r\n", RegReadMalformed, 4},
        {"\"A\"=hex(A):00\r\n", RegReadMalformed, 4},
        {"\"A\"=hex(07):00\r\n", RegReadMalformed, 4},
        {"\"A\"=hex(100000000):00\r\n", RegReadMalformed, 4},
        {"\"A\"=hex:0A\r\n", RegReadMalformed, 4},
        {"\"A\"=qword:0807060504030201\r\n", RegReadMalformed, 4},
        {"\"A\"=\"x\"\n", RegReadMalformed, 4},
        {"\"A\"=hex:01,\\\r\n    02\r\n", RegReadMalformed, 5},
        {"\"A\"=hex:00,1\r\n", RegReadMalformed, 4},
        {"\"A\"=hex:00,\\\r\n", RegReadMalformed, 5},
        {"\"A\"=\"open\r\n", RegReadMalformed, 4},
        {"\"A\\n\"=\"x\"\r\n", RegReadMalformed, 4},
        {"\"A\"=\"x\" trailing\r\n", RegReadMalformed, 4},
        {"A=\"x\"\r\n", RegReadMalformed, 4},
        {"[HKEY_USERS\\S-1-5-18\\Run]\r\n", RegReadMalformed, 4},
        {"[HKEY_CURRENT_USER\\]\r\n", RegReadMalformed, 4},
        {"\"A\"=hex(b):01,02,03,04,05,06,07,08\r\n\"B\"=hex:\r\n\"C\"=hex:01,\\\r\n  02\r\n",
         RegReadDone, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.lines);
        RegFileContent content;
        uint32_t line = 99;
        EXPECT_EQ(c.result, Read(head + Utf16(c.lines), &content, &line));
        EXPECT_EQ(c.line, line);
        if (c.result == RegReadDone) {
            ASSERT_EQ(3, content.count);
            EXPECT_EQ(11u, content.values[0].type);
            EXPECT_EQ(std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8),
                      std::string((const char *)content.values[0].data, 8));
            EXPECT_EQ(0u, content.values[1].size);
            EXPECT_EQ(std::string("\x01\x02", 2), std::string((const char *)content.values[2].data, 2));
        }
        FreeRegContent(&content);
    }
    RegFileContent content;
    uint32_t line = 0;
    EXPECT_EQ(RegReadNotReg, Read(Utf16("Windows Registry Editor Version 5.00\r\n"), &content, &line));
    EXPECT_EQ(RegReadNotReg, Read(head.substr(0, head.size() - 1), &content, &line)) << "odd size";
    EXPECT_EQ(RegReadNotReg, Read("\xFF\xFE" + Utf16("REGEDIT4\r\n"), &content, &line));
    EXPECT_EQ(RegReadMalformed, Read("\xFF\xFE" + Utf16("Windows Registry Editor Version 5.00\r\n"
                                                        "\"A\"=\"before any key\"\r\n"),
                                     &content, &line));
    std::string large = head + std::string(REG_READ_MOST, ' ');
    EXPECT_EQ(RegReadTooLarge, Read(large, &content, &line));
    // A zero inside a name or key would cut it short: refused.
    for (const std::string &zero : {Utf16("\"Evil") + std::string(2, '\0') + Utf16("Updater\"=-\r\n"),
                                    Utf16("[HKEY_CURRENT_USER\\Run") + std::string(2, '\0') + Utf16("x]\r\n")})
        EXPECT_EQ(RegReadMalformed, Read(head + zero, &content, &line));
    // A name with a lone surrogate is read, and said not to be exact.
    std::string lone = head + Utf16("\"") + std::string("\x00\xD8", 2) + Utf16("\"=-\r\n");
    ASSERT_EQ(RegReadDone, Read(lone, &content, &line));
    EXPECT_EQ(0, content.values[0].nameExact);
    FreeRegContent(&content);
    EXPECT_EQ(blocks, MemLiveBlocks());
}

} // namespace
