// The notification center on a real private bus: a server connection with the center, pumped
// by the test, and a client connection that plays the other side.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "e2e/support/PrivateBus.h"
#include "e2e/support/TestClient.h"
#include "platform/linux/DBusNotificationCenter.h"
#include "platform/linux/wire/DBusNotificationCodec.h"

namespace kivora::linux_ {
namespace {

const char* const kHelper = e2e::kHelperObject;

class DBusNotificationCenterTest : public ::testing::Test {
protected:
    void SetUp() override {
        static e2e::PrivateBus bus;
        sd_bus* raw = nullptr;
        ASSERT_GE(sd_bus_new(&raw), 0);
        server_.reset(raw);
        ASSERT_GE(sd_bus_set_address(raw, bus.address().c_str()), 0);
        ASSERT_GE(sd_bus_set_bus_client(raw, 1), 0);
        ASSERT_GE(sd_bus_start(raw), 0);
        center_ = std::make_unique<DBusNotificationCenter>(
            raw, [this](std::string_view line) { diagnostics_.emplace_back(line); });
        center_->addObserver([this](const Notification&) { ++sentinels_; }, "Sentinel",
                             std::nullopt);
        client_ = std::make_unique<e2e::TestClient>(bus);
    }

    // Records the calls of an observer as "label:name".
    NotificationCenter::Observer record(std::string label) {
        return [this, label](const Notification& n) { calls_.push_back(label + ":" + n.name); };
    }

    // Everything the client posted before has been dispatched: its messages arrive in order.
    void sync() {
        const int expected = sentinels_ + 1;
        ASSERT_TRUE(client_->post("Sentinel"));
        // A guard against a hang, not a timing expectation.
        for (int i = 0; i < 1000 && sentinels_ < expected; ++i) {
            if (sd_bus_process(server_.get(), nullptr) == 0) {
                sd_bus_wait(server_.get(), 100000);
            }
        }
        ASSERT_EQ(sentinels_, expected);
    }

    BusConnection server_;
    std::unique_ptr<DBusNotificationCenter> center_;
    std::unique_ptr<e2e::TestClient> client_;
    std::vector<std::string> diagnostics_;
    std::vector<std::string> calls_;
    int sentinels_ = 0;
};

TEST_F(DBusNotificationCenterTest, FiltersHoldOnTheBusAndInCodeInOrder) {
    std::ifstream file(KIVORA_SOURCE_DIR "/tests/data/linux/center-filters.txt");
    std::vector<std::string> reached;
    auto filter = [](const std::string& word) {
        return word.empty() || word == "-" ? std::nullopt
                                           : std::optional(word == "helper" ? kHelper : word);
    };
    for (std::string line, verb, a, b, c; std::getline(file, line);) {
        std::istringstream(line) >> verb >> a >> b >> c;
        if (verb == "observe") {
            center_->addObserver(record(a), filter(b), filter(c));
        } else if (verb == "post") {
            client_->post(*filter(a), filter(b));
        } else if (verb == "reached") {
            reached.push_back(a);
        }
        a = b = c = "";
    }
    // The center's interface and member on another path, broadcast and sent to us directly.
    const char* unique = nullptr;
    ASSERT_GE(sd_bus_get_unique_name(server_.get(), &unique), 0);
    for (const char* destination : {static_cast<const char*>(nullptr), unique}) {
        sd_bus_message* m = nullptr;
        ASSERT_GE(sd_bus_message_new_signal(client_->bus(), &m, "/elsewhere", wire::kInterface,
                                            wire::kMember),
                  0);
        MessagePtr other(m);
        ASSERT_TRUE(!destination || sd_bus_message_set_destination(m, destination) >= 0);
        ASSERT_GE(sd_bus_message_append(m, "ss", "TerminateSubApp", kHelper), 0);
        ASSERT_GE(sd_bus_send(client_->bus(), m, nullptr), 0);
    }
    sync();
    EXPECT_GT(reached.size(), 5u);
    EXPECT_EQ(calls_, reached);
    EXPECT_TRUE(diagnostics_.empty());
}

TEST_F(DBusNotificationCenterTest, MalformedSignalsAndFailingObserversLeaveServingUp) {
    center_->addObserver([](const Notification&) { throw std::runtime_error("boom"); },
                         std::nullopt, kHelper);
    center_->addObserver(record("all"), std::nullopt, std::nullopt);
    center_->setBeforeDelivery([this] { calls_.push_back("catch-up"); });

    client_->postRaw("i", 42);
    client_->postRaw("sa{sv}s", "Extra", 0, "argument");
    client_->post("Good", kHelper, {{"k", 1}});
    client_->postRaw("s", "NameOnly");
    client_->postRaw("ssa{sv}", "Typed", "O", 2, "bad", "(ii)", 1, 2, "ok", "s", "fine");
    sync();

    // Once per delivered notification, before its first observer; never for a dropped one.
    EXPECT_EQ(calls_,
              (std::vector<std::string>{"catch-up", "all:Good", "catch-up", "all:NameOnly",
                                        "catch-up", "all:Typed", "catch-up", "all:Sentinel"}));
    ASSERT_EQ(diagnostics_.size(), 4u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_NE(diagnostics_[i].find("signature"), std::string::npos) << diagnostics_[i];
    }
    EXPECT_NE(diagnostics_[2].find("boom"), std::string::npos) << diagnostics_[2];
    EXPECT_NE(diagnostics_[3].find("\"bad\""), std::string::npos) << diagnostics_[3];
}

TEST_F(DBusNotificationCenterTest, AnUnsendablePostLeavesTheConnectionUp) {
    // Too large or too deep for the bus: reported, not sent.
    center_->postNotification("Huge", std::nullopt,
                              {{"k", std::string(wire::kMaxPostBytes + 1, 'x')}}, true);
    // As deep as we build: the daemon must accept it.
    Value deep = 1;
    for (int i = 0; i < wire::kMaxValueDepth - 1; ++i) {
        deep = Value(Dictionary{{"d", deep}});
    }
    center_->postNotification("Deep", std::nullopt, {{"k", deep}}, true);
    center_->postNotification("TooDeep", std::nullopt,
                              {{"k", Dictionary{{"d", Dictionary{{"d", deep}}}}}}, true);
    center_->postNotification("After", std::nullopt, {}, true);
    ASSERT_GE(sd_bus_flush(server_.get()), 0);

    auto deepReply = client_->waitFor("Deep");
    ASSERT_TRUE(deepReply);
    EXPECT_EQ(Value(deepReply->userInfo), Value(Dictionary{{"k", deep}}));
    EXPECT_TRUE(client_->waitFor("After"));
    EXPECT_EQ(client_->count("Huge"), 0u);
    EXPECT_EQ(client_->count("TooDeep"), 0u);
    ASSERT_EQ(diagnostics_.size(), 2u);
    EXPECT_NE(diagnostics_[0].find("too large"), std::string::npos) << diagnostics_[0];
}

}  // namespace
}  // namespace kivora::linux_
