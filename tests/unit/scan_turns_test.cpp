// scan_turns_test.cpp - the scan split into storage and details, and a scan
// replaced while details of the old one are still being read.
#include "../../catalogue/catalogue.h"
#include "../../catalogue/scan_turns.h"
#include "../../catalogue/scan_worker.h"
#include "../support/memory_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
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

// What a worker handed over, in the order it came, as a window would queue it.
struct Received {
    std::mutex lock;
    std::vector<CatalogueData> rows;
    std::vector<ItemDetails> details;
    std::vector<int32_t> done;
    std::string order; // R rows, D details, E end
};

void TakeRows(void *context, int32_t, CatalogueData *rows)
{
    Received *got = (Received *)context;
    std::lock_guard<std::mutex> hold(got->lock);
    got->rows.push_back(*rows);
    rows->items = NULL;
    rows->count = 0;
    got->order += 'R';
}

void TakeDetails(void *context, const AutostartItem *, ItemDetails *details)
{
    Received *got = (Received *)context;
    std::lock_guard<std::mutex> hold(got->lock);
    got->details.push_back(*details);
    got->order += 'D';
}

void TakeDone(void *context, int32_t scan)
{
    Received *got = (Received *)context;
    std::lock_guard<std::mutex> hold(got->lock);
    got->done.push_back(scan);
    got->order += 'E';
}

// Waits (bounded, never judged by time) until seen() holds.
template <typename Test> bool Eventually(Test seen)
{
    for (int i = 0; i < 20000 && !seen(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return seen();
}

// Scan 1's worker is held inside its first file read while storage changes
// and a Refresh starts scan 2: scan 1 stops at that record, and what it
// read lands in no record of scan 2.
TEST_F(ScanTurnsTest, AWorkerReplacedMidReadStopsAndWritesNothingStale)
{
    MemSetString(PLAT_HKCU, RUN_KEY, "Agent", kAgent);
    MemSetString(PLAT_HKCU, RUN_KEY, "Other", kOther);
    static ScanWorker worker;
    Received got;
    ScanWorkerSink sink = {&got, TakeRows, TakeDetails, TakeDone};
    std::atomic<int> held(0);
    MemSetHook(MEM_VERSION_SIZE, 1, [&] {
        held = 1;
        Eventually([&] { return ScanWorkerStopped(&worker) != 0; });
    });
    MemFailCall(MEM_START_THREAD, 1);
    ScanTurns turns = {0};
    EXPECT_EQ(0, StartScanWorker(&worker, BeginScanTurn(&turns), &sink)) << "no thread";
    EXPECT_EQ(0, ScanWorkerRunning(&worker));
    ASSERT_EQ(1, StartScanWorker(&worker, BeginScanTurn(&turns), &sink));
    ASSERT_TRUE(Eventually([&] { return held.load() != 0; }));

    MemSetString(PLAT_HKCU, RUN_KEY, "Agent", kOther);
    int32_t second = BeginScanTurn(&turns);
    StopScanWorker(&worker);
    EXPECT_EQ(0, ScanWorkerRunning(&worker));
    EXPECT_EQ(1, MemCallCount(MEM_VERSION_SIZE)) << "stopped between two records";
    EXPECT_EQ("RD", got.order) << "the rows, then the one record in hand; no end";

    ASSERT_EQ(1, StartScanWorker(&worker, second, &sink));
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard<std::mutex> hold(got.lock);
        return !got.done.empty();
    }));
    FreeScanWorker(&worker);
    EXPECT_EQ("RDRDDE", got.order);
    ASSERT_EQ(2u, got.rows.size());
    FreeCatalogueData(&got.rows[0]);
    AdoptCatalogue(&got.rows[1]);
    int applied = 0;
    for (const ItemDetails &details : got.details)
        applied += ApplyItemDetails(&ItemCatalogue, &turns, &details);
    EXPECT_EQ(2, applied) << "scan 1's result dropped";
    EXPECT_STREQ("Other Service", ItemCatalogue.items[0].description);
    EXPECT_EQ(0, ItemCatalogue.items[1].detailsPending);
}

TEST(ScanTurns, VisibleRowsAreReadFirst)
{
    AutostartItem items[6] = {};
    for (AutostartItem &item : items)
        item.detailsPending = 1;
    items[3].detailsPending = 0;
    CatalogueData catalogue = {items, 6, 6, 0, "", 0};
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

// Where no thread can be had the same scan runs on the caller's thread, and
// waiting for a running worker (the report, CleanUp) gives all of its scan.
TEST_F(ScanTurnsTest, AScanRunsHereWithoutAThreadAndAWaitGetsEveryRecord)
{
    MemSetString(PLAT_HKCU, RUN_KEY, "Agent", kAgent);
    MemSetString(PLAT_HKCU, RUN_KEY, "Other", kOther);
    static ScanWorker worker;
    Received got;
    ScanWorkerSink sink = {&got, TakeRows, TakeDetails, TakeDone};
    ScanTurns turns = {0};
    MemFailCall(MEM_START_THREAD, 1);
    int32_t first = BeginScanTurn(&turns);
    ASSERT_EQ(0, StartScanWorker(&worker, first, &sink));
    RunScanHere(&worker, first, &sink);
    EXPECT_EQ("RDDE", got.order);
    EXPECT_EQ(0, got.details[0].index);
    const int32_t onScreen[] = {1};
    SetScanWorkerVisible(&worker, onScreen, 1);
    ASSERT_EQ(1, StartScanWorker(&worker, BeginScanTurn(&turns), &sink));
    WaitScanWorker(&worker);
    EXPECT_EQ(0, ScanWorkerRunning(&worker));
    EXPECT_EQ("RDDERDDE", got.order) << "a wait stops nothing";
    EXPECT_EQ(1, got.details[2].index) << "the row on screen first";
    FreeScanWorker(&worker);
    for (CatalogueData &rows : got.rows)
        FreeCatalogueData(&rows);
}

namespace {

// Each result with the thread it came on.
struct Threaded {
    std::mutex lock;
    std::vector<std::pair<std::thread::id, int32_t>> details;
    int done = 0;
};

void NoRows(void *, int32_t, CatalogueData *) {}

void TakeThreaded(void *context, const AutostartItem *, ItemDetails *details)
{
    Threaded *got = (Threaded *)context;
    std::lock_guard<std::mutex> hold(got->lock);
    EXPECT_EQ(0, got->done) << "a result after the end";
    got->details.push_back({std::this_thread::get_id(), details->index});
}

void CountDone(void *context, int32_t)
{
    Threaded *got = (Threaded *)context;
    std::lock_guard<std::mutex> hold(got->lock);
    ++got->done;
}

} // namespace

// On four threads, each record's details come once, the rows on screen
// among the first taken, the end once after them all; stopped with every
// thread inside a file read, each is joined and nothing comes after.
TEST_F(ScanTurnsTest, DetailsOnEveryProcessorComeOnceRowsOnScreenFirst)
{
    const int records = 40, threads = 4;
    for (int i = 0; i < records; ++i)
        MemSetString(PLAT_HKCU, RUN_KEY, ("E" + std::to_string(100 + i)).c_str(),
                     i % 2 ? kAgent : kOther);
    MemSetProcessorCount(threads);
    // Each thread waits in its first file read until all four are in one:
    // the first record each took are the four taken first.
    std::atomic<int> arrived(0);
    MemSetHook(MEM_VERSION_SIZE, 0, [&] {
        if (++arrived <= threads)
            Eventually([&] { return arrived.load() >= threads; });
    });
    static ScanWorker worker;
    Threaded got;
    ScanWorkerSink sink = {&got, NoRows, TakeThreaded, CountDone};
    const int32_t onScreen[] = {33, 7};
    SetScanWorkerVisible(&worker, onScreen, 2);
    ScanTurns turns = {0};
    ASSERT_EQ(1, StartScanWorker(&worker, BeginScanTurn(&turns), &sink));
    WaitScanWorker(&worker);
    EXPECT_EQ(1, got.done);
    std::vector<int32_t> indexes, first;
    std::vector<std::thread::id> seen;
    for (const auto &result : got.details) {
        indexes.push_back(result.second);
        if (std::find(seen.begin(), seen.end(), result.first) == seen.end()) {
            seen.push_back(result.first);
            first.push_back(result.second);
        }
    }
    std::sort(indexes.begin(), indexes.end());
    std::sort(first.begin(), first.end());
    for (int i = 0; i < records; ++i)
        ASSERT_EQ(i, indexes.at((size_t)i)) << "each record once";
    EXPECT_EQ((std::vector<int32_t>{0, 1, 7, 33}), first);

    Threaded stopped;
    sink.context = &stopped;
    arrived = 0;
    MemClearFaults();
    MemSetHook(MEM_VERSION_SIZE, 0, [&] {
        ++arrived;
        Eventually([&] { return ScanWorkerStopped(&worker) != 0; });
    });
    ASSERT_EQ(1, StartScanWorker(&worker, BeginScanTurn(&turns), &sink));
    ASSERT_TRUE(Eventually([&] { return arrived.load() == threads; }));
    StopScanWorker(&worker);
    EXPECT_EQ(0, ScanWorkerRunning(&worker));
    EXPECT_EQ((size_t)threads, stopped.details.size()) << "the records in hand, no more";
    EXPECT_EQ(0, stopped.done);
    FreeScanWorker(&worker);
}
