// What the fuzz targets share: a check that aborts (and so is reported by libFuzzer) naming the target and
// the line, for results that must always hold.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace velora::fuzz {

inline void CheckAt(bool condition, const char* target, int line) {
    if (condition) return;
    std::fprintf(stderr, "%s: check on line %d failed\n", target, line);
    std::abort();
}

}  // namespace velora::fuzz

// FUZZ_TARGET_NAME names the target in the report; each target defines it before including this header.
#define Check(condition) ::velora::fuzz::CheckAt((condition), FUZZ_TARGET_NAME, __LINE__)
