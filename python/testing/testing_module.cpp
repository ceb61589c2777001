// _dovrane_testing: a test fixture, not part of the product.
//
// Built only with DOVRANE_BUILD_TESTS and never installed. It exposes the
// module's internals that have no Python entry of their own (value
// conversion, error raising, the description objects, annotation resolution,
// applied directives and their location checks, directive names and
// locations, the binding layer's argument handling and cells) to tests/. It
// compiles the same sources as `_dovrane`; at import it adopts `_dovrane`'s
// classes and exception types, so the objects it makes and the errors it
// raises are those of `_dovrane`.
#include <Python.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <utility>

#include "arguments.hpp"
#include "classes.hpp"
#include "compiled_schema.hpp"
#include "convert.hpp"
#include "dovrane_core/naming.hpp"
#include "error.hpp"
#include "errors.hpp"
#include "lowering.hpp"
#include "objects.hpp"
#include "operation_directive_info.hpp"
#include "persisted_query.hpp"
#include "resolver_binding.hpp"
#include "schema_directive_info.hpp"
#include "type_info.hpp"
#include "typing_utils.hpp"
#include "union_info.hpp"
#include "validation.hpp"

namespace _dovrane::testing {

namespace {

using binding::Ref;
namespace schema = dovrane_core::schema;
namespace core_error = dovrane_core::error;

// json_text(value): python_to_json_value as compact JSON text.
constexpr binding::Parameter json_text_parameters[] = {binding::required("value")};
binding::Result<Ref> json_text(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(dovrane_core::json::Value value, lowering::python_to_json_value(arguments[0]));
    return binding::new_str(dovrane_core::json::to_json_text(value));
}
constexpr binding::Function json_text_function = {
    binding::signature("json_text", json_text_parameters),
    DOVRANE_DOC("json_text(value)", "The value as a JSON value, in compact JSON text."),
    json_text,
};

// default_literal(value): python_default_to_graphql_literal, None for no literal.
constexpr binding::Parameter default_literal_parameters[] = {binding::required("value")};
binding::Result<Ref> default_literal(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string> literal,
                             lowering::python_default_to_graphql_literal(arguments[0]));
    return literal ? binding::new_str(*literal) : binding::Result<Ref>(binding::none());
}
constexpr binding::Function default_literal_function = {
    binding::signature("default_literal", default_literal_parameters),
    DOVRANE_DOC("default_literal(value)", "The value as GraphQL literal text, or None when it has none."),
    default_literal,
};

schema::GraphQLType named(const char* name) { return schema::GraphQLType::named(name); }
schema::GraphQLType non_null(schema::GraphQLType type) { return schema::GraphQLType::non_null(std::move(type)); }
schema::GraphQLType list(schema::GraphQLType type) { return schema::GraphQLType::list(std::move(type)); }

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

schema::FieldDefinition field(const char* name, schema::GraphQLType type,
                              std::vector<schema::ArgumentDefinition> arguments = {}) {
    schema::FieldDefinition definition;
    definition.name = name;
    definition.field_type = std::move(type);
    definition.arguments = std::move(arguments);
    return definition;
}

schema::ArgumentDefinition argument(const char* name, schema::GraphQLType type,
                                    std::optional<std::string> default_value = std::nullopt) {
    schema::ArgumentDefinition definition;
    definition.name = name;
    definition.arg_type = std::move(type);
    definition.has_default = default_value.has_value();
    definition.default_value = std::move(default_value);
    return definition;
}

void add_type(schema::CompiledSchema& compiled, schema::TypeKind kind, const char* name,
              std::vector<schema::FieldDefinition> fields) {
    schema::TypeDefinition definition;
    definition.kind = kind;
    definition.name = name;
    definition.fields = std::move(fields);
    compiled.types.emplace(name, std::move(definition));
}

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
    add_type(compiled, schema::TypeKind::Interface, "Node", [] {
        std::vector<schema::FieldDefinition> fields;
        fields.push_back(field("title", non_null(named("String"))));
        return fields;
    }());
    add_type(compiled, schema::TypeKind::Object, "Author", [] {
        std::vector<schema::FieldDefinition> fields;
        fields.push_back(field("name", non_null(named("String"))));
        fields.push_back(field("born_at", named("DateTime")));
        std::vector<schema::ArgumentDefinition> color;
        color.push_back(argument("color", named("Color")));
        fields.push_back(field("books", non_null(list(non_null(named("Book")))), std::move(color)));
        return fields;
    }());
    add_type(compiled, schema::TypeKind::InputObject, "BookFilter", [] {
        std::vector<schema::FieldDefinition> fields;
        fields.push_back(field("title_prefix", named("String")));
        fields.push_back(field("color", named("Color")));
        fields.push_back(field("min_pages", named("Int")));
        fields.back().default_value = "0";
        return fields;
    }());
    add_type(compiled, schema::TypeKind::Object, "Query", [] {
        std::vector<schema::FieldDefinition> fields;
        std::vector<schema::ArgumentDefinition> book_id;
        book_id.push_back(argument("book_id", non_null(named("ID"))));
        fields.push_back(field("book", named("Book"), book_id));
        std::vector<schema::ArgumentDefinition> filter;
        filter.push_back(argument("filter", named("BookFilter")));
        filter.push_back(argument("first", named("Int"), "10"));
        fields.push_back(field("books", non_null(list(non_null(named("Book")))), std::move(filter)));
        std::vector<schema::ArgumentDefinition> text;
        text.push_back(argument("text", non_null(named("String"))));
        fields.push_back(field("search", non_null(list(non_null(named("SearchResult")))), std::move(text)));
        fields.push_back(field("node", named("Node"), std::move(book_id)));
        return fields;
    }());
    add_type(compiled, schema::TypeKind::Object, "Mutation", [] {
        std::vector<schema::FieldDefinition> fields;
        std::vector<schema::ArgumentDefinition> arguments;
        arguments.push_back(argument("title", non_null(named("String"))));
        arguments.push_back(argument("color", named("Color")));
        fields.push_back(field("add_book", non_null(named("Book")), std::move(arguments)));
        return fields;
    }());
    compiled.unions.emplace("SearchResult", schema::UnionDefinition{"SearchResult", std::nullopt, {"Book", "Author"}});

    compiled.scalar_names.insert("DateTime");
    compiled.scalar_descriptions["DateTime"] = "An instant, as ISO 8601 text";

    schema::OperationDirectiveDefinition upper;
    upper.name = "upper";
    upper.locations = {schema::OperationDirectiveLocation::Field};
    upper.arguments.push_back(argument("locale_name", named("String"), "\"en\""));
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

// document_identity(document): the address of the shared parsed document
// behind a ParsedDocument, to tell whether two handles share one.
constexpr binding::Parameter document_identity_parameters[] = {binding::required("document")};
binding::Result<Ref> document_identity(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(const dovrane_core::document::SharedDocument* document,
                             arguments.convert(0, validation::shared_document_of));
    return binding::new_uint(reinterpret_cast<std::uintptr_t>(document->get()));
}
constexpr binding::Function document_identity_function = {
    binding::signature("document_identity", document_identity_parameters),
    DOVRANE_DOC("document_identity(document)", "The address of the parsed document a ParsedDocument shares."),
    document_identity,
};

// definition_summary(info): what the hidden definition holds, as a tuple
// (name, field names, directive count of the first field, interfaces).
constexpr binding::Parameter definition_summary_parameters[] = {binding::required("info")};
binding::Result<Ref> definition_summary(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(const schema::TypeDefinition* definition,
                             arguments.convert(0, type_info::type_definition_of));
    std::vector<Ref> names;
    for (const auto& field : definition->fields) {
        DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(field.name));
        names.push_back(std::move(name));
    }
    std::vector<Ref> interfaces;
    for (const auto& interface : definition->interfaces) {
        DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(interface));
        interfaces.push_back(std::move(name));
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(definition->name));
    DOVRANE_ASSIGN_OR_RETURN(Ref field_names, binding::new_list(names));
    DOVRANE_ASSIGN_OR_RETURN(Ref directive_count,
                             binding::new_uint(definition->fields.empty() ? 0 : definition->fields[0].directives.size()));
    DOVRANE_ASSIGN_OR_RETURN(Ref interface_names, binding::new_list(interfaces));
    return binding::new_tuple({name.get(), field_names.get(), directive_count.get(), interface_names.get()});
}
constexpr binding::Function definition_summary_function = {
    binding::signature("definition_summary", definition_summary_parameters),
    DOVRANE_DOC("definition_summary(info)", "(name, field names, directives of the first field, interfaces)."),
    definition_summary,
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

binding::InternedName typing_module_name{"typing"};

// resolve_type_text(annotation): resolve_graphql_type as SDL type text.
constexpr binding::Parameter annotation_parameters[] = {binding::required("annotation")};
binding::Result<Ref> resolve_type_text(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(Ref typing, binding::import_module(typing_module_name));
    DOVRANE_ASSIGN_OR_RETURN(schema::GraphQLType type, typing_utils::resolve_graphql_type(typing.get(), arguments[0]));
    return binding::new_str(type.to_sdl_string());
}
constexpr binding::Function resolve_type_text_function = {
    binding::signature("resolve_type_text", annotation_parameters),
    DOVRANE_DOC("resolve_type_text(annotation)", "The annotation resolved to a GraphQL type, as SDL text."),
    resolve_type_text,
};

// named_type_name(annotation)
binding::Result<Ref> named_type_name(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string name, typing_utils::named_type_name(arguments[0]));
    return binding::new_str(name);
}
constexpr binding::Function named_type_name_function = {
    binding::signature("named_type_name", annotation_parameters),
    DOVRANE_DOC("named_type_name(annotation)", "The GraphQL name the naming rule gives the annotation."),
    named_type_name,
};

// unwrap_annotated(annotation): (base, metadata list).
binding::Result<Ref> unwrap_annotated(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(Ref typing, binding::import_module(typing_module_name));
    DOVRANE_ASSIGN_OR_RETURN(typing_utils::AnnotatedParts parts,
                             typing_utils::unwrap_annotated(typing.get(), arguments[0]));
    DOVRANE_ASSIGN_OR_RETURN(Ref metadata, binding::new_list(parts.metadata));
    return binding::new_tuple({parts.base.get(), metadata.get()});
}
constexpr binding::Function unwrap_annotated_function = {
    binding::signature("unwrap_annotated", annotation_parameters),
    DOVRANE_DOC("unwrap_annotated(annotation)", "(base, metadata) of an annotation."),
    unwrap_annotated,
};

// is_maybe_annotation(annotation)
binding::Result<Ref> is_maybe_annotation(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(Ref typing, binding::import_module(typing_module_name));
    DOVRANE_ASSIGN_OR_RETURN(bool maybe, typing_utils::is_maybe_annotation(typing.get(), arguments[0]));
    return binding::boolean(maybe);
}
constexpr binding::Function is_maybe_annotation_function = {
    binding::signature("is_maybe_annotation", annotation_parameters),
    DOVRANE_DOC("is_maybe_annotation(annotation)", "Whether the annotation is Maybe[...], also inside Annotated."),
    is_maybe_annotation,
};

// is_union_origin(origin)
constexpr binding::Parameter is_union_origin_parameters[] = {binding::required("origin")};
binding::Result<Ref> is_union_origin(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(bool is_union, typing_utils::is_union_origin(arguments[0]));
    return binding::boolean(is_union);
}
constexpr binding::Function is_union_origin_function = {
    binding::signature("is_union_origin", is_union_origin_parameters),
    DOVRANE_DOC("is_union_origin(origin)", "Whether the origin is typing.Union or types.UnionType."),
    is_union_origin,
};

// find_marker(metadata, cls): the first instance of cls in metadata, or None.
constexpr binding::Parameter find_marker_parameters[] = {binding::required("metadata"), binding::required("cls")};
binding::Result<Ref> find_marker(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::vector<Ref> metadata, binding::collect(arguments[0]));
    DOVRANE_ASSIGN_OR_RETURN(Ref marker, typing_utils::find_marker(metadata, arguments[1]));
    return marker ? marker : binding::none();
}
constexpr binding::Function find_marker_function = {
    binding::signature("find_marker", find_marker_parameters),
    DOVRANE_DOC("find_marker(metadata, cls)", "The first item of metadata that is an instance of cls, or None."),
    find_marker,
};

// lazy_type_class()
binding::Result<Ref> lazy_type_class(PyObject*, binding::Arguments&) {
    DOVRANE_ASSIGN_OR_RETURN(PyObject * cls, typing_utils::lazy_type_class());
    return Ref::borrow(cls);
}
constexpr binding::Function lazy_type_class_function = {
    binding::signature("lazy_type_class"),
    DOVRANE_DOC("lazy_type_class()", "The host's LazyType class, as the cache holds it."),
    lazy_type_class,
};

// seed_lazy_namespace(target, namespace, *, for_callable=False): the class
// seeding, or the function seeding with for_callable.
constexpr binding::Parameter seed_lazy_namespace_parameters[] = {
    binding::required("target"),
    binding::required("namespace"),
    binding::keyword_optional("for_callable"),
};
binding::Result<Ref> seed_lazy_namespace(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(PyObject * target, arguments.convert(1, binding::to_dict));
    DOVRANE_ASSIGN_OR_RETURN(bool for_callable, arguments.convert_or(2, binding::to_flag, false));
    if (for_callable) {
        DOVRANE_TRY(typing_utils::seed_lazy_namespace_for_callable(arguments[0], target));
    } else {
        DOVRANE_TRY(typing_utils::seed_lazy_namespace_for_class(arguments[0], target));
    }
    return binding::none();
}
constexpr binding::Function seed_lazy_namespace_function = {
    binding::signature("seed_lazy_namespace", seed_lazy_namespace_parameters),
    DOVRANE_DOC("seed_lazy_namespace(target, namespace, *, for_callable=False)",
                "Updates namespace with the lazy namespace of a class, or of a function with for_callable."),
    seed_lazy_namespace,
};

// normalize_lazy_member(member)
constexpr binding::Parameter member_parameters[] = {binding::required("member")};
binding::Result<Ref> normalize_lazy_member(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(Ref typing, binding::import_module(typing_module_name));
    return union_info::normalize_lazy_member(typing.get(), arguments[0]);
}
constexpr binding::Function normalize_lazy_member_function = {
    binding::signature("normalize_lazy_member", member_parameters),
    DOVRANE_DOC("normalize_lazy_member(member)", "The union member to use in place of member."),
    normalize_lazy_member,
};

// union_definition(info): the hidden definition of a UnionInfo, as a tuple
// (name, description, member names, has_custom_resolve_type).
constexpr binding::Parameter union_definition_parameters[] = {binding::required("info")};
binding::Result<Ref> union_definition(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(const schema::UnionDefinition* definition,
                             arguments.convert(0, union_info::union_definition_of));
    DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(definition->name));
    Ref description = binding::none();
    if (definition->description) {
        DOVRANE_ASSIGN_OR_RETURN(description, binding::new_str(*definition->description));
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref member_names, binding::new_str_list(definition->member_names));
    Ref flag = binding::boolean(definition->has_custom_resolve_type);
    return binding::new_tuple({name.get(), description.get(), member_names.get(), flag.get()});
}
constexpr binding::Function union_definition_function = {
    binding::signature("union_definition", union_definition_parameters),
    DOVRANE_DOC("union_definition(info)",
                "(name, description, member names, has_custom_resolve_type) of a UnionInfo's definition."),
    union_definition,
};

binding::Result<core_error::ErrorCode> error_code_named(std::string_view wire_name) {
    for (std::size_t i = 0; i < core_error::error_code_count; ++i) {
        auto code = static_cast<core_error::ErrorCode>(i);
        if (core_error::error_code_wire_name(code) == wire_name) {
            return code;
        }
    }
    return binding::value_error("unknown error code");
}

// raise_core_error(message, *, code, locations=None, invalid_utf8=False)
constexpr binding::Parameter raise_core_error_parameters[] = {
    binding::required("message"),
    binding::keyword_required("code"),
    binding::keyword_optional("locations"),
    binding::keyword_optional("invalid_utf8"),
};
binding::Result<Ref> raise_core_error(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view message, arguments.convert(0, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view code_name, arguments.convert(1, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(core_error::ErrorCode code, error_code_named(code_name));
    std::optional<std::vector<core_error::Location>> locations;
    if (arguments.given(2) && arguments[2] != Py_None) {
        DOVRANE_ASSIGN_OR_RETURN(std::vector<Ref> pairs, binding::collect(arguments[2]));
        locations.emplace();
        for (const Ref& pair : pairs) {
            unsigned long long line = 0;
            unsigned long long column = 0;
            Ref first = Ref::steal(PySequence_GetItem(pair.get(), 0));
            Ref second = first ? Ref::steal(PySequence_GetItem(pair.get(), 1)) : Ref();
            if (second) {
                line = PyLong_AsUnsignedLongLong(first.get());
                column = PyLong_AsUnsignedLongLong(second.get());
            }
            if (PyErr_Occurred() != nullptr) {
                return binding::Error::fetch();
            }
            locations->push_back({line, column});
        }
    }
    DOVRANE_ASSIGN_OR_RETURN(bool invalid_utf8, arguments.convert_or(3, binding::to_flag, false));
    std::string text(message);
    if (invalid_utf8) {
        text += "\xff";
    }
    auto error = core_error::make_error(std::move(text), code);
    error->locations = std::move(locations);
    return error::raise(std::move(error));
}
constexpr binding::Function raise_core_error_function = {
    binding::signature("raise_core_error", raise_core_error_parameters),
    DOVRANE_DOC("raise_core_error(message, *, code, locations=None, invalid_utf8=False)",
                "Raises a core GraphQL error through the host package."),
    raise_core_error,
};

// raise_schema_error(message)
constexpr binding::Parameter raise_schema_error_parameters[] = {binding::required("message")};
binding::Result<Ref> raise_schema_error(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view message, arguments.convert(0, binding::to_str));
    return type_info::SchemaError::new_err(std::string(message));
}
constexpr binding::Function raise_schema_error_function = {
    binding::signature("raise_schema_error", raise_schema_error_parameters),
    DOVRANE_DOC("raise_schema_error(message)", "Raises SchemaError with the message."),
    raise_schema_error,
};

// probe(query, operation_name=None, *, kind, validate=False): binds and
// converts like a module function, and returns what it got.
constexpr binding::Parameter probe_parameters[] = {
    binding::required("query"),
    binding::optional("operation_name"),
    binding::keyword_required("kind"),
    binding::keyword_optional("validate"),
};
binding::Result<Ref> probe(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view query, arguments.convert(0, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> operation_name,
                             arguments.convert(1, binding::to_optional_str));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view kind, arguments.convert(2, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(bool validate, arguments.convert_or(3, binding::to_flag, false));
    DOVRANE_ASSIGN_OR_RETURN(Ref query_text, binding::new_str(query));
    Ref operation = binding::none();
    if (operation_name) {
        DOVRANE_ASSIGN_OR_RETURN(operation, binding::new_str(*operation_name));
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref kind_text, binding::new_str(kind));
    Ref flag = binding::boolean(validate);
    return binding::new_tuple({query_text.get(), operation.get(), kind_text.get(), flag.get()});
}
constexpr binding::Function probe_function = {
    binding::signature("probe", probe_parameters),
    DOVRANE_DOC("probe(query, operation_name=None, *, kind, validate=False)",
                "Returns (query, operation_name, kind, validate) as bound and converted."),
    probe,
};

// probe_range(a, b=None, c=None)
constexpr binding::Parameter probe_range_parameters[] = {
    binding::required("a"),
    binding::optional("b"),
    binding::optional("c"),
};
binding::Result<Ref> probe_range(PyObject*, binding::Arguments& arguments) {
    return binding::new_tuple({arguments[0], arguments.given(1) ? arguments[1] : Py_None,
                               arguments.given(2) ? arguments[2] : Py_None});
}
constexpr binding::Function probe_range_function = {
    binding::signature("probe_range", probe_range_parameters),
    DOVRANE_DOC("probe_range(a, b=None, c=None)", "Returns (a, b, c)."),
    probe_range,
};

// probe_keywords(*, first, second, third=None)
constexpr binding::Parameter probe_keywords_parameters[] = {
    binding::keyword_required("first"),
    binding::keyword_required("second"),
    binding::keyword_optional("third"),
};
binding::Result<Ref> probe_keywords(PyObject*, binding::Arguments& arguments) {
    return binding::new_tuple({arguments[0], arguments[1], arguments.given(2) ? arguments[2] : Py_None});
}
constexpr binding::Function probe_keywords_function = {
    binding::signature("probe_keywords", probe_keywords_parameters),
    DOVRANE_DOC("probe_keywords(*, first, second, third=None)", "Returns (first, second, third)."),
    probe_keywords,
};

// probe_nothing()
binding::Result<Ref> probe_nothing(PyObject*, binding::Arguments&) { return binding::none(); }
constexpr binding::Function probe_nothing_function = {
    binding::signature("probe_nothing"),
    DOVRANE_DOC("probe_nothing()", "Takes nothing."),
    probe_nothing,
};

// probe_sequence(items): the str list conversion.
constexpr binding::Parameter probe_sequence_parameters[] = {binding::required("items")};
binding::Result<Ref> probe_sequence(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::vector<std::string> items, arguments.convert(0, binding::to_str_list));
    std::vector<Ref> objects;
    for (const std::string& item : items) {
        DOVRANE_ASSIGN_OR_RETURN(Ref object, binding::new_str(item));
        objects.push_back(std::move(object));
    }
    return binding::new_list(objects);
}
constexpr binding::Function probe_sequence_function = {
    binding::signature("probe_sequence", probe_sequence_parameters),
    DOVRANE_DOC("probe_sequence(items)", "The items, converted as a list of str."),
    probe_sequence,
};

// probe_instance(info): the TypeInfo instance conversion; returns its name.
constexpr binding::Parameter probe_instance_parameters[] = {binding::required("info")};
binding::Result<Ref> probe_instance(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(type_info::PyTypeInfo * info,
                             arguments.convert(0, [](PyObject* object) {
                                 return binding::to_instance(type_info::type_info_class, object);
                             }));
    return binding::new_str(info->name);
}
constexpr binding::Function probe_instance_function = {
    binding::signature("probe_instance", probe_instance_parameters),
    DOVRANE_DOC("probe_instance(info)", "The name of a TypeInfo."),
    probe_instance,
};

// probe_dict(mapping): the dict conversion and the checked walk; returns the keys.
constexpr binding::Parameter probe_dict_parameters[] = {binding::required("mapping")};
binding::Result<Ref> probe_dict(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(PyObject * dict, arguments.convert(0, binding::to_dict));
    binding::DictIterator entries(dict);
    std::vector<Ref> keys;
    Ref key;
    Ref value;
    for (;;) {
        DOVRANE_ASSIGN_OR_RETURN(bool more, entries.next(key, value));
        if (!more) {
            break;
        }
        keys.push_back(key);
    }
    return binding::new_list(keys);
}
constexpr binding::Function probe_dict_function = {
    binding::signature("probe_dict", probe_dict_parameters),
    DOVRANE_DOC("probe_dict(mapping)", "The keys of a dict, walked with the checked iterator."),
    probe_dict,
};

// probe_type(cls)
constexpr binding::Parameter probe_type_parameters[] = {binding::required("cls")};
binding::Result<Ref> probe_type(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(PyObject * cls, arguments.convert(0, binding::to_type));
    return Ref::borrow(cls);
}
constexpr binding::Function probe_type_function = {
    binding::signature("probe_type", probe_type_parameters),
    DOVRANE_DOC("probe_type(cls)", "The class, converted as a type."),
    probe_type,
};

// fail(kind, message): "panic" raises the panic exception; "bad_alloc" and
// "runtime_error" throw that C++ exception out of the function body.
constexpr binding::Parameter fail_parameters[] = {binding::required("kind"), binding::required("message")};
binding::Result<Ref> fail(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view kind, arguments.convert(0, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view message, arguments.convert(1, binding::to_str));
    if (kind == "panic") {
        return binding::panic(std::string(message));
    }
    if (kind == "bad_alloc") {
        throw std::bad_alloc();
    }
    throw std::runtime_error(std::string(message));
}
constexpr binding::Function fail_function = {
    binding::signature("fail", fail_parameters),
    DOVRANE_DOC("fail(kind, message)", "Fails the way kind names."),
    fail,
};

// once_cell(index, builder): the value of test cell `index` (0 to 7),
// building it with builder() on first use.
binding::OnceCell<Ref> test_cells[8];
constexpr binding::Parameter once_cell_parameters[] = {binding::required("index"), binding::required("builder")};
binding::Result<Ref> once_cell(PyObject*, binding::Arguments& arguments) {
    Py_ssize_t index = PyLong_AsSsize_t(arguments[0]);
    if (index < 0 || index >= 8) {
        return PyErr_Occurred() ? binding::Error::fetch() : binding::value_error("index out of range");
    }
    PyObject* builder = arguments[1];
    DOVRANE_ASSIGN_OR_RETURN(const Ref* value,
                             test_cells[index].get_or_build([builder] { return binding::call(builder, {}); }));
    return *value;
}
constexpr binding::Function once_cell_function = {
    binding::signature("once_cell", once_cell_parameters),
    DOVRANE_DOC("once_cell(index, builder)", "The value of a test cell, built by builder() on first use."),
    once_cell,
};

// probe_record(value, *, documented): an instance of a class with or without
// a docstring, holding value.
struct ProbeRecord {
    Ref value;
    template <class Visit>
    void for_each_ref(Visit&& visit) {
        visit(value);
    }
};
PyGetSetDef probe_record_getters[] = {
    binding::getter<&ProbeRecord::value>("value"),
    {},
};
binding::Class<ProbeRecord> documented_record_class{"builtins.DocumentedRecord", "A record with a docstring.",
                                                    probe_record_getters};
binding::Class<ProbeRecord> undocumented_record_class{"builtins.UndocumentedRecord", nullptr, probe_record_getters};
constexpr binding::Parameter probe_record_parameters[] = {binding::required("value"),
                                                          binding::keyword_required("documented")};
binding::Result<Ref> probe_record(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(bool documented, arguments.convert(1, binding::to_flag));
    return binding::new_instance(documented ? documented_record_class : undocumented_record_class,
                                 ProbeRecord{Ref::borrow(arguments[0])});
}
constexpr binding::Function probe_record_function = {
    binding::signature("probe_record", probe_record_parameters),
    DOVRANE_DOC("probe_record(value, *, documented)",
                "An instance holding value, of a class with a docstring or of one without."),
    probe_record,
};


// [(name, [(key, json_text), ...]), ...]
binding::Result<Ref> applied_directive_list(const std::vector<schema::AppliedDirective>& directives) {
    std::vector<Ref> items;
    for (const auto& directive : directives) {
        std::vector<Ref> arguments;
        for (const auto& [key, value] : directive.arguments) {
            DOVRANE_ASSIGN_OR_RETURN(Ref key_text, binding::new_str(key));
            DOVRANE_ASSIGN_OR_RETURN(Ref value_text, binding::new_str(dovrane_core::json::to_json_text(value)));
            DOVRANE_ASSIGN_OR_RETURN(Ref pair, binding::new_tuple({key_text.get(), value_text.get()}));
            arguments.push_back(std::move(pair));
        }
        DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(directive.name));
        DOVRANE_ASSIGN_OR_RETURN(Ref argument_list, binding::new_list(arguments));
        DOVRANE_ASSIGN_OR_RETURN(Ref item, binding::new_tuple({name.get(), argument_list.get()}));
        items.push_back(std::move(item));
    }
    return binding::new_list(items);
}

// applied_directives(directives)
constexpr binding::Parameter applied_directives_parameters[] = {binding::required("directives")};
binding::Result<Ref> applied_directives(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(auto directives, type_info::extract_applied_directives(arguments[0]));
    return applied_directive_list(directives);
}
constexpr binding::Function applied_directives_function = {
    binding::signature("applied_directives", applied_directives_parameters),
    DOVRANE_DOC("applied_directives(directives)",
                "extract_applied_directives as [(name, [(key, json_text), ...]), ...]."),
    applied_directives,
};

constexpr binding::Parameter directive_check_parameters[] = {
    binding::required("directives"),
    binding::required("location"),
    binding::required("target"),
};

// check_directive_locations(directives, location, target)
binding::Result<Ref> check_directive_locations(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view location, arguments.convert(1, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view target, arguments.convert(2, binding::to_str));
    DOVRANE_TRY(type_info::validate_directive_locations(arguments[0], location, target));
    return binding::none();
}
constexpr binding::Function check_directive_locations_function = {
    binding::signature("check_directive_locations", directive_check_parameters),
    DOVRANE_DOC("check_directive_locations(directives, location, target)", "validate_directive_locations."),
    check_directive_locations,
};

// checked_directives(directives, location, target)
binding::Result<Ref> checked_directives(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view location, arguments.convert(1, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view target, arguments.convert(2, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(auto directives, type_info::checked_applied_directives(arguments[0], location, target));
    return applied_directive_list(directives);
}
constexpr binding::Function checked_directives_function = {
    binding::signature("checked_directives", directive_check_parameters),
    DOVRANE_DOC("checked_directives(directives, location, target)",
                "checked_applied_directives, shaped as applied_directives."),
    checked_directives,
};

// enum_definition(info): what the hidden definition of an enum's TypeInfo holds:
// (name, description, directives, [(name, graphql_name, description,
// deprecation_reason, directives), ...]), directives shaped as applied_directives.
constexpr binding::Parameter enum_definition_parameters[] = {binding::required("info")};
binding::Result<Ref> enum_definition(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(const schema::TypeDefinition* definition,
                             arguments.convert(0, type_info::type_definition_of));
    auto optional_text = [](const std::optional<std::string>& text) -> binding::Result<Ref> {
        return text ? binding::new_str(*text) : binding::Result<Ref>(binding::none());
    };
    std::vector<Ref> values;
    for (const auto& value : definition->enum_values) {
        DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(value.name));
        DOVRANE_ASSIGN_OR_RETURN(Ref graphql_name, optional_text(value.graphql_name));
        DOVRANE_ASSIGN_OR_RETURN(Ref description, optional_text(value.description));
        DOVRANE_ASSIGN_OR_RETURN(Ref deprecation_reason, optional_text(value.deprecation_reason));
        DOVRANE_ASSIGN_OR_RETURN(Ref directives, applied_directive_list(value.directives));
        DOVRANE_ASSIGN_OR_RETURN(Ref item, binding::new_tuple({name.get(), graphql_name.get(), description.get(),
                                                               deprecation_reason.get(), directives.get()}));
        values.push_back(std::move(item));
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(definition->name));
    DOVRANE_ASSIGN_OR_RETURN(Ref description, optional_text(definition->description));
    DOVRANE_ASSIGN_OR_RETURN(Ref directives, applied_directive_list(definition->directives));
    DOVRANE_ASSIGN_OR_RETURN(Ref value_list, binding::new_list(values));
    return binding::new_tuple({name.get(), description.get(), directives.get(), value_list.get()});
}
constexpr binding::Function enum_definition_function = {
    binding::signature("enum_definition", enum_definition_parameters),
    DOVRANE_DOC("enum_definition(info)",
                "(name, description, directives, [(name, graphql_name, description, deprecation_reason, "
                "directives), ...])."),
    enum_definition,
};

// type_definition(info): what the hidden definition of a type's TypeInfo holds
// beyond its FieldInfo objects: (name, description, one_of, directives,
// interfaces, [(field name, field directives), ...]), directives shaped as
// applied_directives.
binding::Result<Ref> type_definition(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(const schema::TypeDefinition* definition,
                             arguments.convert(0, type_info::type_definition_of));
    std::vector<Ref> fields;
    for (const auto& field : definition->fields) {
        DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(field.name));
        DOVRANE_ASSIGN_OR_RETURN(Ref directives, applied_directive_list(field.directives));
        DOVRANE_ASSIGN_OR_RETURN(Ref item, binding::new_tuple({name.get(), directives.get()}));
        fields.push_back(std::move(item));
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref name, binding::new_str(definition->name));
    DOVRANE_ASSIGN_OR_RETURN(Ref description, definition->description ? binding::new_str(*definition->description)
                                                                      : binding::Result<Ref>(binding::none()));
    DOVRANE_ASSIGN_OR_RETURN(Ref directives, applied_directive_list(definition->directives));
    DOVRANE_ASSIGN_OR_RETURN(Ref interfaces, binding::new_str_list(definition->interfaces));
    DOVRANE_ASSIGN_OR_RETURN(Ref field_list, binding::new_list(fields));
    return binding::new_tuple({name.get(), description.get(), binding::boolean(definition->one_of).get(),
                               directives.get(), interfaces.get(), field_list.get()});
}
constexpr binding::Function type_definition_function = {
    binding::signature("type_definition", enum_definition_parameters),
    DOVRANE_DOC("type_definition(info)",
                "(name, description, one_of, directives, interfaces, [(field name, field directives), ...])."),
    type_definition,
};

// directive_name_from_class_name(text)
constexpr binding::Parameter directive_name_parameters[] = {binding::required("text")};
binding::Result<Ref> directive_name_from_class_name(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view text, arguments.convert(0, binding::to_str));
    return binding::new_str(schema_directive_info::class_name_to_directive_name(text));
}
constexpr binding::Function directive_name_from_class_name_function = {
    binding::signature("directive_name_from_class_name", directive_name_parameters),
    DOVRANE_DOC("directive_name_from_class_name(text)", "class_name_to_directive_name."),
    directive_name_from_class_name,
};

// schema_directive_location(name): parse_location, as the location's wire name
// and its index.
constexpr binding::Parameter schema_directive_location_parameters[] = {binding::required("name")};
binding::Result<Ref> schema_directive_location(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(std::string_view name, arguments.convert(0, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(schema::SchemaDirectiveLocation location, schema_directive_info::parse_location(name));
    DOVRANE_ASSIGN_OR_RETURN(Ref wire_name, binding::new_str(schema::schema_directive_location_name(location)));
    DOVRANE_ASSIGN_OR_RETURN(Ref index, binding::new_uint(static_cast<std::uint64_t>(location)));
    return binding::new_tuple({wire_name.get(), index.get()});
}
constexpr binding::Function schema_directive_location_function = {
    binding::signature("schema_directive_location", schema_directive_location_parameters),
    DOVRANE_DOC("schema_directive_location(name)", "parse_location, as (wire name, index)."),
    schema_directive_location,
};

// unicode_version(): the Unicode version of the core's case mappings.
binding::Result<Ref> unicode_version(PyObject*, binding::Arguments&) {
    return binding::new_str(dovrane_core::naming::unicode_version());
}
constexpr binding::Function unicode_version_function = {
    binding::signature("unicode_version"),
    DOVRANE_DOC("unicode_version()", "The Unicode version of the core's case mappings."),
    unicode_version,
};

// Resolver binding, shown through the objects the module exposes:
// (ArgumentInfo list, parent, info, value, applied directives per argument as
// [(name, [(key, json text), ...]), ...]).
binding::Result<Ref> classified_summary(resolver_binding::ClassifiedParameters classified) {
    std::vector<Ref> infos;
    std::vector<Ref> directive_lists;
    for (auto& argument : classified.arguments) {
        DOVRANE_ASSIGN_OR_RETURN(Ref directive_list, applied_directive_list(argument.directives));
        directive_lists.push_back(std::move(directive_list));
        DOVRANE_ASSIGN_OR_RETURN(type_info::PyArgumentInfo converted, type_info::convert_argument(std::move(argument)));
        DOVRANE_ASSIGN_OR_RETURN(Ref info, binding::new_instance(type_info::argument_info_class, std::move(converted)));
        infos.push_back(std::move(info));
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref arguments, binding::new_list(infos));
    DOVRANE_ASSIGN_OR_RETURN(Ref directives, binding::new_list(directive_lists));
    DOVRANE_ASSIGN_OR_RETURN(Ref parent, binding::detail::to_python(classified.parent_parameter));
    DOVRANE_ASSIGN_OR_RETURN(Ref info, binding::detail::to_python(classified.info_parameter));
    DOVRANE_ASSIGN_OR_RETURN(Ref value, binding::detail::to_python(classified.value_parameter));
    return binding::new_tuple({arguments.get(), parent.get(), info.get(), value.get(), directives.get()});
}

// bind_resolver(cls, resolver)
constexpr binding::Parameter bind_resolver_parameters[] = {binding::required("cls"), binding::required("resolver")};
binding::Result<Ref> bind_resolver(PyObject*, binding::Arguments& arguments) {
    DOVRANE_ASSIGN_OR_RETURN(resolver_binding::ClassifiedParameters classified,
                             resolver_binding::bind_resolver_arguments(arguments[0], arguments[1]));
    return classified_summary(std::move(classified));
}
constexpr binding::Function bind_resolver_function = {
    binding::signature("bind_resolver", bind_resolver_parameters),
    DOVRANE_DOC("bind_resolver(cls, resolver)",
                "(ArgumentInfo list, parent, info, value, directives per argument) of a resolver."),
    bind_resolver,
};


struct Registration {
    const char* name;
    PyMethodDef* definition;
};

const Registration registrations[] = {
    {"json_text", &binding::method_def<json_text_function>},
    {"default_literal", &binding::method_def<default_literal_function>},
    {"sample_type_info", &binding::method_def<sample_type_info_function>},
    {"definition_summary", &binding::method_def<definition_summary_function>},
    {"sample_schema", &binding::method_def<sample_schema_function>},
    {"document_identity", &binding::method_def<document_identity_function>},
    {"type_chain", &binding::method_def<type_chain_function>},
    {"resolve_type_text", &binding::method_def<resolve_type_text_function>},
    {"named_type_name", &binding::method_def<named_type_name_function>},
    {"unwrap_annotated", &binding::method_def<unwrap_annotated_function>},
    {"is_maybe_annotation", &binding::method_def<is_maybe_annotation_function>},
    {"is_union_origin", &binding::method_def<is_union_origin_function>},
    {"find_marker", &binding::method_def<find_marker_function>},
    {"lazy_type_class", &binding::method_def<lazy_type_class_function>},
    {"seed_lazy_namespace", &binding::method_def<seed_lazy_namespace_function>},
    {"normalize_lazy_member", &binding::method_def<normalize_lazy_member_function>},
    {"union_definition", &binding::method_def<union_definition_function>},
    {"raise_core_error", &binding::method_def<raise_core_error_function>},
    {"raise_schema_error", &binding::method_def<raise_schema_error_function>},
    {"probe", &binding::method_def<probe_function>},
    {"probe_range", &binding::method_def<probe_range_function>},
    {"probe_keywords", &binding::method_def<probe_keywords_function>},
    {"probe_nothing", &binding::method_def<probe_nothing_function>},
    {"probe_sequence", &binding::method_def<probe_sequence_function>},
    {"probe_instance", &binding::method_def<probe_instance_function>},
    {"probe_dict", &binding::method_def<probe_dict_function>},
    {"probe_type", &binding::method_def<probe_type_function>},
    {"fail", &binding::method_def<fail_function>},
    {"once_cell", &binding::method_def<once_cell_function>},
    {"probe_record", &binding::method_def<probe_record_function>},
    {"bind_resolver", &binding::method_def<bind_resolver_function>},
    {"applied_directives", &binding::method_def<applied_directives_function>},
    {"check_directive_locations", &binding::method_def<check_directive_locations_function>},
    {"checked_directives", &binding::method_def<checked_directives_function>},
    {"enum_definition", &binding::method_def<enum_definition_function>},
    {"type_definition", &binding::method_def<type_definition_function>},
    {"directive_name_from_class_name", &binding::method_def<directive_name_from_class_name_function>},
    {"schema_directive_location", &binding::method_def<schema_directive_location_function>},
    {"unicode_version", &binding::method_def<unicode_version_function>},
};

binding::InternedName dovrane_module_name{"_dovrane"};

binding::Status adopt(PyObject* dovrane, const char* name, binding::OnceCell<Ref>& cell) {
    Ref object = Ref::steal(PyObject_GetAttrString(dovrane, name));
    if (!object) {
        return binding::Error::fetch();
    }
    cell.seed(std::move(object));
    return {};
}

binding::Status module_body(PyObject* module) {
    DOVRANE_ASSIGN_OR_RETURN(Ref dovrane, binding::import_module(dovrane_module_name));
    DOVRANE_TRY(adopt(dovrane.get(), "TypeInfo", type_info::type_info_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "FieldInfo", type_info::field_info_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "ArgumentInfo", type_info::argument_info_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "EnumValueInfo", type_info::enum_value_info_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "GraphQLTypeInfo", type_info::graphql_type_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "UnionInfo", union_info::union_info_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "CompiledSchema", compiled_schema::compiled_schema_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "ParsedDocument", validation::parsed_document_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "PersistedQueryResult", persisted_query::persisted_query_result_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "SchemaDirectiveInfo", schema_directive_info::schema_directive_info_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "DirectiveFieldInfo", schema_directive_info::directive_field_info_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "OperationDirectiveInfo",
                      operation_directive_info::operation_directive_info_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "SchemaError", type_info::schema_error_type_cell));
    DOVRANE_TRY(adopt(dovrane.get(), "GraphQLError", error::graphql_error_type_cell));
    for (const Registration& registration : registrations) {
        DOVRANE_ASSIGN_OR_RETURN(Ref function, binding::new_function(*registration.definition, module));
        if (PyModule_AddObjectRef(module, registration.name, function.get()) < 0) {
            return binding::Error::fetch();
        }
    }
    return {};
}

int exec_module(PyObject* module) noexcept {
    try {
        binding::Status status = module_body(module);
        if (!status.ok()) {
            status.take_error().restore();
            return -1;
        }
        return 0;
    } catch (...) {
        binding::set_error_from_current_exception();
        return -1;
    }
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_dovrane_testing", "Test fixture for dovrane's native module.", 0, nullptr,
    module_slots, nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace _dovrane::testing

PyMODINIT_FUNC PyInit__dovrane_testing() { return PyModuleDef_Init(&_dovrane::testing::module_def); }
