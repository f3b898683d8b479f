#include "platform/linux/settings/CounterpartTable.h"

namespace kivora::linux_::settings {
namespace {

constexpr std::string_view kWm = "org.gnome.desktop.wm.keybindings";
constexpr std::string_view kShell = "org.gnome.shell.keybindings";
constexpr std::string_view kMedia = "org.gnome.settings-daemon.plugins.media-keys";

constexpr Counterpart kGnome[] = {
    {160, kShell, "toggle-application-view"},
    {32, kShell, "toggle-overview"},
    {163, kShell, "toggle-message-tray"},
    {36, kWm, "show-desktop"},
    {79, kWm, "switch-to-workspace-left"},
    {81, kWm, "switch-to-workspace-right"},
    {118, kWm, "switch-to-workspace-1"},
    {119, kWm, "switch-to-workspace-2"},
    {120, kWm, "switch-to-workspace-3"},
    {121, kWm, "switch-to-workspace-4"},
    {27, kWm, "switch-group"},
    {60, kWm, "switch-input-source-backward"},
    {61, kWm, "switch-input-source"},
    // The shell took the screenshots over from the settings daemon in newer releases.
    {28, kShell, "screenshot"},
    {28, kMedia, "screenshot"},
    {29, kMedia, "screenshot-clip"},
    {30, kShell, "show-screenshot-ui"},
    {30, kMedia, "area-screenshot"},
    {31, kMedia, "area-screenshot-clip"},
    {64, kShell, "toggle-overview"},  // the overview opens with its search field focused
    {15, kMedia, "magnifier"},
    {19, kMedia, "magnifier-zoom-out"},
    {17, kMedia, "magnifier-zoom-in"},
    {59, kMedia, "screenreader"},
};

constexpr Counterpart kKde[] = {
    {175, "plasmashell", "toggle do not disturb"},
    {32, "kwin", "Overview"},
    {32, "kwin", "ExposeAll"},
    {33, "kwin", "ExposeClass"},
    {36, "kwin", "Show Desktop"},
    {79, "kwin", "Switch One Desktop to the Left"},
    {81, "kwin", "Switch One Desktop to the Right"},
    {118, "kwin", "Switch to Desktop 1"},
    {119, "kwin", "Switch to Desktop 2"},
    {120, "kwin", "Switch to Desktop 3"},
    {121, "kwin", "Switch to Desktop 4"},
    {27, "kwin", "Walk Through Windows of Current Application"},
    {61, "KDE Keyboard Layout Switcher", "Switch to Next Keyboard Layout"},
    {28, "org.kde.spectacle.desktop", "FullScreenScreenShot"},
    {30, "org.kde.spectacle.desktop", "RectangularRegionScreenShot"},
    {64, "org.kde.krunner.desktop", "_launch"},
    {64, "krunner.desktop", "_launch"},
    {19, "kwin", "view_zoom_out"},
    {17, "kwin", "view_zoom_in"},
    {21, "kwin", "Invert"},
    {59, "kaccess", "Toggle Screen Reader On and Off"},
};

constexpr Counterpart kXfce[] = {
    {36, "xfwm4", "show_desktop_key"},
    {79, "xfwm4", "left_workspace_key"},
    {81, "xfwm4", "right_workspace_key"},
    {118, "xfwm4", "workspace_1_key"},
    {119, "xfwm4", "workspace_2_key"},
    {120, "xfwm4", "workspace_3_key"},
    {121, "xfwm4", "workspace_4_key"},
    {27, "xfwm4", "switch_window_key"},
    {28, "commands", "xfce4-screenshooter -f !-c"},
    {29, "commands", "xfce4-screenshooter -f -c"},
    {30, "commands", "xfce4-screenshooter -r !-c"},
    {31, "commands", "xfce4-screenshooter -r -c"},
    {64, "commands", "xfce4-appfinder"},
};

}  // namespace

std::span<const Counterpart> counterpartsFor(DesktopKind desktop) {
    switch (desktop) {
        case DesktopKind::gnome:
            return kGnome;
        case DesktopKind::kde:
            return kKde;
        case DesktopKind::xfce:
            return kXfce;
    }
    return {};
}

}  // namespace kivora::linux_::settings
