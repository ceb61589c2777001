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
//     # The directives of scalar_directives and schema_applied_directives are
//     # directive instances only: TypeError naming the parameter and the item.
//
//     @final
//     class CompiledSchema:              # opaque; built only by this module
//         scalar_names: list[str]        # read-only; a new list on every read, sorted by bytes
//         scalar_descriptions: dict[str, str]  # read-only; a new dict on every read
#include "src/compiled_schema.hpp"

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/convert.hpp"
#include "binding/objects.hpp"
#include "dovrane_core/validation.hpp"
#include "src/applied_directives.hpp"
#include "src/error.hpp"
#include "src/operation_directive_info.hpp"
#include "src/schema_directive_info.hpp"
#include "src/type_info.hpp"
#include "src/union_info.hpp"

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

// "item 3: ", the place of a sequence item in a conversion message.
std::string item_place(std::size_t index) { return "item " + std::to_string(index) + ": "; }

binding::Result<std::vector<NamedPair>> named_pairs(PyObject* object) {
    std::vector<NamedPair> pairs;
    DOVRANE_TRY(each_item(object, [&](PyObject* item) -> binding::Status {
        if (!PyTuple_Check(item) || PyTuple_Size(item) != 2) {
            return binding::conversion_error_at(item_place(pairs.size()), "a (str, value) tuple", item);
        }
        PyObject* name = PyTuple_GetItem(item, 0);  // borrowed; the tuple is immutable and held
        if (!PyUnicode_Check(name)) {
            return binding::conversion_error_at(item_place(pairs.size()), "a str name", name);
        }
        DOVRANE_ASSIGN_OR_RETURN(std::string_view name_text, binding::to_str(name));
        pairs.push_back({std::string(name_text), Ref::borrow(PyTuple_GetItem(item, 1))});
        return {};
    }));
    return pairs;
}

// (scalar name, directive instances) pairs, each pair's directives read once
// into a list.
binding::Result<std::vector<NamedPair>> directive_pairs(PyObject* object) {
    DOVRANE_ASSIGN_OR_RETURN(std::vector<NamedPair> pairs, named_pairs(object));
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        DOVRANE_ASSIGN_OR_RETURN(pairs[i].second, applied_directives::directive_instance_list(
                                                      pairs[i].second.get(), item_place(i), "directive"));
    }
    return pairs;
}

// Pairs whose second item is a str or None; a None drops the pair, and a
// later text for a name replaces an earlier one.
binding::Result<NameMap<std::string>> text_pairs(PyObject* object) {
    DOVRANE_ASSIGN_OR_RETURN(std::vector<NamedPair> pairs, named_pairs(object));
    NameMap<std::string> texts;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
        NamedPair& pair = pairs[i];
        if (pair.second.get() != Py_None && !PyUnicode_Check(pair.second.get())) {
            return binding::conversion_error_at(item_place(i), "a str or None", pair.second.get());
        }
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
                                 return directive_pairs(object != nullptr ? object : empty.get());
                             }));
    DOVRANE_ASSIGN_OR_RETURN(compiled.scalar_descriptions, arguments.convert(9, [&](PyObject* object) {
        return text_pairs(object != nullptr ? object : empty.get());
    }));
    DOVRANE_ASSIGN_OR_RETURN(compiled.scalar_specified_by_urls, arguments.convert(10, [&](PyObject* object) {
        return text_pairs(object != nullptr ? object : empty.get());
    }));
    DOVRANE_ASSIGN_OR_RETURN(compiled.auto_camel_case, arguments.convert_or(11, binding::to_flag, true));
    // None, or directive instances, read once.
    DOVRANE_ASSIGN_OR_RETURN(Ref schema_applied_directives, arguments.convert(12, [](PyObject* object) {
        return object == nullptr || object == Py_None ? binding::Result<Ref>(Ref())
                                                      : applied_directives::directive_instance_list(object, {}, "item");
    }));

    compiled.query_type_name = std::string(query_type_name);
    compiled.mutation_type_name = owned(mutation_type_name);
    compiled.subscription_type_name = owned(subscription_type_name);

    // Each directives object was read once, so a generator keeps its directives.
    for (NamedPair& pair : scalar_directives) {
        DOVRANE_ASSIGN_OR_RETURN(
            std::vector<schema::AppliedDirective> applied,
            applied_directives::checked_applied_directives(pair.second.get(), "SCALAR", pair.name));
        compiled.scalar_directives.insert_or_assign(std::move(pair.name), std::move(applied));
    }
    if (schema_applied_directives) {
        DOVRANE_ASSIGN_OR_RETURN(compiled.schema_applied_directives,
                                 applied_directives::checked_applied_directives(schema_applied_directives.get(),
                                                                                "SCHEMA", "schema"));
    }

    compiled.scalar_names.insert(scalar_names.begin(), scalar_names.end());
    schema::add_library_scalars(compiled);
    if (auto problem = schema::validate_schema_shape(compiled)) {
        return error::SchemaError::new_err(std::move(*problem));
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
