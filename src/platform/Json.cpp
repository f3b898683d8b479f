#include "platform/Json.h"

#include <limits>
#include <nlohmann/json.hpp>
#include <string>

namespace kivora::json {

namespace {

// The deepest array/object nesting of `text`, counted outside strings. Stops counting once
// `limit` is exceeded. Runs before the parser so that no parser or destructor ever sees a
// deeper document.
std::size_t nestingDepth(std::string_view text, std::size_t limit) {
    std::size_t depth = 0;
    std::size_t deepest = 0;
    bool inString = false;
    bool escaped = false;
    for (char c : text) {
        if (inString) {
            if (escaped) {
                escaped = false;
            } else if (c == '\\') {
                escaped = true;
            } else if (c == '"') {
                inString = false;
            }
            continue;
        }
        if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > deepest) {
                deepest = depth;
                if (deepest > limit) {
                    return deepest;
                }
            }
        } else if ((c == ']' || c == '}') && depth > 0) {
            --depth;
        }
    }
    return deepest;
}

Value convert(const nlohmann::json& j) {
    switch (j.type()) {
        case nlohmann::json::value_t::null:
        case nlohmann::json::value_t::discarded:
            return Value();
        case nlohmann::json::value_t::boolean:
            return Value(j.get<bool>());
        case nlohmann::json::value_t::number_integer:
            return Value(j.get<std::int64_t>());
        case nlohmann::json::value_t::number_unsigned: {
            const auto u = j.get<std::uint64_t>();
            if (u <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
                return Value(static_cast<std::int64_t>(u));
            }
            return Value(static_cast<double>(u));
        }
        case nlohmann::json::value_t::number_float:
            return Value(j.get<double>());
        case nlohmann::json::value_t::string:
            return Value(j.get<std::string>());
        case nlohmann::json::value_t::binary:
            return Value(
                Data{std::vector<std::uint8_t>(j.get_binary().begin(), j.get_binary().end())});
        case nlohmann::json::value_t::array: {
            Array out;
            out.reserve(j.size());
            for (const auto& item : j) {
                out.push_back(convert(item));
            }
            return Value(std::move(out));
        }
        case nlohmann::json::value_t::object: {
            Dictionary out;
            for (const auto& [key, item] : j.items()) {
                out.emplace(key, convert(item));
            }
            return Value(std::move(out));
        }
    }
    return Value();
}

// nlohmann's messages begin with an internal tag ("[json.exception.parse_error.101] ");
// the rest says where and what.
std::string describe(const nlohmann::json::exception& e) {
    std::string_view message = e.what();
    if (message.starts_with("[json.exception.")) {
        const auto end = message.find("] ");
        if (end != std::string_view::npos) {
            message.remove_prefix(end + 2);
        }
    }
    return "The data is not valid JSON: " + std::string(message);
}

}  // namespace

ParseResult parse(std::string_view text, const Limits& limits) {
    if (text.size() > limits.maxBytes) {
        return {std::nullopt, "The data is too large (" + std::to_string(text.size()) +
                                  " bytes; at most " + std::to_string(limits.maxBytes) +
                                  " are accepted)."};
    }
    if (nestingDepth(text, limits.maxDepth) > limits.maxDepth) {
        return {std::nullopt, "Too many nested arrays or dictionaries (more than " +
                                  std::to_string(limits.maxDepth) + " levels)."};
    }
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(text.begin(), text.end());
    } catch (const nlohmann::json::exception& e) {
        return {std::nullopt, describe(e)};
    }
    if (!limits.allowScalarTopLevel && !document.is_array() && !document.is_object()) {
        return {std::nullopt, "The top level is not an array or an object."};
    }
    return {convert(document), {}};
}

}  // namespace kivora::json
