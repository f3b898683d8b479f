// The helper end to end, one scenario file each: the helper as a process on a private bus, the
// main application played by the shared client, kivoractl as users run it. The step kinds are
// described in scenarios/README.md.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "e2e/support/HelperProcess.h"
#include "e2e/support/PrivateBus.h"
#include "e2e/support/TestClient.h"
#include "kivoractl/JsonText.h"
#include "platform/Json.h"

namespace kivora::e2e {
namespace {

using json = nlohmann::json;
using Lines = std::vector<std::string>;
namespace fs = std::filesystem;

const fs::path kScenarioDir = fs::path(KIVORA_SOURCE_DIR) / "tests/e2e/scenarios";

json toJson(const Value& value) {
    return json::parse(kivoractl::toJsonText(value));
}

// Objects match by the keys they list, arrays element by element; {"$contains": [...]} and
// {"$length": n} / {"$lengthBetween": [lo, hi]} / {"$last": v} loosen an array check.
bool matches(const json& want, const json& have) {
    if (want.is_object() && want.contains("$contains")) {
        return have.is_array() &&
               std::all_of(want["$contains"].begin(), want["$contains"].end(),
                           [&](const json& item) {
                               return std::any_of(have.begin(), have.end(),
                                                  [&](const json& h) { return matches(item, h); });
                           });
    }
    if (want.is_object() && (want.contains("$length") || want.contains("$lengthBetween"))) {
        const json bounds = want.value(
            "$lengthBetween", json::array({want.value("$length", 0), want.value("$length", 0)}));
        return have.is_array() && have.size() >= bounds[0] && have.size() <= bounds[1] &&
               (!want.contains("$last") || (!have.empty() && have.back() == want["$last"]));
    }
    if (want.is_object()) {
        return have.is_object() &&
               std::all_of(want.items().begin(), want.items().end(), [&](const auto& item) {
                   return have.contains(item.key()) && matches(item.value(), have[item.key()]);
               });
    }
    if (want.is_array()) {
        if (!have.is_array() || have.size() != want.size()) {
            return false;
        }
        for (std::size_t i = 0; i < want.size(); ++i) {
            if (!matches(want[i], have[i])) {
                return false;
            }
        }
        return true;
    }
    return want == have;
}

// A menu shortcut list, one line per entry: a header as "# title", the application title
// bare, a record as "Path | Title | Modifier | MenuItemCmdChar | MenuItemCmdGlyph" ("∅" for
// an empty text); anything else as "?" and its JSON.
Lines sheetLines(const json& list) {
    Lines lines;
    for (std::size_t i = 0; list.is_array() && i < list.size(); ++i) {
        const json& entry = list[i];
        if (entry.is_string()) {
            lines.push_back((i + 1 == list.size() ? "" : "# ") + entry.get<std::string>());
            continue;
        }
        std::string line;
        bool wellFormed = entry.is_object() && entry.size() == 5;
        for (const char* key :
             {"Path", "Title", "Modifier", "MenuItemCmdChar", "MenuItemCmdGlyph"}) {
            wellFormed = wellFormed && entry.contains(key) && entry[key].is_string();
            if (wellFormed) {
                const std::string text = entry[key];
                line += (line.empty() ? "" : " | ") + (text.empty() ? "∅" : text);
            }
        }
        lines.push_back(wellFormed ? line : "? " + entry.dump());
    }
    return list.is_array() ? lines : Lines{"? not a list: " + list.dump()};
}

// A text as written, or {"prefix": p, "repeat": r, "times": n} for one too large to write.
std::string textOf(const json& value) {
    if (value.is_string()) {
        return value;
    }
    std::string text = value.value("prefix", "");
    for (int i = 0; i < value["times"].get<int>(); ++i) {
        text += value["repeat"].get<std::string>();
    }
    return text;
}

// A test desktop too repetitive to write out: an application `app` whose menu (or a second
// menu titled `menuTitle`) holds `items` enabled items, each answering after `delayMs`.
json generatedDesktop(const json& spec) {
    const std::string app = spec["app"];
    json items = json::array();
    for (int i = 0; i < spec["items"].get<int>(); ++i) {
        items.push_back({{"AXTitle", "Item " + std::to_string(i)},
                         {"AXEnabled", true},
                         {"AXMenuItemCmdChar", "A"},
                         {"AXDelayMs", spec.value("delayMs", 0)}});
    }
    const auto menu = [](const std::string& title, json children) {
        return json{{"AXTitle", title}, {"AXChildren", {{{"AXChildren", std::move(children)}}}}};
    };
    json bar = {{{"AXTitle", "Apple"}}};
    if (spec.contains("menuTitle")) {
        bar.push_back(
            menu(app, {{{"AXTitle", "Quit"}, {"AXEnabled", true}, {"AXMenuItemCmdChar", "Q"}}}));
        bar.push_back(menu(textOf(spec["menuTitle"]), items));
    } else {
        bar.push_back(menu(app, items));
    }
    return {{"trusted", true},
            {"frontmost", "com.example." + app},
            {"applications",
             {{{"bundleIdentifier", "com.example." + app},
               {"processIdentifier", 10},
               {"menuBar", {{"AXChildren", bar}}}}}}};
}

std::string joined(const Lines& lines) {
    std::string out;
    for (const auto& line : lines) {
        out += line + "\n";
    }
    return out;
}

// Runs of blanks as one, so that a check does not depend on column widths.
std::string collapsed(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != ' ' || out.empty() || out.back() != ' ') {
            out += c;
        }
    }
    return out;
}

void expectContains(const Lines& lines, const json& fragments) {
    const std::string text = collapsed(joined(lines));
    for (const std::string fragment : fragments) {
        EXPECT_NE(text.find(collapsed(fragment)), std::string::npos) << fragment << " in\n" << text;
    }
}

class Scenario {
public:
    explicit Scenario(const json& spec) : spec_(spec) {
        const std::string home = files_.file("home");
        fs::create_directories(home);
        if (spec.value("home", json()) == "demo") {
            fs::copy(fs::path(KIVORA_SOURCE_DIR) / "resources/demo/home", home,
                     fs::copy_options::recursive);
        } else {
            const json homeFiles = spec.value("home", json::object());
            for (const auto& [path, content] : homeFiles.items()) {
                files_.write("home/" + path, content.get<std::string>());
            }
        }
        places_ = {{"@home", home},
                   {"@dir", files_.path()},
                   {"@schemas", KIVORA_TEST_SCHEMA_DIR},
                   {"@desktop", desktopPath(spec.value("desktop", json("demo")))}};
        options_.home = home;
        for (const auto& arg : spec.value("args", json::array({"--desktop", "@desktop"}))) {
            options_.args.push_back(expand(arg));
        }
        const json environment = spec.value("env", json::object());
        for (const auto& [name, value] : environment.items()) {
            options_.environment[name] =
                value.is_null() ? std::nullopt : std::optional(expand(value));
        }
        if (spec.value("bus", true)) {
            bus_ = std::make_unique<PrivateBus>();
            client_ = std::make_unique<TestClient>(*bus_, TestClient::Collect::fromHelperOnly);
        }
        const std::string helper = spec.value("helper", "start");
        if (helper == "silent") {
            EXPECT_GE(sd_bus_request_name(client_->bus(), kHelperBusName, 0), 0);
        } else if (helper != "none") {
            start("helper", helper == "start");
        }
    }

    void run(const json& step);

private:
    std::string expand(std::string text) const {
        for (const auto& [token, value] : places_) {
            for (std::size_t at; (at = text.find(token)) != std::string::npos;) {
                text.replace(at, token.size(), value);
            }
        }
        return text;
    }

    std::string desktopPath(const json& desktop) {
        if (desktop == "demo") {
            return std::string(KIVORA_BUNDLE_DIR) + "/Resources/demo-desktop.json";
        }
        if (desktop.contains("text")) {
            return files_.write("desktop.json", desktop["text"].get<std::string>());
        }
        if (desktop.is_string()) {
            return std::string(KIVORA_SOURCE_DIR) + "/resources/desktops/" +
                   desktop.get<std::string>();
        }
        const json content =
            desktop.contains("generate") ? generatedDesktop(desktop["generate"]) : desktop;
        return files_.write("desktop.json", content.dump());
    }

    void start(const std::string& name, bool waitForName) {
        auto& process = processes_[name];
        process = bus_ ? std::make_unique<HelperProcess>(*bus_, options_)
                       : HelperProcess::withoutBus(options_);
        if (waitForName) {
            ASSERT_TRUE(process->waitUntilOwnsName()) << process->describe();
        }
    }

    std::optional<std::string> objectOf(const json& step, const json& fallback) const {
        const json object = step.value("object", fallback);
        if (object.is_null()) {
            return std::nullopt;
        }
        return object == "@helper" ? kHelperObject
               : object == "@main" ? kMainAppObject
                                   : object.get<std::string>();
    }

    void post(const json& step);
    void expectReply(const json& step);
    void expectOutput(HelperProcess& process, const json& step);
    void runKivoractl(const json& step);

    json spec_;
    TempDir files_;
    std::map<std::string, std::string> places_;
    HelperOptions options_;
    std::unique_ptr<PrivateBus> bus_;
    std::unique_ptr<TestClient> client_;
    std::map<std::string, std::unique_ptr<HelperProcess>> processes_;
    std::map<std::string, json> saved_;
};

void Scenario::post(const json& step) {
    const std::string name = step.contains("post") ? textOf(step["post"]) : "";
    const auto object = objectOf(step, json());
    const char* to = object ? object->c_str() : nullptr;
    const std::string raw = step.value("raw", "");
    if (raw.empty()) {
        const auto info = kivora::json::parse(step.value("userInfo", json::object()).dump());
        ASSERT_TRUE(info.value) << info.error;
        client_->post(name, object, info.value->asDictionary());
    } else if (raw == "int") {
        client_->postRaw("i", 42);
    } else if (raw == "noUserInfo") {
        client_->postRaw("ss", name.c_str(), to);
    } else if (raw == "extraArgument") {
        client_->postRaw("ssa{sv}s", name.c_str(), to, 0, "extra");
    } else if (raw == "stringArray") {
        client_->postRaw("ssas", name.c_str(), to, 0);
    } else if (raw == "structValue") {
        client_->postRaw("ssa{sv}", name.c_str(), to, 1, "struct", "(ii)", 1, 2);
    } else {
        FAIL() << "unknown raw body " << raw;
    }
}

void Scenario::expectReply(const json& step) {
    const std::string name = step["expect"];
    auto reply = client_->waitFor(name, Duration(step.value("timeoutMs", kDefaultTimeout.count())));
    ASSERT_TRUE(reply) << "no " << name << "\n" << processes_["helper"]->describe();
    EXPECT_EQ(reply->object, objectOf(step, json("@main")));
    const json info = toJson(Value(reply->userInfo));
    if (step.contains("sheet")) {
        EXPECT_EQ(info.size(), 1u) << info.dump();
        const json have = sheetLines(info.value("currentShortcut", json()));
        EXPECT_TRUE(have == step["sheet"]) << "have " << have.dump(1);
    }
    if (step.contains("exact")) {
        EXPECT_TRUE(info == step["exact"]) << "have " << info.dump(1);
    }
    if (step.contains("userInfo")) {
        // {"$saved": "name/key", "times": n}: that saved array n times over.
        json want = step["userInfo"];
        for (auto& [key, value] : want.items()) {
            if (value.is_object() && value.contains("$saved")) {
                const json& array = saved_[value["$saved"]][key];
                json repeated = json::array();
                for (int i = 0; i < value.value("times", 1); ++i) {
                    repeated.insert(repeated.end(), array.begin(), array.end());
                }
                value = repeated;
            }
        }
        EXPECT_TRUE(matches(want, info)) << "want " << want.dump() << "\nhave " << info.dump();
    }
    if (step.contains("save")) {
        saved_[step["save"]] = info;
    }
}

void Scenario::expectOutput(HelperProcess& process, const json& step) {
    if (step.contains("stdout")) {
        // Lines in a run, in order; null stands for any non-empty line.
        const json want = step["stdout"];
        const bool whole = step.value("whole", false);
        if (!want.empty() && want.back().is_string()) {
            EXPECT_TRUE(process.waitForLine(want.back().get<std::string>())) << process.describe();
        }
        const Lines out = process.stdoutLines();
        const auto runsAt = [&](std::size_t at) {
            for (std::size_t i = 0; i < want.size(); ++i) {
                if (want[i].is_null() ? out[at + i].empty() : out[at + i] != want[i]) {
                    return false;
                }
            }
            return true;
        };
        bool found = whole ? out.size() == want.size() && runsAt(0) : false;
        for (std::size_t at = 0; !whole && !found && at + want.size() <= out.size(); ++at) {
            found = runsAt(at);
        }
        EXPECT_TRUE(found) << want.dump() << "\n" << process.describe();
    }
    if (step.contains("stdoutCount")) {
        EXPECT_EQ(process.countLines(step["stdoutCount"].get<std::string>()),
                  step["is"].get<std::size_t>())
            << process.describe();
    }
    if (step.contains("stderrContains")) {
        EXPECT_TRUE(process.waitForStderr(step["stderrContains"].get<std::string>()))
            << process.describe();
    }
    if (step.contains("stderr")) {
        EXPECT_EQ(process.stderrLines().size(), step["stderr"].get<std::size_t>())
            << process.describe();
    }
}

void Scenario::runKivoractl(const json& step) {
    ProcessSpec spec{KIVORACTL_PATH, step["kivoractl"].get<Lines>(), {}};
    if (step.contains("stdoutTo")) {  // through a shell, for a redirection such as /dev/full
        spec.args.insert(
            spec.args.begin(),
            {"-c", "exec \"$0\" \"$@\" >" + step["stdoutTo"].get<std::string>(), KIVORACTL_PATH});
        spec.path = "/bin/sh";
    }
    spec.environment["DBUS_SESSION_BUS_ADDRESS"] =
        bus_ ? bus_->address() : "unix:path=/nonexistent/kivora-no-bus";
    if (!bus_) {
        spec.environment["XDG_RUNTIME_DIR"] = std::nullopt;
    }
    const RunResult result = runProcess(spec);
    const std::string said = "kivoractl " + step["kivoractl"].dump() + "\n--- stdout\n" +
                             joined(result.out) + "--- stderr\n" + joined(result.err);
    EXPECT_TRUE(result.status.exitedWith(step.value("exit", 0))) << result.status << "\n" << said;
    if (step.contains("out")) {
        EXPECT_EQ(result.out, step["out"].get<Lines>()) << said;
    }
    if (step.contains("err")) {
        EXPECT_EQ(result.err, step["err"].get<Lines>()) << said;
    }
    expectContains(result.out, step.value("outContains", json::array()));
    expectContains(result.err, step.value("errContains", json::array()));
    if (step.contains("outJson")) {
        const json document = json::parse(joined(result.out), nullptr, false);
        EXPECT_TRUE(matches(step["outJson"], document)) << said;
    }
}

void Scenario::run(const json& step) {
    SCOPED_TRACE(step.dump().substr(0, 300));
    HelperProcess* named = processes_[step.value("process", "helper")].get();
    const bool needsNoProcess = step.contains("kivoractl") || step.contains("repeat") ||
                                step.contains("post") || step.contains("raw") ||
                                step.contains("expect");
    ASSERT_TRUE(named != nullptr || needsNoProcess) << "no such process";
    if (step.contains("repeat")) {
        for (int i = 0; i < step["repeat"].get<int>() && !::testing::Test::HasFailure(); ++i) {
            for (const json& inner : step["steps"]) {
                run(inner);
            }
        }
    } else if (step.contains("post") || step.contains("raw")) {
        post(step);
    } else if (step.contains("expect")) {
        expectReply(step);
    } else if (step.contains("kivoractl")) {
        runKivoractl(step);
    } else if (step.contains("start")) {
        start(step["start"], false);
    } else if (step.contains("ping")) {
        ASSERT_TRUE(client_->ping(kHelperBusName)) << named->describe();
    } else if (step.contains("count")) {
        ASSERT_TRUE(client_->ping(kHelperBusName)) << named->describe();
        EXPECT_EQ(client_->count(step["count"].get<std::string>()),
                  step["is"].get<std::uint64_t>());
    } else if (step.contains("received")) {
        Lines names;
        for (const auto& notification : client_->received()) {
            names.push_back(notification.name);
        }
        EXPECT_EQ(names, step["received"].get<Lines>());
    } else if (step.contains("clear")) {
        client_->clear();
    } else if (step.contains("activate")) {
        ASSERT_TRUE(client_->activate(step["activate"])) << client_->lastError();
    } else if (step.contains("quit")) {
        ASSERT_TRUE(client_->quit(step["quit"])) << client_->lastError();
    } else if (step.contains("setTrusted")) {
        ASSERT_TRUE(client_->setTrusted(step["setTrusted"])) << client_->lastError();
    } else if (step.contains("pressed")) {
        EXPECT_EQ(client_->pressedItems(), std::optional(step["pressed"].get<Lines>()));
    } else if (step.contains("keys")) {
        json keys = json::array();
        for (const auto& event : client_->keyEvents().value_or(std::vector<KeyboardEvent>{})) {
            keys.push_back({event.keyCode, event.keyDown, event.flags});
        }
        EXPECT_EQ(keys, step["keys"]) << client_->lastError();
    } else if (step.contains("prompts")) {
        EXPECT_EQ(client_->promptCount(), std::optional(step["prompts"].get<std::uint32_t>()));
    } else if (step.contains("owner")) {
        EXPECT_EQ(client_->nameOwnerPid(kHelperBusName), named->pid());
    } else if (step.contains("released")) {
        EXPECT_TRUE(client_->waitForName(kHelperBusName, false));
    } else if (step.contains("signal")) {
        named->signal(step["signal"] == "INT" ? SIGINT : SIGTERM);
    } else if (step.contains("sleepMs")) {
        std::this_thread::sleep_for(Duration(step["sleepMs"].get<int>()));
    } else if (step.contains("remove")) {
        fs::remove_all(expand(step["remove"]));
    } else if (step.contains("exit")) {
        // A number, or "failure" for any non-zero status.
        const ExitStatus status =
            named->waitForExit(Duration(step.value("timeoutMs", kDefaultTimeout.count())));
        EXPECT_TRUE(step["exit"] == "failure" ? status.exited() && status.code != 0
                                              : status.exitedWith(step["exit"].get<int>()))
            << status << "\n"
            << named->describe();
        expectOutput(*named, step);
    } else {
        ASSERT_TRUE(step.contains("stdout") || step.contains("stdoutCount") ||
                    step.contains("stderr") || step.contains("stderrContains"))
            << "unknown step";
        expectOutput(*named, step);
    }
}

class Scenarios : public ::testing::TestWithParam<fs::path> {};

TEST_P(Scenarios, Run) {
    std::ifstream in(GetParam());
    const json file = json::parse(in);
    for (const json& spec : file.is_array() ? file : json::array({file})) {
        SCOPED_TRACE(spec.value("title", GetParam().stem().string()));
        Scenario scenario(spec);
        if (::testing::Test::HasFatalFailure()) {
            return;
        }
        for (const json& step : spec["steps"]) {
            scenario.run(step);
            if (::testing::Test::HasFatalFailure()) {
                return;
            }
        }
    }
}

std::vector<fs::path> scenarioFiles() {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(kScenarioDir)) {
        if (entry.path().extension() == ".json") {
            files.push_back(entry.path());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

INSTANTIATE_TEST_SUITE_P(E2e, Scenarios, ::testing::ValuesIn(scenarioFiles()),
                         [](const auto& info) {
                             std::string name = info.param.stem().string();
                             std::replace(name.begin(), name.end(), '-', '_');
                             return name;
                         });

}  // namespace
}  // namespace kivora::e2e
