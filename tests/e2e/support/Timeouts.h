#pragma once
// Every wait in the end-to-end tests is bounded; these are the bounds.

#include <chrono>

namespace kivora::e2e {

using Clock = std::chrono::steady_clock;
using Duration = std::chrono::milliseconds;

// Generous enough for a loaded machine and sanitizer builds; a hang still fails in seconds.
inline constexpr Duration kDefaultTimeout{10000};

}  // namespace kivora::e2e
