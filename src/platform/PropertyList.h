#pragma once
// Property lists (XML and binary) to and from Value, over libplist, behind a guard that
// refuses input the library cannot parse or free safely.

#include <optional>
#include <string>
#include <string_view>

#include "messaging/Value.h"

namespace kivora::plist {

inline constexpr std::size_t kMaxFileBytes = 1024 * 1024;
inline constexpr std::uint64_t kMaxBinaryObjects = 65536;
inline constexpr int kMaxXmlNesting = 64;

// A description of why `bytes` is refused, or none when it may be handed to the parser.
// Refused: more than kMaxFileBytes; a binary list whose trailer is malformed or declares more
// than kMaxBinaryObjects objects; XML whose array/dict nesting exceeds kMaxXmlNesting; old-style
// (OpenStep) text; anything that is neither binary nor XML.
std::optional<std::string> guard(std::string_view bytes);

struct ParseResult {
    std::optional<Value> value;  // set on success
    std::string error;           // a clear description on failure
};

// Guard, then parse. Integers beyond the signed 64-bit range become reals; dates become reals
// (seconds since 2001-01-01); UIDs become integers.
ParseResult parse(std::string_view bytes);

// Reads a whole file (at most kMaxFileBytes + 1 bytes are read) and parses it.
ParseResult parseFile(const std::string& path);

enum class Format { xml, binary };
// Serialises a value; none when the value holds something a property list cannot (null).
std::optional<std::string> serialize(const Value& value, Format format);

// The platform's textual description of a value, in the old-style property-list form:
// { enabled = 1; value = { parameters = ( 32, 49, 1048576 ); type = standard; }; }
std::string describe(const Value& value);

}  // namespace kivora::plist
