// Any System.cfg text with any section, key and value: a write keeps every other line, a read
// gives back what was written, and neither faults.
#include <cstdio>
#include <cstdlib>

#include "tests/fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string fault = fuzzchecks::CheckProfileEdit(data, size);
    if (!fault.empty()) {
        std::fprintf(stderr, "profile_fuzz: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
