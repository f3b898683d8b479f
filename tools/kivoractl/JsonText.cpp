#include "kivoractl/JsonText.h"

#include <nlohmann/json.hpp>

namespace kivoractl {

namespace {

// Received values nest only as deep as D-Bus allows (64 containers), so recursion is bounded.
nlohmann::json toJson(const kivora::Value& value) {
    return std::visit(
        [](const auto& v) -> nlohmann::json {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return nullptr;
            } else if constexpr (std::is_same_v<T, kivora::Data>) {
                return v.bytes;
            } else if constexpr (std::is_same_v<T, kivora::Array>) {
                auto out = nlohmann::json::array();
                for (const auto& item : v) {
                    out.push_back(toJson(item));
                }
                return out;
            } else if constexpr (std::is_same_v<T, kivora::Dictionary>) {
                auto out = nlohmann::json::object();
                for (const auto& [key, item] : v) {
                    out[key] = toJson(item);
                }
                return out;
            } else {
                return v;
            }
        },
        value.storage());
}

}  // namespace

std::string toJsonText(const kivora::Value& value, bool compact) {
    return toJson(value).dump(compact ? -1 : 2, ' ', false,
                              nlohmann::json::error_handler_t::replace);
}

}  // namespace kivoractl
