// The menu-item click request through the delegate: a harvest over a random tree, then click
// requests with harvested, equivalent and random names, interleaved with new harvests, dead
// elements and a withdrawn permission. A click presses at most one element: the first stored
// one whose title matches, and it does press it when the press can succeed.
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "FuzzMenuTree.h"
#include "app/AppDelegate.h"
#include "fakes/FakePlatform.h"
#include "messaging/NotificationNames.h"
#include "platform/UnicodeString.h"

namespace {

using namespace kivora;
using kivora::fuzz::FuzzInput;

constexpr int kMaxSteps = 24;
constexpr int kMaxHarvests = 2;

std::string clickName(FuzzInput& in, const AppDelegate& delegate) {
    const std::string& prefix = names::currentClickedPrefix();
    switch (in.byte() % 4) {
        case 0:
            if (!delegate.currentShortTitle.empty()) {
                return prefix +
                       delegate.currentShortTitle[in.below(delegate.currentShortTitle.size())];
            }
            return prefix;
        case 1:
            return prefix + fuzz::word(in);
        case 2:
            return prefix + in.text();
        default:
            return in.text();  // usually not a click request at all
    }
}

void click(FuzzInput& in, AppDelegate& delegate, fake::TestAccessibility& accessibility,
           const fuzz::FuzzMenuTree& tree) {
    const std::string name = clickName(in, delegate);
    const std::size_t before = accessibility.pressed.size();
    delegate.handleCurrentShortcutClicked(
        Notification{name, names::helperIdentifier(), Dictionary{}});
    const std::size_t presses = accessibility.pressed.size() - before;
    FUZZ_CHECK(presses <= 1);

    const std::string& prefix = names::currentClickedPrefix();
    if (!name.starts_with(prefix)) {
        FUZZ_CHECK(presses == 0);
        return;
    }
    const std::string_view requested = std::string_view(name).substr(prefix.size());
    const auto& titles = delegate.currentShortTitle;
    const auto& elements = delegate.currentElementArr;
    std::size_t match = titles.size();
    for (std::size_t i = 0; i < titles.size() && i < elements.size(); ++i) {
        if (canonicallyEqual(titles[i], requested)) {
            match = i;
            break;
        }
    }
    if (match == titles.size()) {
        FUZZ_CHECK(presses == 0);
        return;
    }
    const simulated::SimulatedElement* element = tree.find(elements[match]);
    FUZZ_CHECK(element != nullptr);
    const bool canSucceed =
        accessibility.desktop.trusted && element->valid && !element->errors.contains("AXPress");
    FUZZ_CHECK(presses == (canSucceed ? 1U : 0U));
    if (presses == 1) {
        FUZZ_CHECK(accessibility.pressed.back() == element);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    fake::FakePlatform fakes;
    fuzz::FuzzMenuTree tree;
    // Small trees: the walker's own target covers the large ones, here they would only slow
    // the clicks down.
    fuzz::buildMenuTree(in, fakes.accessibility, tree, {.menus = 3, .repeat = 16});

    AppDelegate delegate(fakes.platform());
    delegate.previousActiveApplication =
        fakes.workspace.addApplication(std::string("com.example.Target"), fuzz::kTargetPid);
    const Notification harvest{names::getCurrentShortcut(), names::helperIdentifier(), {}};
    delegate.handleCurrentShortcut(harvest);
    FUZZ_CHECK(fakes.center.posts.size() == 1);

    int harvests = 1;
    for (int step = 0; step < kMaxSteps && !in.atEnd(); ++step) {
        switch (in.byte() % 8) {
            case 0:
                if (harvests++ < kMaxHarvests) {
                    delegate.handleCurrentShortcut(harvest);
                }
                break;
            case 1:
                tree.elements[in.below(tree.elements.size())]->valid = false;
                break;
            case 2:
                fakes.accessibility.desktop.trusted = !fakes.accessibility.desktop.trusted;
                break;
            default:
                click(in, delegate, fakes.accessibility, tree);
        }
        FUZZ_CHECK(delegate.currentShortTitle.size() == delegate.currentElementArr.size());
    }
    return 0;
}
