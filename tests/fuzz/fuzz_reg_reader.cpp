// fuzz_reg_reader.cpp - libFuzzer target: the reader of the program's .reg backups.
#include "fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return FuzzRegReader(data, size);
}
