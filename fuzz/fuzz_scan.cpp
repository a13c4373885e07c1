// libFuzzer target: arbitrary bytes scanned as an .olm file.
#include "fuzz/FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    scanBytes(data, size);
    return 0;
}
