// The compiled-schema handle.
//
// Python equivalent:
//
//     def compile_schema(*, query_type_name: str, mutation_type_name: str | None = None,
//                        subscription_type_name: str | None = None, types: Sequence[TypeInfo],
//                        unions: Sequence[UnionInfo], directives: Sequence[OperationDirectiveInfo],
//                        schema_directives: Sequence[SchemaDirectiveInfo], scalar_names: Sequence[str],
//                        scalar_directives: Sequence[tuple[str, Iterable]] = (),
//                        scalar_descriptions: Sequence[tuple[str, str | None]] = (),
//                        scalar_specified_by_urls: Sequence[tuple[str, str | None]] = (),
//                        auto_camel_case: bool = True,
//                        schema_applied_directives: Iterable | None = None) -> CompiledSchema: ...
//
//     @final
//     class CompiledSchema:              # opaque; built only by this module
//         scalar_names: list[str]        # read-only; a new list on every read, sorted by bytes
//         scalar_descriptions: dict[str, str]  # read-only; a new dict on every read
#include "compiled_schema.hpp"

#include <array>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "convert.hpp"
#include "dovrane_core/validation.hpp"
#include "objects.hpp"
#include "operation_directive_info.hpp"
#include "schema_directive_info.hpp"
#include "type_info.hpp"
#include "union_info.hpp"

namespace _dovrane::compiled_schema {

namespace {

using binding::Ref;
namespace schema = dovrane_core::schema;

template <class T>
using NameMap = std::map<std::string, T, std::less<>>;

constexpr const char compiled_schema_doc[] =
    "An opaque handle to a compiled schema.\n"
    "\n"
    "Python holds it and hands it back to the request functions (validate_query,\n"
    "validate_document, resolve_persisted_query, render_sdl); it is not meant to\n"
    "be inspected field by field. It also owns the schema's persisted-query cache.";

constexpr const char scalar_names_doc[] =
    "Every scalar of the schema: the registered ones plus the built-in library\n"
    "scalars (Date, DateTime, Decimal, Time, UUID) that the schema references,\n"
    "which the Python side does not know about.\n"
    "\n"
    "The host's introspection reads it, so that introspection reports exactly the\n"
    "scalars that the SDL declares. The list is sorted by the names' bytes, so\n"
    "that it reads in the same order on every run.";

binding::Result<Ref> scalar_names(const PyCompiledSchema& handle) {
    // The set is ordered by std::string's comparison, which compares bytes as
    // unsigned: already the order the list promises.
    return binding::new_str_list(handle.schema.scalar_names);
}

binding::Result<Ref> scalar_descriptions(const PyCompiledSchema& handle) {
    DOVRANE_ASSIGN_OR_RETURN(Ref dict, binding::new_dict());
    for (const auto& [name, description] : handle.schema.scalar_descriptions) {
        DOVRANE_ASSIGN_OR_RETURN(Ref key, binding::new_str(name));
        DOVRANE_ASSIGN_OR_RETURN(Ref value, binding::new_str(description));
        DOVRANE_TRY(binding::dict_set(dict.get(), key.get(), value.get()));
    }
    return dict;
}

PyGetSetDef compiled_schema_getters[] = {
    binding::computed_getter<PyCompiledSchema, &scalar_names>("scalar_names", scalar_names_doc),
    binding::computed_getter<PyCompiledSchema, &scalar_descriptions>("scalar_descriptions"),
    {},
};


// ---------------------------------------------------------------------------
// compile_schema

// The library scalars added to a schema that references them, in this order.
struct BuiltinScalar {
    std::string_view name;
    std::string_view description;
};
constexpr std::array<BuiltinScalar, 5> builtin_scalars = {{
    {"Date", "Date (isoformat)"},
    {"DateTime", "Date with time (isoformat)"},
    {"Decimal", "Decimal (fixed-point)"},
    {"Time", "Time (isoformat)"},
    {"UUID", "UUID"},
}};

// A sequence parameter item by item (a bare str and None are refused).
template <class Visit>
binding::Status each_item(PyObject* object, Visit&& visit) {
    DOVRANE_TRY(binding::to_sequence(object));
    return binding::for_each_item(object, std::forward<Visit>(visit));
}

// The definitions that info objects carry, re-keyed by name: the last wins.
template <class Definition, auto DefinitionOf>
binding::Result<NameMap<Definition>> definitions_by_name(PyObject* object) {
    NameMap<Definition> definitions;
    DOVRANE_TRY(each_item(object, [&](PyObject* item) -> binding::Status {
        DOVRANE_ASSIGN_OR_RETURN(const Definition* definition, DefinitionOf(item));
        definitions.insert_or_assign(definition->name, *definition);
        return {};
    }));
    return definitions;
}

// A (name, second) pair: a tuple of exactly two items whose first is a str.
struct NamedPair {
    std::string name;
    Ref second;
};

binding::Result<std::vector<NamedPair>> named_pairs(PyObject* object) {
    std::vector<NamedPair> pairs;
    DOVRANE_TRY(each_item(object, [&](PyObject* item) -> binding::Status {
        if (!PyTuple_Check(item) || PyTuple_Size(item) != 2) {
            return binding::conversion_error("a (str, value) tuple", item);
        }
        PyObject* name = PyTuple_GetItem(item, 0);  // borrowed; the tuple is immutable and held
        DOVRANE_ASSIGN_OR_RETURN(std::string_view name_text, binding::to_str(name));
        pairs.push_back({std::string(name_text), Ref::borrow(PyTuple_GetItem(item, 1))});
        return {};
    }));
    return pairs;
}

// Pairs whose second item is a str or None; a None drops the pair, and a
// later text for a name replaces an earlier one.
binding::Result<NameMap<std::string>> text_pairs(PyObject* object) {
    DOVRANE_ASSIGN_OR_RETURN(std::vector<NamedPair> pairs, named_pairs(object));
    NameMap<std::string> texts;
    for (NamedPair& pair : pairs) {
        DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> text, binding::to_optional_str(pair.second.get()));
        if (text) {
            texts.insert_or_assign(std::move(pair.name), std::string(*text));
        }
    }
    return texts;
}

binding::Result<Ref> no_pairs() {
    Ref empty = Ref::steal(PyTuple_New(0));
    if (!empty) {
        return binding::Error::fetch();
    }
    return empty;
}

// Every named type that a field, a field argument, an operation directive's
// argument or a schema directive's field refers to: a library scalar that
// only a directive names must still be declared, or the SDL would name an
// undeclared type.
std::set<std::string, std::less<>> referenced_names(const schema::CompiledSchema& compiled) {
    std::set<std::string, std::less<>> names = schema::referenced_type_names(compiled.types);
    for (const auto& [name, directive] : compiled.directives) {
        for (const auto& argument : directive.arguments) {
            names.insert(argument.arg_type.named_type());
        }
    }
    for (const auto& [name, directive] : compiled.schema_directives) {
        for (const auto& field : directive.fields) {
            names.insert(field.field_type.named_type());
        }
    }
    return names;
}

void add_builtin_scalars(schema::CompiledSchema& compiled) {
    std::set<std::string, std::less<>> referenced = referenced_names(compiled);
    for (const BuiltinScalar& builtin : builtin_scalars) {
        if (!referenced.contains(builtin.name) || compiled.types.contains(builtin.name) ||
            compiled.unions.contains(builtin.name)) {
            continue;
        }
        // A scalar the caller registered keeps the caller's description, or none.
        if (compiled.scalar_names.emplace(builtin.name).second) {
            compiled.scalar_descriptions.insert_or_assign(std::string(builtin.name), std::string(builtin.description));
        }
    }
}

constexpr binding::Parameter compile_schema_parameters[] = {
    binding::keyword_required("query_type_name"),
    binding::keyword_optional("mutation_type_name"),
    binding::keyword_optional("subscription_type_name"),
    binding::keyword_required("types"),
    binding::keyword_required("unions"),
    binding::keyword_required("directives"),
    binding::keyword_required("schema_directives"),
    binding::keyword_required("scalar_names"),
    binding::keyword_optional("scalar_directives"),
    binding::keyword_optional("scalar_descriptions"),
    binding::keyword_optional("scalar_specified_by_urls"),
    binding::keyword_optional("auto_camel_case"),
    binding::keyword_optional("schema_applied_directives"),
};

std::optional<std::string> owned(std::optional<std::string_view> text) {
    return text ? std::optional<std::string>(*text) : std::nullopt;
}

binding::Result<Ref> compile_schema(PyObject*, binding::Arguments& arguments) {
    schema::CompiledSchema compiled;
    // Every argument is converted, in order, before any compilation step; the
    // definitions are copied as they are read (copying runs no Python code).
    DOVRANE_ASSIGN_OR_RETURN(std::string_view query_type_name, arguments.convert(0, binding::to_str));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> mutation_type_name,
                             arguments.convert(1, binding::to_optional_str));
    DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> subscription_type_name,
                             arguments.convert(2, binding::to_optional_str));
    DOVRANE_ASSIGN_OR_RETURN(compiled.types, (arguments.convert(3, definitions_by_name<schema::TypeDefinition,
                                                                                       type_info::type_definition_of>)));
    DOVRANE_ASSIGN_OR_RETURN(compiled.unions, (arguments.convert(4, definitions_by_name<schema::UnionDefinition,
                                                                                        union_info::union_definition_of>)));
    DOVRANE_ASSIGN_OR_RETURN(
        compiled.directives,
        (arguments.convert(5, definitions_by_name<schema::OperationDirectiveDefinition,
                                                  operation_directive_info::operation_directive_definition_of>)));
    DOVRANE_ASSIGN_OR_RETURN(
        compiled.schema_directives,
        (arguments.convert(6, definitions_by_name<schema::SchemaDirectiveDefinition,
                                                  schema_directive_info::schema_directive_definition_of>)));
    DOVRANE_ASSIGN_OR_RETURN(std::vector<std::string> scalar_names, arguments.convert(7, binding::to_str_list));
    DOVRANE_ASSIGN_OR_RETURN(Ref empty, no_pairs());
    DOVRANE_ASSIGN_OR_RETURN(std::vector<NamedPair> scalar_directives,
                             arguments.convert(8, [&](PyObject* object) {
                                 return named_pairs(object != nullptr ? object : empty.get());
                             }));
    DOVRANE_ASSIGN_OR_RETURN(compiled.scalar_descriptions, arguments.convert(9, [&](PyObject* object) {
        return text_pairs(object != nullptr ? object : empty.get());
    }));
    DOVRANE_ASSIGN_OR_RETURN(compiled.scalar_specified_by_urls, arguments.convert(10, [&](PyObject* object) {
        return text_pairs(object != nullptr ? object : empty.get());
    }));
    DOVRANE_ASSIGN_OR_RETURN(compiled.auto_camel_case, arguments.convert_or(11, binding::to_flag, true));
    // Taken as it is: only the directive steps look at it.
    Ref schema_applied_directives = Ref::borrow(arguments[12]);

    compiled.query_type_name = std::string(query_type_name);
    compiled.mutation_type_name = owned(mutation_type_name);
    compiled.subscription_type_name = owned(subscription_type_name);

    // Each directives object is read once, so a generator keeps its directives.
    for (NamedPair& pair : scalar_directives) {
        DOVRANE_ASSIGN_OR_RETURN(std::vector<schema::AppliedDirective> applied,
                                 type_info::checked_applied_directives(pair.second.get(), "SCALAR", pair.name));
        compiled.scalar_directives.insert_or_assign(std::move(pair.name), std::move(applied));
    }
    if (schema_applied_directives && schema_applied_directives.get() != Py_None) {
        DOVRANE_ASSIGN_OR_RETURN(compiled.schema_applied_directives,
                                 type_info::checked_applied_directives(schema_applied_directives.get(), "SCHEMA",
                                                                       "schema"));
    }

    compiled.scalar_names.insert(scalar_names.begin(), scalar_names.end());
    add_builtin_scalars(compiled);
    if (auto problem = schema::validate_schema_shape(compiled.types, compiled.unions, compiled.scalar_names)) {
        return type_info::SchemaError::new_err(std::move(*problem));
    }
    return new_compiled_schema(std::move(compiled));
}

}  // namespace

binding::Class<PyCompiledSchema> compiled_schema_class{"builtins.CompiledSchema", compiled_schema_doc,
                                                       compiled_schema_getters};

constexpr binding::Function compile_schema_function = {
    binding::signature("compile_schema", compile_schema_parameters),
    DOVRANE_DOC("compile_schema(*, query_type_name, mutation_type_name=None, subscription_type_name=None, types, "
                "unions, directives, schema_directives, scalar_names, scalar_directives=..., "
                "scalar_descriptions=..., scalar_specified_by_urls=..., auto_camel_case=True, "
                "schema_applied_directives=None)",
                "Assemble a CompiledSchema from what the host's graph walker has already\n"
                "discovered: the info objects of every reachable type, union and directive,\n"
                "plus the resolved scalar names.\n"
                "\n"
                "It only re-keys by name the definitions those objects carry and derives\n"
                "nothing anew from the Python classes. Beyond that it checks the locations of\n"
                "the scalar and schema directives, adds the library scalars (Date, DateTime,\n"
                "Decimal, Time, UUID) the schema references, runs the shape check and gives the\n"
                "schema its own persisted-query cache."),
    compile_schema,
};

binding::Result<Ref> new_compiled_schema(dovrane_core::schema::CompiledSchema schema) {
    // Complete from here on: what validation asks of it is indexed once.
    dovrane_core::validation::index_schema(schema);
    return binding::new_instance(compiled_schema_class, PyCompiledSchema{std::move(schema)});
}

binding::Result<const dovrane_core::schema::CompiledSchema*> compiled_schema_of(PyObject* object) {
    DOVRANE_ASSIGN_OR_RETURN(PyCompiledSchema * handle, binding::to_instance(compiled_schema_class, object));
    return &handle->schema;
}

}  // namespace _dovrane::compiled_schema
