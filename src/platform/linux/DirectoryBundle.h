#pragma once
// The helper's bundle: a folder holding Info.plist and Resources/, by default
// KivoraData.bundle beside the executable.

#include <optional>
#include <string>

#include "platform/Bundle.h"

namespace kivora::linux_ {

class DirectoryBundle : public Bundle {
public:
    // The bundle at `path`; its Info.plist is read once, here.
    explicit DirectoryBundle(std::string path);

    // KivoraData.bundle in the folder of the running executable.
    static std::string defaultPath();

    std::optional<std::string> bundleIdentifier() const override;
    // Resources/name.type (Resources/name when `type` is empty), when it exists. Names that
    // would lead out of the resources folder find nothing.
    std::optional<std::string> pathForResource(std::string_view name,
                                               std::string_view type) const override;

    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::optional<std::string> identifier_;
};

}  // namespace kivora::linux_
