#pragma once
// Reading a fuzz input front to back, and the checks the targets make. Past the end every read
// answers zero, so any input, however short, describes something; reading front to back keeps
// the seed files easy to write by hand (fuzz/make_seeds.py).

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "messaging/Value.h"

// A broken promise of the code under test: report it and stop, so that libFuzzer keeps the
// input as a crash.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (false)

namespace kivora::fuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool atEnd() const { return at_ >= size_; }

    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::uint16_t u16() {
        const std::uint16_t high = byte();
        return static_cast<std::uint16_t>((high << 8) | byte());
    }
    std::uint64_t u64() {
        std::uint64_t v = 0;
        for (int i = 0; i < 8; ++i) {
            v = (v << 8) | byte();
        }
        return v;
    }
    // A number below `n` (0 when n is 0); one byte, so meant for n up to 256.
    std::size_t below(std::size_t n) { return n == 0 ? 0 : byte() % n; }
    bool flag() { return (byte() & 1) != 0; }

    // A length byte, then that many bytes (fewer when the input ends).
    std::string text() { return bytes(byte()); }
    std::string bytes(std::size_t count) {
        const std::size_t left = at_ < size_ ? size_ - at_ : 0;
        const std::size_t n = count < left ? count : left;
        std::string out(reinterpret_cast<const char*>(data_) + (size_ - left), n);
        at_ += n;
        return out;
    }
    std::string rest() { return bytes(size_); }

    template <typename T, std::size_t N>
    const T& pick(const T (&choices)[N]) {
        return choices[below(N)];
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// Titles, key names and other texts that steer the code under test into its special cases:
// the Apple and Services menus, canonically equivalent spellings, separators, invalid UTF-8.
inline constexpr const char* kWords[] = {
    "",          "File",        "Edit",       "Apple",      "Services", "服务",     "Save",
    "Save As…",  "Zoom: 100%",  "Caf\u00e9",  "Cafe\u0301", "S",        "s",        "\u21a9",
    "\u2318",    "Open Recent", "Clear Menu", "a/b",        "\xff\xfe", "\xe2\x82", "line\nbreak",
    "tab\there", "\"quoted\"",  "\\",         "\uF8FF",     "1",        "Quit",     "View",
};

inline std::string word(FuzzInput& in) {
    // Mostly a known word, sometimes raw bytes.
    const std::uint8_t choice = in.byte();
    if (choice < 224) {
        return kWords[choice % std::size(kWords)];
    }
    return in.text();
}

// Reals that sit on the edges of integer conversion and formatting.
inline constexpr double kReals[] = {
    0.5,      -1.5,      7.9, -0.0, 1e300, -1e300, 9223372036854775808.0, -9223372036854775808.0,
    HUGE_VAL, -HUGE_VAL, NAN, 2.0,  12.0,  1e-320,
};

// A plain value of any type, nested at most `depth` more levels.
inline Value plainValue(FuzzInput& in, int depth) {
    switch (in.byte() % 10) {
        case 0:
            return Value();
        case 1:
            return Value(in.flag());
        case 2:
            return Value(static_cast<std::int64_t>(static_cast<std::int8_t>(in.byte())));
        case 3:
            return Value(static_cast<std::int64_t>(in.u64()));
        case 4:
            return Value(in.pick(kReals));
        case 5:
            return Value(word(in));
        case 6: {
            const std::string raw = in.text();
            return Value(Data{std::vector<std::uint8_t>(raw.begin(), raw.end())});
        }
        case 7: {
            Array array;
            const std::size_t count = depth > 0 ? in.below(4) : 0;
            for (std::size_t i = 0; i < count; ++i) {
                array.push_back(plainValue(in, depth - 1));
            }
            return Value(std::move(array));
        }
        case 8: {
            Dictionary dictionary;
            const std::size_t count = depth > 0 ? in.below(4) : 0;
            for (std::size_t i = 0; i < count; ++i) {
                dictionary.insert_or_assign(word(in), plainValue(in, depth - 1));
            }
            return Value(std::move(dictionary));
        }
        default:
            return Value(std::string(in.text()));
    }
}

// Equality that counts two NaNs as the same value, as a round trip should keep them.
inline bool sameValue(const Value& a, const Value& b) {
    if (a.isReal() && b.isReal()) {
        return a.asReal() == b.asReal() || (std::isnan(a.asReal()) && std::isnan(b.asReal()));
    }
    if (a.isArray() && b.isArray()) {
        const Array& x = a.asArray();
        const Array& y = b.asArray();
        if (x.size() != y.size()) {
            return false;
        }
        for (std::size_t i = 0; i < x.size(); ++i) {
            if (!sameValue(x[i], y[i])) {
                return false;
            }
        }
        return true;
    }
    if (a.isDictionary() && b.isDictionary()) {
        const Dictionary& x = a.asDictionary();
        const Dictionary& y = b.asDictionary();
        if (x.size() != y.size()) {
            return false;
        }
        for (auto i = x.begin(), j = y.begin(); i != x.end(); ++i, ++j) {
            if (i->first != j->first || !sameValue(i->second, j->second)) {
                return false;
            }
        }
        return true;
    }
    return a == b;
}

}  // namespace kivora::fuzz
