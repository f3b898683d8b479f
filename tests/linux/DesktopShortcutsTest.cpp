// The desktop's own keyboard settings answering the symbolic hot keys: the accelerators and
// stores of the data file, and the inputs a text file cannot hold.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/PropertyList.h"
#include "platform/linux/FilePreferences.h"
#include "platform/linux/settings/Accelerator.h"
#include "platform/linux/settings/DesktopPreferences.h"
#include "platform/linux/settings/ShortcutStore.h"
#include "unit/PropertyListTestSupport.h"

namespace {

using namespace kivora;
using linux_::settings::DesktopKind;
using Key = std::array<std::int64_t, 3>;  // character, key code, flags
using Keys = std::map<std::string, Key>;  // id → parameters

DesktopKind desktopNamed(const std::string& name) {
    return name == "kde"    ? DesktopKind::kde
           : name == "xfce" ? DesktopKind::xfce
                            : DesktopKind::gnome;
}

// "d 2 cmd opt" or "65535 105": a one-letter character or a number, the key code, flag names.
Key keyFrom(std::istringstream& words) {
    static const std::map<std::string, std::int64_t> flags{{"shift", 0x20000},
                                                           {"ctl", 0x40000},
                                                           {"opt", 0x80000},
                                                           {"cmd", 0x100000},
                                                           {"fn", 0x800000}};
    std::string character, flag;
    Key key{};
    words >> character >> key[1];
    key[0] =
        character.size() == 1 && !std::isdigit(character[0]) ? character[0] : std::stoll(character);
    while (words >> flag) {
        key[2] |= flags.at(flag);
    }
    return key;
}

Keys summary(const std::optional<Value>& hotKeys) {
    Keys keys;
    for (const auto& [id, entry] : hotKeys ? hotKeys->asDictionary() : Dictionary{}) {
        EXPECT_EQ(*entry.find("enabled"), Value(true));
        EXPECT_EQ(*entry.find("value")->find("type"), Value("standard"));
        const Array& p = entry.find("value")->find("parameters")->asArray();
        keys[id] = {p.at(0).asInteger(), p.at(1).asInteger(), p.at(2).asInteger()};
    }
    return keys;
}

struct DesktopShortcuts : ::testing::Test {
    plisttest::TemporaryFolder home;
    linux_::FilePreferences user{home.path().string()};

    // Each store's settings live in a folder of their own: DIR/.config.
    std::optional<Value> read(DesktopKind desktop, const std::string& dir = ".", int reads = 1) {
        linux_::settings::DesktopPreferences preferences(user, desktop,
                                                         (home.path() / dir / ".config").string());
        std::optional<Value> value;
        for (int i = 0; i < reads; ++i) {
            preferences.appSynchronize("com.apple.symbolichotkeys");
            value = preferences.copyAppValue("AppleSymbolicHotKeys", "com.apple.symbolichotkeys");
        }
        return value;
    }
    // A broken store gives nothing, read after read, with a single diagnostic line.
    void expectRefused(DesktopKind desktop, const std::string& dir, const std::string& what) {
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(read(desktop, dir, 2)) << what;
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << what << ": " << err;
    }
};

TEST_F(DesktopShortcuts, AcceleratorsAndStoresOfTheDataFile) {
    std::ifstream file(KIVORA_SOURCE_DIR "/tests/data/linux/desktop-shortcuts.txt");
    std::string section, store, dir, path, text;
    Keys expected;
    int blocks = 0;
    auto endBlock = [&] {
        if (section == "file" || section == "bad") {
            home.write(dir + "/" + path, text);
        }
        if (section == "bad") {
            expectRefused(desktopNamed(store), dir, text);
        } else if (section == "expect") {
            // GLib reads these once per process, at its first use: one GNOME store only.
            setenv("GSETTINGS_BACKEND", "keyfile", 1);
            setenv("GSETTINGS_SCHEMA_DIR", KIVORA_TEST_SCHEMA_DIR, 1);
            setenv("XDG_DATA_DIRS", home.path().c_str(), 1);  // no other schema than those
            setenv("XDG_CONFIG_HOME", (home.path() / dir / ".config").c_str(), 1);
            EXPECT_EQ(summary(read(desktopNamed(store), dir)), expected) << store;
        }
        text.clear();
        ++blocks;
    };
    for (std::string line; std::getline(file, line);) {
        std::istringstream words(line);
        if (line.rfind("=== ", 0) == 0) {
            endBlock();
            words.ignore(4) >> section;
            if (section == "store" || section == "bad") {
                words >> store;
                dir = std::to_string(blocks);
                expected.clear();
            }
            words >> path;
        } else if (section == "accelerators") {
            const std::string accelerator = line.substr(0, line.find('\t'));
            const auto key = linux_::settings::parseAccelerator(accelerator);
            words.ignore(accelerator.size() + 1);
            const auto got =
                key ? std::optional(Key{key->character, key->keyCode, key->flags}) : std::nullopt;
            EXPECT_EQ(got, line.ends_with("\tnone") ? std::nullopt : std::optional(keyFrom(words)))
                << accelerator;
        } else if (section == "expect") {
            std::string id;
            words >> id;
            expected[id] = keyFrom(words);
        } else if (section != "store") {
            text += line + "\n";
        }
    }
    endBlock();
    EXPECT_GT(blocks, 7);
}

TEST_F(DesktopShortcuts, UserFileWinsAndBadStoresGiveNothingWithOneDiagnostic) {
    home.write(".config/kglobalshortcutsrc", "[kwin]\nShow Desktop=Meta+D,Meta+D,x\n");
    const Dictionary mine{{"64", Dictionary{{"enabled", false}}}};
    home.write(
        "Library/Preferences/com.apple.symbolichotkeys.plist",
        plist::serialize(Dictionary{{"AppleSymbolicHotKeys", mine}}, plist::Format::xml).value());
    EXPECT_EQ(read(DesktopKind::kde), Value(mine));

    // What a text file cannot hold: a NUL, too many bytes, a folder in place of the file.
    home.write("nul/.config/kglobalshortcutsrc",
               std::string("[kwin]\nShow Desktop=Meta+D\0,x", 30));
    home.write("big/.config/kglobalshortcutsrc",
               std::string(linux_::settings::kMaxSettingsFileBytes + 1, 'a'));
    std::filesystem::create_directories(home.path() / "folder/.config/kglobalshortcutsrc");
    std::filesystem::remove(home.path() / "Library/Preferences/com.apple.symbolichotkeys.plist");
    for (const char* dir : {"nul", "big", "folder"}) {
        expectRefused(DesktopKind::kde, dir, dir);
    }
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(read(DesktopKind::kde, "none"));  // no settings at all: silently nothing
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// Named desktops are run end to end; here what names none.
TEST(DesktopDetection, FromFilesWhenTheEnvironmentNamesNone) {
    using linux_::settings::detectDesktop;
    plisttest::TemporaryFolder home;
    const std::string config = (home.path() / ".config").string();
    EXPECT_EQ(detectDesktop("", config), std::nullopt);
    home.write(".config/xfce4/xfconf/xfce-perchannel-xml/xfce4-keyboard-shortcuts.xml", "");
    EXPECT_EQ(detectDesktop("LXQt", config), std::nullopt);
    EXPECT_EQ(detectDesktop(nullptr, config), DesktopKind::xfce);
}

}  // namespace
