#pragma once
// The demo material that the end-to-end tests run on (the bundle's demo desktop, the extra
// desktops and the demo preferences), and readable forms of the replies.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "e2e/support/HelperProcess.h"
#include "e2e/support/TempDir.h"
#include "messaging/Notification.h"

namespace kivora::e2e {

class PrivateBus;

// The demo desktop as laid out in the build's bundle.
std::string demoDesktop();
// A desktop file of resources/desktops/, by file name.
std::string extraDesktop(std::string_view fileName);
// Copies the demo preferences into `folder` and returns the HOME that holds them.
std::string copyDemoHome(const TempDir& folder);

// Starts the helper with `options` and waits until it owns its name; null (and a test
// failure) when it does not.
std::unique_ptr<HelperProcess> startHelper(const PrivateBus& bus, HelperOptions options);

// A menu shortcut list, one line per entry: a header as "# title", the application title as
// its bare text, a record as "Path | Title | Modifier | MenuItemCmdChar | MenuItemCmdGlyph"
// with "∅" for an empty text.
// Anything else (a wrong type, a record with other keys) is shown as "?" and a debug rendering.
std::vector<std::string> sheetLines(const Value& list);

// The "currentShortcut" list of a GetCurrentShortcutResponse, or a null Value.
const Value& currentShortcut(const Notification& reply);

}  // namespace kivora::e2e
