#pragma once
// The simulated desktop's side of kivoractl: its subcommands, and what it saw of a press or
// a keystroke.

#include <optional>

#include "kivoractl/CommandLine.h"
#include "messaging/Value.h"
#include "platform/linux/wire/BusClient.h"

namespace kivoractl {

// Every menu item pressed (Press: titles) or keyboard event posted (Key: records with
// keyCode, keyDown and flags) so far; none when the helper serves a real desktop.
std::optional<kivora::Array> desktopSaw(kivora::linux_::wire::BusClient& client, Action action);

// Prints `records` of desktopSaw: one line each, or as JSON.
void printSeen(Action action, const kivora::Array& records, JsonForm json);

// Carries out a desktop subcommand on a connected client; returns the exit status.
int runDesktop(kivora::linux_::wire::BusClient& client, const Command& command);

}  // namespace kivoractl
