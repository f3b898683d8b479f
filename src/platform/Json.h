#pragma once
// JSON text to Value, over nlohmann-json, with hard limits so that hostile input can neither
// exhaust the stack nor memory.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "messaging/Value.h"

namespace kivora::json {

struct Limits {
    std::size_t maxBytes = 64 * 1024;
    std::size_t maxDepth = 512;
    // The platform's reader without options accepts only an array or an object at the top.
    bool allowScalarTopLevel = false;
};

struct ParseResult {
    std::optional<Value> value;  // set on success
    std::string error;           // a human-readable description on failure
};

// Integers that fit a signed 64-bit integer become integers; other numbers become reals;
// null becomes a null Value.
ParseResult parse(std::string_view text, const Limits& limits = {});

}  // namespace kivora::json
