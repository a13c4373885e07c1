// libFuzzer target: one document handed to one of the five item parsers.
#include "fuzz/FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    parseDocument(data, size);
    return 0;
}
