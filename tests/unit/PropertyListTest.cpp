// Parsing cases are in tests/data/unit/parser-cases.txt; here what needs code around it.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "PropertyListTestSupport.h"
#include "platform/PropertyList.h"

namespace {

using namespace kivora;

TEST(PropertyList, SerializeRefusesWhatItCouldNotReadBack) {
    EXPECT_FALSE(plist::serialize(Value(Array{1, Value()}), plist::Format::binary));
    EXPECT_FALSE(plist::serialize(Value(std::string("a\0b", 3)), plist::Format::xml));
    Value deep = Array{};
    for (int i = 1; i < plist::kMaxXmlNesting; ++i) {
        deep = Array{deep};
    }
    EXPECT_EQ(plist::parse(plist::serialize(deep, plist::Format::binary).value()).value, deep);
    EXPECT_FALSE(plist::serialize(Value(Array{deep}), plist::Format::xml));
}

// A guard that lets bad input through makes this crash, not fail.
TEST(PropertyList, TruncatedOrCorruptedFilesNeverCrash) {
    const Value sample(Dictionary{
        {"AppleSymbolicHotKeys",
         Dictionary{{"64", Dictionary{{"enabled", true},
                                      {"value", Dictionary{{"parameters", Array{32, 49, 1048576}},
                                                           {"type", "standard"}}}}},
                    {"60", Dictionary{{"enabled", false}}}}}});
    const auto survives = [](std::string_view bytes) {
        const auto result = plist::parse(bytes);
        return result.value.has_value() != !result.error.empty();  // a value or an error
    };
    for (auto format : {plist::Format::binary, plist::Format::xml}) {
        const std::string bytes = plist::serialize(sample, format).value();
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            EXPECT_TRUE(survives(std::string_view(bytes).substr(0, i)));
            for (unsigned char flip : {0x01, 0x0F, 0x80, 0xFF}) {
                std::string corrupt = bytes;
                corrupt[i] = static_cast<char>(corrupt[i] ^ flip);
                EXPECT_TRUE(survives(corrupt));
            }
        }
    }
}

TEST(PropertyList, FilesAreReadWithClearErrorsNamingThem) {
    plisttest::TemporaryFolder folder;
    const auto error = [&](const std::string& name) {
        return plist::parseFile((folder.path() / name).string());
    };
    EXPECT_EQ(error("missing.plist").problem, plist::Problem::noSuchFile);
    std::filesystem::create_directory(folder.path() / "d.plist");
    EXPECT_EQ(error("d.plist").error,
              "The file “d.plist” couldn’t be opened because it is a folder.");
    // A pipe would block the reader forever: refused before it is opened.
    ASSERT_EQ(::mkfifo((folder.path() / "p.plist").c_str(), 0600), 0);
    EXPECT_EQ(error("p.plist").error,
              "The file “p.plist” couldn’t be opened because it isn’t a regular file.");
    EXPECT_EQ(error("p.plist").problem, plist::Problem::unreadable);

    // Exactly at the size limit is read; beyond it is refused.
    std::string body = "<plist><string></string></plist>";
    body.insert(15, plist::kMaxFileBytes - body.size(), 'x');
    EXPECT_TRUE(plist::parseFile(folder.write("limit.plist", body)).value);
    const auto over = plist::parseFile(folder.write("over.plist", body + "  "));
    EXPECT_EQ(over.problem, plist::Problem::refused);
    EXPECT_NE(over.error.find("too large"), std::string::npos);
}

}  // namespace
