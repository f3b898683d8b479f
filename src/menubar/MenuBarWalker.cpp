#include "menubar/MenuBarWalker.h"

#include <algorithm>
#include <cmath>
#include <string_view>
#include <utility>

#include "keys/KeyManager.h"
#include "menubar/MenuWorkQueue.h"
#include "platform/UnicodeString.h"

namespace kivora {

namespace {

constexpr std::string_view kChildren = "AXChildren";
constexpr std::string_view kTitle = "AXTitle";
constexpr std::string_view kAppleMenuTitle = "Apple";
constexpr std::string_view kAppleLogo = "\uF8FF";
// The Services submenu of the application menu lists other applications' services.
constexpr std::string_view kServices = "Services";
constexpr std::string_view kServicesChinese = "服务";
// A tree puts about one element into the queue per pop; more than this is rare enough to
// grow into.
constexpr std::size_t kReservedHandles = 32768;

using Title = std::optional<std::string>;

bool sameTitle(const Title& a, const Title& b) {
    if (!a || !b) {
        return !a && !b;
    }
    return canonicallyEqual(*a, *b);
}

// The element in a value, or null for a plain value.
AXUIElementRef elementIn(const AXValue& value) {
    const auto* element = std::get_if<AXUIElementRef>(&value);
    return element != nullptr ? *element : nullptr;
}

// The element in a value, moved out: the caller owns the value and drops it next. Saves a
// reference-count round trip per child.
AXUIElementRef takeElementIn(AXValue& value) {
    auto* element = std::get_if<AXUIElementRef>(&value);
    return element != nullptr ? std::move(*element) : nullptr;
}

// The plain value read, or null when it is an element or nothing was read.
const Value* plainIn(const AXValue* value) {
    return value != nullptr ? std::get_if<Value>(value) : nullptr;
}

// The text read, or null when the value is anything else or nothing was read.
const std::string* textIn(const AXValue* value) {
    const Value* plain = plainIn(value);
    return plain != nullptr ? plain->string() : nullptr;
}

// A number read the way the platform reads an integer from it: reals are truncated toward
// zero; a real without an integer value (not finite, out of range) gives none.
std::optional<std::int64_t> integerOf(const Value& number) {
    if (number.isInteger()) {
        return number.asInteger();
    }
    const double real = std::trunc(number.asReal());
    // 2^63 is exact as a double; every finite double below it converts.
    constexpr double kLimit = 9223372036854775808.0;
    if (!(real >= -kLimit && real < kLimit)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(real);
}

class MenuBarWalk {
public:
    MenuBarWalk(Accessibility& accessibility, const RunLoop* clock)
        : ax_(accessibility),
          clock_(clock),
          deadline_(clock != nullptr ? clock->monotonicSeconds() + kMenuWalkDeadline : 0.0) {}

    MenuBarHarvest run(std::int32_t processIdentifier) {
        walkMenuBar(processIdentifier);
        if (applicationTitle_ && !applicationTitle_->empty()) {
            harvest_.list.emplace_back(*applicationTitle_);
            harvest_.applicationTitle = std::move(applicationTitle_);
        }
        harvest_.timedOut = timedOut_;
        return std::move(harvest_);
    }

private:
    void walkMenuBar(std::int32_t processIdentifier) {
        const AXUIElementRef application = ax_.createApplication(processIdentifier);
        limitWait(application);
        AXValue value;
        if (read(application, "AXMenuBar", value) == nullptr) {
            return;
        }
        const AXUIElementRef menuBar = elementIn(value);
        if (!menuBar) {
            return;
        }
        limitWait(menuBar);
        std::int64_t count = -1;
        if (countOf(menuBar, count) != kAXErrorSuccess || count <= 0) {
            return;
        }
        std::vector<AXValue> menus;
        if (childrenOf(menuBar, count, menus) != kAXErrorSuccess) {
            return;
        }
        queue_.reserve(std::min(menus.size() * kMenuPopBudget, kReservedHandles));
        for (std::size_t i = 0; i < menus.size() && !timedOut_; ++i) {
            walkTopLevelMenu(menus[i], i, menus.size() - i - 1);
        }
    }

    void walkTopLevelMenu(const AXValue& menu, std::size_t index, std::size_t menusAfter) {
        const AXUIElementRef element = elementIn(menu);
        Title title;
        if (element) {
            limitWait(element);
            title = readText(element, kTitle);
            if (timedOut_) {
                return;
            }
        }
        if (index == 1) {
            applicationTitle_ = title;
        }
        setTopLevelTitle(std::move(title));
        appleChecked_ = false;
        menusAfter_ = menusAfter;
        budget_ = kMenuPopBudget;
        enqueue(element);

        // The queue, the set-aside list and the submenu title carry over from the menu before
        // when its budget ran out.
        for (;;) {
            if (queue_.queueEmpty()) {
                if (queue_.setAsideEmpty()) {
                    return;
                }
                queue_.restoreSetAside();
                setSubmenuTitle(std::nullopt);
                continue;
            }
            const AXUIElementRef next = queue_.pop();
            --budget_;
            visit(next);
            if (timedOut_ || budget_ == 0) {
                return;
            }
        }
    }

    void visit(const AXUIElementRef& element) {
        if (!element) {
            return;  // not an element: nothing to count
        }
        limitWait(element);
        std::int64_t count = -1;
        if (countOf(element, count) != kAXErrorSuccess) {
            return;
        }
        if (count > 0) {
            descend(element, count);
        } else if (count == 0) {
            recordItem(element);
        }
    }

    void descend(const AXUIElementRef& container, std::int64_t count) {
        const std::int64_t room = remainingPops();
        children_.clear();
        if (childrenOf(container, std::min(count, room), children_) != kAXErrorSuccess) {
            return;
        }
        Title title = readText(container, kTitle);
        if (timedOut_) {
            return;
        }
        if (!sameTitle(title, topLevelTitle_) && queue_.setAsideEmpty()) {
            // A submenu: its items are walked (breadth first, nested ones included) before
            // the rest of the menu, under its title.
            queue_.setQueueAside();
            setSubmenuTitle(std::move(title));
        }
        for (AXValue& child : children_) {
            enqueue(takeElementIn(child));
        }
    }

    void recordItem(const AXUIElementRef& item) {
        // All five are read, in this order, before any filter looks at them.
        const AXValue* enabledValue = read(item, "AXEnabled", enabled_);
        const AXValue* titleValue = timedOut_ ? nullptr : read(item, kTitle, title_);
        const AXValue* modifiersValue =
            timedOut_ ? nullptr : read(item, "AXMenuItemCmdModifiers", modifiers_);
        const AXValue* cmdCharValue =
            timedOut_ ? nullptr : read(item, "AXMenuItemCmdChar", cmdChar_);
        const AXValue* glyphValue = timedOut_ ? nullptr : read(item, "AXMenuItemCmdGlyph", glyph_);
        if (timedOut_) {
            return;  // half read: not recorded
        }
        const std::string* title = textIn(titleValue);
        const std::string* cmdChar = textIn(cmdCharValue);
        const std::string* glyph = textIn(glyphValue);  // a numeric glyph counts as none
        if (cmdChar == nullptr && glyph == nullptr) {
            return;  // most items: no shortcut, so no need for the modifier text
        }

        std::optional<std::int64_t> modifiers = 0;
        if (const Value* number = plainIn(modifiersValue);
            number != nullptr && number->isNumber()) {
            modifiers = integerOf(*number);
        }
        std::optional<std::string> modifierText =
            modifiers ? menuModifierText(*modifiers) : std::nullopt;
        if (!modifierText || modifierText->empty()) {
            return;
        }
        const Value* enabled = plainIn(enabledValue);
        if (enabled != nullptr && enabled->isBool() && !enabled->asBool()) {
            return;
        }
        if (!appleChecked_) {
            appleChecked_ = true;
            if (topLevelTitle_ && canonicallyEqual(*topLevelTitle_, kAppleMenuTitle)) {
                setTopLevelTitle(std::string(kAppleLogo));
            }
        }
        if (submenuIsServices_) {
            return;
        }
        const std::string& top = topLevelText_;
        std::string path;
        path.reserve(top.size() + (submenuTitle_ ? 1 + submenuTitle_->size() : 0));
        path += top;
        if (submenuTitle_) {
            path += '/';
            path += *submenuTitle_;
        }

        if (!menuHeaderWritten_) {
            if (!canonicallyEqual(top, lastMenuHeader_)) {
                harvest_.list.emplace_back(top);
            }
            lastMenuHeader_ = top;
            menuHeaderWritten_ = true;
        }
        if (submenuTitle_ && !submenuHeaderWritten_) {
            if (!lastSubmenuHeader_ || !canonicallyEqual(*submenuTitle_, *lastSubmenuHeader_)) {
                harvest_.list.emplace_back(path);
            }
            lastSubmenuHeader_ = submenuTitle_;
            submenuHeaderWritten_ = true;
        }

        if (title != nullptr && !title->empty()) {
            harvest_.titles.push_back(*title);
            harvest_.elements.push_back(item);
        }
        const std::optional<std::int64_t> keyCode = KeyManager::shared().keyCodeForKeyName(
            cmdChar != nullptr ? std::string_view(*cmdChar) : std::string_view());
        // Filled in place: a temporary record would cost five string moves more per item.
        auto& record = std::get<MenuShortcutRecord>(
            harvest_.list.emplace_back(std::in_place_type<MenuShortcutRecord>));
        if (cmdChar != nullptr) {
            record.cmdChar = *cmdChar;
        }
        if (glyph != nullptr) {
            record.glyph = *glyph;
        }
        record.modifier = std::move(*modifierText);
        record.path = std::move(path);
        if (title != nullptr) {
            record.title = *title;
        }
        if (keyCode) {
            harvest_.pairs.push_back(KeyCodeAndFlags{*keyCode, *modifiers});
        }
    }

    // --- walk state ---

    void setTopLevelTitle(Title title) {
        topLevelTitle_ = std::move(title);
        topLevelText_ = topLevelTitle_.value_or("");
        menuHeaderWritten_ = false;
    }

    void setSubmenuTitle(Title title) {
        submenuIsServices_ = title && (canonicallyEqual(*title, kServices) ||
                                       canonicallyEqual(*title, kServicesChinese));
        submenuTitle_ = std::move(title);
        submenuHeaderWritten_ = false;
    }

    // Pops the walk may still make: the rest of this menu's budget and a full budget for each
    // later menu. A queued entry beyond that could never be taken off.
    std::int64_t remainingPops() const {
        return budget_ +
               static_cast<std::int64_t>(kMenuPopBudget) * static_cast<std::int64_t>(menusAfter_);
    }

    void enqueue(AXUIElementRef element) {
        if (static_cast<std::int64_t>(queue_.queueSize()) < remainingPops()) {
            queue_.push(std::move(element));
        }
    }

    // --- accessibility calls ---

    void limitWait(const AXUIElementRef& element) {
        ax_.setMessagingTimeout(element, kAccessibilityMessagingTimeout);
    }

    AXError answer(AXError error) {
        if (error == kAXErrorCannotComplete) {
            timedOut_ = true;
        }
        return error;
    }

    // Whether a call on `element` may start. Past the deadline it may not, and the walk ends
    // as when the target stops answering; in the last second, a call waits only for the rest.
    bool mayCall(const AXUIElementRef& element) {
        if (clock_ == nullptr) {
            return true;
        }
        const double left = deadline_ - clock_->monotonicSeconds();
        if (left <= 0.0) {
            timedOut_ = true;
            return false;
        }
        if (left < kAccessibilityMessagingTimeout) {
            // Never 0, which would mean the platform's long default.
            ax_.setMessagingTimeout(element, std::max(static_cast<float>(left), 0.001F));
        }
        return true;
    }

    AXError countOf(const AXUIElementRef& element, std::int64_t& count) {
        if (!mayCall(element)) {
            return kAXErrorCannotComplete;
        }
        return answer(ax_.getAttributeValueCount(element, kChildren, count));
    }

    AXError childrenOf(const AXUIElementRef& element, std::int64_t count,
                       std::vector<AXValue>& into) {
        if (!mayCall(element)) {
            return kAXErrorCannotComplete;
        }
        return answer(ax_.copyAttributeValues(element, kChildren, 0, count, into));
    }

    // Reads the attribute into `into`; the value read, or null when it cannot be read.
    const AXValue* read(const AXUIElementRef& element, std::string_view attribute, AXValue& into) {
        if (!mayCall(element) ||
            answer(ax_.copyAttributeValue(element, attribute, into)) != kAXErrorSuccess) {
            return nullptr;
        }
        return &into;
    }

    Title readText(const AXUIElementRef& element, std::string_view attribute) {
        const std::string* text = textIn(read(element, attribute, title_));
        return text != nullptr ? Title(*text) : std::nullopt;
    }

    Accessibility& ax_;
    const RunLoop* clock_;
    double deadline_;
    MenuBarHarvest harvest_;
    MenuWorkQueue queue_;
    // Reused by every container and item, so that reading costs no allocation.
    std::vector<AXValue> children_;
    AXValue enabled_, title_, modifiers_, cmdChar_, glyph_;

    Title topLevelTitle_;       // none: the menu has no textual title
    std::string topLevelText_;  // the title as written into headers and paths
    Title submenuTitle_;
    bool submenuIsServices_ = false;
    std::string lastMenuHeader_;
    Title lastSubmenuHeader_;
    // Whether the last header already equals the current title: saves comparing per item.
    bool menuHeaderWritten_ = false;
    bool submenuHeaderWritten_ = false;
    Title applicationTitle_;
    bool appleChecked_ = false;
    int budget_ = 0;
    std::size_t menusAfter_ = 0;
    bool timedOut_ = false;
};

}  // namespace

MenuBarHarvest walkMenuBar(Accessibility& accessibility, std::int32_t processIdentifier,
                           const RunLoop* clock) {
    return MenuBarWalk(accessibility, clock).run(processIdentifier);
}

}  // namespace kivora
