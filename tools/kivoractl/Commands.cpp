#include "kivoractl/Commands.h"

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "keys/KeyManager.h"
#include "kivoractl/BusClient.h"
#include "kivoractl/JsonText.h"
#include "kivoractl/SheetTable.h"
#include "kivoractl/TerminalText.h"
#include "messaging/NotificationNames.h"

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

// Connects and makes sure the helper is there before anything is sent.
std::unique_ptr<BusClient> connectToHelper(std::string& error) {
    auto client = BusClient::connect(error);
    if (!client) {
        return nullptr;
    }
    const auto running = client->helperRunning(error);
    if (!running) {
        return nullptr;
    }
    if (!*running) {
        error = "the helper is not running: nobody owns " + names::helperIdentifier() +
                " on the session bus";
        return nullptr;
    }
    return client;
}

// Subscribes to `replies`, posts the request, waits for every reply.
std::unique_ptr<BusClient> request(const std::string& name, const std::vector<std::string>& replies,
                                   double timeoutSeconds, std::string& error,
                                   const std::function<void()>& whileWaiting = nullptr) {
    auto client = connectToHelper(error);
    if (!client) {
        return nullptr;
    }
    for (const auto& reply : replies) {
        if (!client->subscribe(reply, error)) {
            return nullptr;
        }
    }
    if (!client->post(name, names::helperIdentifier(), error)) {
        return nullptr;
    }
    if (whileWaiting) {
        whileWaiting();
    }
    switch (client->waitForReplies(replies, timeoutSeconds, error)) {
        case BusClient::WaitOutcome::Done:
            return client;
        case BusClient::WaitOutcome::Failed:
            return nullptr;
        case BusClient::WaitOutcome::HelperLeft:
            error = "the helper left the bus before answering " + name;
            return nullptr;
        case BusClient::WaitOutcome::TimedOut:
            break;
    }
    std::string missing;
    for (const auto& reply : replies) {
        if (client->received().count(reply) == 0) {
            missing += (missing.empty() ? "" : " and ") + reply;
        }
    }
    error = "no " + missing + " from the helper within " + seconds(timeoutSeconds) +
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
    auto client = request(names::getCurrentShortcut(), {replyName}, command.timeoutSeconds, error);
    if (!client) {
        return fail(error);
    }
    const Dictionary& userInfo = client->received().at(replyName).userInfo;
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
    auto client =
        request(names::getSystemShortcut(), {listReply, pairsReply}, command.timeoutSeconds, error);
    if (!client) {
        return fail(error);
    }
    const Dictionary& listInfo = client->received().at(listReply).userInfo;
    const Dictionary& pairsInfo = client->received().at(pairsReply).userInfo;
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
            print("Waiting up to " + seconds(command.timeoutSeconds) +
                  " for the Accessibility permission (the helper answers once it is "
                  "granted)...\n");
            std::fflush(stdout);
        }
    };
    auto client = request(names::accessibilityStatus(), {replyName}, command.timeoutSeconds, error,
                          sayWaiting);
    if (!client) {
        return fail(error);
    }
    const Dictionary& userInfo = client->received().at(replyName).userInfo;
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

// press and key: the helper sends no reply, so wait until it has handled the request.
int postAndConfirm(const Command& command, const std::string& done) {
    std::string error;
    auto client = connectToHelper(error);
    if (!client || !client->post(command.argument, names::helperIdentifier(), error) ||
        !client->barrier(command.timeoutSeconds, error)) {
        return fail(error);
    }
    print(done + "\n");
    return kExitSuccess;
}

int quit(const Command& command) {
    std::string error;
    auto client = connectToHelper(error);
    if (!client || !client->post(names::terminateSubApp(), names::helperIdentifier(), error)) {
        return fail(error);
    }
    switch (client->waitForHelperToLeave(command.timeoutSeconds, error)) {
        case BusClient::WaitOutcome::Done:
        case BusClient::WaitOutcome::HelperLeft:
            print("The helper has quit.\n");
            return kExitSuccess;
        case BusClient::WaitOutcome::TimedOut:
            return fail("the helper is still running " + seconds(command.timeoutSeconds) +
                        " after " + names::terminateSubApp());
        case BusClient::WaitOutcome::Failed:
            break;
    }
    return fail(error);
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

int desktop(const Command& command) {
    std::string error;
    auto client = connectToHelper(error);
    if (!client) {
        return fail(error);
    }
    const auto callFailed = [&](const char* what) {
        return fail(std::string("desktop ") + what + ": " + error);
    };
    const std::string& argument = command.argument;
    switch (command.desktop) {
        case DesktopAction::Activate:
        case DesktopAction::Quit: {
            const bool activate = command.desktop == DesktopAction::Activate;
            const auto appendIdentifier = [&](sd_bus_message* m) {
                return sd_bus_message_append(m, "s", argument.c_str());
            };
            if (!client->callDesktop(activate ? "Activate" : "Quit", appendIdentifier,
                                     command.timeoutSeconds, error)) {
                return callFailed(activate ? "activate" : "quit");
            }
            print((activate ? "Desktop: activated " : "Desktop: quit ") + printable(argument) +
                  "\n");
            return kExitSuccess;
        }
        case DesktopAction::ActivateProcess: {
            const std::int32_t pid = command.processIdentifier;
            if (!client->callDesktop(
                    "ActivateProcess",
                    [&](sd_bus_message* m) { return sd_bus_message_append(m, "i", pid); },
                    command.timeoutSeconds, error)) {
                return callFailed("activate-pid");
            }
            print(pid == 0 ? std::string("Desktop: no application in front\n")
                           : "Desktop: activated process " + std::to_string(pid) + "\n");
            return kExitSuccess;
        }
        case DesktopAction::Trust: {
            const int trusted = command.trusted ? 1 : 0;
            if (!client->callDesktop(
                    "SetTrusted",
                    [&](sd_bus_message* m) { return sd_bus_message_append(m, "b", trusted); },
                    command.timeoutSeconds, error)) {
                return callFailed("trust");
            }
            print(std::string("Desktop: Accessibility permission ") +
                  (command.trusted ? "granted" : "withdrawn") + "\n");
            return kExitSuccess;
        }
        case DesktopAction::Pressed: {
            auto reply =
                client->callDesktop("PressedItems", nullptr, command.timeoutSeconds, error);
            char** items = nullptr;
            if (!reply) {
                return callFailed("pressed");
            }
            if (sd_bus_message_read_strv(reply.get(), &items) < 0) {
                return fail("desktop pressed: unexpected reply");
            }
            std::string out;
            for (char** item = items; item != nullptr && *item != nullptr; ++item) {
                out += printable(*item) + "\n";
                std::free(*item);
            }
            std::free(items);
            print(out.empty() ? "(no menu item pressed yet)\n" : out);
            return kExitSuccess;
        }
        case DesktopAction::Keys: {
            auto reply = client->callDesktop("KeyEvents", nullptr, command.timeoutSeconds, error);
            if (!reply) {
                return callFailed("keys");
            }
            std::string out;
            int r = sd_bus_message_enter_container(reply.get(), 'a', "(qbt)");
            while (r > 0) {
                std::uint16_t keyCode = 0;
                int down = 0;
                std::uint64_t flags = 0;
                r = sd_bus_message_read(reply.get(), "(qbt)", &keyCode, &down, &flags);
                if (r > 0) {
                    out += keyEventLine(keyCode, down != 0, flags);
                }
            }
            if (r < 0) {
                return fail("desktop keys: unexpected reply");
            }
            print(out.empty() ? "(no keyboard event posted yet)\n" : out);
            return kExitSuccess;
        }
        case DesktopAction::Prompts: {
            auto reply = client->callDesktop("PromptCount", nullptr, command.timeoutSeconds, error);
            std::uint32_t count = 0;
            if (!reply) {
                return callFailed("prompts");
            }
            if (sd_bus_message_read(reply.get(), "u", &count) < 0) {
                return fail("desktop prompts: unexpected reply");
            }
            print(std::to_string(count) + "\n");
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
