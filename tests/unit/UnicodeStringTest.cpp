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
