#pragma once
// Menu bars on the in-memory tree, and the menu shortcut list in a readable form.

#include <algorithm>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fakes/TestAccessibility.h"
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

inline Lines rendered(const ShortcutList& list) {
    return rendered(toArray(list));
}

// The test accessibility that also logs every call (element, and attribute, action or
// "timeout") and the most values asked for in one copy, and fails the copy of the children of
// the elements in failCopy (after their count succeeded).
struct RecordingAccessibility : fake::TestAccessibility {
    std::vector<std::pair<const AXUIElement*, std::string>> calls;
    std::int64_t largestCopy = 0;
    std::set<const AXUIElement*> failCopy;

    AXError copyAttributeValue(const AXUIElementRef& e, std::string_view a, AXValue& v) override {
        calls.emplace_back(e.get(), a);
        return TestAccessibility::copyAttributeValue(e, a, v);
    }
    AXError getAttributeValueCount(const AXUIElementRef& e, std::string_view a,
                                   std::int64_t& count) override {
        calls.emplace_back(e.get(), "count");
        return TestAccessibility::getAttributeValueCount(e, a, count);
    }
    AXError copyAttributeValues(const AXUIElementRef& e, std::string_view a, std::int64_t index,
                                std::int64_t maxValues, std::vector<AXValue>& values) override {
        calls.emplace_back(e.get(), "children");
        largestCopy = std::max(largestCopy, maxValues);
        if (failCopy.contains(e.get())) {
            return kAXErrorAttributeUnsupported;
        }
        return TestAccessibility::copyAttributeValues(e, a, index, maxValues, values);
    }
    AXError setMessagingTimeout(const AXUIElementRef& e, float seconds) override {
        calls.emplace_back(e.get(), "timeout");
        return TestAccessibility::setMessagingTimeout(e, seconds);
    }
};

// The menu bar of one target application.
struct TargetMenuBar {
    static constexpr std::int32_t kPid = 4242;
    RecordingAccessibility accessibility;

    explicit TargetMenuBar(std::vector<fake::SimulatedElementRef> topLevelMenus) {
        accessibility.addApplication(kPid, std::move(topLevelMenus));
    }
    MenuBarHarvest walk() { return walkMenuBar(accessibility, kPid); }
    Lines sheet() { return rendered(walk().list); }
    // The application element, to break.
    fake::SimulatedElement& application() {
        return *accessibility.desktop.applications[0]->element;
    }
};

// Items with the command key "A".
inline std::vector<fake::SimulatedElementRef> commandItems(int count, const std::string& prefix) {
    std::vector<fake::SimulatedElementRef> items;
    for (int i = 0; i < count; ++i) {
        items.push_back(fake::menuItem(prefix + std::to_string(i), "A"));
    }
    return items;
}

}  // namespace kivora::testing
