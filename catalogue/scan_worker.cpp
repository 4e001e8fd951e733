// scan_worker.cpp - registry and folder enumeration, shortcut loads and
// each target's version block and signature cost the window its answers
// when read on its thread; here they are read on another. The worker hands
// the window its records once, and reads details from a copy of its own,
// so it never touches a record the window holds. The details are read on
// as many threads as there are processors (a file read and a signature
// check mostly wait, and Windows verifies on any thread): each takes the
// next record under the lock, rows on screen first, and reads a copy.
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
    if (!worker->delivery)
        worker->delivery = PlatNewLock();
    return worker->lock != NULL && worker->delivery != NULL;
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

static void Hold(PlatLock lock)
{
    if (lock)
        PlatEnterLock(lock);
}

static void Release(PlatLock lock)
{
    if (lock)
        PlatLeaveLock(lock);
}

// Takes the next record, visible rows first, into read (still pending):
// its index, or -1 when every record is taken. Its own record is marked
// taken, so no other thread reads it.
static int32_t TakeRecord(ScanWorker *worker, AutostartItem *read)
{
    Hold(worker->lock);
    int32_t index = NextDetailsRecord(worker->own, worker->visible, worker->visibleCount,
                                      &worker->cursor);
    if (index >= 0) {
        *read = worker->own->items[index];
        worker->own->items[index].detailsPending = 0;
    }
    Release(worker->lock);
    return index;
}

static void DeliverDetails(ScanWorker *worker, AutostartItem *read, int32_t index)
{
    ItemDetails details;
    TakeItemDetails(read, worker->scan, index, &details);
    Hold(worker->delivery);
    worker->sink.details(worker->sink.context, read, &details);
    Release(worker->delivery);
}

// One thread's share: records taken and read until none is left or the
// worker is stopped (then between two records).
static void ReadTaken(ScanWorker *worker, AutostartItem *read)
{
    while (!ScanWorkerStopped(worker)) {
        int32_t index = TakeRecord(worker, read);
        if (index < 0)
            break;
        ReadItemDetails(read);
        DeliverDetails(worker, read, index);
    }
}

// Each helper's context: the worker and the record it reads into.
struct Helper {
    ScanWorker *worker;
    AutostartItem *read;
};

static void RunHelper(void *context)
{
    Helper *helper = (Helper *)context;
    ReadTaken(helper->worker, helper->read);
}

// Every record's details on up to one thread per processor, this one among
// them; returns once every helper is joined.
static void ReadAllDetails(ScanWorker *worker, CatalogueData *own)
{
    int threads = PlatProcessorCount();
    if (threads > SCAN_THREADS_MOST)
        threads = SCAN_THREADS_MOST;
    if (threads > own->count)
        threads = own->count;
    // Without both locks one thread reads them all.
    if (threads < 1 || !worker->lock || !worker->delivery)
        threads = 1;
    AutostartItem *reads = (AutostartItem *)PlatAllocZero((size_t)threads * sizeof(AutostartItem));
    Helper helpers[SCAN_THREADS_MOST];
    PlatThread started[SCAN_THREADS_MOST];
    int count = 0;
    Hold(worker->lock);
    worker->own = own;
    worker->cursor = 0;
    Release(worker->lock);
    if (!reads) {
        // No room for the copies: read in place, one record after another.
        while (!ScanWorkerStopped(worker)) {
            Hold(worker->lock);
            int32_t index = NextDetailsRecord(own, worker->visible, worker->visibleCount,
                                              &worker->cursor);
            Release(worker->lock);
            if (index < 0)
                break;
            ReadItemDetails(&own->items[index]);
            DeliverDetails(worker, &own->items[index], index);
        }
    } else {
        for (int i = 1; i < threads; ++i) {
            helpers[count] = {worker, &reads[i]};
            started[count] = PlatStartThread(RunHelper, &helpers[count]);
            count += started[count] != NULL;
        }
        ReadTaken(worker, &reads[0]);
        for (int i = 0; i < count; ++i)
            PlatJoinThread(started[i]);
    }
    Hold(worker->lock);
    worker->own = NULL;
    Release(worker->lock);
    PlatFree(reads);
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
    if (own.items) {
        ReadAllDetails(worker, &own);
        PlatFree(own.items);
    }
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
    EnsureLock(worker); // without its locks the scan still runs here, on one thread
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
    PlatFreeLock(worker->delivery);
    worker->delivery = NULL;
}
