#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kivoractl/SheetTable.h"
#include "kivoractl/TerminalText.h"

namespace kivoractl {
namespace {

using kivora::Array;
using kivora::Dictionary;
using kivora::Value;

Value menuRecord(const std::string& path, const std::string& title, const std::string& modifier,
                 const std::string& cmdChar, const std::string& glyph = "") {
    return Dictionary{{"Path", path},
                      {"Title", title},
                      {"Modifier", modifier},
                      {"MenuItemCmdChar", cmdChar},
                      {"MenuItemCmdGlyph", glyph}};
}

Value systemRecord(const std::string& title, const std::string& modifier, const std::string& key) {
    return Dictionary{{"Title", title}, {"Modifier", modifier}, {"key", key}};
}

Value pair(std::int64_t keyCode, std::int64_t flags) {
    return Dictionary{{"keyCode", keyCode}, {"flags", flags}};
}

TEST(KivoractlMenuSheet, SubmenusGlyphsAndWideText) {
    const Array list = {"File",
                        menuRecord("File", "New", "⌘", "N"),
                        "File/Open Recent",
                        menuRecord("File/Open Recent", "Clear Menu", "⌥⇧⌘", "K"),
                        menuRecord("File", "Print…", "⌘", "P"),
                        "编辑",
                        menuRecord("编辑", "撤销", "⌃⌘", "Z"),
                        menuRecord("编辑", "Delete", "fn", "", "23"),
                        menuRecord("编辑", "Up", "⌘", "\xEF\x9C\x80"),  // U+F700
                        menuRecord("编辑", "F5", "⌃", "\xEF\x9C\x88"),  // U+F708
                        menuRecord("编辑", "Tab", "⌘", "", "2"),
                        menuRecord("编辑", "Odd", "⌘", "", "250")};
    EXPECT_EQ(renderMenuSheet(list),
              "File\n"
              "  New             ⌘N\n"
              "  \xE2\x96\xB8 Open Recent\n"
              "    Clear Menu  ⌥⇧⌘K\n"
              "  Print…          ⌘P\n"
              "\n"
              "编辑\n"
              "  撤销           ⌃⌘Z\n"  // two columns per character
              "  Delete        fn ⌫\n"
              "  Up              ⌘↑\n"
              "  F5              ⌃F5\n"
              "  Tab             ⌘⇥\n"
              "  Odd             ⌘glyph 250\n"
              "\n"
              "9 shortcuts\n");
}

TEST(KivoractlMenuSheet, HostileAndOddEntriesStayOnTheirLines) {
    const Array list = {"M\x1B[2J", menuRecord("M\x1B[2J", "a\nb\xE2\x80\xAE", "⌘", "\x1B"),
                        menuRecord("M\x1B[2J", "", "⌘", " "), Value(7),
                        Dictionary{{"Title", Value(3)}}};
    const std::string sheet = renderMenuSheet(list);
    EXPECT_EQ(sheet.find('\x1B'), std::string::npos);
    EXPECT_NE(sheet.find("M\\u{1B}[2J\n"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("  a\\nb\\u{202E}"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("\n  (untitled)    ⌘Space\n"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("(unexpected entry 7)"), std::string::npos) << sheet;
    EXPECT_NE(sheet.find("3 shortcuts"), std::string::npos) << sheet;
}

TEST(KivoractlMenuSheet, FollowsTheTerminalWidthAndColour) {
    const std::string title = "Open the document " + std::string(80, 'x');
    const Array list = {"Fichier", menuRecord("Fichier", title, "⌘", "O"),
                        menuRecord("Fichier", "Été", "⇧⌘", "E"), title};
    const std::string x14(14, 'x');
    EXPECT_EQ(renderMenuSheet(list, {.width = 40}),
              "Open the document " + x14 + "xxxxxxx…\n" + std::string(40, '=') +
                  "\n\nFichier\n  Open the document " + x14 + "…   ⌘O\n  Été" +
                  std::string(32, ' ') + "⇧⌘E\n\n2 shortcuts\n");
    // --full: nothing shortened; the long row overflows on its own.
    const std::string full = renderMenuSheet(list, {.width = 40, .full = true});
    EXPECT_NE(full.find("\n  " + title + "   ⌘O\n"), std::string::npos) << full;
    // Colour: headings bold, glyphs dim, the layout unchanged.
    const std::string coloured = renderMenuSheet(list, {.width = 40, .colour = true});
    EXPECT_NE(coloured.find("\x1B[1mFichier\x1B[0m\n"), std::string::npos) << coloured;
    EXPECT_NE(coloured.find("  \x1B[2m⇧⌘\x1B[0mE\n"), std::string::npos) << coloured;
}

TEST(KivoractlMenuSheet, AnApplicationWithoutShortcutsSaysSo) {
    // An application whose menus hold no shortcut still names itself.
    EXPECT_EQ(renderMenuSheet({"Editor"}),
              "Editor\n======\n\nNo menu shortcuts (no target application, no menu bar, or no "
              "Accessibility permission).\n");
}

TEST(KivoractlSystemSheet, HeadersGroupsAndThePairsOfThisRun) {
    const Array list = {"Accessibility", "Accessibility/Zoom",
                        systemRecord("Accessibility//Zoom//Zoom in", "⌥⌘", "="),
                        systemRecord("Accessibility//Invert colors", "⌃⌥⌘", "8")};
    // The first pair is from an earlier request; this run's two come last.
    const Array pairs = {pair(49, 1048576), pair(24, 0x180000), pair(28, 0x1C0000)};
    EXPECT_EQ(renderSystemSheet(list, &pairs),
              "Accessibility\n"
              "  \xE2\x96\xB8 Zoom\n"
              "    Zoom in       ⌥⌘=  key 24 1572864\n"
              "  Invert colors  ⌃⌥⌘8  key 28 1835008\n"
              "\n"
              "2 shortcuts\n");

    // Too few pairs to match the records: no pair column rather than a wrong one.
    const Array tooFew = {pair(24, 0x180000)};
    EXPECT_EQ(renderSystemSheet(list, &tooFew).find("key "), std::string::npos);
}

TEST(KivoractlTerminalText, EscapesShorteningAndSettings) {
    EXPECT_EQ(printable("a\tb\r\x7F\xC2\x85"), "a\\tb\\r\\u{7F}\\u{85}");
    EXPECT_EQ(printable("\xFF"
                        "ok\xC3"),
              "\xEF\xBF\xBDok\xEF\xBF\xBD");
    EXPECT_FALSE(isValidUtf8(std::string("a\0b", 3)));
    EXPECT_FALSE(isValidUtf8("\xED\xA0\x80"));  // a surrogate
    // A wide character is never halved, nor a mark parted from its character.
    // clang-format off
    const char* const cuts[][3] = {{"abcdef", "6", "abcdef"}, {"abcdef", "5", "abcd…"},
        {"abcdef", "1", "…"}, {"abcdef", "0", ""}, {"撤销撤销", "6", "撤销…"},
        {"撤销撤销", "5", "撤销…"}, {"ae\xCC\x81\xCC\x82xyz", "4", "ae\xCC\x81\xCC\x82x…"},
        {"ae\xCC\x81xyz", "3", "ae\xCC\x81…"}, {"a\xFF\xFE" "bcd", "4", "a\xFF\xFE…"}};
    // clang-format on
    for (const auto& [text, width, expected] : cuts) {
        EXPECT_EQ(shortened(text, std::stoul(width)), expected) << text << " in " << width;
    }
    EXPECT_EQ(outputWidth("132", 100), 132u);
    EXPECT_EQ(outputWidth("wide", 100), 100u);
    EXPECT_EQ(outputWidth("0", std::nullopt), 80u);
    EXPECT_TRUE(wantsColour(true, nullptr) && !wantsColour(true, "") &&
                !wantsColour(false, nullptr));
}

}  // namespace
}  // namespace kivoractl
