// Inputs the fuzzer found that the property-list reader mishandled, kept byte for byte, with
// the cases around them.
#include <gtest/gtest.h>

#include <string>

#include "platform/PropertyList.h"

namespace {

using kivora::Dictionary;
using kivora::Value;
namespace plist = kivora::plist;

Value parsed(std::string_view bytes) {
    auto result = plist::parse(bytes);
    EXPECT_TRUE(result.value) << result.error;
    return result.value.value_or(Value());
}

std::string xml(std::string_view body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">" +
           std::string(body) + "</plist>\n";
}

// What was read must write and read back the same in both formats.
void expectRoundTrip(const Value& value) {
    for (auto format : {plist::Format::xml, plist::Format::binary}) {
        const auto bytes = plist::serialize(value, format);
        ASSERT_TRUE(bytes);
        EXPECT_EQ(parsed(*bytes), value) << (format == plist::Format::xml ? "xml" : "binary");
    }
}

// Strings and keys that are not UTF-8 read with each ill-formed sequence as U+FFFD: before, the
// bytes went through as they were, onto log lines, and a binary list written from them did not
// read back.
TEST(PropertyListRegression, TextThatIsNotUtf8ReadsAsReplacementCharacters) {
    // Found by fuzzing: a binary "ASCII" string holding bytes above 0x7F.
    const std::string found(
        "\x62\x70\x6c\x69\x73\x74\x30\x30\x5d\xfe\xfd\xfa\x10\x77\x01\x53\x74\x6f\x23\x40\x0c"
        "\x00\x00\x00\x00\x00\x00\x08\x0c\x0e\x12\x00\x00\x00\x00\x00\x00\x01\x01\x00\x00\x00"
        "\x00\x00\x00\x00\x04\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x1b",
        63);
    const Value value = parsed(found);
    EXPECT_EQ(value, Value("\uFFFD\uFFFD\uFFFD\x10w\x01Sto#@\x0c"));
    expectRoundTrip(value);

    const struct {
        std::string text;
        std::string expected;
    } cases[] = {
        {"caf\xe9", "caf\uFFFD"},
        {"\xed\xa0\x80!", "\uFFFD\uFFFD\uFFFD!"},          // a surrogate
        {"\xc0\xaf", "\uFFFD\uFFFD"},                      // an overlong slash
        {"\xf4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
        {"x\xe2\x82", "x\uFFFD"},                          // cut short: one replacement
        {"Gr\u00f6\u00dfe \u2318 \U0001F600", "Gr\u00f6\u00dfe \u2318 \U0001F600"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected);
        const Value string = parsed(xml("<string>" + c.text + "</string>"));
        EXPECT_EQ(string, Value(c.expected));
        expectRoundTrip(string);
    }

    const Value dict = parsed(xml("<dict><key>k\xff</key><integer>1</integer></dict>"));
    EXPECT_EQ(dict, Value(Dictionary{{"k\uFFFD", 1}}));
    expectRoundTrip(dict);
}

}  // namespace
