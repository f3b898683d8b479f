// Process entry: the framework gets the command line unchanged and decides the exit status.
#include <cstdlib>

#include "platform/linux/ApplicationMain.h"

int main(int argc, char** argv) {
    std::exit(kivora::linux_::ApplicationMain(argc, argv));
}
