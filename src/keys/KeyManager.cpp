#include "keys/KeyManager.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "platform/UnicodeString.h"

namespace kivora {

namespace {

constexpr std::int64_t kFirstNamedCode = -1;
constexpr std::size_t kNamedCodeCount = 128;  // -1 ... 126

// Names of the virtual key codes -1 ... 126, indexed by code + 1. Codes 65-92 are the keypad:
// where the main keyboard has the same key, the keypad key carries the same name.
// clang-format off: one row of ten codes per line, as the codes are usually listed
constexpr std::array<std::string_view, kNamedCodeCount> kKeyNames = {
    "nil",
    /*   0 */ "A",  "S",     "D",  "F",   "H",    "G",    "Z",    "X",      "C",  "V",
    /*  10 */ "??", "B",     "Q",  "W",   "E",    "R",    "Y",    "T",      "1",  "2",
    /*  20 */ "3",  "4",     "6",  "5",   "=",    "9",    "7",    "-",      "8",  "0",
    /*  30 */ "]",  "O",     "U",  "[",   "I",    "P",    "↩",    "L",      "J",  "'",
    /*  40 */ "K",  ";",     "\\", ",",   "/",    "N",    "M",    ".",      "⇥",  "SPACE",
    /*  50 */ "`",  "⌫",     "↩",  "⎋",   "??",   "??",   "??",   "??",     "??", "??",
    /*  60 */ "??", "??",    "??", "??",  "??",   ".",    "??",   "*",      "??", "+",
    /*  70 */ "??", "CLEAR", "??", "??",  "??",   "/",    "↩",    "??",     "-",  "??",
    /*  80 */ "??", "=",     "0",  "1",   "2",    "3",    "4",    "5",      "6",  "7",
    /*  90 */ "??", "8",     "9",  "??",  "??",   "??",   "F5",   "F6",     "F7", "F3",
    /* 100 */ "F8", "F9",    "??", "F11", "??",   "F13",  "??",   "F14",    "??", "F10",
    /* 110 */ "??", "F12",   "??", "F15", "HELP", "HOME", "PGUP", "DELETE", "F4", "END",
    /* 120 */ "F2", "PGDN",  "F1", "←",   "→",    "↓",    "↑",
};
// clang-format on

struct NamedCode {
    std::string_view name;
    std::int64_t code;
};

// Only the main-keyboard codes 0...53 are looked up by name. Code 10 has no name, and 36
// gives way to 52 so that "↩" answers 52.
constexpr bool hasNameEntry(std::int64_t code) {
    return code >= 0 && code <= 53 && code != 10 && code != 36;
}

constexpr std::size_t kNameEntryCount = [] {
    std::size_t n = 0;
    for (std::int64_t code = 0; code <= 53; ++code) {
        n += hasNameEntry(code) ? 1 : 0;
    }
    return n;
}();

// The inverse, derived from the name table at compile time and sorted by name for a binary
// search, so the two tables cannot drift apart.
constexpr std::array<NamedCode, kNameEntryCount> kCodesByName = [] {
    std::array<NamedCode, kNameEntryCount> out{};
    std::size_t n = 0;
    for (std::int64_t code = 0; code <= 53; ++code) {
        if (hasNameEntry(code)) {
            out[n++] = {kKeyNames[static_cast<std::size_t>(code - kFirstNamedCode)], code};
        }
    }
    std::sort(out.begin(), out.end(),
              [](const NamedCode& a, const NamedCode& b) { return a.name < b.name; });
    return out;
}();

static_assert(kNameEntryCount == 52);
static_assert(std::adjacent_find(kCodesByName.begin(), kCodesByName.end(),
                                 [](const NamedCode& a, const NamedCode& b) {
                                     return a.name == b.name;
                                 }) == kCodesByName.end(),
              "every name of the inverse occurs once");

// Most menu shortcuts are one ASCII character: those skip the search. -1: not a name.
constexpr std::array<std::int8_t, 128> kCodeByAsciiChar = [] {
    std::array<std::int8_t, 128> out{};
    out.fill(-1);
    for (const NamedCode& entry : kCodesByName) {
        if (entry.name.size() == 1 && static_cast<unsigned char>(entry.name[0]) < 0x80) {
            out[static_cast<unsigned char>(entry.name[0])] = static_cast<std::int8_t>(entry.code);
        }
    }
    return out;
}();

constexpr std::size_t kLongestNameCodePoints = 5;  // "SPACE"

struct ModifierSymbol {
    std::uint64_t mask;
    std::string_view symbol;
};

// In output order.
constexpr std::array<ModifierSymbol, 4> kModifierSymbols = {{
    {0x40000, "⌃"},   // control
    {0x80000, "⌥"},   // option
    {0x20000, "⇧"},   // shift
    {0x100000, "⌘"},  // command
}};

// The names as strings, built once, so that lookups hand out references and never allocate.
struct KeyNameStrings {
    std::array<std::string, kNamedCodeCount> named;
    std::string unknown{"??"};

    KeyNameStrings() { std::copy(kKeyNames.begin(), kKeyNames.end(), named.begin()); }
};

const KeyNameStrings& keyNameStrings() {
    static const KeyNameStrings strings;
    return strings;
}

std::size_t codePointCount(std::string_view text) {
    // Every UTF-8 byte that is not a continuation byte starts a code point.
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

bool isAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

const KeyManager& KeyManager::shared() {
    static const KeyManager instance;
    return instance;
}

const std::string& KeyManager::keyNameForKeyCode(std::int64_t keyCode) const {
    const KeyNameStrings& strings = keyNameStrings();
    // Compared before any arithmetic, so extreme codes cannot overflow.
    if (keyCode < kFirstNamedCode ||
        keyCode >= kFirstNamedCode + static_cast<std::int64_t>(kNamedCodeCount)) {
        return strings.unknown;
    }
    return strings.named[static_cast<std::size_t>(keyCode - kFirstNamedCode)];
}

std::optional<std::int64_t> KeyManager::keyCodeForKeyName(std::string_view name) const {
    if (name.size() == 1 && static_cast<unsigned char>(name[0]) < 0x80) {
        const std::int8_t code = kCodeByAsciiChar[static_cast<unsigned char>(name[0])];
        return code >= 0 ? std::optional<std::int64_t>(code) : std::nullopt;
    }
    const auto it = std::lower_bound(
        kCodesByName.begin(), kCodesByName.end(), name,
        [](const NamedCode& entry, std::string_view wanted) { return entry.name < wanted; });
    if (it != kCodesByName.end() && it->name == name) {
        return it->code;
    }
    // Text that differs in bytes can still be canonically equal to a name (KELVIN SIGN is
    // "K"). ASCII text is its own canonical form, and canonical decomposition never lowers the
    // number of code points, so only short non-ASCII text needs the slow comparison.
    if (name.size() > 4 * kLongestNameCodePoints || isAscii(name) ||
        codePointCount(name) > kLongestNameCodePoints) {
        return std::nullopt;
    }
    const CanonicalText wanted(name);
    for (const NamedCode& entry : kCodesByName) {
        if (canonicallyEqual(CanonicalText(entry.name), wanted)) {
            return entry.code;
        }
    }
    return std::nullopt;
}

std::string KeyManager::modifierSymbolsForFlags(std::uint64_t flags) const {
    std::string symbols;  // at most four 3-byte symbols: stays in the small-string buffer
    for (const ModifierSymbol& modifier : kModifierSymbols) {
        if ((flags & modifier.mask) != 0) {
            symbols += modifier.symbol;
        }
    }
    return symbols;
}

}  // namespace kivora
