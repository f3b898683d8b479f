#include "kivoractl/Output.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>

#include "kivoractl/Commands.h"
#include "kivoractl/JsonText.h"
#include "kivoractl/TerminalText.h"

namespace kivoractl {

int fail(const std::string& message) {
    std::fprintf(stderr, "kivoractl: %s\n", message.c_str());
    return kExitFailure;
}

void print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
}

void printJson(const kivora::Value& value, JsonForm form) {
    print(toJsonText(value, form == JsonForm::Short) + "\n");
}

void printJsonRecords(const kivora::Array& records, JsonForm form) {
    if (form != JsonForm::Short) {
        printJson(records, form);
        return;
    }
    for (const auto& record : records) {
        printJson(record, form);
    }
}

SheetStyle terminalStyle(bool full) {
    const bool terminal = isatty(STDOUT_FILENO) == 1;
    std::optional<std::size_t> columns;
    winsize size{};
    if (terminal && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) {
        columns = size.ws_col;
    }
    return {outputWidth(std::getenv("COLUMNS"), columns), full,
            wantsColour(terminal, std::getenv("NO_COLOR"))};
}

}  // namespace kivoractl
