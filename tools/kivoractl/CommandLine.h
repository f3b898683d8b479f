#pragma once
// The command line of kivoractl, read into a Command without touching the bus.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kivoractl {

enum class Action {
    Help,
    Version,
    Current,
    System,
    Press,
    Key,
    Permission,
    Quit,
    Monitor,
    Desktop
};
enum class DesktopAction { Activate, ActivateProcess, Quit, Trust, Pressed, Keys, Prompts };
// Off: text for people; Pretty: indented JSON; Short: one compact JSON record per line.
enum class JsonForm { Off, Pretty, Short };

inline constexpr double kDefaultTimeoutSeconds = 5;
// The helper polls the permission every 5 seconds; leave room for more than one poll.
inline constexpr double kDefaultPermissionTimeoutSeconds = 15;

struct Command {
    Action action = Action::Help;
    DesktopAction desktop = DesktopAction::Activate;
    JsonForm json = JsonForm::Off;
    bool full = false;                               // tables: never shorten a title
    std::string address;                             // the bus to use; empty for the session bus
    bool noStart = false;                            // never ask the bus to start the helper
    double timeoutSeconds = kDefaultTimeoutSeconds;  // monitor: 0 runs until interrupted
    std::uint64_t count = 0;                         // monitor: stop after this many; 0 never
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

}  // namespace kivoractl
