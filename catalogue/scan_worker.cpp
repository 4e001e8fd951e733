// scan_worker.cpp - registry and folder enumeration, shortcut loads and
// each target's version block and signature cost the window its answers
// when read on its thread; here they are read on another. The worker hands
// the window its records once, and reads details from a copy of its own,
// so it never touches a record the window holds.
#include "scan_worker.h"

#include <string.h>

static int WorkerStopped(void *context)
{
    return ScanWorkerStopped((const ScanWorker *)context);
}

int ScanWorkerStopped(const ScanWorker *worker)
{
    return worker->stop.load() != 0;
}

int ScanWorkerRunning(const ScanWorker *worker)
{
    return worker->thread != NULL;
}

static int EnsureLock(ScanWorker *worker)
{
    if (!worker->lock)
        worker->lock = PlatNewLock();
    return worker->lock != NULL;
}

void SetScanWorkerVisible(ScanWorker *worker, const int32_t *records, int32_t count)
{
    if (!EnsureLock(worker))
        return;
    if (count > SCAN_VISIBLE_MOST)
        count = SCAN_VISIBLE_MOST;
    PlatEnterLock(worker->lock);
    if (count > 0)
        memcpy(worker->visible, records, sizeof(int32_t) * (size_t)count);
    worker->visibleCount = count > 0 ? count : 0;
    PlatLeaveLock(worker->lock);
}

static int32_t TakeVisible(ScanWorker *worker, int32_t *records)
{
    if (!worker->lock)
        return 0;
    PlatEnterLock(worker->lock);
    int32_t count = worker->visibleCount;
    memcpy(records, worker->visible, sizeof(int32_t) * (size_t)count);
    PlatLeaveLock(worker->lock);
    return count;
}

// The next record to read, visible rows first; -1 when every one is read.
static int32_t NextRecord(ScanWorker *worker, const CatalogueData *own, int32_t *cursor)
{
    int32_t visible[SCAN_VISIBLE_MOST];
    int32_t count = TakeVisible(worker, visible);
    return NextDetailsRecord(own, visible, count, cursor);
}

static void DeliverDetails(ScanWorker *worker, AutostartItem *read, int32_t index)
{
    ItemDetails details;
    TakeItemDetails(read, worker->scan, index, &details);
    worker->sink.details(worker->sink.context, read, &details);
}

static void RunWorker(void *context)
{
    ScanWorker *worker = (ScanWorker *)context;
    CatalogueData scanned;
    if (!ScanStorageUntil(&scanned, WorkerStopped, worker))
        return;
    CatalogueData own = {NULL, scanned.count, scanned.count, 0, "", scanned.otherPlaces};
    own.items = (AutostartItem *)PlatAllocZero(((size_t)scanned.count + 1) * sizeof(AutostartItem));
    if (own.items) {
        memcpy(own.items, scanned.items, (size_t)scanned.count * sizeof(AutostartItem));
    } else {
        // No room for a copy: the rows come late, with every detail read.
        for (int32_t i = 0; i < scanned.count && !ScanWorkerStopped(worker); ++i)
            ReadItemDetails(&scanned.items[i]);
    }
    if (!ScanWorkerStopped(worker))
        worker->sink.rows(worker->sink.context, worker->scan, &scanned);
    FreeCatalogueData(&scanned);
    int32_t cursor = 0;
    while (own.items && !ScanWorkerStopped(worker)) {
        int32_t index = NextRecord(worker, &own, &cursor);
        if (index < 0)
            break;
        ReadItemDetails(&own.items[index]);
        DeliverDetails(worker, &own.items[index], index);
    }
    if (own.items)
        PlatFree(own.items);
    if (!ScanWorkerStopped(worker))
        worker->sink.done(worker->sink.context, worker->scan);
}

int StartScanWorker(ScanWorker *worker, int32_t scan, const ScanWorkerSink *sink)
{
    StopScanWorker(worker);
    if (!EnsureLock(worker))
        return 0;
    worker->stop.store(0);
    worker->scan = scan;
    worker->sink = *sink;
    worker->thread = PlatStartThread(RunWorker, worker);
    return worker->thread != NULL;
}

void RunScanHere(ScanWorker *worker, int32_t scan, const ScanWorkerSink *sink)
{
    StopScanWorker(worker);
    worker->stop.store(0);
    worker->scan = scan;
    worker->sink = *sink;
    RunWorker(worker);
}

void WaitScanWorker(ScanWorker *worker)
{
    if (!worker->thread)
        return;
    PlatJoinThread(worker->thread);
    worker->thread = NULL;
}

void StopScanWorker(ScanWorker *worker)
{
    if (!worker->thread)
        return;
    worker->stop.store(1);
    PlatJoinThread(worker->thread);
    worker->thread = NULL;
}

void FreeScanWorker(ScanWorker *worker)
{
    StopScanWorker(worker);
    PlatFreeLock(worker->lock);
    worker->lock = NULL;
}
