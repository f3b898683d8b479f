#pragma once

namespace kivora::linux_ {

// The application framework: reads its own options (--desktop FILE, --help), sets up the
// adapters, creates the one AppDelegate, runs the launch registration, owns the helper's bus
// name and runs the event loop until the application terminates. Returns the exit status.
int ApplicationMain(int argc, char** argv);

}  // namespace kivora::linux_
