// backups_wine_test.cpp - a CleanUp backup imported by the real registry
// editor (regedit /s) brings every removed value back, type and bytes.
#include "../support/store_helpers.h"
#include "wine_places.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

const char *kRunOff = RUN_KEY "-";

} // namespace

TEST(WineBackups, RegistryEditorImportsEveryRemovedValueWhole)
{
    EmptyAllPlaces();
    std::string binary;
    for (int i = 0; i < 256; ++i)
        binary.push_back((char)i);
    const struct {
        HKEY hive;
        REGSAM view;
        std::string name;
        DWORD type;
        std::string bytes;
    } values[] = {
        {HKEY_CURRENT_USER, 0, "Plain", REG_SZ, std::string("C:\\probe.exe -x\0", 16)},
        {HKEY_CURRENT_USER, 0, "Expand", REG_EXPAND_SZ, std::string("%windir%\\x.exe\0", 15)},
        {HKEY_CURRENT_USER, 0, "Dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4)},
        {HKEY_CURRENT_USER, 0, "Binary", REG_BINARY, binary},
        {HKEY_CURRENT_USER, 0, "Multi", REG_MULTI_SZ, std::string("a\0b c\0\0", 7)},
        {HKEY_CURRENT_USER, 0, "Long", REG_SZ, std::string(3999, 'L') + '\0'},
        {HKEY_CURRENT_USER, 0, "Say \"hi\" \\ = \xe4\xfc", REG_SZ, std::string("q\"\\\0", 4)},
        {HKEY_LOCAL_MACHINE, KEY_WOW64_32KEY, "Old32", REG_SZ, std::string("C:\\x86.exe\0", 11)},
    };
    for (const auto &v : values)
        ASSERT_TRUE(SetBytes(v.hive, kRunOff, v.name.c_str(), v.type, v.bytes, v.view)) << v.name;

    ScanCatalogue();
    std::vector<int32_t> states(ItemCatalogue.count, 0);
    ASSERT_EQ(0, CleanUpDisabled(states.data(), (int32_t)states.size(), &StatusFront));
    const std::string LastStatus = Statuses.back();
    const std::string saved = "Deleted 8 disabled entries; backup: ";
    ASSERT_EQ(saved, LastStatus.substr(0, saved.size())) << LastStatus;
    std::string file = LastStatus.substr(saved.size(), LastStatus.size() - saved.size() - 1);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kRunOff));
    EXPECT_EQ("<absent>", ValueBytes(HKEY_LOCAL_MACHINE, kRunOff, "Old32", NULL, KEY_WOW64_32KEY));

    EXPECT_EQ(0u, RunRegedit(file));
    for (const auto &v : values) {
        DWORD type = 0;
        EXPECT_EQ(v.bytes, ValueBytes(v.hive, kRunOff, v.name.c_str(), &type, v.view)) << v.name;
        EXPECT_EQ(v.type, type) << v.name;
    }
    DeleteFileA(file.c_str());
    EmptyAllPlaces();
}
