#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "keys/KeyManager.h"

namespace {

using kivora::KeyManager;

// Every named key code; every code missing here is "??". Typed from the key-code layout of
// the platform, not from the implementation's table.
const std::map<std::int64_t, std::string>& expectedNames() {
    // clang-format off
    static const std::map<std::int64_t, std::string> names = {
        {-1, "nil"},
        {0, "A"}, {1, "S"}, {2, "D"}, {3, "F"}, {4, "H"}, {5, "G"}, {6, "Z"}, {7, "X"},
        {8, "C"}, {9, "V"}, {11, "B"}, {12, "Q"}, {13, "W"}, {14, "E"}, {15, "R"}, {16, "Y"},
        {17, "T"}, {18, "1"}, {19, "2"}, {20, "3"}, {21, "4"}, {22, "6"}, {23, "5"},
        {24, "="}, {25, "9"}, {26, "7"}, {27, "-"}, {28, "8"}, {29, "0"}, {30, "]"},
        {31, "O"}, {32, "U"}, {33, "["}, {34, "I"}, {35, "P"}, {37, "L"}, {38, "J"},
        {39, "'"}, {40, "K"}, {41, ";"}, {43, ","}, {44, "/"}, {45, "N"}, {46, "M"},
        {47, "."}, {49, "SPACE"},
        {36, "\u21A9"}, {52, "\u21A9"}, {76, "\u21A9"},  // return, enter, keypad enter
        {42, "\x5C"}, {50, "\x60"},                     // backslash, grave accent
        {48, "\u21E5"}, {51, "\u232B"}, {53, "\u238B"},  // tab, delete backwards, escape
        // Keypad.
        {65, "."}, {67, "*"}, {69, "+"}, {71, "CLEAR"}, {75, "/"}, {78, "-"}, {81, "="},
        {82, "0"}, {83, "1"}, {84, "2"}, {85, "3"}, {86, "4"}, {87, "5"}, {88, "6"},
        {89, "7"}, {91, "8"}, {92, "9"},
        // Function and navigation keys.
        {96, "F5"}, {97, "F6"}, {98, "F7"}, {99, "F3"}, {100, "F8"}, {101, "F9"},
        {103, "F11"}, {105, "F13"}, {107, "F14"}, {109, "F10"}, {111, "F12"}, {113, "F15"},
        {114, "HELP"}, {115, "HOME"}, {116, "PGUP"}, {117, "DELETE"}, {118, "F4"},
        {119, "END"}, {120, "F2"}, {121, "PGDN"}, {122, "F1"},
        {123, "\u2190"}, {124, "\u2192"}, {125, "\u2193"}, {126, "\u2191"},
    };
    // clang-format on
    return names;
}

std::string expectedName(std::int64_t code) {
    const auto it = expectedNames().find(code);
    return it == expectedNames().end() ? "??" : it->second;
}

TEST(KeyManagerNames, EveryCodeAroundTheTableAndFarOutside) {
    const KeyManager& keys = KeyManager::shared();
    std::vector<std::int64_t> codes;
    for (std::int64_t code = -2; code <= 127; ++code) {
        codes.push_back(code);
    }
    codes.insert(codes.end(), {65535, 65536, std::numeric_limits<std::int64_t>::min(),
                               std::numeric_limits<std::int64_t>::max()});
    for (std::int64_t code : codes) {
        EXPECT_EQ(keys.keyNameForKeyCode(code), expectedName(code)) << "key code " << code;
    }
}

// The 52 names that turn back into key codes: the main keyboard, 0...53, without 10 and 36.
const std::map<std::string, std::int64_t>& expectedCodes() {
    // clang-format off
    static const std::map<std::string, std::int64_t> codes = {
        {"A", 0}, {"S", 1}, {"D", 2}, {"F", 3}, {"H", 4}, {"G", 5}, {"Z", 6}, {"X", 7},
        {"C", 8}, {"V", 9}, {"B", 11}, {"Q", 12}, {"W", 13}, {"E", 14}, {"R", 15},
        {"Y", 16}, {"T", 17}, {"1", 18}, {"2", 19}, {"3", 20}, {"4", 21}, {"6", 22},
        {"5", 23}, {"=", 24}, {"9", 25}, {"7", 26}, {"-", 27}, {"8", 28}, {"0", 29},
        {"]", 30}, {"O", 31}, {"U", 32}, {"[", 33}, {"I", 34}, {"P", 35}, {"L", 37},
        {"J", 38}, {"'", 39}, {"K", 40}, {";", 41}, {"\\", 42}, {",", 43}, {"/", 44},
        {"N", 45}, {"M", 46}, {".", 47}, {"\u21E5", 48}, {"SPACE", 49}, {"`", 50},
        {"\u232B", 51}, {"\u21A9", 52}, {"\u238B", 53},
    };
    // clang-format on
    return codes;
}

TEST(KeyManagerCodes, TheFiftyTwoNamesAnswerTheirMainKeyboardCode) {
    ASSERT_EQ(expectedCodes().size(), 52u);
    const KeyManager& keys = KeyManager::shared();
    for (const auto& [name, code] : expectedCodes()) {
        EXPECT_EQ(keys.keyCodeForKeyName(name), code) << "name " << name;
    }
}

TEST(KeyManagerCodes, EveryOtherNameOfTheCodeTableHasNoCode) {
    const KeyManager& keys = KeyManager::shared();
    std::set<std::string> withoutCode;
    for (const auto& [code, name] : expectedNames()) {
        if (!expectedCodes().contains(name)) {
            withoutCode.insert(name);
        }
    }
    withoutCode.insert("??");
    // "nil", "*", "+", "CLEAR", the function keys, the arrows and the navigation keys.
    EXPECT_EQ(withoutCode.size(), 30u);
    for (const std::string& name : withoutCode) {
        EXPECT_EQ(keys.keyCodeForKeyName(name), std::nullopt) << "name " << name;
    }
}

TEST(KeyManagerCodes, LookupIsExactInCaseAndSpacingButCanonicallyEquivalent) {
    const KeyManager& keys = KeyManager::shared();
    // clang-format off
    const std::vector<std::string> none = {
        "a", "space", "", " A", "A ", "AA", "F1",
        std::string("A\0", 2),
        "\u21A9\u0301",  // return symbol with a combining mark
        "\xFF",          // not UTF-8
        "\u00C5",        // A with ring: not A
    };
    // clang-format on
    for (const std::string& name : none) {
        EXPECT_EQ(keys.keyCodeForKeyName(name), std::nullopt) << "name " << name;
    }
    // Canonically equivalent spellings of table names (singleton decompositions).
    EXPECT_EQ(keys.keyCodeForKeyName("\u212A"), 40);  // KELVIN SIGN is K
    EXPECT_EQ(keys.keyCodeForKeyName("\u037E"), 41);  // GREEK QUESTION MARK is ;
    EXPECT_EQ(keys.keyCodeForKeyName("\u1FEF"), 50);  // GREEK VARIA is `
}

TEST(KeyManagerModifiers, ControlOptionShiftCommandInThatOrderOtherBitsIgnored) {
    const std::string control = "\u2303", option = "\u2325", shift = "\u21E7", command = "\u2318";
    const struct {
        std::uint64_t flags;
        std::string symbols;
    } cases[] = {
        {0, ""},
        {0x10000, ""},   // caps lock
        {0x800000, ""},  // function key
        {0x1FF, ""},     // device-dependent low bits
        {0x40000, control},
        {0x80000, option},
        {0x20000, shift},
        {0x100000, command},
        {0x120000, shift + command},
        {0x140000, control + command},
        {0x1E0000, control + option + shift + command},
        {~std::uint64_t{0}, control + option + shift + command},
        {~std::uint64_t{0x1E0000}, ""},
    };
    const KeyManager& keys = KeyManager::shared();
    for (const auto& c : cases) {
        EXPECT_EQ(keys.modifierSymbolsForFlags(c.flags), c.symbols) << std::hex << c.flags;
    }
}

}  // namespace
