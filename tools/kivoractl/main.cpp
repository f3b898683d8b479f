// kivoractl: plays the main application's part towards the KivoraData helper from a terminal.
#include <cstdio>
#include <string>
#include <vector>

#include "kivoractl/CommandLine.h"
#include "kivoractl/Commands.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const auto parsed = kivoractl::parseCommandLine(args);
    if (!parsed.command) {
        std::fprintf(stderr, "kivoractl: %s\nTry 'kivoractl --help'.\n", parsed.error.c_str());
        return kivoractl::kExitUsage;
    }
    int status = kivoractl::runCommand(*parsed.command);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "kivoractl: cannot write to standard output\n");
        status = kivoractl::kExitFailure;
    }
    return status;
}
