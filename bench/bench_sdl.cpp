// SDL rendering of a schema of about 300 types built in code: objects with
// arguments, descriptions and deprecations, interfaces, inputs, enums, unions,
// scalars and directives.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "dovrane_core/sdl.hpp"
#include "dovrane_core/test_support/schema_builders.hpp"

using namespace dovrane_core;
using namespace dovrane_core::schema;
using namespace dovrane_core::test_support;

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

CompiledSchema large_schema() {
    CompiledSchema schema;
    schema.query_type_name = "Object0";
    schema.mutation_type_name = "Object1";

    for (int i = 0; i < interface_count; ++i) {
        add(schema, type(TypeKind::Interface, numbered("Interface", i), {field("node_id", "ID!")}));
    }
    for (int i = 0; i < object_count; ++i) {
        TypeDefinition object = type(TypeKind::Object, numbered("Object", i), {field("node_id", "ID!")},
                                     {numbered("Interface", i % interface_count)});
        object.description = "Object number " + std::to_string(i) + ".\nIt has a second line.";
        object.directives = {tag(object.name)};
        for (int f = 1; f < fields_per_type; ++f) {
            FieldDefinition entry = field(numbered("some_field_", f), "String");
            if (f % 2 == 0) {
                entry.field_type = non_null(list(non_null(named(numbered("Object", (i + f) % object_count)))));
                ArgumentDefinition filter = argument("filter_by", named(numbered("Input", i % input_count)));
                filter.description = "Narrows the list";
                entry.arguments = {argument_with_default("first_count", "Int", "10"), std::move(filter)};
            }
            if (f == 3) entry.description = "A described field.";
            if (f == 5) entry.deprecation_reason = "Use \"some_field_4\" instead";
            object.fields.push_back(std::move(entry));
        }
        add(schema, std::move(object));
    }
    for (int i = 0; i < input_count; ++i) {
        TypeDefinition input = type(TypeKind::InputObject, numbered("Input", i));
        input.one_of = i % 4 == 0;
        for (int f = 0; f < 4; ++f) {
            input.fields.push_back(field_with_default(numbered("input_value_", f), "String", "\"default caf\u00e9\""));
        }
        add(schema, std::move(input));
    }
    for (int i = 0; i < enum_count; ++i) {
        TypeDefinition enumeration = type(TypeKind::Enum, numbered("Enum", i));
        for (int v = 0; v < 6; ++v) {
            EnumValueDefinition value = enum_value(numbered("VALUE_", v));
            if (v == 5) value.deprecation_reason = "gone";
            enumeration.enum_values.push_back(std::move(value));
        }
        add(schema, std::move(enumeration));
    }
    for (int i = 0; i < 10; ++i) {
        std::vector<std::string> members;
        for (int m = 0; m < 5; ++m) members.push_back(numbered("Object", i * 5 + m));
        add(schema, union_type(numbered("Union", i), std::move(members)));
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
    tag_directive.fields = {DirectiveFieldDefinition{"name", std::nullopt, non_null(named("String"))}};
    schema.schema_directives.emplace("tag", std::move(tag_directive));
    add_directive(schema, "upper", {OperationDirectiveLocation::Field});
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
