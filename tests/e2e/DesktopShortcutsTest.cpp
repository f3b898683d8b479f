// kivoractl system against a helper whose user has no hot-key preferences but a desktop with
// keyboard settings of its own.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/support/E2e.h"

namespace kivora::e2e {
namespace {

struct DesktopHome {
    const char* desktop;
    const char* file;  // under the home
    const char* content;
    const char* expected;  // a line fragment of the sheet, blanks collapsed
};

TEST(DesktopShortcuts, SystemSheetShowsTheDesktopsShortcuts) {
    const DesktopHome homes[] = {
        {"KDE", ".config/kglobalshortcutsrc",
         "[kwin]\nSwitch One Desktop to the Left=Meta+Ctrl+Left,Meta+Ctrl+Left,Left\n",
         "Move left a space ⌃⌘← key 123 9699328"},
        {"XFCE", ".config/xfce4/xfconf/xfce-perchannel-xml/xfce4-keyboard-shortcuts.xml",
         "<channel name='xfce4-keyboard-shortcuts'><property name='xfwm4'><property "
         "name='default'><property name='&lt;Primary&gt;&lt;Alt&gt;d' type='string' "
         "value='show_desktop_key'/></property></property></channel>",
         "Show Desktop ⌥⌘D key 2 1572864"},
        {"ubuntu:GNOME", ".config/glib-2.0/settings/keyfile",
         "[org/gnome/shell/keybindings]\nscreenshot=['<Alt>Print']\n",
         "Save picture of screen as file ⌥F13 key 105 524288"},
    };
    for (const DesktopHome& home : homes) {
        PrivateBus bus;
        TempDir files;
        files.write(std::string("home/") + home.file, home.content);
        const std::string root = files.file("home");
        auto helper =
            startHelper(bus, HelperOptions{{"--desktop", demoDesktop()},
                                           root,
                                           {{"XDG_CURRENT_DESKTOP", home.desktop},
                                            {"XDG_CONFIG_HOME", std::nullopt},
                                            {"GSETTINGS_BACKEND", "keyfile"},
                                            {"GSETTINGS_SCHEMA_DIR", KIVORA_TEST_SCHEMA_DIR},
                                            {"XDG_DATA_DIRS", root}}});
        ASSERT_TRUE(helper);
        const auto system = runKivoractl(bus, {"system"});
        ASSERT_TRUE(system.status.exitedWith(0)) << home.desktop;
        std::string sheet;
        for (const auto& line : system.out) {
            for (char c : line) {
                if (c != ' ' || sheet.empty() || sheet.back() != ' ') {
                    sheet += c;
                }
            }
            sheet += "\n";
        }
        EXPECT_NE(sheet.find(home.expected), std::string::npos) << home.desktop << "\n" << sheet;
    }
}

}  // namespace
}  // namespace kivora::e2e
