// Reading Post signals back into notifications.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>

#include "platform/linux/Diagnostics.h"
#include "platform/linux/Errno.h"
#include "platform/linux/wire/DBusNotificationCodec.h"

namespace kivora::linux_::wire {

namespace {

// Deeper than any message a daemon passes on; a guard for the stack, not a format rule.
constexpr int kMaxDecodeDepth = 70;

enum class Read { ok, unsupported };

struct Reader {
    sd_bus_message* m;
    int error = 0;  // the first negative errno; the message is unusable after it

    bool failed(int r) {
        if (r < 0 && error == 0) {
            error = r;
        }
        return r < 0;
    }

    // Skips the complete type at the reader's position.
    Read skip() {
        failed(sd_bus_message_skip(m, nullptr));
        return Read::unsupported;
    }

    template <typename T>
    bool basic(char type, T& out) {
        return !failed(sd_bus_message_read_basic(m, type, &out));
    }

    // Reads the complete type at the reader's position into `out`.
    Read value(int depth, Value& out) {
        char type = 0;
        const char* contents = nullptr;
        const int r = sd_bus_message_peek_type(m, &type, &contents);
        if (failed(r) || r == 0) {
            failed(-EBADMSG);
            return Read::unsupported;
        }
        if (depth > kMaxDecodeDepth) {
            return skip();
        }
        switch (type) {
            case 'b': {
                int b = 0;
                if (basic('b', b)) {
                    out = Value(b != 0);
                }
                return Read::ok;
            }
            case 'y':
                return integer<std::uint8_t>('y', out);
            case 'n':
                return integer<std::int16_t>('n', out);
            case 'q':
                return integer<std::uint16_t>('q', out);
            case 'i':
                return integer<std::int32_t>('i', out);
            case 'u':
                return integer<std::uint32_t>('u', out);
            case 'x':
                return integer<std::int64_t>('x', out);
            case 't': {
                std::uint64_t t = 0;
                if (basic('t', t)) {
                    if (t > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                        out = Value(static_cast<double>(t));
                    } else {
                        out = Value(static_cast<std::int64_t>(t));
                    }
                }
                return Read::ok;
            }
            case 'd': {
                double d = 0;
                if (basic('d', d)) {
                    out = Value(d);
                }
                return Read::ok;
            }
            case 's':
            case 'o':
            case 'g': {
                const char* s = nullptr;
                if (basic(type, s)) {
                    out = Value(std::string(s));
                }
                return Read::ok;
            }
            case 'v':
                return variant(depth, contents, out);
            case 'a':
                return array(depth, contents, out);
            default:  // structs, file descriptors
                return skip();
        }
    }

    template <typename T>
    Read integer(char type, Value& out) {
        T v{};
        if (basic(type, v)) {
            out = Value(static_cast<std::int64_t>(v));
        }
        return Read::ok;
    }

    Read variant(int depth, const char* contents, Value& out) {
        if (failed(sd_bus_message_enter_container(m, 'v', contents))) {
            return Read::unsupported;
        }
        const Read result = value(depth + 1, out);
        failed(sd_bus_message_exit_container(m));
        return result;
    }

    Read array(int depth, const char* contents, Value& out) {
        if (std::strcmp(contents, "y") == 0) {
            const void* bytes = nullptr;
            std::size_t size = 0;
            if (!failed(sd_bus_message_read_array(m, 'y', &bytes, &size))) {
                const auto* begin = static_cast<const std::uint8_t*>(bytes);
                out = Value(Data{std::vector<std::uint8_t>(begin, begin + size)});
            }
            return Read::ok;
        }
        if (contents[0] == '{') {
            return dictionary(depth, contents, out);
        }
        if (failed(sd_bus_message_enter_container(m, 'a', contents))) {
            return Read::unsupported;
        }
        Array items;
        Read result = Read::ok;
        while (error == 0) {
            const int end = sd_bus_message_at_end(m, false);
            if (failed(end) || end > 0) {
                break;
            }
            Value item;
            if (value(depth + 1, item) == Read::unsupported) {
                result = Read::unsupported;
            }
            items.push_back(std::move(item));
        }
        failed(sd_bus_message_exit_container(m));
        if (result == Read::ok) {
            out = Value(std::move(items));
        }
        return result;
    }

    // a{Kx}: string-like keys only.
    Read dictionary(int depth, const char* contents, Value& out) {
        const char keyType = contents[1];
        if (keyType != 's' && keyType != 'o' && keyType != 'g') {
            return skip();
        }
        if (failed(sd_bus_message_enter_container(m, 'a', contents))) {
            return Read::unsupported;
        }
        const std::string entry(contents + 1, std::strlen(contents) - 2);
        Dictionary items;
        Read result = Read::ok;
        while (error == 0) {
            const int r = sd_bus_message_enter_container(m, 'e', entry.c_str());
            if (failed(r) || r == 0) {
                break;
            }
            const char* key = nullptr;
            Value item;
            if (basic(keyType, key) && value(depth + 1, item) == Read::unsupported) {
                result = Read::unsupported;
            }
            if (error == 0) {
                items.insert_or_assign(std::string(key), std::move(item));
            }
            failed(sd_bus_message_exit_container(m));
        }
        failed(sd_bus_message_exit_container(m));
        if (result == Read::ok) {
            out = Value(std::move(items));
        }
        return result;
    }
};

}  // namespace

namespace {

bool wanted(const UserInfoKeys& keys, std::string_view key) {
    return keys.all || std::find(keys.names.begin(), keys.names.end(), key) != keys.names.end();
}

void readUserInfo(Reader& reader, const UserInfoKeys& keys, Dictionary& userInfo,
                  std::vector<std::string>& warnings) {
    sd_bus_message* message = reader.m;
    if (reader.failed(sd_bus_message_enter_container(message, 'a', "{sv}"))) {
        return;
    }
    std::size_t found = 0;
    while (reader.error == 0 && (keys.all || found < keys.names.size())) {
        const int r = sd_bus_message_enter_container(message, 'e', "sv");
        if (reader.failed(r) || r == 0) {
            break;
        }
        const char* key = nullptr;
        Value value;
        if (!reader.basic('s', key)) {
            break;
        }
        if (!wanted(keys, key)) {
            reader.failed(sd_bus_message_skip(message, "v"));
        } else if (reader.value(1, value) == Read::ok) {
            found += userInfo.insert_or_assign(std::string(key), std::move(value)).second ? 1 : 0;
        } else if (reader.error == 0) {
            warnings.push_back("dropped user-info key " + quoteForDiagnostic(key) +
                               ": its value has an unsupported type");
        }
        reader.failed(sd_bus_message_exit_container(message));
    }
    if (keys.all) {
        reader.failed(sd_bus_message_exit_container(message));
    }
}

}  // namespace

bool isPost(sd_bus_message* message) {
    const char* path = sd_bus_message_get_path(message);
    return sd_bus_message_is_signal(message, kInterface, kMember) > 0 && path != nullptr &&
           std::strcmp(path, kPath) == 0;
}

DecodeResult decodePost(sd_bus_message* message, const UserInfoKeys& keys) {
    DecodeResult result;
    const char* rawSignature = sd_bus_message_get_signature(message, true);
    const std::string signature = rawSignature != nullptr ? rawSignature : "";
    const bool hasObject = signature == "ssa{sv}" || signature == "ss";
    const bool hasUserInfo = signature == "sa{sv}" || signature == "ssa{sv}";
    if (!hasObject && !hasUserInfo && signature != "s") {
        result.error = "signature " + quoteForDiagnostic(signature) +
                       " is not a notification (expected sa{sv} or ssa{sv})";
        return result;
    }

    Reader reader{message};
    if (reader.failed(sd_bus_message_rewind(message, true))) {
        result.error = "cannot read the message: " + errnoText(reader.error);
        return result;
    }
    Notification notification;
    const char* text = nullptr;
    if (reader.basic('s', text)) {
        notification.name = text;
    }
    if (hasObject && reader.basic('s', text)) {
        notification.object = std::string(text);
    }
    if (reader.error == 0 && hasUserInfo && (keys.all || !keys.names.empty())) {
        readUserInfo(reader, keys, notification.userInfo, result.warnings);
        if (reader.error != 0 && !keys.all) {
            // Only what was asked for counts; the name and object were read.
            result.warnings.push_back("could not read the rest of the user info: " +
                                      errnoText(reader.error));
            reader.error = 0;
        }
    }
    if (reader.error != 0) {
        result.warnings.clear();
        result.error = "cannot read the message: " + errnoText(reader.error);
        return result;
    }
    result.notification = std::move(notification);
    return result;
}
}  // namespace kivora::linux_::wire
