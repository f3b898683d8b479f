#pragma once
// Key names, key codes and modifier symbols: three constant tables behind one shared instance.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kivora {

class KeyManager {
public:
    // The single instance, created on first use (thread-safely) and never destroyed.
    static const KeyManager& shared();

    KeyManager(const KeyManager&) = delete;
    KeyManager& operator=(const KeyManager&) = delete;

    // The display name of a virtual key code: "nil" for -1, the table entry for 0...126,
    // "??" for every other value. The reference stays valid for the life of the process.
    const std::string& keyNameForKeyCode(std::int64_t keyCode) const;
    // The key code whose name equals `name` (52 names of the codes 0...53; "↩" is 52), or
    // none. Equality is the helper's canonical equivalence: case-sensitive, no trimming.
    std::optional<std::int64_t> keyCodeForKeyName(std::string_view name) const;
    // The symbols of the control, option, shift and command bits of an event-flag mask, in
    // that order ("" when none is set). Other bits are ignored.
    std::string modifierSymbolsForFlags(std::uint64_t flags) const;

private:
    KeyManager() = default;
};

}  // namespace kivora
