#pragma once
// A symbolic-hot-keys dictionary built from fuzz input: mostly entries of the known shortcuts
// in the usual shape, with odd types, missing parts and edge key codes and masks mixed in.

#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "system/SystemShortcutTable.h"

namespace kivora::fuzz {

inline constexpr std::int64_t kMasks[] = {
    0,       131072,  262144, 524288,    1048576,   1179648, 1572864,
    8388608, 8650752, -1,     INT64_MAX, INT64_MIN, 65536,   0x100,
};

inline std::string shortcutId(FuzzInput& in) {
    const std::uint8_t choice = in.byte();
    if (choice < 224) {
        const std::string_view row = systemShortcutTable()[choice % kSystemShortcutRowCount];
        return std::string(row.substr(0, row.find(':')));
    }
    return choice % 2 == 0 ? std::to_string(static_cast<std::int8_t>(in.byte())) : word(in);
}

inline Value parameter(FuzzInput& in) {
    switch (in.byte() % 5) {
        case 0:
            return Value(static_cast<std::int64_t>(static_cast<std::int8_t>(in.byte())));
        case 1:
        case 2:
            return Value(static_cast<std::int64_t>(in.byte() % 128));  // key codes and -1's
        case 3:
            return Value(in.pick(kMasks));
        default:
            return plainValue(in, 1);
    }
}

inline Value hotKeyEntry(FuzzInput& in) {
    if (in.below(8) == 0) {
        return plainValue(in, 2);
    }
    Dictionary entry;
    entry["enabled"] = in.below(4) != 0 ? Value(in.flag()) : plainValue(in, 1);
    if (in.below(6) == 0) {
        entry["value"] = plainValue(in, 2);
        return Value(std::move(entry));
    }
    Array parameters;
    for (std::size_t i = in.below(5); i > 0; --i) {
        parameters.push_back(parameter(in));
    }
    entry["value"] = Dictionary{{"parameters", std::move(parameters)}, {"type", "standard"}};
    return Value(std::move(entry));
}

// The value of "AppleSymbolicHotKeys".
inline Value hotKeys(FuzzInput& in) {
    Dictionary hotKeys;
    for (std::size_t i = in.below(16); i > 0; --i) {
        std::string id = shortcutId(in);
        hotKeys.insert_or_assign(std::move(id), hotKeyEntry(in));
    }
    return Value(std::move(hotKeys));
}

}  // namespace kivora::fuzz
