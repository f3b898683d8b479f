#pragma once
// Text from the helper, made safe and measurable for a terminal: a menu title must not be able
// to move the cursor, reorder the line or break the table.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kivoractl {

// Valid UTF-8 without NUL (what a D-Bus string may hold).
bool isValidUtf8(std::string_view text);

// `text` with control characters and bidirectional overrides written as escapes ("\n",
// "\u{1B}") and invalid UTF-8 replaced by U+FFFD.
std::string printable(std::string_view text);

// Terminal columns of printable text: wide characters count 2, combining marks 0.
std::size_t displayWidth(std::string_view text);

// `text` followed (padRight) or preceded (padLeft) by spaces up to `width` columns.
std::string padRight(std::string_view text, std::size_t width);
std::string padLeft(std::string_view text, std::size_t width);

// `text` cut to at most `width` columns and ending in "…" when cut; never cut inside a
// character or between a character and its combining marks.
std::string shortened(std::string_view text, std::size_t width);

// The width tables are laid out for: COLUMNS when it holds a positive number, else the
// terminal's width, else 80.
std::size_t outputWidth(const char* columnsVariable, std::optional<std::size_t> terminalColumns);

// Colour only on a terminal, and never when NO_COLOR is set, whatever its value.
bool wantsColour(bool isTerminal, const char* noColorVariable);

}  // namespace kivoractl
