#pragma once
// `kivoractl monitor`: the notifications on the bus, decoded, as they pass.

#include "kivoractl/CommandLine.h"

namespace kivoractl {

// Prints until interrupted (SIGINT ends it with success), `command.count` notifications, or
// `command.timeoutSeconds` (when not 0); returns the exit status.
int monitor(const Command& command);

}  // namespace kivoractl
