#include "system/SystemShortcutTable.h"
// STUB: to be implemented.
namespace kivora {
const std::array<std::string_view, kSystemShortcutRowCount>& systemShortcutTable() {
    static const std::array<std::string_view, kSystemShortcutRowCount> table{};
    return table;
}
}  // namespace kivora
