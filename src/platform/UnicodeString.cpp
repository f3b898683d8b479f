#include "platform/UnicodeString.h"

#include <utf8proc.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace kivora {

namespace {

struct FreeDeleter {
    void operator()(utf8proc_uint8_t* p) const { std::free(p); }
};
using Owned = std::unique_ptr<utf8proc_uint8_t, FreeDeleter>;

// Canonical decomposition with canonical ordering; none for invalid UTF-8.
std::optional<std::string> decompose(std::string_view s) {
    utf8proc_uint8_t* out = nullptr;
    const auto options = static_cast<utf8proc_option_t>(UTF8PROC_DECOMPOSE | UTF8PROC_STABLE);
    // Without UTF8PROC_NULLTERM an embedded NUL is a character like any other.
    const utf8proc_ssize_t n = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(s.data()),
                                            static_cast<utf8proc_ssize_t>(s.size()), &out, options);
    const Owned owned(out);
    if (n < 0) {
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(out), static_cast<std::size_t>(n));
}

// Canonical decomposition makes UTF-8 at most 3 times longer, and never shorter than one byte
// per code point (a quarter of the bytes at worst). Texts further apart than that cannot be
// equivalent, whatever they hold.
constexpr std::size_t kMostLengthRatio = 3 * 4;

}  // namespace

bool CanonicalText::isAscii() const {
    if (!ascii_) {
        ascii_ = std::all_of(text_.begin(), text_.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    }
    return *ascii_;
}

const std::optional<std::string>& CanonicalText::decomposed() const {
    if (!decomposedDone_) {
        decomposed_ = decompose(text_);
        decomposedDone_ = true;
    }
    return decomposed_;
}

bool canonicallyEqual(const CanonicalText& a, const CanonicalText& b) {
    const std::string_view ta = a.text();
    const std::string_view tb = b.text();
    if (ta == tb) {
        return true;
    }
    const std::size_t shorter = std::min(ta.size(), tb.size());
    const std::size_t longer = std::max(ta.size(), tb.size());
    if (shorter * kMostLengthRatio < longer) {
        return false;
    }
    // ASCII text is its own canonical form, and most titles are ASCII.
    if (a.isAscii() && b.isAscii()) {
        return false;
    }
    const std::optional<std::string>& da = a.decomposed();
    const std::optional<std::string>& db = b.decomposed();
    // Invalid UTF-8: the byte comparison above already failed.
    return da && db && *da == *db;
}

bool canonicallyEqual(std::string_view a, std::string_view b) {
    return canonicallyEqual(CanonicalText(a), CanonicalText(b));
}

}  // namespace kivora

namespace kivora {

std::string foldedForSearch(std::string_view text) {
    utf8proc_uint8_t* out = nullptr;
    const auto options =
        static_cast<utf8proc_option_t>(UTF8PROC_DECOMPOSE | UTF8PROC_STABLE | UTF8PROC_CASEFOLD);
    const utf8proc_ssize_t n =
        utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(text.data()),
                     static_cast<utf8proc_ssize_t>(text.size()), &out, options);
    if (n < 0) {
        std::free(out);
        return std::string(text);
    }
    std::string folded(reinterpret_cast<const char*>(out), static_cast<std::size_t>(n));
    std::free(out);
    return folded;
}

}  // namespace kivora
