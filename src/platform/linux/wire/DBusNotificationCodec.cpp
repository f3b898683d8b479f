#include "platform/linux/wire/DBusNotificationCodec.h"

#include <cstdint>
#include <cstring>
#include <limits>
#include <system_error>
#include <variant>

#include "platform/linux/Diagnostics.h"

namespace kivora::linux_::wire {

namespace {

std::string errnoText(int negativeErrno) {
    return std::generic_category().message(-negativeErrno);
}

// --- Encoding -------------------------------------------------------------------------------

// The code points sd-bus accepts in a string: no surrogates, nothing beyond U+10FFFF, no
// noncharacters; and no NUL, which the C interface would cut the string at.
bool isWireString(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        const auto lead = static_cast<unsigned char>(s[i]);
        if (lead == 0) {
            return false;
        }
        if (lead < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        char32_t cp = 0;
        if ((lead & 0xE0) == 0xC0) {
            length = 2;
            cp = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            cp = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            cp = lead & 0x07;
        } else {
            return false;
        }
        if (i + length > s.size()) {
            return false;
        }
        for (int k = 1; k < length; ++k) {
            const auto byte = static_cast<unsigned char>(s[i + k]);
            if ((byte & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (byte & 0x3F);
        }
        static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) ||
            (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE) {
            return false;
        }
        i += length;
    }
    return true;
}

// Bytes a value takes on the wire, rounded up generously: alignment, the variant's signature
// and the length words are all counted at their worst.
constexpr std::size_t kOverheadPerValue = 24;

struct Check {
    std::size_t bytes = 0;
    std::string error;
    std::vector<std::string> warnings;
};

// `what` and `where` name the string for the error; the text is made only on failure, since
// a reply holds thousands of strings.
void checkString(std::string_view s, std::string_view what, std::string_view where,
                 Check& check) {
    check.bytes += s.size() + kOverheadPerValue;
    // Past the size limit the post is refused anyway; validating more would only cost time.
    if (check.error.empty() && check.bytes <= kMaxPostBytes && !isWireString(s)) {
        check.error = std::string(what);
        if (!where.empty()) {
            check.error += " at ";
            check.error += where;
        }
        check.error += " is not valid UTF-8 or holds a NUL character";
    }
}

void checkValue(const Value& value, int depth, std::string_view where, Check& check) {
    if (!check.error.empty()) {
        return;
    }
    if (depth > kMaxValueDepth) {
        check.error =
            "the user info nests deeper than " + std::to_string(kMaxValueDepth) + " levels";
        return;
    }
    check.bytes += kOverheadPerValue;
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                check.warnings.push_back("left out a null value at " + std::string(where));
            } else if constexpr (std::is_same_v<T, std::string>) {
                checkString(v, "a string", where, check);
            } else if constexpr (std::is_same_v<T, Data>) {
                check.bytes += v.bytes.size();
            } else if constexpr (std::is_same_v<T, Array>) {
                for (const Value& item : v) {
                    checkValue(item, depth + 1, where, check);
                }
            } else if constexpr (std::is_same_v<T, Dictionary>) {
                for (const auto& [key, item] : v) {
                    checkString(key, "a key", where, check);
                    checkValue(item, depth + 1, where, check);
                }
            }
        },
        value.storage());
}

const char* signatureOf(const Value& value) {
    return std::visit(
        [](const auto& v) -> const char* {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                return "b";
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return "x";
            } else if constexpr (std::is_same_v<T, double>) {
                return "d";
            } else if constexpr (std::is_same_v<T, std::string>) {
                return "s";
            } else if constexpr (std::is_same_v<T, Data>) {
                return "ay";
            } else if constexpr (std::is_same_v<T, Array>) {
                return "av";
            } else if constexpr (std::is_same_v<T, Dictionary>) {
                return "a{sv}";
            } else {
                return nullptr;
            }
        },
        value.storage());
}

int appendDictionary(sd_bus_message* m, const Dictionary& dictionary);

// Appends one value as a variant. Null values are skipped by the callers.
int appendVariant(sd_bus_message* m, const Value& value) {
    const char* signature = signatureOf(value);
    int r = sd_bus_message_open_container(m, 'v', signature);
    if (r < 0) {
        return r;
    }
    const auto& storage = value.storage();
    if (const auto* b = std::get_if<bool>(&storage)) {
        const int flag = *b ? 1 : 0;
        r = sd_bus_message_append_basic(m, 'b', &flag);
    } else if (const auto* i = std::get_if<std::int64_t>(&storage)) {
        r = sd_bus_message_append_basic(m, 'x', i);
    } else if (const auto* d = std::get_if<double>(&storage)) {
        r = sd_bus_message_append_basic(m, 'd', d);
    } else if (const auto* s = std::get_if<std::string>(&storage)) {
        r = sd_bus_message_append_basic(m, 's', s->c_str());
    } else if (const auto* data = std::get_if<Data>(&storage)) {
        r = sd_bus_message_append_array(m, 'y', data->bytes.data(), data->bytes.size());
    } else if (const auto* array = std::get_if<Array>(&storage)) {
        r = sd_bus_message_open_container(m, 'a', "v");
        for (const Value& item : *array) {
            if (r >= 0 && !item.isNull()) {
                r = appendVariant(m, item);
            }
        }
        if (r >= 0) {
            r = sd_bus_message_close_container(m);
        }
    } else if (const auto* dictionary = std::get_if<Dictionary>(&storage)) {
        r = appendDictionary(m, *dictionary);
    }
    if (r < 0) {
        return r;
    }
    return sd_bus_message_close_container(m);
}

int appendDictionary(sd_bus_message* m, const Dictionary& dictionary) {
    int r = sd_bus_message_open_container(m, 'a', "{sv}");
    for (const auto& [key, value] : dictionary) {
        if (r < 0) {
            return r;
        }
        if (value.isNull()) {
            continue;
        }
        r = sd_bus_message_open_container(m, 'e', "sv");
        if (r >= 0) {
            r = sd_bus_message_append_basic(m, 's', key.c_str());
        }
        if (r >= 0) {
            r = appendVariant(m, value);
        }
        if (r >= 0) {
            r = sd_bus_message_close_container(m);
        }
    }
    if (r < 0) {
        return r;
    }
    return sd_bus_message_close_container(m);
}

// --- Decoding -------------------------------------------------------------------------------

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

EncodeResult encodePost(sd_bus* bus, const std::string& name,
                        const std::optional<std::string>& object, const Dictionary& userInfo) {
    EncodeResult result;
    Check check;
    checkString(name, "the name", {}, check);
    if (object) {
        checkString(*object, "the object", {}, check);
    }
    for (const auto& [key, value] : userInfo) {
        checkString(key, "a user-info key", {}, check);
        checkValue(value, 1, "user-info key " + quoteForDiagnostic(key), check);
    }
    if (!check.error.empty()) {
        result.error = std::move(check.error);
        return result;
    }
    if (check.bytes > kMaxPostBytes) {
        result.error = "the notification is too large for the bus (about " +
                       std::to_string(check.bytes / (1024 * 1024)) + " MiB, at most " +
                       std::to_string(kMaxPostBytes / (1024 * 1024)) + " MiB)";
        return result;
    }
    result.warnings = std::move(check.warnings);

    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_signal(bus, &raw, kPath, kInterface, kMember);
    if (r < 0) {
        result.error = "cannot create the signal: " + errnoText(r);
        return result;
    }
    MessagePtr message(raw);
    r = sd_bus_message_append_basic(raw, 's', name.c_str());
    if (r >= 0 && object) {
        r = sd_bus_message_append_basic(raw, 's', object->c_str());
    }
    if (r >= 0) {
        r = appendDictionary(raw, userInfo);
    }
    if (r < 0) {
        result.error = "cannot build the signal: " + errnoText(r);
        return result;
    }
    result.message = std::move(message);
    return result;
}

bool isPost(sd_bus_message* message) {
    return sd_bus_message_is_signal(message, kInterface, kMember) > 0;
}

DecodeResult decodePost(sd_bus_message* message) {
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
    if (hasUserInfo && !reader.failed(sd_bus_message_enter_container(message, 'a', "{sv}"))) {
        while (reader.error == 0) {
            const int r = sd_bus_message_enter_container(message, 'e', "sv");
            if (reader.failed(r) || r == 0) {
                break;
            }
            const char* key = nullptr;
            Value value;
            if (reader.basic('s', key)) {
                if (reader.value(1, value) == Read::ok) {
                    notification.userInfo.insert_or_assign(std::string(key), std::move(value));
                } else if (reader.error == 0) {
                    result.warnings.push_back("dropped user-info key " + quoteForDiagnostic(key) +
                                              ": its value has an unsupported type");
                }
            }
            reader.failed(sd_bus_message_exit_container(message));
        }
        reader.failed(sd_bus_message_exit_container(message));
    }
    if (reader.error != 0) {
        result.warnings.clear();
        result.error = "cannot read the message: " + errnoText(reader.error);
        return result;
    }
    result.notification = std::move(notification);
    return result;
}

bool fitsMatchRule(std::string_view value) {
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E || c == '\'' || c == '\\') {
            return false;
        }
    }
    return true;
}

std::string matchRule(const std::optional<std::string>& name,
                      const std::optional<std::string>& object) {
    std::string rule = "type='signal',interface='";
    rule += kInterface;
    rule += "',member='";
    rule += kMember;
    rule += '\'';
    if (name && fitsMatchRule(*name)) {
        rule += ",arg0='" + *name + '\'';
    }
    if (object && fitsMatchRule(*object)) {
        rule += ",arg1='" + *object + '\'';
    }
    return rule;
}

}  // namespace kivora::linux_::wire
