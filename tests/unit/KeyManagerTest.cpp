#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "keys/KeyManager.h"

namespace {

using kivora::KeyManager;

// Rows chosen where a table is easy to get wrong: the neighbours swapped on the layout (5/6,
// 7/8), the gaps, the three return keys, the keypad twins and the edges of the range.
TEST(KeyManager, NamesOfChosenCodesAndEveryGap) {
    const KeyManager& keys = KeyManager::shared();
    const std::pair<std::int64_t, std::string> rows[] = {
        {-1, "nil"},    {0, "A"},       {22, "6"},       {23, "5"},      {26, "7"},
        {28, "8"},      {36, "\u21A9"}, {52, "\u21A9"},  {76, "\u21A9"}, {42, "\\"},
        {48, "\u21E5"}, {49, "SPACE"},  {50, "`"},       {51, "\u232B"}, {53, "\u238B"},
        {65, "."},      {71, "CLEAR"},  {81, "="},       {89, "7"},      {92, "9"},
        {99, "F3"},     {114, "HELP"},  {117, "DELETE"}, {122, "F1"},    {126, "\u2191"},
    };
    for (const auto& [code, name] : rows) {
        EXPECT_EQ(keys.keyNameForKeyCode(code), name) << code;
    }
    int named = 0;
    for (std::int64_t code = -2; code <= 127; ++code) {
        named += keys.keyNameForKeyCode(code) != "??";
    }
    EXPECT_EQ(named, 97);
    for (std::int64_t code : {-2L, 10L, 90L, 127L, 65536L, std::numeric_limits<std::int64_t>::min(),
                              std::numeric_limits<std::int64_t>::max()}) {
        EXPECT_EQ(keys.keyNameForKeyCode(code), "??") << code;
    }
}

// Names turn back into main-keyboard codes only (0...53 without 10; "↩" is 52).
TEST(KeyManager, CodesOfNamesRoundTripOnTheMainKeyboardOnly) {
    const KeyManager& keys = KeyManager::shared();
    std::set<std::string> mainNames;
    for (std::int64_t code = 0; code <= 53; ++code) {
        const std::string& name = keys.keyNameForKeyCode(code);
        mainNames.insert(name);
        EXPECT_EQ(keys.keyCodeForKeyName(name), code == 10   ? std::nullopt
                                                : code == 36 ? std::optional<std::int64_t>(52)
                                                             : std::optional(code))
            << name;
    }
    EXPECT_EQ(mainNames.size(), 53u);  // 52 names and "??"
    for (std::int64_t code = 54; code <= 127; ++code) {
        const std::string& name = keys.keyNameForKeyCode(code);
        if (!mainNames.contains(name)) {
            EXPECT_EQ(keys.keyCodeForKeyName(name), std::nullopt) << name;
        }
    }
    EXPECT_EQ(keys.keyCodeForKeyName("nil"), std::nullopt);

    // Exact in case and spacing, but canonically equivalent spellings match.
    for (const std::string& name : std::vector<std::string>{
             "a", "space", "", " A", "A ", "AA", "F1", std::string("A\0", 2),
             std::string("\u21A9\u0301"), std::string("\xFF"), std::string("\u00C5")}) {
        EXPECT_EQ(keys.keyCodeForKeyName(name), std::nullopt) << name;
    }
    EXPECT_EQ(keys.keyCodeForKeyName("\u212A"), 40);  // KELVIN SIGN is K
    EXPECT_EQ(keys.keyCodeForKeyName("\u037E"), 41);  // GREEK QUESTION MARK is ;
    EXPECT_EQ(keys.keyCodeForKeyName("\u1FEF"), 50);  // GREEK VARIA is `
}

TEST(KeyManager, ModifiersControlOptionShiftCommandInThatOrderOtherBitsIgnored) {
    const std::string ctl = "\u2303", opt = "\u2325", shift = "\u21E7", cmd = "\u2318";
    // Only the four modifier bits count, whatever else is set.
    const std::pair<std::uint64_t, std::string> rows[] = {
        {0x140000, ctl + cmd},
        {~std::uint64_t{0}, ctl + opt + shift + cmd},
        {~std::uint64_t{0x1E0000}, ""}};
    for (const auto& [flags, symbols] : rows) {
        EXPECT_EQ(KeyManager::shared().modifierSymbolsForFlags(flags), symbols)
            << std::hex << flags;
    }
}

}  // namespace
