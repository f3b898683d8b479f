#pragma once
// Which setting of each desktop's keyboard settings does what a symbolic hot key does.

#include <span>
#include <string_view>

namespace kivora::linux_::settings {

enum class DesktopKind { gnome, kde, xfce };

struct Counterpart {
    int hotKeyID;  // the symbolic hot key's number
    // GNOME: schema and key. KDE: group and key of kglobalshortcutsrc. Xfce: "xfwm4" and the
    // window manager's action, or "commands" and a command pattern (see XfceShortcuts.h).
    std::string_view group;
    std::string_view name;
};

// A desktop's counterparts; for one hot key, the first setting that the store has wins.
std::span<const Counterpart> counterpartsFor(DesktopKind desktop);

}  // namespace kivora::linux_::settings
