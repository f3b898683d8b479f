#include <gtest/gtest.h>

#include <algorithm>

#include "platform/PropertyList.h"
#include "platform/linux/FilePreferences.h"
#include "unit/PropertyListTestSupport.h"

namespace {

using namespace kivora;

constexpr const char* kDomain = "com.apple.symbolichotkeys";
constexpr const char* kFile = "Library/Preferences/com.apple.symbolichotkeys.plist";

struct FilePreferencesTest : ::testing::Test {
    plisttest::TemporaryFolder home;
    linux_::FilePreferences preferences{home.path().string()};

    void store(const Value& hotKeys, plist::Format format) {
        home.write(kFile,
                   plist::serialize(Dictionary{{"AppleSymbolicHotKeys", hotKeys}}, format).value());
    }
    std::optional<Value> hotKeys() {
        return preferences.copyAppValue("AppleSymbolicHotKeys", kDomain);
    }
};

// Binary files, fresh reads and a missing domain are run end to end.
TEST_F(FilePreferencesTest, XmlIsReadOnceUntilTheNextSynchronize) {
    store(Dictionary{{"64", true}}, plist::Format::xml);
    EXPECT_EQ(hotKeys(), Value(Dictionary{{"64", true}}));  // first use reads the file
    store(Array{}, plist::Format::xml);
    EXPECT_EQ(hotKeys(), Value(Dictionary{{"64", true}}));  // as of the last synchronize
    EXPECT_FALSE(preferences.copyAppValue("Other", kDomain));
}

TEST_F(FilePreferencesTest, BadFilesAndNamesAreNoValueWithOneDiagnostic) {
    const std::string binary =
        plist::serialize(Dictionary{{"AppleSymbolicHotKeys", 1}}, plist::Format::binary).value();
    for (const std::string& bytes :
         {std::string("not a property list"), std::string(), binary.substr(0, 30),
          "<plist>" + std::string(1000, '\0'), std::string("{ AppleSymbolicHotKeys = 1; }"),
          plist::serialize(Array{1}, plist::Format::xml).value()}) {
        store(1, plist::Format::xml);
        ASSERT_TRUE(preferences.appSynchronize(kDomain));
        home.write(kFile, bytes);
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(preferences.appSynchronize(kDomain));
        EXPECT_FALSE(hotKeys()) << "the old value must not survive";
        EXPECT_FALSE(hotKeys());
        const std::string diagnostics = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), '\n'), 1) << diagnostics;
        EXPECT_NE(diagnostics.find(kFile), std::string::npos) << diagnostics;
    }
    // Domains cannot name files outside the Preferences folder.
    home.write(
        "Library/secret.plist",
        plist::serialize(Dictionary{{"AppleSymbolicHotKeys", 1}}, plist::Format::xml).value());
    for (const char* domain : {"../secret", "..", "", "a/b"}) {
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(preferences.appSynchronize(domain)) << domain;
        EXPECT_FALSE(preferences.copyAppValue("AppleSymbolicHotKeys", domain)) << domain;
        EXPECT_NE(::testing::internal::GetCapturedStderr(), "") << domain;
    }
}

}  // namespace
