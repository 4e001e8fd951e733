// scan_worker.h - a Refresh on a thread of its own: storage first, handed
// over in one block, then each record's file details, the rows on screen
// first, each result marked with the scan's number.
#pragma once

#include "catalogue.h"
#include "scan_turns.h"

#include <atomic>

#define SCAN_VISIBLE_MOST 128
// The details are read on one thread per processor, never more than this:
// past it the disk, not the processors, sets the pace.
#define SCAN_THREADS_MOST 8

// Where the worker's results go. Called on the worker's threads, one call
// at a time: the receiver hands them on to its own (the window posts them
// to itself).
struct ScanWorkerSink {
    void *context;
    // The scan's records, before any of their details: the receiver takes
    // the block by emptying *rows; whatever it leaves there is freed.
    void (*rows)(void *context, int32_t scan, CatalogueData *rows);
    // One record read: read is the worker's own copy of it (valid for the
    // call only), details what the receiver's records take from it.
    void (*details)(void *context, const AutostartItem *read, ItemDetails *details);
    // Every record of the scan is read (on every thread); not called for a
    // stopped scan.
    void (*done)(void *context, int32_t scan);
};

// One worker at a time: the window's thread starts and stops it. Its
// thread reads storage, then reads details with helpers of its own and
// joins them before it ends.
struct ScanWorker {
    PlatThread thread;
    PlatLock lock; // guards visible, visibleCount, cursor and own's pending marks
    int32_t visible[SCAN_VISIBLE_MOST];
    int32_t visibleCount;
    std::atomic<int32_t> stop;
    int32_t scan;
    ScanWorkerSink sink;
    PlatLock delivery;   // one result handed to the sink at a time
    CatalogueData *own;  // the records whose details are read: pending until taken
    int32_t cursor;      // where the next record not on screen is looked for
};

// Stops any worker still running, then starts scan number scan: 1 when it
// runs, 0 when no thread could be had (nothing runs then).
int StartScanWorker(ScanWorker *worker, int32_t scan, const ScanWorkerSink *sink);

// Where no thread can be had: the same scan, run on the caller's thread
// to its end (storage, rows, every record's details, done).
void RunScanHere(ScanWorker *worker, int32_t scan, const ScanWorkerSink *sink);

// Waits for the worker to read every record (its sink has then had all of
// its scan). Nothing when none runs.
void WaitScanWorker(ScanWorker *worker);

// Tells the worker to stop and waits for its thread, which stops between
// two records (or two places or folder files of storage) and calls its
// sink no more. Nothing when none runs.
void StopScanWorker(ScanWorker *worker);

// Nonzero when the worker was told to stop (its thread reads this).
int ScanWorkerStopped(const ScanWorker *worker);

// Nonzero while a worker's thread is started and not yet joined.
int ScanWorkerRunning(const ScanWorker *worker);

// The record indexes of the rows on screen, read before the rest.
void SetScanWorkerVisible(ScanWorker *worker, const int32_t *records, int32_t count);

// Stops the worker and frees its lock.
void FreeScanWorker(ScanWorker *worker);
