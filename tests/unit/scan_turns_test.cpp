// scan_turns_test.cpp - the scan split into storage and details, and a scan
// replaced while details of the old one are still being read.
#include "../../catalogue/catalogue.h"
#include "../../catalogue/scan_turns.h"
#include "../support/memory_platform.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const char *kAgent = "C:\\Tools\\agent.exe";
const char *kOther = "C:\\Tools\\other.exe";

class ScanTurnsTest : public testing::Test {
protected:
    void SetUp() override
    {
        MemReset();
        MemSetVersion(kAgent, "Agent Service", "Agent Works");
        MemSetVersion(kOther, "Other Service", "Other Works");
    }
    void TearDown() override { FreeCatalogueData(&ItemCatalogue); }
};

TEST_F(ScanTurnsTest, StorageScanOpensNoTargetAndDetailsMatchAWholeScan)
{
    MemSetString(PLAT_HKCU, RUN_KEY, "Agent", "\"C:\\Tools\\agent.exe\" -min");
    MemSetString(PLAT_HKCU, RUN_KEY, "Gone", "C:\\Tools\\gone.exe");
    MemResetCounts();
    CatalogueData scanned;
    ScanStorage(&scanned);
    ASSERT_EQ(2, scanned.count);
    EXPECT_EQ(0, MemCallCount(MEM_VERSION_SIZE));
    EXPECT_EQ(1, scanned.items[0].detailsPending);
    EXPECT_STREQ("C:\\Tools", scanned.items[0].targetFolder);
    EXPECT_STREQ("", scanned.items[0].description);
    EXPECT_EQ(0, scanned.items[1].targetMissing);

    for (int32_t i = 0; i < scanned.count; ++i)
        ReadItemDetails(&scanned.items[i]);
    ScanCatalogue();
    ASSERT_EQ(2, ItemCatalogue.count);
    for (int32_t i = 0; i < 2; ++i) {
        const AutostartItem &split = scanned.items[i], &whole = ItemCatalogue.items[i];
        EXPECT_EQ(0, split.detailsPending);
        EXPECT_STREQ(whole.description, split.description);
        EXPECT_STREQ(whole.company, split.company);
        EXPECT_STREQ(whole.publisher, split.publisher);
        EXPECT_EQ(whole.targetMissing, split.targetMissing);
    }
    EXPECT_STREQ("Agent Service", scanned.items[0].description);
    EXPECT_EQ(1, scanned.items[1].targetMissing);
    FreeCatalogueData(&scanned);
}

// The worker reads scan 1's details from its own copy; a Refresh adopts
// scan 2 meanwhile, whose first row now runs another program: nothing of scan 1 lands.
TEST_F(ScanTurnsTest, ReplacedScanWritesNothingIntoTheNewRecords)
{
    ScanTurns turns = {0};
    MemSetString(PLAT_HKCU, RUN_KEY, "Agent", kAgent);
    int32_t first = BeginScanTurn(&turns);
    CatalogueData scanned;
    ScanStorage(&scanned);
    std::vector<AutostartItem> workerCopy(scanned.items, scanned.items + scanned.count);
    AdoptCatalogue(&scanned);
    EXPECT_EQ(0, scanned.count);

    MemSetString(PLAT_HKCU, RUN_KEY, "Agent", kOther);
    int32_t second = BeginScanTurn(&turns);
    EXPECT_TRUE(ScanTurnStale(&turns, first));
    ScanStorage(&scanned);
    AdoptCatalogue(&scanned);

    ReadItemDetails(&workerCopy[0]);
    ItemDetails stale;
    TakeItemDetails(&workerCopy[0], first, 0, &stale);
    EXPECT_EQ(0, ApplyItemDetails(&ItemCatalogue, &turns, &stale));
    EXPECT_EQ(1, ItemCatalogue.items[0].detailsPending);
    EXPECT_STREQ("", ItemCatalogue.items[0].description);

    AutostartItem current = ItemCatalogue.items[0];
    ReadItemDetails(&current);
    ItemDetails fresh;
    TakeItemDetails(&current, second, 0, &fresh);
    fresh.index = 1;
    EXPECT_EQ(0, ApplyItemDetails(&ItemCatalogue, &turns, &fresh)) << "past the records";
    fresh.index = -1;
    EXPECT_EQ(0, ApplyItemDetails(&ItemCatalogue, &turns, &fresh));
    fresh.index = 0;
    EXPECT_EQ(1, ApplyItemDetails(&ItemCatalogue, &turns, &fresh));
    EXPECT_STREQ("Other Service", ItemCatalogue.items[0].description);
    EXPECT_EQ(0, ItemCatalogue.items[0].detailsPending);
    TakeItemDetails(&workerCopy[0], second, 0, &stale);
    EXPECT_EQ(0, ApplyItemDetails(&ItemCatalogue, &turns, &stale)) << "read already";
    EXPECT_STREQ("Other Service", ItemCatalogue.items[0].description);
}

TEST(ScanTurns, VisibleRowsAreReadFirst)
{
    AutostartItem items[6] = {};
    for (AutostartItem &item : items)
        item.detailsPending = 1;
    items[3].detailsPending = 0;
    CatalogueData catalogue = {items, 6, 6};
    int32_t cursor = 0;
    const int32_t visible[] = {3, 4, -1, 9};
    EXPECT_EQ(4, NextDetailsRecord(&catalogue, visible, 4, &cursor));
    items[4].detailsPending = 0;
    EXPECT_EQ(0, NextDetailsRecord(&catalogue, visible, 4, &cursor)) << "visible rows done";
    items[0].detailsPending = items[1].detailsPending = items[2].detailsPending = 0;
    EXPECT_EQ(5, NextDetailsRecord(&catalogue, visible, 4, &cursor));
    EXPECT_EQ(5, cursor);
    items[5].detailsPending = 0;
    EXPECT_EQ(-1, NextDetailsRecord(&catalogue, NULL, 0, &cursor));
}

} // namespace
