// Every input a fuzzer once broke the program with, kept in fuzz/regressions/<target>/, runs
// through its target again: the fault it found stays fixed. A target aborts on a broken
// promise, so a failure here is the test program's crash with the target's message.
#include "fuzz/targets.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

TEST(FuzzRegressions, EveryKeptInputRunsThroughItsTargetAgain) {
    namespace fs = std::filesystem;
    const fs::path root(SONARIS_FUZZ_REGRESSIONS);
    int replayed = 0;
    for (const auto& target : fuzz::kTargets) {
        const fs::path folder = root / target.name;
        if (!fs::is_directory(folder)) continue;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (!entry.is_regular_file() || entry.path().filename().string().front() == '.') continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
            SCOPED_TRACE(entry.path().string());
            target.run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
            ++replayed;
        }
    }
    // Each folder holds what a fuzzer found, so none is empty once made.
    for (const auto& entry : fs::directory_iterator(root)) {
        if (entry.is_directory()) {
            EXPECT_FALSE(fs::is_empty(entry.path())) << entry.path();
        }
    }
    RecordProperty("replayed", replayed);
}

}  // namespace
