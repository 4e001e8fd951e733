// fuzz_journal.cpp - libFuzzer target: the reader of the history of changes.
#include "fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return FuzzJournal(data, size);
}
