#include "platform/Json.h"
// STUB: to be implemented.
namespace kivora::json {
ParseResult parse(std::string_view, const Limits&) { return {std::nullopt, "not implemented"}; }
}  // namespace kivora::json
