// The bundle folder: its identifier from Info.plist, and resources that stay inside it.

#include <gtest/gtest.h>

#include "e2e/support/TempDir.h"
#include "platform/linux/DirectoryBundle.h"

namespace kivora::linux_ {
namespace {

std::string infoPlist(const std::string& body) {
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0">)" +
           body + "</plist>\n";
}

TEST(DirectoryBundle, AnIdentifierOnlyFromAWellFormedInfoPlist) {
    EXPECT_EQ(DirectoryBundle(KIVORA_BUNDLE_DIR).bundleIdentifier(),
              "org.morvane.Kivora.KivoraData");
    e2e::TempDir dir;
    EXPECT_EQ(DirectoryBundle(dir.path()).bundleIdentifier(), std::nullopt);  // no Info.plist

    const std::vector<std::string> noIdentifier{
        "not a property list",
        infoPlist("<array><string>org.example</string></array>"),
        infoPlist("<dict><key>CFBundleIdentifier</key><integer>7</integer></dict>"),
        infoPlist("<dict><key>CFBundleName</key><string>X</string></dict>"),
    };
    for (const auto& text : noIdentifier) {
        dir.write("Info.plist", text);
        EXPECT_EQ(DirectoryBundle(dir.path()).bundleIdentifier(), std::nullopt) << text;
    }
    dir.write(
        "Info.plist",
        infoPlist("<dict><key>CFBundleIdentifier</key><string>org.example.X</string></dict>"));
    EXPECT_EQ(DirectoryBundle(dir.path()).bundleIdentifier(), "org.example.X");
}

TEST(DirectoryBundle, ResourcesAreFoundOnlyInsideTheResourcesFolder) {
    e2e::TempDir dir;
    const std::string plist = dir.write("Resources/com.apple.symbolichotkeys.plist", "x");
    const std::string bare = dir.write("Resources/README", "x");
    dir.write("Info.plist", "x");
    DirectoryBundle bundle(dir.path());

    EXPECT_EQ(bundle.pathForResource("com.apple.symbolichotkeys", "plist"), plist);
    EXPECT_EQ(bundle.pathForResource("README", ""), bare);
    EXPECT_EQ(bundle.pathForResource("com.apple.symbolichotkeys", "json"), std::nullopt);
    EXPECT_EQ(bundle.pathForResource("", "plist"), std::nullopt);
    EXPECT_EQ(bundle.pathForResource("../Info", "plist"), std::nullopt);
    EXPECT_EQ(bundle.pathForResource(dir.file("Info"), "plist"), std::nullopt);
    EXPECT_EQ(bundle.pathForResource(std::string("README\0x", 8), ""), std::nullopt);
}

}  // namespace
}  // namespace kivora::linux_
