// fuzz_parse_command.cpp - libFuzzer target: ParseCommand and the target-folder rule.
#include "fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return FuzzParseCommand(data, size);
}
