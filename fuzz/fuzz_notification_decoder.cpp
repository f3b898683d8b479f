// The decoder of incoming notifications on messages of random signatures and nested values.
// The input chooses the body's types and values; sd-bus builds and seals the message as the
// daemon would deliver it, and the decoder reads it. Whatever it reads must be a notification
// the encoder can write back and read again unchanged.
//
// Input: a mode byte (any body, or the notification shapes s/ss/sa{sv}/ssa{sv}), then types
// and values front to back.
#include <sys/socket.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "platform/linux/wire/DBusNotificationCodec.h"

namespace {

using namespace kivora;
using kivora::fuzz::FuzzInput;
namespace wire = kivora::linux_::wire;

sd_bus* bus = nullptr;
std::uint64_t cookie = 0;

// One complete D-Bus type. A variant's contents are chosen when its value is written.
struct Type {
    char code = 's';
    std::vector<Type> items;  // array: the element; dict entry: key, value; struct: members

    std::string signature() const {
        std::string out;
        switch (code) {
            case 'a':
                return "a" + items[0].signature();
            case '{':
                return "{" + items[0].signature() + items[1].signature() + "}";
            case '(':
                out = "(";
                for (const Type& t : items) {
                    out += t.signature();
                }
                return out + ")";
            default:
                return std::string(1, code);
        }
    }
};

constexpr char kBasic[] = {'y', 'b', 'n', 'q', 'i', 'u', 'x', 't', 'd', 's', 'o', 'g'};
constexpr char kKeys[] = {'s', 's', 's', 'o', 'g', 'i', 'y', 'b'};

Type basic(char code) {
    return Type{code, {}};
}

// Nesting inside one signature is kept well below what sd-bus accepts; variants start afresh.
Type randomType(FuzzInput& in, int depth) {
    const std::uint8_t choice = in.byte();
    if (depth >= 6 || choice < 100) {
        return basic(in.pick(kBasic));
    }
    if (choice < 140) {
        return basic('v');
    }
    if (choice < 190) {
        return Type{'a', {randomType(in, depth + 1)}};
    }
    if (choice < 230) {
        return Type{'a', {Type{'{', {basic(in.pick(kKeys)), randomType(in, depth + 1)}}}};
    }
    Type structure{'(', {}};
    for (std::size_t n = 1 + in.below(3); n > 0; --n) {
        structure.items.push_back(randomType(in, depth + 1));
    }
    return structure;
}

constexpr const char* kPaths[] = {"/", "/org/morvane", "/a/b_c/D1"};
constexpr const char* kSignatures[] = {"", "s", "sa{sv}", "a(iv)", "v"};

bool appendValue(FuzzInput& in, sd_bus_message* m, const Type& type, int variantDepth);

bool appendBasic(FuzzInput& in, sd_bus_message* m, char code) {
    switch (code) {
        case 'y': {
            const std::uint8_t v = in.byte();
            return sd_bus_message_append_basic(m, code, &v) >= 0;
        }
        case 'b': {
            const int v = in.flag() ? 1 : 0;
            return sd_bus_message_append_basic(m, code, &v) >= 0;
        }
        case 'n':
        case 'q': {
            const std::uint16_t v = in.u16();
            return sd_bus_message_append_basic(m, code, &v) >= 0;
        }
        case 'i':
        case 'u': {
            const auto v = static_cast<std::uint32_t>(in.u64());
            return sd_bus_message_append_basic(m, code, &v) >= 0;
        }
        case 'x':
        case 't': {
            const std::uint64_t v = in.u64();
            return sd_bus_message_append_basic(m, code, &v) >= 0;
        }
        case 'd': {
            const double v = in.flag() ? in.pick(fuzz::kReals) : static_cast<double>(in.u64());
            return sd_bus_message_append_basic(m, code, &v) >= 0;
        }
        case 'o':
            return sd_bus_message_append_basic(m, code, in.pick(kPaths)) >= 0;
        case 'g':
            return sd_bus_message_append_basic(m, code, in.pick(kSignatures)) >= 0;
        default: {
            // sd-bus refuses strings that are not valid UTF-8: the message is then dropped.
            const std::string s = fuzz::word(in);
            return sd_bus_message_append_basic(m, 's', s.c_str()) >= 0;
        }
    }
}

bool appendValue(FuzzInput& in, sd_bus_message* m, const Type& type, int variantDepth) {
    switch (type.code) {
        case 'v': {
            // Chains of variants go deeper than the decoder follows.
            const Type inner = variantDepth < 90 && in.below(4) == 0
                                   ? basic('v')
                                   : randomType(in, variantDepth < 90 ? 0 : 6);
            const std::string signature = inner.signature();
            return sd_bus_message_open_container(m, 'v', signature.c_str()) >= 0 &&
                   appendValue(in, m, inner, variantDepth + 1) &&
                   sd_bus_message_close_container(m) >= 0;
        }
        case 'a': {
            const Type& element = type.items[0];
            const std::string signature = element.signature();
            if (sd_bus_message_open_container(m, 'a', signature.c_str()) < 0) {
                return false;
            }
            for (std::size_t n = in.below(4); n > 0; --n) {
                if (!appendValue(in, m, element, variantDepth)) {
                    return false;
                }
            }
            return sd_bus_message_close_container(m) >= 0;
        }
        case '{':
        case '(': {
            const std::string signature = type.signature();
            const std::string contents = signature.substr(1, signature.size() - 2);
            if (sd_bus_message_open_container(m, type.code == '{' ? 'e' : 'r', contents.c_str()) <
                0) {
                return false;
            }
            for (const Type& item : type.items) {
                if (!appendValue(in, m, item, variantDepth)) {
                    return false;
                }
            }
            return sd_bus_message_close_container(m) >= 0;
        }
        default:
            return appendBasic(in, m, type.code);
    }
}

constexpr const char* kNames[] = {
    "GetCurrentShortcut",
    "GetSystemShortcut",
    "AccessibilityStatus",
    "TerminateSubApp",
    "tellHelperToCurrentClickted:Save",
    "tellHelperToSystemClickted:[\"1\",\"2\"]",
};

bool appendString(FuzzInput& in, sd_bus_message* m) {
    const std::string s = in.flag() ? std::string(in.pick(kNames)) : fuzz::word(in);
    return sd_bus_message_append_basic(m, 's', s.c_str()) >= 0;
}

// The body of a notification, with user-info entries of random types.
bool appendNotification(FuzzInput& in, sd_bus_message* m, bool object, bool userInfo) {
    if (!appendString(in, m) || (object && !appendString(in, m))) {
        return false;
    }
    if (!userInfo) {
        return true;
    }
    if (sd_bus_message_open_container(m, 'a', "{sv}") < 0) {
        return false;
    }
    for (std::size_t n = in.below(6); n > 0; --n) {
        const std::string key = fuzz::word(in);
        if (sd_bus_message_open_container(m, 'e', "sv") < 0 ||
            sd_bus_message_append_basic(m, 's', key.c_str()) < 0 ||
            !appendValue(in, m, basic('v'), 0) || sd_bus_message_close_container(m) < 0) {
            return false;
        }
    }
    return sd_bus_message_close_container(m) >= 0;
}

bool appendBody(FuzzInput& in, sd_bus_message* m) {
    const std::uint8_t mode = in.byte() % 8;
    if (mode < 2) {
        for (std::size_t n = in.below(4); n > 0; --n) {
            if (!appendValue(in, m, randomType(in, 0), 0)) {
                return false;
            }
        }
        return true;
    }
    return appendNotification(in, m, mode % 2 == 1, mode >= 4);
}

wire::DecodeResult decodeSealed(sd_bus_message* m) {
    FUZZ_CHECK(sd_bus_message_seal(m, ++cookie, 0) >= 0);
    return wire::decodePost(m);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // A connection that is open but never used: messages can be built and sealed without a
    // daemon.
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) < 0 || sd_bus_new(&bus) < 0 ||
        sd_bus_set_fd(bus, fds[0], fds[0]) < 0 || sd_bus_start(bus) < 0) {
        std::perror("cannot set up a bus object");
        std::exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    sd_bus_message* raw = nullptr;
    FUZZ_CHECK(sd_bus_message_new_signal(bus, &raw, wire::kPath, wire::kInterface, wire::kMember) >=
               0);
    linux_::MessagePtr message(raw);
    if (!appendBody(in, raw)) {
        return 0;  // sd-bus refused what was asked for: no such message reaches the helper
    }
    FUZZ_CHECK(wire::isPost(raw));
    const wire::DecodeResult decoded = decodeSealed(raw);
    FUZZ_CHECK(decoded.notification.has_value() != !decoded.error.empty());
    if (!decoded.notification) {
        return 0;
    }

    // What was read can be written and read back as it was.
    const wire::EncodeResult encoded = wire::encodePost(bus, *decoded.notification);
    if (!encoded.message) {
        return 0;  // too deep or not writable: the helper never sends such a value
    }
    const wire::DecodeResult again = decodeSealed(encoded.message.get());
    FUZZ_CHECK(again.notification);
    FUZZ_CHECK(again.warnings.empty());
    FUZZ_CHECK(again.notification->name == decoded.notification->name);
    FUZZ_CHECK(again.notification->object == decoded.notification->object);
    FUZZ_CHECK(fuzz::sameValue(Value(again.notification->userInfo),
                               Value(decoded.notification->userInfo)));
    return 0;
}
