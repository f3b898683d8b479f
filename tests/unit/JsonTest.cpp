#include <gtest/gtest.h>

#include <limits>
#include <string>

#include "platform/Json.h"

namespace kivora {
namespace {

TEST(Json, ValuesConvertToPropertyListTypes) {
    const auto result = json::parse(
        R"({"s":"é","i":-9223372036854775808,"max":9223372036854775807,)"
        R"("big":9223372036854775808,"r":2.5,"b":true,"n":null,"a":[1,"2",[]],"d":{}})");
    ASSERT_TRUE(result.value) << result.error;
    const Value& v = *result.value;
    EXPECT_EQ(*v.find("s"), Value("é"));
    EXPECT_EQ(*v.find("i"), Value(std::numeric_limits<std::int64_t>::min()));
    EXPECT_EQ(*v.find("max"), Value(std::numeric_limits<std::int64_t>::max()));
    EXPECT_TRUE(v.find("big")->isReal());  // beyond a signed 64-bit integer
    EXPECT_EQ(*v.find("r"), Value(2.5));
    EXPECT_EQ(*v.find("b"), Value(true));
    EXPECT_TRUE(v.find("n")->isNull());
    EXPECT_EQ(*v.find("a"), Value(Array{Value(1), Value("2"), Value(Array{})}));
    EXPECT_EQ(*v.find("d"), Value(Dictionary{}));
}

TEST(Json, TopLevelScalarOnlyWhenAllowed) {
    for (const char* text : {"1", "\"x\"", "true", "null"}) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(json::parse(text).value);
        EXPECT_FALSE(json::parse(text).error.empty());
        EXPECT_TRUE(json::parse(text, {.allowScalarTopLevel = true}).value);
    }
}

TEST(Json, InvalidTextGivesAPlainDescription) {
    for (const char* text : {"", "[1,]", "[1] [2]", "[\"\xC3\"]", "[\"a\nb\"]", "{1:2}",
                             "[// comment\n]", "[\"\\x\"]", "[01]", "[NaN]"}) {
        SCOPED_TRACE(text);
        const auto result = json::parse(text);
        EXPECT_FALSE(result.value);
        EXPECT_TRUE(result.error.starts_with("The data is not valid JSON: ")) << result.error;
        EXPECT_EQ(result.error.find("[json.exception"), std::string::npos);
    }
}

TEST(Json, DepthLimitCountsOnlyRealNesting) {
    const auto nested = [](std::size_t depth) {
        std::string text;
        for (std::size_t i = 0; i < depth; ++i) {
            text += i % 2 ? "{\"k\":" : "[";
        }
        text += "0";
        for (std::size_t i = depth; i-- > 0;) {
            text += i % 2 ? "}" : "]";
        }
        return text;
    };
    EXPECT_TRUE(json::parse(nested(512)).value);
    const auto tooDeep = json::parse(nested(513));
    EXPECT_FALSE(tooDeep.value);
    EXPECT_NE(tooDeep.error.find("512"), std::string::npos) << tooDeep.error;
    EXPECT_FALSE(json::parse(nested(4), json::Limits{.maxDepth = 3}).value);

    // Brackets inside strings, escaped quotes included, are text, not nesting.
    const std::string brackets(5000, '[');
    EXPECT_TRUE(json::parse("[\"" + brackets + "\"]").value);
    EXPECT_TRUE(json::parse("[\"\\\"" + brackets + "\"]").value);
    EXPECT_TRUE(json::parse("[\"\\\\\"," + nested(511) + "]").value);
    EXPECT_FALSE(json::parse("[\"\\\\\"," + nested(512) + "]").value);

    // Unbalanced input deeper than the limit never reaches the parser.
    EXPECT_FALSE(json::parse(std::string(60000, '[')).value);
    EXPECT_FALSE(json::parse("]]]" + std::string(600, '[')).value);
}

TEST(Json, SizeLimitIsInclusive) {
    std::string text = "[\"";
    text += std::string(64 * 1024 - 4, 'x');
    text += "\"]";
    ASSERT_EQ(text.size(), 64u * 1024);
    EXPECT_TRUE(json::parse(text).value);
    text.insert(1, " ");
    const auto result = json::parse(text);
    EXPECT_FALSE(result.value);
    EXPECT_NE(result.error.find("too large"), std::string::npos) << result.error;
    EXPECT_TRUE(json::parse(text, {.maxBytes = 1 << 20}).value);
}

}  // namespace
}  // namespace kivora
