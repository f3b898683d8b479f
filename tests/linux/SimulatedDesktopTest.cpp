// The simulated desktop on Linux: desktop files read and refused with their place, the
// frontmost observation delivered from the event loop, and the control interface over a
// private session bus (a server connection serving the desktop, a client calling it, both on
// one sd-event loop).

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <utility>

#include "e2e/support/PrivateBus.h"
#include "platform/linux/SimulatedDesktop.h"
#include "platform/linux/wire/Names.h"
#include "platform/linux/wire/SdHandles.h"

namespace kivora::linux_ {
namespace {

const char* const kTwo = R"({"frontmost": "com.example.Editor", "applications": [
    {"bundleIdentifier": "com.example.Editor", "processIdentifier": 4242},
    {"bundleIdentifier": "com.example.Terminal", "processIdentifier": 77},
    {"processIdentifier": 9}]})";

std::unique_ptr<SimulatedDesktop> desktopFrom(const std::string& text, sd_event* event,
                                              sd_bus* bus = nullptr) {
    std::string error;
    auto model = SimulatedDesktop::parse(text, "test.json", error);
    EXPECT_TRUE(model) << error;
    return std::make_unique<SimulatedDesktop>(model ? std::move(*model) : SimulatedDesktopModel(),
                                              event, bus);
}

std::string front(SimulatedDesktop& desktop) {
    auto app = desktop.workspace().frontmostApplication();
    return app ? app->bundleIdentifier().value_or("?") : "nobody";
}

TEST(SimulatedDesktopLoad, UnreadableFilesAreNamedOnOneLine) {
    std::string error;
    EXPECT_FALSE(SimulatedDesktop::load("/nonexistent/desk.json", error));
    EXPECT_EQ(error,
              "/nonexistent/desk.json: cannot read the desktop file: No such file or "
              "directory");
    EXPECT_FALSE(SimulatedDesktop::load("/tmp", error));
    EXPECT_EQ(error, "/tmp: cannot read the desktop file: is a directory");

    // A file that is not JSON: the list of bad desktops itself.
    const std::string notJson = KIVORA_SOURCE_DIR "/tests/data/linux/bad-desktops.txt";
    EXPECT_FALSE(SimulatedDesktop::load(notJson, error));
    EXPECT_EQ(error.rfind(notJson + ": ", 0), 0u) << error;
    EXPECT_NE(error.find("JSON"), std::string::npos) << error;

    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    EXPECT_FALSE(SimulatedDesktop::parse(deep, "deep.json", error));
    EXPECT_NE(error.find("nested"), std::string::npos) << error;
    EXPECT_FALSE(SimulatedDesktop::parse("{}", "a\nb.json", error));
    EXPECT_EQ(error.rfind("a b.json: ", 0), 0u) << error;

    // Each bad desktop: its expected error, then the text on the next line.
    std::ifstream file(notJson);
    int cases = 0;
    for (std::string expected, text; std::getline(file, expected);) {
        if (!expected.starts_with("#") && std::getline(file, text)) {
            EXPECT_FALSE(SimulatedDesktop::parse(text, "test.json", error)) << text;
            EXPECT_EQ(error.rfind("test.json: " + expected, 0), 0u) << error;
            ++cases;
        }
    }
    EXPECT_GT(cases, 10);
}

TEST(SimulatedDesktopLoad, ShippedDesktopsAndOptionalParts) {
    std::vector<std::string> files = {KIVORA_SOURCE_DIR "/resources/bundle/demo-desktop.json"};
    for (const auto& entry :
         std::filesystem::directory_iterator(KIVORA_SOURCE_DIR "/resources/desktops")) {
        files.push_back(entry.path().string());
    }
    for (const auto& file : files) {
        std::string error;
        auto shipped = SimulatedDesktop::load(file, error);
        ASSERT_TRUE(shipped) << error;
        EXPECT_NE(shipped->frontmost, nullptr) << file;
    }

    auto desktop = desktopFrom(R"({"frontmost": null, "applications": [
        {"processIdentifier": 1, "bundleIdentifier": null}, {"processIdentifier": 2}]})",
                               nullptr);
    EXPECT_EQ(front(*desktop), "nobody");
    EXPECT_TRUE(desktop->accessibility().isProcessTrusted());
    ASSERT_TRUE(desktop->activateProcess(2));
    EXPECT_EQ(front(*desktop), "?");
    auto byPid =
        desktopFrom(R"({"frontmost": 2, "applications": [{"processIdentifier": 2}]})", nullptr);
    EXPECT_EQ(byPid->workspace().frontmostApplication()->processIdentifier(), 2);
}

TEST(SimulatedDesktopLoop, ChangesAreObservedOnTheNextIterationOnce) {
    sd_event* e = nullptr;
    ASSERT_GE(sd_event_new(&e), 0);
    EventPtr event(e);
    auto desktop = desktopFrom(kTwo, e);
    std::vector<std::string> observed;
    desktop->workspace().addObserver("frontmostApplication",
                                     [&](const auto&) { observed.push_back(front(*desktop)); });
    auto runPending = [e] {
        int ran = 0;
        while (sd_event_run(e, 0) > 0)
            ++ran;
        return ran;
    };
    ASSERT_EQ(desktop->attach(), 0);
    EXPECT_TRUE(observed.empty()) << "never inside the call that made the change";
    EXPECT_EQ(runPending(), 1);
    ASSERT_TRUE(desktop->activate("com.example.Terminal"));
    ASSERT_TRUE(desktop->activate("com.example.Terminal"));
    EXPECT_EQ(runPending(), 1);
    EXPECT_EQ(observed, (std::vector<std::string>{"com.example.Editor", "com.example.Terminal"}));
    EXPECT_FALSE(desktop->activate("com.example.Nothing"));
    EXPECT_EQ(runPending(), 0);
    EXPECT_EQ(desktop->attach(), -EALREADY);
}

BusConnection connect(const std::string& address, sd_event* event) {
    sd_bus* bus = nullptr;
    if (sd_bus_new(&bus) < 0)
        return nullptr;
    BusConnection connection(bus);
    if (sd_bus_set_address(bus, address.c_str()) < 0 || sd_bus_set_bus_client(bus, 1) < 0 ||
        sd_bus_start(bus) < 0 || sd_bus_attach_event(bus, event, SD_EVENT_PRIORITY_NORMAL) < 0) {
        return nullptr;
    }
    return connection;
}

class SimulatedDesktopControl : public ::testing::Test {
protected:
    void SetUp() override {
        static e2e::PrivateBus bus;
        sd_event* e = nullptr;
        ASSERT_GE(sd_event_new(&e), 0);
        event_.reset(e);
        server_ = connect(bus.address(), e);
        client_ = connect(bus.address(), e);
        ASSERT_TRUE(server_ && client_);
        desktop_ = desktopFrom(kTwo, e, server_.get());
        ASSERT_EQ(desktop_->attach(), 0);
        desktop_->workspace().addObserver(
            "frontmostApplication", [this](const auto&) { observed_.push_back(front(*desktop_)); });
    }

    struct Reply {
        MessagePtr message;
        std::string errorName;
        std::string errorMessage;
        std::size_t observedAtReply = 0;
    };

    // Calls a control method from the client and runs the loop until its reply is in.
    template <typename... Args>
    Reply call(const char* member, const char* types, Args... args) {
        const char* server = nullptr;
        EXPECT_GE(sd_bus_get_unique_name(server_.get(), &server), 0);
        sd_bus_message* m = nullptr;
        EXPECT_GE(sd_bus_message_new_method_call(client_.get(), &m, server, wire::kDesktopPath,
                                                 wire::kDesktopInterface, member),
                  0);
        MessagePtr request(m);
        EXPECT_GE(sd_bus_message_append(m, types, args...), 0);
        auto onReply = [](sd_bus_message* reply, void* self, sd_bus_error*) {
            auto* test = static_cast<SimulatedDesktopControl*>(self);
            const sd_bus_error* e = sd_bus_message_get_error(reply);
            test->reply_ = {refMessage(reply), e && e->name ? e->name : "",
                            e && e->message ? e->message : "", test->observed_.size()};
            return 0;
        };
        sd_bus_slot* slot = nullptr;
        EXPECT_GE(sd_bus_call_async(client_.get(), &slot, m, onReply, this, 0), 0);
        SlotPtr slotGuard(slot);
        // A guard against a hang, not a timing expectation.
        for (int i = 0; i < 1000 && !reply_.message; ++i) {
            sd_event_run(event_.get(), 100'000);
        }
        EXPECT_TRUE(reply_.message) << member << " got no reply";
        return std::exchange(reply_, {});
    }

    EventPtr event_;  // declared first: it outlives everything attached to it
    BusConnection server_;
    BusConnection client_;
    std::unique_ptr<SimulatedDesktop> desktop_;
    std::vector<std::string> observed_;
    Reply reply_;
};

TEST_F(SimulatedDesktopControl, ActivationIsObservedBeforeTheReplyArrives) {
    Reply r = call("Activate", "s", "com.example.Terminal");
    EXPECT_EQ(r.errorName, "");
    EXPECT_EQ(front(*desktop_), "com.example.Terminal");
    EXPECT_EQ(r.observedAtReply, 1u) << "the reply is a barrier for the observation";
    r = call("ActivateProcess", "i", 4242);
    EXPECT_EQ(r.errorName, "");
    EXPECT_EQ(r.observedAtReply, 2u);
    EXPECT_EQ(call("ActivateProcess", "i", 0).errorName, "");
    EXPECT_EQ(observed_,
              (std::vector<std::string>{"com.example.Terminal", "com.example.Editor", "nobody"}));
}

TEST_F(SimulatedDesktopControl, QuitTrustAndErrors) {
    const std::string noSuch = SimulatedDesktop::kNoSuchApplicationError;
    EXPECT_EQ(call("Quit", "s", "com.example.Editor").errorName, "");
    EXPECT_EQ(front(*desktop_), "nobody");
    Reply r = call("Quit", "s", "com.example.Editor");
    EXPECT_EQ(r.errorName, noSuch);
    EXPECT_EQ(r.errorMessage,
              "No running application with the bundle identifier \"com.example.Editor\"");
    r = call("ActivateProcess", "i", -7);
    EXPECT_EQ(r.errorName, noSuch);
    EXPECT_EQ(r.errorMessage, "No running application with the process identifier -7");
    EXPECT_EQ(call("Activate", "s", "").errorName, noSuch);
    EXPECT_EQ(call("Activate", "i", 4242).errorName, "org.freedesktop.DBus.Error.InvalidArgs");
    EXPECT_EQ(call("Launch", "s", "x").errorName, "org.freedesktop.DBus.Error.UnknownMethod");
    EXPECT_EQ(observed_, std::vector<std::string>{"nobody"});

    auto& ax = desktop_->accessibility();
    EXPECT_EQ(call("SetTrusted", "b", 0).errorName, "");
    EXPECT_FALSE(ax.isProcessTrustedWithPrompt());
    std::uint32_t prompts = 0;
    EXPECT_GE(sd_bus_message_read(call("PromptCount", "").message.get(), "u", &prompts), 0);
    EXPECT_EQ(prompts, 1u);
    EXPECT_EQ(call("SetTrusted", "b", 1).errorName, "");
    EXPECT_TRUE(ax.isProcessTrusted());
}

}  // namespace
}  // namespace kivora::linux_
