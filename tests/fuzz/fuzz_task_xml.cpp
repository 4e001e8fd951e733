// fuzz_task_xml.cpp - libFuzzer target: the task definition parser.
#include "fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return FuzzTaskXml(data, size);
}
