#pragma once
// The one string equality the helper uses for names and titles: Unicode canonical
// equivalence (case-sensitive, no trimming; a precomposed and a decomposed letter are equal).

#include <string_view>

namespace kivora {

// Text that is not valid UTF-8 is compared byte for byte.
bool canonicallyEqual(std::string_view a, std::string_view b);

}  // namespace kivora
