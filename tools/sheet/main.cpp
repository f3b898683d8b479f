// kivora-sheet: the shortcuts of the last application in a window. One instance per session:
// launching it again refreshes and raises the open sheet, or closes it with --toggle.
#include <giomm/settings.h>
#include <giomm/settingsschemasource.h>
#include <glib.h>
#include <gtkmm/application.h>
#include <gtkmm/settings.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string_view>

#include "messaging/NotificationNames.h"
#include "sheet/SheetController.h"
#include "sheet/SheetTiming.h"
#include "sheet/SheetWindow.h"

namespace {

constexpr const char* kUsage =
    "Usage: kivora-sheet [--toggle]\n"
    "\n"
    "Shows the keyboard shortcuts of the application you used last, read by the KivoraData\n"
    "helper: its menus, and the system shortcuts. Type to search; Enter or a click runs the\n"
    "shortcut in that application; Esc closes the sheet.\n"
    "\n"
    "  --toggle    close the sheet when it is open (for a key binding), else open it\n"
    "  --help      show this help\n"
    "  --version   show the version\n";

struct Sheet {
    std::unique_ptr<kivora::sheet::HelperLink> link;
    std::unique_ptr<kivora::sheet::SheetWindow> window;
    std::unique_ptr<kivora::sheet::SheetController> controller;
};

// GNOME keeps its light/dark choice in a setting that GTK 4 itself does not read (themes
// chosen by name, as KDE and Xfce set them, GTK follows on its own).
void followDarkPreference() {
    auto source = Gio::SettingsSchemaSource::get_default();
    auto schema = source ? source->lookup("org.gnome.desktop.interface", true) : nullptr;
    if (!schema || !schema->has_key("color-scheme")) {
        return;
    }
    auto settings = Gio::Settings::create("org.gnome.desktop.interface");
    if (settings->get_string("color-scheme") == "prefer-dark") {
        Gtk::Settings::get_default()->property_gtk_application_prefer_dark_theme() = true;
    }
}

void open(Gtk::Application& app, Sheet& sheet) {
    using namespace kivora::sheet;
    followDarkPreference();
    sheet.window = std::make_unique<SheetWindow>();
    app.add_window(*sheet.window);
    sheet.window->signal_close_request().connect(
        [&app] {
            app.quit();
            return false;
        },
        false);
    std::string error;
    sheet.link = connectToHelper(error);
    if (!sheet.link) {
        std::cerr << "kivora-sheet: " << error << "\n";
        sheet.window->setMessage("KivoraData cannot be reached: " + error, true);
    } else {
        sheet.controller =
            std::make_unique<SheetController>(*sheet.link, *sheet.window, [&app] { app.quit(); });
        // The first requests go out before the window is mapped: the two overlap.
        sheet.controller->refresh();
    }
    sheet.window->present();
    timing().windowShown = std::chrono::steady_clock::now();
}

}  // namespace

int main(int argc, char** argv) {
    kivora::sheet::timing().launched = std::chrono::steady_clock::now();
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "kivora-sheet " << KIVORA_SHEET_VERSION << "\n";
            return 0;
        }
        if (arg != "--toggle") {
            std::cerr << "kivora-sheet: unknown argument '" << arg << "' (see --help)\n";
            return 2;
        }
    }
    // The helper recognises the main application by this name (the accessible application
    // name, which the toolkit takes from one of these, and the desktop file's id), so showing
    // the sheet never changes the helper's target.
    g_set_prgname(kivora::names::mainApplicationIdentifier().c_str());
    g_set_application_name(kivora::names::mainApplicationIdentifier().c_str());

    auto app = Gtk::Application::create(kivora::names::mainApplicationIdentifier(),
                                        Gio::Application::Flags::HANDLES_COMMAND_LINE);
    app->add_main_option_entry(Gio::Application::OptionType::BOOL, "toggle", '\0',
                               "close the sheet when it is open");
    Sheet sheet;
    // Runs in the first instance, for its own launch and every later one.
    app->signal_command_line().connect(
        [&](const Glib::RefPtr<Gio::ApplicationCommandLine>& line) {
            const bool toggle = line->get_options_dict()->contains("toggle");
            if (!sheet.window) {
                open(*app, sheet);
            } else if (toggle) {
                sheet.window->close();
            } else {
                sheet.window->present();
                if (sheet.controller) {
                    sheet.controller->refresh();
                }
            }
            return 0;
        },
        false);
    return app->run(argc, argv);
}
