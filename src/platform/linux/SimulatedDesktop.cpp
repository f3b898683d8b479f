#include "platform/linux/SimulatedDesktop.h"
// STUB: to be implemented.
namespace kivora::linux_ {
struct SimulatedDesktop::Impl {};
std::unique_ptr<SimulatedDesktop> SimulatedDesktop::load(const std::string& path, std::string& error) {
    error = path + ": not implemented";
    return nullptr;
}
SimulatedDesktop::SimulatedDesktop(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SimulatedDesktop::~SimulatedDesktop() = default;
}  // namespace kivora::linux_
