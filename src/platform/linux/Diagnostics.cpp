#include "platform/linux/Diagnostics.h"

#include <cstdio>
#include <mutex>

#include <unistd.h>

#include "platform/linux/WriteAll.h"

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

void writeDiagnostic(std::string_view message) {
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
    writeAll(STDERR_FILENO, line);
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
