// Every limit on what a request or a schema may hold, each beside the message
// that reports it. They keep each walk's stack and each plan's size bounded
// whatever the input; a message that quotes its limit is checked against it
// when this header compiles. The persisted-query cache's two bounds (entries
// and bytes) are not limits on input but the cache's size, and stay with it
// in persisted_query_cache.hpp.
#pragma once

#include <cstddef>
#include <string_view>

namespace dovrane_core::limits {

namespace detail {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Whether `message` holds `number` in decimal, not as part of a longer number.
// Plain index loops: gcc cannot evaluate string_view::find in a constant
// expression under the sanitizers.
constexpr bool quotes(std::string_view message, std::size_t number) {
    char digits[20] = {};
    std::size_t count = 0;
    do {
        digits[sizeof digits - ++count] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number != 0);
    const char* text = digits + sizeof digits - count;
    for (std::size_t at = 0; at + count <= message.size(); ++at) {
        bool same = true;
        for (std::size_t i = 0; i < count && same; ++i) same = message[at + i] == text[i];
        if (!same) continue;
        const bool digit_before = at > 0 && is_digit(message[at - 1]);
        const bool digit_after = at + count < message.size() && is_digit(message[at + count]);
        if (!digit_before && !digit_after) return true;
    }
    return false;
}

}  // namespace detail

// ---------------------------------------------------------------------------
// Query texts (the parser)

// Offsets into a document are 32 bits, and the end of input, one past the last
// byte, stays below the largest; the message rounds that to whole GiB.
inline constexpr std::size_t max_document_bytes = 0xFFFF'FFFE;
inline constexpr char document_size_message[] = "syntax error: the document is larger than 4 GiB";
static_assert(detail::quotes(document_size_message, (max_document_bytes + 2) >> 30));

// Selection sets may nest this many levels below an operation's or a
// fragment's own selection set; list/object values and list types are bounded
// the same way, so that no input can exhaust the stack here or in any later
// walk of the tree.
inline constexpr std::size_t max_nesting_depth = 64;
inline constexpr char nesting_depth_message[] = "recursion limit exceeded.";

// ---------------------------------------------------------------------------
// Operations (validation and lowering)

// Effective nesting: selection sets plus fragment expansions. Fragments can
// chain past the parser's per-definition bound, so this bounds every walk of
// an operation.
inline constexpr std::size_t max_effective_depth = 256;
inline constexpr char effective_depth_message[] = "query nesting exceeds the limit of 256";
static_assert(detail::quotes(effective_depth_message, max_effective_depth));

// Fields a plan may hold; fragments can otherwise expand exponentially.
inline constexpr std::size_t max_lowered_fields = 100000;
inline constexpr char lowered_fields_message[] = "query lowers to more than 100000 fields";
static_assert(detail::quotes(lowered_fields_message, max_lowered_fields));

// Argument value nodes (plus one per carried custom directive) a plan may
// hold: a fragment spread many times copies its fields' arguments each time,
// and every copy becomes Python objects later.
inline constexpr std::size_t max_lowered_argument_values = 1000000;
inline constexpr char lowered_argument_values_message[] = "query lowers to more than 1000000 argument values";
static_assert(detail::quotes(lowered_argument_values_message, max_lowered_argument_values));

// ---------------------------------------------------------------------------
// Python values and annotations (the extension module)

// A real schema nests a handful of type levels. A deeper annotation was built
// in a loop or made self-referential, and would recurse until the stack
// overflows. Each annotation inside another is one level (list[int] has two).
// The message is a SchemaError's.
inline constexpr std::size_t max_annotation_depth = 64;
inline constexpr char annotation_depth_message[] = "annotation nesting exceeds the limit of 64";
static_assert(detail::quotes(annotation_depth_message, max_annotation_depth));

// Levels of nested lists and dicts converted to JSON; deeper values (or a list
// that contains itself) raise RecursionError with this message instead of
// exhausting the stack.
inline constexpr std::size_t max_value_depth = 256;
inline constexpr char value_depth_message[] = "maximum nesting depth exceeded while converting a value";

}  // namespace dovrane_core::limits
