#include "fuzz/targets.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz {

void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "broken promise: %s\n", what);
    std::abort();
}

}  // namespace fuzz
