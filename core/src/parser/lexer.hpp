// The lexer of the executable-document parser: byte classes, tokens, the
// first syntax failure, and the lexer, which also writes the position
// anchors. Every scanning loop stops at the NUL the document keeps after the
// last byte; only a NUL found at the end is the end of input.
// Internal to parser.cpp, which includes it once, in one translation unit so
// that the lexer inlines into the parser.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "dovrane_core/document.hpp"
#include "dovrane_core/error.hpp"
#include "dovrane_core/utf8.hpp"

namespace dovrane_core::parser {
namespace {

using document::Offset;
using document::detail::PositionAnchor;

// ---------------------------------------------------------------------------
// Byte classes

enum class StartClass : std::uint8_t {
    Invalid,         // a control character or a punctuator GraphQL lacks
    Blank,           // space, tab, comma
    LineFeed,
    CarriageReturn,
    Comment,         // #
    Punctuator,      // one-byte punctuators
    NameStart,       // [_A-Za-z]
    Number,          // [-0-9]
    Quote,           // "
    Dot,             // the first of "..."
    NonAscii,        // a UTF-8 lead byte, or an invalid byte
    Nul,             // the end of input, or a NUL in the text
};

enum class TokenKind : std::uint8_t {
    EndOfInput,
    Bang,
    Dollar,
    Ampersand,
    ParenLeft,
    ParenRight,
    Spread,
    Colon,
    Equals,
    At,
    BracketLeft,
    BracketRight,
    BraceLeft,
    Pipe,
    BraceRight,
    Name,
    Int,
    Float,
    String,
    BlockString,
};

struct ByteTables {
    std::array<StartClass, 256> start{};
    std::array<TokenKind, 256> punctuator{};
    std::array<bool, 256> name_continue{};
    std::array<bool, 256> digit{};
    // Bytes a string body takes as they are: ASCII from space up, DEL
    // included, but '"' and '\'; plus tab.
    std::array<bool, 256> string_plain{};
};

constexpr ByteTables make_byte_tables() {
    ByteTables t{};
    for (int c = 0x80; c < 0x100; ++c) t.start[c] = StartClass::NonAscii;
    t.start[0] = StartClass::Nul;
    t.start[' '] = t.start['\t'] = t.start[','] = StartClass::Blank;
    t.start['\n'] = StartClass::LineFeed;
    t.start['\r'] = StartClass::CarriageReturn;
    t.start['#'] = StartClass::Comment;
    t.start['"'] = StartClass::Quote;
    t.start['.'] = StartClass::Dot;
    t.start['-'] = StartClass::Number;
    const std::pair<char, TokenKind> punctuators[] = {
        {'!', TokenKind::Bang},         {'$', TokenKind::Dollar},      {'&', TokenKind::Ampersand},
        {'(', TokenKind::ParenLeft},    {')', TokenKind::ParenRight},  {':', TokenKind::Colon},
        {'=', TokenKind::Equals},       {'@', TokenKind::At},          {'[', TokenKind::BracketLeft},
        {']', TokenKind::BracketRight}, {'{', TokenKind::BraceLeft},   {'|', TokenKind::Pipe},
        {'}', TokenKind::BraceRight},
    };
    for (auto [c, kind] : punctuators) {
        t.start[static_cast<unsigned char>(c)] = StartClass::Punctuator;
        t.punctuator[static_cast<unsigned char>(c)] = kind;
    }
    for (int c = '0'; c <= '9'; ++c) {
        t.start[c] = StartClass::Number;
        t.digit[c] = true;
        t.name_continue[c] = true;
    }
    for (int c = 'a'; c <= 'z'; ++c) t.start[c] = t.start[c - 'a' + 'A'] = StartClass::NameStart;
    t.start['_'] = StartClass::NameStart;
    for (int c = 0; c < 0x100; ++c) {
        if (t.start[c] == StartClass::NameStart) t.name_continue[c] = true;
        t.string_plain[c] = (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') || c == '\t';
    }
    return t;
}

constexpr ByteTables byte_tables = make_byte_tables();

unsigned char byte_at(const char* p) { return static_cast<unsigned char>(*p); }

// Characters (not bytes) in a run of well-formed UTF-8.
std::uint32_t count_characters(const char* begin, const char* end) {
    std::uint32_t count = 0;
    for (const char* p = begin; p != end; ++p) count += !utf8::is_continuation_byte(byte_at(p));
    return count;
}

bool is_byte_order_mark(const char* p) {
    return byte_at(p) == 0xEF && byte_at(p + 1) == 0xBB && byte_at(p + 2) == 0xBF;
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The four hex digits of a \u escape's digits at `p`, or -1.
int read_hex4(const char* p) {
    int value = 0;
    for (int i = 0; i < 4; ++i) {
        const int digit = hex_value(p[i]);  // stops at the NUL after the text
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

bool is_high_surrogate(int unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(int unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// ---------------------------------------------------------------------------
// Failures

struct Token {
    TokenKind kind = TokenKind::EndOfInput;
    // String: holds a "\" escape, so it needs decoding; BlockString: holds
    // an escaped triple quote.
    bool has_escape = false;
    bool has_carriage_return = false;  // BlockString
    Offset start = 0;
    Offset end = 0;
};

// The first syntax error: where it is and what went wrong. `end` is used when
// the error spans a token.
struct SyntaxFailure {
    bool failed = false;
    Offset start = 0;
    Offset end = 0;
    bool has_end = false;
    std::string description;
};

// ---------------------------------------------------------------------------
// The lexer

// The lexer also records the position anchors of the text.
struct Lexer {
    const char* begin = nullptr;
    const char* end = nullptr;  // *end == '\0'
    const char* cursor = nullptr;
    std::uint32_t line = 1;
    // The anchors are written through a cursor into `anchors`, sized ahead.
    std::vector<PositionAnchor>* anchors = nullptr;
    PositionAnchor* anchor_cursor = nullptr;
    PositionAnchor* anchor_limit = nullptr;
    SyntaxFailure* failure = nullptr;

    Offset offset_of(const char* p) const { return static_cast<Offset>(p - begin); }

    void start_anchors(std::size_t expected) {
        anchors->resize(std::max<std::size_t>(expected, 64));
        anchor_cursor = anchors->data();
        anchor_limit = anchor_cursor + anchors->size();
    }
    // Cuts `anchors` to the ones written.
    void finish_anchors() { anchors->resize(static_cast<std::size_t>(anchor_cursor - anchors->data())); }
    // Room for as many more anchors as the text up to the last one had for
    // each byte, and an eighth more: one growth, mostly.
    [[gnu::noinline]] void grow_anchors() {
        const std::size_t used = static_cast<std::size_t>(anchor_cursor - anchors->data());
        const std::size_t read = std::max<std::size_t>(anchor_cursor[-1].offset, 1);
        const std::size_t left = static_cast<std::size_t>(end - begin) - std::min<std::size_t>(read, end - begin);
        const std::size_t expected = used + used * left / read;
        anchors->resize(std::max(used * 2, expected + expected / 8));
        anchor_cursor = anchors->data() + used;
        anchor_limit = anchors->data() + anchors->size();
    }
    void push_anchor(Offset offset, std::uint32_t at_line, std::uint32_t column) {
        if (anchor_cursor == anchor_limit) grow_anchors();
        *anchor_cursor++ = PositionAnchor{offset, at_line, column};
    }

    void start_line(const char* p) { push_anchor(offset_of(p), ++line, 1); }
    void restart_column(const char* p) { push_anchor(offset_of(p), line, 1); }

    // Past the CR at `p`: CRLF starts a new line, a lone CR only resets the
    // column.
    const char* after_carriage_return(const char* p) {
        ++p;
        if (*p == '\n') {
            ++p;
            start_line(p);
        } else {
            restart_column(p);
        }
        return p;
    }

    // After a run that held non-ASCII characters: its end gets an anchor with
    // the column counted in characters since the previous anchor. Each byte is
    // counted at most once, so the whole text stays linear.
    void anchor_after(const char* run_end) {
        const PositionAnchor last = anchor_cursor == anchors->data() ? PositionAnchor{} : anchor_cursor[-1];
        const std::uint32_t column = last.column + count_characters(begin + last.offset, run_end);
        push_anchor(offset_of(run_end), last.line, column);
    }

    bool fail(const char* start, const char* stop, std::string description) {
        if (!failure->failed) {
            failure->failed = true;
            failure->start = offset_of(start);
            failure->end = offset_of(stop);
            failure->has_end = stop > start;
            failure->description = std::move(description);
        }
        return false;
    }

    bool fail_unexpected_character(const char* p) {
        std::string description = "unexpected character ";
        const unsigned char c = byte_at(p);
        if (c >= 0x20 && c < 0x7F) {
            description += '"';
            description += static_cast<char>(c);
            description += '"';
        } else if (c < 0x80) {
            static constexpr char digits[] = "0123456789ABCDEF";
            description += "U+00";
            description += digits[c >> 4];
            description += digits[c & 15];
        } else if (const std::size_t length = utf8::terminated_sequence_length(p)) {
            description += '"';
            description.append(p, length);
            description += '"';
        } else {
            description = "invalid UTF-8";
        }
        return fail(p, p, std::move(description));
    }

    // Steps `p` over the non-ASCII character it points at in a string; false
    // (recorded in `failure`) when the bytes there are not UTF-8.
    [[gnu::always_inline]] bool step_over_string_character(const char*& p) {
        const std::size_t length = utf8::terminated_sequence_length(p);
        if (length == 0) {
            cursor = p;
            return fail(p, p, "invalid UTF-8");
        }
        p += length;
        return true;
    }

    // Reads the next token; false after a lexical error, recorded in `failure`.
    // Blanks, line feeds, punctuators and names, the bulk of any query, are
    // read inline; everything else goes through `next_rare`.
    [[gnu::always_inline]] bool next(Token& token) {
        const char* p = cursor;
        for (;;) {
            const unsigned char c = byte_at(p);
            const StartClass start_class = byte_tables.start[c];
            if (start_class == StartClass::Blank) {
                ++p;
            } else if (start_class == StartClass::LineFeed) {
                ++p;
                start_line(p);
                p = skip_indentation(p);
            } else if (start_class == StartClass::Punctuator) {
                token.kind = byte_tables.punctuator[c];
                token.has_escape = false;
                token.start = offset_of(p);
                token.end = token.start + 1;
                cursor = p + 1;
                return true;
            } else if (start_class == StartClass::NameStart) {
                const char* name_end = p + 1;
                while (byte_tables.name_continue[byte_at(name_end)]) ++name_end;
                token.kind = TokenKind::Name;
                token.has_escape = false;
                token.start = offset_of(p);
                token.end = offset_of(name_end);
                cursor = name_end;
                return true;
            } else {
                cursor = p;
                return next_rare(token);
            }
        }
    }

    // The spaces that start a line, eight at a time while eight are left.
    const char* skip_indentation(const char* p) const {
        constexpr std::uint64_t spaces = 0x2020202020202020u;
        while (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, sizeof word);
            if (word != spaces) break;
            p += 8;
        }
        while (*p == ' ') ++p;
        return p;
    }

    [[gnu::noinline]] bool next_rare(Token& token) {
        const char* p = cursor;
        for (;;) {
            switch (byte_tables.start[byte_at(p)]) {
                case StartClass::Blank: ++p; continue;
                case StartClass::LineFeed: ++p; start_line(p); continue;
                case StartClass::CarriageReturn: p = after_carriage_return(p); continue;
                case StartClass::Comment: p = skip_comment(p); continue;
                case StartClass::NonAscii:
                    if (is_byte_order_mark(p)) {
                        p += 3;
                        anchor_after(p);
                        continue;
                    }
                    cursor = p;
                    return fail_unexpected_character(p);
                default: break;
            }
            break;
        }
        token.start = offset_of(p);
        token.has_escape = false;
        switch (byte_tables.start[byte_at(p)]) {
            case StartClass::Nul:
                if (p != end) {
                    cursor = p;
                    return fail_unexpected_character(p);
                }
                token.kind = TokenKind::EndOfInput;
                token.end = token.start;
                cursor = p;
                return true;
            case StartClass::Punctuator:
                token.kind = byte_tables.punctuator[byte_at(p)];
                cursor = p + 1;
                break;
            case StartClass::NameStart:
                ++p;
                while (byte_tables.name_continue[byte_at(p)]) ++p;
                token.kind = TokenKind::Name;
                cursor = p;
                break;
            case StartClass::Number:
                if (!lex_number(p, token)) return false;
                break;
            case StartClass::Quote:
                if (p[1] == '"' && p[2] == '"') {
                    if (!lex_block_string(p, token)) return false;
                } else if (!lex_string(p, token)) {
                    return false;
                }
                break;
            case StartClass::Dot:
                if (p[1] != '.' || p[2] != '.') {
                    cursor = p;
                    return fail(p, p, "unexpected character \".\"");
                }
                token.kind = TokenKind::Spread;
                cursor = p + 3;
                break;
            default:
                cursor = p;
                return fail_unexpected_character(p);
        }
        token.end = offset_of(cursor);
        return true;
    }

    // Comment : # CommentChar*
    const char* skip_comment(const char* p) {
        bool non_ascii = false;
        for (++p;; ++p) {
            const unsigned char c = byte_at(p);
            if (c == '\n' || c == '\r' || (c == 0 && p == end)) break;
            if (c >= 0x80) {
                const std::size_t length = utf8::terminated_sequence_length(p);
                if (length == 0) break;  // reported as the next token's character
                non_ascii = true;
                p += length - 1;
            }
        }
        if (non_ascii) anchor_after(p);
        return p;
    }

    // IntValue : -? (0 | [1-9][0-9]*)   FloatValue : IntValue (. Digit+)? ([eE] [+-]? Digit+)?
    bool lex_number(const char* p, Token& token) {
        const char* start = p;
        if (*p == '-') ++p;
        if (*p == '0') {
            ++p;
        } else if (byte_tables.digit[byte_at(p)]) {
            while (byte_tables.digit[byte_at(p)]) ++p;
        } else {
            cursor = p;
            return fail(start, start, "expected a digit after \"-\"");
        }
        bool is_float = false;
        if (*p == '.') {
            ++p;
            if (!byte_tables.digit[byte_at(p)]) {
                cursor = p;
                return fail(p, p, "expected a digit after \".\" in a number");
            }
            while (byte_tables.digit[byte_at(p)]) ++p;
            is_float = true;
        }
        if (*p == 'e' || *p == 'E') {
            ++p;
            if (*p == '+' || *p == '-') ++p;
            if (!byte_tables.digit[byte_at(p)]) {
                cursor = p;
                return fail(p, p, "expected a digit in the exponent of a number");
            }
            while (byte_tables.digit[byte_at(p)]) ++p;
            is_float = true;
        }
        // Maximal munch: "01", "1.2.3" and "12abc" are not two tokens.
        if (byte_tables.digit[byte_at(p)] || *p == '.' || byte_tables.start[byte_at(p)] == StartClass::NameStart) {
            cursor = p;
            return fail(p, p, "a number may not be followed by a digit, \".\" or a name");
        }
        token.kind = is_float ? TokenKind::Float : TokenKind::Int;
        cursor = p;
        return true;
    }

    // Past the bytes a string takes as they are, eight at a time while eight
    // are left: a word goes byte by byte only when it holds a byte that may
    // not be one (a tab is, though the word test refuses it).
    const char* skip_plain(const char* p) const {
        constexpr std::uint64_t ones = 0x0101010101010101u;
        constexpr std::uint64_t highs = 0x8080808080808080u;
        for (;;) {
            while (end - p >= 8) {
                std::uint64_t word;
                std::memcpy(&word, p, sizeof word);
                const std::uint64_t quotes = word ^ (ones * '"');
                const std::uint64_t slashes = word ^ (ones * '\\');
                // Some byte is 0x80 or more, below 0x20, '"' or '\'.
                const std::uint64_t refused = (word | ((word - ones * 0x20) & ~word) | ((quotes - ones) & ~quotes) |
                                               ((slashes - ones) & ~slashes)) &
                                              highs;
                if (refused != 0) break;
                p += 8;
            }
            if (!byte_tables.string_plain[byte_at(p)]) return p;
            ++p;
        }
    }

    // StringValue : " StringCharacter* "
    bool lex_string(const char* p, Token& token) {
        const char* start = p;
        bool non_ascii = false;
        for (++p;;) {
            p = skip_plain(p);
            const unsigned char c = byte_at(p);
            if (c == '"') break;
            if (c == '\\') {
                token.has_escape = true;
                const char escaped = p[1];
                if (escaped == 'u') {
                    const int unit = read_hex4(p + 2);
                    if (unit < 0) {
                        cursor = p;
                        return fail(p, p, "invalid unicode escape in a string");
                    }
                    if (is_high_surrogate(unit)) {
                        const int low = (p[6] == '\\' && p[7] == 'u') ? read_hex4(p + 8) : -1;
                        if (!is_low_surrogate(low)) {
                            cursor = p;
                            return fail(p, p, "unpaired surrogate in a unicode escape");
                        }
                        p += 12;
                    } else if (is_low_surrogate(unit)) {
                        cursor = p;
                        return fail(p, p, "unpaired surrogate in a unicode escape");
                    } else {
                        p += 6;
                    }
                    continue;
                }
                if (std::strchr("\"\\/bfnrt", escaped) == nullptr || escaped == '\0') {
                    cursor = p;
                    return fail(p, p, "invalid escape sequence in a string");
                }
                p += 2;
                continue;
            }
            if (c >= 0x80) {
                if (!step_over_string_character(p)) return false;
                non_ascii = true;
                continue;
            }
            cursor = p;
            if (c == '\n' || c == '\r' || (c == 0 && p == end)) return fail(start, start, "unterminated string");
            return fail_unexpected_character(p);
        }
        cursor = p + 1;
        token.kind = TokenKind::String;
        if (non_ascii) anchor_after(cursor);
        return true;
    }

    // BlockStringValue : """ BlockStringCharacter* """
    // Runs of plain characters are skipped by table. The token notes an
    // escaped triple quote and a carriage return, which the value then needs.
    bool lex_block_string(const char* p, Token& token) {
        const char* start = p;
        bool non_ascii = false;  // since the last anchor
        token.has_carriage_return = false;
        for (p += 3;;) {
            p = skip_plain(p);
            const unsigned char c = byte_at(p);
            if (c == '"') {
                if (p[1] == '"' && p[2] == '"') break;
                ++p;
                continue;
            }
            if (c == '\\') {
                if (p[1] == '"' && p[2] == '"' && p[3] == '"') {
                    token.has_escape = true;
                    p += 4;
                } else {
                    ++p;
                }
                continue;
            }
            if (c == '\n') {
                ++p;
                start_line(p);
                non_ascii = false;
                continue;
            }
            if (c == '\r') {
                token.has_carriage_return = true;
                p = after_carriage_return(p);
                non_ascii = false;
                continue;
            }
            if (c >= 0x80) {
                if (!step_over_string_character(p)) return false;
                non_ascii = true;
                continue;
            }
            cursor = p;
            if (c == 0 && p == end) return fail(start, start, "unterminated block string");
            return fail_unexpected_character(p);
        }
        cursor = p + 3;
        token.kind = TokenKind::BlockString;
        if (non_ascii) anchor_after(cursor);
        return true;
    }
};

}  // namespace
}  // namespace dovrane_core::parser
