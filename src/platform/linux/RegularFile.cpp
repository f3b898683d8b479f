#include "platform/linux/RegularFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string_view>

namespace kivora::linux_ {

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int get() const { return fd_; }

private:
    int fd_;
};

int openWithoutBlocking(const std::string& path) {
    constexpr int kFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
    const int fd = ::open(path.c_str(), kFlags | O_NOFOLLOW);
    if (fd >= 0 || errno != ELOOP) {
        return fd;
    }
    // The last component is a symbolic link (a preferences file kept elsewhere is common):
    // followed only when it leads to a regular file, so no device is opened through it. The
    // descriptor's own kind is checked again after opening.
    struct stat target {};
    if (::stat(path.c_str(), &target) != 0) {
        return -1;
    }
    if (!S_ISREG(target.st_mode)) {
        errno = ENXIO;
        return -1;
    }
    return ::open(path.c_str(), kFlags);
}

}  // namespace

plist::FileBytes readRegularFile(const std::string& path) {
    const std::string name = "“" + std::filesystem::path(path).filename().string() + "”";
    auto failed = [&](plist::Problem problem, std::string_view why) {
        return plist::FileBytes{std::nullopt,
                                "The file " + name + " couldn’t be " + std::string(why), problem};
    };
    const Descriptor file(openWithoutBlocking(path));
    if (file.get() < 0) {
        if (errno == ENOENT) {
            return failed(plist::Problem::noSuchFile, "opened because there is no such file.");
        }
        if (errno == EACCES) {
            return failed(plist::Problem::unreadable,
                          "opened because you don’t have permission to view it.");
        }
        if (errno == ENXIO) {
            return failed(plist::Problem::unreadable, "opened because it isn’t a regular file.");
        }
        return failed(plist::Problem::unreadable,
                      "opened (" + std::string(std::strerror(errno)) + ").");
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        return failed(plist::Problem::unreadable, "read.");
    }
    if (S_ISDIR(status.st_mode)) {
        return failed(plist::Problem::unreadable, "opened because it is a folder.");
    }
    if (!S_ISREG(status.st_mode)) {
        return failed(plist::Problem::unreadable, "opened because it isn’t a regular file.");
    }
    std::string bytes;
    char chunk[16 * 1024];
    while (bytes.size() <= plist::kMaxFileBytes) {
        const std::size_t want = std::min(sizeof chunk, plist::kMaxFileBytes + 1 - bytes.size());
        const ssize_t n = ::read(file.get(), chunk, want);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            return failed(plist::Problem::unreadable, "read.");
        }
        if (n == 0) {
            break;
        }
        bytes.append(chunk, static_cast<std::size_t>(n));
    }
    return plist::FileBytes{std::move(bytes), {}, plist::Problem::none};
}

plist::ParseResult parseRegularFile(const std::string& path) {
    plist::FileBytes file = readRegularFile(path);
    if (!file.bytes) {
        return plist::ParseResult{std::nullopt, std::move(file.error), file.problem};
    }
    return plist::parse(*file.bytes);
}

}  // namespace kivora::linux_
