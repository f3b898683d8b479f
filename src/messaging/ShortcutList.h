#pragma once
// The shortcut lists the sheet shows, as typed entries: header strings between records, and
// for a menu list the application title last (a string too). Building them costs no map per
// record; the wire form is written from them in one pass.

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "messaging/Value.h"

namespace kivora {

struct MenuShortcutRecord {
    std::string cmdChar;
    std::string glyph;
    std::string modifier;
    std::string path;
    std::string title;
    bool operator==(const MenuShortcutRecord&) const = default;
};

struct SystemShortcutRecord {
    std::string title;
    std::string modifier;
    std::string key;
    bool operator==(const SystemShortcutRecord&) const = default;
};

using ShortcutEntry = std::variant<std::string, MenuShortcutRecord, SystemShortcutRecord>;
using ShortcutList = std::vector<ShortcutEntry>;

// Calls `field(key, text)` for every field of a record, under the keys and in the order the
// main application reads them (the key order of a property-list dictionary).
template <typename Field>
void forEachField(const MenuShortcutRecord& record, Field&& field) {
    field(std::string_view("MenuItemCmdChar"), record.cmdChar);
    field(std::string_view("MenuItemCmdGlyph"), record.glyph);
    field(std::string_view("Modifier"), record.modifier);
    field(std::string_view("Path"), record.path);
    field(std::string_view("Title"), record.title);
}
template <typename Field>
void forEachField(const SystemShortcutRecord& record, Field&& field) {
    field(std::string_view("Modifier"), record.modifier);
    field(std::string_view("Title"), record.title);
    field(std::string_view("key"), record.key);
}

// The property-list form: strings stay strings, records become string dictionaries.
Value toValue(const ShortcutEntry& entry);
Array toArray(const ShortcutList& list);

}  // namespace kivora
