// The desktop-file loader on random text written to a file. A file that loads is then served:
// every application's menu bar is walked and every harvested item pressed, with and without
// the permission. A file that does not load gets a one-line error naming the file.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzInput.h"
#include "menubar/MenuBarWalker.h"
#include "platform/Json.h"
#include "platform/linux/SimulatedDesktop.h"

namespace {

using namespace kivora;

std::filesystem::path directory;

void removeDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
}

// Whether any element asks for a delay (the key may be written with escapes).
bool hasDelays(const Value& value) {
    if (const Dictionary* object = value.dictionary()) {
        for (const auto& [key, item] : *object) {
            if (key == "AXDelayMs" || hasDelays(item)) {
                return true;
            }
        }
    } else if (const Array* array = value.array()) {
        for (const Value& item : *array) {
            if (hasDelays(item)) {
                return true;
            }
        }
    }
    return false;
}

// The process identifiers the document names, read with the loader's own JSON limits.
std::vector<std::int32_t> processIdentifiers(const Value& document) {
    std::vector<std::int32_t> pids;
    const Value* apps = document.find("applications");
    if (apps == nullptr || !apps->isArray()) {
        return pids;
    }
    for (const Value& app : apps->asArray()) {
        const Value* pid = app.find("processIdentifier");
        if (pid != nullptr && pid->isInteger()) {
            pids.push_back(static_cast<std::int32_t>(pid->asInteger()));
        }
    }
    return pids;
}

void serve(linux_::SimulatedDesktop& desktop, const std::vector<std::int32_t>& pids) {
    Accessibility& accessibility = desktop.accessibility();
    for (const std::int32_t pid : pids) {
        FUZZ_CHECK(desktop.activateProcess(pid));
        const RunningApplicationRef front = desktop.workspace().frontmostApplication();
        FUZZ_CHECK(front && front->processIdentifier() == pid);

        const MenuBarHarvest harvest = walkMenuBar(accessibility, pid);
        FUZZ_CHECK(harvest.titles.size() == harvest.elements.size());
        for (std::size_t i = 0; i < harvest.elements.size(); ++i) {
            const std::size_t before = desktop.pressedItems().size();
            const AXError result = accessibility.performAction(harvest.elements[i], "AXPress");
            const auto pressed = desktop.pressedItems();
            if (before + 1 >= simulated::SimulatedDesktopModel::kMaxRecords) {
                continue;  // the record keeps the newest presses only
            }
            FUZZ_CHECK(pressed.size() == before + (result == kAXErrorSuccess ? 1 : 0));
            if (result == kAXErrorSuccess) {
                // The recorded path ends with the title the walk read.
                FUZZ_CHECK(pressed.back().ends_with(harvest.titles[i]));
            }
        }
    }
    desktop.setTrusted(false);
    for (const std::int32_t pid : pids) {
        const MenuBarHarvest harvest = walkMenuBar(accessibility, pid);
        FUZZ_CHECK(harvest.list.empty());
    }
    FUZZ_CHECK(desktop.activateProcess(0));
    FUZZ_CHECK(!desktop.workspace().frontmostApplication());
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/kivora-fuzz-desktop-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        std::exit(1);
    }
    directory = pattern;
    std::atexit(removeDirectory);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto path = directory / "desktop.json";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(text.data(), static_cast<std::streamsize>(text.size()));

    std::string error;
    auto model = linux_::SimulatedDesktop::load(path.string(), error);
    if (!model) {
        FUZZ_CHECK(error.starts_with(path.string() + ": "));
        FUZZ_CHECK(error.find('\n') == std::string::npos);
        return 0;
    }
    FUZZ_CHECK(error.empty());
    json::Limits limits;
    limits.maxBytes = 64 * 1024 * 1024;
    const auto document = json::parse(text, limits);
    FUZZ_CHECK(document.value);
    // Injected delays are real sleeps; the loader has read them, serving them would only
    // slow the fuzzer down.
    if (!hasDelays(*document.value)) {
        linux_::SimulatedDesktop desktop(std::move(*model), nullptr, nullptr);
        serve(desktop, processIdentifiers(*document.value));
    }
    return 0;
}
