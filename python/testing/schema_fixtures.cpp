// _dovrane_testing: fixed definitions to test against, as the module's
// objects: a TypeInfo of each kind, a compiled schema with one of every kind
// of definition, and a deep type chain.
#include <Python.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/arguments.hpp"
#include "binding/classes.hpp"
#include "binding/objects.hpp"
#include "dovrane_core/json.hpp"
#include "dovrane_core/schema.hpp"
#include "dovrane_core/test_support/schema_builders.hpp"
#include "src/compiled_schema.hpp"
#include "src/type_info.hpp"
#include "testing/probes.hpp"

namespace _dovrane::testing {

namespace {

using binding::Ref;
namespace schema = dovrane_core::schema;
using namespace dovrane_core::test_support;

schema::AppliedDirective applied(const char* name) {
    return schema::AppliedDirective{name, {{"reason", dovrane_core::json::Value(std::string("test"))}}};
}

schema::TypeDefinition sample_object(schema::TypeKind kind) {
    schema::TypeDefinition type;
    type.kind = kind;
    type.name = "Book";
    type.description = "A book";
    type.one_of = kind == schema::TypeKind::InputObject;
    type.directives.push_back(applied("tagged"));
    type.interfaces.push_back("Node");

    schema::FieldDefinition title;
    title.name = "title";
    title.field_type = non_null(named("String"));
    title.description = "The title";
    title.directives.push_back(applied("tagged"));
    type.fields.push_back(std::move(title));

    schema::FieldDefinition tags;
    tags.name = "tags";
    tags.field_type = non_null(list(non_null(named("String"))));
    tags.default_value = "[]";
    type.fields.push_back(std::move(tags));

    schema::FieldDefinition subtitle;
    subtitle.name = "sub_title";
    subtitle.graphql_name = "subtitle";
    subtitle.field_type = named("String");
    subtitle.is_maybe = true;
    subtitle.deprecation_reason = "Use title";
    type.fields.push_back(std::move(subtitle));

    schema::FieldDefinition author;
    author.name = "author";
    author.field_type = non_null(named("Author"));
    author.has_resolver = true;
    author.parent_parameter = "root";
    author.info_parameter = "info";
    schema::ArgumentDefinition first;
    first.name = "first_count";
    first.graphql_name = "first";
    first.arg_type = non_null(named("Int"));
    first.has_default = true;
    first.default_value = "10";
    first.description = "How many";
    first.deprecation_reason = "Use last";
    first.directives.push_back(applied("tagged"));
    author.arguments.push_back(std::move(first));
    schema::ArgumentDefinition filter;
    filter.name = "filter";
    filter.arg_type = list(named("String"));
    filter.is_maybe = true;
    author.arguments.push_back(std::move(filter));
    type.fields.push_back(std::move(author));
    return type;
}

schema::TypeDefinition sample_enum() {
    schema::TypeDefinition type;
    type.kind = schema::TypeKind::Enum;
    type.name = "Color";
    type.one_of = true;  // never shown for an enum
    schema::EnumValueDefinition red{"RED", "red", "Warm", std::nullopt, {applied("tagged")}};
    schema::EnumValueDefinition green{"GREEN", std::nullopt, std::nullopt, std::nullopt, {}};
    schema::EnumValueDefinition blue{"BLUE", std::nullopt, std::nullopt, "Gone", {}};
    type.enum_values = {std::move(red), std::move(green), std::move(blue)};
    return type;
}

// sample_type_info(*, kind="type"): a TypeInfo over a fixed definition.
constexpr binding::Parameter sample_type_info_parameters[] = {binding::keyword_optional("kind")};
binding::Result<Ref> sample_type_info(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view kind,
                             arguments.convert_or(0, binding::to_str, std::string_view("type")));
    if (kind == "type") {
        return type_info::new_type_info(sample_object(schema::TypeKind::Object));
    }
    if (kind == "interface") {
        return type_info::new_type_info(sample_object(schema::TypeKind::Interface));
    }
    if (kind == "input") {
        return type_info::new_type_info(sample_object(schema::TypeKind::InputObject));
    }
    if (kind == "enum") {
        return type_info::new_type_info(sample_enum());
    }
    return binding::value_error("unknown kind");
}
constexpr binding::Function sample_type_info_function = {
    binding::signature("sample_type_info", sample_type_info_parameters),
    DOVRANE_DOC("sample_type_info(*, kind='type')",
                "A TypeInfo over a fixed definition: the object, interface or input type Book, or the enum Color."),
    sample_type_info,
};

// A small schema with every kind of definition, around the Book and Color of
// sample_type_info (Python names; camel-cased or not by the flag):
//
//   interface Node { title: String! }
//   type Book implements Node (sample_type_info)   enum Color (sample_type_info)
//   type Author { name: String!, born_at: DateTime, books(color: Color): [Book!]! }
//   input BookFilter { title_prefix: String, color: Color, min_pages: Int = 0 }
//   union SearchResult = Book | Author
//   type Query { book(book_id: ID!): Book, books(filter: BookFilter, first: Int = 10): [Book!]!,
//                search(text: String!): [SearchResult!]!, node(book_id: ID!): Node }
//   type Mutation { add_book(title: String!, color: Color): Book! }
//   scalar DateTime (described)   directive @upper(locale_name: String = "en") on FIELD
//   schema directive @tagged(reason: String!), which Book, its fields and Color apply
schema::CompiledSchema sample_compiled_schema(bool auto_camel_case) {
    schema::CompiledSchema compiled;
    compiled.auto_camel_case = auto_camel_case;
    compiled.query_type_name = "Query";
    compiled.mutation_type_name = "Mutation";

    compiled.types.emplace("Book", sample_object(schema::TypeKind::Object));
    compiled.types.emplace("Color", sample_enum());
    add(compiled, type(schema::TypeKind::Interface, "Node", [] {
        std::vector<schema::FieldDefinition> fields;
        fields.push_back(field("title", non_null(named("String"))));
        return fields;
    }()));
    add(compiled, type(schema::TypeKind::Object, "Author", [] {
        std::vector<schema::FieldDefinition> fields;
        fields.push_back(field("name", non_null(named("String"))));
        fields.push_back(field("born_at", named("DateTime")));
        std::vector<schema::ArgumentDefinition> color;
        color.push_back(argument("color", named("Color")));
        fields.push_back(field("books", non_null(list(non_null(named("Book")))), std::move(color)));
        return fields;
    }()));
    add(compiled, type(schema::TypeKind::InputObject, "BookFilter", [] {
        std::vector<schema::FieldDefinition> fields;
        fields.push_back(field("title_prefix", named("String")));
        fields.push_back(field("color", named("Color")));
        fields.push_back(field("min_pages", named("Int")));
        fields.back().default_value = "0";
        return fields;
    }()));
    add(compiled, type(schema::TypeKind::Object, "Query", [] {
        std::vector<schema::FieldDefinition> fields;
        std::vector<schema::ArgumentDefinition> book_id;
        book_id.push_back(argument("book_id", non_null(named("ID"))));
        fields.push_back(field("book", named("Book"), book_id));
        std::vector<schema::ArgumentDefinition> filter;
        filter.push_back(argument("filter", named("BookFilter")));
        filter.push_back(argument_with_default("first", named("Int"), "10"));
        fields.push_back(field("books", non_null(list(non_null(named("Book")))), std::move(filter)));
        std::vector<schema::ArgumentDefinition> text;
        text.push_back(argument("text", non_null(named("String"))));
        fields.push_back(field("search", non_null(list(non_null(named("SearchResult")))), std::move(text)));
        fields.push_back(field("node", named("Node"), std::move(book_id)));
        return fields;
    }()));
    add(compiled, type(schema::TypeKind::Object, "Mutation", [] {
        std::vector<schema::FieldDefinition> fields;
        std::vector<schema::ArgumentDefinition> arguments;
        arguments.push_back(argument("title", non_null(named("String"))));
        arguments.push_back(argument("color", named("Color")));
        fields.push_back(field("add_book", non_null(named("Book")), std::move(arguments)));
        return fields;
    }()));
    add(compiled, union_type("SearchResult", {"Book", "Author"}));

    compiled.scalar_names.insert("DateTime");
    compiled.scalar_descriptions["DateTime"] = "An instant, as ISO 8601 text";

    schema::OperationDirectiveDefinition upper;
    upper.name = "upper";
    upper.locations = {schema::OperationDirectiveLocation::Field};
    upper.arguments.push_back(argument_with_default("locale_name", named("String"), "\"en\""));
    compiled.directives.emplace("upper", std::move(upper));

    schema::SchemaDirectiveDefinition tagged;
    tagged.name = "tagged";
    tagged.locations = {schema::SchemaDirectiveLocation::Object, schema::SchemaDirectiveLocation::FieldDefinition,
                        schema::SchemaDirectiveLocation::ArgumentDefinition,
                        schema::SchemaDirectiveLocation::EnumValue};
    tagged.fields.push_back(schema::DirectiveFieldDefinition{"reason", std::nullopt, non_null(named("String"))});
    compiled.schema_directives.emplace("tagged", std::move(tagged));
    return compiled;
}

// sample_schema(*, auto_camel_case=True, extra_scalars=()): a CompiledSchema
// over the sample above, with more scalars (no descriptions) when asked; it
// passes the shape check.
constexpr binding::Parameter sample_schema_parameters[] = {
    binding::keyword_optional("auto_camel_case"),
    binding::keyword_optional("extra_scalars"),
};
binding::Result<Ref> sample_schema(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(bool auto_camel_case, arguments.convert_or(0, binding::to_flag, true));
    DOVRANE_ASSIGN_OR_RETURN(std::vector<std::string> extra_scalars,
                             arguments.convert_or(1, binding::to_str_list, std::vector<std::string>()));
    schema::CompiledSchema compiled = sample_compiled_schema(auto_camel_case);
    compiled.scalar_names.insert(extra_scalars.begin(), extra_scalars.end());
    if (auto problem = schema::validate_schema_shape(compiled.types, compiled.unions, compiled.scalar_names)) {
        return binding::panic("the sample schema is malformed: " + *problem);
    }
    return compiled_schema::new_compiled_schema(std::move(compiled));
}
constexpr binding::Function sample_schema_function = {
    binding::signature("sample_schema", sample_schema_parameters),
    DOVRANE_DOC("sample_schema(*, auto_camel_case=True, extra_scalars=())",
                "A CompiledSchema with a query and a mutation type, an interface, an enum, an\n"
                "input type, a union, a described scalar and directives."),
    sample_schema,
};

// type_chain(depth): a GraphQLTypeInfo of `depth` list wrappers around String.
constexpr binding::Parameter type_chain_parameters[] = {binding::required("depth")};
binding::Result<Ref> type_chain(PyObject*, binding::Arguments& arguments) {
    Py_ssize_t depth = PyLong_AsSsize_t(arguments[0]);
    if (depth < 0) {
        return PyErr_Occurred() ? binding::Error::fetch() : binding::value_error("negative depth");
    }
    schema::GraphQLType type = named("String");
    for (Py_ssize_t i = 0; i < depth; ++i) {
        type = list(std::move(type));
    }
    DOVRANE_ASSIGN_OR_RETURN(type_info::PyGraphQLType record, type_info::convert_graphql_type(type));
    return binding::new_instance(type_info::graphql_type_class, std::move(record));
}
constexpr binding::Function type_chain_function = {
    binding::signature("type_chain", type_chain_parameters),
    DOVRANE_DOC("type_chain(depth)", "A GraphQLTypeInfo of depth list wrappers around String."),
    type_chain,
};

const Registration schema_fixture_registrations[] = {
    {"sample_type_info", &binding::method_def<sample_type_info_function>},
    {"sample_schema", &binding::method_def<sample_schema_function>},
    {"type_chain", &binding::method_def<type_chain_function>},
};

}  // namespace

std::span<const Registration> schema_fixtures() { return schema_fixture_registrations; }

}  // namespace _dovrane::testing
