#include "messaging/Value.h"

#include <charconv>
#include <type_traits>

namespace kivora {

const Value* Value::find(std::string_view key) const {
    const auto* dict = dictionary();
    if (dict == nullptr) {
        return nullptr;
    }
    auto it = dict->find(key);
    return it == dict->end() ? nullptr : &it->second;
}

bool Value::operator==(const Value& other) const {
    return storage_ == other.storage_;
}

namespace {

// Strings are quoted and escaped so that one log line stays one line whatever they hold.
void appendQuoted(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    static constexpr char kHex[] = "0123456789abcdef";
                    const auto byte = static_cast<unsigned char>(c);
                    out += "\\u00";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0xF];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

void appendReal(std::string& out, double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

// Arrays as [a, b], dictionaries as {"key": value}, strings quoted, numbers in decimal,
// booleans as true/false, null as null. The recursion is bounded by the parser's depth limit.
void describe(std::string& out, const Value& value) {
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                out += "null";
            } else if constexpr (std::is_same_v<T, bool>) {
                out += v ? "true" : "false";
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                out += std::to_string(v);
            } else if constexpr (std::is_same_v<T, double>) {
                appendReal(out, v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                appendQuoted(out, v);
            } else if constexpr (std::is_same_v<T, Data>) {
                // Appended piecewise: g++ 12 -O3 warns falsely (-Wrestrict) on the + chain.
                out += '<';
                out += std::to_string(v.bytes.size());
                out += " bytes>";
            } else if constexpr (std::is_same_v<T, Array>) {
                out += '[';
                for (std::size_t i = 0; i < v.size(); ++i) {
                    if (i > 0) {
                        out += ", ";
                    }
                    describe(out, v[i]);
                }
                out += ']';
            } else {
                out += '{';
                bool first = true;
                for (const auto& [key, item] : v) {
                    if (!first) {
                        out += ", ";
                    }
                    first = false;
                    appendQuoted(out, key);
                    out += ": ";
                    describe(out, item);
                }
                out += '}';
            }
        },
        value.storage());
}

}  // namespace

std::string toDebugString(const Value& value) {
    std::string out;
    describe(out, value);
    return out;
}

}  // namespace kivora
