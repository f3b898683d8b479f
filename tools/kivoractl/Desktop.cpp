#include "kivoractl/Desktop.h"

#include "keys/KeyManager.h"
#include "kivoractl/Commands.h"
#include "kivoractl/Output.h"
#include "kivoractl/TerminalText.h"

namespace kivoractl {

using kivora::Array;
using kivora::Dictionary;
using kivora::Value;
using kivora::linux_::wire::BusClient;

namespace {

std::string keyEventLine(const Value& event) {
    const auto number = [&](const char* key) {
        const Value* value = event.find(key);
        return value != nullptr && value->isInteger() ? value->asInteger() : 0;
    };
    const auto keyCode = static_cast<std::uint16_t>(number("keyCode"));
    const auto flags = static_cast<std::uint64_t>(number("flags"));
    const Value* down = event.find("keyDown");
    const auto& keys = kivora::KeyManager::shared();
    std::string line =
        padRight(down != nullptr && down->isBool() && down->asBool() ? "down" : "up", 5);
    line += padLeft(std::to_string(keyCode), 5) + " " +
            padRight(keys.keyNameForKeyCode(keyCode), 7) + " flags " + std::to_string(flags);
    const std::string symbols = keys.modifierSymbolsForFlags(flags);
    if (!symbols.empty()) {
        line += " " + symbols;
    }
    return line + "\n";
}

}  // namespace

std::optional<Array> desktopSaw(BusClient& client, Action action) {
    Array records;
    if (action == Action::Press) {
        auto items = client.pressedItems();
        if (!items) {
            return std::nullopt;
        }
        records.assign(items->begin(), items->end());
        return records;
    }
    auto events = client.keyEvents();
    if (!events) {
        return std::nullopt;
    }
    for (const auto& event : *events) {
        records.push_back(Dictionary{{"keyCode", Value(static_cast<std::int64_t>(event.keyCode))},
                                     {"keyDown", Value(event.keyDown)},
                                     {"flags", Value(static_cast<std::int64_t>(event.flags))}});
    }
    return records;
}

void printSeen(Action action, const Array& records, JsonForm json) {
    if (json != JsonForm::Off) {
        printJsonRecords(records, json);
        return;
    }
    std::string out;
    for (const auto& record : records) {
        out +=
            action == Action::Press
                ? "Desktop: pressed " + printable(record.isString() ? record.asString() : "") + "\n"
                : keyEventLine(record);
    }
    print(out);
}

int runDesktop(BusClient& client, const Command& command) {
    const auto callFailed = [&](const char* what) {
        return fail(std::string("desktop ") + what + ": " + client.lastError());
    };
    const std::string& argument = command.argument;
    switch (command.desktop) {
        case DesktopAction::Activate:
            if (!client.activate(argument)) {
                return callFailed("activate");
            }
            print("Desktop: activated " + printable(argument) + "\n");
            return kExitSuccess;
        case DesktopAction::Quit:
            if (!client.quit(argument)) {
                return callFailed("quit");
            }
            print("Desktop: quit " + printable(argument) + "\n");
            return kExitSuccess;
        case DesktopAction::ActivateProcess: {
            const std::int32_t pid = command.processIdentifier;
            if (!client.activateProcess(pid)) {
                return callFailed("activate-pid");
            }
            print(pid == 0 ? std::string("Desktop: no application in front\n")
                           : "Desktop: activated process " + std::to_string(pid) + "\n");
            return kExitSuccess;
        }
        case DesktopAction::Trust:
            if (!client.setTrusted(command.trusted)) {
                return callFailed("trust");
            }
            print(std::string("Desktop: Accessibility permission ") +
                  (command.trusted ? "granted" : "withdrawn") + "\n");
            return kExitSuccess;
        case DesktopAction::Pressed:
        case DesktopAction::Keys: {
            const bool pressed = command.desktop == DesktopAction::Pressed;
            const auto records = desktopSaw(client, pressed ? Action::Press : Action::Key);
            if (!records) {
                return callFailed(pressed ? "pressed" : "keys");
            }
            if (records->empty() && command.json == JsonForm::Off) {
                print(pressed ? "(no menu item pressed yet)\n"
                              : "(no keyboard event posted yet)\n");
                return kExitSuccess;
            }
            // Every line reads as a record here, not as news of a press.
            if (pressed && command.json == JsonForm::Off) {
                std::string out;
                for (const auto& item : *records) {
                    out += printable(item.asString()) + "\n";
                }
                print(out);
                return kExitSuccess;
            }
            printSeen(pressed ? Action::Press : Action::Key, *records, command.json);
            return kExitSuccess;
        }
        case DesktopAction::Prompts: {
            const auto count = client.promptCount();
            if (!count) {
                return callFailed("prompts");
            }
            if (command.json != JsonForm::Off) {
                printJson(Dictionary{{"prompts", Value(static_cast<std::int64_t>(*count))}},
                          command.json);
            } else {
                print(std::to_string(*count) + "\n");
            }
            return kExitSuccess;
        }
    }
    return kExitFailure;
}

}  // namespace kivoractl
