// The wire format: what the codec writes reads back the same; what others may write is read
// liberally; what is not a notification is refused with a reason; and nothing that would make
// a daemon drop the connection is ever built.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "e2e/support/PrivateBus.h"
#include "e2e/support/TestClient.h"
#include "platform/linux/wire/DBusNotificationCodec.h"

namespace kivora::linux_ {
namespace {

sd_bus* bus() {
    static e2e::PrivateBus privateBus;
    static e2e::TestClient client(privateBus);
    return client.bus();
}

// A received message is sealed; sealing our own makes it readable the same way.
MessagePtr seal(MessagePtr message) {
    static std::uint64_t cookie = 0;
    EXPECT_GE(sd_bus_message_seal(message.get(), ++cookie, 0), 0);
    return message;
}

// Encodes, expecting `warnings`, and decodes what went out.
wire::DecodeResult roundTrip(const Notification& sent, std::size_t warnings = 0) {
    wire::EncodeResult encoded = wire::encodePost(bus(), sent);
    EXPECT_EQ(encoded.warnings.size(), warnings) << sent.name;
    if (!encoded.message) {
        ADD_FAILURE() << encoded.error;
        return {};
    }
    wire::DecodeResult decoded = wire::decodePost(seal(std::move(encoded.message)).get());
    EXPECT_TRUE(decoded.notification) << decoded.error;
    return decoded;
}

// A Post as another sender may build it.
template <typename... Args>
wire::DecodeResult raw(const char* signature, Args... args) {
    sd_bus_message* m = nullptr;
    EXPECT_GE(sd_bus_message_new_signal(bus(), &m, wire::kPath, wire::kInterface, wire::kMember),
              0);
    MessagePtr message(m);
    EXPECT_GE(sd_bus_message_append(m, signature, args...), 0) << signature;
    wire::DecodeResult decoded = wire::decodePost(seal(std::move(message)).get());
    EXPECT_TRUE(decoded.notification) << decoded.error;
    return decoded;
}

TEST(DBusNotificationCodec, EveryValueTypeRoundTrips) {
    const Dictionary userInfo{{"string", "Größe ⌘"},
                              {"min", std::numeric_limits<std::int64_t>::min()},
                              {"max", std::numeric_limits<std::int64_t>::max()},
                              {"true", true},
                              {"real", 0.25},
                              {"data", Data{{0, 1, 255}}},
                              {"array", Array{1, "two", Array{true}, Dictionary{{"k", "v"}}}},
                              {"empty array", Array{}},
                              {"dictionary", Dictionary{{"inner", Dictionary{{"deep", 7}}}}},
                              {"empty dictionary", Dictionary{}}};
    const auto decoded = roundTrip({"GetCurrentShortcutResponse", "org.morvane.Kivora", userInfo});
    ASSERT_TRUE(decoded.notification);
    EXPECT_EQ(decoded.notification->name, "GetCurrentShortcutResponse");
    EXPECT_EQ(decoded.notification->object, "org.morvane.Kivora");
    EXPECT_EQ(Value(decoded.notification->userInfo), Value(userInfo));
    EXPECT_TRUE(decoded.warnings.empty());
    // Null values, which no property list holds, are left out with a warning.
    const auto withNulls =
        roundTrip({"N", std::nullopt, {{"gone", Value()}, {"list", Array{1, Value(), 2}}}}, 2);
    ASSERT_TRUE(withNulls.notification);
    EXPECT_FALSE(withNulls.notification->object);
    EXPECT_EQ(Value(withNulls.notification->userInfo), Value(Dictionary{{"list", Array{1, 2}}}));
}

TEST(DBusNotificationCodec, OtherSendersAreReadLiberallyAndUnsupportedValuesDropOnlyTheirKey) {
    auto decoded = raw("ssa{sv}", "n", "o", 12,                                         //
                       "y", "y", 200, "n", "n", -3, "q", "q", 65535, "i", "i", -70000,  //
                       "u", "u", 4000000000u, "t", "t", std::uint64_t{5},               //
                       "huge", "t", std::numeric_limits<std::uint64_t>::max(),          //
                       "d", "d", 1.5, "path", "o", "/a/b", "sig", "g", "a{sv}",         //
                       "strings", "as", 2, "a", "b",                                    //
                       "ints", "a{si}", 1, "k", 9);
    ASSERT_TRUE(decoded.notification);
    EXPECT_EQ(
        Value(decoded.notification->userInfo),
        Value(Dictionary{{"y", 200},
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
                         {"ints", Dictionary{{"k", 9}}}}));

    // A struct, a dictionary with integer keys, and a struct deep inside an array.
    decoded = raw("ssa{sv}", "Name", "Object", 4,               //
                  "struct", "(ii)", 1, 2,                       //
                  "intKeys", "a{iv}", 1, 5, "s", "x",           //
                  "nested", "av", 2, "s", "fine", "(s)", "no",  //
                  "kept", "s", "yes");
    ASSERT_TRUE(decoded.notification);
    EXPECT_EQ(Value(decoded.notification->userInfo), Value(Dictionary{{"kept", "yes"}}));
    ASSERT_EQ(decoded.warnings.size(), 3u);
    const char* dropped[] = {"\"struct\"", "\"intKeys\"", "\"nested\""};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NE(decoded.warnings[i].find(dropped[i]), std::string::npos) << decoded.warnings[i];
    }
}

TEST(DBusNotificationCodec, WhatTheBusWouldRefuseIsMadeSendable) {
    const std::string fffd = "\xef\xbf\xbd";
    // NUL, an invalid byte, a truncated sequence, a surrogate, U+FFFE, U+FDD0, an overlong NUL.
    const std::string bad = std::string("a\0b", 3) + "\xff" + "\xc3\x28" + "\xed\xa0\x80" +
                            "\xef\xbf\xbe" + "\xef\xb7\x90" + "\xc0\x80" + "\xe2\x8c\x98";
    const std::string fixed =
        "a" + fffd + "b" + fffd + fffd + "(" + fffd + fffd + fffd + fffd + "\xe2\x8c\x98";
    EXPECT_EQ(wire::sendableString(bad), fixed);
    auto decoded = roundTrip({bad, bad, {{bad, Array{bad, Dictionary{{bad, 1}}}}}}, 1);
    ASSERT_TRUE(decoded.notification);
    EXPECT_EQ(decoded.notification->name, fixed);
    EXPECT_EQ(decoded.notification->object, fixed);
    EXPECT_EQ(Value(decoded.notification->userInfo),
              Value(Dictionary{{fixed, Array{fixed, Dictionary{{fixed, 1}}}}}));
}

// Typed lists are written straight to the wire: the same bytes, cut and warnings as their
// property-list form through encodePost.
TEST(DBusNotificationCodec, ShortcutListsEncodeAsTheirPropertyListForm) {
    auto dump = [](wire::EncodeResult encoded) {
        if (!encoded.message) {
            return "error: " + encoded.error;
        }
        EXPECT_GE(sd_bus_message_seal(encoded.message.get(), 1, 0), 0);
        char* text = nullptr;
        std::size_t size = 0;
        FILE* f = open_memstream(&text, &size);
        sd_bus_message_dump(encoded.message.get(), f, 0);
        std::fclose(f);
        std::string out(text, size);
        std::free(text);
        for (const std::string& warning : encoded.warnings) {
            out += "\nwarning: " + warning;
        }
        return out;
    };
    const std::string bad = std::string("a\0b", 3) + "\xff";
    const std::string mib(1024 * 1024, 'r');
    ShortcutList big{"Header"};
    for (std::size_t i = 0; i < wire::kMaxPostBytes / mib.size() + 4; ++i) {
        big.emplace_back(MenuShortcutRecord{"A", "", "⌘", "File", mib});
        big.emplace_back(i == 3 ? bad : "File/Sub");
    }
    big.emplace_back("Title");
    const ShortcutList lists[] = {
        {},
        {"File", MenuShortcutRecord{"S", "", "⌘", "File", "Save"}, "File/Sub",
         MenuShortcutRecord{"", "⌫", "⌃", "File/Sub", ""}, "Editor"},
        {"Keyboard", SystemShortcutRecord{"Keyboard//Move", "⌃", "F2"}, bad,
         SystemShortcutRecord{bad, bad, bad}},
        big,
        {std::string(wire::kMaxPostBytes, 'x'), MenuShortcutRecord{}},
    };
    for (const ShortcutList& list : lists) {
        const std::string typed = dump(wire::encodeShortcutListPost(
            bus(), "Reply", std::string("org.morvane.Kivora"), "currentShortcut", list));
        const std::string plain =
            dump(wire::encodePost(bus(), "Reply", std::string("org.morvane.Kivora"),
                                  {{"currentShortcut", toArray(list)}}));
        EXPECT_TRUE(typed == plain) << typed.substr(0, 2000) << "\n---\n" << plain.substr(0, 2000);
    }
}

TEST(DBusNotificationCodec, UserInfoIsDecodedOnlyAsFarAsAsked) {
    MessagePtr message = seal(
        wire::encodePost(bus(), {"N", std::string("O"), {{"a", 1}, {"b", Array{"x"}}, {"c", "z"}}})
            .message);
    EXPECT_STREQ(sd_bus_message_get_signature(message.get(), true), "ssa{sv}");
    EXPECT_TRUE(wire::isPost(message.get()));
    wire::DecodeResult none = wire::decodePost(message.get(), {false, {}});
    ASSERT_TRUE(none.notification) << none.error;
    EXPECT_EQ(none.notification->object, "O");
    EXPECT_TRUE(none.notification->userInfo.empty());
    wire::DecodeResult named = wire::decodePost(message.get(), {false, {"c", "missing"}});
    ASSERT_TRUE(named.notification) << named.error;
    EXPECT_EQ(Value(named.notification->userInfo), Value(Dictionary{{"c", "z"}}));
}

}  // namespace
}  // namespace kivora::linux_
