// The simulated desktop's tree through the ports: values as written, injected errors and
// delays, trust, foreign handles, press paths, key events and the frontmost observation.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>

#include "platform/simulated/SimulatedAccessibility.h"
#include "platform/simulated/SimulatedEventTap.h"
#include "platform/simulated/SimulatedWorkspace.h"

namespace kivora::simulated {
namespace {

// File > {Save ⌘S, Open Recent > "" > {Clear Menu, (title 7)}, Odd, Broken, NotAList, Mixed},
// and five more applications: no menu bar, not an element, hung, hung on press, slow.
std::string editorDesktop() {
    std::ifstream file(KIVORA_SOURCE_DIR "/tests/data/unit/editor-desktop.json");
    return {std::istreambuf_iterator<char>(file), {}};
}

SimulatedDesktopModel parsed(const std::string& text) {
    std::string error;
    auto model = parseDesktop(text, error);
    EXPECT_TRUE(model) << error;
    return model ? std::move(*model) : SimulatedDesktopModel();
}

// A desktop served through the ports; slow elements record their pauses instead of taking
// them.
struct Served {
    SimulatedDesktopModel model;
    std::vector<double> pauses;
    SimulatedAccessibility ax{model, [this](double seconds) { pauses.push_back(seconds); }};

    explicit Served(const std::string& text = editorDesktop()) : model(parsed(text)) {}

    // The menu bar of `pid`, then children by index.
    AXUIElementRef at(std::int32_t pid, std::initializer_list<std::size_t> path = {}) {
        AXValue bar;
        EXPECT_EQ(ax.copyAttributeValue(ax.createApplication(pid), "AXMenuBar", bar), 0);
        auto e = std::get<AXUIElementRef>(bar);
        for (std::size_t index : path) {
            std::vector<AXValue> children;
            EXPECT_EQ(ax.copyAttributeValues(e, "AXChildren", 0, 1000, children), 0);
            e = std::get<AXUIElementRef>(children.at(index));
        }
        return e;
    }
    AXUIElementRef fileItem(std::size_t index) { return at(4242, {0, 0, index}); }
    Value attribute(const AXUIElementRef& e, std::string_view name) {
        AXValue v;
        EXPECT_EQ(ax.copyAttributeValue(e, name, v), kAXErrorSuccess) << name;
        return std::get<Value>(v);
    }
    // "value", "count" or "values" of `name`, or else the action `op`.
    AXError call(const AXUIElementRef& e, std::string_view op, std::string_view name = "") {
        AXValue v;
        std::int64_t count = 0;
        std::vector<AXValue> values;
        if (op == "value")
            return ax.copyAttributeValue(e, name, v);
        if (op == "count")
            return ax.getAttributeValueCount(e, name, count);
        if (op == "values")
            return ax.copyAttributeValues(e, name, 0, 10, values);
        return ax.performAction(e, op);
    }
};

TEST(SimulatedDesktop, ValuesChildrenAndHandlesAreServedAsWritten) {
    Served d;
    auto odd = d.fileItem(2);
    EXPECT_EQ(d.attribute(odd, "real"), Value(2.5));
    EXPECT_TRUE(d.attribute(odd, "null").isNull());
    EXPECT_EQ(d.attribute(odd, "array"), Value(Array{Value(1), Value("two"), Value(Array{3})}));
    EXPECT_EQ(d.attribute(odd, "object"), Value(Dictionary{{"k", Value("v")}}));
    EXPECT_EQ(d.attribute(d.ax.createApplication(9), "AXMenuBar"), Value("not an element"));
    EXPECT_EQ(d.attribute(d.fileItem(4), "AXChildren"), Value("nope"));

    std::int64_t count = -1;
    EXPECT_EQ(d.ax.getAttributeValueCount(d.fileItem(0), "AXChildren", count), kAXErrorSuccess);
    EXPECT_EQ(count, 0) << "a leaf has no children";
    EXPECT_EQ(d.ax.getAttributeValueCount(odd, "array", count), kAXErrorSuccess);
    EXPECT_EQ(count, 3);

    // Children that are not objects are plain values in the list; slices are clamped.
    auto mixed = d.fileItem(5);
    std::vector<AXValue> values;
    EXPECT_EQ(d.ax.copyAttributeValues(mixed, "AXChildren", 0, 3, values), kAXErrorSuccess);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(std::get<Value>(values[0]), Value(1));
    EXPECT_EQ(d.attribute(std::get<AXUIElementRef>(values[1]), "AXTitle"), Value("child"));
    const auto huge = std::numeric_limits<std::int64_t>::max();
    EXPECT_EQ(d.ax.copyAttributeValues(mixed, "AXChildren", 2, huge, values), kAXErrorSuccess);
    EXPECT_EQ(values.size(), 1u);
    EXPECT_EQ(d.ax.copyAttributeValues(mixed, "AXChildren", 9, 2, values), kAXErrorSuccess);
    EXPECT_TRUE(values.empty());
    EXPECT_EQ(d.ax.copyAttributeValues(odd, "array", 1, 1, values), kAXErrorSuccess);
    EXPECT_EQ(values, std::vector<AXValue>{Value("two")});

    // One handle object per element: the walker relies on pointer equality.
    EXPECT_EQ(d.fileItem(0).get(), d.fileItem(0).get());
    EXPECT_NE(d.fileItem(0).get(), d.fileItem(1).get());
    EXPECT_EQ(d.ax.createApplication(4242).get(), d.ax.createApplication(4242).get());
}

TEST(SimulatedDesktop, RefusalsInjectedErrorsAndDelays) {
    Served d;
    Served other;
    struct Case {
        AXUIElementRef element;
        const char* op;
        const char* name;
        AXError expected;
    };
    const auto broken = d.fileItem(3);
    const std::vector<Case> cases = {
        {broken, "value", "AXTitle", kAXErrorCannotComplete},
        {broken, "count", "AXChildren", kAXErrorAttributeUnsupported},
        {broken, "values", "AXChildren", kAXErrorAttributeUnsupported},
        {broken, "AXPress", "", kAXErrorInvalidUIElement},
        {d.fileItem(0), "AXShowMenu", "", kAXErrorFailure},
        {d.fileItem(1), "AXShowMenu", "", kAXErrorIllegalArgument},
        {d.fileItem(2), "value", "AXEnabled", kAXErrorNoValue},
        {d.fileItem(2), "value", "AXDelayMs", kAXErrorNoValue},
        {d.fileItem(2), "value", "AXErrors", kAXErrorNoValue},
        {d.fileItem(2), "count", "real", kAXErrorIllegalArgument},
        {d.fileItem(2), "count", "absent", kAXErrorNoValue},
        {d.fileItem(4), "count", "AXChildren", kAXErrorIllegalArgument},
        {d.fileItem(4), "values", "AXChildren", kAXErrorIllegalArgument},
        {d.fileItem(5), "value", "AXChildren", kAXErrorIllegalArgument},
        {d.ax.createApplication(6), "value", "AXMenuBar", kAXErrorInvalidUIElement},
        {d.ax.createApplication(77), "value", "AXMenuBar", kAXErrorNoValue},
        {other.ax.createApplication(4242), "value", "AXMenuBar", kAXErrorIllegalArgument},
        {nullptr, "AXPress", "", kAXErrorIllegalArgument},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(d.call(c.element, c.op, c.name), c.expected) << c.op << " " << c.name;
    }
    std::vector<AXValue> values;
    EXPECT_EQ(d.ax.copyAttributeValues(d.fileItem(5), "AXChildren", -1, 2, values),
              kAXErrorIllegalArgument);

    // A delay beyond the messaging timeout waits the timeout, then cannot complete.
    auto hung = d.at(3);
    EXPECT_EQ(d.ax.setMessagingTimeout(hung, 0.05f), kAXErrorSuccess);
    EXPECT_EQ(d.call(hung, "value", "AXTitle"), kAXErrorCannotComplete);
    auto pressHangs = d.at(4);
    EXPECT_EQ(d.ax.setMessagingTimeout(pressHangs, 0.25f), kAXErrorSuccess);
    EXPECT_EQ(d.attribute(pressHangs, "AXTitle"), Value("p"));
    EXPECT_EQ(d.call(pressHangs, "AXPress"), kAXErrorCannotComplete);
    EXPECT_EQ(d.attribute(d.at(5), "AXTitle"), Value("in time")) << "the default timeout";
    EXPECT_EQ(other.call(other.at(3), "value", "AXTitle"), kAXErrorCannotComplete);
    ASSERT_EQ(d.pauses.size(), 3u);
    EXPECT_NEAR(d.pauses[0], 0.05, 1e-6);
    EXPECT_NEAR(d.pauses[1], 0.25, 1e-6);
    EXPECT_NEAR(d.pauses[2], 0.002, 1e-6);
    EXPECT_EQ(other.pauses, std::vector<double>{SimulatedAccessibility::kDefaultMessagingTimeout});
    EXPECT_TRUE(d.model.pressedItems.empty());
    for (float bad : {-1.0f, std::nanf(""), std::numeric_limits<float>::infinity()}) {
        EXPECT_EQ(d.ax.setMessagingTimeout(hung, bad), kAXErrorIllegalArgument);
    }
}

TEST(SimulatedDesktop, UntrustedProcessIsRefusedEverywhere) {
    Served d;
    auto save = d.fileItem(0);
    EXPECT_TRUE(d.ax.isProcessTrustedWithPrompt());
    EXPECT_EQ(d.model.promptCount, 0u) << "no prompt while trusted";
    d.model.trusted = false;
    for (const char* op : {"value", "count", "values", "AXPress"}) {
        EXPECT_EQ(d.call(save, op, "AXChildren"), kAXErrorAPIDisabled) << op;
    }
    EXPECT_FALSE(d.ax.isProcessTrustedWithPrompt());
    EXPECT_FALSE(d.ax.isProcessTrustedWithPrompt());
    EXPECT_EQ(d.model.promptCount, 2u);
    d.model.trusted = true;
    EXPECT_EQ(d.call(save, "AXPress"), kAXErrorSuccess);
    EXPECT_FALSE(Served(R"({"trusted": false, "applications": []})").ax.isProcessTrusted());
}

TEST(SimulatedDesktop, PressPathsAndKeyEvents) {
    Served d;
    auto openRecent = d.fileItem(1);
    for (const auto& e :
         {d.at(4242, {0, 0, 1, 0, 0}), d.at(4242, {0, 0, 1, 0, 1}), d.at(4242, {0})}) {
        EXPECT_EQ(d.call(e, "AXPress"), kAXErrorSuccess);
    }
    // Untitled, empty-titled and non-text titles are left out of the path.
    EXPECT_EQ(d.model.pressedItems,
              (std::deque<std::string>{"File/Open Recent/Clear Menu", "File/Open Recent", "File"}));
    // Trees built in code record the same paths.
    SimulatedDesktopModel built;
    auto item = makeElement({{"AXTitle", Value("Save")}});
    built.addApplication(1, "com.example.Built",
                         makeElement({}, {makeElement({{"AXTitle", Value("File")}}, {item})}));
    SimulatedAccessibility builtAx(built, nullptr);
    EXPECT_EQ(builtAx.performAction(item, "AXPress"), kAXErrorSuccess);
    EXPECT_EQ(built.pressedItems, std::deque<std::string>{"File/Save"});

    SimulatedEventTap tap(d.model);
    for (bool down : {true, false}) {
        auto event = tap.createKeyboardEvent(49, down);
        ASSERT_TRUE(event);
        EXPECT_EQ(event->flags, 0u);
        tap.setFlags(*event, 0x100000);
        tap.post(kCGSessionEventTap, *event);
    }
    EXPECT_EQ(d.model.keyEvents,
              (std::deque<RecordedKeyEvent>{{49, true, 0x100000}, {49, false, 0x100000}}));
}

// Frontmost changes are delivered later, when the run loop calls deliver() on request.
struct Front {
    Served d;
    SimulatedWorkspace workspace{d.model};
    int requests = 0;
    std::vector<std::string> observed;

    Front() {
        observe([this] { observed.push_back(front()); });
        workspace.attach([this] { ++requests; });
    }
    void observe(std::function<void()> f) {
        workspace.addObserver("frontmostApplication", [f](const std::optional<std::string>& key) {
            EXPECT_EQ(key, "frontmostApplication");
            f();
        });
    }
    std::string front() {
        auto app = workspace.frontmostApplication();
        return app ? app->bundleIdentifier().value_or(std::to_string(app->processIdentifier()))
                   : "nobody";
    }
    bool activate(std::int32_t pid) {
        auto app = d.model.runningApplication(pid);
        if (app)
            workspace.setFrontmost(app);
        return app != nullptr;
    }
};

TEST(SimulatedDesktop, FrontmostChangesAreObservedLaterAndOnce) {
    Front f;
    EXPECT_EQ(f.requests, 1) << "the application in front at the start";
    f.workspace.deliver();
    auto editor = f.workspace.frontmostApplication();
    EXPECT_EQ(editor, f.workspace.frontmostApplication()) << "one object per application";
    ASSERT_TRUE(f.activate(77));
    EXPECT_EQ(f.observed, std::vector<std::string>{"com.example.Editor"}) << "not inside";
    f.workspace.deliver();
    f.workspace.deliver();
    EXPECT_EQ(f.observed.size(), 2u);

    f.activate(77);  // the application in front: not a change
    // Several changes before a delivery are seen once, as the state is afterwards.
    f.activate(9);
    EXPECT_TRUE(editor->activateWithOptions(2));
    EXPECT_EQ(f.requests, 3);
    f.workspace.deliver();
    // Quitting the application in front empties the front; one in the background does not.
    f.workspace.quit(f.d.model.runningApplication(4242));
    f.workspace.deliver();
    f.activate(9);
    f.workspace.quit(f.d.model.runningApplication(77));
    f.workspace.deliver();
    EXPECT_EQ(f.observed, (std::vector<std::string>{"com.example.Editor", "com.example.Terminal",
                                                    "com.example.Editor", "nobody", "9"}));
    EXPECT_FALSE(editor->activateWithOptions(2)) << "it quit";
    EXPECT_FALSE(f.activate(4242));
    EXPECT_FALSE(f.activate(-4));
}

TEST(SimulatedDesktop, RemovalDropsWhatIsPendingAndObserversMayReenter) {
    Front f;
    f.workspace.removeObserver("frontmostApplication");
    f.workspace.deliver();
    EXPECT_TRUE(f.observed.empty());
    f.workspace.addObserver("runningApplications", [](const std::optional<std::string>&) {
        FAIL() << "never changes here";
    });
    f.activate(77);
    f.workspace.deliver();

    // An observer that changes the front is called again later; one may remove itself.
    f.observe([&f] {
        f.observed.push_back(f.front());
        if (f.front() == "com.example.Terminal") {
            f.activate(4242);
        } else {
            f.workspace.removeObserver("frontmostApplication");
        }
    });
    f.activate(4242);
    f.activate(77);
    f.workspace.deliver();
    f.workspace.deliver();
    f.workspace.deliver();
    EXPECT_EQ(f.observed, (std::vector<std::string>{"com.example.Terminal", "com.example.Editor"}));
}

TEST(SimulatedDesktop, ApplicationObjectsAndHandlesOutliveTheDesktop) {
    auto d = std::make_unique<Served>();
    auto workspace = std::make_unique<SimulatedWorkspace>(d->model);
    auto editor = workspace->frontmostApplication();
    auto save = d->fileItem(0);
    workspace.reset();
    d.reset();
    EXPECT_FALSE(editor->activateWithOptions(2));
    EXPECT_EQ(editor->bundleIdentifier(), "com.example.Editor");
}

}  // namespace
}  // namespace kivora::simulated
