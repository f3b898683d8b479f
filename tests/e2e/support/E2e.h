#pragma once
// Everything an end-to-end test needs: a private bus, the helper as a process, a client that
// plays the main application, temporary folders, and bounded waits.

#include "e2e/support/ChildProcess.h"
#include "e2e/support/HelperProcess.h"
#include "e2e/support/PrivateBus.h"
#include "e2e/support/TempDir.h"
#include "e2e/support/TestClient.h"
#include "e2e/support/Timeouts.h"
