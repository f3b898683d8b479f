#pragma once
// The one string equality the helper uses for names and titles: Unicode canonical
// equivalence (case-sensitive, no trimming; a precomposed and a decomposed letter are equal).

#include <optional>
#include <string>
#include <string_view>

namespace kivora {

// A text whose canonical form is worked out at most once, and only when a comparison needs
// it: one incoming name checked against many stored titles costs one decomposition, or none.
// Views `text`, which must outlive it.
class CanonicalText {
public:
    explicit CanonicalText(std::string_view text) : text_(text) {}

    std::string_view text() const { return text_; }
    bool isAscii() const;
    // The canonical decomposition, or none when the text is not valid UTF-8.
    const std::optional<std::string>& decomposed() const;

private:
    std::string_view text_;
    mutable std::optional<bool> ascii_;
    mutable bool decomposedDone_ = false;
    mutable std::optional<std::string> decomposed_;
};

// Text that is not valid UTF-8 is compared byte for byte.
bool canonicallyEqual(const CanonicalText& a, const CanonicalText& b);
bool canonicallyEqual(std::string_view a, std::string_view b);

}  // namespace kivora

#include <string>

namespace kivora {

// `text` in the form a case-insensitive search compares: canonically decomposed and case
// folded, so "É", "é" and "e" + U+0301 are the same text. Invalid UTF-8 comes back unchanged.
std::string foldedForSearch(std::string_view text);

}  // namespace kivora
