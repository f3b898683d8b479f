#pragma once
// The built-in selection of symbolic hot keys: 44 rows "ID:Category//[Group//]Name".

#include <array>
#include <string_view>

namespace kivora {

inline constexpr std::size_t kSystemShortcutRowCount = 44;
const std::array<std::string_view, kSystemShortcutRowCount>& systemShortcutTable();

}  // namespace kivora
