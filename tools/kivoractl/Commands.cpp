#include "kivoractl/Commands.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "KivoraVersion.h"
#include "kivoractl/Desktop.h"
#include "kivoractl/Monitor.h"
#include "kivoractl/Output.h"
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
    if (command.json != JsonForm::Off) {
        printJson(userInfo, command.json);
        return kExitSuccess;
    }
    const Array* list = arrayIn(userInfo, names::currentShortcutKey());
    if (list == nullptr) {
        return fail(replyName + " carries no \"" + names::currentShortcutKey() + "\" list");
    }
    print(renderMenuSheet(*list, terminalStyle(command.full)));
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
    if (command.json != JsonForm::Off) {
        printJson(Dictionary{{listReply, listInfo}, {pairsReply, pairsInfo}}, command.json);
        return kExitSuccess;
    }
    const Array* list = arrayIn(listInfo, names::systemShortcutKey());
    if (list == nullptr) {
        return fail(listReply + " carries no \"" + names::systemShortcutKey() + "\" list");
    }
    print(renderSystemSheet(*list, arrayIn(pairsInfo, names::keyCodeAndFlagsArrDataKey()),
                            terminalStyle(command.full)));
    return kExitSuccess;
}

int permission(const Command& command) {
    std::string error;
    const std::string& replyName = names::accessibilityStatusResponse();
    const auto sayWaiting = [&] {
        if (command.json == JsonForm::Off) {
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
    if (command.json != JsonForm::Off) {
        printJson(userInfo, command.json);
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
        if (command.json != JsonForm::Off) {
            printJson(Dictionary{{"request", command.argument}, {"confirmed", Value(false)}},
                      command.json);
        } else {
            print(done + "\n");
        }
        return kExitSuccess;
    }
    if (after->size() <= before->size()) {
        return fail(command.action == Action::Press
                        ? "the desktop saw no menu item pressed (is the title in the last harvest?)"
                        : "the desktop saw no keystroke (only a pair that `kivoractl system` "
                          "lists is posted)");
    }
    printSeen(command.action,
              Array(after->begin() + static_cast<std::ptrdiff_t>(before->size()), after->end()),
              command.json);
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

int desktop(const Command& command) {
    std::string error;
    auto client = connectToHelper(command, error);
    return client ? runDesktop(*client, command) : fail(error);
}

}  // namespace

int runCommand(const Command& command) {
    switch (command.action) {
        case Action::Help:
            print(command.helpText);
            return kExitSuccess;
        case Action::Version:
            print(std::string("kivoractl ") + kivora::kVersion + "\n");
            return kExitSuccess;
        case Action::Monitor:
            return monitor(command);
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
