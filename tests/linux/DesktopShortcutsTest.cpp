// The desktop's own keyboard settings answering the symbolic hot keys: each store read from a
// temporary home, and the grammar of their accelerators.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <map>

#include "platform/PropertyList.h"
#include "platform/linux/FilePreferences.h"
#include "platform/linux/settings/Accelerator.h"
#include "platform/linux/settings/DesktopPreferences.h"
#include "platform/linux/settings/ShortcutStore.h"
#include "unit/PropertyListTestSupport.h"

namespace {

using namespace kivora;
using linux_::settings::DesktopKind;
using linux_::settings::DesktopPreferences;
using Keys = std::map<std::string, std::array<std::int64_t, 3>>;  // id → parameters

constexpr std::int64_t kShift = 0x20000, kCtl = 0x40000, kOpt = 0x80000, kCmd = 0x100000,
                       kFn = 0x800000;
constexpr const char* kXfcePath = "xfce4/xfconf/xfce-perchannel-xml/xfce4-keyboard-shortcuts.xml";

Keys summary(const std::optional<Value>& hotKeys) {
    Keys keys;
    if (!hotKeys || !hotKeys->isDictionary()) {
        return keys;
    }
    for (const auto& [id, entry] : hotKeys->asDictionary()) {
        EXPECT_EQ(*entry.find("enabled"), Value(true));
        EXPECT_EQ(*entry.find("value")->find("type"), Value("standard"));
        const Array& p = entry.find("value")->find("parameters")->asArray();
        keys[id] = {p.at(0).asInteger(), p.at(1).asInteger(), p.at(2).asInteger()};
    }
    return keys;
}

struct DesktopShortcuts : ::testing::Test {
    plisttest::TemporaryFolder home;
    linux_::FilePreferences user{home.path().string()};

    std::optional<Value> read(DesktopPreferences& preferences) {
        preferences.appSynchronize("com.apple.symbolichotkeys");
        return preferences.copyAppValue("AppleSymbolicHotKeys", "com.apple.symbolichotkeys");
    }
    std::optional<Value> read(DesktopKind desktop) {
        DesktopPreferences preferences(user, desktop, (home.path() / ".config").string());
        return read(preferences);
    }
};

TEST(Accelerator, GtkAndQtGrammarsGiveKeyCodeAndFlags) {
    using linux_::settings::parseAccelerator;
    const std::map<std::string, std::optional<std::array<std::int64_t, 3>>> cases = {
        {"<Super>Left", {{65535, 123, kCtl | kFn}}},
        {"<Primary><Alt>d", {{'d', 2, kCmd | kOpt}}},
        {"<Control><Shift>Print", {{65535, 105, kCmd | kShift}}},
        {"<Super>Above_Tab", {{'`', 50, kCtl}}},
        {"<Super>Page_Up", {{65535, 116, kCtl}}},
        {"<Shift><Super>space", {{' ', 49, kCtl | kShift}}},
        {"Meta+Ctrl+Right", {{65535, 124, kCtl | kCmd | kFn}}},
        {"Ctrl+F1", {{65535, 122, kCmd | kFn}}},
        {"Alt+Space", {{' ', 49, kOpt}}},
        {"Meta+W", {{'w', 13, kCtl}}},
        {"Print", {{65535, 105, 0}}},
        {"<Super>XF86Launch1", std::nullopt},
        {"XF86Keyboard", std::nullopt},
        {"<Super>", std::nullopt},
        {"<Mod3>a", std::nullopt},
        {"<Super", std::nullopt},
        {"Meta+Hyper2+a", std::nullopt},
        {"Ctrl+K, Ctrl+L", std::nullopt},
        {"disabled", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [text, expected] : cases) {
        const auto key = parseAccelerator(text);
        ASSERT_EQ(key.has_value(), expected.has_value()) << text;
        if (key) {
            EXPECT_EQ((std::array{key->character, key->keyCode, key->flags}), *expected) << text;
        }
    }
}

TEST_F(DesktopShortcuts, KdeGlobalShortcuts) {
    home.write(".config/kglobalshortcutsrc",
               "[kwin]\n"
               "Show Desktop=Meta+D,Meta+D,Peek at Desktop\n"
               "Switch One Desktop to the Left=Meta+Launch (1)\\tMeta+Ctrl+Left,none,Left\n"
               "Switch to Desktop 1=none,Ctrl+F1,Switch to Desktop 1\n"
               "Switch to Desktop 2=,Ctrl+F2,Switch to Desktop 2\n"
               "Overview=Meta+W,Meta+W,Toggle Overview\n"
               "[kwin][Effects]\n"
               "Switch to Desktop 3=Ctrl+F3,Ctrl+F3,in a subgroup\n"
               "not an entry\n"
               "[org.kde.krunner.desktop]\n"
               "_launch=Alt+Space\\tAlt+F2\\tSearch,Alt+Space,KRunner\n");
    EXPECT_EQ(summary(read(DesktopKind::kde)), (Keys{{"36", {'d', 2, kCtl}},
                                                     {"79", {65535, 123, kCtl | kCmd | kFn}},
                                                     {"32", {'w', 13, kCtl}},
                                                     {"64", {' ', 49, kOpt}}}));
}

TEST_F(DesktopShortcuts, XfceCustomReplacesDefaultAndCommandsMatchByOptions) {
    home.write(std::string(".config/") + kXfcePath, R"(<?xml version="1.0" encoding="UTF-8"?>
<channel name="xfce4-keyboard-shortcuts" version="1.0">
  <property name="commands" type="empty">
    <property name="default" type="empty">
      <property name="&lt;Alt&gt;F3" type="string" value="xfce4-appfinder"/>
    </property>
    <property name="custom" type="empty">
      <property name="&lt;Shift&gt;Print" type="string" value="xfce4-screenshooter -r"/>
      <property name="&lt;Primary&gt;&lt;Shift&gt;Print" type="string" value="/usr/bin/xfce4-screenshooter --region -c"/>
      <property name="Print" type="string" value="xfce4-screenshooter -fc"/>
      <property name="override" type="bool" value="true"/>
    </property>
  </property>
  <property name="xfwm4" type="empty">
    <property name="default" type="empty">
      <property name="&lt;Primary&gt;&lt;Alt&gt;d" type="string" value="show_desktop_key"/>
      <property name="&lt;Primary&gt;F1" type="string" value="workspace_1_key"/>
    </property>
  </property>
</channel>
)");
    EXPECT_EQ(summary(read(DesktopKind::xfce)), (Keys{{"30", {65535, 105, kShift}},
                                                      {"31", {65535, 105, kCmd | kShift}},
                                                      {"29", {65535, 105, 0}},
                                                      {"36", {'d', 2, kCmd | kOpt}},
                                                      {"118", {65535, 122, kCmd | kFn}}}));
}

TEST_F(DesktopShortcuts, GnomeSettingsThroughGSettings) {
    // GLib reads these once per process, at its first use.
    home.write(".config/glib-2.0/settings/keyfile",
               "[org/gnome/desktop/wm/keybindings]\n"
               "switch-to-workspace-left=['<Super>XF86Launch1', '<Control><Alt>Left']\n"
               "switch-to-workspace-1=@as []\n"
               "show-desktop=['disabled']\n"
               "switch-group=['<Super>Above_Tab']\n"
               "[org/gnome/shell/keybindings]\n"
               "toggle-overview=['<Super>s']\n");
    setenv("GSETTINGS_BACKEND", "keyfile", 1);
    setenv("GSETTINGS_SCHEMA_DIR", KIVORA_TEST_SCHEMA_DIR, 1);
    setenv("XDG_DATA_DIRS", home.path().c_str(), 1);  // no other schema than those
    setenv("XDG_CONFIG_HOME", (home.path() / ".config").c_str(), 1);
    const Keys keys = summary(read(DesktopKind::gnome));
    const Keys expected = {
        {"79", {65535, 123, kCmd | kOpt | kFn}},  // the first usable accelerator
        {"81", {65535, 121, kCtl}},               // a default of the installed schema
        {"27", {'`', 50, kCtl}},
        {"61", {' ', 49, kCtl}},
        {"60", {' ', 49, kCtl | kShift}},
        {"32", {'s', 1, kCtl}},
        {"64", {'s', 1, kCtl}},
        {"28", {65535, 105, kShift}},
        {"30", {65535, 105, 0}},
        {"160", {'a', 0, kCtl}},
        {"163", {'v', 9, kCtl}},
    };
    EXPECT_EQ(keys, expected);  // no 36, 118, nor the settings daemon's rows: not installed
}

TEST_F(DesktopShortcuts, UserFileWinsAndBadStoresGiveNothingWithOneDiagnostic) {
    home.write(".config/kglobalshortcutsrc", "[kwin]\nShow Desktop=Meta+D,Meta+D,x\n");
    const Dictionary mine{{"64", Dictionary{{"enabled", false}}}};
    home.write(
        "Library/Preferences/com.apple.symbolichotkeys.plist",
        plist::serialize(Dictionary{{"AppleSymbolicHotKeys", mine}}, plist::Format::xml).value());
    EXPECT_EQ(read(DesktopKind::kde), Value(mine));
    std::filesystem::remove(home.path() / "Library/Preferences/com.apple.symbolichotkeys.plist");

    const std::string big(linux_::settings::kMaxSettingsFileBytes + 1, 'a');
    const std::pair<DesktopKind, std::string> bad[] = {
        {DesktopKind::kde, std::string("[kwin]\nShow Desktop=Meta+D\0,x", 30)},
        {DesktopKind::kde, big},
        {DesktopKind::kde, "dir"},  // a folder where the file should be
        {DesktopKind::xfce, "<channel><property name='xfwm4'>"},
        {DesktopKind::xfce, "<!DOCTYPE x [<!ENTITY e SYSTEM 'file:///etc/passwd'>]><c>&e;</c>"},
        {DesktopKind::xfce, std::string(20, '<')},
    };
    for (const auto& [desktop, content] : bad) {
        const std::string file =
            ".config/" +
            std::string(desktop == DesktopKind::kde ? "kglobalshortcutsrc" : kXfcePath);
        std::filesystem::remove_all(home.path() / file);
        if (content == "dir") {
            std::filesystem::create_directories(home.path() / file);
        } else {
            home.write(file, content);
        }
        DesktopPreferences preferences(user, desktop, (home.path() / ".config").string());
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(read(preferences)) << content.substr(0, 40);
        EXPECT_FALSE(read(preferences));
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
    std::filesystem::remove_all(home.path() / ".config");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(read(DesktopKind::kde));  // no settings at all: silently nothing
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(DesktopShortcuts, DesktopFromEnvironmentThenFromFiles) {
    using linux_::settings::detectDesktop;
    const std::string config = (home.path() / ".config").string();
    EXPECT_EQ(detectDesktop("ubuntu:GNOME", config), DesktopKind::gnome);
    EXPECT_EQ(detectDesktop("KDE", config), DesktopKind::kde);
    EXPECT_EQ(detectDesktop("XFCE", config), DesktopKind::xfce);
    EXPECT_EQ(detectDesktop("", config), std::nullopt);
    home.write(std::string(".config/") + kXfcePath, "");
    EXPECT_EQ(detectDesktop("LXQt", config), std::nullopt);
    EXPECT_EQ(detectDesktop(nullptr, config), DesktopKind::xfce);
}

}  // namespace
