#pragma once
// Every wait in the end-to-end tests is bounded; these are the bounds.

#include <chrono>
#include <cstdlib>
#include <string_view>

namespace kivora::e2e {

using Clock = std::chrono::steady_clock;
using Duration = std::chrono::milliseconds;

// Generous enough for a loaded machine and sanitizer builds; a hang still fails in seconds.
inline constexpr Duration kDefaultTimeout{10000};

// KIVORA_VALGRIND=1 runs the helper under valgrind memcheck (HelperProcess).
inline bool underValgrind() {
    static const bool on = [] {
        const char* value = std::getenv("KIVORA_VALGRIND");
        return value != nullptr && std::string_view(value) == "1";
    }();
    return on;
}

// Under valgrind the helper runs many times slower, so every wait of the support library is
// stretched by this factor; natively waits, deadlines included, are exactly as written.
inline constexpr int kValgrindSlowdown = 10;
inline Duration scaled(Duration timeout) {
    return underValgrind() ? timeout * kValgrindSlowdown : timeout;
}

}  // namespace kivora::e2e
