// The simulated desktop's control interface over a private session bus: a server connection
// serving the desktop and a client connection calling it, both on one sd-event loop.

#include <gtest/gtest.h>

#include <utility>

#include "e2e/support/PrivateBus.h"
#include "platform/linux/SimulatedDesktop.h"
#include "platform/linux/wire/Names.h"
#include "platform/linux/wire/SdHandles.h"

namespace kivora::linux_ {
namespace {

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

const char* const kDesktop = R"({
  "frontmost": "com.example.Editor",
  "applications": [
    { "bundleIdentifier": "com.example.Editor", "processIdentifier": 4242 },
    { "bundleIdentifier": "com.example.Terminal", "processIdentifier": 77 }
  ]
})";

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
        std::string error;
        auto model = SimulatedDesktop::parse(kDesktop, "control.json", error);
        ASSERT_TRUE(model) << error;
        desktop_ = std::make_unique<SimulatedDesktop>(std::move(*model), e, server_.get());
        ASSERT_EQ(desktop_->attach(), 0);
        desktop_->workspace().addObserver("frontmostApplication",
                                          [this](const auto&) { observed_.push_back(front()); });
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

    std::string front() {
        auto app = desktop_->workspace().frontmostApplication();
        return app ? app->bundleIdentifier().value_or("?") : "nobody";
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
    EXPECT_EQ(front(), "com.example.Terminal");
    EXPECT_EQ(r.observedAtReply, 1u) << "the reply is a barrier for the observation";
    EXPECT_EQ(observed_, std::vector<std::string>{"com.example.Terminal"});

    r = call("ActivateProcess", "i", 4242);
    EXPECT_EQ(r.errorName, "");
    EXPECT_EQ(r.observedAtReply, 2u);
    r = call("ActivateProcess", "i", 0);
    EXPECT_EQ(r.errorName, "");
    EXPECT_EQ(front(), "nobody");
    EXPECT_EQ(observed_,
              (std::vector<std::string>{"com.example.Terminal", "com.example.Editor", "nobody"}));
}

TEST_F(SimulatedDesktopControl, QuitAndErrors) {
    const std::string noSuch = SimulatedDesktop::kNoSuchApplicationError;
    EXPECT_EQ(call("Quit", "s", "com.example.Editor").errorName, "");
    EXPECT_EQ(front(), "nobody");
    EXPECT_EQ(observed_, std::vector<std::string>{"nobody"});
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
    EXPECT_EQ(observed_.size(), 1u);
}

TEST_F(SimulatedDesktopControl, TrustAndPromptCount) {
    auto& ax = desktop_->accessibility();
    EXPECT_EQ(call("SetTrusted", "b", 0).errorName, "");
    EXPECT_FALSE(ax.isProcessTrustedWithPrompt());
    Reply r = call("PromptCount", "");
    std::uint32_t prompts = 0;
    EXPECT_GE(sd_bus_message_read(r.message.get(), "u", &prompts), 0);
    EXPECT_EQ(prompts, 1u);
    EXPECT_EQ(call("SetTrusted", "b", 1).errorName, "");
    EXPECT_TRUE(ax.isProcessTrusted());
}

}  // namespace
}  // namespace kivora::linux_
