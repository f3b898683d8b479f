#include "messaging/KeyCodeAndFlags.h"

#include "messaging/NotificationNames.h"

namespace kivora {

Value keyDictionary(const KeyCodeAndFlags& pair) {
    return Dictionary{{names::keyCodeKey(), pair.keyCode}, {names::flagsKey(), pair.flags}};
}

Array keyDictionaries(const std::vector<KeyCodeAndFlags>& pairs) {
    Array out;
    out.reserve(pairs.size());
    for (const auto& pair : pairs) {
        out.push_back(keyDictionary(pair));
    }
    return out;
}

}  // namespace kivora
