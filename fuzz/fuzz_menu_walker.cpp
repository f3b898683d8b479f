// The menu-bar walker over random element trees: any attribute type, injected errors, dead
// handles, cycles and shared subtrees. The walk must end, stay within its pop budget and hand
// back press arrays that agree with the list.
#include <cstdint>
#include <string_view>
#include <variant>
#include <vector>

#include "FuzzInput.h"
#include "FuzzMenuTree.h"
#include "fakes/TestAccessibility.h"
#include "menubar/MenuBarWalker.h"

namespace {

using namespace kivora;
using kivora::fuzz::FuzzInput;

// Counts the attribute and action calls the walk makes into the tree.
class CountingAccessibility : public fake::TestAccessibility {
public:
    AXError copyAttributeValue(const AXUIElementRef& e, std::string_view name,
                               AXValue& value) override {
        ++calls;
        return TestAccessibility::copyAttributeValue(e, name, value);
    }
    AXError getAttributeValueCount(const AXUIElementRef& e, std::string_view name,
                                   std::int64_t& count) override {
        ++calls;
        return TestAccessibility::getAttributeValueCount(e, name, count);
    }
    AXError copyAttributeValues(const AXUIElementRef& e, std::string_view name, std::int64_t index,
                                std::int64_t maxValues, std::vector<AXValue>& values) override {
        ++calls;
        return TestAccessibility::copyAttributeValues(e, name, index, maxValues, values);
    }
    AXError performAction(const AXUIElementRef& e, std::string_view action) override {
        ++calls;
        return TestAccessibility::performAction(e, action);
    }

    std::int64_t calls = 0;
};

std::size_t countRecords(const ShortcutList& list) {
    std::size_t records = 0;
    for (const ShortcutEntry& entry : list) {
        FUZZ_CHECK(!std::holds_alternative<SystemShortcutRecord>(entry));
        if (const auto* record = std::get_if<MenuShortcutRecord>(&entry)) {
            ++records;
            FUZZ_CHECK(!record->modifier.empty());
        }
    }
    return records;
}

void checkHarvest(const MenuBarHarvest& harvest, const fuzz::FuzzMenuTree& tree,
                  std::int64_t calls) {
    FUZZ_CHECK(harvest.titles.size() == harvest.elements.size());
    for (std::size_t i = 0; i < harvest.titles.size(); ++i) {
        FUZZ_CHECK(!harvest.titles[i].empty());
        // Every stored element is the element the title was read from.
        const simulated::SimulatedElement* element = tree.find(harvest.elements[i]);
        FUZZ_CHECK(element != nullptr);
        auto title = element->attributes.find("AXTitle");
        FUZZ_CHECK(title != element->attributes.end());
        const Value* text = std::get_if<Value>(&title->second);
        FUZZ_CHECK(text != nullptr && text->isString() && text->asString() == harvest.titles[i]);
    }

    const std::size_t records = countRecords(harvest.list);
    // One record per pop at most, and a full budget per top-level menu at most.
    const std::size_t pops = tree.menuCount * static_cast<std::size_t>(kMenuPopBudget);
    FUZZ_CHECK(records <= pops);
    FUZZ_CHECK(harvest.titles.size() <= records);
    FUZZ_CHECK(harvest.pairs.size() <= records);
    for (const KeyCodeAndFlags& pair : harvest.pairs) {
        FUZZ_CHECK(pair.keyCode >= 0 && pair.keyCode <= 53);
        const auto text = menuModifierText(pair.flags);
        FUZZ_CHECK(text && !text->empty());
    }
    if (harvest.applicationTitle) {
        FUZZ_CHECK(!harvest.applicationTitle->empty());
        FUZZ_CHECK(!harvest.list.empty() &&
                   harvest.list.back() == ShortcutEntry(*harvest.applicationTitle));
    }
    // A handful of calls per pop, and a few per menu: the walk is bounded whatever the tree.
    FUZZ_CHECK(calls <= static_cast<std::int64_t>(16 * (pops + tree.menuCount + 4)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const bool trusted = in.below(16) != 0;
    const bool noTarget = in.below(16) == 0;

    CountingAccessibility accessibility;
    fuzz::FuzzMenuTree tree;
    // Child lists of a few hundred reach the walk's caps once a menu's budget runs low.
    fuzz::buildMenuTree(in, accessibility, tree, {.menus = 4, .repeat = 300});
    accessibility.desktop.trusted = trusted;
    const std::int32_t pid = noTarget ? 0 : fuzz::kTargetPid;

    const MenuBarHarvest harvest = walkMenuBar(accessibility, pid);
    checkHarvest(harvest, tree, accessibility.calls);
    FUZZ_CHECK(accessibility.pressed.empty());

    return 0;
}
