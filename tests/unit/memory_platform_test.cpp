// memory_platform_test.cpp - the stand-in's own test controls work, so a
// logic test that injects a fault or a hook really exercises that path.
#include "../support/memory_platform.h"

#include <gtest/gtest.h>

#include <string.h>

namespace {

const char *kRun = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";

class MemoryPlatform : public testing::Test {
protected:
    void SetUp() override { MemReset(); }
};

} // namespace

TEST_F(MemoryPlatform, FailCallHitsOnlyTheChosenOccurrence)
{
    MemSetString(PLAT_HKCU, kRun, "Tool", "C:\\tool.exe");
    MemFailCall(MEM_REG_OPEN_READ, 2, PLAT_ERROR_ACCESS_DENIED);
    PlatKey key = nullptr;
    EXPECT_EQ(PLAT_OK, PlatRegOpenRead(PLAT_HKCU, kRun, &key));
    PlatRegClose(key);
    EXPECT_EQ(PLAT_ERROR_ACCESS_DENIED, PlatRegOpenRead(PLAT_HKCU, kRun, &key));
    EXPECT_EQ(nullptr, key);
    EXPECT_EQ(PLAT_OK, PlatRegOpenRead(PLAT_HKCU, kRun, &key));
    PlatRegClose(key);
    EXPECT_EQ(3, MemCallCount(MEM_REG_OPEN_READ));
    EXPECT_EQ(0, MemOpenKeys());
}

TEST_F(MemoryPlatform, FailEveryCallAndRecordTheError)
{
    MemFailCall(MEM_VERSION_READ, 0, 1812);
    MemSetVersion("C:\\a.exe", "A", "B");
    char block[256];
    uint32_t size = PlatVersionSize("C:\\a.exe");
    ASSERT_GT(size, 0u);
    EXPECT_EQ(0, PlatVersionRead("C:\\a.exe", size, block));
    EXPECT_EQ(0, PlatVersionRead("C:\\a.exe", size, block));
    char text[64];
    PlatErrorText(PlatLastError(), text, sizeof text);
    ASSERT_EQ(1u, MemShownErrors().size());
    EXPECT_EQ(1812, MemShownErrors()[0]);
}

TEST_F(MemoryPlatform, HookRunsBeforeTheCallAndCanChangeStorage)
{
    MemSetString(PLAT_HKCU, kRun, "One", "1");
    MemSetHook(MEM_REG_ENUM_VALUE, 2, [] { MemSetString(PLAT_HKCU, kRun, "Two", "2"); });
    PlatKey key = nullptr;
    ASSERT_EQ(PLAT_OK, PlatRegOpenRead(PLAT_HKCU, kRun, &key));
    char name[PLAT_TEXT_SIZE];
    EXPECT_EQ(PLAT_OK, PlatRegEnumValue(key, 0, name, sizeof name, nullptr, nullptr, nullptr));
    EXPECT_STREQ("One", name);
    EXPECT_EQ(PLAT_OK, PlatRegEnumValue(key, 1, name, sizeof name, nullptr, nullptr, nullptr));
    EXPECT_STREQ("Two", name);
    PlatRegClose(key);
}

TEST_F(MemoryPlatform, HandleOfDeletedKeyFails)
{
    MemSetString(PLAT_HKCU, "Software\\T\\Run-", "Tool", "x");
    PlatKey key = nullptr;
    ASSERT_EQ(PLAT_OK, PlatRegOpenRead(PLAT_HKCU, "Software\\T\\Run-", &key));
    PlatKey parent = nullptr;
    ASSERT_EQ(PLAT_OK, PlatRegCreate(PLAT_HKCU, "Software\\T", PLAT_KEY_ALL_ACCESS, &parent));
    EXPECT_EQ(PLAT_OK, PlatRegDeleteSubkey(PLAT_HKCU, parent, "Run-"));
    char name[PLAT_TEXT_SIZE];
    EXPECT_EQ(PLAT_ERROR_KEY_DELETED,
              PlatRegEnumValue(key, 0, name, sizeof name, nullptr, nullptr, nullptr));
    PlatRegClose(key);
    PlatRegClose(parent);
}

TEST_F(MemoryPlatform, DeniedWritesAndKeys)
{
    MemDenyWrites(PLAT_HKLM, true);
    PlatKey key = nullptr;
    EXPECT_EQ(PLAT_ERROR_ACCESS_DENIED, PlatRegCreate(PLAT_HKLM, kRun, PLAT_KEY_WRITE, &key));
    EXPECT_EQ(PLAT_OK, PlatRegCreate(PLAT_HKCU, kRun, PLAT_KEY_WRITE, &key));
    PlatRegClose(key);
    MemDenyKey(PLAT_HKCU, "Software\\Locked");
    EXPECT_EQ(PLAT_ERROR_ACCESS_DENIED, PlatRegOpenRead(PLAT_HKCU, "Software\\Locked", &key));
}

TEST_F(MemoryPlatform, ShellFolderUnresolvableAndCreatedOnResolve)
{
    char path[PLAT_TEXT_SIZE];
    EXPECT_FALSE(MemFolderExists(MEM_PERSONAL_FOLDER));
    EXPECT_EQ(1, PlatShellFolder(PLAT_CSIDL_PERSONAL, path));
    EXPECT_TRUE(MemFolderExists(MEM_PERSONAL_FOLDER));
    MemSetShellFolder(PLAT_CSIDL_COMMON_DOCUMENTS, nullptr);
    EXPECT_EQ(0, PlatShellFolder(PLAT_CSIDL_COMMON_DOCUMENTS, path));
    EXPECT_STREQ("", path);
}

TEST_F(MemoryPlatform, FolderListingKeepsCreationOrderAndMovesGoLast)
{
    MemAddFile("C:\\S\\b.lnk");
    MemAddFile("C:\\S\\a.lnk");
    MemAddFile("C:\\S\\c.lnk");
    EXPECT_EQ((std::vector<std::string>{"b.lnk", "a.lnk", "c.lnk"}), MemListFolder("C:\\S"));
    ASSERT_EQ(1, PlatMoveFile("C:\\S\\b.lnk", "C:\\S\\d.lnk"));
    EXPECT_EQ((std::vector<std::string>{"a.lnk", "c.lnk", "d.lnk"}), MemListFolder("c:\\s"));
}

TEST_F(MemoryPlatform, AllocationCanFailAndIsTracked)
{
    MemFailCall(MEM_ALLOC, 1, PLAT_ERROR_OUTOFMEMORY);
    EXPECT_EQ(nullptr, PlatAllocZero(64));
    void *block = PlatAllocZero(64);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(1, MemLiveBlocks());
    MemReset();
    EXPECT_EQ(1, MemLiveBlocks()) << "a reset keeps blocks the logic still holds";
    PlatFree(block);
    EXPECT_EQ(0, MemLiveBlocks());
}
