// The simulated desktop's tree through the ports, from a query table (values as written,
// injected errors and delays, trust, foreign handles, press paths), then what a line cannot
// say: trees built in code, key events and the frontmost observation.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <utility>

#include "platform/Json.h"
#include "platform/PropertyList.h"
#include "platform/simulated/SimulatedAccessibility.h"
#include "platform/simulated/SimulatedEventTap.h"
#include "platform/simulated/SimulatedWorkspace.h"

namespace kivora::simulated {
namespace {

std::string readData(const std::string& name) {
    std::ifstream file(KIVORA_SOURCE_DIR "/tests/data/unit/" + name);
    EXPECT_TRUE(file) << name;
    return {std::istreambuf_iterator<char>(file), {}};
}

// A desktop served through the ports; slow elements record their pauses instead of taking
// them.
struct Served {
    SimulatedDesktopModel model;
    std::vector<double> pauses;
    SimulatedAccessibility ax{model, [this](double seconds) { pauses.push_back(seconds); }};

    explicit Served(const std::string& text = readData("editor-desktop.json")) {
        std::string error;
        auto parsed = parseDesktop(text, error);
        EXPECT_TRUE(parsed) << error;
        if (parsed)
            model = std::move(*parsed);
    }

    // "app:PID", or "PID/i.j.k": the menu bar of PID, then children by index.
    AXUIElementRef at(const std::string& target) {
        if (target.starts_with("app:"))
            return ax.createApplication(std::stoi(target.substr(4)));
        // Found while trusted, so that an untrusted process can be asked about a known element.
        const bool trusted = std::exchange(model.trusted, true);
        AXValue v;
        EXPECT_EQ(ax.copyAttributeValue(ax.createApplication(std::stoi(target)), "AXMenuBar", v),
                  0);
        auto e = std::get<AXUIElementRef>(v);
        std::istringstream path(target.substr(target.find('/') + 1));
        for (std::string index; std::getline(path, index, '.');) {
            std::vector<AXValue> children;
            EXPECT_EQ(ax.copyAttributeValues(e, "AXChildren", 0, 1000, children), 0);
            e = std::get<AXUIElementRef>(children.at(std::stoul(index)));
        }
        model.trusted = trusted;
        return e;
    }
    Value shown(const AXValue& v) {
        if (const auto* e = std::get_if<AXUIElementRef>(&v)) {
            AXValue title;
            ax.copyAttributeValue(*e, "AXTitle", title);
            const auto* text = std::get_if<Value>(&title);
            return "@" + (text && text->isString() ? text->asString() : "");
        }
        return std::get<Value>(v);
    }
};

const std::map<std::string, AXError> kErrors = {
    {"Success", kAXErrorSuccess},
    {"Failure", kAXErrorFailure},
    {"IllegalArgument", kAXErrorIllegalArgument},
    {"InvalidUIElement", kAXErrorInvalidUIElement},
    {"CannotComplete", kAXErrorCannotComplete},
    {"AttributeUnsupported", kAXErrorAttributeUnsupported},
    {"APIDisabled", kAXErrorAPIDisabled},
    {"NoValue", kAXErrorNoValue},
};

// Runs one line's query on `d` (foreign: elements come from the other desktop); an error name, or
// the value that came back.
Value query(Served& d, Served& foreign, const std::string& target, std::istringstream& in) {
    std::string op, name;
    in >> op;
    if (target == "desktop") {
        if (op == "trust") {
            in >> name;
            d.model.trusted = name == "true";
            return {};
        }
        if (op == "prompt")
            return d.ax.isProcessTrustedWithPrompt();
        if (op == "prompts")
            return std::int64_t{d.model.promptCount};
        Array list;
        if (op == "pauses") {
            for (double p : d.pauses)
                list.push_back(std::round(p * 1e6) / 1e6);
        }
        if (op == "pressed") {
            list.assign(d.model.pressedItems.begin(), d.model.pressedItems.end());
        }
        return list;
    }
    const auto element = target == "null"                 ? nullptr
                         : target.starts_with("foreign:") ? foreign.at(target.substr(8))
                                                          : d.at(target);
    AXError error = kAXErrorSuccess;
    AXValue v;
    std::vector<AXValue> values;
    std::int64_t count = 0, start = 0, max = 0;
    if (op == "value") {
        in >> name;
        if ((error = d.ax.copyAttributeValue(element, name, v)) == kAXErrorSuccess)
            return d.shown(v);
    } else if (op == "count") {
        in >> name;
        if ((error = d.ax.getAttributeValueCount(element, name, count)) == kAXErrorSuccess)
            return count;
    } else if (op == "values") {
        in >> name >> start >> max;
        if ((error = d.ax.copyAttributeValues(element, name, start, max, values)) == 0) {
            Array list;
            for (const auto& value : values)
                list.push_back(d.shown(value));
            return list;
        }
    } else if (op == "perform") {
        in >> name;
        error = d.ax.performAction(element, name);
    } else if (op == "timeout") {
        in >> name;
        error = d.ax.setMessagingTimeout(element, std::stof(name));
    } else if (op == "same") {
        in >> name;
        return element.get() == d.at(name).get();
    }
    for (const auto& [label, code] : kErrors) {
        if (code == error)
            return label;
    }
    return "unknown error " + std::to_string(error);
}

TEST(SimulatedDesktop, QueriesOfTheTable) {
    Served d, other;
    std::istringstream table(readData("desktop-queries.txt"));
    int lines = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line.starts_with("#"))
            continue;
        const auto arrow = line.find(" => ");
        std::istringstream in(line.substr(0, arrow));
        std::string target;
        in >> target;
        Served* on = target.starts_with("other") ? &other : &d;
        if (target.starts_with("other"))
            target = target == "other" ? "desktop" : target.substr(6);
        const Value got = query(*on, on == &d ? other : d, target, in);
        if (arrow == std::string::npos)
            continue;
        const std::string text = line.substr(arrow + 4);
        auto expected = kErrors.contains(text) ? json::ParseResult{Value(text), {}}
                                               : json::parse(text, {.allowScalarTopLevel = true});
        ASSERT_TRUE(expected.value) << line << ": " << expected.error;
        EXPECT_EQ(got, *expected.value) << line << "\n  got " << plist::describe(got);
        ++lines;
    }
    EXPECT_GT(lines, 60);
}

TEST(SimulatedDesktop, TreesBuiltInCodeAndKeyEvents) {
    SimulatedDesktopModel built;
    auto item = makeElement({{"AXTitle", Value("Save")}});
    built.addApplication(1, "com.example.Built",
                         makeElement({}, {makeElement({{"AXTitle", Value("File")}}, {item})}));
    SimulatedAccessibility builtAx(built, nullptr);
    EXPECT_EQ(builtAx.performAction(item, "AXPress"), kAXErrorSuccess);
    EXPECT_EQ(built.pressedItems, std::deque<std::string>{"File/Save"});
    EXPECT_FALSE(Served(R"({"trusted": false, "applications": []})").ax.isProcessTrusted());

    SimulatedEventTap tap(built);
    for (bool down : {true, false}) {
        auto event = tap.createKeyboardEvent(49, down);
        ASSERT_TRUE(event);
        EXPECT_EQ(event->flags, 0u);
        tap.setFlags(*event, 0x100000);
        tap.post(kCGSessionEventTap, *event);
    }
    EXPECT_EQ(built.keyEvents,
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
    auto save = d->at("4242/0.0.0");
    workspace.reset();
    d.reset();
    EXPECT_FALSE(editor->activateWithOptions(2));
    EXPECT_EQ(editor->bundleIdentifier(), "com.example.Editor");
}

}  // namespace
}  // namespace kivora::simulated
