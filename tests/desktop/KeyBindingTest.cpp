// The two key-binding grammars (GTK accelerators, Qt key sequences) and the key-code table.
#include <gtest/gtest.h>

#include <X11/keysym.h>

#include "platform/linux/atspi/KeyBinding.h"
#include "platform/linux/atspi/KeyCodes.h"

namespace kivora::linux_::atspi {
namespace {

struct Expected {
    const char* binding;
    std::int64_t modifiers;
    const char* character;  // null: none
    std::int64_t glyph;     // -1: none
};

void expectShortcut(const Expected& e) {
    SCOPED_TRACE(e.binding);
    auto shortcut = parseKeyBinding(e.binding);
    ASSERT_TRUE(shortcut.has_value());
    EXPECT_EQ(shortcut->modifiers, e.modifiers);
    if (e.character != nullptr) {
        EXPECT_EQ(shortcut->character, std::optional<std::string>(e.character));
    } else {
        EXPECT_FALSE(shortcut->character.has_value());
    }
    if (e.glyph >= 0) {
        EXPECT_EQ(shortcut->glyph, std::optional<std::int64_t>(e.glyph));
    } else {
        EXPECT_FALSE(shortcut->glyph.has_value());
    }
}

TEST(KeyBindingTest, GtkAcceleratorsMapPrimaryToCommandAndUpperCaseTheKey) {
    for (const Expected& e : std::initializer_list<Expected>{
             {";;<Primary>n", 0, "N", -1},
             {";;<Primary><Shift>z", 1, "Z", -1},
             {"_F;<Actions>/File/Save;<Control><Alt>s", 2, "S", -1},
             {";;<Primary><Super>q", 4, "Q", -1},
             {";;<Ctrl><Shift><Alt><Meta>k", 7, "K", -1},
             {";;<primary>1", 0, "1", -1},
             {";;<Shift>Tab", 9, nullptr, 0x02},
             {";;<Alt>Left", 10, nullptr, 0x64},
         }) {
        expectShortcut(e);
    }
}

TEST(KeyBindingTest, NamedPunctuationBecomesItsCharacterOtherNamedKeysAGlyph) {
    for (const Expected& e : std::initializer_list<Expected>{
             {";;<Primary>plus", 0, "+", -1},
             {";;<Primary>minus", 0, "-", -1},
             {";;<Primary>comma", 0, ",", -1},
             {";;<Primary>KP_Add", 0, "+", -1},
             {";;F11", 8, nullptr, 0x79},
             {";;F1", 8, nullptr, 111},
             {";;<Primary>Page_Down", 0, nullptr, 0x6B},
             {";;<Primary>Return", 0, nullptr, 0x0B},
             {";;Escape", 8, nullptr, 0x1B},
             {";;<Primary>space", 0, nullptr, 0x09},
             {";;<Primary>BackSpace", 0, nullptr, 0x17},
             {";;Delete", 8, nullptr, 0x0A},
         }) {
        expectShortcut(e);
    }
}

TEST(KeyBindingTest, QtSequencesIncludingThePlusKey) {
    for (const Expected& e : std::initializer_list<Expected>{
             {"Ctrl+N", 0, "N", -1},
             {"Ctrl+Shift+Z", 1, "Z", -1},
             {"Ctrl++", 0, "+", -1},
             {"Ctrl+Shift++", 1, "+", -1},
             {"+", 8, "+", -1},
             {"Ctrl+-", 0, "-", -1},
             {"Ctrl+;", 0, ";", -1},
             {"F11", 8, nullptr, 0x79},
             {"Ctrl+PgDown", 0, nullptr, 0x6B},
             {"Alt+Left", 10, nullptr, 0x64},
             {"Meta+Ctrl+A", 4, "A", -1},
             {"Ctrl+Alt+Del", 2, nullptr, 0x0A},
         }) {
        expectShortcut(e);
    }
}

TEST(KeyBindingTest, NoShortcutForEmptyUnknownOrMultiChordBindings) {
    for (const char* binding : {"", ";;", "_N;;", ";;<Primary>", ";;<Bogus>x", ";;<Primary>Insert",
                                ";;<Primary", "Ctrl+K, Ctrl+C", "Ctrl+", "Foo+X", "Ctrl+Insert",
                                "F35", ";;<Primary>odiaeresis", "Ctrl+\xC3\xB6"}) {
        SCOPED_TRACE(binding);
        EXPECT_FALSE(parseKeyBinding(binding).has_value());
    }
}

TEST(KeyCodeTableTest, PositionalUsKeysymsForLettersDigitsPunctuationAndNamedKeys) {
    const std::pair<std::uint16_t, Keysym> expected[] = {
        {0, XK_a},
        {1, XK_s},
        {6, XK_z},
        {12, XK_q},
        {18, XK_1},
        {22, XK_6},
        {23, XK_5},
        {24, XK_equal},
        {27, XK_minus},
        {29, XK_0},
        {30, XK_bracketright},
        {36, XK_Return},
        {42, XK_backslash},
        {48, XK_Tab},
        {49, XK_space},
        {50, XK_grave},
        {51, XK_BackSpace},
        {53, XK_Escape},
        {55, XK_Control_L},
        {59, XK_Super_L},
        {76, XK_KP_Enter},
        {82, XK_KP_0},
        {92, XK_KP_9},
        {96, XK_F5},
        {99, XK_F3},
        {103, XK_F11},
        {111, XK_F12},
        {117, XK_Delete},
        {118, XK_F4},
        {122, XK_F1},
        {123, XK_Left},
        {124, XK_Right},
        {125, XK_Down},
        {126, XK_Up},
    };
    for (const auto& [code, keysym] : expected) {
        SCOPED_TRACE(code);
        EXPECT_EQ(keysymForKeyCode(code), std::optional<Keysym>(keysym));
    }
    for (std::uint16_t code : {10, 63, 66, 93, 102, 127, 300, 65535}) {
        SCOPED_TRACE(code);
        EXPECT_FALSE(keysymForKeyCode(code).has_value());
    }
}

TEST(KeyCodeTableTest, FlagsPressModifierKeysAndIgnoreOtherBits) {
    EXPECT_TRUE(modifierKeysymsForFlags(0).empty());
    EXPECT_TRUE(modifierKeysymsForFlags(0x800000 | 0x10000 | 0x100).empty());
    EXPECT_EQ(modifierKeysymsForFlags(0x100000), std::vector<Keysym>{XK_Control_L});
    EXPECT_EQ(modifierKeysymsForFlags(0x1E0000),
              (std::vector<Keysym>{XK_Super_L, XK_Alt_L, XK_Shift_L, XK_Control_L}));
    EXPECT_EQ(modifierKeysymsForFlags(0x120000 | 0x800000),
              (std::vector<Keysym>{XK_Shift_L, XK_Control_L}));
}

}  // namespace
}  // namespace kivora::linux_::atspi
