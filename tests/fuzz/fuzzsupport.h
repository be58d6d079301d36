// Helpers shared by the fuzz targets.
#pragma once

#include <cstdlib>

namespace tw::fuzz {

// libFuzzer reports an abort as a crash and keeps the input.
inline void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace tw::fuzz
