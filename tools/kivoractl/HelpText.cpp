#include "kivoractl/HelpText.h"

namespace kivoractl {

namespace {

const std::string kGeneralHelp =
    R"(Usage: kivoractl [OPTIONS] COMMAND [ARGUMENTS]

Plays the main application's part towards the KivoraData helper on the session
bus: sends its requests as distributed notifications and prints the replies.

Commands:
  current                the menu shortcuts of the target application
  system                 the system shortcuts, with the pairs for `key`
  press TITLE            press the menu item TITLE of the last harvest
  key KEYCODE FLAGS      post the keystroke of a system shortcut
  permission             ask for the Accessibility permission and wait for it
  quit                   end the helper
  monitor                print the notifications on the bus as they pass
  desktop SUBCOMMAND     control the simulated desktop (see desktop --help)
  help [COMMAND]         this text, or the help of a command

Options:
  --timeout=SECONDS      how long to wait for the helper (default 5 s)
  --json[=short]         print data as JSON; short: one record per line
  --full                 never shorten titles to fit the terminal
  --count=N              monitor: stop after N notifications
  --user                 talk to the helper on the session bus (the default)
  --address=ADDRESS      talk to the helper on the bus at ADDRESS instead
  --no-start             never ask the bus to start the helper
  -h, --help             show help
  --version              show the version and exit
  --                     end of options (for a TITLE that begins with '-')

Tables follow the terminal width (COLUMNS, else the terminal's, else 80
columns). Colour is used only on a terminal, and never when NO_COLOR is set.

Exit status: 0 on success, 1 when the helper is not running or does not answer
in time, 2 on a usage error. Errors go to standard error.
)";

}  // namespace

const std::string& generalHelp() {
    return kGeneralHelp;
}

const std::map<std::string, std::string, std::less<>>& commandHelp() {
    static const std::map<std::string, std::string, std::less<>> help = {
        {"current", R"(Usage: kivoractl current [--json[=short]] [--full] [--timeout=SECONDS]

Sends "GetCurrentShortcut" and waits for "GetCurrentShortcutResponse". Prints
the menu shortcuts of the target application (the last application in front
other than the helper and the main application) under their menu and submenu
headers, each as modifier glyphs and key. With --json, prints the reply's user
info as received.
)"},
        {"system", R"(Usage: kivoractl system [--json[=short]] [--full] [--timeout=SECONDS]

Sends "GetSystemShortcut" and waits for both replies,
"getSystemShortcutResponse" and "GetKeyCodeAndFlagsArr". Prints the system
shortcuts under their category and group headers, each with its modifier
glyphs, key name and the arguments that `kivoractl key` takes to post it. With
--json, prints both replies' user info as received, keyed by reply name.
)"},
        {"press", R"(Usage: kivoractl press [--json[=short]] [--timeout=SECONDS] [--] TITLE

Posts "tellHelperToCurrentClickted:" followed by TITLE: the helper presses the
first menu item of its last harvest ("current" or "system") with that title.
The helper sends no reply; kivoractl waits until the helper has handled the
request. On the simulated desktop, prints what the desktop saw pressed (exit 1
when nothing was).
)"},
        {"key", R"(Usage: kivoractl key [--json[=short]] [--timeout=SECONDS] KEYCODE FLAGS

Posts "tellHelperToSystemClickted:" followed by the JSON array of the two
decimal texts, e.g. kivoractl key 49 1048576 for Space with Command. The
helper posts the keystroke only for a pair it has handed out ("kivoractl
system" lists them); any other it refuses in its log. The helper sends no
reply; kivoractl waits until the helper has handled the request. On the
simulated desktop, prints the keyboard events the desktop saw (exit 1 when
there were none).
)"},
        {"permission", R"(Usage: kivoractl permission [--json[=short]] [--timeout=SECONDS]

Sends "AccessibilityStatus" and waits for "AccessibilityStatusResponse". The
helper answers only once the permission is granted, checking every 5 seconds,
so the default wait is 15 seconds. With --json, prints the reply's user info
as received.
)"},
        {"quit", R"(Usage: kivoractl quit [--timeout=SECONDS]

Posts "TerminateSubApp" and waits until the helper has left the bus.
)"},
        {"monitor", R"(Usage: kivoractl monitor [--json[=short]] [--count=N] [--timeout=SECONDS]

Prints every notification posted on the bus, requests and replies, one line
each: time, sender, name, object and a summary of the user info. Runs until
interrupted, until N notifications have passed (--count), or for SECONDS
(--timeout). Never starts the helper. With --json, prints each notification in
full.
)"},
        {"desktop", R"(Usage: kivoractl desktop SUBCOMMAND [--json[=short]] [--timeout=SECONDS]

Controls the helper's simulated desktop:
  activate BUNDLE_ID     bring that application to the front
  activate-pid PID       the same by process identifier (0: none in front)
  quit BUNDLE_ID         the application quits
  trust true|false       grant or withdraw the Accessibility permission
  pressed                every menu item pressed so far, oldest first
  keys                   every keyboard event posted so far
  prompts                how often the permission prompt was requested
)"},
        {"help", R"(Usage: kivoractl help [COMMAND]

Shows the help of the tool, or of COMMAND.
)"},
    };
    return help;
}

}  // namespace kivoractl
