#include "platform/linux/Errno.h"

#include <system_error>

namespace kivora::linux_ {

std::string errnoText(int negativeErrno) {
    return std::generic_category().message(-negativeErrno);
}

}  // namespace kivora::linux_
