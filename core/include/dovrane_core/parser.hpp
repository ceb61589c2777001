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

// A text of this many bytes or more is read for its syntax alone before its
// nodes are built, so a syntax error in it costs no memory for nodes. Smaller
// texts are read once: the nodes of a failing one cost what the text would.
inline constexpr std::size_t check_first_bytes = std::size_t{1} << 20;

// Parses one executable document. Failures carry code GRAPHQL_PARSE_FAILED.
error::Result<document::SharedDocument> parse_document(std::string_view text);

}  // namespace dovrane_core::parser
