#include "platform/linux/ApplicationMain.h"
// STUB: to be implemented.
namespace kivora::linux_ {
int ApplicationMain(int, char**) { return 0; }
}  // namespace kivora::linux_
