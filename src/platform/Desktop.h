#pragma once
// Port: the desktop session the helper serves: its workspace, the accessibility trees of its
// applications and the event tap, which start serving once attached to the run loop.

#include "platform/Accessibility.h"
#include "platform/EventTap.h"
#include "platform/Workspace.h"

namespace kivora {

class Desktop {
public:
    virtual ~Desktop() = default;

    virtual Workspace& workspace() = 0;
    virtual Accessibility& accessibility() = 0;
    virtual EventTap& eventTap() = 0;

    // Starts serving from the run loop, after the delegate finished launching: frontmost
    // observations begin (an observer registered earlier is told of the application in
    // front) along with any control interface. 0, or a negative error number; once only.
    virtual int attach() = 0;

    // Takes in what the desktop has reported but not yet applied (a window switch above all),
    // so that the request about to be handled sees it. Called before each request.
    virtual void catchUp() {}
};

}  // namespace kivora
