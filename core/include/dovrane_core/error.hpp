// Request-side errors: one GraphQLError per failure, returned boxed, never thrown.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dovrane_core/json.hpp"

namespace dovrane_core::error {

// The codes in wire order; the wire name of each is its upper-snake name.
enum class ErrorCode : std::uint8_t {
    GraphqlParseFailed,              // query text the parser rejects
    GraphqlValidationFailed,         // operation selection, operation rules, lowering
    InterfaceTypeResolutionFailed,   // never produced here
    UnionTypeResolutionFailed,       // never produced here
    UnknownField,                    // unknown field; leaf/composite selection mismatch
    UnknownArgument,                 // unknown or repeated argument
    ArgumentTypeMismatch,            // ill-typed or missing argument
    InvalidDirectiveLocation,        // unknown or misplaced directive, @stream on a non-list
    InvalidFragmentTarget,           // undefined fragment, cycle, bad type condition
    PersistedQueryNotFound,          // hash-only persisted query not cached
    PersistedQueryMismatch,          // hash does not match the text
    FieldResolutionFailed,           // never produced here
};

inline constexpr std::size_t error_code_count = 12;

// "GRAPHQL_PARSE_FAILED", ..., "FIELD_RESOLUTION_FAILED".
std::string_view error_code_wire_name(ErrorCode code);

struct Location {
    std::uint64_t line = 0;    // 1-based
    std::uint64_t column = 0;  // 1-based, counted in characters
};

inline bool operator==(const Location& a, const Location& b) {
    return a.line == b.line && a.column == b.column;
}

// Always empty in this system; kept so the record has the shape of a GraphQL error.
struct ErrorExtensions {
    std::optional<std::vector<std::string>> tags;
    json::Object values;
};

struct GraphQLError {
    std::string message;
    std::optional<std::vector<Location>> locations;  // absent, or one or two pairs
    std::optional<std::vector<json::Value>> path;    // always absent
    ErrorExtensions extensions;
    ErrorCode code = ErrorCode::GraphqlValidationFailed;
};

}  // namespace dovrane_core::error

// Deleting an error is out of line, so a null box costs a test where it is
// dropped, not a call: validation passes one back from every rule it runs.
template <>
struct std::default_delete<dovrane_core::error::GraphQLError> {
    void operator()(dovrane_core::error::GraphQLError* error) const noexcept;
};

namespace dovrane_core::error {

using BoxedError = std::unique_ptr<GraphQLError>;

// A located-less error, boxed.
BoxedError make_error(std::string message, ErrorCode code);
BoxedError make_error(std::string_view message, ErrorCode code);
BoxedError make_error(const char* message, ErrorCode code);
// A message from its pieces, in one allocation.
std::string concat(std::initializer_list<std::string_view> parts);

// An error with exactly one location.
BoxedError make_error_at(std::string message, ErrorCode code, Location location);

namespace detail {
// Stops the process, naming the error: a debug build's answer to `value()`
// taken from an error or `error()` taken from a value.
[[noreturn]] void wrong_side_of_result(const GraphQLError* error);
}  // namespace detail

// Either a value or a boxed error. Small on purpose: `ok()`, `value()`,
// `error()`, and `take_error()` to pass the box on. A result must be looked
// at; reading the side it does not hold stops a debug build.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}
    Result(BoxedError error) : error_(std::move(error)) {}

    bool ok() const { return error_ == nullptr; }
    explicit operator bool() const { return ok(); }

    T& value() & {
        expect_value();
        return *value_;
    }
    const T& value() const& {
        expect_value();
        return *value_;
    }
    T&& value() && {
        expect_value();
        return std::move(*value_);
    }
    T* operator->() {
        expect_value();
        return &*value_;
    }
    const T* operator->() const {
        expect_value();
        return &*value_;
    }

    const GraphQLError& error() const {
#ifndef NDEBUG
        if (error_ == nullptr) detail::wrong_side_of_result(nullptr);
#endif
        return *error_;
    }
    BoxedError take_error() { return std::move(error_); }

private:
    void expect_value() const {
#ifndef NDEBUG
        if (!value_) detail::wrong_side_of_result(error_.get());
#endif
    }

    std::optional<T> value_;
    BoxedError error_;
};

// Validation's result: null when the operation passes.
using MaybeError = BoxedError;

}  // namespace dovrane_core::error
