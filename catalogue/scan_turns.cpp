// scan_turns.cpp - a Refresh replaces the records while the worker may still
// be reading files for the old ones; the scan's number decides whose they are.
#include "scan_turns.h"

int32_t BeginScanTurn(ScanTurns *turns)
{
    return ++turns->current;
}

int ScanTurnStale(const ScanTurns *turns, int32_t scan)
{
    return scan != turns->current;
}

void TakeItemDetails(const AutostartItem *read, int32_t scan, int32_t index, ItemDetails *out)
{
    out->scan = scan;
    out->index = index;
    TextCopy(out->description, sizeof out->description, read->description);
    TextCopy(out->company, sizeof out->company, read->company);
    TextCopy(out->publisher, sizeof out->publisher, read->publisher);
    out->signedByWindows = read->signedByWindows;
    out->targetMissing = read->targetMissing;
}

int ApplyItemDetails(CatalogueData *catalogue, const ScanTurns *turns, const ItemDetails *details)
{
    if (ScanTurnStale(turns, details->scan) || details->index < 0
        || details->index >= catalogue->count)
        return 0;
    AutostartItem *item = &catalogue->items[details->index];
    // A record read already (or never deferred) keeps what it has.
    if (!item->detailsPending)
        return 0;
    TextCopy(item->description, TEXT_FIELD_SIZE, details->description);
    TextCopy(item->company, TEXT_FIELD_SIZE, details->company);
    TextCopy(item->publisher, TEXT_FIELD_SIZE, details->publisher);
    item->signedByWindows = details->signedByWindows;
    item->targetMissing = details->targetMissing;
    item->detailsPending = 0;
    return 1;
}

static int Pending(const CatalogueData *catalogue, int32_t index)
{
    return index >= 0 && index < catalogue->count && catalogue->items[index].detailsPending;
}

int32_t NextDetailsRecord(const CatalogueData *catalogue, const int32_t *visible,
                          int32_t visibleCount, int32_t *cursor)
{
    for (int32_t i = 0; i < visibleCount; ++i)
        if (Pending(catalogue, visible[i]))
            return visible[i];
    if (*cursor < 0)
        *cursor = 0;
    for (; *cursor < catalogue->count; ++*cursor)
        if (Pending(catalogue, *cursor))
            return *cursor;
    return -1;
}
