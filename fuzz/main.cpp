// The libFuzzer entry of one target, chosen at compile time.
#include "fuzz/targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return fuzz::SONARIS_FUZZ_TARGET(data, size);
}
