// Parse: a document comes back with every position computable and right, or
// a parse error with sane locations.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "dovrane_core/parser.hpp"
#include "fuzz_support.hpp"

using namespace dovrane_core;
using fuzz_support::require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    auto parsed = parser::parse_document(text);
    if (!parsed) {
        require(parsed.error().code == error::ErrorCode::GraphqlParseFailed, "parse error with another code");
        fuzz_support::check_error_locations(parsed.error(), text);
        return 0;
    }
    const document::Document& document = *parsed.value();
    require(document.source == text, "source is not the text");
    require(!document.operations.empty(), "a document without operations");
    fuzz_support::PositionCheck(document).run();
    return 0;
}
