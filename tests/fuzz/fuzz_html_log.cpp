// fuzz_html_log.cpp - libFuzzer target: the HTML report writer.
#include "fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return FuzzHtmlLog(data, size);
}
