// The SDL reader of fuzz_sdl: it lexes rendered SDL as GraphQL and parses
// the subset the renderer writes, checking against what the builder stored:
// one section per printed definition, one line per printed field or enum
// value, every quoted string or bare enum value standing for a string that
// was stored, every description (block or quoted) reading back, by GraphQL's
// block-string value, as a stored description, every number reading back as
// a stored number.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dovrane_core/utf8.hpp"
#include "fuzz_support.hpp"

namespace sdl_reader {

using fuzz_support::require;


// ---- What was stored ---------------------------------------------------------------

struct Stored {
    std::set<std::string> quoted;        // deprecation reasons, string values, specified-by URLs
    std::set<std::string> descriptions;  // non-empty ones
    std::set<double> floats;
    std::set<std::uint64_t> unsigned_integers;
    std::set<std::int64_t> negative_integers;
};


// ---- Reading the SDL back ----------------------------------------------------------

enum class TokenKind { End, Punctuator, Name, Int, Float, String, BlockString };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;   // punctuator, name or number as written; a string's decoded value;
                        // a block string's block-string value
};

inline void append_scalar_value(std::string& out, std::uint32_t cp) {
    require(cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF), "escape of no scalar value");
    dovrane_core::utf8::append(out, cp);
}

inline int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

inline bool is_name_start(char c) { return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

class Lexer {
public:
    explicit Lexer(std::string_view sdl) : sdl_(sdl) {}

    Token next() {
        while (pos_ < sdl_.size() && std::string_view(" \t\n\r,").find(sdl_[pos_]) != std::string_view::npos) ++pos_;
        Token token;
        if (pos_ >= sdl_.size()) return token;
        const char c = sdl_[pos_];
        if (sdl_.substr(pos_, 3) == "\"\"\"") return block_string();
        if (c == '"') return string();
        if (is_name_start(c)) {
            const std::size_t start = pos_;
            while (pos_ < sdl_.size() && (is_name_start(sdl_[pos_]) || is_digit(sdl_[pos_]))) ++pos_;
            return {TokenKind::Name, std::string(sdl_.substr(start, pos_ - start))};
        }
        if (c == '-' || is_digit(c)) return number();
        require(std::string_view("!&()=:@[]{}|").find(c) != std::string_view::npos, "SDL: unexpected character",
                context());
        ++pos_;
        return {TokenKind::Punctuator, std::string(1, c)};
    }

    std::string context() const { return std::string(sdl_.substr(pos_ < 40 ? 0 : pos_ - 40, 80)); }

private:
    // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?, not followed by a name or a dot.
    Token number() {
        const std::size_t start = pos_;
        bool is_float = false;
        if (sdl_[pos_] == '-') ++pos_;
        require(pos_ < sdl_.size() && is_digit(sdl_[pos_]), "SDL: number without digits", context());
        if (sdl_[pos_] == '0') {
            ++pos_;
        } else {
            while (pos_ < sdl_.size() && is_digit(sdl_[pos_])) ++pos_;
        }
        if (pos_ < sdl_.size() && sdl_[pos_] == '.') {
            is_float = true;
            ++pos_;
            require(pos_ < sdl_.size() && is_digit(sdl_[pos_]), "SDL: fraction without digits", context());
            while (pos_ < sdl_.size() && is_digit(sdl_[pos_])) ++pos_;
        }
        if (pos_ < sdl_.size() && (sdl_[pos_] == 'e' || sdl_[pos_] == 'E')) {
            is_float = true;
            ++pos_;
            if (pos_ < sdl_.size() && (sdl_[pos_] == '+' || sdl_[pos_] == '-')) ++pos_;
            require(pos_ < sdl_.size() && is_digit(sdl_[pos_]), "SDL: exponent without digits", context());
            while (pos_ < sdl_.size() && is_digit(sdl_[pos_])) ++pos_;
        }
        require(pos_ >= sdl_.size() || (!is_name_start(sdl_[pos_]) && !is_digit(sdl_[pos_]) && sdl_[pos_] != '.'),
                "SDL: number runs into a name", context());
        return {is_float ? TokenKind::Float : TokenKind::Int, std::string(sdl_.substr(start, pos_ - start))};
    }

    Token string() {
        ++pos_;
        Token token{TokenKind::String, {}};
        for (;;) {
            require(pos_ < sdl_.size(), "SDL: unterminated string", context());
            const auto byte = static_cast<unsigned char>(sdl_[pos_]);
            if (byte == '"') {
                ++pos_;
                return token;
            }
            require(byte >= 0x20 && byte != 0x7F, "SDL: raw control character in a string", context());
            if (byte != '\\') {
                token.text.push_back(static_cast<char>(byte));
                ++pos_;
                continue;
            }
            require(pos_ + 1 < sdl_.size(), "SDL: unterminated escape", context());
            const char escape = sdl_[pos_ + 1];
            pos_ += 2;
            switch (escape) {
                case '"': token.text.push_back('"'); break;
                case '\\': token.text.push_back('\\'); break;
                case '/': token.text.push_back('/'); break;
                case 'b': token.text.push_back('\b'); break;
                case 'f': token.text.push_back('\f'); break;
                case 'n': token.text.push_back('\n'); break;
                case 'r': token.text.push_back('\r'); break;
                case 't': token.text.push_back('\t'); break;
                case 'u': {
                    const bool braced = pos_ < sdl_.size() && sdl_[pos_] == '{';
                    if (braced) ++pos_;
                    std::uint32_t cp = 0;
                    int digits = 0;
                    while (pos_ < sdl_.size() && hex_value(sdl_[pos_]) >= 0 && (braced || digits < 4)) {
                        require(digits < 8, "SDL: escape too long", context());
                        cp = cp * 16 + static_cast<std::uint32_t>(hex_value(sdl_[pos_]));
                        ++digits;
                        ++pos_;
                    }
                    require(braced ? digits > 0 : digits == 4, "SDL: bad unicode escape", context());
                    if (braced) {
                        require(pos_ < sdl_.size() && sdl_[pos_] == '}', "SDL: unclosed unicode escape", context());
                        ++pos_;
                    }
                    append_scalar_value(token.text, cp);
                    break;
                }
                default: fail_escape();
            }
        }
    }

    [[noreturn]] void fail_escape() { fuzz_support::fail("SDL: unknown escape", context()); }

    // The renderer writes no CR or other control character but tab and LF
    // into a block; the value is GraphQL's: lines split at LF, the common
    // indentation of every line but the first removed, blank lines at either
    // end dropped.
    Token block_string() {
        pos_ += 3;
        std::vector<std::string> lines(1);
        for (;;) {
            require(pos_ < sdl_.size(), "SDL: unterminated block string", context());
            const auto byte = static_cast<unsigned char>(sdl_[pos_]);
            if (sdl_.substr(pos_, 4) == "\\\"\"\"") {
                lines.back().append("\"\"\"");
                pos_ += 4;
            } else if (sdl_.substr(pos_, 3) == "\"\"\"") {
                pos_ += 3;
                return {TokenKind::BlockString, block_string_value(lines)};
            } else if (byte == '\n') {
                lines.emplace_back();
                ++pos_;
            } else {
                require(byte >= 0x20 || byte == '\t', "SDL: control character in a block string", context());
                lines.back().push_back(sdl_[pos_++]);
            }
        }
    }

    static std::string block_string_value(const std::vector<std::string>& lines) {
        const auto indent = [](const std::string& line) { return std::min(line.find_first_not_of(" \t"), line.size()); };
        std::size_t common = std::string::npos;
        std::size_t first = lines.size();
        std::size_t last = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (indent(lines[i]) == lines[i].size()) continue;  // blank
            first = std::min(first, i);
            last = i;
            if (i > 0) common = std::min(common, indent(lines[i]));
        }
        std::string value;
        for (std::size_t i = first; i <= last && first < lines.size(); ++i) {
            if (i > first) value.push_back('\n');
            value.append(i == 0 ? lines[i] : lines[i].substr(std::min(common, lines[i].size())));
        }
        return value;
    }

    std::string_view sdl_;
    std::size_t pos_ = 0;
};

// The subset of the SDL grammar the renderer writes.
class Reader {
public:
    Reader(std::string_view sdl, const Stored& stored) : lexer_(sdl), stored_(stored) { advance(); }

    std::size_t sections = 0;
    std::map<std::string, std::size_t> lines_of_type;  // printed fields or enum values by type name

    void document() {
        while (token_.kind != TokenKind::End) definition();
    }

private:
    void advance() {
        token_ = lexer_.next();
        if (token_.kind == TokenKind::Float) {
            const double value = std::strtod(token_.text.c_str(), nullptr);
            require(stored_.floats.count(value) == 1, "SDL: a float that was never stored", token_.text);
        } else if (token_.kind == TokenKind::Int) {
            if (token_.text[0] == '-') {
                std::int64_t value = 0;
                auto [end, ec] = std::from_chars(token_.text.data(), token_.text.data() + token_.text.size(), value);
                require(ec == std::errc() && stored_.negative_integers.count(value) == 1,
                        "SDL: a negative integer that was never stored", token_.text);
            } else {
                std::uint64_t value = 0;
                auto [end, ec] = std::from_chars(token_.text.data(), token_.text.data() + token_.text.size(), value);
                require(ec == std::errc() && stored_.unsigned_integers.count(value) == 1,
                        "SDL: an integer that was never stored", token_.text);
            }
        }
    }

    bool at(std::string_view punctuator) const {
        return token_.kind == TokenKind::Punctuator && token_.text == punctuator;
    }
    bool at_name(std::string_view name) const { return token_.kind == TokenKind::Name && token_.text == name; }

    void expect(std::string_view punctuator) {
        require(at(punctuator), "SDL: expected a punctuator", std::string(punctuator) + " at " + lexer_.context());
        advance();
    }

    std::string name() {
        require(token_.kind == TokenKind::Name, "SDL: expected a name", lexer_.context());
        std::string out = std::move(token_.text);
        advance();
        return out;
    }

    void optional_description() {
        if (token_.kind != TokenKind::String && token_.kind != TokenKind::BlockString) return;
        require(stored_.descriptions.count(token_.text) == 1, "SDL: a description that does not read back as stored",
                token_.text);
        advance();
    }

    void definition() {
        optional_description();
        const std::string keyword = name();
        ++sections;
        if (keyword == "schema") {
            directives();
            expect("{");
            while (!at("}")) {
                name();
                expect(":");
                name();
            }
            advance();
        } else if (keyword == "type" || keyword == "interface" || keyword == "input" || keyword == "enum") {
            const std::string type_name = name();
            if (at_name("implements")) {
                advance();
                name();
                while (at("&")) {
                    advance();
                    name();
                }
            }
            directives();
            expect("{");
            std::size_t lines = 0;
            while (!at("}")) {
                optional_description();
                name();
                if (keyword != "enum") {
                    if (at("(")) arguments_definition();
                    expect(":");
                    type();
                    default_value();
                }
                directives();
                ++lines;
            }
            advance();
            lines_of_type[type_name] = lines;
        } else if (keyword == "union") {
            name();
            expect("=");
            name();
            while (at("|")) {
                advance();
                name();
            }
        } else if (keyword == "scalar") {
            name();
            directives();
        } else if (keyword == "directive") {
            expect("@");
            name();
            if (at("(")) arguments_definition();
            if (at_name("repeatable")) advance();
            require(at_name("on"), "SDL: directive without 'on'", lexer_.context());
            advance();
            name();
            while (at("|")) {
                advance();
                name();
            }
        } else {
            fuzz_support::fail("SDL: unknown definition", keyword);
        }
    }

    void arguments_definition() {
        expect("(");
        while (!at(")")) {
            optional_description();
            name();
            expect(":");
            type();
            default_value();
            directives();
        }
        advance();
    }

    void type() {
        if (at("[")) {
            advance();
            type();
            expect("]");
        } else {
            name();
        }
        if (at("!")) advance();
    }

    void default_value() {
        if (!at("=")) return;
        advance();
        value();
    }

    void directives() {
        while (at("@")) {
            advance();
            name();
            if (!at("(")) continue;
            advance();
            while (!at(")")) {
                name();
                expect(":");
                value();
            }
            advance();
        }
    }

    void value() {
        if (at("[")) {
            advance();
            while (!at("]")) value();
            advance();
        } else if (at("{")) {
            advance();
            while (!at("}")) {
                name();
                expect(":");
                value();
            }
            advance();
        } else {
            require(token_.kind == TokenKind::Name || token_.kind == TokenKind::String ||
                        token_.kind == TokenKind::Int || token_.kind == TokenKind::Float,
                    "SDL: expected a value", lexer_.context());
            if (token_.kind == TokenKind::String) {
                require(stored_.quoted.count(token_.text) == 1, "SDL: a string that was never stored",
                        lexer_.context());
            } else if (token_.kind == TokenKind::Name && token_.text != "true" && token_.text != "false" &&
                       token_.text != "null") {
                // An enum value: printed bare only for a stored string.
                require(stored_.quoted.count(token_.text) == 1, "SDL: an enum value that was never stored",
                        lexer_.context());
            }
            advance();
        }
    }

    Lexer lexer_;
    const Stored& stored_;
    Token token_;
};

}  // namespace sdl_reader
