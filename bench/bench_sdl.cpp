// SDL rendering of a schema of about 300 types built in code: objects with
// arguments, descriptions and deprecations, interfaces, inputs, enums, unions,
// scalars and directives.
#include <benchmark/benchmark.h>

#include <string>

#include "dovrane_core/sdl.hpp"

using namespace dovrane_core;
using namespace dovrane_core::schema;

namespace {

constexpr int object_count = 200;
constexpr int interface_count = 20;
constexpr int input_count = 40;
constexpr int enum_count = 40;
constexpr int fields_per_type = 8;

std::string numbered(const char* prefix, int i) { return prefix + std::to_string(i); }

AppliedDirective tag(std::string name) {
    return AppliedDirective{"tag", {{"name", json::Value(std::move(name))}}};
}

FieldDefinition field(std::string name, GraphQLType type) {
    FieldDefinition f;
    f.name = std::move(name);
    f.field_type = std::move(type);
    return f;
}

CompiledSchema large_schema() {
    CompiledSchema schema;
    schema.query_type_name = "Object0";
    schema.mutation_type_name = "Object1";

    for (int i = 0; i < interface_count; ++i) {
        TypeDefinition type;
        type.kind = TypeKind::Interface;
        type.name = numbered("Interface", i);
        type.fields.push_back(field("node_id", GraphQLType::non_null(GraphQLType::named("ID"))));
        schema.types.emplace(type.name, std::move(type));
    }
    for (int i = 0; i < object_count; ++i) {
        TypeDefinition type;
        type.kind = TypeKind::Object;
        type.name = numbered("Object", i);
        type.description = "Object number " + std::to_string(i) + ".\nIt has a second line.";
        type.interfaces = {numbered("Interface", i % interface_count)};
        type.directives = {tag(type.name)};
        type.fields.push_back(field("node_id", GraphQLType::non_null(GraphQLType::named("ID"))));
        for (int f = 1; f < fields_per_type; ++f) {
            FieldDefinition entry = field(numbered("some_field_", f), GraphQLType::named("String"));
            if (f % 2 == 0) {
                entry.field_type = GraphQLType::non_null(
                    GraphQLType::list(GraphQLType::non_null(GraphQLType::named(numbered("Object", (i + f) % object_count)))));
                ArgumentDefinition first;
                first.name = "first_count";
                first.arg_type = GraphQLType::named("Int");
                first.has_default = true;
                first.default_value = "10";
                ArgumentDefinition filter;
                filter.name = "filter_by";
                filter.arg_type = GraphQLType::named(numbered("Input", i % input_count));
                filter.description = "Narrows the list";
                entry.arguments = {std::move(first), std::move(filter)};
            }
            if (f == 3) entry.description = "A described field.";
            if (f == 5) entry.deprecation_reason = "Use \"some_field_4\" instead";
            type.fields.push_back(std::move(entry));
        }
        schema.types.emplace(type.name, std::move(type));
    }
    for (int i = 0; i < input_count; ++i) {
        TypeDefinition type;
        type.kind = TypeKind::InputObject;
        type.name = numbered("Input", i);
        type.one_of = i % 4 == 0;
        for (int f = 0; f < 4; ++f) {
            FieldDefinition entry = field(numbered("input_value_", f), GraphQLType::named("String"));
            entry.default_value = "\"default caf\u00e9\"";
            type.fields.push_back(std::move(entry));
        }
        schema.types.emplace(type.name, std::move(type));
    }
    for (int i = 0; i < enum_count; ++i) {
        TypeDefinition type;
        type.kind = TypeKind::Enum;
        type.name = numbered("Enum", i);
        for (int v = 0; v < 6; ++v) {
            EnumValueDefinition value;
            value.name = numbered("VALUE_", v);
            if (v == 5) value.deprecation_reason = "gone";
            type.enum_values.push_back(std::move(value));
        }
        schema.types.emplace(type.name, std::move(type));
    }
    for (int i = 0; i < 10; ++i) {
        UnionDefinition union_definition;
        union_definition.name = numbered("Union", i);
        for (int m = 0; m < 5; ++m) union_definition.member_names.push_back(numbered("Object", i * 5 + m));
        schema.unions.emplace(union_definition.name, std::move(union_definition));
    }
    for (const char* scalar : {"Date", "DateTime", "Decimal", "Time", "UUID"}) {
        schema.scalar_names.insert(scalar);
        schema.scalar_descriptions[scalar] = std::string("The ") + scalar + " scalar.";
    }
    schema.scalar_specified_by_urls["UUID"] = "https://www.rfc-editor.org/rfc/rfc4122";

    SchemaDirectiveDefinition tag_directive;
    tag_directive.name = "tag";
    tag_directive.repeatable = true;
    tag_directive.locations = {SchemaDirectiveLocation::Object, SchemaDirectiveLocation::FieldDefinition};
    tag_directive.fields = {DirectiveFieldDefinition{"name", std::nullopt, GraphQLType::non_null(GraphQLType::named("String"))}};
    schema.schema_directives.emplace("tag", std::move(tag_directive));
    OperationDirectiveDefinition upper;
    upper.name = "upper";
    upper.locations = {OperationDirectiveLocation::Field};
    schema.directives.emplace("upper", std::move(upper));
    return schema;
}

void render_large_schema(benchmark::State& state) {
    const CompiledSchema schema = large_schema();
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string sdl = sdl::render_sdl(schema);
        bytes += sdl.size();
        benchmark::DoNotOptimize(sdl);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["types"] = static_cast<double>(schema.types.size() + schema.unions.size() + schema.scalar_names.size());
}
BENCHMARK(render_large_schema);

}  // namespace

BENCHMARK_MAIN();
