#include <gtest/gtest.h>

#include "platform/UnicodeString.h"

using kivora::canonicallyEqual;

TEST(CanonicalEquality, PrecomposedAndDecomposedAreEqualButCaseAndSpacesCount) {
    EXPECT_TRUE(canonicallyEqual("Caf\xC3\xA9", "Cafe\xCC\x81"));  // é vs e + combining acute
    EXPECT_TRUE(canonicallyEqual("", ""));
    EXPECT_FALSE(canonicallyEqual("Copy", "copy"));
    EXPECT_FALSE(canonicallyEqual("Copy", "Copy "));
    EXPECT_FALSE(canonicallyEqual("Caf\xC3\xA9", "Cafe"));
    // Combining marks in another order are canonically the same (ordering of classes).
    EXPECT_TRUE(canonicallyEqual("a\xCC\x81\xCC\xA3", "a\xCC\xA3\xCC\x81"));
}

TEST(CanonicalEquality, InvalidUtf8AndEmbeddedNulCompareByBytes) {
    EXPECT_TRUE(canonicallyEqual("\xFF\xFE", "\xFF\xFE"));
    EXPECT_FALSE(canonicallyEqual("\xFF\xFE", "\xC3\xA9"));
    EXPECT_FALSE(
        canonicallyEqual(std::string_view("\xC3\xA9\0x", 4), std::string_view("\xC3\xA9\0y", 4)));
    EXPECT_TRUE(
        canonicallyEqual(std::string_view("\xC3\xA9\0x", 4), std::string_view("e\xCC\x81\0x", 5)));
}

// The shortcuts (lengths far apart, both ASCII, a form worked out once) must never change an
// answer: decomposition can make a text three times longer or three times shorter.
TEST(CanonicalEquality, ShortcutsKeepTheAnswerWhereLengthsDifferMost) {
    std::string kelvins, ks, syllables, jamo;
    for (int i = 0; i < 50; ++i) {
        kelvins += "\xE2\x84\xAA";  // KELVIN SIGN, decomposes to "K"
        ks += "K";
        syllables += "\xEA\xB0\x81";                     // HANGUL SYLLABLE GAG
        jamo += "\xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8";  // its three jamo
    }
    EXPECT_TRUE(canonicallyEqual(kelvins, ks));
    EXPECT_TRUE(canonicallyEqual(syllables, jamo));
    EXPECT_FALSE(canonicallyEqual(ks, std::string(ks.size() * 13, 'K')));
    EXPECT_FALSE(canonicallyEqual("K", "k"));

    const std::string longTitle = "Zoom " + std::string(4096, 'x');
    const kivora::CanonicalText requested(syllables);
    EXPECT_FALSE(canonicallyEqual(kivora::CanonicalText(longTitle), requested));
    EXPECT_FALSE(canonicallyEqual(kivora::CanonicalText(kelvins), requested));
    EXPECT_TRUE(canonicallyEqual(kivora::CanonicalText(jamo), requested));
    EXPECT_TRUE(canonicallyEqual(requested, kivora::CanonicalText(syllables)));
}
