#pragma once
// Preferences that answer the symbolic hot keys from the running desktop's own keyboard
// settings (GNOME, KDE Plasma, Xfce) when the user's preferences hold none.

#include <array>
#include <optional>
#include <string>

#include "messaging/Value.h"
#include "platform/Preferences.h"
#include "platform/linux/settings/CounterpartTable.h"

namespace kivora::linux_::settings {

// The desktop from $XDG_CURRENT_DESKTOP (a colon-separated list), else from the settings files
// under `configHome`; none for any other desktop.
std::optional<DesktopKind> detectDesktop(const char* currentDesktop, const std::string& configHome);

// The hot keys that a desktop's store holds, shaped as the preferences would hold them
// (id → enabled, value.parameters = [character, key code, flags], type "standard"); none
// when the store holds no counterpart at all.
class ShortcutStore;
std::optional<Dictionary> hotKeysFromStore(const ShortcutStore& store, DesktopKind desktop);

class DesktopPreferences : public Preferences {
public:
    // `user` is asked first. The desktop and its files are found from the environment.
    explicit DesktopPreferences(Preferences& user);
    DesktopPreferences(Preferences& user, std::optional<DesktopKind> desktop,
                       std::string configHome);

    bool appSynchronize(std::string_view applicationID) override;
    std::optional<Value> copyAppValue(std::string_view key,
                                      std::string_view applicationID) override;

private:
    std::optional<Value> readDesktop();

    Preferences& user_;
    std::optional<DesktopKind> desktop_;
    std::string configHome_;
    std::optional<std::optional<Value>> desktopHotKeys_;  // as of the last synchronize
    std::array<bool, 3> reported_{};  // one diagnostic per source until it reads again
};

}  // namespace kivora::linux_::settings
