#pragma once
// Key names, key codes and modifier symbols: three constant tables behind one shared instance.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kivora {

class KeyManager {
public:
    // The single instance, created on first use.
    static const KeyManager& shared();

    // The display name of a virtual key code: "nil" for -1, the table entry for 0...126,
    // "??" for every other value.
    const std::string& keyNameForKeyCode(std::int64_t keyCode) const;
    // The key code whose name equals `name` exactly (52 names of the codes 0...53), or none.
    std::optional<std::int64_t> keyCodeForKeyName(std::string_view name) const;
    // The symbols of the control, option, shift and command bits of an event-flag mask, in
    // that order ("" when none is set). Other bits are ignored.
    std::string modifierSymbolsForFlags(std::uint64_t flags) const;

private:
    KeyManager() = default;
};

}  // namespace kivora
