// Positions and the syntax report: line and column of any offset from the
// position anchors, and the message that quotes the offending line.
// Internal to parser.cpp, which includes it once, in one translation unit so
// that the lexer inlines into the parser.
#pragma once

#include <algorithm>
#include <string>

#include "dovrane_core/document.hpp"
#include "dovrane_core/error.hpp"
#include "dovrane_core/utf8.hpp"
#include "lexer.hpp"

namespace dovrane_core::parser {
namespace {

using error::Location;

// Quoted at most this many characters of the offending line: minified queries
// are one long line.
constexpr std::size_t excerpt_characters = 80;


// ---------------------------------------------------------------------------
// Reporting

// Line and column of any offset, also inside a string or comment (the error
// path only): from the last anchor, counting characters.
Location exact_position(const document::Document& document, Offset offset) {
    PositionAnchor anchor;
    auto it = std::upper_bound(document.anchors.begin(), document.anchors.end(), offset,
                               [](Offset value, const PositionAnchor& a) { return value < a.offset; });
    if (it != document.anchors.begin()) anchor = *(it - 1);
    const char* text = document.source.data();
    return {anchor.line, static_cast<std::uint64_t>(anchor.column) +
                             count_characters(text + anchor.offset, text + offset)};
}

// The syntax report: the position and what went wrong, the offending line
// (at most `excerpt_characters` of it, around the error) and a caret.
std::string syntax_report(const document::Document& document, const SyntaxFailure& failure, Location at) {
    const std::string& source = document.source;
    std::string report = "syntax error at " + std::to_string(at.line) + ":" + std::to_string(at.column) + ": " +
                         failure.description;
    std::size_t line_start = failure.start;
    while (line_start > 0 && source[line_start - 1] != '\n' && source[line_start - 1] != '\r') --line_start;
    std::size_t line_end = failure.start;
    while (line_end < source.size() && source[line_end] != '\n' && source[line_end] != '\r') ++line_end;

    auto is_boundary = [&](std::size_t i) {
        return i >= source.size() || !utf8::is_continuation_byte(byte_at(&source[i]));
    };
    // Up to half the excerpt before the error, the rest after it.
    std::size_t from = failure.start;
    std::size_t before = 0;
    while (from > line_start && before < excerpt_characters / 2) {
        --from;
        while (from > line_start && !is_boundary(from)) --from;
        ++before;
    }
    std::size_t to = failure.start;
    std::size_t after = 0;
    while (to < line_end && before + after < excerpt_characters) {
        ++to;
        while (to < line_end && !is_boundary(to)) ++to;
        ++after;
    }
    report += "\n  | ";
    // Quoted for display: invalid UTF-8 (which would make the message
    // undecodable) becomes U+FFFD and control characters a space, so the
    // caret stays under the error.
    for (std::size_t i = from; i < to;) {
        const unsigned char c = byte_at(&source[i]);
        if (c < 0x80) {
            report += c < 0x20 || c == 0x7F ? ' ' : static_cast<char>(c);
            ++i;
        } else if (const std::size_t length = utf8::terminated_sequence_length(&source[i]);
                   length != 0 && i + length <= to) {
            report.append(source, i, length);
            i += length;
        } else {
            report += "\xEF\xBF\xBD";
            ++i;
            while (i < to && !is_boundary(i)) ++i;
        }
    }
    report += "\n  | ";
    report.append(before, ' ');
    report += '^';
    return report;
}

}  // namespace
}  // namespace dovrane_core::parser
