// The simulated desktop's control interface over a private session bus: a server connection
// serving the desktop and a client connection calling it, both on one sd-event loop.

#include <gtest/gtest.h>

#include "e2e/support/PrivateBus.h"
#include "platform/linux/wire/Names.h"
#include "platform/linux/wire/SdHandles.h"
#include "platform/linux/SimulatedDesktop.h"

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
    static void SetUpTestSuite() { bus_ = new e2e::PrivateBus(); }
    static void TearDownTestSuite() {
        delete bus_;
        bus_ = nullptr;
    }

    void SetUp() override {
        sd_event* e = nullptr;
        ASSERT_GE(sd_event_new(&e), 0);
        event_.reset(e);
        server_ = connect(bus_->address(), e);
        client_ = connect(bus_->address(), e);
        ASSERT_TRUE(server_ && client_);
        const char* unique = nullptr;
        ASSERT_GE(sd_bus_get_unique_name(server_.get(), &unique), 0);
        serverName_ = unique;
        std::string error;
        desktop_ = SimulatedDesktop::fromText(kDesktop, "control.json", error);
        ASSERT_NE(desktop_, nullptr) << error;
        ASSERT_EQ(desktop_->attach(e, server_.get()), 0);
        desktop_->workspace().addObserver(
            "frontmostApplication", [this](const std::optional<std::string>&) {
                auto front = desktop_->workspace().frontmostApplication();
                observed_.push_back(front ? front->bundleIdentifier().value_or("?") : "nobody");
            });
    }
    void TearDown() override {
        desktop_.reset();
        client_.reset();
        server_.reset();
        event_.reset();
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
        struct State {
            Reply reply;
            bool done = false;
            std::vector<std::string>* observed;
        } state{{}, false, &observed_};
        sd_bus_message* m = nullptr;
        EXPECT_GE(sd_bus_message_new_method_call(client_.get(), &m, serverName_.c_str(),
                                                 wire::kDesktopPath,
                                                 wire::kDesktopInterface, member),
                  0);
        MessagePtr request(m);
        EXPECT_GE(sd_bus_message_append(m, types, args...), 0);
        auto onReply = [](sd_bus_message* reply, void* userdata, sd_bus_error*) {
            auto* s = static_cast<State*>(userdata);
            s->done = true;
            s->reply.observedAtReply = s->observed->size();
            if (const sd_bus_error* e = sd_bus_message_get_error(reply)) {
                s->reply.errorName = e->name ? e->name : "";
                s->reply.errorMessage = e->message ? e->message : "";
            }
            s->reply.message = refMessage(reply);
            return 0;
        };
        sd_bus_slot* slot = nullptr;
        EXPECT_GE(sd_bus_call_async(client_.get(), &slot, m, onReply, &state, 0), 0);
        SlotPtr slotGuard(slot);
        // A guard against a hang, not a timing expectation.
        for (int i = 0; i < 1000 && !state.done; ++i) {
            sd_event_run(event_.get(), 100'000);
        }
        EXPECT_TRUE(state.done) << member << " got no reply";
        return std::move(state.reply);
    }

    std::string front() {
        auto app = desktop_->workspace().frontmostApplication();
        return app ? app->bundleIdentifier().value_or("?") : "nobody";
    }

    static e2e::PrivateBus* bus_;
    EventPtr event_;
    BusConnection server_;
    BusConnection client_;
    std::string serverName_;
    std::unique_ptr<SimulatedDesktop> desktop_;
    std::vector<std::string> observed_;
};

e2e::PrivateBus* SimulatedDesktopControl::bus_ = nullptr;

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
