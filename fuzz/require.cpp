#include "fuzz/targets.h"

#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>

namespace fuzz {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

long PeakMemoryMb() {
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

}  // namespace fuzz
