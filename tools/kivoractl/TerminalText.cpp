#include "kivoractl/TerminalText.h"

#include <utf8proc.h>

#include <charconv>
#include <cstdio>
#include <cstring>

namespace kivoractl {

namespace {

// Calls `visit(codepoint, bytes)` for each character; invalid bytes come as -1, one at a time.
template <typename Visit>
void forEachCodepoint(std::string_view text, Visit visit) {
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    std::size_t i = 0;
    while (i < text.size()) {
        utf8proc_int32_t codepoint = -1;
        const auto length =
            utf8proc_iterate(bytes + i, static_cast<utf8proc_ssize_t>(text.size() - i), &codepoint);
        if (length <= 0) {
            visit(-1, text.substr(i, 1));
            ++i;
            continue;
        }
        visit(codepoint, text.substr(i, static_cast<std::size_t>(length)));
        i += static_cast<std::size_t>(length);
    }
}

bool reordersText(utf8proc_int32_t c) {
    return c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

bool isValidUtf8(std::string_view text) {
    bool valid = true;
    forEachCodepoint(text, [&](utf8proc_int32_t c, std::string_view) {
        if (c <= 0) {
            valid = false;
        }
    });
    return valid;
}

std::string printable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    forEachCodepoint(text, [&](utf8proc_int32_t c, std::string_view bytes) {
        if (c < 0) {
            out += "\xEF\xBF\xBD";  // U+FFFD
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || (c >= 0x7F && c < 0xA0) || reordersText(c)) {
            char escape[16];
            std::snprintf(escape, sizeof escape, "\\u{%X}", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += bytes;
        }
    });
    return out;
}

std::size_t displayWidth(std::string_view text) {
    std::size_t width = 0;
    forEachCodepoint(text, [&](utf8proc_int32_t c, std::string_view) {
        width += c < 0 ? 1 : static_cast<std::size_t>(utf8proc_charwidth(c));
    });
    return width;
}

std::string padRight(std::string_view text, std::size_t width) {
    std::string out(text);
    const std::size_t used = displayWidth(text);
    if (used < width) {
        out.append(width - used, ' ');
    }
    return out;
}

std::string padLeft(std::string_view text, std::size_t width) {
    const std::size_t used = displayWidth(text);
    std::string out(used < width ? width - used : 0, ' ');
    out += text;
    return out;
}

std::string shortened(std::string_view text, std::size_t width) {
    if (displayWidth(text) <= width) {
        return std::string(text);
    }
    static const std::string kEllipsis = "\xE2\x80\xA6";
    // Whole graphemes only: a cluster is added once its last combining mark is known.
    std::string out;
    std::string cluster;
    std::size_t used = 0;
    std::size_t clusterWidth = 0;
    utf8proc_int32_t previous = -1;  // none yet, or an invalid byte
    utf8proc_int32_t state = 0;
    bool full = width == 0;
    forEachCodepoint(text, [&](utf8proc_int32_t c, std::string_view bytes) {
        if (full) {
            return;
        }
        if (!cluster.empty() &&
            (c < 0 || previous < 0 || utf8proc_grapheme_break_stateful(previous, c, &state))) {
            if (used + clusterWidth + 1 > width) {
                full = true;
                return;
            }
            out += cluster;
            used += clusterWidth;
            cluster.clear();
            clusterWidth = 0;
        }
        cluster += bytes;
        clusterWidth += c < 0 ? 1 : static_cast<std::size_t>(utf8proc_charwidth(c));
        previous = c;
    });
    // The text is wider than `width`, so its last cluster never fits beside the ellipsis.
    return width == 0 ? std::string() : out + kEllipsis;
}

std::size_t outputWidth(const char* columnsVariable, std::optional<std::size_t> terminalColumns) {
    if (columnsVariable != nullptr) {
        std::size_t columns = 0;
        const char* end = columnsVariable + std::strlen(columnsVariable);
        const auto result = std::from_chars(columnsVariable, end, columns);
        if (result.ec == std::errc() && result.ptr == end && columns > 0) {
            return columns;
        }
    }
    return terminalColumns.value_or(0) > 0 ? *terminalColumns : 80;
}

bool wantsColour(bool isTerminal, const char* noColorVariable) {
    return isTerminal && noColorVariable == nullptr;
}

}  // namespace kivoractl
