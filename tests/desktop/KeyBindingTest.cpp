// The two key-binding grammars (GTK accelerators, Qt key sequences) and the key-code table,
// one case a line in data/key-bindings.txt.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

#include <fstream>
#include <sstream>

#include "platform/linux/atspi/KeyBinding.h"
#include "platform/linux/atspi/KeyCodes.h"

namespace kivora::linux_::atspi {
namespace {

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, '\t');) {
        out.push_back(field == "\"\"" ? "" : field);
    }
    return out;
}

template <typename T>
std::optional<T> unlessTilde(const std::string& field, T value) {
    return field == "~" ? std::nullopt : std::optional<T>(value);
}

Keysym keysym(const std::string& name) {
    return static_cast<Keysym>(XStringToKeysym(name.c_str()));
}

TEST(KeyBindingTest, CasesOfTheDataFile) {
    std::ifstream file(KIVORA_KEY_BINDING_CASES);
    ASSERT_TRUE(file) << KIVORA_KEY_BINDING_CASES;
    int cases = 0;
    for (std::string line; std::getline(file, line);) {
        auto f = fields(line);
        if (f.empty() || f[0].empty() || f[0][0] == '#') {
            continue;
        }
        SCOPED_TRACE(line);
        ++cases;
        if (f[0] == "shortcut") {
            ASSERT_EQ(f.size(), 5u);
            auto shortcut = parseKeyBinding(f[1]);
            ASSERT_TRUE(shortcut.has_value());
            EXPECT_EQ(shortcut->modifiers, std::stoll(f[2]));
            EXPECT_EQ(shortcut->character, unlessTilde(f[3], f[3]));
            EXPECT_EQ(shortcut->glyph, unlessTilde<std::int64_t>(f[4], std::atoll(f[4].c_str())));
        } else if (f[0] == "none") {
            EXPECT_FALSE(parseKeyBinding(f.size() > 1 ? f[1] : "").has_value());
        } else if (f[0] == "keycode") {
            ASSERT_EQ(f.size(), 3u);
            EXPECT_EQ(keysymForKeyCode(static_cast<std::uint16_t>(std::stoul(f[1]))),
                      unlessTilde(f[2], keysym(f[2])));
        } else if (f[0] == "flags") {
            std::vector<Keysym> pressed;
            for (std::size_t i = 2; i < f.size(); ++i) {
                pressed.push_back(keysym(f[i]));
            }
            EXPECT_EQ(modifierKeysymsForFlags(std::stoull(f[1], nullptr, 0)), pressed);
        } else {
            ADD_FAILURE() << "unknown case kind";
        }
    }
    EXPECT_GT(cases, 90);
}

}  // namespace
}  // namespace kivora::linux_::atspi
