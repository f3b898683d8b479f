#include "platform/UnicodeString.h"

#include <utf8proc.h>

#include <cstdlib>
#include <memory>

namespace kivora {

namespace {

bool isAscii(std::string_view s) {
    for (unsigned char c : s) {
        if (c >= 0x80) {
            return false;
        }
    }
    return true;
}

struct FreeDeleter {
    void operator()(utf8proc_uint8_t* p) const { std::free(p); }
};
using Owned = std::unique_ptr<utf8proc_uint8_t, FreeDeleter>;

struct Decomposed {
    Owned text;
    std::size_t size = 0;
    std::string_view view() const {
        return {reinterpret_cast<const char*>(text.get()), size};
    }
};

// Canonical decomposition with canonical ordering; an empty text for invalid UTF-8.
Decomposed decompose(std::string_view s) {
    utf8proc_uint8_t* out = nullptr;
    const auto options = static_cast<utf8proc_option_t>(UTF8PROC_DECOMPOSE | UTF8PROC_STABLE);
    const utf8proc_ssize_t n = utf8proc_map(reinterpret_cast<const utf8proc_uint8_t*>(s.data()),
                                            static_cast<utf8proc_ssize_t>(s.size()), &out, options);
    if (n < 0) {
        std::free(out);
        return {};
    }
    return {Owned(out), static_cast<std::size_t>(n)};
}

}  // namespace

bool canonicallyEqual(std::string_view a, std::string_view b) {
    if (a == b) {
        return true;
    }
    // ASCII text is its own canonical form, and most titles are ASCII.
    if (isAscii(a) && isAscii(b)) {
        return false;
    }
    // Without UTF8PROC_NULLTERM an embedded NUL is a character like any other.
    const Decomposed da = decompose(a);
    const Decomposed db = decompose(b);
    if (!da.text || !db.text) {
        return false;  // invalid UTF-8: the byte comparison above already failed
    }
    return da.view() == db.view();
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
