#include "kivoractl/Commands.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "keys/KeyManager.h"
#include "kivoractl/JsonText.h"
#include "kivoractl/SheetTable.h"
#include "kivoractl/TerminalText.h"
#include "messaging/NotificationNames.h"
#include "platform/linux/wire/BusClient.h"

namespace kivoractl {

namespace names = kivora::names;
using kivora::Array;
using kivora::Dictionary;
using kivora::Value;

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "kivoractl: %s\n", message.c_str());
    return kExitFailure;
}

void print(const std::string& text) {
    std::fputs(text.c_str(), stdout);
}

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g s", value);
    return text;
}

using kivora::linux_::wire::BusClient;
using kivora::linux_::wire::Duration;
using kivora::linux_::wire::helperBusName;

Duration duration(double seconds) {
    return Duration(static_cast<Duration::rep>(seconds * 1000 + 0.5));
}

std::string howToStart() {
    return "start it with `systemctl --user start kivoradata`, or run " KIVORA_HELPER_INSTALL_PATH;
}

// Connects and makes sure the helper is there before anything is sent: when nobody owns its
// name, the bus is asked to start it (its service file), unless --no-start says not to.
std::unique_ptr<BusClient> connectToHelper(const Command& command, std::string& error) {
    auto client = BusClient::connect(command.address, error);
    if (!client) {
        return nullptr;
    }
    client->setCallTimeout(duration(command.timeoutSeconds));
    const auto running = client->nameHasOwner(helperBusName());
    if (!running || !client->watchOwner(helperBusName())) {
        error = client->lastError();
        return nullptr;
    }
    if (*running) {
        return client;
    }
    if (command.noStart) {
        error = "the helper is not running (nobody owns " + helperBusName() + "); " + howToStart();
        return nullptr;
    }
    if (!client->startHelper(duration(command.timeoutSeconds))) {
        error = "the helper is not running and the bus could not start it (" + client->lastError() +
                "); " + howToStart();
        return nullptr;
    }
    return client;
}

// Subscribes to `replies`, posts the request, waits for every reply.
std::unique_ptr<BusClient> request(const Command& command, const std::string& name,
                                   const std::vector<std::string>& replies, std::string& error,
                                   const std::function<void()>& whileWaiting = nullptr) {
    auto client = connectToHelper(command, error);
    if (!client) {
        return nullptr;
    }
    for (const auto& reply : replies) {
        if (!client->subscribe({.name = reply})) {
            error = client->lastError();
            return nullptr;
        }
    }
    if (!client->post(name, helperBusName())) {
        error = client->lastError();
        return nullptr;
    }
    if (whileWaiting) {
        whileWaiting();
    }
    switch (client->waitForAll(replies, duration(command.timeoutSeconds))) {
        case BusClient::WaitOutcome::Done:
            return client;
        case BusClient::WaitOutcome::Failed:
            error = client->lastError();
            return nullptr;
        case BusClient::WaitOutcome::OwnerLeft:
            error = "the helper left the bus before answering " + name;
            return nullptr;
        case BusClient::WaitOutcome::TimedOut:
            break;
    }
    std::string missing;
    for (const auto& reply : replies) {
        if (client->first(reply) == nullptr) {
            missing += (missing.empty() ? "" : " and ") + reply;
        }
    }
    error = "no " + missing + " from the helper within " + seconds(command.timeoutSeconds) +
            " (use --timeout to wait longer)";
    return nullptr;
}

const Array* arrayIn(const Dictionary& userInfo, const std::string& key) {
    const auto it = userInfo.find(key);
    return it == userInfo.end() ? nullptr : it->second.array();
}

int current(const Command& command) {
    std::string error;
    const std::string& replyName = names::getCurrentShortcutResponse();
    auto client = request(command, names::getCurrentShortcut(), {replyName}, error);
    if (!client) {
        return fail(error);
    }
    const Dictionary& userInfo = client->first(replyName)->userInfo;
    if (command.json) {
        print(toJsonText(Value(userInfo)) + "\n");
        return kExitSuccess;
    }
    const Array* list = arrayIn(userInfo, names::currentShortcutKey());
    if (list == nullptr) {
        return fail(replyName + " carries no \"" + names::currentShortcutKey() + "\" list");
    }
    print(renderMenuSheet(*list));
    return kExitSuccess;
}

int system(const Command& command) {
    std::string error;
    const std::string& listReply = names::getSystemShortcutResponse();
    const std::string& pairsReply = names::getKeyCodeAndFlagsArr();
    auto client = request(command, names::getSystemShortcut(), {listReply, pairsReply}, error);
    if (!client) {
        return fail(error);
    }
    const Dictionary& listInfo = client->first(listReply)->userInfo;
    const Dictionary& pairsInfo = client->first(pairsReply)->userInfo;
    if (command.json) {
        print(toJsonText(Value(Dictionary{{listReply, listInfo}, {pairsReply, pairsInfo}})) + "\n");
        return kExitSuccess;
    }
    const Array* list = arrayIn(listInfo, names::systemShortcutKey());
    if (list == nullptr) {
        return fail(listReply + " carries no \"" + names::systemShortcutKey() + "\" list");
    }
    print(renderSystemSheet(*list, arrayIn(pairsInfo, names::keyCodeAndFlagsArrDataKey())));
    return kExitSuccess;
}

int permission(const Command& command) {
    std::string error;
    const std::string& replyName = names::accessibilityStatusResponse();
    const auto sayWaiting = [&] {
        if (!command.json) {
            // A status line, not data: kept off standard output.
            std::fprintf(stderr,
                         "Waiting up to %s for the Accessibility permission (the helper "
                         "answers once it is granted)...\n",
                         seconds(command.timeoutSeconds).c_str());
        }
    };
    auto client = request(command, names::accessibilityStatus(), {replyName}, error, sayWaiting);
    if (!client) {
        return fail(error);
    }
    const Dictionary& userInfo = client->first(replyName)->userInfo;
    if (command.json) {
        print(toJsonText(Value(userInfo)) + "\n");
        return kExitSuccess;
    }
    const auto enabled = userInfo.find(names::isEnabledKey());
    if (enabled == userInfo.end() || !enabled->second.isBool()) {
        return fail(replyName + " carries no \"" + names::isEnabledKey() + "\" boolean");
    }
    print(std::string("Accessibility permission: ") +
          (enabled->second.asBool() ? "granted" : "not granted") + "\n");
    return kExitSuccess;
}

// What the simulated desktop has seen of presses (press) or keystrokes (key) so far, one
// line each; none when the helper serves a real desktop.
std::optional<std::vector<std::string>> desktopSaw(BusClient& client, Action action);

// press and key: the helper sends no reply, so wait until it has handled the request. On the
// simulated desktop, say what the desktop saw; a request that changed nothing is a failure.
int postAndConfirm(const Command& command, const std::string& done) {
    std::string error;
    auto client = connectToHelper(command, error);
    if (!client) {
        return fail(error);
    }
    const auto before = desktopSaw(*client, command.action);
    if (!client->post(command.argument, helperBusName()) ||
        !client->ping(helperBusName(), duration(command.timeoutSeconds))) {
        return fail("the helper did not confirm the request: " + client->lastError());
    }
    const auto after = before ? desktopSaw(*client, command.action) : std::nullopt;
    if (!after) {
        print(done + "\n");
        return kExitSuccess;
    }
    if (after->size() <= before->size()) {
        return fail(command.action == Action::Press
                        ? "the desktop saw no menu item pressed (is the title in the last harvest?)"
                        : "the desktop saw no keystroke (only a pair that `kivoractl system` "
                          "lists is posted)");
    }
    std::string out;
    for (std::size_t i = before->size(); i < after->size(); ++i) {
        out += (*after)[i];
    }
    print(out);
    return kExitSuccess;
}

int quit(const Command& command) {
    std::string error;
    auto client = connectToHelper(command, error);
    if (!client || !client->post(names::terminateSubApp(), helperBusName())) {
        return fail(client ? client->lastError() : error);
    }
    switch (client->waitForOwnerToLeave(duration(command.timeoutSeconds))) {
        case BusClient::WaitOutcome::Done:
        case BusClient::WaitOutcome::OwnerLeft:
            print("The helper has quit.\n");
            return kExitSuccess;
        case BusClient::WaitOutcome::TimedOut:
            return fail("the helper is still running " + seconds(command.timeoutSeconds) +
                        " after " + names::terminateSubApp());
        case BusClient::WaitOutcome::Failed:
            break;
    }
    return fail(client->lastError());
}

std::string keyEventLine(std::uint16_t keyCode, bool down, std::uint64_t flags) {
    const auto& keys = kivora::KeyManager::shared();
    std::string line = padRight(down ? "down" : "up", 5);
    line += padLeft(std::to_string(keyCode), 5) + " " +
            padRight(keys.keyNameForKeyCode(keyCode), 7) + " flags " + std::to_string(flags);
    const std::string symbols = keys.modifierSymbolsForFlags(flags);
    if (!symbols.empty()) {
        line += " " + symbols;
    }
    return line + "\n";
}

std::optional<std::vector<std::string>> desktopSaw(BusClient& client, Action action) {
    std::vector<std::string> lines;
    if (action == Action::Press) {
        auto items = client.pressedItems();
        if (!items) {
            return std::nullopt;
        }
        for (const auto& item : *items) {
            lines.push_back("Desktop: pressed " + printable(item) + "\n");
        }
        return lines;
    }
    auto events = client.keyEvents();
    if (!events) {
        return std::nullopt;
    }
    for (const auto& event : *events) {
        lines.push_back(keyEventLine(event.keyCode, event.keyDown, event.flags));
    }
    return lines;
}

int desktop(const Command& command) {
    std::string error;
    auto client = connectToHelper(command, error);
    if (!client) {
        return fail(error);
    }
    const auto callFailed = [&](const char* what) {
        return fail(std::string("desktop ") + what + ": " + client->lastError());
    };
    const std::string& argument = command.argument;
    switch (command.desktop) {
        case DesktopAction::Activate:
            if (!client->activate(argument)) {
                return callFailed("activate");
            }
            print("Desktop: activated " + printable(argument) + "\n");
            return kExitSuccess;
        case DesktopAction::Quit:
            if (!client->quit(argument)) {
                return callFailed("quit");
            }
            print("Desktop: quit " + printable(argument) + "\n");
            return kExitSuccess;
        case DesktopAction::ActivateProcess: {
            const std::int32_t pid = command.processIdentifier;
            if (!client->activateProcess(pid)) {
                return callFailed("activate-pid");
            }
            print(pid == 0 ? std::string("Desktop: no application in front\n")
                           : "Desktop: activated process " + std::to_string(pid) + "\n");
            return kExitSuccess;
        }
        case DesktopAction::Trust:
            if (!client->setTrusted(command.trusted)) {
                return callFailed("trust");
            }
            print(std::string("Desktop: Accessibility permission ") +
                  (command.trusted ? "granted" : "withdrawn") + "\n");
            return kExitSuccess;
        case DesktopAction::Pressed: {
            auto items = client->pressedItems();
            if (!items) {
                return callFailed("pressed");
            }
            std::string out;
            for (const auto& item : *items) {
                out += printable(item) + "\n";
            }
            print(out.empty() ? "(no menu item pressed yet)\n" : out);
            return kExitSuccess;
        }
        case DesktopAction::Keys: {
            auto events = client->keyEvents();
            if (!events) {
                return callFailed("keys");
            }
            std::string out;
            for (const auto& event : *events) {
                out += keyEventLine(event.keyCode, event.keyDown, event.flags);
            }
            print(out.empty() ? "(no keyboard event posted yet)\n" : out);
            return kExitSuccess;
        }
        case DesktopAction::Prompts: {
            const auto count = client->promptCount();
            if (!count) {
                return callFailed("prompts");
            }
            print(std::to_string(*count) + "\n");
            return kExitSuccess;
        }
    }
    return kExitFailure;
}

}  // namespace

int runCommand(const Command& command) {
    switch (command.action) {
        case Action::Help:
            print(command.helpText);
            return kExitSuccess;
        case Action::Current:
            return current(command);
        case Action::System:
            return system(command);
        case Action::Permission:
            return permission(command);
        case Action::Press:
            return postAndConfirm(
                command,
                "Asked the helper to press \"" +
                    printable(command.argument.substr(names::currentClickedPrefix().size())) +
                    "\" (it sends no reply).");
        case Action::Key:
            return postAndConfirm(command,
                                  "Asked the helper to post " +
                                      command.argument.substr(names::systemClickedPrefix().size()) +
                                      " (only a pair it handed out is posted).");
        case Action::Quit:
            return quit(command);
        case Action::Desktop:
            return desktop(command);
    }
    return kExitFailure;
}

}  // namespace kivoractl
