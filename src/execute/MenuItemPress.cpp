#include "execute/MenuItemPress.h"

#include <string>

#include "menubar/MenuBarWalker.h"
#include "messaging/NotificationNames.h"
#include "platform/UnicodeString.h"

namespace kivora {

void pressMenuItem(std::string_view notificationName, const std::vector<std::string>& titles,
                   const std::vector<AXUIElementRef>& elements, Accessibility& accessibility,
                   Console& console) {
    const std::string& prefix = names::currentClickedPrefix();
    if (!notificationName.starts_with(prefix)) {
        return;
    }
    // Everything after the prefix, colons included: a title such as "Zoom: 100%" stays whole.
    const std::string_view requested = notificationName.substr(prefix.size());
    if (titles.empty()) {
        return;
    }
    // Worked out once for all titles, and only if one of them is close enough in length.
    const CanonicalText wanted(requested);
    const AXUIElementRef* match = nullptr;
    for (std::size_t i = 0; i < titles.size(); ++i) {
        if (i >= elements.size()) {
            console.writeLine("无法找到指定的键值");
            continue;
        }
        if (canonicallyEqual(CanonicalText(titles[i]), wanted)) {
            match = &elements[i];
            break;
        }
    }
    if (match == nullptr) {
        return;
    }
    console.writeLine("点击了: " + std::string(requested));
    // The element kept its timeout from the walk; set it again so that a hung target cannot
    // hold the helper longer whatever the adapter keeps per handle.
    accessibility.setMessagingTimeout(*match, kAccessibilityMessagingTimeout);
    const AXError result = accessibility.performAction(*match, "AXPress");
    if (result != kAXErrorSuccess) {
        console.writeLine("点击操作失败，错误码：" + std::to_string(result));
    } else {
        console.writeLine("成功执行点击操作");
    }
}

}  // namespace kivora
