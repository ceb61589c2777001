// The GraphQL executable-document parser: a hand-written lexer and
// recursive-descent parser, one pass over the bytes.
#pragma once

#include <cstddef>
#include <string_view>

#include "dovrane_core/document.hpp"
#include "dovrane_core/error.hpp"

namespace dovrane_core::parser {

// A text of this many bytes or more is read for its syntax alone before its
// nodes are built, so a syntax error in it costs no memory for nodes. Smaller
// texts are read once: the nodes of a failing one cost what the text would.
inline constexpr std::size_t check_first_bytes = std::size_t{1} << 20;

// Parses one executable document. Failures carry code GRAPHQL_PARSE_FAILED;
// nesting and size are bounded by `limits::max_nesting_depth` and
// `limits::max_document_bytes`.
error::Result<document::SharedDocument> parse_document(std::string_view text);

}  // namespace dovrane_core::parser
