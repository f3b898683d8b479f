#include "platform/linux/settings/DesktopPreferences.h"

#include <cstdlib>
#include <filesystem>

#include "platform/linux/Diagnostics.h"
#include "platform/linux/settings/Accelerator.h"
#include "platform/linux/settings/ShortcutStore.h"

namespace kivora::linux_::settings {
namespace {

constexpr std::string_view kDomain = "com.apple.symbolichotkeys";
constexpr std::string_view kHotKeysKey = "AppleSymbolicHotKeys";
constexpr const char* kKdeFile = "kglobalshortcutsrc";
constexpr const char* kXfceFile = "xfce4/xfconf/xfce-perchannel-xml/xfce4-keyboard-shortcuts.xml";

std::string configHomeFromEnvironment() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config != nullptr && config[0] == '/') {
        return config;
    }
    const char* home = std::getenv("HOME");
    return home != nullptr && home[0] == '/' ? std::string(home) + "/.config" : std::string();
}

bool fileExists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

Value hotKeyEntry(const HotKey& key) {
    return Dictionary{
        {"enabled", true},
        {"value", Dictionary{{"parameters", Array{key.character, key.keyCode, key.flags}},
                             {"type", "standard"}}}};
}

}  // namespace

std::optional<DesktopKind> detectDesktop(const char* currentDesktop,
                                         const std::string& configHome) {
    std::string_view names = currentDesktop != nullptr ? currentDesktop : "";
    while (!names.empty()) {
        const auto colon = names.find(':');
        const auto name = names.substr(0, colon);
        if (name == "GNOME") {
            return DesktopKind::gnome;
        }
        if (name == "KDE") {
            return DesktopKind::kde;
        }
        if (name == "XFCE") {
            return DesktopKind::xfce;
        }
        names = colon == std::string_view::npos ? std::string_view{} : names.substr(colon + 1);
    }
    if (currentDesktop == nullptr || currentDesktop[0] == '\0') {
        if (!configHome.empty() && fileExists(configHome + "/" + kKdeFile)) {
            return DesktopKind::kde;
        }
        if (!configHome.empty() && fileExists(configHome + "/" + kXfceFile)) {
            return DesktopKind::xfce;
        }
    }
    return std::nullopt;
}

std::optional<Dictionary> hotKeysFromStore(const ShortcutStore& store, DesktopKind desktop) {
    Dictionary hotKeys;
    for (const Counterpart& setting : counterpartsFor(desktop)) {
        const std::string id = std::to_string(setting.hotKeyID);
        if (hotKeys.count(id) != 0) {
            continue;  // an earlier setting already answered
        }
        for (const std::string& accelerator :
             store.accelerators(setting).value_or(std::vector<std::string>{})) {
            if (const auto key = parseAccelerator(accelerator)) {
                hotKeys.emplace(id, hotKeyEntry(*key));
                break;
            }
        }
    }
    return hotKeys.empty() ? std::nullopt : std::optional<Dictionary>(std::move(hotKeys));
}

DesktopPreferences::DesktopPreferences(Preferences& user)
    : DesktopPreferences(
          user, detectDesktop(std::getenv("XDG_CURRENT_DESKTOP"), configHomeFromEnvironment()),
          configHomeFromEnvironment()) {}

DesktopPreferences::DesktopPreferences(Preferences& user, std::optional<DesktopKind> desktop,
                                       std::string configHome)
    : user_(user), desktop_(desktop), configHome_(std::move(configHome)) {}

bool DesktopPreferences::appSynchronize(std::string_view applicationID) {
    if (applicationID == kDomain) {
        desktopHotKeys_.reset();
    }
    return user_.appSynchronize(applicationID);
}

std::optional<Value> DesktopPreferences::copyAppValue(std::string_view key,
                                                      std::string_view applicationID) {
    std::optional<Value> value = user_.copyAppValue(key, applicationID);
    if (value || !desktop_ || applicationID != kDomain || key != kHotKeysKey) {
        return value;
    }
    if (!desktopHotKeys_) {
        desktopHotKeys_ = readDesktop();
    }
    return *desktopHotKeys_;
}

std::optional<Value> DesktopPreferences::readDesktop() {
    if (configHome_.empty() && *desktop_ != DesktopKind::gnome) {
        return std::nullopt;
    }
    OpenedStore opened;
    switch (*desktop_) {
        case DesktopKind::gnome:
            opened = openGnomeStore();
            break;
        case DesktopKind::kde:
            opened = openKdeStore(configHome_ + "/" + kKdeFile);
            break;
        case DesktopKind::xfce:
            opened = openXfceStore(configHome_ + "/" + kXfceFile);
            break;
    }
    bool& reported = reported_[static_cast<std::size_t>(*desktop_)];
    if (!opened.store) {
        if (!opened.problem.empty() && !reported) {
            writeDiagnostic("desktop shortcuts: " + quoteForDiagnostic(opened.problem, 200));
        }
        reported = reported || !opened.problem.empty();
        return std::nullopt;
    }
    reported = false;
    auto hotKeys = hotKeysFromStore(*opened.store, *desktop_);
    return hotKeys ? std::optional<Value>(std::move(*hotKeys)) : std::nullopt;
}

}  // namespace kivora::linux_::settings
