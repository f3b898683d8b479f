// The helper's own work for one GetCurrentShortcut on the 1,000-item application, in process:
// the walk over the simulated desktop that the helper serves, and the encoding of the reply
// into a bus message. Together they are the part of the round trip that is the helper's.
#include <benchmark/benchmark.h>

#include <stdexcept>
#include <string>

#include "e2e/support/TestClient.h"
#include "e2e/support/PrivateBus.h"
#include "menubar/MenuBarWalker.h"
#include "platform/linux/wire/DBusNotificationCodec.h"
#include "platform/linux/SimulatedDesktop.h"

namespace kivora::bench {
namespace {

constexpr std::int32_t kLargeApplication = 7000;
const std::string kThousandItems =
    std::string(KIVORA_SOURCE_DIR) + "/resources/desktops/thousand-items.json";

std::unique_ptr<linux_::SimulatedDesktop> thousandItems() {
    std::string error;
    auto desktop = linux_::SimulatedDesktop::load(kThousandItems, error);
    if (!desktop) {
        throw std::runtime_error(error);
    }
    return desktop;
}

void WalkThousandItems(benchmark::State& state) {
    try {
        auto desktop = thousandItems();
        std::size_t entries = 0;
        for (auto _ : state) {
            MenuBarHarvest harvest = walkMenuBar(desktop->accessibility(), kLargeApplication);
            entries = harvest.list.size();
            benchmark::DoNotOptimize(harvest);
        }
        state.counters["entries"] = static_cast<double>(entries);
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(WalkThousandItems)->Unit(benchmark::kMicrosecond);

void EncodeThousandItems(benchmark::State& state) {
    try {
        auto desktop = thousandItems();
        const Dictionary userInfo{
            {"currentShortcut", walkMenuBar(desktop->accessibility(), kLargeApplication).list}};
        // A message needs an open connection; nothing is sent.
        e2e::PrivateBus bus;
        e2e::TestClient client(bus);
        for (auto _ : state) {
            linux_::wire::EncodeResult encoded =
                linux_::wire::encodePost(client.bus(), "GetCurrentShortcutResponse",
                                         std::string("org.morvane.Kivora"), userInfo);
            if (!encoded.message) {
                throw std::runtime_error(encoded.error);
            }
            benchmark::DoNotOptimize(encoded);
        }
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}
BENCHMARK(EncodeThousandItems)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kivora::bench
