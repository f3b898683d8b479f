// The simulated desktop in-process: loading, the element trees it serves, trust, presses,
// key events and the deferred frontmost observation.

#include "platform/linux/SimulatedDesktop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

namespace kivora::linux_ {
namespace {

std::unique_ptr<SimulatedDesktop> desktopFrom(const std::string& text) {
    std::string error;
    auto desktop = SimulatedDesktop::fromText(text, "test.json", error);
    EXPECT_NE(desktop, nullptr) << error;
    return desktop;
}

// File > {Save ⌘S, Open Recent > "" > {Clear Menu, (title 7)}, Odd, Broken, NotAList, Mixed}.
const char* const kEditor = R"({
  "frontmost": "com.example.Editor",
  "applications": [
    { "bundleIdentifier": "com.example.Editor", "processIdentifier": 4242,
      "menuBar": { "AXChildren": [
        { "AXTitle": "File", "AXChildren": [ { "AXChildren": [
          { "AXTitle": "Save", "AXMenuItemCmdChar": "S", "AXErrors": { "AXShowMenu": -25200 } },
          { "AXTitle": "Open Recent", "AXChildren": [ { "AXTitle": "", "AXChildren": [
            { "AXTitle": "Clear Menu" }, { "AXTitle": 7 } ] } ] },
          { "AXTitle": "Odd", "string": "text", "integer": -3, "real": 2.5, "bool": false,
            "null": null, "array": [1, "two", [3]], "object": { "k": "v" }, "AXDelayMs": 0 },
          { "AXErrors": { "AXTitle": -25204, "AXPress": -25202, "AXChildren": -25205 } },
          { "AXChildren": "nope" },
          { "AXChildren": [ 1, { "AXTitle": "child" }, "x" ] }
        ] } ] } ] } },
    { "bundleIdentifier": "com.example.Terminal", "processIdentifier": 77 },
    { "bundleIdentifier": null, "processIdentifier": 9, "menuBar": "not an element" }
  ]
})";

// Walks the accessibility tree by child indexes.
struct Tree {
    Accessibility& ax;

    AXUIElementRef at(AXUIElementRef e, std::initializer_list<std::size_t> path) {
        for (std::size_t index : path) {
            std::vector<AXValue> children;
            EXPECT_EQ(ax.copyAttributeValues(e, "AXChildren", 0, 1000, children), kAXErrorSuccess);
            e = std::get<AXUIElementRef>(children.at(index));
        }
        return e;
    }
    AXUIElementRef menuBar(std::int32_t pid) {
        AXValue bar;
        EXPECT_EQ(ax.copyAttributeValue(ax.createApplication(pid), "AXMenuBar", bar),
                  kAXErrorSuccess);
        return std::get<AXUIElementRef>(bar);
    }
    AXUIElementRef fileItem(std::size_t index) { return at(menuBar(4242), {0, 0, index}); }
    Value attribute(const AXUIElementRef& e, std::string_view name) {
        AXValue v;
        EXPECT_EQ(ax.copyAttributeValue(e, name, v), kAXErrorSuccess) << name;
        return std::get<Value>(v);
    }
};

TEST(SimulatedDesktopLoad, UnreadableFilesAreNamedOnOneLine) {
    std::string error;
    EXPECT_EQ(SimulatedDesktop::load("/nonexistent/desk.json", error), nullptr);
    EXPECT_EQ(error,
              "/nonexistent/desk.json: cannot read the desktop file: No such file or "
              "directory");
    EXPECT_EQ(SimulatedDesktop::load("/tmp", error), nullptr);
    EXPECT_EQ(error, "/tmp: cannot read the desktop file: is a directory");

    char path[] = "/tmp/kivora-desktop-XXXXXX";
    close(mkstemp(path));
    std::ofstream(path) << "{ \"applications\": [ }\n";
    EXPECT_EQ(SimulatedDesktop::load(path, error), nullptr);
    EXPECT_EQ(error.rfind(std::string(path) + ": ", 0), 0u) << error;
    EXPECT_NE(error.find("JSON"), std::string::npos) << error;
    unlink(path);

    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_EQ(SimulatedDesktop::fromText(deep, "deep.json", error), nullptr);
    EXPECT_NE(error.find("nested"), std::string::npos) << error;
    EXPECT_EQ(SimulatedDesktop::fromText("{}", "a\nb.json", error), nullptr);
    EXPECT_EQ(error, "a b.json: the document has no applications array");
}

TEST(SimulatedDesktopLoad, WrongShapesAreRefusedWithTheirPlace) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"[]", "the document must be an object, not an array"},
        {R"({"applications": {}})", "applications: must be an array"},
        {R"({"applications": [3]})", "applications[0]: must be an object"},
        {R"({"applications": [{}]})", "applications[0]: has no processIdentifier"},
        {R"({"applications": [{"processIdentifier": 0}]})", "applications[0].processIdentifier:"},
        {R"({"applications": [{"processIdentifier": 5}, {"processIdentifier": 5}]})",
         "applications[1].processIdentifier: process identifier 5 is used by an earlier"},
        {R"({"applications": [{"processIdentifier": 5, "bundleIdentifier": 1}]})",
         "applications[0].bundleIdentifier: must be a string or null"},
        {R"({"applications": [{"processIdentifier": 5, "bundelIdentifier": "x"}]})",
         "applications[0].bundelIdentifier: is not a known application key"},
        {R"({"applications": [], "trusted": 1})", "trusted: must be true or false"},
        {R"({"applications": [], "frontmost": "x.y"})", "frontmost: no application has the"},
        {R"({"applications": [{"processIdentifier": 5, "menuBar": {"AXChildren": [{},
            {"AXErrors": {"AXTitle": "bad"}}]}}]})",
         "applications[0].menuBar.AXChildren[1].AXErrors.AXTitle: must be an error code"},
        {R"({"applications": [{"processIdentifier": 5, "menuBar": {"AXDelayMs": -1}}]})",
         "applications[0].menuBar.AXDelayMs: must be a whole number of milliseconds"},
    };
    for (const auto& [text, expected] : cases) {
        std::string error;
        EXPECT_EQ(SimulatedDesktop::fromText(text, "test.json", error), nullptr) << text;
        EXPECT_EQ(error.rfind("test.json: " + expected, 0), 0u) << error;
    }
}

TEST(SimulatedDesktopLoad, OptionalPartsAndShippedDesktops) {
    auto desktop = desktopFrom(R"({"frontmost": null, "applications": [
        {"processIdentifier": 1, "bundleIdentifier": null}, {"processIdentifier": 2}]})");
    EXPECT_EQ(desktop->workspace().frontmostApplication(), nullptr);
    EXPECT_TRUE(desktop->accessibility().isProcessTrusted());
    ASSERT_TRUE(desktop->activateProcess(2));
    EXPECT_EQ(desktop->workspace().frontmostApplication()->bundleIdentifier(), std::nullopt);
    AXValue bar;
    auto& ax = desktop->accessibility();
    EXPECT_EQ(ax.copyAttributeValue(ax.createApplication(1), "AXMenuBar", bar), kAXErrorNoValue);
    auto byPid = desktopFrom(R"({"frontmost": 2, "applications": [{"processIdentifier": 2}]})");
    EXPECT_EQ(byPid->workspace().frontmostApplication()->processIdentifier(), 2);

    std::vector<std::string> files = {KIVORA_SOURCE_DIR "/resources/bundle/demo-desktop.json"};
    for (const auto& entry :
         std::filesystem::directory_iterator(KIVORA_SOURCE_DIR "/resources/desktops")) {
        files.push_back(entry.path().string());
    }
    for (const auto& file : files) {
        std::string error;
        auto shipped = SimulatedDesktop::load(file, error);
        ASSERT_NE(shipped, nullptr) << error;
        EXPECT_NE(shipped->workspace().frontmostApplication(), nullptr) << file;
    }
}

TEST(SimulatedDesktopElements, ValuesChildrenAndHandlesAreServedAsWritten) {
    auto desktop = desktopFrom(kEditor);
    auto& ax = desktop->accessibility();
    Tree t{ax};
    auto odd = t.fileItem(2);
    EXPECT_EQ(t.attribute(odd, "real"), Value(2.5));
    EXPECT_TRUE(t.attribute(odd, "null").isNull());
    EXPECT_EQ(t.attribute(odd, "array"), Value(Array{Value(1), Value("two"), Value(Array{3})}));
    EXPECT_EQ(t.attribute(odd, "object"), Value(Dictionary{{"k", Value("v")}}));
    AXValue v = Value("keep");
    for (const char* absent : {"AXEnabled", "AXDelayMs", "AXErrors"}) {
        EXPECT_EQ(ax.copyAttributeValue(odd, absent, v), kAXErrorNoValue) << absent;
    }
    EXPECT_EQ(std::get<Value>(v), Value("keep"));
    EXPECT_EQ(t.attribute(ax.createApplication(9), "AXMenuBar"), Value("not an element"));

    std::int64_t count = -1;
    EXPECT_EQ(ax.getAttributeValueCount(t.fileItem(0), "AXChildren", count), kAXErrorSuccess);
    EXPECT_EQ(count, 0) << "a leaf has no children";
    count = -1;
    EXPECT_EQ(ax.getAttributeValueCount(t.fileItem(4), "AXChildren", count),
              kAXErrorIllegalArgument);
    EXPECT_EQ(count, -1);
    EXPECT_EQ(t.attribute(t.fileItem(4), "AXChildren"), Value("nope"));

    // Children that are not objects are plain values in the list; slices are clamped.
    auto mixed = t.fileItem(5);
    std::vector<AXValue> values;
    EXPECT_EQ(ax.copyAttributeValues(mixed, "AXChildren", 0, 3, values), kAXErrorSuccess);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(std::get<Value>(values[0]), Value(1));
    EXPECT_EQ(t.attribute(std::get<AXUIElementRef>(values[1]), "AXTitle"), Value("child"));
    const auto huge = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(ax.copyAttributeValues(mixed, "AXChildren", 2, huge, values), kAXErrorSuccess);
    EXPECT_EQ(values.size(), 1u);
    EXPECT_EQ(ax.copyAttributeValues(mixed, "AXChildren", 9, 2, values), kAXErrorSuccess);
    EXPECT_TRUE(values.empty());
    EXPECT_EQ(ax.copyAttributeValues(mixed, "AXChildren", -1, 2, values), kAXErrorIllegalArgument);
    EXPECT_EQ(ax.copyAttributeValue(mixed, "AXChildren", v), kAXErrorIllegalArgument);

    // One handle object per element: the walker relies on pointer equality.
    EXPECT_EQ(t.fileItem(0).get(), t.fileItem(0).get());
    EXPECT_NE(t.fileItem(0).get(), t.fileItem(1).get());
    EXPECT_EQ(ax.createApplication(4242).get(), ax.createApplication(4242).get());
}

TEST(SimulatedDesktopElements, InjectedErrorsAndDelays) {
    auto desktop = desktopFrom(kEditor);
    auto& ax = desktop->accessibility();
    Tree t{ax};
    auto broken = t.fileItem(3);
    AXValue v;
    std::int64_t count = -1;
    std::vector<AXValue> values;
    EXPECT_EQ(ax.copyAttributeValue(broken, "AXTitle", v), kAXErrorCannotComplete);
    EXPECT_EQ(ax.getAttributeValueCount(broken, "AXChildren", count), kAXErrorAttributeUnsupported);
    EXPECT_EQ(ax.performAction(broken, "AXPress"), kAXErrorInvalidUIElement);
    EXPECT_EQ(ax.performAction(t.fileItem(0), "AXShowMenu"), kAXErrorFailure);
    EXPECT_EQ(ax.performAction(t.fileItem(1), "AXShowMenu"), kAXErrorIllegalArgument);

    auto slow = desktopFrom(R"({"applications": [{"processIdentifier": 3, "menuBar": {
        "AXDelayMs": 30000, "AXTitle": "hung"}}, {"processIdentifier": 4, "menuBar": {
        "AXTitle": "hangs when pressed", "AXDelayMs": {"AXPress": 30000}}},
        {"processIdentifier": 5, "menuBar": {"AXDelayMs": 2, "AXTitle": "in time"}}]})");
    auto& sax = slow->accessibility();
    Tree s{sax};
    auto hung = s.menuBar(3);
    EXPECT_EQ(sax.setMessagingTimeout(hung, 0.05f), kAXErrorSuccess);
    EXPECT_EQ(sax.copyAttributeValue(hung, "AXTitle", v), kAXErrorCannotComplete);
    EXPECT_EQ(sax.getAttributeValueCount(hung, "AXChildren", count), kAXErrorCannotComplete);
    auto pressHangs = s.menuBar(4);
    EXPECT_EQ(sax.setMessagingTimeout(pressHangs, 0.05f), kAXErrorSuccess);
    EXPECT_EQ(s.attribute(pressHangs, "AXTitle"), Value("hangs when pressed"));
    EXPECT_EQ(sax.performAction(pressHangs, "AXPress"), kAXErrorCannotComplete);
    EXPECT_TRUE(slow->pressedItems().empty());
    EXPECT_EQ(s.attribute(s.menuBar(5), "AXTitle"), Value("in time")) << "default timeout";
    for (float bad : {-1.0f, std::nanf(""), std::numeric_limits<float>::infinity()}) {
        EXPECT_EQ(sax.setMessagingTimeout(hung, bad), kAXErrorIllegalArgument);
    }
}

TEST(SimulatedDesktopElements, QuitUnknownAndForeignHandles) {
    auto desktop = desktopFrom(kEditor);
    auto other = desktopFrom(kEditor);
    auto& ax = desktop->accessibility();
    Tree t{ax};
    auto app = ax.createApplication(4242);
    auto save = t.fileItem(0);
    auto editor = desktop->workspace().frontmostApplication();
    ASSERT_TRUE(desktop->quit("com.example.Editor"));
    AXValue v;
    EXPECT_EQ(ax.copyAttributeValue(app, "AXMenuBar", v), kAXErrorInvalidUIElement);
    EXPECT_EQ(ax.performAction(save, "AXPress"), kAXErrorInvalidUIElement);
    EXPECT_EQ(desktop->workspace().frontmostApplication(), nullptr);
    EXPECT_FALSE(editor->activateWithOptions(2));
    EXPECT_FALSE(desktop->quit("com.example.Editor"));
    EXPECT_FALSE(desktop->activateProcess(4242));
    EXPECT_EQ(ax.copyAttributeValue(ax.createApplication(5), "AXMenuBar", v),
              kAXErrorInvalidUIElement);
    auto foreign = other->accessibility().createApplication(4242);
    EXPECT_EQ(ax.copyAttributeValue(foreign, "AXMenuBar", v), kAXErrorIllegalArgument);
    EXPECT_EQ(ax.performAction(nullptr, "AXPress"), kAXErrorIllegalArgument);
}

TEST(SimulatedDesktopElements, UntrustedProcessIsRefusedEverywhere) {
    auto desktop = desktopFrom(kEditor);
    auto& ax = desktop->accessibility();
    auto save = Tree{ax}.fileItem(0);
    EXPECT_TRUE(ax.isProcessTrustedWithPrompt());
    EXPECT_EQ(desktop->promptCount(), 0u) << "no prompt while trusted";
    desktop->setTrusted(false);
    AXValue v;
    std::int64_t count = -1;
    EXPECT_EQ(ax.copyAttributeValue(ax.createApplication(4242), "AXMenuBar", v),
              kAXErrorAPIDisabled);
    EXPECT_EQ(ax.getAttributeValueCount(save, "AXChildren", count), kAXErrorAPIDisabled);
    EXPECT_EQ(ax.performAction(save, "AXPress"), kAXErrorAPIDisabled);
    EXPECT_FALSE(ax.isProcessTrustedWithPrompt());
    EXPECT_FALSE(ax.isProcessTrustedWithPrompt());
    EXPECT_EQ(desktop->promptCount(), 2u);
    desktop->setTrusted(true);
    EXPECT_EQ(ax.performAction(save, "AXPress"), kAXErrorSuccess);
    EXPECT_FALSE(desktopFrom(R"({"trusted": false, "applications": []})")
                     ->accessibility()
                     .isProcessTrusted());
}

TEST(SimulatedDesktopRecords, PressPathsAndKeyEvents) {
    auto desktop = desktopFrom(kEditor);
    auto& ax = desktop->accessibility();
    Tree t{ax};
    auto openRecent = t.fileItem(1);
    EXPECT_EQ(ax.performAction(t.at(openRecent, {0, 0}), "AXPress"), kAXErrorSuccess);
    EXPECT_EQ(ax.performAction(t.at(openRecent, {0, 1}), "AXPress"), kAXErrorSuccess);
    EXPECT_EQ(ax.performAction(t.at(t.menuBar(4242), {0}), "AXPress"), kAXErrorSuccess);
    EXPECT_EQ(ax.performAction(t.fileItem(0), "AXPick"), kAXErrorIllegalArgument);
    // Untitled, empty-titled and non-text titles are left out of the path.
    EXPECT_EQ(desktop->pressedItems(), (std::vector<std::string>{"File/Open Recent/Clear Menu",
                                                                 "File/Open Recent", "File"}));

    auto& tap = desktop->eventTap();
    for (bool down : {true, false}) {
        auto event = tap.createKeyboardEvent(49, down);
        ASSERT_TRUE(event);
        EXPECT_EQ(event->flags, 0u);
        tap.setFlags(*event, 0x100000);
        tap.post(kCGSessionEventTap, *event);
    }
    auto events = desktop->keyEvents();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_TRUE(events[0].keyDown && !events[1].keyDown);
    EXPECT_EQ(events[1].keyCode, 49);
    EXPECT_EQ(events[1].flags, 0x100000u);
}

class SimulatedDesktopWorkspace : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(sd_event_new(&event_), 0);
        desktop_ = desktopFrom(kEditor);
        ASSERT_EQ(desktop_->attach(event_, nullptr), 0);
        observe([this] { observed_.push_back(front()); });
    }
    void TearDown() override {
        desktop_.reset();
        sd_event_unref(event_);
    }
    void observe(std::function<void()> f) {
        desktop_->workspace().addObserver("frontmostApplication",
                                          [f](const std::optional<std::string>& keyPath) {
                                              EXPECT_EQ(keyPath, "frontmostApplication");
                                              f();
                                          });
    }
    std::string front() {
        auto app = desktop_->workspace().frontmostApplication();
        return app ? app->bundleIdentifier().value_or(std::to_string(app->processIdentifier()))
                   : "nobody";
    }
    // Runs the loop until nothing is pending; returns how many sources ran.
    int runPending() {
        int ran = 0;
        while (sd_event_run(event_, 0) > 0)
            ++ran;
        return ran;
    }

    sd_event* event_ = nullptr;
    std::unique_ptr<SimulatedDesktop> desktop_;
    std::vector<std::string> observed_;
};

TEST_F(SimulatedDesktopWorkspace, ChangesAreObservedOnTheNextIterationNotInside) {
    auto editor = desktop_->workspace().frontmostApplication();
    EXPECT_EQ(editor, desktop_->workspace().frontmostApplication()) << "one object per app";
    ASSERT_TRUE(desktop_->activate("com.example.Terminal"));
    EXPECT_TRUE(observed_.empty()) << "never inside the call that made the change";
    EXPECT_EQ(runPending(), 1);
    EXPECT_EQ(observed_, std::vector<std::string>{"com.example.Terminal"});

    // Re-activating the application in front is not a change.
    ASSERT_TRUE(desktop_->activate("com.example.Terminal"));
    EXPECT_EQ(runPending(), 0);
    // Several changes inside one callback are seen once, as the state is afterwards.
    ASSERT_TRUE(desktop_->activateProcess(9));
    EXPECT_TRUE(editor->activateWithOptions(2));
    EXPECT_EQ(runPending(), 1);
    EXPECT_EQ(observed_.back(), "com.example.Editor");
    // Quitting the application in front empties the front; one in the background does not.
    ASSERT_TRUE(desktop_->quit("com.example.Editor"));
    EXPECT_EQ(runPending(), 1);
    EXPECT_EQ(observed_.back(), "nobody");
    ASSERT_TRUE(desktop_->activateProcess(9));
    ASSERT_TRUE(desktop_->quit("com.example.Terminal"));
    EXPECT_EQ(runPending(), 1);
    EXPECT_EQ(observed_, (std::vector<std::string>{"com.example.Terminal", "com.example.Editor",
                                                   "nobody", "9"}));
    EXPECT_FALSE(desktop_->activate("com.example.Nothing"));
    EXPECT_FALSE(desktop_->activateProcess(-4));
    EXPECT_EQ(runPending(), 0);
}

TEST_F(SimulatedDesktopWorkspace, RemovalDropsWhatIsQueuedAndObserversMayReenter) {
    ASSERT_TRUE(desktop_->activate("com.example.Terminal"));
    desktop_->workspace().removeObserver("frontmostApplication");
    EXPECT_EQ(runPending(), 0);
    EXPECT_TRUE(observed_.empty());
    desktop_->workspace().addObserver("runningApplications",
                                      [](const std::optional<std::string>&) { FAIL(); });
    ASSERT_TRUE(desktop_->activate("com.example.Editor"));
    EXPECT_EQ(runPending(), 0);

    // An observer that changes the front is called again later; one may remove itself.
    observe([this] {
        observed_.push_back(front());
        if (front() == "com.example.Terminal") {
            desktop_->activate("com.example.Editor");
        } else {
            desktop_->workspace().removeObserver("frontmostApplication");
        }
    });
    ASSERT_TRUE(desktop_->activate("com.example.Terminal"));
    EXPECT_EQ(runPending(), 2);
    EXPECT_EQ(observed_, (std::vector<std::string>{"com.example.Terminal", "com.example.Editor"}));
    EXPECT_EQ(desktop_->attach(event_, nullptr), -EALREADY);
}

TEST(SimulatedDesktopStart, TheFrontmostAtTheStartIsAnnouncedOnce) {
    for (const char* front : {"\"com.example.Editor\"", "null"}) {
        auto desktop = desktopFrom(std::string(R"({"frontmost": )") + front +
                                   R"(, "applications": [{"bundleIdentifier":
                                   "com.example.Editor", "processIdentifier": 1}]})");
        sd_event* event = nullptr;
        ASSERT_GE(sd_event_new(&event), 0);
        int observed = 0;
        desktop->workspace().addObserver("frontmostApplication",
                                         [&](const std::optional<std::string>&) { ++observed; });
        ASSERT_EQ(desktop->attach(event, nullptr), 0);
        EXPECT_EQ(observed, 0);
        while (sd_event_run(event, 0) > 0) {
        }
        EXPECT_EQ(observed, std::string(front) == "null" ? 0 : 1) << front;
        desktop.reset();
        sd_event_unref(event);
    }
}

TEST(SimulatedDesktopLifetime, ApplicationObjectsAndHandlesOutliveTheDesktop) {
    auto desktop = desktopFrom(kEditor);
    auto editor = desktop->workspace().frontmostApplication();
    auto save = Tree{desktop->accessibility()}.fileItem(0);
    desktop.reset();
    EXPECT_FALSE(editor->activateWithOptions(2));
    EXPECT_EQ(editor->bundleIdentifier(), "com.example.Editor");
    save.reset();
}

}  // namespace
}  // namespace kivora::linux_
