// The compiled-schema handle.
//
// Python equivalent:
//
//     @final
//     class CompiledSchema:              # opaque; built only by this module
//         scalar_names: list[str]        # read-only; a new list on every read, sorted by bytes
//         scalar_descriptions: dict[str, str]  # read-only; a new dict on every read
#include "compiled_schema.hpp"

#include <utility>

#include "objects.hpp"

namespace _dovrane::compiled_schema {

namespace {

using binding::Ref;

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

}  // namespace

binding::Class<PyCompiledSchema> compiled_schema_class{"builtins.CompiledSchema", compiled_schema_doc,
                                                       compiled_schema_getters};

binding::Result<Ref> new_compiled_schema(dovrane_core::schema::CompiledSchema schema) {
    return binding::new_instance(compiled_schema_class, PyCompiledSchema{std::move(schema)});
}

binding::Result<const dovrane_core::schema::CompiledSchema*> compiled_schema_of(PyObject* object) {
    DOVRANE_ASSIGN_OR_RETURN(PyCompiledSchema * handle, binding::to_instance(compiled_schema_class, object));
    return &handle->schema;
}

}  // namespace _dovrane::compiled_schema
