#include "kivoractl/SheetTable.h"

#include <utf8proc.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <optional>
#include <vector>

#include "kivoractl/TerminalText.h"

namespace kivoractl {

using kivora::Array;
using kivora::Value;

namespace {

// On a narrow terminal titles keep this much room and the row overflows instead.
constexpr std::size_t kNarrowestLabelColumn = 12;

struct Line {
    bool isRow = false;
    bool isHeading = false;
    std::string text;  // a heading line, when not a row
    std::size_t indent = 0;
    std::string label;
    std::string modifier;
    std::string key;
    std::string extra;
};

Line textLine(std::string text) {
    Line line;
    line.text = std::move(text);
    return line;
}

Line headingLine(std::string text) {
    Line line = textLine(std::move(text));
    line.isHeading = true;
    return line;
}

std::string styled(const std::string& text, const char* escape, const SheetStyle& style) {
    return style.colour && !text.empty() ? escape + text + "\x1B[0m" : text;
}

std::string bold(const std::string& text, const SheetStyle& style) {
    return styled(text, "\x1B[1m", style);
}

Line rowLine(std::size_t indent, std::string label, std::string modifier, std::string key) {
    Line line;
    line.isRow = true;
    line.indent = indent;
    line.label = std::move(label);
    line.modifier = std::move(modifier);
    line.key = std::move(key);
    return line;
}

std::string stringAt(const Value& record, std::string_view key) {
    const Value* value = record.find(key);
    return value != nullptr && value->isString() ? value->asString() : std::string();
}

std::string trimRight(std::string text) {
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

std::string layOut(const std::vector<Line>& lines, const SheetStyle& style) {
    std::size_t labelColumn = 0;
    std::size_t modifierColumn = 0;
    std::size_t keyColumn = 0;
    std::size_t extraColumn = 0;
    for (const Line& line : lines) {
        if (line.isRow) {
            labelColumn = std::max(labelColumn, line.indent + displayWidth(line.label));
            modifierColumn = std::max(modifierColumn, displayWidth(line.modifier));
            keyColumn = std::max(keyColumn, displayWidth(line.key));
            extraColumn = std::max(extraColumn, displayWidth(line.extra));
        }
    }
    const std::size_t rest =
        2 + modifierColumn + keyColumn + (extraColumn > 0 ? 2 + extraColumn : 0);
    labelColumn = std::min(
        labelColumn, std::max(kNarrowestLabelColumn, style.width > rest ? style.width - rest : 0));

    std::string out;
    for (const Line& line : lines) {
        if (!line.isRow) {
            const std::string text = style.full ? line.text : shortened(line.text, style.width);
            out += line.isHeading ? bold(text, style) : text;
            out += '\n';
            continue;
        }
        // A title too long for its column is shortened, or with --full overflows its row.
        const std::size_t room = labelColumn > line.indent ? labelColumn - line.indent : 1;
        const std::string label = style.full ? line.label : shortened(line.label, room);
        std::string row = padRight(std::string(line.indent, ' ') + label, labelColumn);
        row += "  ";
        row += padLeft("", modifierColumn - displayWidth(line.modifier));
        row += styled(line.modifier, "\x1B[2m", style);
        row += padRight(line.key, keyColumn);
        if (!line.extra.empty()) {
            row += "  ";
            row += line.extra;
        }
        out += trimRight(std::move(row));
        out += '\n';
    }
    return out;
}

// "fn" is a word, not a glyph: keep it apart from the key.
std::string modifierText(const std::string& modifier) {
    return modifier == "fn" ? "fn " : printable(modifier);
}

std::string countLine(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " shortcut" : " shortcuts");
}

// A header that continues the current category or menu ("File/Open Recent" under "File") is
// shown as its last part; any other string starts a new section.
bool isSubheader(const std::optional<std::string>& section, const std::string& header) {
    return section && header.size() > section->size() && header.starts_with(*section) &&
           header[section->size()] == '/';
}

std::string subheaderLine(const std::string& section, const std::string& header) {
    const std::string name = header.substr(section.size() + 1);
    return "  \xE2\x96\xB8 " + (name.empty() ? std::string("(untitled)") : printable(name));
}

std::string sectionLine(const std::string& header) {
    return header.empty() ? std::string("(untitled)") : printable(header);
}

// The helper writes the first menu's "Apple" title as the logo character U+F8FF, which
// terminal fonts rarely draw.
std::string menuSectionLine(const std::string& header) {
    static const std::string kLogo = "\xEF\xA3\xBF";
    return header == kLogo ? kLogo + " (Apple menu)" : sectionLine(header);
}

struct NamedCode {
    std::int64_t code;
    const char* name;
};

std::optional<std::string> lookUp(const NamedCode* first, const NamedCode* last,
                                  std::int64_t code) {
    const auto* found =
        std::find_if(first, last, [code](const NamedCode& entry) { return entry.code == code; });
    return found == last ? std::nullopt : std::optional<std::string>(found->name);
}

// The menu glyph codes of the platform's menu manager.
std::optional<std::string> glyphName(std::int64_t code) {
    static constexpr NamedCode kGlyphs[] = {
        {0x02, "⇥"},
        {0x03, "⇤"},
        {0x04, "⌅"},
        {0x05, "⇧"},
        {0x06, "⌃"},
        {0x07, "⌥"},
        {0x09, "Space"},
        {0x0A, "⌦"},
        {0x0B, "↩"},
        {0x0C, "↪"},
        {0x0D, "↩"},
        {0x0F, "✎"},
        {0x10, "⇣"},
        {0x11, "⌘"},
        {0x12, "✓"},
        {0x13, "◆"},
        {0x14, "\xEF\xA3\xBF"},
        {0x17, "⌫"},
        {0x18, "⇠"},
        {0x19, "⇡"},
        {0x1A, "⇢"},
        {0x1B, "⎋"},
        {0x1C, "⌧"},
        {0x62, "⇞"},
        {0x63, "⇪"},
        {0x64, "←"},
        {0x65, "→"},
        {0x66, "↖"},
        {0x67, "Help"},
        {0x68, "↑"},
        {0x69, "↘"},
        {0x6A, "↓"},
        {0x6B, "⇟"},
        {0x6E, "⌽"},
        {0x8C, "⏏"},
    };
    if (auto name = lookUp(std::begin(kGlyphs), std::end(kGlyphs), code)) {
        return name;
    }
    // Function keys: F1-F12, F13-F15 and F16-F19 in three runs.
    if (code >= 0x6F && code <= 0x7A) {
        return "F" + std::to_string(code - 0x6F + 1);
    }
    if (code >= 0x87 && code <= 0x89) {
        return "F" + std::to_string(code - 0x87 + 13);
    }
    if (code >= 0x8F && code <= 0x92) {
        return "F" + std::to_string(code - 0x8F + 16);
    }
    return std::nullopt;
}

// A command character that stands for a key rather than printing as itself: control
// characters and the platform's function-key characters (U+F700...).
std::optional<std::string> specialKeyName(const std::string& cmdChar) {
    utf8proc_int32_t c = -1;
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(cmdChar.data());
    const auto length = utf8proc_iterate(bytes, static_cast<utf8proc_ssize_t>(cmdChar.size()), &c);
    if (length <= 0 || static_cast<std::size_t>(length) != cmdChar.size()) {
        return std::nullopt;
    }
    static constexpr NamedCode kKeys[] = {
        {0x03, "⌅"},   {0x08, "⌫"},   {0x09, "⇥"},   {0x0D, "↩"},   {0x1B, "⎋"},   {0x20, "Space"},
        {0x7F, "⌫"},   {0xF700, "↑"}, {0xF701, "↓"}, {0xF702, "←"}, {0xF703, "→"}, {0xF728, "⌦"},
        {0xF729, "↖"}, {0xF72B, "↘"}, {0xF72C, "⇞"}, {0xF72D, "⇟"}, {0xF739, "⌧"},
    };
    if (auto name = lookUp(std::begin(kKeys), std::end(kKeys), c)) {
        return name;
    }
    if (c >= 0xF704 && c <= 0xF726) {
        return "F" + std::to_string(c - 0xF704 + 1);
    }
    return std::nullopt;
}

std::optional<std::int64_t> smallDecimal(const std::string& text) {
    if (text.empty() || text.size() > 4) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

std::optional<std::string> pairText(const Value& pair) {
    const Value* keyCode = pair.find("keyCode");
    const Value* flags = pair.find("flags");
    if (keyCode == nullptr || flags == nullptr || !keyCode->isInteger() || !flags->isInteger()) {
        return std::nullopt;
    }
    return "key " + std::to_string(keyCode->asInteger()) + " " + std::to_string(flags->asInteger());
}

}  // namespace

std::string menuKeyText(const std::string& cmdChar, const std::string& glyph) {
    if (!cmdChar.empty()) {
        if (auto name = specialKeyName(cmdChar)) {
            return *name;
        }
        return printable(cmdChar);
    }
    if (auto code = smallDecimal(glyph)) {
        if (auto name = glyphName(*code)) {
            return *name;
        }
        return "glyph " + glyph;
    }
    return printable(glyph);
}

std::string renderMenuSheet(const Array& currentShortcut, const SheetStyle& style) {
    std::size_t end = currentShortcut.size();
    std::string out;
    // Headers always precede a record, so a string at the end is the application title.
    if (end > 0 && currentShortcut.back().isString()) {
        std::string title = printable(currentShortcut.back().asString());
        title = style.full ? title : shortened(title, style.width);
        out += bold(title, style) + "\n" +
               std::string(std::max<std::size_t>(displayWidth(title), 1), '=') + "\n\n";
        --end;
    }

    std::vector<Line> lines;
    std::optional<std::string> menu;
    std::size_t records = 0;
    for (std::size_t i = 0; i < end; ++i) {
        const Value& entry = currentShortcut[i];
        if (entry.isString()) {
            const std::string& header = entry.asString();
            if (isSubheader(menu, header)) {
                lines.push_back(headingLine(subheaderLine(*menu, header)));
                continue;
            }
            if (menu) {
                lines.push_back(textLine(""));
            }
            menu = header;
            lines.push_back(headingLine(menuSectionLine(header)));
        } else if (entry.isDictionary()) {
            const std::string title = stringAt(entry, "Title");
            // Items below a submenu carry its path; items of the menu itself its title.
            const bool inSubmenu = menu && stringAt(entry, "Path") != *menu;
            lines.push_back(rowLine(inSubmenu ? 4 : 2,
                                    title.empty() ? "(untitled)" : printable(title),
                                    modifierText(stringAt(entry, "Modifier")),
                                    menuKeyText(stringAt(entry, "MenuItemCmdChar"),
                                                stringAt(entry, "MenuItemCmdGlyph"))));
            ++records;
        } else {
            lines.push_back(
                textLine("  (unexpected entry " + printable(toDebugString(entry)) + ")"));
        }
    }
    if (records == 0) {
        return out +
               "No menu shortcuts (no target application, no menu bar, or no Accessibility "
               "permission).\n";
    }
    return out + layOut(lines, style) + "\n" + countLine(records) + "\n";
}

std::string renderSystemSheet(const Array& systemShortcut, const Array* systemPairs,
                              const SheetStyle& style) {
    const std::size_t recordCount =
        static_cast<std::size_t>(std::count_if(systemShortcut.begin(), systemShortcut.end(),
                                               [](const Value& v) { return v.isDictionary(); }));
    // This run's pairs were appended last, one per record, in record order.
    const Value* pair = nullptr;
    if (systemPairs != nullptr && systemPairs->size() >= recordCount) {
        pair = systemPairs->data() + (systemPairs->size() - recordCount);
    }

    std::vector<Line> lines;
    std::optional<std::string> category;
    for (const Value& entry : systemShortcut) {
        if (entry.isString()) {
            const std::string& header = entry.asString();
            if (isSubheader(category, header)) {
                lines.push_back(headingLine(subheaderLine(*category, header)));
                continue;
            }
            if (category) {
                lines.push_back(textLine(""));
            }
            category = header;
            lines.push_back(headingLine(sectionLine(header)));
        } else if (entry.isDictionary()) {
            // "Category//Group//Name" or "Category//Name": the name is the last part.
            const std::string title = stringAt(entry, "Title");
            std::size_t parts = 1;
            std::size_t nameStart = 0;
            for (auto at = title.find("//"); at != std::string::npos;
                 at = title.find("//", at + 2)) {
                ++parts;
                nameStart = at + 2;
            }
            const std::string name = title.substr(nameStart);
            Line line = rowLine(parts >= 3 ? 4 : 2, name.empty() ? "(untitled)" : printable(name),
                                modifierText(stringAt(entry, "Modifier")),
                                printable(stringAt(entry, "key")));
            if (pair != nullptr) {
                line.extra = pairText(*pair).value_or("");
                ++pair;
            }
            lines.push_back(std::move(line));
        } else {
            lines.push_back(
                textLine("  (unexpected entry " + printable(toDebugString(entry)) + ")"));
        }
    }
    if (recordCount == 0) {
        return "No system shortcuts (no symbolic hot-key preferences).\n";
    }
    return layOut(lines, style) + "\n" + countLine(recordCount) + "\n";
}

}  // namespace kivoractl
