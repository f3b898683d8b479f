#pragma once
// A key code and flags pair, and its wire form, the key dictionary {"keyCode", "flags"}.

#include <cstdint>
#include <vector>

#include "messaging/Value.h"

namespace kivora {

struct KeyCodeAndFlags {
    std::int64_t keyCode = 0;
    std::int64_t flags = 0;
    bool operator==(const KeyCodeAndFlags&) const = default;
};

// {"keyCode": keyCode, "flags": flags}
Value keyDictionary(const KeyCodeAndFlags& pair);
// One key dictionary per pair, in order.
Array keyDictionaries(const std::vector<KeyCodeAndFlags>& pairs);

}  // namespace kivora
