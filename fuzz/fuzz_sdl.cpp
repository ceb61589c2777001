// SDL rendering of schemas built from fuzzed records. The rendered text must
// read back: a small SDL reader below lexes it as GraphQL and parses the
// subset the renderer writes, and then checks what it read against the
// records: one section per printed definition, one line per printed field or
// enum value, every quoted string or bare enum value standing for a string
// that was stored, every description (block or quoted) reading back, by
// GraphQL's block-string value, as a stored description, every number reading
// back as a stored number.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dovrane_core/schema.hpp"
#include "dovrane_core/sdl.hpp"
#include "dovrane_core/utf8.hpp"
#include "fuzz_support.hpp"

using namespace dovrane_core;
using fuzz_support::require;
using schema::GraphQLType;

namespace {

// ---- What was stored ---------------------------------------------------------------

struct Stored {
    std::set<std::string> quoted;        // deprecation reasons, string values, specified-by URLs
    std::set<std::string> descriptions;  // non-empty ones
    std::set<double> floats;
    std::set<std::uint64_t> unsigned_integers;
    std::set<std::int64_t> negative_integers;
};

// ---- Building a schema from the fuzzer's bytes -----------------------------------------

class Builder {
public:
    Builder(FuzzedDataProvider& bytes, Stored& stored) : bytes_(bytes), stored_(stored) {}

    // One of `count` choices.
    std::size_t pick(std::size_t count) { return bytes_.ConsumeIntegralInRange<std::size_t>(0, count - 1); }

    // A GraphQL name; now and then one that starts with "__".
    std::string name(char first_upper) {
        static constexpr char rest[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
        std::string out;
        if (bytes_.ConsumeIntegralInRange(0, 15) == 0) out = "__";
        const int first = bytes_.ConsumeIntegralInRange(0, 25);
        out.push_back(static_cast<char>((first_upper ? 'A' : 'a') + first));
        const int length = bytes_.ConsumeIntegralInRange(0, 5);
        for (int i = 0; i < length; ++i) out.push_back(rest[pick(sizeof rest - 1)]);
        return out;
    }

    // Text of valid UTF-8 made of the pieces the quoting and the description
    // blocks treat specially.
    std::string text() {
        static constexpr std::string_view pieces[] = {
            "a", "Z", " ", "\"", "\\", "\n", "\r", "\t", "\"\"\"", "\\\"\"\"", "\xC3\xA9", "\xCC\x81",
            "\xC2\xA0", "\x07", std::string_view("\0", 1), "\x7F", "\xF0\x9F\x98\x80", "\xE2\x80\xA8", "#", "{",
            "}", "'", "u{41}", "\xEF\xBB\xBF", "\n  ", "\n\t", "\r\n", "  "};
        std::string out;
        const int count = bytes_.ConsumeIntegralInRange(0, 8);
        for (int i = 0; i < count; ++i) out.append(pieces[pick(std::size(pieces))]);
        return out;
    }

    std::optional<std::string> description() {
        if (!bytes_.ConsumeBool()) return std::nullopt;
        std::string out = text();
        if (!out.empty()) stored_.descriptions.insert(out);
        return out;
    }

    std::optional<std::string> reason() {
        if (bytes_.ConsumeIntegralInRange(0, 3) != 0) return std::nullopt;
        std::string out = text();
        stored_.quoted.insert(out);
        return out;
    }

    json::Value value(int depth) {
        switch (bytes_.ConsumeIntegralInRange(0, depth < 3 ? 8 : 6)) {
            case 0: return nullptr;
            case 1: return bytes_.ConsumeBool();
            case 2: {
                const auto v = bytes_.ConsumeIntegral<std::uint64_t>();
                stored_.unsigned_integers.insert(v);
                return json::Number::from_unsigned(v);
            }
            case 3: {
                const std::int64_t v = bytes_.ConsumeIntegralInRange<std::int64_t>(INT64_MIN, -1);
                stored_.negative_integers.insert(v);
                return json::Number::from_signed(v);
            }
            case 4: {
                static constexpr double specials[] = {0.0, -0.0, 0.5, 1e16, 1e15, 123456.789, 1e-7, 1.5e-5,
                                                      1.7976931348623157e308, 5e-324, -2.5};
                double v = bytes_.ConsumeBool() ? specials[pick(std::size(specials))]
                                                : bytes_.ConsumeFloatingPoint<double>();
                if (!(v == v) || v - v != 0) v = 1.0;  // finite only
                stored_.floats.insert(v);
                return json::Number::from_double(v);
            }
            case 5:
            case 6: {
                std::string out = text();
                stored_.quoted.insert(out);
                return out;
            }
            case 7: {
                json::Array items;
                const int count = bytes_.ConsumeIntegralInRange(0, 3);
                for (int i = 0; i < count; ++i) items.push_back(value(depth + 1));
                return items;
            }
            default: {
                json::Object fields;
                const int count = bytes_.ConsumeIntegralInRange(0, 3);
                for (int i = 0; i < count; ++i) fields.insert_or_assign(name(0), value(depth + 1));
                return fields;
            }
        }
    }

    std::vector<schema::AppliedDirective> directives() {
        std::vector<schema::AppliedDirective> out;
        const int count = bytes_.ConsumeIntegralInRange(0, 2);
        for (int i = 0; i < count; ++i) {
            schema::AppliedDirective directive;
            directive.name = name(0);
            const int arguments = bytes_.ConsumeIntegralInRange(0, 2);
            for (int j = 0; j < arguments; ++j) directive.arguments.emplace_back(name(0), value(0));
            out.push_back(std::move(directive));
        }
        return out;
    }

    // A type over one of `names`: lists and non-null wrappers, never "!!".
    GraphQLType type(const std::vector<std::string>& names) {
        GraphQLType out = GraphQLType::named(names[pick(names.size())]);
        const int wrappers = bytes_.ConsumeIntegralInRange(0, 4);
        for (int i = 0; i < wrappers; ++i) {
            if (bytes_.ConsumeBool() && !out.is_non_null()) {
                out = GraphQLType::non_null(std::move(out));
            } else {
                out = GraphQLType::list(std::move(out));
            }
        }
        return out;
    }

    std::optional<std::string> default_literal() {
        if (bytes_.ConsumeIntegralInRange(0, 3) != 0) return std::nullopt;
        return sdl::render_json_value(value(0));
    }

    std::optional<std::string> explicit_name() {
        if (bytes_.ConsumeIntegralInRange(0, 3) != 0) return std::nullopt;
        return name(0);
    }

    schema::ArgumentDefinition argument(const std::vector<std::string>& names) {
        schema::ArgumentDefinition argument;
        argument.name = name(0);
        argument.graphql_name = explicit_name();
        argument.arg_type = type(names);
        argument.default_value = default_literal();
        argument.has_default = argument.default_value.has_value();
        argument.description = description();
        argument.deprecation_reason = reason();
        argument.directives = directives();
        return argument;
    }

    schema::CompiledSchema build() {
        schema::CompiledSchema schema;
        schema.auto_camel_case = bytes_.ConsumeBool();
        std::vector<std::string> names = {"String", "Int", "ID"};
        const int type_count = bytes_.ConsumeIntegralInRange(1, 6);
        std::vector<std::pair<std::string, schema::TypeKind>> declared;
        for (int i = 0; i < type_count; ++i) {
            std::string type_name = name(1);
            names.push_back(type_name);
            declared.emplace_back(type_name, static_cast<schema::TypeKind>(bytes_.ConsumeIntegralInRange(0, 3)));
        }
        for (const auto& [type_name, kind] : declared) {
            schema::TypeDefinition type;
            type.name = type_name;
            type.kind = kind;
            type.description = description();
            type.one_of = bytes_.ConsumeBool();
            type.directives = directives();
            const int members = bytes_.ConsumeIntegralInRange(1, 4);
            for (int i = 0; i < members; ++i) {
                if (kind == schema::TypeKind::Enum) {
                    schema::EnumValueDefinition value;
                    value.name = name(1);
                    value.graphql_name = explicit_name();
                    value.description = description();
                    value.deprecation_reason = reason();
                    value.directives = directives();
                    type.enum_values.push_back(std::move(value));
                    continue;
                }
                schema::FieldDefinition field;
                field.name = name(0);
                field.graphql_name = explicit_name();
                field.field_type = this->type(names);
                field.description = description();
                field.deprecation_reason = reason();
                field.default_value = default_literal();
                field.directives = directives();
                const int arguments = kind == schema::TypeKind::InputObject ? 0 : bytes_.ConsumeIntegralInRange(0, 2);
                for (int j = 0; j < arguments; ++j) field.arguments.push_back(argument(names));
                type.fields.push_back(std::move(field));
            }
            if (kind == schema::TypeKind::Object || kind == schema::TypeKind::Interface) {
                for (const auto& [other, other_kind] : declared) {
                    if (other_kind == schema::TypeKind::Interface && other != type_name && bytes_.ConsumeBool()) {
                        type.interfaces.push_back(other);
                    }
                }
            }
            schema.types.insert_or_assign(type_name, std::move(type));
        }
        schema.query_type_name = declared.front().first;
        if (bytes_.ConsumeBool()) schema.mutation_type_name = declared.back().first;
        if (bytes_.ConsumeBool()) schema.subscription_type_name = name(1);
        schema.schema_applied_directives = directives();

        const int unions = bytes_.ConsumeIntegralInRange(0, 2);
        for (int i = 0; i < unions; ++i) {
            schema::UnionDefinition union_definition;
            union_definition.name = name(1);
            union_definition.description = description();
            const int members = bytes_.ConsumeIntegralInRange(1, 3);
            for (int j = 0; j < members; ++j) {
                union_definition.member_names.push_back(declared[static_cast<std::size_t>(j) % declared.size()].first);
            }
            schema.unions.insert_or_assign(union_definition.name, std::move(union_definition));
        }
        const int scalars = bytes_.ConsumeIntegralInRange(0, 3);
        for (int i = 0; i < scalars; ++i) {
            std::string scalar = name(1);
            schema.scalar_names.insert(scalar);
            if (bytes_.ConsumeBool()) {
                std::string description = text();
                if (!description.empty()) stored_.descriptions.insert(description);
                schema.scalar_descriptions[scalar] = std::move(description);
            }
            if (bytes_.ConsumeBool()) {
                std::string url = text();
                stored_.quoted.insert(url);
                schema.scalar_specified_by_urls[scalar] = std::move(url);
            }
            if (bytes_.ConsumeBool()) schema.scalar_directives[scalar] = directives();
        }
        const int operation_directives = bytes_.ConsumeIntegralInRange(0, 2);
        for (int i = 0; i < operation_directives; ++i) {
            schema::OperationDirectiveDefinition directive;
            directive.name = name(0);
            directive.description = description();
            const int locations = bytes_.ConsumeIntegralInRange(1, 3);
            for (int j = 0; j < locations; ++j) {
                directive.locations.push_back(
                    static_cast<schema::OperationDirectiveLocation>(pick(schema::operation_directive_location_count)));
            }
            const int arguments = bytes_.ConsumeIntegralInRange(0, 2);
            for (int j = 0; j < arguments; ++j) directive.arguments.push_back(argument(names));
            schema.directives.insert_or_assign(directive.name, std::move(directive));
        }
        const int schema_directives = bytes_.ConsumeIntegralInRange(0, 2);
        for (int i = 0; i < schema_directives; ++i) {
            schema::SchemaDirectiveDefinition directive;
            directive.name = name(0);
            directive.description = description();
            directive.repeatable = bytes_.ConsumeBool();
            const int locations = bytes_.ConsumeIntegralInRange(1, 3);
            for (int j = 0; j < locations; ++j) {
                directive.locations.push_back(
                    static_cast<schema::SchemaDirectiveLocation>(pick(schema::schema_directive_location_count)));
            }
            const int fields = bytes_.ConsumeIntegralInRange(0, 2);
            for (int j = 0; j < fields; ++j) {
                schema::DirectiveFieldDefinition field;
                field.name = name(0);
                field.graphql_name = explicit_name();
                field.field_type = type(names);
                directive.fields.push_back(std::move(field));
            }
            schema.schema_directives.insert_or_assign(directive.name, std::move(directive));
        }
        // Uses of the schema directives as their definitions type them.
        for (const auto& [directive_name, directive] : schema.schema_directives) {
            if (!bytes_.ConsumeBool()) continue;
            schema::AppliedDirective use{directive_name, {}};
            for (const schema::DirectiveFieldDefinition& field : directive.fields) {
                std::string key = field.graphql_name && bytes_.ConsumeBool() ? *field.graphql_name : field.name;
                use.arguments.emplace_back(std::move(key), typed_value(field.field_type, schema, 0));
            }
            schema.schema_applied_directives.push_back(std::move(use));
        }
        return schema;
    }

    // A value of `type`: at an enum place often a string naming one of its
    // values, an input object keyed by its fields' printed or Python names.
    json::Value typed_value(const GraphQLType& type, const schema::CompiledSchema& schema, int depth) {
        if (depth > 3) return value(depth);
        if (type.kind == GraphQLType::Kind::NonNull) return typed_value(*type.inner, schema, depth);
        if (type.kind == GraphQLType::Kind::List) {
            if (bytes_.ConsumeBool()) return typed_value(*type.inner, schema, depth + 1);  // one in place of a list
            json::Array items;
            const int count = bytes_.ConsumeIntegralInRange(0, 2);
            for (int i = 0; i < count; ++i) items.push_back(typed_value(*type.inner, schema, depth + 1));
            return items;
        }
        const auto found = schema.types.find(type.name);
        if (found == schema.types.end() || !bytes_.ConsumeBool()) return value(depth);
        const schema::TypeDefinition& definition = found->second;
        if (definition.kind == schema::TypeKind::Enum) {
            std::string out = definition.enum_values[pick(definition.enum_values.size())].graphql_name_or_name();
            stored_.quoted.insert(out);
            return out;
        }
        if (definition.kind != schema::TypeKind::InputObject) return value(depth);
        json::Object fields;
        for (const schema::FieldDefinition& field : definition.fields) {
            if (!bytes_.ConsumeBool()) continue;
            std::string key = bytes_.ConsumeBool()
                                  ? schema::graphql_name_of(field.graphql_name, field.name, schema.auto_camel_case)
                                  : field.name;
            fields.insert_or_assign(std::move(key), typed_value(field.field_type, schema, depth + 1));
        }
        return fields;
    }

private:
    FuzzedDataProvider& bytes_;
    Stored& stored_;
};

// ---- Reading the SDL back ----------------------------------------------------------

enum class TokenKind { End, Punctuator, Name, Int, Float, String, BlockString };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text;   // punctuator, name or number as written; a string's decoded value;
                        // a block string's block-string value
};

void append_scalar_value(std::string& out, std::uint32_t cp) {
    require(cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF), "escape of no scalar value");
    utf8::append(out, cp);
}

int hex_value(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool is_name_start(char c) { return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

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

bool is_introspection_name(std::string_view name) { return name.starts_with("__"); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider bytes(data, size);
    Stored stored;
    const schema::CompiledSchema schema = Builder(bytes, stored).build();
    const std::string sdl = sdl::render_sdl(schema);
    require(sdl::render_sdl(schema) == sdl, "rendering differs between two runs");

    Reader reader(sdl, stored);
    reader.document();

    std::size_t expected_sections = 1 + schema.unions.size() + schema.scalar_names.size() + schema.directives.size() +
                                    schema.schema_directives.size();
    for (const auto& [type_name, type] : schema.types) {
        if (is_introspection_name(type_name)) continue;
        ++expected_sections;
        std::size_t lines = type.enum_values.size();
        if (type.kind != schema::TypeKind::Enum) {
            lines = 0;
            for (const schema::FieldDefinition& field : type.fields) {
                const bool camel = schema.auto_camel_case;
                lines += !is_introspection_name(schema::graphql_name_of(field.graphql_name, field.name, camel));
            }
        }
        auto found = reader.lines_of_type.find(type_name);
        require(found != reader.lines_of_type.end(), "SDL: a type without its section", type_name);
        require(found->second == lines, "SDL: a type with another number of lines", type_name);
    }
    require(reader.sections == expected_sections, "SDL: another number of sections");
    return 0;
}
