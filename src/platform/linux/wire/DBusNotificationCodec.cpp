// Writing notifications as Post signals, and the match rules that select them.
#include "platform/linux/wire/DBusNotificationCodec.h"

#include <cstdint>
#include <variant>

#include "platform/linux/Diagnostics.h"
#include "platform/linux/Errno.h"

namespace kivora::linux_::wire {

namespace {

// The length of the code point at `i` when sd-bus accepts it in a string, else 0: no
// surrogates, nothing beyond U+10FFFF, no noncharacters; and no NUL, which the C interface
// would cut the string at. `span` receives the bytes to replace when refused: the whole
// sequence when it is well formed, else its first byte.
std::size_t acceptedLength(std::string_view s, std::size_t i, std::size_t& span) {
    const auto lead = static_cast<unsigned char>(s[i]);
    span = 1;
    if (lead < 0x80) {
        return lead == 0 ? 0 : 1;
    }
    std::size_t length = 0;
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
        return 0;
    }
    if (i + length > s.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(s[i + k]);
        if ((byte & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (byte & 0x3F);
    }
    span = length;
    static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) ||
        (cp >= 0xFDD0 && cp <= 0xFDEF) || (cp & 0xFFFE) == 0xFFFE) {
        return 0;
    }
    return length;
}

}  // namespace

bool isWireString(std::string_view s) {
    std::size_t span = 0;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t length = acceptedLength(s, i, span);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

namespace {

struct Check {
    std::size_t bytes = 0;
    std::size_t replaced = 0;  // strings that go out with U+FFFD in them
    std::string error;
    std::vector<std::string> warnings;
};

void checkString(std::string_view s, Check& check) {
    check.bytes += s.size() + kOverheadPerValue;
    // Past the size limit the post is cut anyway; validating more would only cost time.
    if (check.bytes <= kMaxPostBytes && !isWireString(s)) {
        ++check.replaced;
        check.bytes += sendableString(s).size() - s.size();
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
                checkString(v, check);
            } else if constexpr (std::is_same_v<T, Data>) {
                check.bytes += v.bytes.size();
            } else if constexpr (std::is_same_v<T, Array>) {
                for (const Value& item : v) {
                    checkValue(item, depth + 1, where, check);
                }
            } else if constexpr (std::is_same_v<T, Dictionary>) {
                for (const auto& [key, item] : v) {
                    checkString(key, check);
                    checkValue(item, depth + 1, where, check);
                }
            }
        },
        value.storage());
}

std::size_t wireSize(const Value& value) {
    Check check;
    checkValue(value, 1, {}, check);
    return check.bytes;
}

// The user info of a post too large for the bus, cut to fit: the dictionaries (records)
// inside its top-level arrays are kept from the front while they fit; everything else (an
// application title, say) stays. Null when not even that fits.
std::optional<Dictionary> cutToFit(const Dictionary& userInfo, std::size_t fixedBytes,
                                   std::string& warning) {
    std::size_t bytes = fixedBytes;
    for (const auto& [key, value] : userInfo) {
        bytes += key.size() + 2 * kOverheadPerValue;
        if (const Array* array = value.array()) {
            for (const Value& item : *array) {
                bytes += item.isDictionary() ? 0 : wireSize(item);
            }
        } else {
            bytes += wireSize(value);
        }
    }
    if (bytes > kMaxPostBytes) {
        return std::nullopt;
    }
    Dictionary cut;
    std::size_t kept = 0;
    std::size_t records = 0;
    bool full = false;
    for (const auto& [key, value] : userInfo) {
        const Array* array = value.array();
        if (array == nullptr) {
            cut.emplace(key, value);
            continue;
        }
        Array items;
        for (const Value& item : *array) {
            if (item.isDictionary()) {
                ++records;
                const std::size_t size = full ? 0 : wireSize(item);
                full = full || bytes + size > kMaxPostBytes;
                if (full) {
                    continue;
                }
                bytes += size;
                ++kept;
            }
            items.push_back(item);
        }
        cut.emplace(key, std::move(items));
    }
    warning = "too large for the bus (at most " + std::to_string(kMaxPostBytes / (1024 * 1024)) +
              " MiB): sent " + std::to_string(kept) + " of " + std::to_string(records) + " records";
    return cut;
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

}  // namespace

int appendString(sd_bus_message* m, const std::string& s) {
    if (isWireString(s)) {
        return sd_bus_message_append_basic(m, 's', s.c_str());
    }
    return sd_bus_message_append_basic(m, 's', sendableString(s).c_str());
}

MessagePtr newPost(sd_bus* bus, const std::string& name, const std::optional<std::string>& object,
                   std::string& error) {
    sd_bus_message* raw = nullptr;
    int r = sd_bus_message_new_signal(bus, &raw, kPath, kInterface, kMember);
    if (r < 0) {
        error = "cannot create the signal: " + errnoText(r);
        return nullptr;
    }
    MessagePtr message(raw);
    r = appendString(raw, name);
    if (r >= 0 && object) {
        r = appendString(raw, *object);
    }
    if (r < 0) {
        error = "cannot build the signal: " + errnoText(r);
        return nullptr;
    }
    return message;
}

void finishPost(int appended, MessagePtr&& message, EncodeResult& result) {
    if (appended < 0) {
        result.error = "cannot build the signal: " + errnoText(appended);
    } else {
        result.message = std::move(message);
    }
}

namespace {

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
        r = appendString(m, *s);
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
            r = appendString(m, key);
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

}  // namespace

std::string sendableString(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t span = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t length = acceptedLength(text, i, span);
        if (length == 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD
            i += span;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

EncodeResult encodePost(sd_bus* bus, const std::string& name,
                        const std::optional<std::string>& object, const Dictionary& userInfo) {
    EncodeResult result;
    Check check;
    checkString(name, check);
    if (object) {
        checkString(*object, check);
    }
    const std::size_t fixedBytes = check.bytes;
    for (const auto& [key, value] : userInfo) {
        checkString(key, check);
        checkValue(value, 1, "user-info key " + quoteForDiagnostic(key), check);
    }
    if (!check.error.empty()) {
        result.error = std::move(check.error);
        return result;
    }
    result.warnings = std::move(check.warnings);
    const Dictionary* toSend = &userInfo;
    std::optional<Dictionary> cut;
    if (check.bytes > kMaxPostBytes) {
        std::string warning;
        cut = cutToFit(userInfo, fixedBytes, warning);
        if (!cut) {
            result.error = "the notification is too large for the bus (about " +
                           std::to_string(check.bytes / (1024 * 1024)) + " MiB, at most " +
                           std::to_string(kMaxPostBytes / (1024 * 1024)) + " MiB)";
            return result;
        }
        result.warnings.push_back(std::move(warning));
        toSend = &*cut;
    }
    if (check.replaced > 0) {
        result.warnings.push_back("sent U+FFFD for the characters the bus refuses in " +
                                  std::to_string(check.replaced) + " strings");
    }

    MessagePtr message = newPost(bus, name, object, result.error);
    if (message) {
        const int appended = appendDictionary(message.get(), *toSend);
        finishPost(appended, std::move(message), result);
    }
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
    std::string rule = "type='signal',path='";
    rule += kPath;
    rule += "',interface='";
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