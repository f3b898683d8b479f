#include "platform/linux/atspi/KeyCodes.h"

#define XK_MISCELLANY
#define XK_LATIN1
#define XK_XKB_KEYS
#include <X11/keysymdef.h>

#include <algorithm>
#include <array>

namespace kivora::linux_::atspi {
namespace {

// Volume keys, from the vendor keysym range (XF86AudioRaiseVolume and friends).
constexpr Keysym kAudioRaiseVolume = 0x1008FF13;
constexpr Keysym kAudioLowerVolume = 0x1008FF11;
constexpr Keysym kAudioMute = 0x1008FF12;

// Indexed by virtual key code 0…126; 0 = no key. Positions follow a US (ANSI) keyboard; the
// Help key sits where PC keyboards have Insert, the keypad Clear key where they have Num Lock.
constexpr std::array<Keysym, 127> kKeysyms = {
    XK_a,
    XK_s,
    XK_d,
    XK_f,
    XK_h,
    XK_g,
    XK_z,
    XK_x,
    XK_c,
    XK_v,  // 0–9
    0,
    XK_b,
    XK_q,
    XK_w,
    XK_e,
    XK_r,
    XK_y,
    XK_t,
    XK_1,
    XK_2,  // 10–19
    XK_3,
    XK_4,
    XK_6,
    XK_5,
    XK_equal,
    XK_9,
    XK_7,
    XK_minus,
    XK_8,
    XK_0,  // 20–29
    XK_bracketright,
    XK_o,
    XK_u,
    XK_bracketleft,
    XK_i,
    XK_p,
    XK_Return,
    XK_l,
    XK_j,           // 30–38
    XK_apostrophe,  // 39
    XK_k,
    XK_semicolon,
    XK_backslash,
    XK_comma,
    XK_slash,
    XK_n,
    XK_m,
    XK_period,  // 40–47
    XK_Tab,
    XK_space,  // 48–49
    XK_grave,
    XK_BackSpace,
    XK_KP_Enter,
    XK_Escape,
    XK_Control_R,
    XK_Control_L,  // 50–55
    XK_Shift_L,
    XK_Caps_Lock,
    XK_Alt_L,
    XK_Super_L,  // 56–59
    XK_Shift_R,
    XK_Alt_R,
    XK_Super_R,
    0,
    XK_F17,
    XK_KP_Decimal,
    0,
    XK_KP_Multiply,  // 60–67
    0,
    XK_KP_Add,
    0,
    XK_Num_Lock,
    kAudioRaiseVolume,
    kAudioLowerVolume,
    kAudioMute,  // 68–74
    XK_KP_Divide,
    XK_KP_Enter,
    0,
    XK_KP_Subtract,
    XK_F18,
    XK_F19,
    XK_KP_Equal,  // 75–81
    XK_KP_0,
    XK_KP_1,
    XK_KP_2,
    XK_KP_3,
    XK_KP_4,
    XK_KP_5,
    XK_KP_6,
    XK_KP_7,  // 82–89
    XK_F20,
    XK_KP_8,
    XK_KP_9,
    0,
    0,
    0,  // 90–95
    XK_F5,
    XK_F6,
    XK_F7,
    XK_F3,
    XK_F8,
    XK_F9,
    0,
    XK_F11,
    0,
    XK_Print,  // 96–105: Print Screen where Apple keyboards have F13
    XK_F16,
    XK_F14,
    0,
    XK_F10,
    0,
    XK_F12,
    0,
    XK_F15,
    XK_Insert,
    XK_Home,  // 106–115
    XK_Prior,
    XK_Delete,
    XK_F4,
    XK_End,
    XK_F2,
    XK_Next,
    XK_F1,
    XK_Left,
    XK_Right,  // 116–124
    XK_Down,
    XK_Up,  // 125–126
};

}  // namespace

std::optional<Keysym> keysymForKeyCode(std::uint16_t keyCode) {
    if (keyCode >= kKeysyms.size() || kKeysyms[keyCode] == 0) {
        return std::nullopt;
    }
    return kKeysyms[keyCode];
}

std::optional<std::uint16_t> keyCodeForKeysym(Keysym keysym) {
    if (keysym == 0) {
        return std::nullopt;
    }
    const auto* it = std::find(kKeysyms.begin(), kKeysyms.end(), keysym);
    if (it == kKeysyms.end()) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(it - kKeysyms.begin());
}

std::vector<Keysym> modifierKeysymsForFlags(std::uint64_t flags) {
    std::vector<Keysym> keys;
    if ((flags & 0x40000) != 0) {
        keys.push_back(XK_Super_L);
    }
    if ((flags & 0x80000) != 0) {
        keys.push_back(XK_Alt_L);
    }
    if ((flags & 0x20000) != 0) {
        keys.push_back(XK_Shift_L);
    }
    if ((flags & 0x100000) != 0) {
        keys.push_back(XK_Control_L);
    }
    return keys;
}

}  // namespace kivora::linux_::atspi
