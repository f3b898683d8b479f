// Bundle identifiers of Linux applications from their desktop files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/linux/atspi/DesktopEntries.h"

namespace kivora::linux_::atspi {
namespace {

class DesktopEntriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = std::filesystem::temp_directory_path() /
                ("kivora-desktop-entries-" +
                 std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 std::to_string(reinterpret_cast<std::uintptr_t>(this)));
        std::filesystem::create_directories(root_ / "user");
        std::filesystem::create_directories(root_ / "system");
    }
    void TearDown() override { std::filesystem::remove_all(root_); }

    void write(const std::string& folder, const std::string& file, const std::string& text) {
        std::ofstream(root_ / folder / file) << text;
    }
    DesktopEntries entries() {
        return DesktopEntries(
            {(root_ / "user").string(), (root_ / "system").string(), (root_ / "missing").string()});
    }

    std::filesystem::path root_;
};

TEST_F(DesktopEntriesTest, FindsTheIdByNameByProgramOrByWindowClass) {
    write("system", "org.example.Editor.desktop",
          "[Desktop Entry]\nType=Application\nExec=/usr/bin/editor %U\n");
    write("system", "org.example.Editor-settings.desktop",
          "[Desktop Entry]\nType=Application\nExec=editor --preferences\n");
    write("system", "org.example.Viewer.desktop",
          "[Desktop Entry]\nType=Application\nExec=\"/opt/viewer app/run\" %f\n"
          "StartupWMClass=ViewerWindow\n");
    write("system", "plainname.desktop", "[Desktop Entry]\nType=Application\nExec=other\n");
    auto e = entries();
    EXPECT_EQ(e.idForApplicationName("editor"), "org.example.Editor");
    EXPECT_EQ(e.idForApplicationName("ViewerWindow"), "org.example.Viewer");
    EXPECT_EQ(e.idForApplicationName("run"), "org.example.Viewer");
    EXPECT_EQ(e.idForApplicationName("plainname"), "plainname");
    EXPECT_EQ(e.idForApplicationName("Editor"), std::nullopt);  // case-sensitive
    EXPECT_EQ(e.idForApplicationName(""), std::nullopt);
    EXPECT_EQ(bundleIdentifierForName(e, "unknown-app"), "unknown-app");
    EXPECT_EQ(bundleIdentifierForName(e, ""), std::nullopt);
}

TEST_F(DesktopEntriesTest, UserFilesHideSystemOnesAndHiddenOrOtherEntriesDoNotCount) {
    write("system", "org.example.Tool.desktop", "[Desktop Entry]\nType=Application\nExec=tool\n");
    write("user", "org.example.Tool.desktop", "[Desktop Entry]\nHidden=true\nExec=tool\n");
    write("system", "org.example.Link.desktop", "[Desktop Entry]\nType=Link\nExec=linked\n");
    write("system", "org.example.Action.desktop",
          "[Desktop Entry]\nType=Application\nExec=main-prog\n"
          "[Desktop Action new]\nExec=action-prog\n");
    write("system", "broken.desktop", "no group at all\nExec=broken\n");
    write("system", "notes.txt", "[Desktop Entry]\nExec=notes\n");
    auto e = entries();
    EXPECT_EQ(e.idForApplicationName("tool"), std::nullopt);
    EXPECT_EQ(e.idForApplicationName("linked"), std::nullopt);
    EXPECT_EQ(e.idForApplicationName("main-prog"), "org.example.Action");
    EXPECT_EQ(e.idForApplicationName("action-prog"), std::nullopt);
    EXPECT_EQ(e.idForApplicationName("broken"), std::nullopt);
    EXPECT_EQ(e.idForApplicationName("notes"), std::nullopt);
}

TEST_F(DesktopEntriesTest, PrefersTheShownEntryThatOnlyOpensFiles) {
    write("system", "a.hidden.desktop",
          "[Desktop Entry]\nType=Application\nExec=prog %U\nNoDisplay=true\n");
    write("system", "b.args.desktop", "[Desktop Entry]\nType=Application\nExec=prog --new\n");
    write("system", "c.main.desktop", "[Desktop Entry]\nType=Application\nExec=prog %F\n");
    auto e = entries();
    EXPECT_EQ(e.idForApplicationName("prog"), "c.main");
}

}  // namespace
}  // namespace kivora::linux_::atspi
