// One run of the system shortcut catalogue, from real files: goals under 2 ms when every row
// falls back to the bundle's default file (44 loads of it) and under 300 µs when the user's
// own binary preferences serve every row.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "fakes/FakeBundle.h"
#include "fakes/FakePreferences.h"
#include "platform/PropertyList.h"
#include "platform/linux/FilePreferences.h"
#include "system/SystemShortcutCatalogue.h"
#include "system/SystemShortcutTable.h"

namespace {

using namespace kivora;

const std::string kDefaultFile =
    std::string(KIVORA_SOURCE_DIR) + "/resources/bundle/com.apple.symbolichotkeys.plist";

// Lines are counted, not kept: the benchmark measures the catalogue, not a log.
class CountingConsole : public Console {
public:
    void writeLine(std::string_view) override { ++lines; }
    std::size_t lines = 0;
};

void AllRowsFromTheDefaultFile(benchmark::State& state) {
    fake::FakePreferences preferences;
    preferences.stored["com.apple.symbolichotkeys"] =
        Dictionary{{"AppleSymbolicHotKeys", Dictionary{}}};
    fake::FakeBundle bundle;
    bundle.resources["com.apple.symbolichotkeys.plist"] = kDefaultFile;
    CountingConsole console;
    std::size_t records = 0;
    for (auto _ : state) {
        SystemShortcutHarvest harvest = readSystemShortcuts(preferences, bundle, console);
        records = harvest.pairs.size();
        benchmark::DoNotOptimize(harvest);
    }
    state.counters["records"] = static_cast<double>(records);
    state.counters["fileLoads"] =
        static_cast<double>(bundle.lookups) / static_cast<double>(state.iterations());
}
BENCHMARK(AllRowsFromTheDefaultFile)->Unit(benchmark::kMicrosecond);

// A binary preferences file as the system writes it: every table row usable, plus entries
// for IDs the table does not know, 60 in all.
std::string usersBinaryFile() {
    Dictionary hotKeys;
    for (std::string_view row : systemShortcutTable()) {
        hotKeys[std::string(row.substr(0, row.find(':')))] = Dictionary{
            {"enabled", true},
            {"value",
             Dictionary{{"parameters", Array{65535, 49, 0x100000}}, {"type", "standard"}}}};
    }
    for (int id = 180; hotKeys.size() < 60; ++id) {
        hotKeys[std::to_string(id)] = Dictionary{{"enabled", false}};
    }
    return plist::serialize(Dictionary{{"AppleSymbolicHotKeys", std::move(hotKeys)}},
                            plist::Format::binary)
        .value();
}

void AllRowsFromTheUsersFile(benchmark::State& state) {
    std::random_device random;
    const auto home = std::filesystem::temp_directory_path() /
                      ("kivora-bench-" + std::to_string(random()) + std::to_string(random()));
    const auto file = home / "Library/Preferences/com.apple.symbolichotkeys.plist";
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << usersBinaryFile();

    linux_::FilePreferences preferences(home.string());
    fake::FakeBundle bundle;
    bundle.resources["com.apple.symbolichotkeys.plist"] = kDefaultFile;
    CountingConsole console;
    std::size_t records = 0;
    for (auto _ : state) {
        SystemShortcutHarvest harvest = readSystemShortcuts(preferences, bundle, console);
        records = harvest.pairs.size();
        benchmark::DoNotOptimize(harvest);
    }
    state.counters["records"] = static_cast<double>(records);
    state.counters["fileLoads"] =
        static_cast<double>(bundle.lookups) / static_cast<double>(state.iterations());
    std::filesystem::remove_all(home);
}
BENCHMARK(AllRowsFromTheUsersFile)->Unit(benchmark::kMicrosecond);

}  // namespace
