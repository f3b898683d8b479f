#include "kivoractl/CommandLine.h"

#include <charconv>
#include <cmath>
#include <map>
#include <set>

#include "kivoractl/HelpText.h"
#include "kivoractl/TerminalText.h"
#include "messaging/NotificationNames.h"

namespace kivoractl {

namespace {

constexpr double kLongestTimeoutSeconds = 3600;

struct Arguments {
    std::vector<std::string> positional;
    bool help = false;
    bool version = false;
    JsonForm json = JsonForm::Off;
    bool full = false;
    bool noStart = false;
    std::string address;
    std::optional<double> timeout;
    std::optional<std::uint64_t> count;
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

std::optional<std::uint64_t> parseCount(std::string_view text) {
    std::uint64_t value = 0;
    const auto* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (text.empty() || result.ec != std::errc() || result.ptr != end || value == 0) {
        return std::nullopt;
    }
    return value;
}

std::string quoted(std::string_view text) {
    return "'" + printable(text) + "'";
}

// The value of an option that takes one, written NAME=VALUE or as two words; none when `arg`
// is not that option. An empty `value` with `missing` set means the value was missing.
std::optional<std::string> optionValue(const std::vector<std::string>& args, std::size_t& i,
                                       std::string_view name, bool& missing) {
    const std::string& arg = args[i];
    if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
        return arg.substr(name.size() + 1);
    }
    if (arg != name) {
        return std::nullopt;
    }
    missing = i + 1 == args.size();
    return missing ? std::string() : args[++i];
}

std::optional<std::string> readValueOption(const std::vector<std::string>& args, std::size_t& i,
                                           Arguments& out, bool& matched) {
    bool missing = false;
    matched = true;
    if (auto value = optionValue(args, i, "--address", missing)) {
        out.address = *value;
        return value->empty() ? std::optional<std::string>("--address needs a bus address")
                              : std::nullopt;
    }
    if (auto value = optionValue(args, i, "--timeout", missing)) {
        out.timeout = parseSeconds(*value);
        if (missing || !out.timeout) {
            return "--timeout wants a number of seconds above 0 and at most 3600" +
                   (missing ? std::string() : ", not " + quoted(*value));
        }
        return std::nullopt;
    }
    if (auto value = optionValue(args, i, "--count", missing)) {
        out.count = parseCount(*value);
        if (missing || !out.count) {
            return "--count wants a whole number above 0" +
                   (missing ? std::string() : ", not " + quoted(*value));
        }
        return std::nullopt;
    }
    matched = false;
    return std::nullopt;
}

// Options may stand anywhere; "--" ends them. "-1" is an argument (a key code), not an option.
std::optional<std::string> readArguments(const std::vector<std::string>& args, Arguments& out) {
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool matched = false;
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-" || isDecimal(arg)) {
            out.positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            out.help = true;
        } else if (arg == "--version") {
            out.version = true;
        } else if (arg == "--json" || arg == "--json=pretty") {
            out.json = JsonForm::Pretty;
        } else if (arg == "--json=short") {
            out.json = JsonForm::Short;
        } else if (arg.starts_with("--json=")) {
            return "--json takes short or pretty, not " + quoted(arg.substr(7));
        } else if (arg == "--full") {
            out.full = true;
        } else if (arg == "--user") {
            out.address.clear();
        } else if (arg == "--no-start") {
            out.noStart = true;
        } else if (auto error = readValueOption(args, i, out, matched); error || matched) {
            if (error) {
                return error;
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

// Options that only some commands take; none of them may be ignored silently.
std::optional<std::string> misplacedOption(const std::string& name,
                                           const std::vector<std::string>& rest,
                                           const Arguments& parsed) {
    static const std::set<std::string, std::less<>> dataCommands = {
        "current", "system", "permission", "press", "key", "monitor", "desktop"};
    const bool desktopData = name != "desktop" || rest.empty() || rest[0] == "pressed" ||
                             rest[0] == "keys" || rest[0] == "prompts";
    if (parsed.json != JsonForm::Off && (!dataCommands.contains(name) || !desktopData)) {
        return name + (name == "desktop" && !rest.empty() ? " " + rest[0] : "") +
               " has no --json option";
    }
    if (parsed.full && name != "current" && name != "system") {
        return name + " has no --full option";
    }
    if (parsed.count && name != "monitor") {
        return name + " has no --count option";
    }
    return std::nullopt;
}

Command commandFrom(const std::string& name, const Arguments& parsed) {
    Command command;
    command.json = parsed.json;
    command.full = parsed.full;
    command.address = parsed.address;
    command.noStart = parsed.noStart;
    command.count = parsed.count.value_or(0);
    if (name == "permission") {
        command.timeoutSeconds = kDefaultPermissionTimeoutSeconds;
    } else if (name == "monitor") {
        command.timeoutSeconds = 0;
    }
    if (parsed.timeout) {
        command.timeoutSeconds = *parsed.timeout;
    }
    return command;
}

ParsedCommandLine parseRequest(const std::string& name, const std::vector<std::string>& rest,
                               Command command) {
    const auto expectArguments = [&](std::size_t count,
                                     const char* what) -> std::optional<std::string> {
        if (rest.size() == count) {
            return std::nullopt;
        }
        return count == 0 ? name + " takes no arguments"
                          : name + " takes " + what + " (kivoractl " + name + " --help)";
    };
    static const std::map<std::string, Action, std::less<>> plain = {
        {"current", Action::Current},
        {"system", Action::System},
        {"quit", Action::Quit},
        {"permission", Action::Permission},
        {"monitor", Action::Monitor}};
    if (const auto found = plain.find(name); found != plain.end()) {
        if (auto error = expectArguments(0, "")) {
            return usageError(*error);
        }
        command.action = found->second;
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

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<std::string>& args) {
    Arguments parsed;
    if (auto error = readArguments(args, parsed)) {
        return usageError(*error);
    }
    if (parsed.version) {
        Command command;
        command.action = Action::Version;
        return {command, {}};
    }
    const auto& positional = parsed.positional;
    if (positional.empty()) {
        return parsed.help ? help(generalHelp()) : usageError("no command given");
    }
    const std::string& name = positional[0];
    const std::vector<std::string> rest(positional.begin() + 1, positional.end());

    if (name == "help") {
        if (rest.empty()) {
            return help(parsed.help ? commandHelp().at("help") : generalHelp());
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
    if (auto error = misplacedOption(name, rest, parsed)) {
        return usageError(*error);
    }
    return parseRequest(name, rest, commandFrom(name, parsed));
}

}  // namespace kivoractl
