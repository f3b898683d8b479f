#pragma once
// Text from the helper, made safe and measurable for a terminal: a menu title must not be able
// to move the cursor, reorder the line or break the table.

#include <cstddef>
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

}  // namespace kivoractl
