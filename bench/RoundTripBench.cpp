// Request-to-reply times over a private bus, from a lean client, with the helper's standard
// output going to /dev/null as it would go to the journal.
//
// AccessibilityStatus is set against a raw sd-bus echo peer that answers the same request
// with the same reply: the ratio is what the helper adds to the bus's own cost. Both are
// measured in the same run, one request each in turn, so that a change of machine load falls
// on both alike; each has a bus daemon of its own, so that neither sees the other's traffic.
#include <benchmark/benchmark.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "Samples.h"
#include "ServiceOnBus.h"
#include "e2e/support/PrivateBus.h"
#include "e2e/support/TestClient.h"

namespace kivora::bench {
namespace {

using std::chrono::nanoseconds;

constexpr std::chrono::milliseconds kReplyTimeout{5000};
// The pause before every walk, which the goal leaves out.
constexpr std::chrono::milliseconds kHarvestPause{50};

const std::string kDemoDesktop = std::string(KIVORA_BUNDLE_DIR) + "/Resources/demo-desktop.json";
const std::string kThousandItems =
    std::string(KIVORA_SOURCE_DIR) + "/resources/desktops/thousand-items.json";

// Watches `reply` and measures single round trips: post, then wait for the next reply.
class RoundTrip {
public:
    RoundTrip(BenchBusClient& client, std::string request, std::optional<std::string> object,
              std::string reply)
        : client_(client),
          request_(std::move(request)),
          object_(std::move(object)),
          reply_(std::move(reply)) {
        // Counted, not decoded: the round trip measures the peer, not this client.
        if (!client_.subscribe({.name = reply_, .helperOnly = false, .decode = false})) {
            throw std::runtime_error(client_.lastError());
        }
    }

    nanoseconds once() {
        const auto start = Clock::now();
        if (!client_.post(request_, object_)) {
            throw std::runtime_error(client_.lastError());
        }
        if (!client_.waitForCount(reply_, ++expected_, start + kReplyTimeout)) {
            throw std::runtime_error("no " + reply_ + " within " +
                                     std::to_string(kReplyTimeout.count()) + " ms");
        }
        return Clock::now() - start;
    }

    void run(int count, std::vector<nanoseconds>& into) {
        for (int i = 0; i < count; ++i) {
            into.push_back(once());
        }
    }

private:
    BenchBusClient& client_;
    std::string request_;
    std::optional<std::string> object_;
    std::string reply_;
    std::uint64_t expected_ = 0;
};

// CPU time of a process from its construction on.
class CpuMeter {
public:
    explicit CpuMeter(pid_t pid) : pid_(pid), start_(read(pid)) {}
    double microsecondsPer(std::size_t requests) const {
        return static_cast<double>((read(pid_) - start_).count()) / 1000.0 /
               static_cast<double>(requests);
    }

private:
    static nanoseconds read(pid_t pid) {
        const auto time = cpuTime(pid);
        if (!time) {
            throw std::runtime_error("cannot read the CPU time of process " + std::to_string(pid));
        }
        return *time;
    }
    pid_t pid_;
    nanoseconds start_;
};

void AccessibilityStatusRoundTrip(benchmark::State& state) {
    constexpr int kWarmUp = 200;
    constexpr int kSamples = 3000;
    try {
        for (auto _ : state) {
            e2e::PrivateBus helperBus;
            e2e::PrivateBus echoBus;
            ServiceOnBus helper(helperBus.address(), KIVORA_HELPER_PATH, helperArgs(kDemoDesktop),
                                kHelperName);
            ServiceOnBus echo(echoBus.address(), KIVORA_ECHO_PEER_PATH, {}, kEchoPeerName);
            RoundTrip toHelper(helper.client(), "AccessibilityStatus", std::nullopt,
                               "AccessibilityStatusResponse");
            RoundTrip toEcho(echo.client(), "AccessibilityStatus", std::nullopt,
                             "AccessibilityStatusResponse");
            for (int i = 0; i < kWarmUp; ++i) {
                toHelper.once();
                toEcho.once();
            }

            // Alternating, so that both see the same load on the machine.
            std::vector<nanoseconds> helperSamples;
            std::vector<nanoseconds> echoSamples;
            const CpuMeter helperCpu(helper.pid());
            const CpuMeter echoCpu(echo.pid());
            for (int i = 0; i < kSamples; ++i) {
                helperSamples.push_back(toHelper.once());
                echoSamples.push_back(toEcho.once());
            }
            // The time each spends on a CPU per request: its own cost, which the machine's
            // load stretches less than the round trip.
            state.counters["helper_cpu_us"] = helperCpu.microsecondsPer(helperSamples.size());
            state.counters["echo_cpu_us"] = echoCpu.microsecondsPer(echoSamples.size());

            const double helperMedian = medianMicroseconds(helperSamples);
            const double echoMedian = medianMicroseconds(echoSamples);
            const double helperP99 = percentileMicroseconds(helperSamples, 99);
            const double echoP99 = percentileMicroseconds(echoSamples, 99);
            state.SetIterationTime(helperMedian / 1e6);
            state.counters["helper_median_us"] = helperMedian;
            state.counters["helper_p99_us"] = helperP99;
            state.counters["echo_median_us"] = echoMedian;
            state.counters["echo_p99_us"] = echoP99;
            state.counters["samples"] = static_cast<double>(helperSamples.size());
        }
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(AccessibilityStatusRoundTrip)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// Items in a GetCurrentShortcutResponse: more than the thousand of the large menu, or the
// helper did not walk the application we meant.
std::size_t sheetRecords(const e2e::PrivateBus& bus) {
    e2e::TestClient reader(bus);
    reader.post("GetCurrentShortcut", e2e::kHelperObject);
    const auto reply = reader.waitFor("GetCurrentShortcutResponse");
    if (!reply) {
        throw std::runtime_error("no GetCurrentShortcutResponse");
    }
    const auto it = reply->userInfo.find("currentShortcut");
    if (it == reply->userInfo.end() || !it->second.isArray()) {
        throw std::runtime_error("GetCurrentShortcutResponse without currentShortcut");
    }
    std::size_t records = 0;
    for (const Value& entry : it->second.asArray()) {
        records += entry.isDictionary() ? 1 : 0;
    }
    return records;
}

void GetCurrentShortcutRoundTrip(benchmark::State& state) {
    constexpr int kWarmUp = 3;
    constexpr int kSamples = 40;
    try {
        for (auto _ : state) {
            e2e::PrivateBus bus;
            ServiceOnBus helper(bus.address(), KIVORA_HELPER_PATH, helperArgs(kThousandItems),
                                kHelperName);
            const std::size_t records = sheetRecords(bus);
            if (records < 1000) {
                throw std::runtime_error("the sheet holds " + std::to_string(records) +
                                         " records, not the large application's 1,000");
            }
            RoundTrip trip(helper.client(), "GetCurrentShortcut", e2e::kHelperObject,
                           "GetCurrentShortcutResponse");
            std::vector<nanoseconds> samples;
            trip.run(kWarmUp, samples);
            samples.clear();
            const CpuMeter helperCpu(helper.pid());
            const CpuMeter daemonCpu(bus.pid());
            trip.run(kSamples, samples);
            // Where the time goes: the helper's walk and encoding, the daemon's passing on.
            state.counters["helper_cpu_ms"] = helperCpu.microsecondsPer(samples.size()) / 1000;
            state.counters["daemon_cpu_ms"] = daemonCpu.microsecondsPer(samples.size()) / 1000;
            for (auto& sample : samples) {
                sample -= kHarvestPause;
            }
            const double median = medianMicroseconds(samples);
            state.SetIterationTime(median / 1e6);
            state.counters["median_ms"] = median / 1000;
            state.counters["p99_ms"] = percentileMicroseconds(samples, 99) / 1000;
            state.counters["records"] = static_cast<double>(records);
            state.counters["samples"] = static_cast<double>(samples.size());
        }
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(GetCurrentShortcutRoundTrip)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kivora::bench
