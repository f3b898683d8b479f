#pragma once
// Carrying out one kivoractl command against the helper on the session bus.

#include "kivoractl/CommandLine.h"

namespace kivoractl {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// Prints the results on standard output and problems on standard error; returns the exit
// status.
int runCommand(const Command& command);

}  // namespace kivoractl
