// The real-desktop adapters in this process, on a desktop session of the test's own: menus
// read and pressed in GTK and Qt applications, keys typed. Switches, hung, killed and real
// applications and the permission prompt are driven through the helper (HelperOnDesktopTest).
#include <gtest/gtest.h>

#include <deque>

#include "DesktopHarness.h"
#include "menubar/MenuBarWalker.h"
#include "platform/linux/atspi/RealDesktop.h"
#include "platform/linux/wire/SdHandles.h"

namespace kivora::desktop {
namespace {

using e2e::ChildProcess;

constexpr std::uint64_t kCommand = 0x100000;
constexpr std::uint64_t kShift = 0x20000;
constexpr std::uint64_t kOption = 0x80000;
constexpr std::uint64_t kControl = 0x40000;

// The adapters on their own event loop and session-bus connection, as the helper has them.
class AdaptersOnDesktopTest : public DesktopTest {
protected:
    void SetUp() override {
        DesktopTest::SetUp();
        if (IsSkipped()) {
            return;
        }
        sd_event* event = nullptr;
        ASSERT_GE(sd_event_new(&event), 0);
        event_.reset(event);
        sd_bus* bus = nullptr;
        ASSERT_GE(sd_bus_new(&bus), 0);
        bus_.reset(bus);
        ASSERT_GE(sd_bus_set_address(bus, session_->bus().address().c_str()), 0);
        ASSERT_GE(sd_bus_set_bus_client(bus, 1), 0);
        ASSERT_GE(sd_bus_start(bus), 0);
        ASSERT_GE(sd_bus_attach_event(bus, event, 0), 0);
        std::string error;
        desktop_ = linux_::RealDesktop::connect(event, bus, error);
        ASSERT_TRUE(desktop_) << error;
    }
    void TearDown() override {
        desktop_.reset();
        bus_.reset();
        event_.reset();
    }

    // The element titled `title` anywhere below the menu bar of `pid`, through the port.
    AXUIElementRef findItem(std::int32_t pid, const std::string& title) {
        Accessibility& ax = desktop_->accessibility();
        AXValue bar;
        if (ax.copyAttributeValue(ax.createApplication(pid), "AXMenuBar", bar) != 0) {
            return nullptr;
        }
        std::deque<AXUIElementRef> queue{std::get<AXUIElementRef>(bar)};
        while (!queue.empty()) {
            AXUIElementRef element = queue.front();
            queue.pop_front();
            AXValue name;
            if (ax.copyAttributeValue(element, "AXTitle", name) == 0 &&
                std::get<Value>(name) == Value(title)) {
                return element;
            }
            std::int64_t count = 0;
            std::vector<AXValue> children;
            if (ax.getAttributeValueCount(element, "AXChildren", count) == 0 &&
                ax.copyAttributeValues(element, "AXChildren", 0, count, children) == 0) {
                for (auto& child : children) {
                    queue.push_back(std::get<AXUIElementRef>(child));
                }
            }
        }
        return nullptr;
    }

    void typeKey(std::uint16_t keyCode, std::uint64_t flags) {
        EventTap& tap = desktop_->eventTap();
        for (bool down : {true, false}) {
            auto event = tap.createKeyboardEvent(keyCode, down);
            ASSERT_TRUE(event.has_value());
            tap.setFlags(*event, flags);
            tap.post(kCGSessionEventTap, *event);
        }
    }

    linux_::EventPtr event_;
    linux_::BusConnection bus_;
    std::unique_ptr<linux_::RealDesktop> desktop_;
};

TEST_F(AdaptersOnDesktopTest, HarvestOfGtkAndQtMenusFollowsTheWalkerRules) {
    for (const char* script : {"gtk", "qt"}) {
        SCOPED_TRACE(script);
        auto app = startApp(script);
        ASSERT_TRUE(app);
        MenuBarHarvest harvest = walkMenuBar(desktop_->accessibility(), app->pid());
        EXPECT_EQ(toArray(harvest.list), expectedTestApplicationList())
            << toDebugString(Value(toArray(harvest.list)));
        EXPECT_EQ(harvest.titles,
                  (std::vector<std::string>{"New", "Open", "Reopen Last", "Oldest", "Save",
                                            "Save As", "Undo", "Redo", "Zoom In", "Zoom Out"}));
        ASSERT_EQ(harvest.elements.size(), harvest.titles.size());
        // N O T O S S Z Z, "-"; "+" has no key code.
        EXPECT_EQ(
            harvest.pairs,
            (std::vector<KeyCodeAndFlags>{
                {45, 0}, {31, 0}, {17, 1}, {31, 2}, {1, 0}, {1, 1}, {6, 0}, {6, 1}, {27, 0}}));
        // Elements are interned: a second walk hands out the same handles.
        MenuBarHarvest again = walkMenuBar(desktop_->accessibility(), app->pid());
        EXPECT_EQ(again.elements, harvest.elements);
    }
}

TEST_F(AdaptersOnDesktopTest, PressActivatesEnabledItemsAndRefusesDisabledOnes) {
    for (const char* script : {"gtk", "qt"}) {
        SCOPED_TRACE(script);
        auto app = startApp(script);
        ASSERT_TRUE(app);
        Accessibility& ax = desktop_->accessibility();
        MenuBarHarvest harvest = walkMenuBar(ax, app->pid());
        ASSERT_EQ(harvest.titles.size(), 10U);
        EXPECT_EQ(ax.performAction(harvest.elements[4], "AXPress"), kAXErrorSuccess);  // Save
        EXPECT_TRUE(app->waitForLine("activated File/Save")) << app->describe();
        EXPECT_EQ(ax.performAction(harvest.elements[3], "AXPress"), kAXErrorSuccess);  // nested
        EXPECT_TRUE(app->waitForLine("activated File/Open Recent/More/Oldest"));

        AXUIElementRef disabled = findItem(app->pid(), "Paste Special");
        ASSERT_TRUE(disabled);
        AXValue enabled;
        ASSERT_EQ(ax.copyAttributeValue(disabled, "AXEnabled", enabled), kAXErrorSuccess);
        EXPECT_EQ(std::get<Value>(enabled), Value(false));
        EXPECT_EQ(ax.performAction(disabled, "AXPress"), kAXErrorCannotComplete);
        EXPECT_EQ(ax.performAction(harvest.elements[6], "AXPress"), kAXErrorSuccess);  // Undo
        EXPECT_TRUE(app->waitForLine("activated Edit/Undo"));
        EXPECT_EQ(app->countLines("activated Edit/Paste Special"), 0U);
        EXPECT_EQ(ax.performAction(harvest.elements[6], "AXShowMenu"), kAXErrorIllegalArgument);
    }
}

TEST_F(AdaptersOnDesktopTest, KeysReachTheFocusedApplicationWithTheirModifiers) {
    auto gtk = startApp("gtk");
    ASSERT_TRUE(gtk);
    ASSERT_TRUE(session_->activate(gtk->pid()));
    typeKey(49, kCommand);  // command-space
    EXPECT_TRUE(gtk->waitForLine("key name=space keyval=32 mods=ctrl")) << gtk->describe();
    typeKey(1, kCommand | kShift);  // shift-command-S, which is Save As
    EXPECT_TRUE(gtk->waitForLine("key name=S keyval=83 mods=ctrl+shift")) << gtk->describe();
    EXPECT_TRUE(gtk->waitForLine("activated File/Save As"));
    typeKey(0, kOption | kControl | 0x800000);  // the function-key bit presses nothing
    EXPECT_TRUE(gtk->waitForLine("key name=a keyval=97 mods=alt+super")) << gtk->describe();
    typeKey(122, 0);  // F1
    EXPECT_TRUE(gtk->waitForLine("key name=F1 keyval=65470 mods=none")) << gtk->describe();

    auto qt = startApp("qt");
    ASSERT_TRUE(qt);
    ASSERT_TRUE(session_->activate(qt->pid()));
    typeKey(49, kCommand);
    EXPECT_TRUE(qt->waitForLine("key name=Space key=32 mods=ctrl")) << qt->describe();
    typeKey(6, kCommand);  // command-Z reaches the menu as Undo
    EXPECT_TRUE(qt->waitForLine("activated Edit/Undo")) << qt->describe();
}

}  // namespace
}  // namespace kivora::desktop
