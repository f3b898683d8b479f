#pragma once
// The one string equality the helper uses for names and titles: Unicode canonical
// equivalence (case-sensitive, no trimming; a precomposed and a decomposed letter are equal).

#include <string_view>

namespace kivora {

// Text that is not valid UTF-8 is compared byte for byte.
bool canonicallyEqual(std::string_view a, std::string_view b);

}  // namespace kivora

#include <string>

namespace kivora {

// `text` in the form a case-insensitive search compares: canonically decomposed and case
// folded, so "É", "é" and "e" + U+0301 are the same text. Invalid UTF-8 comes back unchanged.
std::string foldedForSearch(std::string_view text);

}  // namespace kivora
