// hostile_wine_test.cpp - a scan over storage built to hurt, under Wine:
// overlong names and data, odd value types, missing terminators, markup and
// bytes above 127, expansions past the field, broken shortcuts, and 5000
// entries. The scan must complete within its fields, the list must show
// every entry, and disabling then enabling every registry entry must give
// each value back byte for byte (or fail with the status text and keep it).
#include "../../store/store.h"
#include "../../ui/ui.h"
#include "../gui/gui_support.h"
#include "../support/store_helpers.h"
#include "wine_places.h"

#include <gtest/gtest.h>

#include <shlobj.h>
#include <string.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

const int kBulk = 5000;

struct StoredValue {
    DWORD type;
    std::string bytes;
};

// hive, key path, value name -> type and bytes, for all twenty keys.
typedef std::map<std::tuple<int, std::string, std::string>, StoredValue> Snapshot;

Snapshot TakeSnapshot()
{
    Snapshot snapshot;
    static char name[16384];
    static BYTE data[65536];
    for (const char *key : RunKeyNames) {
        for (int hive = 0; hive < 2; ++hive) {
            for (const char *suffix : {"", "-"}) {
                std::string path = std::string(CURRENT_VERSION_KEY "\\") + key + suffix;
                HKEY opened;
                if (RegOpenKeyExA(hive ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, path.c_str(), 0,
                                  KEY_QUERY_VALUE, &opened))
                    continue;
                for (DWORD index = 0;; ++index) {
                    DWORD nameLength = sizeof name, size = sizeof data, type = 0;
                    if (RegEnumValueA(opened, index, name, &nameLength, NULL, &type, data, &size))
                        break;
                    snapshot[std::make_tuple(hive, path, std::string(name, nameLength))] =
                        StoredValue{type, std::string((const char *)data, size)};
                }
                RegCloseKey(opened);
            }
        }
    }
    return snapshot;
}

void SetRaw(HKEY hive, const char *path, const std::string &name, DWORD type,
            const std::string &bytes)
{
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(hive, path, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL));
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, name.c_str(), 0, type,
                                            (const BYTE *)bytes.data(), (DWORD)bytes.size()))
        << name.substr(0, 40);
    RegCloseKey(key);
}

bool Terminated(const char *field, size_t size)
{
    return memchr(field, 0, size) != NULL;
}

// Seeds everything hostile; returns the number of entries the scan must find.
int SeedHostileStorage()
{
    const char *run = RUN_KEY;
    int entries = 0;
    auto value = [&](HKEY hive, const char *path, const std::string &name, DWORD type,
                     const std::string &bytes) {
        SetRaw(hive, path, name, type, bytes);
        ++entries;
    };
    for (int length : {259, 260, 1000})
        value(HKEY_CURRENT_USER, run, std::string(length, (char)('a' + length % 7)), REG_SZ,
              Sz("C:\\nowhere\\long-name.exe"));
    for (int size : {0, 259, 260, 261, 4000}) {
        std::string bytes = size ? std::string(size - 1, 'd') + '\0' : std::string();
        value(HKEY_CURRENT_USER, run, "Data" + std::to_string(size), REG_SZ, bytes);
    }
    value(HKEY_CURRENT_USER, run, "NoTerminator10", REG_SZ, "C:\\a.exe /");
    value(HKEY_CURRENT_USER, run, "NoTerminator260", REG_SZ, std::string(260, 'u'));
    DWORD number = 0x41424344;
    value(HKEY_LOCAL_MACHINE, run, "Dword", REG_DWORD, std::string((const char *)&number, 4));
    value(HKEY_LOCAL_MACHINE, run, "Binary", REG_BINARY, std::string("\x00\xff\x7f\x80<&>\"", 8));
    value(HKEY_LOCAL_MACHINE, run, "Multi", REG_MULTI_SZ, std::string("C:\\m.exe\0two\0\0", 14));
    value(HKEY_LOCAL_MACHINE, run, "None", REG_NONE, std::string("\x01\x02\x03", 3));
    value(HKEY_LOCAL_MACHINE, run, "<b>&amp;\"q\"%x%\xe9\xfc", REG_SZ,
          Sz("\"C:\\dir <&>\\app\xe9.exe\" %ORVANE_UNSET% & \"more\""));
    value(HKEY_LOCAL_MACHINE, run, "Expands", REG_EXPAND_SZ,
          Sz("\"%ORVANE_HOSTILE_LONG%\\app.exe\" -x"));
    SetEnvironmentVariableA("ORVANE_HOSTILE_LONG", ("C:\\" + std::string(400, 'L')).c_str());

    // RunOnceEx's entries are in its sections: one entry.
    SetRaw(HKEY_LOCAL_MACHINE, CURRENT_VERSION_KEY "\\RunOnceEx\\0001", "Step", REG_SZ,
           Sz("C:\\nowhere\\step.exe"));

    // The bulk: spread over the other keys, enabled and disabled.
    for (int i = 0; i < kBulk; ++i) {
        int place = 4 + i % 16;
        std::string key = std::string(CURRENT_VERSION_KEY "\\") + RunKeyNames[place / 4]
                          + (place % 2 ? "-" : "");
        if (std::string(RunKeyNames[place / 4]) == "RunOnceEx")
            key = std::string(CURRENT_VERSION_KEY "\\RunServices") + (place % 2 ? "-" : "");
        char name[32];
        snprintf(name, sizeof name, "Bulk %05d", i);
        value(place % 4 < 2 ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, key.c_str(), name, REG_SZ,
              Sz("\"C:\\nowhere\\bulk.exe\" -n " + std::to_string(i)));
    }

    // Shortcuts that are not what they seem.
    std::string startup = ShellFolder(CSIDL_STARTUP);
    std::string bytes;
    for (int i = 0; i < 700; ++i)
        bytes.push_back((char)(i * 131 + 7));
    HANDLE file = CreateFileA((startup + "\\random.lnk").c_str(), GENERIC_WRITE, 0, NULL,
                              CREATE_ALWAYS, 0, NULL);
    DWORD written;
    WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    CloseHandle(CreateFileA((startup + "\\empty.lnk").c_str(), GENERIC_WRITE, 0, NULL,
                            CREATE_ALWAYS, 0, NULL));
    std::string gone = "C:\\orvane-gone-target.exe";
    CopyFileA(ProbePath().c_str(), gone.c_str(), FALSE);
    MakeShortcut(startup + "\\gone.lnk", gone, "-a", "gone");
    DeleteFileA(gone.c_str());
    CreateDirectoryA((startup + "\\x.lnk").c_str(), NULL); // a folder: not listed
    return entries + 4; // the section's entry and the three files
}

void RemoveHostileShortcuts()
{
    std::string startup = ShellFolder(CSIDL_STARTUP);
    RemoveDirectoryA((startup + "\\x.lnk").c_str());
}


// Flips the stored state of every registry entry in one Apply.
void FlipEveryRegistryEntry()
{
    ScanCatalogue();
    std::vector<int32_t> desired;
    for (int i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem &item = ItemCatalogue.items[i];
        desired.push_back(item.kind == RegistryValue ? !item.enabled : item.enabled);
    }
    ApplyChanges(desired.data(), (int32_t)desired.size(), &StatusFront);
}

} // namespace

TEST(Hostile, ScanListAndRoundTripOverStorageBuiltToHurt)
{
    EmptyAllPlaces();
    RemoveHostileShortcuts();
    int expected = SeedHostileStorage();
    Snapshot before = TakeSnapshot();

    ScanCatalogue();
    ASSERT_EQ(expected, ItemCatalogue.count);
    for (int i = 0; i < ItemCatalogue.count; ++i) {
        const AutostartItem &item = ItemCatalogue.items[i];
        const char *fields[] = {item.name, item.location, item.target, item.targetFolder,
                                item.description, item.company};
        for (const char *field : fields)
            ASSERT_TRUE(Terminated(field, TEXT_FIELD_SIZE)) << "record " << i;
        ASSERT_TRUE(Terminated(item.command, COMMAND_FIELD_SIZE)) << "record " << i;
        ASSERT_TRUE(Terminated(item.parameters, COMMAND_FIELD_SIZE)) << "record " << i;
        ASSERT_TRUE(Terminated(item.scope, SCOPE_SIZE)) << "record " << i;
    }
    HWND list = MakeHiddenItemList();
    FillListView(list);
    EXPECT_EQ(expected, (int)SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    // Rows refer to the system's icons by index: 5000 rows, a few icons.
    EXPECT_LT(ImageList_GetImageCount(SmallIconList), 100);

    // Away and back again, in two Applies.
    Statuses.clear();
    FlipEveryRegistryEntry();
    FlipEveryRegistryEntry();
    Snapshot after = TakeSnapshot();
    EXPECT_EQ(before.size(), after.size());
    for (const auto &entry : before) {
        auto found = after.find(entry.first);
        ASSERT_TRUE(found != after.end())
            << "lost or moved: " << std::get<1>(entry.first) << " / "
            << std::get<2>(entry.first).substr(0, 60);
        EXPECT_EQ(entry.second.type, found->second.type) << std::get<2>(entry.first).substr(0, 60);
        EXPECT_EQ(entry.second.bytes, found->second.bytes)
            << std::get<2>(entry.first).substr(0, 60);
    }
    // The two cut names cannot move; each try says so and keeps them.
    ASSERT_FALSE(Statuses.empty());
    for (const std::string &status : Statuses)
        EXPECT_TRUE(IsApplyFailure(status)) << status;
    EXPECT_EQ(4u, Statuses.size()) << "two values that cannot move, two Applies";

    DestroyWindow(GetParent(list));
    RemoveHostileShortcuts();
    EmptyAllPlaces();
}
