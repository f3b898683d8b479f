// Links the core alone: if the core needed an adapter symbol, this would not link.
#include "keys/KeyManager.h"
#include "platform/UnicodeString.h"

int main() {
    const auto& name = kivora::KeyManager::shared().keyNameForKeyCode(0);
    return kivora::canonicallyEqual(name, "A") ? 0 : 1;
}
