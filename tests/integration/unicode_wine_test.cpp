// unicode_wine_test.cpp - names and commands beyond any ANSI code page,
// seeded with the wide calls: every operation acts on the right entry only,
// copies type and bytes exactly, and the registry editor restores every
// removed value as it was. The program runs in UTF-8 (its manifest).
#include "../../store/store.h"
#include "../support/store_helpers.h"
#include "wine_places.h"

#include <gtest/gtest.h>

#include <shlobj.h>

#include <string.h>

#include <map>
#include <string>

namespace {

const char *kRun = RUN_KEY;
const char *kRunOff = RUN_KEY "-";

std::string Utf16(const wchar_t *text, bool terminated = true)
{
    std::string bytes((const char *)text, wcslen(text) * 2);
    if (terminated)
        bytes.append(2, '\0');
    return bytes;
}

struct Stored {
    DWORD type;
    std::string bytes;
};
typedef std::map<std::wstring, Stored> KeyContent;

// Every value of the key, by its exact wide name.
KeyContent Content(const char *path)
{
    KeyContent content;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return content;
    for (DWORD i = 0;; ++i) {
        wchar_t name[512];
        DWORD length = 512, type = 0, size = 0;
        if (RegEnumValueW(key, i, name, &length, NULL, &type, NULL, &size) != ERROR_SUCCESS)
            break;
        std::string bytes(size, '\0');
        RegQueryValueExW(key, name, NULL, &type, (BYTE *)&bytes[0], &size);
        content[name] = Stored{type, bytes};
    }
    RegCloseKey(key);
    return content;
}

bool operator==(const Stored &a, const Stored &b)
{
    return a.type == b.type && a.bytes == b.bytes;
}

void PrintTo(const Stored &value, std::ostream *out)
{
    *out << "type " << value.type << ", " << value.bytes.size() << " bytes:";
    for (unsigned char c : value.bytes)
        *out << ' ' << std::hex << (int)c << std::dec;
}

void Seed(const char *path, const KeyContent &content)
{
    for (const auto &value : content)
        ASSERT_TRUE(SetWide(HKEY_CURRENT_USER, path, value.first.c_str(), value.second.type,
                            value.second.bytes));
}

std::string BackupOf(const std::string &status, const std::string &lead)
{
    EXPECT_EQ(lead, status.substr(0, lead.size())) << status;
    return status.substr(lead.size(), status.size() - lead.size() - (status.back() == '.'));
}

// The record of that name in that place (names repeat across places).
const AutostartItem *ItemAt(const char *name, const char *location)
{
    for (int i = 0; i < ItemCatalogue.count; ++i)
        if (strcmp(ItemCatalogue.items[i].name, name) == 0
            && strstr(ItemCatalogue.items[i].location, location))
            return &ItemCatalogue.items[i];
    return nullptr;
}

} // namespace

TEST(WineUnicode, EveryOperationActsOnTheRightEntryWithItsExactBytes)
{
    EmptyAllPlaces();
    Statuses.clear();
    ASSERT_EQ(65001u, GetACP()) << "the manifest's UTF-8 code page";
    const KeyContent run = {
        {L"Client", {REG_SZ, Utf16(L"C:\\client.exe")}},
        {L"\u0106lient", {REG_SZ, Utf16(L"C:\\Users\\\u0141ukasz\\AppData\\Local\\sync.exe")}},
        {L"\u65e5\u672c", {REG_SZ, Utf16(L"C:\\\u0414\u0430\u0448\u0430\\app.exe")}},
        {L"??", {REG_SZ, Utf16(L"C:\\qq.exe")}},
        {L"Emoji", {REG_EXPAND_SZ, Utf16(L"%windir%\\\U0001F600.exe")}},
        {L"NoTerm", {REG_SZ, Utf16(L"C:\\a.exe", false)}},
        {L"Odd", {REG_SZ, Utf16(L"C:\\b.exe", false) + "x"}},
    };
    const KeyContent off = {
        {L"Client", {REG_SZ, Utf16(L"C:\\off.exe")}},
        {L"\u0106lient", {REG_SZ, Utf16(L"C:\\\u0106off.exe")}},
        {L"\u65e5\u672c", {REG_SZ, Utf16(L"C:\\\u65e5off.exe")}},
        {L"??", {REG_SZ, Utf16(L"C:\\qoff.exe")}},
    };
    Seed(kRun, run);
    Seed(kRunOff, off);
    const std::string startup = ShellFolder(CSIDL_STARTUP);
    ASSERT_TRUE(MakeShortcut(startup + "\\Client.lnk", ProbePath(), "", ""));
    ASSERT_TRUE(MakeShortcut(startup + u8"\\\u0106lient.lnk", ProbePath(), "", ""));

    // A namesake in Run- is the same program written back: one row, its
    // copy disabled here found by its exact name.
    ScanCatalogue();
    ASSERT_EQ(9, ItemCatalogue.count);
    for (int i = 0; i < ItemCatalogue.count; ++i)
        EXPECT_TRUE(ItemActionable(&ItemCatalogue.items[i])) << ItemCatalogue.items[i].name;
    EXPECT_STREQ(u8"C:\\\u0106off.exe", ItemAt(u8"\u0106lient", kRun)->cameBackCommand);
    EXPECT_STREQ(u8"C:\\\u65e5off.exe", ItemAt(u8"\u65e5\u672c", kRun)->cameBackCommand);

    // Disabling Ćlient keeps both copies, byte for byte, and switches its
    // exact name off in Windows' settings (the namesake Client's untouched).
    Toggle({u8"\u0106lient"});
    EXPECT_TRUE(Statuses.empty()) << Statuses[0];
    EXPECT_EQ(run, Content(kRun));
    EXPECT_EQ(off, Content(kRunOff));
    EXPECT_EQ('\x03', WideBytes(HKEY_CURRENT_USER, APPROVED_KEY "\\Run", L"\u0106lient")[0]);
    EXPECT_EQ("<absent>", ValueBytes(HKEY_CURRENT_USER, APPROVED_KEY "\\Run", "Client"));
    Statuses.clear();

    // Remove takes exactly the named one, from Run- and from the folder.
    char backup[TEXT_FIELD_SIZE];
    ScanCatalogue();
    AutostartItem copy;
    ASSERT_TRUE(CameBackCopy(ItemAt("??", kRun), &copy));
    ASSERT_EQ(RemoveDone, RemoveItemWithBackup(&copy, backup));
    std::string removedQ = backup;
    ASSERT_EQ(RemoveDone, RemoveItemWithBackup(ItemAt(u8"\u0106lient.lnk", "\\"), backup));
    EXPECT_TRUE(FileExists(startup + "\\Client.lnk"));
    EXPECT_FALSE(FileExists(startup + u8"\\\u0106lient.lnk"));
    KeyContent offNow = off;
    offNow.erase(L"??");
    EXPECT_EQ(offNow, Content(kRunOff));

    // Disable and enable copy every byte: a look-alike, an emoji, no
    // terminator, an odd length; Client and 日本's namesakes stay put.
    Toggle({"Emoji", "NoTerm", "Odd"});
    Toggle({"Emoji", "NoTerm", "Odd"});
    EXPECT_EQ(run, Content(kRun));
    EXPECT_TRUE(Statuses.empty()) << Statuses[0];

    // An edit that keeps the command moves 日本 whole under its new name.
    ScanCatalogue();
    int japan = IndexOf(u8"\u65e5\u672c");
    char file[TEXT_FIELD_SIZE], parameters[COMMAND_FIELD_SIZE];
    EditFields(&ItemCatalogue.items[japan], file, parameters);
    ASSERT_EQ(SaveDone, SaveItem(u8"\u65e5\u672c\u8a9e", file, parameters, 0, EditorEdit, japan));
    KeyContent runNow = run;
    runNow[L"\u65e5\u672c\u8a9e"] = runNow[L"\u65e5\u672c"];
    runNow.erase(L"\u65e5\u672c");
    EXPECT_EQ(runNow, Content(kRun));

    // Disabled Emoji and the rest of Run- go into one CleanUp backup; the
    // registry editor brings back every removed value, type and bytes.
    Toggle({"Emoji"});
    ScanCatalogue();
    std::vector<int32_t> states = Desired({});
    CleanUpDisabled(states.data(), (int32_t)states.size(), &StatusFront);
    std::string cleanup = BackupOf(Statuses.back(), "Deleted 4 disabled entries; backup: ");
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kRunOff));
    EXPECT_EQ(0u, RunRegedit(cleanup));
    EXPECT_EQ(0u, RunRegedit(removedQ));
    KeyContent restored = off;
    restored[L"Emoji"] = run.at(L"Emoji");
    EXPECT_EQ(restored, Content(kRunOff));
    DeleteFileA(cleanup.c_str());
    DeleteFileA(removedQ.c_str());
    DeleteFileA(backup);
    EmptyAllPlaces();
}
