// fuzz_app_manifest.cpp - libFuzzer target: the packaged app manifest reader.
#include "fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    return FuzzAppManifest(data, size);
}
