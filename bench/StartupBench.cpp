// The helper's start: from the exec to its bus name owned (the moment a client may post), and
// its resident memory once it idles after that, over repeated starts on one private bus.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "Samples.h"
#include "ServiceOnBus.h"
#include "e2e/support/PrivateBus.h"

namespace kivora::bench {
namespace {

const std::string kDemoDesktop = std::string(KIVORA_BUNDLE_DIR) + "/Resources/demo-desktop.json";

void HelperStartAndIdleMemory(benchmark::State& state) {
    constexpr int kStarts = 20;
    try {
        for (auto _ : state) {
            e2e::PrivateBus bus;
            std::vector<std::chrono::nanoseconds> startups;
            std::vector<long> residents;
            for (int i = 0; i < kStarts; ++i) {
                ServiceOnBus helper(bus.address(), KIVORA_HELPER_PATH, helperArgs(kDemoDesktop),
                                    kHelperName);
                startups.push_back(helper.startup());
                // Answered from the event loop: start-up is over and the helper idles.
                if (!helper.client().ping(kHelperName, kStartTimeout)) {
                    throw std::runtime_error("the helper does not answer a ping");
                }
                const std::optional<long> resident = residentKiB(helper.pid());
                if (!resident) {
                    throw std::runtime_error("cannot read the helper's VmRSS");
                }
                residents.push_back(*resident);
                if (const int status = helper.terminate(); status != 0) {
                    throw std::runtime_error("the helper ended with status " +
                                             std::to_string(status) + " on SIGTERM");
                }
            }
            std::sort(residents.begin(), residents.end());
            const double median = medianMicroseconds(startups);
            state.SetIterationTime(median / 1e6);
            state.counters["start_median_ms"] = median / 1000;
            state.counters["start_p90_ms"] = percentileMicroseconds(startups, 90) / 1000;
            state.counters["rss_median_MiB"] =
                static_cast<double>(residents[residents.size() / 2]) / 1024;
            state.counters["rss_max_MiB"] = static_cast<double>(residents.back()) / 1024;
            state.counters["starts"] = kStarts;
        }
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(HelperStartAndIdleMemory)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kivora::bench
