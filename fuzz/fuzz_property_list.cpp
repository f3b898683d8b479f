// The property-list guard and parser on random bytes. Whatever the guard lets through must not
// crash the library; whatever parses must describe on one line and, written out again in
// either format, read back as the same value.
#include <cstdint>
#include <string_view>

#include "FuzzInput.h"
#include "platform/PropertyList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kivora;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const plist::ParseResult parsed = plist::parse(bytes);
    if (!parsed.value) {
        FUZZ_CHECK(!parsed.error.empty());
        FUZZ_CHECK(parsed.problem == plist::Problem::refused ||
                   parsed.problem == plist::Problem::malformed);
        return 0;
    }
    FUZZ_CHECK(parsed.problem == plist::Problem::none);
    FUZZ_CHECK(plist::describe(*parsed.value).find('\n') == std::string::npos);

    for (const auto format : {plist::Format::xml, plist::Format::binary}) {
        // A string with a NUL cannot be written; everything else can.
        const auto written = plist::serialize(*parsed.value, format);
        if (!written) {
            continue;
        }
        const plist::ParseResult again = plist::parse(*written);
        FUZZ_CHECK(again.value);
        FUZZ_CHECK(fuzz::sameValue(*again.value, *parsed.value));
    }
    return 0;
}
