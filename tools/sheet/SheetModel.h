#pragma once
// What the sheet shows, made from the helper's replies: groups of shortcuts in menu order,
// each item with its text already made safe to display and to search.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "messaging/Value.h"

namespace kivora::sheet {

struct KeyPair {
    std::int64_t keyCode = 0;
    std::int64_t flags = 0;
};

struct Item {
    std::string title;            // as received: the press request names it exactly
    std::string label;            // the title made printable
    std::string shortcut;         // modifier glyphs and key, printable
    std::optional<KeyPair> pair;  // system shortcuts: what the keystroke request sends
    std::string searchText;       // folded title, group and shortcut
};

struct Group {
    std::string path;   // "File/Open Recent"; the lookup key for records
    std::string label;  // what the heading shows: "File", "Open Recent"
    int depth = 0;      // 0 for a menu or category, 1 and more for submenus
    std::vector<Item> items;
};

struct Sheet {
    std::string title;  // the application title, printable; empty for the system sheet
    std::vector<Group> groups;
    std::size_t itemCount() const;
};

// The menu sheet from "currentShortcut"; none when the value is not an array. Entries of an
// unexpected kind are skipped and counted in `skipped`.
std::optional<Sheet> menuSheet(const Value& currentShortcut, std::size_t& skipped);

// The system sheet from "systemShortcut", with the pairs of "keyCodeAndFlagsArrData" (this
// run's pairs come last, one per record in record order); none when either has the wrong shape.
std::optional<Sheet> systemSheet(const Value& systemShortcut, const Value& pairs,
                                 std::size_t& skipped);

// The groups and items that match `query` (case-insensitive, canonically equivalent) in their
// title, group or shortcut; a group whose own name matches keeps all of its items. Groups left
// without items are dropped.
Sheet filtered(const Sheet& sheet, std::string_view query);

// Groups (by index) per column, in order, so that `columns` columns come out about equally
// tall; a heading counts as one row. Never more columns than groups.
std::vector<std::vector<std::size_t>> splitIntoColumns(const Sheet& sheet, std::size_t columns);

}  // namespace kivora::sheet
