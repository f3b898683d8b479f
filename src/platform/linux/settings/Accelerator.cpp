#include "platform/linux/settings/Accelerator.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>

#include "platform/linux/atspi/KeyCodes.h"

namespace kivora::linux_::settings {
namespace {

constexpr std::int64_t kShift = 0x20000;
constexpr std::int64_t kControl = 0x40000;
constexpr std::int64_t kOption = 0x80000;
constexpr std::int64_t kCommand = 0x100000;
constexpr std::int64_t kFunction = 0x800000;

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<std::int64_t> modifierFlag(std::string_view name) {
    constexpr std::pair<std::string_view, std::int64_t> kModifiers[] = {
        {"Primary", kCommand}, {"Control", kCommand}, {"Ctrl", kCommand}, {"Ctl", kCommand},
        {"Shift", kShift},     {"Shft", kShift},      {"Alt", kOption},   {"Mod1", kOption},
        {"Super", kControl},   {"Meta", kControl},    {"Mod4", kControl}, {"Hyper", kControl},
    };
    for (const auto& [modifier, flag] : kModifiers) {
        if (equalsIgnoringCase(name, modifier)) {
            return flag;
        }
    }
    return std::nullopt;
}

// Qt's names of keys whose X keysym names differ.
constexpr std::pair<std::string_view, std::string_view> kQtNames[] = {
    {"Space", "space"}, {"Esc", "Escape"},   {"PgUp", "Prior"},          {"PgDown", "Next"},
    {"Del", "Delete"},  {"Ins", "Insert"},   {"Backspace", "BackSpace"}, {"Enter", "KP_Enter"},
    {"Backtab", "Tab"}, {"SysReq", "Print"},
};

std::optional<atspi::Keysym> keysymForName(std::string_view name) {
    if (name.size() == 1) {
        const auto c = static_cast<unsigned char>(name[0]);
        if (c <= 0x20 || c >= 0x7F) {
            return std::nullopt;
        }
        return static_cast<atspi::Keysym>(std::tolower(c));  // Latin-1 keysyms are the code
    }
    if (name == "Above_Tab") {
        return XK_grave;  // the window manager's name for the key above Tab
    }
    for (const auto& [qt, x] : kQtNames) {
        if (equalsIgnoringCase(name, qt)) {
            name = x;
            break;
        }
    }
    // Needs no display: the names are compiled into the library.
    const KeySym keysym = XStringToKeysym(std::string(name).c_str());
    if (keysym == NoSymbol) {
        return std::nullopt;
    }
    KeySym lower = keysym;
    KeySym upper = keysym;
    XConvertCase(keysym, &lower, &upper);
    return static_cast<atspi::Keysym>(lower);
}

std::optional<HotKey> hotKeyFor(std::string_view key, std::int64_t flags) {
    const auto keysym = keysymForName(key);
    const auto keyCode = keysym ? atspi::keyCodeForKeysym(*keysym) : std::nullopt;
    if (!keyCode) {
        return std::nullopt;
    }
    HotKey hotKey;
    hotKey.keyCode = *keyCode;
    hotKey.flags = flags;
    if (*keysym > 0x20 && *keysym < 0x7F) {
        hotKey.character = *keysym;
    } else if (*keysym == XK_space) {
        hotKey.character = ' ';
    }
    // Stored hot keys carry the function-key bit on F-keys and arrows.
    if ((*keysym >= XK_F1 && *keysym <= XK_F35) || (*keysym >= XK_Left && *keysym <= XK_Down)) {
        hotKey.flags |= kFunction;
    }
    return hotKey;
}

// "<Mod><Mod>key"
std::optional<HotKey> parseGtk(std::string_view accel) {
    std::int64_t flags = 0;
    while (!accel.empty() && accel.front() == '<') {
        const auto close = accel.find('>');
        const auto flag = close == std::string_view::npos
                              ? std::nullopt
                              : modifierFlag(accel.substr(1, close - 1));
        if (!flag) {
            return std::nullopt;
        }
        flags |= *flag;
        accel.remove_prefix(close + 1);
    }
    return accel.empty() ? std::nullopt : hotKeyFor(accel, flags);
}

// "Mod+Mod+Key"; the key itself may be "+". Multi-chord sequences are not hot keys.
std::optional<HotKey> parseQt(std::string_view text) {
    if (text.find(", ") != std::string_view::npos) {
        return std::nullopt;
    }
    std::size_t keyStart = text.rfind('+');
    if (text.size() >= 2 && text.substr(text.size() - 2) == "++") {
        keyStart = text.size() - 2;
    }
    std::string_view key = text.substr(keyStart + 1);
    std::string_view modifiers = text.substr(0, keyStart);
    std::int64_t flags = 0;
    while (!modifiers.empty()) {
        const auto plus = modifiers.find('+');
        const auto flag = modifierFlag(modifiers.substr(0, plus));
        if (!flag) {
            return std::nullopt;
        }
        flags |= *flag;
        modifiers =
            plus == std::string_view::npos ? std::string_view{} : modifiers.substr(plus + 1);
    }
    return key.empty() ? std::nullopt : hotKeyFor(key, flags);
}

}  // namespace

std::optional<HotKey> parseAccelerator(std::string_view accelerator) {
    if (accelerator.empty() || accelerator.size() > 200 || accelerator == "disabled") {
        return std::nullopt;
    }
    if (accelerator.front() == '<') {
        return parseGtk(accelerator);
    }
    if (accelerator.size() > 1 && accelerator.find('+') != std::string_view::npos) {
        return parseQt(accelerator);
    }
    return hotKeyFor(accelerator, 0);
}

}  // namespace kivora::linux_::settings
