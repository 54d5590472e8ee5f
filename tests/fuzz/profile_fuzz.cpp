// Any System.cfg text with any section, key and value: a write keeps every other line, a read
// gives back what was written, and neither faults.
#include "tests/fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzchecks::Report("profile_fuzz", fuzzchecks::CheckProfileEdit(data, size));
}
