// Parse and validate against the dashboard schema (plus two operation
// directives): validation answers, the same way twice, with a located error
// whose locations lie inside the text.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "dovrane_core/parser.hpp"
#include "dovrane_core/test_support/fixture_schemas.hpp"
#include "dovrane_core/test_support/schema_builders.hpp"
#include "dovrane_core/validation.hpp"
#include "fuzz_support.hpp"

using namespace dovrane_core;
using fuzz_support::require;

namespace {

const schema::CompiledSchema& fuzz_schema() {
    static const schema::CompiledSchema schema = [] {
        schema::CompiledSchema built = test_support::dashboard_schema();
        using Location = schema::OperationDirectiveLocation;
        test_support::add_directive(built, "upper", {Location::Field});
        test_support::add_directive(
            built, "tag", {Location::Field, Location::FragmentSpread, Location::InlineFragment, Location::Query},
            {test_support::argument("name", "String!"), test_support::argument("weight", "[Int!]", true)});
        validation::index_schema(built);
        return built;
    }();
    return schema;
}

void validate_twice(const document::Document& document, std::optional<std::string_view> operation_name) {
    error::MaybeError first = validation::validate_query(document, fuzz_schema(), operation_name);
    error::MaybeError second = validation::validate_query(document, fuzz_schema(), operation_name);
    require((first == nullptr) == (second == nullptr), "validation differs between two runs");
    if (!first) return;
    require(first->message == second->message && first->code == second->code, "validation differs between two runs");
    fuzz_support::check_error_locations(*first, document.source);
    using error::ErrorCode;
    require(first->code != ErrorCode::GraphqlParseFailed && first->code != ErrorCode::PersistedQueryNotFound &&
                first->code != ErrorCode::PersistedQueryMismatch,
            "validation error with a code it never gives", first->message);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto parsed = parser::parse_document(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!parsed) return 0;
    const document::Document& document = *parsed.value();
    validate_twice(document, std::nullopt);
    // Each named operation as the request would name it (a few at most).
    std::size_t named = 0;
    for (const document::OperationDefinition& operation : document.operations) {
        if (operation.name && named++ < 4) validate_twice(document, operation.name->value);
    }
    return 0;
}
