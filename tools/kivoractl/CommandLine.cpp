#include "kivoractl/CommandLine.h"

#include <charconv>
#include <cmath>
#include <map>

#include "kivoractl/TerminalText.h"
#include "messaging/NotificationNames.h"

namespace kivoractl {

namespace {

constexpr double kLongestTimeoutSeconds = 3600;

const std::string kGeneralHelp =
    R"(Usage: kivoractl [--timeout SECONDS] COMMAND [ARGUMENTS] [--json]

Plays the main application's part towards the KivoraData helper on the session bus: sends
its requests as distributed notifications and prints the replies.

Commands:
  current [--json]       the menu shortcuts of the target application, as a table
  system [--json]        the system shortcuts, as a table with the pair for `key`
  press TITLE            press the menu item TITLE of the last harvest
  key KEYCODE FLAGS      post the keystroke of a system shortcut
  permission [--json]    ask for the Accessibility permission and wait for the answer
  quit                   end the helper
  desktop SUBCOMMAND     control the simulated desktop (kivoractl desktop --help)
  help [COMMAND]         this text, or the help of a command

Options:
  --timeout SECONDS      how long to wait for the helper (default 5; permission 15)
  --json                 print the replies' user info as received, as JSON
  --user                 talk to the helper on the session bus (the default)
  --address=ADDRESS      talk to the helper on the bus at ADDRESS instead
  --no-start             never ask the bus to start the helper
  -h, --help             show help
  --                     end of options (for a TITLE that begins with '-')

Exit status: 0 on success, 1 when the helper is not running or does not answer in time,
2 on a usage error. Errors go to standard error.
)";

const std::map<std::string, std::string, std::less<>>& commandHelp() {
    static const std::map<std::string, std::string, std::less<>> help = {
        {"current", R"(Usage: kivoractl current [--json] [--timeout SECONDS]

Sends "GetCurrentShortcut" and waits for "GetCurrentShortcutResponse". Prints the menu
shortcuts of the target application (the last application in front other than the helper
and the main application) under their menu and submenu headers, each as modifier glyphs and
key. With --json, prints the reply's user info as received.
)"},
        {"system", R"(Usage: kivoractl system [--json] [--timeout SECONDS]

Sends "GetSystemShortcut" and waits for both replies, "getSystemShortcutResponse" and
"GetKeyCodeAndFlagsArr". Prints the system shortcuts under their category and group headers,
each with its modifier glyphs, key name and the arguments that `kivoractl key` takes to post
it. With --json, prints both replies' user info as received, keyed by reply name.
)"},
        {"press", R"(Usage: kivoractl press [--timeout SECONDS] [--] TITLE

Posts "tellHelperToCurrentClickted:" followed by TITLE: the helper presses the first menu
item of its last harvest ("current" or "system") with that title. The helper sends no reply;
kivoractl waits until the helper has handled the request.
)"},
        {"key", R"(Usage: kivoractl key [--timeout SECONDS] KEYCODE FLAGS

Posts "tellHelperToSystemClickted:" followed by the JSON array of the two decimal texts, e.g.
kivoractl key 49 1048576 for Space with Command. The helper posts the keystroke only for a
pair it has handed out ("kivoractl system" lists them); any other it refuses in its log. The
helper sends no reply; kivoractl waits until the helper has handled the request.
)"},
        {"permission", R"(Usage: kivoractl permission [--json] [--timeout SECONDS]

Sends "AccessibilityStatus" and waits for "AccessibilityStatusResponse". The helper answers
only once the permission is granted, checking every 5 seconds, so the default wait is 15
seconds. With --json, prints the reply's user info as received.
)"},
        {"quit", R"(Usage: kivoractl quit [--timeout SECONDS]

Posts "TerminateSubApp" and waits until the helper has left the bus.
)"},
        {"desktop", R"(Usage: kivoractl desktop SUBCOMMAND [--timeout SECONDS]

Controls the helper's simulated desktop:
  activate BUNDLE_ID     bring that application to the front
  activate-pid PID       the same by process identifier (0: no application in front)
  quit BUNDLE_ID         the application quits
  trust true|false       grant or withdraw the Accessibility permission
  pressed                every menu item pressed so far, oldest first
  keys                   every keyboard event posted so far: key code, down/up, flags
  prompts                how often the permission prompt was requested
)"},
        {"help", R"(Usage: kivoractl help [COMMAND]

Shows the help of the tool, or of COMMAND.
)"},
    };
    return help;
}

struct Arguments {
    std::vector<std::string> positional;
    bool help = false;
    bool json = false;
    bool noStart = false;
    std::string address;
    std::optional<double> timeout;
};

bool isDecimal(std::string_view text) {
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        text.remove_prefix(1);
    }
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

std::optional<double> parseSeconds(std::string_view text) {
    double value = 0;
    const auto* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end || !std::isfinite(value) ||
        value <= 0 || value > kLongestTimeoutSeconds) {
        return std::nullopt;
    }
    return value;
}

std::string quoted(std::string_view text) {
    return "'" + printable(text) + "'";
}

// Options may stand anywhere; "--" ends them. "-1" is an argument (a key code), not an option.
std::optional<std::string> readArguments(const std::vector<std::string>& args, Arguments& out) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-" || isDecimal(arg)) {
            out.positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            out.help = true;
        } else if (arg == "--json") {
            out.json = true;
        } else if (arg == "--user") {
            out.address.clear();
        } else if (arg == "--no-start") {
            out.noStart = true;
        } else if (arg == "--address" || arg.starts_with("--address=")) {
            if (arg == "--address" && i + 1 == args.size()) {
                return "--address needs a bus address";
            }
            out.address = arg == "--address" ? args[++i] : arg.substr(10);
            if (out.address.empty()) {
                return "--address needs a bus address";
            }
        } else if (arg == "--timeout" || arg.starts_with("--timeout=")) {
            std::string value;
            if (arg == "--timeout") {
                if (i + 1 == args.size()) {
                    return "--timeout needs a number of seconds";
                }
                value = args[++i];
            } else {
                value = arg.substr(std::string_view("--timeout=").size());
            }
            out.timeout = parseSeconds(value);
            if (!out.timeout) {
                return "--timeout wants a number of seconds above 0 and at most 3600, not " +
                       quoted(value);
            }
        } else {
            return "unknown option " + quoted(arg);
        }
    }
    return std::nullopt;
}

ParsedCommandLine usageError(std::string message) {
    return {std::nullopt, std::move(message)};
}

ParsedCommandLine help(const std::string& text) {
    Command command;
    command.action = Action::Help;
    command.helpText = text;
    return {command, {}};
}

std::optional<std::int32_t> parseProcessIdentifier(const std::string& text) {
    if (!isDecimal(text)) {
        return std::nullopt;
    }
    std::string_view digits = text;
    if (digits[0] == '+') {
        digits.remove_prefix(1);
    }
    std::int32_t value = 0;
    const auto* end = digits.data() + digits.size();
    const auto result = std::from_chars(digits.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end) {
        return std::nullopt;
    }
    return value;
}

ParsedCommandLine parseDesktop(const std::vector<std::string>& rest, Command command) {
    command.action = Action::Desktop;
    if (rest.empty()) {
        return usageError("desktop needs a subcommand (kivoractl desktop --help)");
    }
    const std::string& sub = rest[0];
    struct Shape {
        DesktopAction action;
        std::size_t arguments;
        const char* argumentName;
    };
    static const std::map<std::string, Shape, std::less<>> shapes = {
        {"activate", {DesktopAction::Activate, 1, "BUNDLE_ID"}},
        {"activate-pid", {DesktopAction::ActivateProcess, 1, "PID"}},
        {"quit", {DesktopAction::Quit, 1, "BUNDLE_ID"}},
        {"trust", {DesktopAction::Trust, 1, "true|false"}},
        {"pressed", {DesktopAction::Pressed, 0, ""}},
        {"keys", {DesktopAction::Keys, 0, ""}},
        {"prompts", {DesktopAction::Prompts, 0, ""}},
    };
    const auto shape = shapes.find(sub);
    if (shape == shapes.end()) {
        return usageError("unknown desktop subcommand " + quoted(sub) +
                          " (kivoractl desktop --help)");
    }
    const std::size_t given = rest.size() - 1;
    if (given != shape->second.arguments) {
        return usageError(shape->second.arguments == 0
                              ? "desktop " + sub + " takes no arguments"
                              : "desktop " + sub + " takes one argument, " +
                                    shape->second.argumentName);
    }
    command.desktop = shape->second.action;
    switch (command.desktop) {
        case DesktopAction::Activate:
        case DesktopAction::Quit:
            if (rest[1].empty() || !isValidUtf8(rest[1])) {
                return usageError("desktop " + sub + " needs a bundle identifier in UTF-8");
            }
            command.argument = rest[1];
            break;
        case DesktopAction::ActivateProcess: {
            const auto pid = parseProcessIdentifier(rest[1]);
            if (!pid) {
                return usageError(
                    "desktop activate-pid needs a process identifier (a 32-bit "
                    "decimal number), not " +
                    quoted(rest[1]));
            }
            command.processIdentifier = *pid;
            break;
        }
        case DesktopAction::Trust:
            if (rest[1] != "true" && rest[1] != "false") {
                return usageError("desktop trust takes true or false, not " + quoted(rest[1]));
            }
            command.trusted = rest[1] == "true";
            break;
        case DesktopAction::Pressed:
        case DesktopAction::Keys:
        case DesktopAction::Prompts:
            break;
    }
    return {command, {}};
}

}  // namespace

const std::string& generalHelp() {
    return kGeneralHelp;
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    Arguments parsed;
    if (auto error = readArguments(args, parsed)) {
        return usageError(*error);
    }
    const auto& positional = parsed.positional;
    if (positional.empty()) {
        return parsed.help ? help(kGeneralHelp) : usageError("no command given");
    }
    const std::string& name = positional[0];
    const std::vector<std::string> rest(positional.begin() + 1, positional.end());

    if (name == "help") {
        if (rest.empty()) {
            return help(kGeneralHelp);
        }
        const auto topic = commandHelp().find(rest[0]);
        if (topic == commandHelp().end() || rest.size() > 1) {
            return usageError("no help for " + quoted(rest[0]));
        }
        return help(topic->second);
    }
    const auto topic = commandHelp().find(name);
    if (topic == commandHelp().end()) {
        return usageError("unknown command " + quoted(name));
    }
    if (parsed.help) {
        return help(topic->second);
    }

    Command command;
    command.json = parsed.json;
    command.address = parsed.address;
    command.noStart = parsed.noStart;
    const bool jsonAllowed = name == "current" || name == "system" || name == "permission";
    if (parsed.json && !jsonAllowed) {
        return usageError(name + " has no --json option");
    }
    if (name == "permission") {
        command.timeoutSeconds = kDefaultPermissionTimeoutSeconds;
    }
    if (parsed.timeout) {
        command.timeoutSeconds = *parsed.timeout;
    }
    const auto expectArguments = [&](std::size_t count,
                                     const char* what) -> std::optional<std::string> {
        if (rest.size() == count) {
            return std::nullopt;
        }
        return count == 0 ? name + " takes no arguments"
                          : name + " takes " + what + " (kivoractl " + name + " --help)";
    };

    if (name == "current" || name == "system" || name == "permission" || name == "quit") {
        if (auto error = expectArguments(0, "")) {
            return usageError(*error);
        }
        command.action = name == "current"      ? Action::Current
                         : name == "system"     ? Action::System
                         : name == "permission" ? Action::Permission
                                                : Action::Quit;
        return {command, {}};
    }
    if (name == "press") {
        if (auto error = expectArguments(1, "one argument, TITLE")) {
            return usageError(*error);
        }
        if (rest[0].empty()) {
            return usageError("press needs a non-empty TITLE");
        }
        if (!isValidUtf8(rest[0])) {
            return usageError("the TITLE is not valid UTF-8");
        }
        command.action = Action::Press;
        command.argument = kivora::names::currentClickedPrefix() + rest[0];
        return {command, {}};
    }
    if (name == "key") {
        if (auto error = expectArguments(2, "two arguments, KEYCODE and FLAGS")) {
            return usageError(*error);
        }
        for (const auto& text : rest) {
            if (!isDecimal(text)) {
                return usageError("KEYCODE and FLAGS are decimal numbers, not " + quoted(text));
            }
        }
        command.action = Action::Key;
        command.argument =
            kivora::names::systemClickedPrefix() + "[\"" + rest[0] + "\",\"" + rest[1] + "\"]";
        return {command, {}};
    }
    return parseDesktop(rest, command);
}

}  // namespace kivoractl
