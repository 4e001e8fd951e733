// scan_turns.h - numbered scans, so that the details a worker reads for an
// older scan never land in the records of a newer one.
#pragma once

#include "catalogue.h"

// The number of the scan whose records the window holds; every Refresh
// takes the next one, and work carrying any other number is stale.
struct ScanTurns {
    int32_t current;
};

// One record's file details as read for scan number scan, row index.
struct ItemDetails {
    int32_t scan;
    int32_t index;
    char description[TEXT_FIELD_SIZE];
    char company[TEXT_FIELD_SIZE];
    char publisher[TEXT_FIELD_SIZE];
    int32_t signedByWindows;
    int32_t targetMissing;
};

// Starts a new scan: its number, after which every older number is stale.
int32_t BeginScanTurn(ScanTurns *turns);

// Nonzero when work of scan number scan is not the current scan's.
int ScanTurnStale(const ScanTurns *turns, int32_t scan);

// Copies the details of read (a record whose details were read) into out,
// marked with scan and index.
void TakeItemDetails(const AutostartItem *read, int32_t scan, int32_t index, ItemDetails *out);

// Writes details into its record of catalogue when they belong to the
// current scan and name one of its pending records: 1 written, 0 dropped.
int ApplyItemDetails(CatalogueData *catalogue, const ScanTurns *turns, const ItemDetails *details);

// The next pending record to read: the first of visible (record indexes of
// the rows on screen, -1 for none) still pending, else the first pending
// record from *cursor on, which moves past the records read; -1 when none.
int32_t NextDetailsRecord(const CatalogueData *catalogue, const int32_t *visible,
                          int32_t visibleCount, int32_t *cursor);
