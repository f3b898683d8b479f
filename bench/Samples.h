#pragma once
// Order statistics of measured durations.

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace kivora::bench {

// The nearest-rank percentile `p` (0 < p <= 100) of `samples`, in microseconds.
inline double percentileMicroseconds(std::vector<std::chrono::nanoseconds> samples, double p) {
    if (samples.empty()) {
        throw std::invalid_argument("no samples");
    }
    const auto rank =
        static_cast<std::size_t>(std::ceil(p / 100.0 * static_cast<double>(samples.size())));
    const std::size_t index = std::clamp<std::size_t>(rank, 1, samples.size()) - 1;
    std::nth_element(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(index),
                     samples.end());
    return static_cast<double>(samples[index].count()) / 1000.0;
}

inline double medianMicroseconds(const std::vector<std::chrono::nanoseconds>& samples) {
    return percentileMicroseconds(samples, 50);
}

}  // namespace kivora::bench
