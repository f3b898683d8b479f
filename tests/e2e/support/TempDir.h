#pragma once
// A fresh temporary folder, removed with everything in it when the object goes.

#include <string>
#include <string_view>

namespace kivora::e2e {

class TempDir {
public:
    // Under $TMPDIR (or /tmp). Throws std::runtime_error when it cannot be made.
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // The full path of `relative` inside the folder.
    std::string file(std::string_view relative) const;
    // Writes `content` to `relative` (making parent folders) and returns its full path.
    std::string write(std::string_view relative, std::string_view content) const;

private:
    std::string path_;
};

}  // namespace kivora::e2e
