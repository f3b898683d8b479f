// The guard in front of libplist. The library recurses once per nesting level while parsing
// binary lists and while freeing any tree, copies a binary object for every reference to it,
// and asserts on dictionary keys that are not strings or hold a NUL, so deep, self-referring,
// heavily shared or odd-keyed input would crash, abort or exhaust it. Everything here is
// iterative and bounded by the size of the input.
#include <vector>

#include "platform/PropertyList.h"

namespace kivora::plist {

namespace {

constexpr std::string_view kBinaryMagic = "bplist";
constexpr std::string_view kBinaryVersion = "00";
constexpr std::size_t kTrailerBytes = 32;
constexpr std::size_t kHeaderBytes = 8;

std::string notReadable(const std::string& why) {
    return "The data couldn’t be read because it isn’t in the correct format (" + why + ").";
}

std::uint64_t readBigEndian(std::string_view bytes, std::size_t at, std::size_t width) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i) {
        v = (v << 8) | static_cast<std::uint8_t>(bytes[at + i]);
    }
    return v;
}

// The binary object table as declared by the trailer, checked for internal consistency.
class BinaryTable {
public:
    explicit BinaryTable(std::string_view bytes) : bytes_(bytes) {}

    std::optional<std::string> readTrailer();
    // Walks the tree below the top object depth first with an explicit stack.
    std::optional<std::string> walk();

private:
    struct Header {
        std::uint8_t type = 0;
        std::uint64_t count = 0;     // children of a container
        std::uint64_t keyCount = 0;  // of them, the keys of a dictionary
        std::size_t refsAt = 0;      // where a container's references start
        std::size_t dataAt = 0;      // where the bytes after the header start
        std::size_t dataBytes = 0;
        bool isContainer = false;
    };
    struct Frame {
        std::uint64_t object;
        std::uint64_t nextRef;
        std::uint64_t refCount;
        std::uint64_t keyCount;  // the first references of a dictionary are its keys
        std::size_t refsAt;
    };

    std::optional<std::string> header(std::uint64_t object, Header& out);
    bool keyHoldsNul(const Header& h) const {
        const std::string_view data = bytes_.substr(h.dataAt, h.dataBytes);
        if (h.type == 0x5) {
            return data.find('\0') != std::string_view::npos;
        }
        for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
            if (data[i] == '\0' && data[i + 1] == '\0') {
                return true;
            }
        }
        return false;
    }
    std::uint64_t reference(std::size_t refsAt, std::uint64_t index) const {
        return readBigEndian(bytes_, refsAt + index * refSize_, refSize_);
    }

    std::string_view bytes_;
    std::size_t offsetSize_ = 0;
    std::size_t refSize_ = 0;
    std::uint64_t objectCount_ = 0;
    std::uint64_t topObject_ = 0;
    std::size_t tableAt_ = 0;  // the offset table; objects lie before it
};

std::optional<std::string> BinaryTable::readTrailer() {
    if (bytes_.size() < kHeaderBytes + 1 + kTrailerBytes) {
        return notReadable("the binary property list is truncated");
    }
    if (bytes_.substr(kBinaryMagic.size(), kBinaryVersion.size()) != kBinaryVersion) {
        return notReadable("unsupported binary property list version");
    }
    const std::size_t trailer = bytes_.size() - kTrailerBytes;
    offsetSize_ = static_cast<std::uint8_t>(bytes_[trailer + 6]);
    refSize_ = static_cast<std::uint8_t>(bytes_[trailer + 7]);
    objectCount_ = readBigEndian(bytes_, trailer + 8, 8);
    topObject_ = readBigEndian(bytes_, trailer + 16, 8);
    const std::uint64_t tableAt = readBigEndian(bytes_, trailer + 24, 8);

    if (offsetSize_ < 1 || offsetSize_ > 8 || refSize_ < 1 || refSize_ > 8) {
        return notReadable("malformed binary trailer");
    }
    if (objectCount_ > kMaxBinaryObjects) {
        return notReadable("the binary property list declares " + std::to_string(objectCount_) +
                           " objects; at most " + std::to_string(kMaxBinaryObjects) +
                           " are accepted");
    }
    if (objectCount_ == 0 || topObject_ >= objectCount_ || tableAt < kHeaderBytes + 1 ||
        tableAt > trailer || objectCount_ * offsetSize_ > trailer - tableAt) {
        return notReadable("malformed binary trailer");
    }
    tableAt_ = static_cast<std::size_t>(tableAt);
    return std::nullopt;
}

std::optional<std::string> BinaryTable::header(std::uint64_t object, Header& out) {
    const std::uint64_t at = readBigEndian(bytes_, tableAt_ + object * offsetSize_, offsetSize_);
    if (at < kHeaderBytes || at >= tableAt_) {
        return notReadable("a binary object lies outside the object area");
    }
    std::size_t pos = static_cast<std::size_t>(at);
    const std::uint8_t marker = static_cast<std::uint8_t>(bytes_[pos++]);
    out = Header{};
    out.type = marker >> 4;
    const std::uint8_t info = marker & 0x0F;

    // Containers, strings and data carry a count; 0xF means an integer object follows.
    std::uint64_t count = info;
    const bool counted =
        out.type == 0x4 || out.type == 0x5 || out.type == 0x6 || out.type == 0xA || out.type == 0xD;
    if (counted && info == 0x0F) {
        if (pos >= tableAt_) {
            return notReadable("a binary object is truncated");
        }
        const std::uint8_t intMarker = static_cast<std::uint8_t>(bytes_[pos++]);
        const std::size_t width = std::size_t{1} << (intMarker & 0x0F);
        if ((intMarker >> 4) != 0x1 || width > 8 || width > tableAt_ - pos) {
            return notReadable("a binary object has a malformed length");
        }
        count = readBigEndian(bytes_, pos, width);
        pos += width;
    }
    const std::uint64_t room = tableAt_ - pos;

    std::uint64_t extent = 0;  // bytes after the header
    switch (out.type) {
        case 0x0:  // only the two booleans; null and fill are not property-list values
            if (info != 0x8 && info != 0x9) {
                return notReadable("unsupported binary object");
            }
            break;
        case 0x1:  // integers of 1, 2, 4, 8 or 16 bytes
            if (info > 4) {
                return notReadable("a binary integer has an invalid size");
            }
            extent = std::uint64_t{1} << info;
            break;
        case 0x2:  // reals of 4 or 8 bytes
            if (info != 2 && info != 3) {
                return notReadable("a binary real has an invalid size");
            }
            extent = std::uint64_t{1} << info;
            break;
        case 0x3:
            if (info != 3) {
                return notReadable("a binary date has an invalid size");
            }
            extent = 8;
            break;
        case 0x4:  // data
        case 0x5:  // ASCII string
            extent = count;
            break;
        case 0x6:  // UTF-16 string, count in code units
            if (count > room / 2) {
                return notReadable("a binary object is truncated");
            }
            extent = count * 2;
            break;
        case 0x8:  // UID of 1 to 8 bytes
            if (info > 7) {
                return notReadable("a binary UID has an invalid size");
            }
            extent = info + 1U;
            break;
        case 0xA:
        case 0xD: {
            const std::uint64_t refs = out.type == 0xD ? 2 : 1;
            if (count > room / refSize_ / refs) {
                return notReadable("a binary object is truncated");
            }
            extent = count * refs * refSize_;
            out.isContainer = true;
            out.count = count * refs;  // a dictionary's keys, then its values
            out.keyCount = out.type == 0xD ? count : 0;
            out.refsAt = pos;
            break;
        }
        default:
            return notReadable("unsupported binary object");
    }
    if (extent > room) {
        return notReadable("a binary object is truncated");
    }
    out.dataAt = pos;
    out.dataBytes = static_cast<std::size_t>(extent);
    return std::nullopt;
}

std::optional<std::string> BinaryTable::walk() {
    std::vector<std::uint8_t> onPath(objectCount_, 0);
    std::vector<Frame> stack;
    std::uint64_t expanded = 0;

    // Visits one object: checks it, and pushes it when it is a container.
    auto visit = [&](std::uint64_t object, bool isKey) -> std::optional<std::string> {
        if (object >= objectCount_) {
            return notReadable("a binary reference points past the object table");
        }
        if (++expanded > kMaxBinaryExpandedObjects) {
            return notReadable("the binary property list expands to more than " +
                               std::to_string(kMaxBinaryExpandedObjects) + " objects");
        }
        if (onPath[object] != 0) {
            return notReadable("the binary property list refers to itself");
        }
        Header h;
        if (auto problem = header(object, h)) {
            return problem;
        }
        // The library asserts (aborts) on a dictionary key that is not a string or that holds
        // a NUL character.
        if (isKey && h.type != 0x5 && h.type != 0x6) {
            return notReadable("a dictionary key is not a string");
        }
        if (isKey && keyHoldsNul(h)) {
            return notReadable("a dictionary key holds a NUL character");
        }
        if (!h.isContainer) {
            return std::nullopt;
        }
        if (stack.size() >= static_cast<std::size_t>(kMaxXmlNesting)) {
            return notReadable("arrays and dictionaries are nested more than " +
                               std::to_string(kMaxXmlNesting) + " levels deep");
        }
        onPath[object] = 1;
        stack.push_back(Frame{object, 0, h.count, h.keyCount, h.refsAt});
        return std::nullopt;
    };

    if (auto problem = visit(topObject_, false)) {
        return problem;
    }
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.nextRef == top.refCount) {
            onPath[top.object] = 0;
            stack.pop_back();
            continue;
        }
        const bool isKey = top.nextRef < top.keyCount;
        const std::uint64_t child = reference(top.refsAt, top.nextRef++);
        if (auto problem = visit(child, isKey)) {
            return problem;
        }
    }
    return std::nullopt;
}

std::optional<std::string> guardBinary(std::string_view bytes) {
    BinaryTable table(bytes);
    if (auto problem = table.readTrailer()) {
        return problem;
    }
    return table.walk();
}

inline bool startsWith(std::string_view text, std::size_t at, std::string_view prefix) {
    return text.size() >= at && text.size() - at >= prefix.size() &&
           text.compare(at, prefix.size(), prefix) == 0;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isTagEnd(std::string_view text, std::size_t at) {
    return at >= text.size() || text[at] == '>' || isSpace(text[at]);
}

// `word` at `at`, in any letter case.
bool startsWithFolded(std::string_view text, std::size_t at, std::string_view word) {
    if (text.size() - at < word.size()) {
        return false;
    }
    for (std::size_t k = 0; k < word.size(); ++k) {
        const char c = text[at + k];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != word[k]) {
            return false;
        }
    }
    return true;
}

// "<array" or "<dict" at `name` - 1 opens a container unless it is written empty ("<dict/>").
bool opensContainer(std::string_view text, std::size_t name) {
    std::size_t after = 0;
    if (startsWithFolded(text, name, "array")) {
        after = name + 5;
    } else if (startsWithFolded(text, name, "dict")) {
        after = name + 4;
    } else {
        return false;
    }
    while (after < text.size() && isSpace(text[after])) {
        ++after;
    }
    return !startsWith(text, after, "/>");
}

// The deepest array/dict nesting of an XML text, stopping once `limit` is passed. Errs on the
// side of depth: an opening tag counts wherever its text appears (even in a comment or a
// quoted attribute), a closing tag only in plain markup, so no reading of the text by the
// parser can nest deeper than the count.
int xmlNesting(std::string_view text, int limit) {
    constexpr auto npos = std::string_view::npos;
    int depth = 0;
    int deepest = 0;
    // Where the current skipped region (comment, CDATA, declaration, tag interior) ends; closing
    // tags before it are not counted.
    std::size_t skipUntil = 0;
    for (std::size_t i = text.find('<'); i != npos; i = text.find('<', i + 1)) {
        const std::size_t name = i + 1;
        const char first = name < text.size() ? text[name] : '\0';
        const bool maybeContainer = first == 'a' || first == 'A' || first == 'd' || first == 'D';
        if (maybeContainer && opensContainer(text, name) && ++depth > deepest) {
            deepest = depth;
            if (deepest > limit) {
                return deepest;
            }
        }
        if (i < skipUntil) {
            continue;
        }
        std::size_t end = npos;
        if (first == '!' && startsWith(text, name, "!--")) {
            end = text.find("-->", name + 3);
            end = end == npos ? npos : end + 3;
        } else if (first == '!' && startsWith(text, name, "![CDATA[")) {
            end = text.find("]]>", name + 8);
            end = end == npos ? npos : end + 3;
        } else if (first == '?') {
            end = text.find("?>", name + 1);
            end = end == npos ? npos : end + 2;
        } else {
            // A declaration ends at the '>' outside quotes and brackets, a tag at the '>'
            // outside quotes; the interior of either is no markup.
            if (first == '/' && ((startsWith(text, name, "/array") && isTagEnd(text, name + 6)) ||
                                 (startsWith(text, name, "/dict") && isTagEnd(text, name + 5)))) {
                depth = depth > 0 ? depth - 1 : 0;
            }
            const std::string_view stops = first == '!' ? "\"'[]>" : "\"'>";
            int brackets = 0;
            for (std::size_t j = text.find_first_of(stops, name); j != npos;
                 j = text.find_first_of(stops, j + 1)) {
                const char c = text[j];
                if (c == '"' || c == '\'') {
                    j = text.find(c, j + 1);
                    if (j == npos) {
                        break;
                    }
                } else if (c == '[') {
                    ++brackets;
                } else if (c == ']') {
                    brackets = brackets > 0 ? brackets - 1 : 0;
                } else if (brackets == 0) {
                    end = j + 1;
                    break;
                }
            }
        }
        skipUntil = end == npos ? text.size() : end;
    }
    return deepest;
}

int digitValue(char c, bool hex) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (hex && c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (hex && c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// A numeric character reference that is not plainly a character from U+0001 to U+10FFFF
// ("&#0;", "&#x;", "&# 0;", "&#4294967296;"): a lenient decoder may turn any of them into NUL.
bool hasSuspectReference(std::string_view text) {
    for (std::size_t i = text.find("&#"); i != std::string_view::npos; i = text.find("&#", i + 2)) {
        std::size_t j = i + 2;
        const bool hex = j < text.size() && (text[j] == 'x' || text[j] == 'X');
        j += hex ? 1 : 0;
        std::uint64_t value = 0;
        const std::size_t first = j;
        for (; j < text.size() && digitValue(text[j], hex) >= 0 && value <= 0x10FFFF; ++j) {
            value = value * (hex ? 16 : 10) + static_cast<std::uint64_t>(digitValue(text[j], hex));
        }
        if (j == first || value == 0 || value > 0x10FFFF) {
            return true;
        }
    }
    return false;
}

bool isAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

}  // namespace

std::optional<std::string> guard(std::string_view bytes) {
    if (bytes.size() > kMaxFileBytes) {
        return "The data couldn’t be read because it is too large (more than " +
               std::to_string(kMaxFileBytes) + " bytes).";
    }
    if (bytes.empty()) {
        return notReadable("the data is empty");
    }
    if (startsWith(bytes, 0, kBinaryMagic)) {
        return guardBinary(bytes);
    }
    std::size_t start = startsWith(bytes, 0, "\xEF\xBB\xBF") ? 3 : 0;
    while (start < bytes.size() && isSpace(bytes[start])) {
        ++start;
    }
    if (start == bytes.size()) {
        return notReadable("the data is empty");
    }
    if (bytes[start] == '<') {
        // A NUL in a key makes the library assert; XML allows none anywhere.
        if (bytes.find('\0') != std::string_view::npos || hasSuspectReference(bytes)) {
            return notReadable("the XML text holds a NUL character or a malformed reference");
        }
        if (xmlNesting(bytes, kMaxXmlNesting) > kMaxXmlNesting) {
            return notReadable("arrays and dictionaries are nested more than " +
                               std::to_string(kMaxXmlNesting) + " levels deep");
        }
        return std::nullopt;
    }
    const char c = bytes[start];
    if (c == '{' || c == '(' || c == '"' || c == '/' || isAsciiAlnum(c)) {
        return notReadable("old-style text property lists are not supported");
    }
    return notReadable("neither a binary nor an XML property list");
}

}  // namespace kivora::plist
