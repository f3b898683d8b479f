#include "e2e/support/Demo.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "e2e/support/PrivateBus.h"

namespace kivora::e2e {

std::string demoDesktop() {
    return std::string(KIVORA_BUNDLE_DIR) + "/Resources/demo-desktop.json";
}

std::string extraDesktop(std::string_view fileName) {
    return std::string(KIVORA_SOURCE_DIR) + "/resources/desktops/" + std::string(fileName);
}

std::string copyDemoHome(const TempDir& folder) {
    namespace fs = std::filesystem;
    const fs::path home = folder.file("home");
    fs::create_directories(home);
    fs::copy(fs::path(KIVORA_SOURCE_DIR) / "resources/demo/home", home,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    return home.string();
}

std::unique_ptr<HelperProcess> startHelper(const PrivateBus& bus, HelperOptions options) {
    auto helper = std::make_unique<HelperProcess>(bus, std::move(options));
    if (!helper->waitUntilOwnsName()) {
        ADD_FAILURE() << "the helper did not take its bus name\n" << helper->describe();
        return nullptr;
    }
    return helper;
}

std::vector<std::string> sheetLines(const Value& list) {
    std::vector<std::string> lines;
    const Array* entries = list.array();
    if (entries == nullptr) {
        return {"? not a list: " + toDebugString(list)};
    }
    for (std::size_t i = 0; i < entries->size(); ++i) {
        const Value& entry = (*entries)[i];
        if (const std::string* text = entry.string()) {
            // The last string is the application title; every other one is a header.
            lines.push_back(i + 1 == entries->size() ? *text : "# " + *text);
            continue;
        }
        const Dictionary* record = entry.dictionary();
        std::string line;
        bool wellFormed = record != nullptr && record->size() == 5;
        for (const char* key :
             {"Path", "Title", "Modifier", "MenuItemCmdChar", "MenuItemCmdGlyph"}) {
            const Value* value = entry.find(key);
            wellFormed = wellFormed && value != nullptr && value->isString();
            if (wellFormed) {
                const std::string& text = value->asString();
                line += (line.empty() ? "" : " | ") + (text.empty() ? "∅" : text);
            }
        }
        lines.push_back(wellFormed ? line : "? " + toDebugString(entry));
    }
    return lines;
}

const Value& currentShortcut(const Notification& reply) {
    static const Value none;
    const auto it = reply.userInfo.find("currentShortcut");
    return it == reply.userInfo.end() ? none : it->second;
}

}  // namespace kivora::e2e
