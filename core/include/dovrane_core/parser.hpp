// The GraphQL executable-document parser: a hand-written lexer and
// recursive-descent parser, one pass over the bytes.
#pragma once

#include <cstddef>
#include <string_view>

#include "dovrane_core/document.hpp"
#include "dovrane_core/error.hpp"

namespace dovrane_core::parser {

// Selection sets may nest this many levels below an operation's or a
// fragment's own selection set; list/object values and list types are bounded
// the same way. One level more fails with "recursion limit exceeded." so that no
// input can exhaust the stack here or in any later walk of the tree.
inline constexpr std::size_t max_nesting_depth = 64;

// Parses one executable document. Failures carry code GRAPHQL_PARSE_FAILED.
error::Result<document::SharedDocument> parse_document(std::string_view text);

}  // namespace dovrane_core::parser
