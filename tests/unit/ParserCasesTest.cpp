// The parsers' and the canonical comparison's cases, from tests/data/unit/parser-cases.txt.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/Json.h"
#include "platform/PropertyList.h"
#include "platform/UnicodeString.h"

namespace kivora {
namespace {

const std::string kData = KIVORA_SOURCE_DIR "/tests/data/unit/";

std::string readAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file) << path;
    return {std::istreambuf_iterator<char>(file), {}};
}

// Escapes (\n \0 \xHH \\), {{N*text}} repeats and @file (inputs only).
std::string expand(const std::string& s) {
    if (s.starts_with("@")) {
        return readAll(kData + "plist/" + s.substr(1));
    }
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s.compare(i, 2, "{{") == 0) {
            const auto star = s.find('*', i), end = s.find("}}", i);
            const std::string text = expand(s.substr(star + 1, end - star - 1));
            for (int n = std::stoi(s.substr(i + 2, star - i - 2)); n > 0; --n) {
                out += text;
            }
            i = end + 1;
        } else if (s[i] == '\\' && i + 1 < s.size()) {
            const char c = s[++i];
            if (c == 'x') {
                out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += c == 'n' ? '\n' : c == '0' ? '\0' : c;
            }
        } else {
            out += s[i];
        }
    }
    return out;
}

// The failure text for an outcome that does not meet `expected`, or "" when it does.
std::string judge(const std::optional<Value>& value, const std::string& error,
                  const std::string& expected) {
    const std::size_t space = std::min(expected.find(' '), expected.size());
    const std::string verb = expected.substr(0, space);
    const std::string rest = expected.substr(std::min(space + 1, expected.size()));
    const bool met = verb == "ok"  ? value.has_value()
                     : verb == "=" ? value && plist::describe(*value) == expand(rest)
                                   : !value && error.find(rest) != std::string::npos;
    return met ? "" : "got " + (value ? "value " + plist::describe(*value) : "error " + error);
}

void check(const std::string& kind, const std::string& input, const std::string& expected) {
    if (kind == "same" || kind == "differ") {
        const std::string a = expand(input), b = expand(expected);
        EXPECT_EQ(canonicallyEqual(a, b), kind == "same");
        EXPECT_EQ(canonicallyEqual(CanonicalText(a), CanonicalText(b)), kind == "same");
        return;
    }
    if (kind == "plist") {
        const auto result = plist::parse(expand(input));
        EXPECT_EQ(judge(result.value, result.error, expected), "");
        const auto problem = expected.starts_with("refused")     ? plist::Problem::refused
                             : expected.starts_with("malformed") ? plist::Problem::malformed
                                                                 : plist::Problem::none;
        EXPECT_EQ(result.problem, problem) << result.error;
        for (auto format : {plist::Format::xml, plist::Format::binary}) {
            if (result.value) {
                const auto back = plist::parse(plist::serialize(*result.value, format).value());
                EXPECT_EQ(back.value, result.value) << "written back " << int(format);
            }
        }
        return;
    }
    json::Limits limits;
    limits.allowScalarTopLevel = kind == "json-scalar";
    limits.maxDepth = kind == "json-depth3" ? 3 : limits.maxDepth;
    limits.maxBytes = kind == "json-1MiB" ? 1 << 20 : limits.maxBytes;
    ASSERT_TRUE(kind.starts_with("json")) << kind;
    const auto result = json::parse(expand(input), limits);
    EXPECT_EQ(judge(result.value, result.error, expected), "");
    EXPECT_EQ(result.error.find("[json.exception"), std::string::npos) << result.error;
}

TEST(ParserCases, EveryCaseOfTheFile) {
    std::istringstream lines(readAll(kData + "parser-cases.txt"));
    std::string line;
    int cases = 0;
    while (std::getline(lines, line)) {
        if (line.empty() || line.starts_with("#")) {
            continue;
        }
        const auto kind = line.substr(0, line.find(' '));
        const auto sep = line.find(" =>", kind.size());
        ASSERT_NE(sep, std::string::npos) << line;
        SCOPED_TRACE(line.substr(0, 200));
        check(kind, sep > kind.size() ? line.substr(kind.size() + 1, sep - kind.size() - 1) : "",
              line.size() > sep + 4 ? line.substr(sep + 4) : "");
        ++cases;
    }
    EXPECT_GT(cases, 100);
}

}  // namespace
}  // namespace kivora
