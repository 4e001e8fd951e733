// fuzz_logon_cost.cpp - libFuzzer target: the logon record reader.
#include "fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return FuzzLogonCost(data, size);
}
