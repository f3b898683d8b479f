#pragma once
// The pair arrays accumulate over runs (the main application receives every pair since
// launch, oldest first), but within a cap, so that a long-running helper can always send them.

#include <cstddef>
#include <deque>
#include <vector>

#include "messaging/KeyCodeAndFlags.h"

namespace kivora {

// Most pairs one array keeps. About 1 MiB on the bus; the reply of a larger array would cost
// several times the helper's idle memory to build.
inline constexpr std::size_t kMaxKeptPairs = 16384;

// Remembers where each run's pairs start in one array.
class PairRuns {
public:
    // Appends `run` to `pairs` as one run, then evicts whole runs, oldest first, until the
    // array is within kMaxKeptPairs. The newest run is never split or evicted, even when it is
    // larger than the cap on its own.
    void append(std::vector<KeyCodeAndFlags>& pairs, const std::vector<KeyCodeAndFlags>& run);

private:
    std::deque<std::size_t> sizes_;  // pairs per run still held, oldest first
};

}  // namespace kivora
