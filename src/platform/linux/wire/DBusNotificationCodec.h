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
#include "platform/linux/wire/Names.h"
#include "platform/linux/wire/SdHandles.h"

namespace kivora::linux_::wire {

// The largest Post we build. D-Bus daemons drop the whole connection of a client that sends
// a message over their limit; 32 MiB is the smallest limit in common configurations.
inline constexpr std::size_t kMaxPostBytes = 32 * 1024 * 1024;
// How deeply user-info values may nest. Daemons refuse messages nested deeper than 64
// containers (again by dropping the connection); each level here costs up to three.
inline constexpr int kMaxValueDepth = 16;

struct EncodeResult {
    MessagePtr message;                 // the signal, ready to send; null on failure
    std::string error;                  // why there is no message
    std::vector<std::string> warnings;  // what was left out (null values)
};

// Builds the Post signal of a notification. Fails, with a clear error, for strings that are
// not valid UTF-8 or hold a NUL, values nested deeper than kMaxValueDepth and notifications
// larger than kMaxPostBytes. Null values, which no property list holds, are left out.
EncodeResult encodePost(sd_bus* bus, const std::string& name,
                        const std::optional<std::string>& object, const Dictionary& userInfo);
inline EncodeResult encodePost(sd_bus* bus, const Notification& notification) {
    return encodePost(bus, notification.name, notification.object, notification.userInfo);
}

struct DecodeResult {
    std::optional<Notification> notification;  // none when the message is not one
    std::string error;                         // why it is not
    std::vector<std::string> warnings;         // user-info keys dropped for their types
};

// Whether a message is a Post signal (by interface and member).
bool isPost(sd_bus_message* message);

// Reads a Post signal. Signatures sa{sv} and ssa{sv} are notifications; so are s and ss, read
// with empty user info (nothing that receives requests reads their user info). Anything else
// is refused. A user-info key whose value has an unsupported type (somewhere inside it) is
// dropped with a warning; the rest of the notification stands.
DecodeResult decodePost(sd_bus_message* message);

// Whether a filter value can be written into a match rule: printable ASCII without ' and \.
// Other values are left out of the rule (the bus compares bytes; the code compares by
// canonical equivalence) and filtered in code only.
bool fitsMatchRule(std::string_view value);

// The match rule of an observer: type, interface and member, plus arg0 (name) and arg1
// (object) for the filters that fit.
std::string matchRule(const std::optional<std::string>& name,
                      const std::optional<std::string>& object);

}  // namespace kivora::linux_::wire
