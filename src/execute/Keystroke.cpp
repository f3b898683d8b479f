#include "execute/Keystroke.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <string>

#include "messaging/NotificationNames.h"
#include "platform/Json.h"

namespace kivora {

namespace {

constexpr std::int64_t kLargestKeyCode = std::numeric_limits<std::uint16_t>::max();

// An optional sign and one or more ASCII digits, nothing else; the magnitude must fit 64 bits.
struct Decimal {
    bool negative = false;
    std::uint64_t magnitude = 0;
};

std::optional<Decimal> parseDecimal(std::string_view text) {
    Decimal result;
    std::size_t i = 0;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        result.negative = text[0] == '-';
        i = 1;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (result.magnitude > (kMax - digit) / 10) {
            return std::nullopt;
        }
        result.magnitude = result.magnitude * 10 + digit;
    }
    return result;
}

std::optional<std::int64_t> signedDecimal(const Value& element) {
    const std::string* text = element.string();
    if (text == nullptr) {
        return std::nullopt;
    }
    const auto decimal = parseDecimal(*text);
    if (!decimal) {
        return std::nullopt;
    }
    constexpr auto kMaxPositive =
        static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (!decimal->negative) {
        if (decimal->magnitude > kMaxPositive) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(decimal->magnitude);
    }
    if (decimal->magnitude > kMaxPositive + 1) {
        return std::nullopt;
    }
    // 0 - magnitude in unsigned arithmetic is the two's complement of the negative value.
    return static_cast<std::int64_t>(std::uint64_t{0} - decimal->magnitude);
}

// A minus sign is accepted only before a zero value.
std::optional<std::uint64_t> unsignedDecimal(const Value& element) {
    const std::string* text = element.string();
    if (text == nullptr) {
        return std::nullopt;
    }
    const auto decimal = parseDecimal(*text);
    if (!decimal || (decimal->negative && decimal->magnitude != 0)) {
        return std::nullopt;
    }
    return decimal->magnitude;
}

bool isOffered(const std::vector<KeyCodeAndFlags>& offered, std::int64_t keyCode,
               std::uint64_t flags) {
    return std::any_of(offered.begin(), offered.end(), [&](const KeyCodeAndFlags& pair) {
        return pair.keyCode == keyCode && pair.flags >= 0 &&
               static_cast<std::uint64_t>(pair.flags) == flags;
    });
}

std::string describePair(std::int64_t keyCode, std::uint64_t flags) {
    return "keyCode=" + std::to_string(keyCode) + ", flags=" + std::to_string(flags);
}

}  // namespace

void handleSystemShortcutClick(std::string_view notificationName,
                               const std::vector<KeyCodeAndFlags>& offered, EventTap& eventTap,
                               Console& console) {
    const std::string& prefix = names::systemClickedPrefix();
    if (!notificationName.starts_with(prefix)) {
        return;
    }
    // The whole rest of the name: a ':' inside the JSON text must not cut it short.
    const std::string_view text = notificationName.substr(prefix.size());
    if (text.empty() || text.front() != '[' || text.back() != ']') {
        return;
    }

    const json::ParseResult parsed = json::parse(text);
    if (!parsed.value) {
        console.writeLine("解析JSON字符串错误: " + parsed.error);
        return;
    }
    const Array* array = parsed.value->array();
    if (array == nullptr) {
        return;
    }
    std::string line = "解析后的数组: ";
    line += toDebugString(*parsed.value);
    console.writeLine(line);

    if (array->empty()) {
        return;
    }
    const auto keyCode = signedDecimal(array->front());
    if (!keyCode) {
        return;
    }
    const auto flags = unsignedDecimal(array->back());
    if (!flags) {
        return;
    }
    if (*keyCode < 0 || *keyCode > kLargestKeyCode) {
        console.writeLine("键码超出范围(0…65535)，未发送: " + describePair(*keyCode, *flags));
        return;
    }
    // Only a pair the helper itself handed out may be typed into the user's session.
    if (!isOffered(offered, *keyCode, *flags)) {
        console.writeLine("拒绝发送未提供的快捷键: " + describePair(*keyCode, *flags));
        return;
    }
    if (!postKeystroke(eventTap, static_cast<std::uint16_t>(*keyCode), *flags)) {
        console.writeLine("无法创建键盘事件，未发送: " + describePair(*keyCode, *flags));
    }
}

bool postKeystroke(EventTap& eventTap, std::uint16_t keyCode, std::uint64_t flags) {
    auto keyDown = eventTap.createKeyboardEvent(keyCode, true);
    if (!keyDown) {
        return false;
    }
    auto keyUp = eventTap.createKeyboardEvent(keyCode, false);
    if (!keyUp) {
        return false;
    }
    eventTap.setFlags(*keyDown, flags);
    eventTap.post(kCGSessionEventTap, *keyDown);
    eventTap.setFlags(*keyUp, flags);
    eventTap.post(kCGSessionEventTap, *keyUp);
    return true;
}

}  // namespace kivora
