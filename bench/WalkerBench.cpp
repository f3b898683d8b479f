// The menu-bar walker on a synthetic menu bar of 40 top-level menus of 1,000 elements each,
// shaped like real menus (submenus, items with and without shortcuts, disabled items).
//
// BM_WalkMenuBar runs over a lean in-memory accessibility, so that the figure is the walk's
// cost per element taken off the work queue: with no shortcut at all it is the walk itself,
// with two items in five it includes building the records of the list. Freeing the list is
// left out. BM_WalkMenuBarOnTestFake runs over the test fake, whose bookkeeping (dynamic
// casts, attribute maps, error lookups) adds to it.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "fakes/TestAccessibility.h"
#include "menubar/MenuBarWalker.h"

namespace {

using kivora::AXError;
using kivora::AXUIElementRef;
using kivora::AXValue;
using kivora::Value;
using kivora::fake::SimulatedElementRef;

constexpr int kMenus = 40;
constexpr int kElementsPerMenu = 1000;  // exactly one pop budget: nothing carries over
constexpr int kSubmenus = 8;
constexpr int kSubmenuItems = 98;
// The top-level item and its menu, the submenus (item, menu, items), then plain items.
constexpr int kDirectItems = kElementsPerMenu - 2 - kSubmenus * (2 + kSubmenuItems);
constexpr std::int32_t kPid = 42;

const char* const kKeys[] = {"A", "S", "D", "F", "N", "O", "P", "W", "Q", "Z", "1", "↩", "", "⌫"};
const std::int64_t kModifiers[] = {0, 1, 2, 4, 5, 12, 3, 7};

// `withShortcut` items in five have a shortcut (two is about the share in the menus of a
// large application), with every kind of modifier; some of them are disabled, some have a
// glyph.
SimulatedElementRef item(int menu, int index, int withShortcut) {
    const std::string title = "Item " + std::to_string(menu) + "." + std::to_string(index);
    if (index % 5 >= withShortcut) {
        return kivora::fake::menuItem(title, std::nullopt);
    }
    SimulatedElementRef e =
        kivora::fake::menuItem(title, kKeys[index % std::size(kKeys)],
                               kModifiers[index % std::size(kModifiers)], index % 17 != 0);
    if (index % 11 == 0) {
        e->attributes["AXMenuItemCmdGlyph"] = Value("⌦");
    }
    return e;
}

std::vector<SimulatedElementRef> syntheticMenuBar(int withShortcut) {
    std::vector<SimulatedElementRef> menus;
    for (int m = 0; m < kMenus; ++m) {
        std::vector<SimulatedElementRef> entries;
        int index = 0;
        for (int s = 0; s < kSubmenus; ++s) {
            std::vector<SimulatedElementRef> items;
            for (int i = 0; i < kSubmenuItems; ++i) {
                items.push_back(item(m, index++, withShortcut));
            }
            entries.push_back(kivora::fake::submenu("Submenu " + std::to_string(s), items));
            for (int i = 0; i < kDirectItems / kSubmenus; ++i) {
                entries.push_back(item(m, index++, withShortcut));
            }
        }
        while (index < kSubmenus * kSubmenuItems + kDirectItems) {
            entries.push_back(item(m, index++, withShortcut));
        }
        menus.push_back(kivora::fake::topLevelMenu("Menu " + std::to_string(m), entries));
    }
    return menus;
}

// The same tree, served with as little work per call as an in-memory tree allows.
struct LeanElement : kivora::AXUIElement {
    std::vector<AXValue> children;
    AXValue menuBar, title, enabled, modifiers, cmdChar, glyph;
};

class LeanAccessibility : public kivora::Accessibility {
public:
    explicit LeanAccessibility(const std::vector<SimulatedElementRef>& menus) {
        auto bar = std::make_shared<LeanElement>();
        for (const auto& menu : menus) {
            bar->children.emplace_back(copy(*menu));
        }
        application_->menuBar = AXUIElementRef(bar);
    }

    bool isProcessTrusted() override { return true; }
    bool isProcessTrustedWithPrompt() override { return true; }
    AXUIElementRef createApplication(std::int32_t) override { return application_; }
    AXError copyAttributeValue(const AXUIElementRef& element, std::string_view attribute,
                               AXValue& value) override {
        const AXValue* found = attributeOf(lean(element), attribute);
        if (found == nullptr ||
            (std::holds_alternative<Value>(*found) && std::get<Value>(*found).isNull())) {
            return kivora::kAXErrorNoValue;
        }
        value = *found;
        return kivora::kAXErrorSuccess;
    }
    AXError getAttributeValueCount(const AXUIElementRef& element, std::string_view,
                                   std::int64_t& count) override {
        count = static_cast<std::int64_t>(lean(element).children.size());
        return kivora::kAXErrorSuccess;
    }
    AXError copyAttributeValues(const AXUIElementRef& element, std::string_view, std::int64_t index,
                                std::int64_t maxValues, std::vector<AXValue>& values) override {
        const auto& children = lean(element).children;
        const auto size = static_cast<std::int64_t>(children.size());
        const std::int64_t begin = std::min(index, size);
        values.assign(children.begin() + begin,
                      children.begin() + std::min(size, begin + maxValues));
        return kivora::kAXErrorSuccess;
    }
    AXError performAction(const AXUIElementRef&, std::string_view) override {
        return kivora::kAXErrorSuccess;
    }
    AXError setMessagingTimeout(const AXUIElementRef&, float) override {
        return kivora::kAXErrorSuccess;
    }

private:
    static const LeanElement& lean(const AXUIElementRef& element) {
        return static_cast<const LeanElement&>(*element);
    }
    static const AXValue* attributeOf(const LeanElement& e, std::string_view attribute) {
        switch (attribute.size()) {
            case 7:
                return &e.title;
            case 9:
                return attribute[2] == 'E' ? &e.enabled : &e.menuBar;
            case 17:
                return &e.cmdChar;
            case 18:
                return &e.glyph;
            case 22:
                return &e.modifiers;
            default:
                return nullptr;
        }
    }
    static AXUIElementRef copy(const kivora::fake::SimulatedElement& from) {
        auto to = std::make_shared<LeanElement>();
        auto take = [&from](const char* name, AXValue& into) {
            auto it = from.attributes.find(name);
            if (it != from.attributes.end()) {
                into = it->second;
            }
        };
        take("AXTitle", to->title);
        take("AXEnabled", to->enabled);
        take("AXMenuItemCmdModifiers", to->modifiers);
        take("AXMenuItemCmdChar", to->cmdChar);
        take("AXMenuItemCmdGlyph", to->glyph);
        for (const AXValue& child : from.children) {
            to->children.emplace_back(copy(static_cast<const kivora::fake::SimulatedElement&>(
                *std::get<AXUIElementRef>(child))));
        }
        return to;
    }

    std::shared_ptr<LeanElement> application_ = std::make_shared<LeanElement>();
};

void walk(benchmark::State& state, kivora::Accessibility& accessibility) {
    std::size_t entries = 0;
    for (auto _ : state) {
        kivora::MenuBarHarvest harvest = kivora::walkMenuBar(accessibility, kPid);
        entries = harvest.list.size();
        benchmark::DoNotOptimize(harvest);
        // The walk is done once it returns; freeing the list is its reader's business.
        state.PauseTiming();
        harvest = {};
        state.ResumeTiming();
    }
    // Every element is taken off the work queue exactly once.
    state.counters["entries"] = static_cast<double>(entries);
    state.counters["per_element"] = benchmark::Counter(
        kMenus * kElementsPerMenu,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Arg: items in five with a shortcut. With none, nothing is recorded: the walk's own cost.
void BM_WalkMenuBar(benchmark::State& state) {
    LeanAccessibility accessibility(syntheticMenuBar(static_cast<int>(state.range(0))));
    walk(state, accessibility);
}
BENCHMARK(BM_WalkMenuBar)->ArgName("withShortcut")->Arg(2)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_WalkMenuBarOnTestFake(benchmark::State& state) {
    kivora::fake::TestAccessibility accessibility;
    accessibility.addApplication(kPid, syntheticMenuBar(2));
    walk(state, accessibility);
}
BENCHMARK(BM_WalkMenuBarOnTestFake)->Unit(benchmark::kMillisecond);

}  // namespace
