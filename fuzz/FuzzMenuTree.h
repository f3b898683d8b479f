#pragma once
// A simulated accessibility tree built from fuzz input: elements with attributes of any type,
// injected errors, dead handles, children that are plain values or not a list at all, and
// children that point anywhere in the tree (at themselves, at their ancestors), so cycles and
// shared subtrees occur.
//
// Input: element count, menu-bar kind, then per element a flags byte and what it announces
// (title, enabled, command character, modifiers, glyph, errors, children, validity).

#include <cstdint>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "fakes/TestAccessibility.h"
#include "menubar/MenuBarWalker.h"

namespace kivora::fuzz {

inline constexpr std::int32_t kTargetPid = 4242;
inline constexpr std::size_t kMaxElements = 48;
// Children across the whole tree; repeats make long child lists cheaply, this keeps one
// input's tree small enough to build and walk many times a second.
inline constexpr std::size_t kMaxChildren = 20000;

inline constexpr const char* kAttributeNames[] = {
    "AXChildren",         "AXTitle", "AXEnabled", "AXMenuItemCmdChar", "AXMenuItemCmdModifiers",
    "AXMenuItemCmdGlyph", "AXPress",
};
inline constexpr AXError kErrors[] = {
    kAXErrorFailure,
    kAXErrorIllegalArgument,
    kAXErrorInvalidUIElement,
    kAXErrorCannotComplete,
    kAXErrorAttributeUnsupported,
    kAXErrorNotImplemented,
    kAXErrorAPIDisabled,
    kAXErrorNoValue,
    -1,
};

struct FuzzMenuTree {
    std::vector<simulated::SimulatedElementRef> elements;
    simulated::SimulatedElementRef application;
    std::size_t menuCount = 0;

    FuzzMenuTree() = default;
    FuzzMenuTree(const FuzzMenuTree&) = delete;
    FuzzMenuTree& operator=(const FuzzMenuTree&) = delete;
    // Elements refer to each other in cycles; cut them so that the tree is freed.
    ~FuzzMenuTree() {
        for (auto& e : elements) {
            e->children.clear();
            e->childrenValue.reset();
            e->attributes.clear();
        }
        if (application) {
            application->attributes.clear();
        }
    }

    // The element behind a handle the walker returned, or null when it is not one of ours.
    const simulated::SimulatedElement* find(const AXUIElementRef& handle) const {
        for (const auto& e : elements) {
            if (e.get() == handle.get()) {
                return e.get();
            }
        }
        return nullptr;
    }
};

inline AXValue attributeValue(FuzzInput& in, const FuzzMenuTree& tree) {
    switch (in.byte() % 8) {
        case 0:
        case 1:
        case 2:
        case 3:
            return Value(word(in));
        case 4:  // small integers reach every modifier combination
            return Value(static_cast<std::int64_t>(static_cast<std::int8_t>(in.byte())));
        case 5:
            return Value(in.pick(kReals));
        case 6:
            return AXUIElementRef(tree.elements[in.below(tree.elements.size())]);
        default:
            return plainValue(in, 2);
    }
}

// How large a tree may grow. A cycle costs the walk its whole pop budget per top-level menu,
// and a container in a cycle is copied once per pop, so these bound the time of one input.
struct TreeLimits {
    std::size_t menus;   // children of the menu bar
    std::size_t repeat;  // how often one element may list the same child
};

// Builds the tree and registers it as the application kTargetPid.
inline void buildMenuTree(FuzzInput& in, fake::TestAccessibility& accessibility, FuzzMenuTree& tree,
                          TreeLimits limits) {
    tree.application = accessibility.addApplication(kTargetPid, {});
    // Marked as the application's directly: adopting a cyclic tree element by element would
    // walk it once per element.
    const std::size_t count = 1 + in.below(kMaxElements);
    for (std::size_t i = 0; i < count; ++i) {
        tree.elements.push_back(simulated::makeElement());
        tree.elements.back()->owner = tree.application->owner;
        tree.elements.back()->application = tree.application->application;
    }
    switch (in.byte() % 8) {
        case 0:
            tree.application->attributes["AXMenuBar"] = plainValue(in, 1);
            break;
        case 1:
            tree.application->attributes.erase("AXMenuBar");
            break;
        case 2:
            tree.application->errors["AXMenuBar"] = in.pick(kErrors);
            break;
        case 3:
            tree.application->valid = false;
            break;
        default:
            tree.application->attributes["AXMenuBar"] = AXUIElementRef(tree.elements[0]);
    }

    std::size_t childBudget = kMaxChildren;
    for (std::size_t i = 0; i < count; ++i) {
        simulated::SimulatedElement& e = *tree.elements[i];
        const std::uint8_t flags = in.byte();
        if (flags & 0x01) {
            e.attributes["AXTitle"] = attributeValue(in, tree);
        }
        if (flags & 0x02) {
            e.attributes["AXEnabled"] =
                in.flag() ? AXValue(Value(in.flag())) : attributeValue(in, tree);
        }
        if (flags & 0x04) {
            e.attributes["AXMenuItemCmdChar"] = attributeValue(in, tree);
        }
        if (flags & 0x08) {
            e.attributes["AXMenuItemCmdModifiers"] = attributeValue(in, tree);
        }
        if (flags & 0x10) {
            e.attributes["AXMenuItemCmdGlyph"] = attributeValue(in, tree);
        }
        if (flags & 0x20) {
            for (std::size_t k = 1 + in.below(2); k > 0; --k) {
                const char* name = in.pick(kAttributeNames);
                e.errors[name] = in.pick(kErrors);
            }
        }
        if (flags & 0x40) {
            e.hasChildrenArray = true;
            const std::size_t children = in.below(i == 0 ? limits.menus + 1 : 9);
            if (children == 0 && in.flag()) {
                e.hasChildrenArray = false;
                e.childrenValue = plainValue(in, 1);  // "AXChildren" that is not a list
            }
            for (std::size_t c = 0; c < children && childBudget > 0; ++c) {
                const std::uint8_t kind = in.byte();
                if (kind < 208) {
                    e.children.emplace_back(AXUIElementRef(tree.elements[in.below(count)]));
                    --childBudget;
                } else if (kind < 232) {
                    e.children.emplace_back(plainValue(in, 1));
                    --childBudget;
                } else if (i != 0) {
                    // One element listed many times over.
                    const AXUIElementRef child(tree.elements[in.below(count)]);
                    std::size_t times = 1 + in.u16() % limits.repeat;
                    times = times < childBudget ? times : childBudget;
                    e.children.insert(e.children.end(), times, AXValue(child));
                    childBudget -= times;
                }
            }
        }
        if (flags & 0x80) {
            e.valid = in.below(4) != 0;
        }
    }
    tree.menuCount = tree.elements[0]->children.size();
}

}  // namespace kivora::fuzz
