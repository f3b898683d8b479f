#include "messaging/ShortcutList.h"

namespace kivora {

Value toValue(const ShortcutEntry& entry) {
    return std::visit(
        [](const auto& e) -> Value {
            if constexpr (std::is_same_v<std::decay_t<decltype(e)>, std::string>) {
                return Value(e);
            } else {
                Dictionary record;
                forEachField(e, [&](std::string_view key, const std::string& text) {
                    record.emplace_hint(record.end(), key, text);
                });
                return Value(std::move(record));
            }
        },
        entry);
}

Array toArray(const ShortcutList& list) {
    Array array;
    array.reserve(list.size());
    for (const ShortcutEntry& entry : list) {
        array.push_back(toValue(entry));
    }
    return array;
}

}  // namespace kivora
