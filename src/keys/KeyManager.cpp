#include "keys/KeyManager.h"
// STUB: to be implemented.
namespace kivora {
const KeyManager& KeyManager::shared() {
    static const KeyManager instance;
    return instance;
}
const std::string& KeyManager::keyNameForKeyCode(std::int64_t) const {
    static const std::string unknown = "??";
    return unknown;
}
std::optional<std::int64_t> KeyManager::keyCodeForKeyName(std::string_view) const { return {}; }
std::string KeyManager::modifierSymbolsForFlags(std::uint64_t) const { return {}; }
}  // namespace kivora
