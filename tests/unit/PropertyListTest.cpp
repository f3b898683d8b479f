#include <gtest/gtest.h>
#include <sys/stat.h>

#include "PropertyListTestSupport.h"
#include "platform/PropertyList.h"

namespace {

using namespace kivora;
using plisttest::BinaryPlist;

Value parsed(std::string_view bytes) {
    auto result = plist::parse(bytes);
    EXPECT_TRUE(result.value) << result.error;
    return result.value.value_or(Value());
}

// What was read must write and read back the same in both formats.
void expectRoundTrip(const Value& value) {
    for (auto format : {plist::Format::xml, plist::Format::binary}) {
        EXPECT_EQ(parsed(plist::serialize(value, format).value()), value) << int(format);
    }
}

TEST(PropertyList, EveryTypeRoundTripsAndLargeNumbersKeepTheirValue) {
    const Value original(Dictionary{
        {"flags", Array{true, false}},
        {"ints", Array{-5, std::int64_t{2148532224}, INT64_MAX, INT64_MIN}},
        {"real", 1.5},
        {"text", "Zoom in — “ok” 中文"},
        {"data", Data{{0, 1, 255}}},
        {"empty", Array{Array{}, Dictionary{}}},
    });
    expectRoundTrip(original);
    // Beyond the signed 64-bit range: reals. Dates: seconds since 2001. UIDs: integers.
    EXPECT_EQ(parsed("<plist><array><integer>9223372036854775808</integer><integer>-1</integer>"
                     "<date>2001-01-01T00:01:40Z</date></array></plist>"),
              Value(Array{9223372036854775808.0, -1, 100.0}));
    BinaryPlist b;
    b.add(b.array({1, 2}));
    b.add("\x14" + std::string(8, '\0') + std::string(8, '\xFF'));  // 16-byte integer
    b.add(std::string("\x80\x07", 2));                              // UID
    EXPECT_EQ(parsed(b.bytes()), Value(Array{18446744073709551615.0, 7}));

    const auto malformed = plist::parse("<plist><dict><key>a</key></plist>");
    EXPECT_EQ(malformed.problem, plist::Problem::malformed);
    EXPECT_EQ(malformed.error, "The data couldn’t be read because it isn’t in the correct format.");
}

TEST(PropertyList, SerializeRefusesWhatItCouldNotReadBack) {
    EXPECT_FALSE(plist::serialize(Value(Array{1, Value()}), plist::Format::binary));
    EXPECT_FALSE(plist::serialize(Value(std::string("a\0b", 3)), plist::Format::xml));
    Value deep = Array{};
    for (int i = 1; i < plist::kMaxXmlNesting; ++i) {
        deep = Array{deep};
    }
    EXPECT_EQ(parsed(plist::serialize(deep, plist::Format::binary).value()), deep);
    EXPECT_FALSE(plist::serialize(Value(Array{deep}), plist::Format::xml));
}

// Text that is not UTF-8 reads with each ill-formed sequence as U+FFFD, so that log lines stay
// UTF-8 and a binary list written from it reads back.
TEST(PropertyList, TextThatIsNotUtf8ReadsAsReplacementCharacters) {
    // Found by fuzzing: a binary "ASCII" string holding bytes above 0x7F.
    const Value found = parsed(
        std::string("bplist00\x5d\xfe\xfd\xfa\x10\x77\x01\x53\x74\x6f\x23\x40\x0c\0\0\0\0\0\0\x08"
                    "\x0c\x0e\x12\0\0\0\0\0\0\x01\x01\0\0\0\0\0\0\0\x04\0\0\0\0\0\0\0\0"
                    "\0\0\0\0\0\0\0\x1b",
                    63));
    EXPECT_EQ(found, Value("\uFFFD\uFFFD\uFFFD\x10w\x01Sto#@\x0c"));
    expectRoundTrip(found);
    const std::pair<std::string, std::string> cases[] = {
        {"caf\xe9", "caf\uFFFD"},
        {"\xed\xa0\x80!", "\uFFFD\uFFFD\uFFFD!"},          // a surrogate
        {"\xc0\xaf", "\uFFFD\uFFFD"},                      // an overlong slash
        {"\xf4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
        {"x\xe2\x82", "x\uFFFD"},                          // cut short: one replacement
        {"Gr\u00f6\u00dfe \u2318 \U0001F600", "Gr\u00f6\u00dfe \u2318 \U0001F600"},
    };
    for (const auto& [text, expected] : cases) {
        const Value string = parsed("<plist><string>" + text + "</string></plist>");
        EXPECT_EQ(string, Value(expected));
        expectRoundTrip(string);
    }
    const Value dict = parsed("<plist><dict><key>k\xff</key><integer>1</integer></dict></plist>");
    EXPECT_EQ(dict, Value(Dictionary{{"k\uFFFD", 1}}));
    expectRoundTrip(dict);
}

TEST(PropertyList, DescribesOnOneLineInTheOldStyle) {
    EXPECT_EQ(
        plist::describe(Value(Dictionary{
            {"enabled", true},
            {"value", Dictionary{{"parameters", Array{32, 49, 1048576}}, {"type", "standard"}}}})),
        "{ enabled = 1; value = { parameters = ( 32, 49, 1048576 ); type = standard; }; }");
    EXPECT_EQ(
        plist::describe(Value(Dictionary{{"a b", false}, {"e", Dictionary{}}, {"l", Array{}}})),
        "{ \"a b\" = 0; e = {}; l = (); }");
    EXPECT_EQ(plist::describe(Value(Array{1.5, "a-b.c:d/e_$", "", "中文", "x\n\"\\\x01"})),
              "( 1.5, a-b.c:d/e_$, \"\", \"中文\", \"x\\n\\\"\\\\\\U0001\" )");
    EXPECT_EQ(plist::describe(Value(Data{{0xDE, 0xAD, 0xBE, 0xEF, 0x01}})), "<deadbeef 01>");
    EXPECT_TRUE(plist::describe(Value(Data{std::vector<std::uint8_t>(40, 0)}))
                    .ends_with("00000000 00000000 ... 40 bytes>"));
}

TEST(PropertyList, FilesAreReadWithClearErrorsNamingThem) {
    plisttest::TemporaryFolder folder;
    EXPECT_EQ(plist::parseFile(folder.write("a.plist", "<plist><true/></plist>")).value,
              Value(true));

    const auto error = [&](const std::string& name) {
        return plist::parseFile((folder.path() / name).string());
    };
    EXPECT_EQ(error("com.apple.symbolichotkeys.plist").error,
              "The file “com.apple.symbolichotkeys.plist” couldn’t be opened because there is no "
              "such file.");
    EXPECT_EQ(error("com.apple.symbolichotkeys.plist").problem, plist::Problem::noSuchFile);
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
