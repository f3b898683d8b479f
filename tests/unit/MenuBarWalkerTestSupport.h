#pragma once
// Menu bars on the fake accessibility, and the menu shortcut list in a readable form.

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "fakes/FakeAccessibility.h"
#include "menubar/MenuBarWalker.h"

namespace kivora::testing {

using Lines = std::vector<std::string>;

// A string entry as itself; a record as "Path | Title | Modifier | CmdChar | CmdGlyph".
inline Lines rendered(const Array& list) {
    Lines out;
    for (const Value& entry : list) {
        const Dictionary* record = entry.dictionary();
        if (record == nullptr) {
            out.push_back(entry.string() != nullptr ? *entry.string() : "<not text>");
            continue;
        }
        std::string line;
        const char* separator = "";
        for (const char* key :
             {"Path", "Title", "Modifier", "MenuItemCmdChar", "MenuItemCmdGlyph"}) {
            const Value* value = entry.find(key);
            line += std::exchange(separator, " | ");
            line += value != nullptr && value->string() != nullptr ? *value->string() : "?";
        }
        out.push_back(record->size() == 5 ? line : line + " <not five keys>");
    }
    return out;
}

// The fake accessibility that also logs every call (element, and attribute, action or
// "timeout") and the most values asked for in one copy.
struct RecordingAccessibility : fake::FakeAccessibility {
    std::vector<std::pair<const AXUIElement*, std::string>> calls;
    std::int64_t largestCopy = 0;

    AXError copyAttributeValue(const AXUIElementRef& e, std::string_view a, AXValue& v) override {
        calls.emplace_back(e.get(), a);
        return FakeAccessibility::copyAttributeValue(e, a, v);
    }
    AXError getAttributeValueCount(const AXUIElementRef& e, std::string_view a,
                                   std::int64_t& count) override {
        calls.emplace_back(e.get(), "count");
        return FakeAccessibility::getAttributeValueCount(e, a, count);
    }
    AXError copyAttributeValues(const AXUIElementRef& e, std::string_view a, std::int64_t index,
                                std::int64_t maxValues, std::vector<AXValue>& values) override {
        calls.emplace_back(e.get(), "children");
        largestCopy = std::max(largestCopy, maxValues);
        return FakeAccessibility::copyAttributeValues(e, a, index, maxValues, values);
    }
    AXError setMessagingTimeout(const AXUIElementRef& e, float seconds) override {
        calls.emplace_back(e.get(), "timeout");
        return FakeAccessibility::setMessagingTimeout(e, seconds);
    }
};

// The menu bar of one target application.
struct TargetMenuBar {
    static constexpr std::int32_t kPid = 4242;
    RecordingAccessibility accessibility;

    explicit TargetMenuBar(std::vector<fake::FakeElementRef> topLevelMenus) {
        accessibility.addApplication(kPid, std::move(topLevelMenus));
    }
    MenuBarHarvest walk() { return walkMenuBar(accessibility, kPid); }
    Lines sheet() { return rendered(walk().list); }
    // The application element, to break.
    fake::FakeElement& application() {
        return const_cast<fake::FakeElement&>(
            dynamic_cast<const fake::FakeElement&>(*accessibility.createApplication(kPid)));
    }
};

// Items with the command key "A".
inline std::vector<fake::FakeElementRef> commandItems(int count, const std::string& prefix) {
    std::vector<fake::FakeElementRef> items;
    for (int i = 0; i < count; ++i) {
        items.push_back(fake::menuItem(prefix + std::to_string(i), "A"));
    }
    return items;
}

}  // namespace kivora::testing
