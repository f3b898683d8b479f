#pragma once
// The wire format of distributed notifications on D-Bus, shared by the helper, the kivoractl
// client and the tests.
//
// A notification is a broadcast signal `Post` on path kPath, interface kInterface. Its body
// is the name (s), the object (s) only when there is one, and the user info (a{sv}). User-info
// values are written as s, x, b, d, ay, av and a{sv}; other integer types are read as
// integers (an unsigned value above the signed range as a real), o and g as strings.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "messaging/Notification.h"
#include "messaging/ShortcutList.h"
#include "platform/linux/wire/Names.h"
#include "platform/linux/wire/SdHandles.h"

namespace kivora::linux_::wire {

// The largest Post we build. D-Bus daemons drop the whole connection of a client that sends
// a message over their limit, and a client cannot ask for it; 32 MiB is the reference
// daemon's default and the smallest limit in common configurations.
inline constexpr std::size_t kMaxPostBytes = 32 * 1024 * 1024;
// How deeply user-info values may nest. Daemons refuse messages nested deeper than 64
// containers (again by dropping the connection); each level here costs up to three.
inline constexpr int kMaxValueDepth = 16;

struct EncodeResult {
    MessagePtr message;                 // the signal, ready to send; null on failure
    std::string error;                  // why there is no message
    std::vector<std::string> warnings;  // what was left out (null values)
};

// `text` with U+FFFD in place of each code point the bus refuses (NUL, surrogates,
// noncharacters) and of each byte that is not part of valid UTF-8.
std::string sendableString(std::string_view text);

// Bytes a value takes on the wire, rounded up generously: alignment, the variant's signature
// and the length words are all counted at their worst.
inline constexpr std::size_t kOverheadPerValue = 24;

// Whether the bus accepts `s` as it is.
bool isWireString(std::string_view s);
// Appends `s` as a string, through sendableString when the bus would refuse it.
int appendString(sd_bus_message* m, const std::string& s);

// The Post signal with its name and, when there is one, its object: the user info goes next.
// Null, with `error` set, when it cannot be made.
MessagePtr newPost(sd_bus* bus, const std::string& name, const std::optional<std::string>& object,
                   std::string& error);
// Hands `message` to `result`, or the error when appending the user info (`appended`, a
// negative errno on failure) failed.
void finishPost(int appended, MessagePtr&& message, EncodeResult& result);

// Builds the Post signal of a notification. Strings the bus would refuse go out through
// sendableString, with a warning. A notification larger than kMaxPostBytes keeps the
// records (dictionaries) at the front of its top-level arrays that fit, and every other
// value, with a warning; it fails when even that is too large, or when values nest deeper
// than kMaxValueDepth. Null values, which no property list holds, are left out.
EncodeResult encodePost(sd_bus* bus, const std::string& name,
                        const std::optional<std::string>& object, const Dictionary& userInfo);
inline EncodeResult encodePost(sd_bus* bus, const Notification& notification) {
    return encodePost(bus, notification.name, notification.object, notification.userInfo);
}

// Builds the Post signal of a notification whose user info is {key: list}: byte for byte the
// signal encodePost builds from toArray(list), with the same cut, replacements and warnings,
// written straight from the typed entries.
EncodeResult encodeShortcutListPost(sd_bus* bus, const std::string& name,
                                    const std::optional<std::string>& object,
                                    const std::string& key, const ShortcutList& list);

struct DecodeResult {
    std::optional<Notification> notification;  // none when the message is not one
    std::string error;                         // why it is not
    std::vector<std::string> warnings;         // user-info keys dropped for their types
};

// Whether a message is a Post signal (by path, interface and member).
bool isPost(sd_bus_message* message);

// The user-info entries a reader decodes: all, or only the named ones. The others are never
// decoded, so their size and content (even a string the bus library refuses) cost nothing.
struct UserInfoKeys {
    bool all = true;
    std::vector<std::string> names;  // when not all
};

// Reads a Post signal. Signatures sa{sv} and ssa{sv} are notifications; so are s and ss, read
// with empty user info (nothing that receives requests reads their user info). Anything else
// is refused. A user-info key whose value has an unsupported type (somewhere inside it) is
// dropped with a warning; the rest of the notification stands. When only some keys are
// wanted, a user info that cannot be read is a warning, not a refusal.
DecodeResult decodePost(sd_bus_message* message, const UserInfoKeys& keys = {});

// Whether a filter value can be written into a match rule: printable ASCII without ' and \.
// Other values are left out of the rule (the bus compares bytes; the code compares by
// canonical equivalence) and filtered in code only.
bool fitsMatchRule(std::string_view value);

// The match rule of an observer: type, path, interface and member, plus arg0 (name) and arg1
// (object) for the filters that fit.
std::string matchRule(const std::optional<std::string>& name,
                      const std::optional<std::string>& object);

}  // namespace kivora::linux_::wire
