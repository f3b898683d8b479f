#include "platform/linux/ApplicationMain.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

#include "KivoraVersion.h"
#include "app/AppDelegate.h"
#include "platform/linux/DBusNotificationCenter.h"
#include "platform/linux/Diagnostics.h"
#include "platform/linux/DirectoryBundle.h"
#include "platform/linux/Errno.h"
#include "platform/linux/EventLoop.h"
#include "platform/linux/FilePreferences.h"
#include "platform/linux/SimulatedDesktop.h"
#include "platform/linux/StdoutConsole.h"
#include "platform/linux/atspi/RealDesktop.h"
#include "platform/linux/settings/DesktopPreferences.h"
#include "platform/linux/wire/Names.h"
#include "platform/linux/wire/SdHandles.h"

namespace kivora::linux_ {

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kUsage =
    "Usage: KivoraData [--desktop FILE]\n"
    "\n"
    "The background helper of the Kivora cheat sheet. It owns the name\n"
    "org.morvane.Kivora.KivoraData on the session bus and answers the main application's\n"
    "distributed notifications until it is told to quit (TerminateSubApp, SIGTERM, SIGINT).\n"
    "\n"
    "Options:\n"
    "  --desktop FILE  serve the simulated desktop described by FILE (JSON); without it,\n"
    "                  the real desktop session (its accessibility bus and X display)\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n";

struct Options {
    std::optional<std::string> desktop;
    bool help = false;
    bool version = false;
};

// Reads the framework's own options. Returns an error line, or none.
std::optional<std::string> parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            options.help = true;
            return std::nullopt;
        }
        if (arg == "--version") {
            options.version = true;
            return std::nullopt;
        }
        if (arg == "--desktop") {
            if (i + 1 >= argc) {
                return "option --desktop needs a file (try --help)";
            }
            options.desktop = argv[++i];
        } else if (arg.starts_with("--desktop=")) {
            options.desktop = std::string(arg.substr(std::string_view("--desktop=").size()));
        } else if (arg.starts_with("-")) {
            return "unknown option " + quoteForDiagnostic(arg) + " (try --help)";
        } else {
            return "unexpected argument " + quoteForDiagnostic(arg) + " (try --help)";
        }
    }
    return std::nullopt;
}

// A descriptor 0-2 closed by whoever started us would go to the next file or socket opened,
// and log lines written "to standard output" would land in it.
void reserveStandardDescriptors() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0 && errno == EBADF) {
            // The lowest free descriptor, so this one: the lower ones are open by now.
            ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        }
    }
}

// sd-bus turns a lost connection into this local signal.
int onDisconnected(sd_bus_message* message, void* userdata, sd_bus_error*) {
    if (sd_bus_message_is_signal(message, "org.freedesktop.DBus.Local", "Disconnected") > 0) {
        writeDiagnostic("lost the connection to the session bus");
        static_cast<EventLoop*>(userdata)->exit(kExitFailure);
    }
    return 0;
}

int run(int argc, char** argv) {
    reserveStandardDescriptors();
    Options options;
    if (auto error = parseOptions(argc, argv, options)) {
        writeDiagnostic(*error);
        return kExitUsage;
    }
    if (options.help) {
        std::fwrite(kUsage.data(), 1, kUsage.size(), stdout);
        std::fflush(stdout);
        return 0;
    }
    if (options.version) {
        std::printf("KivoraData %s\n", kVersion);
        std::fflush(stdout);
        return 0;
    }

    // A reader of our output that goes away must not kill the helper.
    std::signal(SIGPIPE, SIG_IGN);

    DirectoryBundle bundle(DirectoryBundle::defaultPath());
    // The desktop file is read first, so that a bad one is a usage error whatever else fails.
    std::optional<SimulatedDesktopModel> simulatedDesktop;
    if (options.desktop) {
        std::string desktopError;
        simulatedDesktop = SimulatedDesktop::load(*options.desktop, desktopError);
        if (!simulatedDesktop) {
            writeDiagnostic(desktopError);
            return kExitUsage;
        }
    }

    EventLoop loop;
    // Blocked from here on, so a signal during start-up also ends the helper in order.
    if (const int r = loop.terminateOnSignals({SIGTERM, SIGINT}); r < 0) {
        writeDiagnostic("cannot handle SIGTERM and SIGINT: " + errnoText(r));
        return kExitFailure;
    }

    sd_bus* rawBus = nullptr;
    if (const int r = sd_bus_open_user(&rawBus); r < 0) {
        writeDiagnostic("cannot connect to the session bus: " + errnoText(r));
        return kExitFailure;
    }
    BusConnection bus(rawBus);
    if (const int r = sd_bus_attach_event(bus.get(), loop.event(), SD_EVENT_PRIORITY_NORMAL);
        r < 0) {
        writeDiagnostic("cannot attach the session bus to the event loop: " + errnoText(r));
        return kExitFailure;
    }
    sd_bus_slot* rawSlot = nullptr;
    if (const int r = sd_bus_add_filter(bus.get(), &rawSlot, &onDisconnected, &loop); r < 0) {
        writeDiagnostic("cannot watch the session bus: " + errnoText(r));
        return kExitFailure;
    }
    SlotPtr disconnectWatch(rawSlot);

    // Without a desktop file, the real desktop session serves the applications.
    std::unique_ptr<Desktop> desktop;
    if (simulatedDesktop) {
        desktop = std::make_unique<SimulatedDesktop>(std::move(*simulatedDesktop), loop.event(),
                                                     bus.get());
    } else {
        std::string desktopError;
        desktop = RealDesktop::connect(loop.event(), bus.get(), desktopError);
        if (!desktop) {
            writeDiagnostic(desktopError +
                            "; to serve a simulated desktop instead, use --desktop FILE");
            return kExitUsage;
        }
    }

    // No request the helper serves reads the user info of what it receives.
    DBusNotificationCenter center(bus.get(), writeDiagnostic, wire::UserInfoKeys{false, {}});
    StdoutConsole console;
    FilePreferences userPreferences;
    settings::DesktopPreferences preferences(userPreferences);
    const Platform platform{center,
                            desktop->workspace(),
                            desktop->accessibility(),
                            preferences,
                            bundle,
                            desktop->eventTap(),
                            loop,
                            console};
    // A request that follows a window switch must see it, however the two messages raced.
    center.setBeforeDelivery([&desktop] { desktop->catchUp(); });
    AppDelegate delegate(platform);
    loop.setWillTerminate([&delegate] { delegate.applicationWillTerminate(); });

    delegate.applicationDidFinishLaunching();
    if (const int r = desktop->attach(); r < 0) {
        writeDiagnostic("cannot serve the desktop: " + errnoText(r));
        return kExitFailure;
    }

    // Last: a client that sees the name owned finds every subscription in place.
    if (const int r = sd_bus_request_name(bus.get(), wire::helperBusName().c_str(), 0); r < 0) {
        if (r == -EEXIST) {
            writeDiagnostic(std::string("another helper already owns ") + wire::helperBusName() +
                            " on this bus");
        } else {
            writeDiagnostic(std::string("cannot own ") + wire::helperBusName() + ": " +
                            errnoText(r));
        }
        return kExitFailure;
    }

    const int status = loop.run();
    if (status < 0) {
        writeDiagnostic("the event loop failed: " + errnoText(status));
        return kExitFailure;
    }
    return status;
}

}  // namespace

int ApplicationMain(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        writeDiagnostic(e.what());
    } catch (...) {
        writeDiagnostic("failed for an unknown reason");
    }
    return kExitFailure;
}

}  // namespace kivora::linux_
