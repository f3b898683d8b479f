#pragma once
// Every port the helper's logic uses, handed to the delegate by the application framework.

#include "platform/Accessibility.h"
#include "platform/Bundle.h"
#include "platform/Console.h"
#include "platform/EventTap.h"
#include "platform/NotificationCenter.h"
#include "platform/Preferences.h"
#include "platform/RunLoop.h"
#include "platform/Workspace.h"

namespace kivora {

struct Platform {
    NotificationCenter& notificationCenter;
    Workspace& workspace;
    Accessibility& accessibility;
    Preferences& preferences;
    Bundle& bundle;
    EventTap& eventTap;
    RunLoop& runLoop;
    Console& console;
};

}  // namespace kivora
