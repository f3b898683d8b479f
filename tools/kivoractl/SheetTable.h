#pragma once
// The two shortcut lists as the main application would show them: aligned tables grouped under
// their headers, each shortcut as modifier glyphs followed by its key.

#include <string>

#include "messaging/Value.h"

namespace kivoractl {

// How a sheet meets its terminal: rows fit `width` columns by shortening titles with "…"
// (never, when `full`); with `colour`, headers are bold and modifier glyphs dim.
struct SheetStyle {
    std::size_t width = 80;
    bool full = false;
    bool colour = false;
};

// The menu shortcut list ("currentShortcut"): the application title (its last entry, when that
// is a string) as a heading, then every menu and submenu header with its records.
std::string renderMenuSheet(const kivora::Array& currentShortcut, const SheetStyle& style = {});

// The system shortcut list ("systemShortcut") under its category and group headers. When
// `systemPairs` ("keyCodeAndFlagsArrData") is given, each record also shows its key code and
// flags, the arguments of `kivoractl key`: this run's pairs are the last ones, in record order.
std::string renderSystemSheet(const kivora::Array& systemShortcut, const kivora::Array* systemPairs,
                              const SheetStyle& style = {});

// The key of a menu item: its command character, or else its glyph. Function-key characters,
// control characters and numeric glyph codes become the symbols a menu shows.
std::string menuKeyText(const std::string& cmdChar, const std::string& glyph);

}  // namespace kivoractl
