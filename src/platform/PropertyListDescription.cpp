// The old-style description of a value, on one line, for log lines.
#include <algorithm>
#include <charconv>
#include <cstdio>

#include "platform/PropertyList.h"

namespace kivora::plist {

namespace {

// Data longer than this is shown by its first bytes and its length.
constexpr std::size_t kDataBytesShown = 32;
// Deeper values are elided rather than followed (the parser admits no deeper ones anyway).
constexpr int kMaxDescribedDepth = kMaxXmlNesting + 1;

bool isBareCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$' || c == '.' || c == ':' || c == '/' || c == '-';
}

void appendString(std::string& out, const std::string& s) {
    bool bare = !s.empty();
    for (char c : s) {
        bare = bare && isBareCharacter(c);
    }
    if (bare) {
        out += s;
        return;
    }
    out += '"';
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
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
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                if (u < 0x20 || u == 0x7F) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\U%04x", u);
                    out += buf;
                } else {
                    out += c;  // UTF-8 stays as it is
                }
        }
    }
    out += '"';
}

void appendReal(std::string& out, double d) {
    char buf[32];
    const auto result = std::to_chars(buf, buf + sizeof buf, d);
    out.append(buf, result.ptr);
}

void appendData(std::string& out, const Data& data) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '<';
    const std::size_t shown = std::min(data.bytes.size(), kDataBytesShown);
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0 && i % 4 == 0) {
            out += ' ';
        }
        out += kHex[data.bytes[i] >> 4];
        out += kHex[data.bytes[i] & 0x0F];
    }
    if (shown < data.bytes.size()) {
        out += " ... " + std::to_string(data.bytes.size()) + " bytes";
    }
    out += '>';
}

void append(std::string& out, const Value& value, int depth) {
    if (depth > kMaxDescribedDepth) {
        out += "...";
        return;
    }
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                out += "<null>";
            } else if constexpr (std::is_same_v<T, bool>) {
                out += v ? '1' : '0';
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                out += std::to_string(v);
            } else if constexpr (std::is_same_v<T, double>) {
                appendReal(out, v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                appendString(out, v);
            } else if constexpr (std::is_same_v<T, Data>) {
                appendData(out, v);
            } else if constexpr (std::is_same_v<T, Array>) {
                if (v.empty()) {
                    out += "()";
                    return;
                }
                out += "( ";
                for (std::size_t i = 0; i < v.size(); ++i) {
                    if (i > 0) {
                        out += ", ";
                    }
                    append(out, v[i], depth + 1);
                }
                out += " )";
            } else {
                if (v.empty()) {
                    out += "{}";
                    return;
                }
                out += "{ ";
                for (const auto& [key, item] : v) {  // a std::map: keys come sorted
                    appendString(out, key);
                    out += " = ";
                    append(out, item, depth + 1);
                    out += "; ";
                }
                out += '}';
            }
        },
        value.storage());
}

}  // namespace

std::string describe(const Value& value) {
    std::string out;
    append(out, value, 0);
    return out;
}

}  // namespace kivora::plist
