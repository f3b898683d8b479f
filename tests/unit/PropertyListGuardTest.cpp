// Input that would crash, abort or exhaust the property-list library must be refused before
// it gets there. A guard that lets such input through makes these tests crash, not fail.
#include <gtest/gtest.h>

#include "PropertyListTestSupport.h"
#include "platform/PropertyList.h"

namespace {

using namespace kivora;
using plisttest::BinaryPlist;

std::string repeat(std::string_view s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) {
        out += s;
    }
    return out;
}

std::string nestedXml(int depth, std::string_view open = "<array>",
                      std::string_view close = "</array>") {
    return "<plist>" + repeat(open, depth) + repeat(close, depth) + "</plist>";
}

// A chain of arrays, each holding the next.
std::string nestedBinary(int depth) {
    BinaryPlist b;
    for (int i = 1; i < depth; ++i) {
        b.add(b.array({static_cast<std::uint64_t>(i)}));
    }
    b.add(b.array({}));
    return b.bytes();
}

void expectRefused(std::string_view bytes, std::string_view reason) {
    const auto result = plist::parse(bytes);
    ASSERT_FALSE(result.value) << "accepted, expected: " << reason;
    EXPECT_EQ(result.problem, plist::Problem::refused) << result.error;
    EXPECT_NE(result.error.find(reason), std::string::npos) << result.error;
}

TEST(PropertyListGuard, NestingIsBoundedInBothFormats) {
    EXPECT_TRUE(plist::parse(nestedXml(plist::kMaxXmlNesting)).value);
    EXPECT_TRUE(plist::parse(nestedBinary(plist::kMaxXmlNesting)).value);
    expectRefused(nestedXml(plist::kMaxXmlNesting + 1), "nested more than 64 levels");
    expectRefused(nestedBinary(plist::kMaxXmlNesting + 1), "nested more than 64 levels");
    expectRefused(nestedXml(30000, "<dict><key>k</key>", "</dict>"), "nested more than 64");
    expectRefused(nestedBinary(60000), "nested more than 64 levels");

    // Closing tags a parser may read as text must not lower the count; opening tags count in
    // any case and with attributes; empty containers do not nest.
    const std::string deep = repeat("<array>", 100) + repeat("</array>", 100);
    for (std::string_view hiding :
         {"<!-- </array> -->", "<![CDATA[</array>]]>", "<?pi </array> ?>",
          "<!DOCTYPE x \"</array>\">", "<!DOCTYPE x [ <!ENTITY e \"</array>\"> ]>",
          "<string a=\"</array>\">x</string>"}) {
        expectRefused("<plist>" + repeat(hiding, 100) + deep + "</plist>", "nested more than");
    }
    expectRefused(nestedXml(100, "<ARRAY>", "</ARRAY>"), "nested more than");
    expectRefused(nestedXml(100, "<dict a='1'>", "</dict>"), "nested more than");
    EXPECT_TRUE(
        plist::parse("<plist><array>" + repeat("<array/><dict />", 500) + "</array></plist>")
            .value);
}

TEST(PropertyListGuard, BinaryReferencesCannotLoopOrMultiply) {
    BinaryPlist loop;
    loop.add(loop.array({1}));
    loop.add(loop.dict({2}, {0}));
    loop.add(BinaryPlist::ascii("k"));
    expectRefused(loop.bytes(), "refers to itself");

    // Forty arrays, each holding the next one twice: 2^40 objects once expanded.
    BinaryPlist bomb;
    for (std::uint64_t i = 1; i <= 40; ++i) {
        bomb.add(bomb.array({i, i}));
    }
    bomb.add(BinaryPlist::ascii("leaf"));
    expectRefused(bomb.bytes(), "expands to more than 262144 objects");

    // Sharing within reason is how real files are written.
    BinaryPlist shared;
    shared.add(shared.array({1, 1, 1}));
    shared.add(BinaryPlist::ascii("x"));
    EXPECT_EQ(plist::parse(shared.bytes()).value, Value(Array{"x", "x", "x"}));
}

TEST(PropertyListGuard, DictionaryKeysTheLibraryWouldAbortOnAreRefused) {
    BinaryPlist numberKey;
    numberKey.add(numberKey.dict({1}, {1}));
    numberKey.add(BinaryPlist::integer(64));
    expectRefused(numberKey.bytes(), "a dictionary key is not a string");
    for (const std::string& key : {BinaryPlist::ascii(std::string("6\0", 2)),
                                   std::string("\x62\x00\x36\x00\x00", 5)}) {  // UTF-16 "6", U+0000
        BinaryPlist nulKey;
        nulKey.add(nulKey.dict({1}, {2}));
        nulKey.add(key);
        nulKey.add(BinaryPlist::integer(1));
        expectRefused(nulKey.bytes(), "a dictionary key holds a NUL character");
    }
    for (std::string_view ref : {"&#0;", "&#x0000;", "&#;", "&# 0;", "&#4294967296;"}) {
        expectRefused("<plist><dict><key>6" + std::string(ref) + "</key><true/></dict></plist>",
                      "NUL character or a malformed reference");
    }
    expectRefused(std::string("<plist><dict><key>6") + '\0' + "</key><true/></dict></plist>",
                  "NUL");
    EXPECT_EQ(plist::parse("<plist><string>&#x41;&#66;&amp;</string></plist>").value, Value("AB&"));
}

TEST(PropertyListGuard, BinaryTrailerAndObjectsMustBeConsistent) {
    BinaryPlist b;
    b.add(b.array({1}));
    b.add(BinaryPlist::integer(7));
    const std::string good = b.bytes();
    ASSERT_EQ(plist::parse(good).value, Value(Array{7}));

    expectRefused(b.bytes(0, 65537), "declares 65537 objects; at most 65536");
    expectRefused(b.bytes(0, 3), "malformed binary trailer");  // offset table too short
    expectRefused(b.bytes(2), "malformed binary trailer");     // top object out of range
    for (auto [fromEnd, byte] : {std::pair{26, 0}, {25, 9}, {1, 0x7F}}) {  // sizes, table offset
        std::string patched = good;
        patched[patched.size() - static_cast<std::size_t>(fromEnd)] = static_cast<char>(byte);
        expectRefused(patched, "malformed binary trailer");
    }
    BinaryPlist dangling;
    dangling.add(dangling.array({5}));
    expectRefused(dangling.bytes(), "points past the object table");
    BinaryPlist longString;
    longString.add("\x5F\x13" + plisttest::bigEndian(65536, 8) + "abc");
    expectRefused(longString.bytes(), "truncated");
    expectRefused("bplist15" + good.substr(8), "unsupported binary property list version");
}

TEST(PropertyListGuard, TruncatedOrCorruptedFilesNeverCrash) {
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

TEST(PropertyListGuard, OnlyBinaryAndXmlUnderTheSizeLimit) {
    expectRefused("", "the data is empty");
    expectRefused("{ enabled = 1; value = { parameters = (32, 49, 1048576); }; }",
                  "old-style text property lists are not supported");
    expectRefused(std::string("\xFF\xFE<\0?\0", 6), "neither a binary nor an XML property list");
    expectRefused("bplist", "truncated");
    expectRefused(std::string(plist::kMaxFileBytes + 1, ' '), "too large");
    EXPECT_TRUE(plist::parse("\xEF\xBB\xBF  <plist><true/></plist>").value);
}

}  // namespace
