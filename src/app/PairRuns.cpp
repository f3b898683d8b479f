#include "app/PairRuns.h"

#include <iterator>

namespace kivora {

void PairRuns::append(std::vector<KeyCodeAndFlags>& pairs,
                      const std::vector<KeyCodeAndFlags>& run) {
    pairs.insert(pairs.end(), run.begin(), run.end());
    sizes_.push_back(run.size());
    std::size_t evicted = 0;
    while (sizes_.size() > 1 && pairs.size() - evicted > kMaxKeptPairs) {
        evicted += sizes_.front();
        sizes_.pop_front();
    }
    pairs.erase(pairs.begin(), pairs.begin() + static_cast<std::ptrdiff_t>(evicted));
}

}  // namespace kivora
