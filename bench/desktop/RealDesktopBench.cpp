// Harvest of real applications over the accessibility bus: wall time and bus calls per
// element, for the GTK test application (about 30 elements), the same with 100 more items
// (a menu bar of over 100 items) and with a menu of 1,000 items, the Qt test application and
// mousepad; with the waits per element and the CPU time of this process. Runs on a desktop session
// of its own.
#include <benchmark/benchmark.h>

#include <time.h>

#include <cstdio>
#include <deque>

#include "DesktopHarness.h"
#include "menubar/MenuBarWalker.h"
#include "platform/linux/atspi/RealDesktop.h"

namespace kivora::desktop {
namespace {

struct Connected {
    linux_::EventPtr event;
    linux_::BusConnection bus;
    std::unique_ptr<linux_::RealDesktop> desktop;
};

Connected connect(DesktopSession& session) {
    Connected c;
    sd_event* event = nullptr;
    sd_event_new(&event);
    c.event.reset(event);
    sd_bus* bus = nullptr;
    sd_bus_new(&bus);
    c.bus.reset(bus);
    sd_bus_set_address(bus, session.bus().address().c_str());
    sd_bus_set_bus_client(bus, 1);
    sd_bus_start(bus);
    std::string error;
    c.desktop = linux_::RealDesktop::connect(event, bus, error);
    return c;
}

// Every element below the menu bar, counted through the port.
int countElements(Accessibility& ax, std::int32_t pid) {
    AXValue bar;
    if (ax.copyAttributeValue(ax.createApplication(pid), "AXMenuBar", bar) != kAXErrorSuccess) {
        return 0;
    }
    int count = 0;
    std::deque<AXUIElementRef> queue{std::get<AXUIElementRef>(bar)};
    while (!queue.empty()) {
        AXUIElementRef element = queue.front();
        queue.pop_front();
        ++count;
        std::int64_t n = 0;
        std::vector<AXValue> children;
        if (ax.getAttributeValueCount(element, "AXChildren", n) == kAXErrorSuccess &&
            ax.copyAttributeValues(element, "AXChildren", 0, n, children) == kAXErrorSuccess) {
            for (auto& child : children) {
                queue.push_back(std::get<AXUIElementRef>(child));
            }
        }
    }
    return count;
}

void harvest(benchmark::State& state, const std::string& program,
             const std::vector<std::string>& args) {
    std::string why;
    DesktopSession* session = sharedSession(why);
    if (session == nullptr) {
        state.SkipWithError(("no desktop session: " + why).c_str());
        return;
    }
    auto app = !program.starts_with("/") ? session->startTestApplication(program, args, why)
                                         : session->startApplication(program, args, why);
    if (!app) {
        state.SkipWithError(why.c_str());
        return;
    }
    Connected c = connect(*session);
    if (!c.desktop) {
        state.SkipWithError("cannot connect to the accessibility bus");
        return;
    }
    Accessibility& ax = c.desktop->accessibility();
    walkMenuBar(ax, app->pid());  // warm: the toolkit creates its accessible objects
    const int elements = countElements(ax, app->pid());
    const std::uint64_t before = c.desktop->callCount();
    const std::uint64_t waitsBefore = c.desktop->waitCount();
    timespec cpuStart{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
    std::size_t recorded = 0;
    for (auto _ : state) {
        MenuBarHarvest result = walkMenuBar(ax, app->pid());
        recorded = result.titles.size();
        benchmark::DoNotOptimize(result);
    }
    timespec cpuEnd{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuEnd);
    const auto iterations = static_cast<double>(state.iterations());
    const double calls = static_cast<double>(c.desktop->callCount() - before) / iterations;
    const double waits = static_cast<double>(c.desktop->waitCount() - waitsBefore) / iterations;
    state.counters["cpu_ms"] = (static_cast<double>(cpuEnd.tv_sec - cpuStart.tv_sec) * 1e3 +
                                static_cast<double>(cpuEnd.tv_nsec - cpuStart.tv_nsec) / 1e6) /
                               iterations;
    state.counters["waits_per_element"] = elements > 0 ? waits / elements : 0;
    state.counters["elements"] = elements;
    state.counters["recorded"] = static_cast<double>(recorded);
    state.counters["calls"] = calls;
    state.counters["calls_per_element"] = elements > 0 ? calls / elements : 0;
}

void BM_HarvestGtkTestApplication(benchmark::State& state) {
    harvest(state, "gtk", {});
}
void BM_HarvestGtkTestApplication100MoreItems(benchmark::State& state) {
    harvest(state, "gtk", {"--items", "100"});
}
void BM_HarvestGtkTestApplication1000ItemMenu(benchmark::State& state) {
    harvest(state, "gtk", {"--items", "1000"});
}
void BM_HarvestQtTestApplication(benchmark::State& state) {
    harvest(state, "qt", {});
}
void BM_HarvestMousepad(benchmark::State& state) {
    harvest(state, kMousepad, {});
}

BENCHMARK(BM_HarvestGtkTestApplication)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HarvestGtkTestApplication100MoreItems)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HarvestGtkTestApplication1000ItemMenu)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HarvestQtTestApplication)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HarvestMousepad)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kivora::desktop

BENCHMARK_MAIN();
