#include "dovrane_core/error.hpp"

#include <array>
#include <cstdio>
#include <cstdlib>

namespace dovrane_core::error {

namespace {

constexpr std::array<std::string_view, error_code_count> wire_names = {
    "GRAPHQL_PARSE_FAILED",
    "GRAPHQL_VALIDATION_FAILED",
    "INTERFACE_TYPE_RESOLUTION_FAILED",
    "UNION_TYPE_RESOLUTION_FAILED",
    "UNKNOWN_FIELD",
    "UNKNOWN_ARGUMENT",
    "ARGUMENT_TYPE_MISMATCH",
    "INVALID_DIRECTIVE_LOCATION",
    "INVALID_FRAGMENT_TARGET",
    "PERSISTED_QUERY_NOT_FOUND",
    "PERSISTED_QUERY_MISMATCH",
    "FIELD_RESOLUTION_FAILED",
};

}  // namespace

std::string_view error_code_wire_name(ErrorCode code) {
    return wire_names[static_cast<std::size_t>(code)];
}

std::string concat(std::initializer_list<std::string_view> parts) {
    std::size_t size = 0;
    for (std::string_view part : parts) size += part.size();
    std::string text;
    text.reserve(size);
    for (std::string_view part : parts) text.append(part);
    return text;
}

BoxedError make_error(std::string message, ErrorCode code) {
    auto error = std::make_unique<GraphQLError>();
    error->message = std::move(message);
    error->code = code;
    return error;
}

BoxedError make_error(std::string_view message, ErrorCode code) {
    return make_error(std::string(message), code);
}

BoxedError make_error(const char* message, ErrorCode code) {
    return make_error(std::string(message), code);
}

void detail::wrong_side_of_result(const GraphQLError* error) {
    if (error != nullptr) {
        std::fprintf(stderr, "dovrane_core: value() of a failed result: %s\n", error->message.c_str());
    } else {
        std::fprintf(stderr, "dovrane_core: error() of a successful result\n");
    }
    std::abort();
}

BoxedError make_error_at(std::string message, ErrorCode code, Location location) {
    auto error = make_error(std::move(message), code);
    error->locations.emplace(1, location);
    return error;
}

}  // namespace dovrane_core::error

void std::default_delete<dovrane_core::error::GraphQLError>::operator()(
    dovrane_core::error::GraphQLError* error) const noexcept {
    delete error;
}
