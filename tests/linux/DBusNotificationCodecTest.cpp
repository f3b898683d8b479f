// The wire format: what the codec writes reads back the same; what others may write is read
// liberally; what is not a notification is refused with a reason; and nothing that would make
// a daemon drop the connection is ever built.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>

#include "e2e/support/TestClient.h"
#include "e2e/support/PrivateBus.h"
#include "platform/linux/wire/DBusNotificationCodec.h"

namespace kivora::linux_ {
namespace {

class DBusNotificationCodec : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        bus_ = new e2e::PrivateBus();
        client_ = new e2e::TestClient(*bus_);
    }
    static void TearDownTestSuite() {
        delete client_;
        delete bus_;
    }

    // A received message is sealed; sealing our own makes it readable the same way.
    static MessagePtr seal(MessagePtr message) {
        EXPECT_GE(sd_bus_message_seal(message.get(), ++cookie_, 0), 0);
        return message;
    }

    static MessagePtr encode(const Notification& notification) {
        wire::EncodeResult encoded = wire::encodePost(client_->bus(), notification);
        EXPECT_TRUE(encoded.message) << encoded.error;
        return encoded.message ? seal(std::move(encoded.message)) : nullptr;
    }

    template <typename... Args>
    static MessagePtr raw(const char* signature, Args... args) {
        sd_bus_message* m = nullptr;
        EXPECT_GE(sd_bus_message_new_signal(client_->bus(), &m, wire::kPath, wire::kInterface,
                                            wire::kMember),
                  0);
        MessagePtr message(m);
        if constexpr (sizeof...(Args) > 0) {
            EXPECT_GE(sd_bus_message_append(m, signature, args...), 0) << signature;
        }
        return seal(std::move(message));
    }

    static e2e::PrivateBus* bus_;
    static e2e::TestClient* client_;
    static std::uint64_t cookie_;
};

e2e::PrivateBus* DBusNotificationCodec::bus_ = nullptr;
e2e::TestClient* DBusNotificationCodec::client_ = nullptr;
std::uint64_t DBusNotificationCodec::cookie_ = 0;

TEST_F(DBusNotificationCodec, EveryValueTypeRoundTrips) {
    const Dictionary userInfo{
        {"string", "Größe ⌘"},
        {"min", std::numeric_limits<std::int64_t>::min()},
        {"max", std::numeric_limits<std::int64_t>::max()},
        {"true", true},
        {"real", 0.25},
        {"data", Data{{0, 1, 255}}},
        {"array", Array{1, "two", Array{true}, Dictionary{{"k", "v"}}}},
        {"empty array", Array{}},
        {"dictionary", Dictionary{{"inner", Dictionary{{"deep", 7}}}}},
        {"empty dictionary", Dictionary{}},
    };
    for (const std::optional<std::string>& object :
         {std::optional<std::string>("org.morvane.Kivora"), std::optional<std::string>()}) {
        const Notification sent{"GetCurrentShortcutResponse", object, userInfo};
        MessagePtr message = encode(sent);
        ASSERT_TRUE(message);
        EXPECT_STREQ(sd_bus_message_get_signature(message.get(), true),
                     object ? "ssa{sv}" : "sa{sv}");
        EXPECT_TRUE(wire::isPost(message.get()));

        wire::DecodeResult decoded = wire::decodePost(message.get());
        ASSERT_TRUE(decoded.notification) << decoded.error;
        EXPECT_EQ(decoded.notification->name, sent.name);
        EXPECT_EQ(decoded.notification->object, sent.object);
        EXPECT_EQ(Value(decoded.notification->userInfo), Value(userInfo));
        EXPECT_TRUE(decoded.warnings.empty());
    }
}

TEST_F(DBusNotificationCodec, OtherSendersTypesAreReadLiberally) {
    MessagePtr message = raw("ssa{sv}", "n", "o", 12,                                         //
                             "y", "y", 200, "n", "n", -3, "q", "q", 65535, "i", "i", -70000,  //
                             "u", "u", 4000000000u, "t", "t", std::uint64_t{5},               //
                             "huge", "t", std::numeric_limits<std::uint64_t>::max(),          //
                             "d", "d", 1.5, "path", "o", "/a/b", "sig", "g", "a{sv}",         //
                             "strings", "as", 2, "a", "b",                                    //
                             "ints", "a{si}", 1, "k", 9);
    wire::DecodeResult decoded = wire::decodePost(message.get());
    ASSERT_TRUE(decoded.notification) << decoded.error;
    const Dictionary expected{
        {"y", 200},
        {"n", -3},
        {"q", 65535},
        {"i", -70000},
        {"u", std::int64_t{4000000000}},
        {"t", 5},
        {"huge", static_cast<double>(std::numeric_limits<std::uint64_t>::max())},
        {"d", 1.5},
        {"path", "/a/b"},
        {"sig", "a{sv}"},
        {"strings", Array{"a", "b"}},
        {"ints", Dictionary{{"k", 9}}},
    };
    EXPECT_EQ(Value(decoded.notification->userInfo), Value(expected));
}

TEST_F(DBusNotificationCodec, UnsupportedValuesDropOnlyTheirKey) {
    // A struct, a dictionary with integer keys, and a struct deep inside an array.
    MessagePtr message = raw("ssa{sv}", "Name", "Object", 4,               //
                             "struct", "(ii)", 1, 2,                       //
                             "intKeys", "a{iv}", 1, 5, "s", "x",           //
                             "nested", "av", 2, "s", "fine", "(s)", "no",  //
                             "kept", "s", "yes");
    wire::DecodeResult decoded = wire::decodePost(message.get());
    ASSERT_TRUE(decoded.notification) << decoded.error;
    EXPECT_EQ(Value(decoded.notification->userInfo), Value(Dictionary{{"kept", "yes"}}));
    ASSERT_EQ(decoded.warnings.size(), 3u);
    const char* dropped[] = {"\"struct\"", "\"intKeys\"", "\"nested\""};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(decoded.warnings[i].find(dropped[i]), std::string::npos) << decoded.warnings[i];
    }
}

TEST_F(DBusNotificationCodec, MissingUserInfoReadsAsEmpty) {
    wire::DecodeResult nameOnly = wire::decodePost(raw("s", "AccessibilityStatus").get());
    ASSERT_TRUE(nameOnly.notification) << nameOnly.error;
    EXPECT_EQ(nameOnly.notification->name, "AccessibilityStatus");
    EXPECT_FALSE(nameOnly.notification->object);

    wire::DecodeResult withObject = wire::decodePost(raw("ss", "TerminateSubApp", "O").get());
    ASSERT_TRUE(withObject.notification) << withObject.error;
    EXPECT_EQ(withObject.notification->object, "O");
    EXPECT_TRUE(withObject.notification->userInfo.empty());
}

TEST_F(DBusNotificationCodec, RefusesToBuildWhatTheBusWouldRejectOrCut) {
    const std::string nul("a\0b", 3);
    Value deep = 1;
    for (int i = 0; i < wire::kMaxValueDepth + 1; ++i) {
        deep = Value(Array{deep});
    }
    const std::vector<Notification> refused{
        {nul, std::nullopt, {}},
        {"N", std::string("\xff"), {}},
        {"N", std::nullopt, {{"k", "\xc3\x28"}}},
        {"N", std::nullopt, {{"\xed\xa0\x80", 1}}},  // an encoded surrogate
        {"N", std::nullopt, {{"k", deep}}},
        {"N", std::nullopt, {{"k", std::string(wire::kMaxPostBytes, 'x')}}},
    };
    for (const auto& notification : refused) {
        wire::EncodeResult encoded = wire::encodePost(client_->bus(), notification);
        EXPECT_FALSE(encoded.message);
        EXPECT_FALSE(encoded.error.empty());
    }

    Value shallowEnough = 1;
    for (int i = 0; i < wire::kMaxValueDepth - 1; ++i) {
        shallowEnough = Value(Array{shallowEnough});
    }
    EXPECT_TRUE(
        wire::encodePost(client_->bus(), {"N", std::nullopt, {{"k", shallowEnough}}}).message);
}

TEST_F(DBusNotificationCodec, NullValuesAreLeftOutWithAWarning) {
    wire::EncodeResult encoded = wire::encodePost(
        client_->bus(), {"N", std::nullopt, {{"gone", Value()}, {"list", Array{1, Value(), 2}}}});
    ASSERT_TRUE(encoded.message) << encoded.error;
    EXPECT_EQ(encoded.warnings.size(), 2u);
    wire::DecodeResult decoded = wire::decodePost(seal(std::move(encoded.message)).get());
    ASSERT_TRUE(decoded.notification);
    EXPECT_EQ(Value(decoded.notification->userInfo), Value(Dictionary{{"list", Array{1, 2}}}));
}

TEST_F(DBusNotificationCodec, MatchRulesCarryOnlyValuesTheBusCanCompare) {
    const std::string base =
        "type='signal',interface='org.morvane.DistributedNotificationCenter',member='Post'";
    EXPECT_EQ(wire::matchRule(std::nullopt, std::nullopt), base);
    EXPECT_EQ(wire::matchRule("TerminateSubApp", "org.morvane.Kivora.KivoraData"),
              base + ",arg0='TerminateSubApp',arg1='org.morvane.Kivora.KivoraData'");
    EXPECT_EQ(wire::matchRule(std::nullopt, "obj"), base + ",arg1='obj'");
    // Quotes and backslashes cannot be written; non-ASCII has canonical equivalents the bus
    // would not match; control characters have no place in a rule.
    for (const char* unfit : {"it's", "a\\b", "Caf\xc3\xa9", "tab\there"}) {
        EXPECT_FALSE(wire::fitsMatchRule(unfit)) << unfit;
        EXPECT_EQ(wire::matchRule(std::string(unfit), std::string(unfit)), base);
    }
}

}  // namespace
}  // namespace kivora::linux_
