#include "platform/PropertyList.h"
// STUB: to be implemented.
namespace kivora::plist {
std::optional<std::string> guard(std::string_view) { return std::string("not implemented"); }
ParseResult parse(std::string_view) { return {std::nullopt, "not implemented"}; }
ParseResult parseFile(const std::string&) { return {std::nullopt, "not implemented"}; }
std::optional<std::string> serialize(const Value&, Format) { return std::nullopt; }
std::string describe(const Value&) { return {}; }
}  // namespace kivora::plist
