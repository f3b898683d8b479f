#pragma once
// Property lists (XML and binary) to and from Value, over libplist, behind a guard that
// refuses input the library cannot parse or free safely.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "messaging/Value.h"

namespace kivora::plist {

inline constexpr std::size_t kMaxFileBytes = 1024 * 1024;
inline constexpr std::uint64_t kMaxBinaryObjects = 65536;
// A binary list may refer to one object many times; the parser copies it for every reference,
// so the expanded tree is bounded as well (a few shared strings per entry is normal).
inline constexpr std::uint64_t kMaxBinaryExpandedObjects = 4 * kMaxBinaryObjects;
// Array/dict nesting, for XML and binary alike: the parser and the tree's destructor recurse.
inline constexpr int kMaxXmlNesting = 64;

// A description of why `bytes` is refused, or none when it may be handed to the parser.
// Refused: more than kMaxFileBytes; a binary list whose trailer or object table is malformed,
// that declares more than kMaxBinaryObjects objects, expands to more than
// kMaxBinaryExpandedObjects, nests deeper than kMaxXmlNesting, refers to itself or has a
// dictionary key that is not a string or holds a NUL; XML whose array/dict nesting exceeds
// kMaxXmlNesting or that holds a NUL (raw or as a character reference); old-style (OpenStep)
// text; anything that is neither binary nor XML.
std::optional<std::string> guard(std::string_view bytes);

enum class Problem {
    none,
    noSuchFile,  // the file does not exist
    unreadable,  // it exists but cannot be read (permissions, a folder, not a regular file)
    refused,     // the guard refused the bytes
    malformed,   // the parser rejected them
};

struct ParseResult {
    std::optional<Value> value;  // set on success
    std::string error;           // a clear one-line description on failure
    Problem problem = Problem::none;
};

// Guard, then parse. Integers beyond the signed 64-bit range become reals; dates become reals
// (seconds since 2001-01-01); UIDs become integers. Of repeated dictionary keys the last wins.
ParseResult parse(std::string_view bytes);

struct FileBytes {
    std::optional<std::string> bytes;  // set when the file could be read
    std::string error;                 // a clear one-line description otherwise
    Problem problem = Problem::none;
};

// Reads a whole file, at most kMaxFileBytes + 1 bytes (enough for the guard to see that it is
// too large). Only regular files are opened, so that a pipe or a device cannot block or flood
// the reader.
FileBytes readFile(const std::string& path);

// readFile, then parse.
ParseResult parseFile(const std::string& path);

enum class Format { xml, binary };
// Serialises a value; none when the value holds something a property list cannot (null, a
// string or key with a NUL character) or nests deeper than kMaxXmlNesting.
std::optional<std::string> serialize(const Value& value, Format format);

// The platform's textual description of a value, in the old-style property-list form, on one
// line: { enabled = 1; value = { parameters = ( 32, 49, 1048576 ); type = standard; }; }
// Keys are sorted; booleans are 1 and 0; strings made only of [A-Za-z0-9_$.:/-] stand bare,
// others are quoted with \" \\ \n \t \r and \Uxxxx escapes (so the result is one line).
std::string describe(const Value& value);

}  // namespace kivora::plist
