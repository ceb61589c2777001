// SDL rendering of schemas built from fuzzed records: the rendered text must
// read back (sdl_reader.hpp) as what was stored.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dovrane_core/schema.hpp"
#include "dovrane_core/sdl.hpp"
#include "fuzz_support.hpp"
#include "sdl_reader.hpp"

using namespace dovrane_core;
using fuzz_support::require;
using schema::GraphQLType;
using sdl_reader::Reader;
using sdl_reader::Stored;

namespace {

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
