// The bundle folder: its identifier from Info.plist, and resources that stay inside it.

#include <gtest/gtest.h>

#include <fstream>

#include "e2e/support/TempDir.h"
#include "platform/linux/DirectoryBundle.h"

namespace kivora::linux_ {
namespace {

TEST(DirectoryBundle, AnIdentifierOnlyFromAWellFormedInfoPlist) {
    EXPECT_EQ(DirectoryBundle(KIVORA_BUNDLE_DIR).bundleIdentifier(),
              "org.morvane.Kivora.KivoraData");
    e2e::TempDir dir;
    EXPECT_EQ(DirectoryBundle(dir.path()).bundleIdentifier(), std::nullopt);  // no Info.plist

    std::ifstream file(KIVORA_SOURCE_DIR "/tests/data/linux/info-plists.txt");
    int cases = 0;
    for (std::string line; std::getline(file, line);) {
        const std::size_t tab = line.find('\t');
        if (line.starts_with("#") || tab == std::string::npos) {
            continue;
        }
        const std::string expected = line.substr(0, tab);
        dir.write("Info.plist", line.substr(tab + 1));
        ++cases;
        EXPECT_EQ(DirectoryBundle(dir.path()).bundleIdentifier(),
                  expected == "-" ? std::nullopt : std::optional(expected))
            << line;
    }
    EXPECT_EQ(cases, 5);
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
