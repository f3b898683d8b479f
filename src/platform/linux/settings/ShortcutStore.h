#pragma once
// A desktop's keyboard-shortcut settings, read once, asked setting by setting.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/linux/settings/CounterpartTable.h"

namespace kivora::linux_::settings {

class ShortcutStore {
public:
    virtual ~ShortcutStore() = default;
    // The accelerators of a setting in the store's order; none when the store lacks it.
    virtual std::optional<std::vector<std::string>> accelerators(
        const Counterpart& setting) const = 0;
};

// What opening a store gave: the store, or none with `problem` set when it could not be read
// (empty when there is simply nothing to read).
struct OpenedStore {
    std::unique_ptr<ShortcutStore> store;
    std::string problem;
};

// Settings files larger than this are refused rather than read.
inline constexpr std::size_t kMaxSettingsFileBytes = 1 << 20;

// GSettings, through the schemas and backend of the session.
OpenedStore openGnomeStore();
// `path`: kglobalshortcutsrc.
OpenedStore openKdeStore(const std::string& path);
// `path`: xfce4-keyboard-shortcuts.xml.
OpenedStore openXfceStore(const std::string& path);

// The file's bytes, or none with `problem` set (left empty for a missing file).
std::optional<std::string> readSettingsFile(const std::string& path, std::string& problem);

}  // namespace kivora::linux_::settings
