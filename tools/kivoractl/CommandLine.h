#pragma once
// The command line of kivoractl, read into a Command without touching the bus.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kivoractl {

enum class Action { Help, Current, System, Press, Key, Permission, Quit, Desktop };
enum class DesktopAction { Activate, ActivateProcess, Quit, Trust, Pressed, Keys, Prompts };

inline constexpr double kDefaultTimeoutSeconds = 5;
// The helper polls the permission every 5 seconds; leave room for more than one poll.
inline constexpr double kDefaultPermissionTimeoutSeconds = 15;

struct Command {
    Action action = Action::Help;
    DesktopAction desktop = DesktopAction::Activate;
    bool json = false;
    std::string address;   // the bus to use; empty for the session bus
    bool noStart = false;  // never ask the bus to start the helper
    double timeoutSeconds = kDefaultTimeoutSeconds;
    // press and key: the whole request name; desktop activate and quit: the bundle identifier.
    std::string argument;
    std::int32_t processIdentifier = 0;  // desktop activate-pid
    bool trusted = false;                // desktop trust
    std::string helpText;                // Help: what to print
};

struct ParsedCommandLine {
    std::optional<Command> command;  // set when the command line is usable
    std::string error;               // otherwise: what is wrong, one line
};

// `args` excludes the program name.
ParsedCommandLine parseCommandLine(const std::vector<std::string>& args);

// The usage of the whole tool.
const std::string& generalHelp();

}  // namespace kivoractl
