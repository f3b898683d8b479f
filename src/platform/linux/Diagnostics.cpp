#include "platform/linux/Diagnostics.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/linux/OutputPump.h"

namespace kivora::linux_ {

namespace {

std::mutex programMutex;

std::string& program() {
    static std::string name = "KivoraData";
    return name;
}

}  // namespace

void setDiagnosticProgram(std::string_view name) {
    std::lock_guard lock(programMutex);
    program() = std::string(name);
}

namespace {

// A flood of one message (a client repeating a bad request) becomes its first line and,
// when something else is said, at exit or after this long, one count of the repeats.
constexpr auto kRepeatWindow = std::chrono::seconds(10);

struct Repeats {
    std::mutex mutex;
    std::string last;
    std::size_t count = 0;
    std::chrono::steady_clock::time_point since;
};

Repeats& repeats() {
    static Repeats* state = new Repeats;  // still used while static objects are destroyed
    return *state;
}

std::string prefixed(std::string_view message) {
    std::string line;
    {
        std::lock_guard lock(programMutex);
        line = program();
    }
    line += ": ";
    // A line feed inside the message would split one diagnostic into two lines.
    for (char c : message) {
        line += (c == '\n' || c == '\r') ? ' ' : c;
    }
    line += '\n';
    return line;
}

// The count of repeats, or nothing; called with the repeats' mutex held.
std::string takeRepeatsLine(Repeats& state) {
    if (state.count == 0) {
        return {};
    }
    std::string line = "\u2026 " + groupThousands(state.count) + " more like this";
    state.count = 0;
    return prefixed(line);
}

void reportRepeatsAtExit() {
    Repeats& state = repeats();
    std::string line;
    {
        std::lock_guard lock(state.mutex);
        line = takeRepeatsLine(state);
    }
    if (!line.empty()) {
        queueOutput(OutputStream::standardError, std::move(line));
    }
}

}  // namespace

std::string groupThousands(std::size_t number) {
    std::string digits = std::to_string(number);
    for (std::size_t i = digits.size(); i > 3; i -= 3) {
        digits.insert(i - 3, ",");
    }
    return digits;
}

void writeDiagnostic(std::string_view message) {
    static std::once_flag registered;
    // Registered after the output's own exit flush, so it runs before it.
    std::call_once(registered, [] { std::atexit(reportRepeatsAtExit); });
    Repeats& state = repeats();
    std::string pending;
    {
        std::lock_guard lock(state.mutex);
        const auto now = std::chrono::steady_clock::now();
        if (message == state.last && now - state.since < kRepeatWindow) {
            ++state.count;
            return;
        }
        pending = takeRepeatsLine(state);
        state.last = std::string(message);
        state.since = now;
        pending += prefixed(message);
    }
    queueOutput(OutputStream::standardError, std::move(pending));
}

std::string quoteForDiagnostic(std::string_view text, std::size_t maxBytes) {
    std::size_t cut = text.size();
    if (cut > maxBytes) {
        cut = maxBytes;
        // Back up to the start of a UTF-8 sequence.
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
            --cut;
        }
    }
    std::string out = "\"";
    for (char c : text.substr(0, cut)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            out += escaped;
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    out += '"';
    if (cut < text.size()) {
        out += "... (" + std::to_string(text.size()) + " bytes)";
    }
    return out;
}

}  // namespace kivora::linux_
