// The GraphQL executable-document parser: a hand-written lexer and a parser
// whose nesting lives on explicit stacks (nothing recurses over input), one
// pass over the bytes.
#pragma once

#include <cstddef>
#include <string_view>

#include "dovrane_core/document.hpp"
#include "dovrane_core/error.hpp"

namespace dovrane_core::parser {

// The text is read once, whatever its size: the nodes of a failing text cost
// at most what the same text without its fault would. A list whose nodes
// outgrow this many bytes goes on in memory of its own that grows in place,
// so that it is never copied twice nor held twice while it grows.
inline constexpr std::size_t large_list_bytes = std::size_t{256} << 10;

// Parses one executable document. Failures carry code GRAPHQL_PARSE_FAILED;
// nesting and size are bounded by `limits::max_nesting_depth` and
// `limits::max_document_bytes`.
error::Result<document::SharedDocument> parse_document(std::string_view text);

}  // namespace dovrane_core::parser
