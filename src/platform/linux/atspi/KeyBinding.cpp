#include "platform/linux/atspi/KeyBinding.h"

#include <algorithm>
#include <cctype>
#include <utility>
#include <vector>

namespace kivora::linux_::atspi {
namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Named keys and the menu glyph numbers the platform draws for them. Keysym names (GTK) and
// Qt key names share one table; lookups ignore letter case.
constexpr std::pair<std::string_view, std::int64_t> kGlyphs[] = {
    {"Tab", 0x02},       {"ISO_Left_Tab", 0x03}, {"Backtab", 0x03},   {"KP_Enter", 0x04},
    {"Enter", 0x04},     {"space", 0x09},        {"Delete", 0x0A},    {"Del", 0x0A},
    {"KP_Delete", 0x0A}, {"Return", 0x0B},       {"BackSpace", 0x17}, {"Escape", 0x1B},
    {"Esc", 0x1B},       {"Clear", 0x1C},        {"Page_Up", 0x62},   {"Prior", 0x62},
    {"PgUp", 0x62},      {"Left", 0x64},         {"Right", 0x65},     {"Home", 0x66},
    {"Help", 0x67},      {"Up", 0x68},           {"End", 0x69},       {"Down", 0x6A},
    {"Page_Down", 0x6B}, {"Next", 0x6B},         {"PgDown", 0x6B},    {"F1", 0x6F},
    {"F2", 0x70},        {"F3", 0x71},           {"F4", 0x72},        {"F5", 0x73},
    {"F6", 0x74},        {"F7", 0x75},           {"F8", 0x76},        {"F9", 0x77},
    {"F10", 0x78},       {"F11", 0x79},          {"F12", 0x7A},       {"F13", 0x87},
    {"F14", 0x88},       {"F15", 0x89},          {"F16", 0x8F},       {"F17", 0x90},
    {"F18", 0x91},       {"F19", 0x92},
};

// Keysym names of punctuation and keypad keys that stand for one character.
constexpr std::pair<std::string_view, std::string_view> kCharacters[] = {
    {"plus", "+"},       {"minus", "-"},       {"comma", ","},        {"period", "."},
    {"slash", "/"},      {"backslash", "\\"},  {"semicolon", ";"},    {"apostrophe", "'"},
    {"grave", "`"},      {"bracketleft", "["}, {"bracketright", "]"}, {"equal", "="},
    {"asterisk", "*"},   {"numbersign", "#"},  {"exclam", "!"},       {"at", "@"},
    {"dollar", "$"},     {"percent", "%"},     {"asciicircum", "^"},  {"ampersand", "&"},
    {"parenleft", "("},  {"parenright", ")"},  {"underscore", "_"},   {"colon", ":"},
    {"question", "?"},   {"less", "<"},        {"greater", ">"},      {"quotedbl", "\""},
    {"bar", "|"},        {"braceleft", "{"},   {"braceright", "}"},   {"asciitilde", "~"},
    {"KP_Add", "+"},     {"KP_Subtract", "-"}, {"KP_Multiply", "*"},  {"KP_Divide", "/"},
    {"KP_Decimal", "."}, {"KP_Equal", "="},    {"KP_0", "0"},         {"KP_1", "1"},
    {"KP_2", "2"},       {"KP_3", "3"},        {"KP_4", "4"},         {"KP_5", "5"},
    {"KP_6", "6"},       {"KP_7", "7"},        {"KP_8", "8"},         {"KP_9", "9"},
};

// A key name turned into the character or glyph of a menu shortcut; false when unknown.
bool applyKey(std::string_view key, MenuShortcut& shortcut) {
    if (key.size() == 1) {
        const auto c = static_cast<unsigned char>(key[0]);
        if (c <= 0x20 || c >= 0x7F) {
            return false;
        }
        shortcut.character = std::string(1, static_cast<char>(std::toupper(c)));
        return true;
    }
    for (const auto& [name, character] : kCharacters) {
        if (name == key) {
            shortcut.character = std::string(character);
            return true;
        }
    }
    if (auto glyph = menuGlyphForKeyName(key)) {
        shortcut.glyph = glyph;
        return true;
    }
    return false;
}

// One modifier name (GTK tag content or Qt prefix); false when unknown.
bool applyModifier(std::string_view name, MenuShortcut& shortcut, bool& command) {
    if (equalsIgnoringCase(name, "Primary") || equalsIgnoringCase(name, "Control") ||
        equalsIgnoringCase(name, "Ctrl") || equalsIgnoringCase(name, "Ctl")) {
        command = true;
    } else if (equalsIgnoringCase(name, "Shift") || equalsIgnoringCase(name, "Shft")) {
        shortcut.modifiers |= kMenuModifierShift;
    } else if (equalsIgnoringCase(name, "Alt") || equalsIgnoringCase(name, "Mod1")) {
        shortcut.modifiers |= kMenuModifierOption;
    } else if (equalsIgnoringCase(name, "Super") || equalsIgnoringCase(name, "Meta") ||
               equalsIgnoringCase(name, "Hyper") || equalsIgnoringCase(name, "Mod4")) {
        shortcut.modifiers |= kMenuModifierControl;
    } else if (!equalsIgnoringCase(name, "Release")) {
        return false;
    }
    return true;
}

std::optional<MenuShortcut> finish(MenuShortcut shortcut, bool command) {
    shortcut.modifiers &= ~kMenuModifierNoCommand;
    if (!command) {
        shortcut.modifiers |= kMenuModifierNoCommand;
    }
    return shortcut;
}

// GTK accelerator: any number of "<Modifier>" tags, then a keysym name.
std::optional<MenuShortcut> parseGtkAccelerator(std::string_view accel) {
    MenuShortcut shortcut;
    shortcut.modifiers = 0;
    bool command = false;
    while (!accel.empty() && accel.front() == '<') {
        const auto close = accel.find('>');
        if (close == std::string_view::npos ||
            !applyModifier(accel.substr(1, close - 1), shortcut, command)) {
            return std::nullopt;
        }
        accel.remove_prefix(close + 1);
    }
    if (accel.empty() || !applyKey(accel, shortcut)) {
        return std::nullopt;
    }
    return finish(shortcut, command);
}

// Qt key sequence text: "Modifier+…+Key"; the key itself may be "+". Multi-chord sequences
// ("Ctrl+K, Ctrl+C") have no menu equivalent.
std::optional<MenuShortcut> parseQtSequence(std::string_view text) {
    if (text.find(", ") != std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view key;
    std::string_view modifiers;
    if (text == "+") {
        key = text;
    } else if (text.size() >= 2 && text.substr(text.size() - 2) == "++") {
        key = text.substr(text.size() - 1);
        modifiers = text.substr(0, text.size() - 2);
    } else {
        const auto plus = text.rfind('+');
        if (plus == std::string_view::npos) {
            key = text;
        } else {
            key = text.substr(plus + 1);
            modifiers = text.substr(0, plus);
        }
    }
    MenuShortcut shortcut;
    shortcut.modifiers = 0;
    bool command = false;
    while (!modifiers.empty()) {
        const auto plus = modifiers.find('+');
        const auto name = modifiers.substr(0, plus);
        if (!applyModifier(name, shortcut, command)) {
            return std::nullopt;
        }
        modifiers =
            plus == std::string_view::npos ? std::string_view{} : modifiers.substr(plus + 1);
    }
    if (key.empty() || !applyKey(key, shortcut)) {
        return std::nullopt;
    }
    return finish(shortcut, command);
}

}  // namespace

std::optional<std::int64_t> menuGlyphForKeyName(std::string_view name) {
    for (const auto& [key, glyph] : kGlyphs) {
        if (equalsIgnoringCase(key, name)) {
            return glyph;
        }
    }
    return std::nullopt;
}

std::optional<MenuShortcut> parseKeyBinding(std::string_view binding) {
    if (std::count(binding.begin(), binding.end(), ';') >= 2) {
        // GTK: the accelerator is the last field; the mnemonic and the path are not shortcuts.
        // (A Qt binding holds a semicolon only as its key, "Ctrl+;".)
        const auto accel = binding.substr(binding.rfind(';') + 1);
        return accel.empty() ? std::nullopt : parseGtkAccelerator(accel);
    }
    if (binding.empty()) {
        return std::nullopt;
    }
    if (binding.front() == '<') {
        return parseGtkAccelerator(binding);
    }
    return parseQtSequence(binding);
}

}  // namespace kivora::linux_::atspi
