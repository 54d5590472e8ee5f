// Bytes as the controller might send them, through the panel's reading of received text: Latin-1
// text up to the first zero byte, the handshake test, the lines, the position reports, the read-out
// and the slider positions.
#include "tests/fuzz/FuzzChecks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return fuzzchecks::Report("reply_fuzz", fuzzchecks::CheckReceivedBytes(data, size));
}
