#include "messaging/Value.h"

#include <cstdio>

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

void appendQuoted(std::string& out, const std::string& s) {
    out += '"';
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    out += '"';
}

void render(std::string& out, const Value& value, int depth) {
    if (depth > 128) {
        out += "...";
        return;
    }
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
                char buf[32];
                std::snprintf(buf, sizeof buf, "%.17g", v);
                out += buf;
            } else if constexpr (std::is_same_v<T, std::string>) {
                appendQuoted(out, v);
            } else if constexpr (std::is_same_v<T, Data>) {
                out += "<data " + std::to_string(v.bytes.size()) + " bytes>";
            } else if constexpr (std::is_same_v<T, Array>) {
                out += '[';
                for (std::size_t i = 0; i < v.size(); ++i) {
                    if (i > 0) {
                        out += ", ";
                    }
                    render(out, v[i], depth + 1);
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
                    render(out, item, depth + 1);
                }
                out += '}';
            }
        },
        value.storage());
}

}  // namespace

std::string toDebugString(const Value& value) {
    std::string out;
    render(out, value, 0);
    return out;
}

}  // namespace kivora
