// _dovrane: the native engine of dovrane.
//
// Multi-phase initialisation with a single exec step, which registers every
// name of the module from one table, in order, and mirrors them in `__all__`.
// Nothing is imported from Python here: caches fill on first use.
#include <Python.h>

#include <atomic>
#include <cstdint>

#include "binding/arguments.hpp"
#include "binding/classes.hpp"
#include "binding/errors.hpp"
#include "binding/objects.hpp"
#include "src/compiled_schema.hpp"
#include "src/error.hpp"
#include "src/lowering.hpp"
#include "src/operation_directive_info.hpp"
#include "src/parsed_document.hpp"
#include "src/persisted_query.hpp"
#include "src/query_document.hpp"
#include "src/schema_directive_info.hpp"
#include "src/sdl.hpp"
#include "src/type_info.hpp"
#include "src/union_info.hpp"
#include "src/validation.hpp"

namespace _dovrane {

namespace {

using binding::Ref;

struct Registration {
    const char* name;
    binding::Result<Ref> (*make)(PyObject* module);
};

template <auto& Cls>
binding::Result<Ref> make_class(PyObject*) {
    return binding::class_object(Cls);
}

template <const binding::Function& F>
binding::Result<Ref> make_function(PyObject* module) {
    return binding::new_function(binding::method_def<F>, module);
}

// Every name of the module, in registration order; `__all__` follows it.
// Functions are rows `{"name", make_function<the_function>}`.
constexpr Registration registrations[] = {
    {"process_type", make_function<type_info::process_type_function>},
    {"process_enum", make_function<type_info::process_enum_function>},
    {"TypeInfo", make_class<type_info::type_info_class>},
    {"FieldInfo", make_class<type_info::field_info_class>},
    {"ArgumentInfo", make_class<type_info::argument_info_class>},
    {"EnumValueInfo", make_class<type_info::enum_value_info_class>},
    {"GraphQLTypeInfo", make_class<type_info::graphql_type_class>},
    {"SchemaError", [](PyObject*) { return error::schema_error_type(); }},
    {"GraphQLError", [](PyObject*) { return error::graphql_error_type(); }},
    {"describe_union", make_function<union_info::describe_union_function>},
    {"UnionInfo", make_class<union_info::union_info_class>},
    {"describe_schema_directive", make_function<schema_directive_info::describe_schema_directive_function>},
    {"SchemaDirectiveInfo", make_class<schema_directive_info::schema_directive_info_class>},
    {"DirectiveFieldInfo", make_class<schema_directive_info::directive_field_info_class>},
    {"lower_query", make_function<lowering::lower_query_function>},
    {"LoweredField", make_class<lowering::lowered_field_class>},
    {"LoweredDirective", make_class<lowering::lowered_directive_class>},
    {"describe_operation_directive", make_function<operation_directive_info::describe_operation_directive_function>},
    {"OperationDirectiveInfo", make_class<operation_directive_info::operation_directive_info_class>},
    {"compile_schema", make_function<compiled_schema::compile_schema_function>},
    {"CompiledSchema", make_class<compiled_schema::compiled_schema_class>},
    {"validate_query", make_function<validation::validate_query_function>},
    {"resolve_persisted_query", make_function<persisted_query::resolve_persisted_query_function>},
    {"lower_document", make_function<lowering::lower_document_function>},
    {"parse_query", make_function<validation::parse_query_function>},
    {"validate_document", make_function<validation::validate_document_function>},
    {"ParsedDocument", make_class<parsed_document::parsed_document_class>},
    {"PersistedQueryResult", make_class<persisted_query::persisted_query_result_class>},
    {"render_sdl", make_function<sdl::render_sdl_function>},
    {"parse_query_document", make_function<query_document::parse_query_document_function>},
    {"QueryDocument", make_class<query_document::query_document_class>},
    {"QueryOperation", make_class<query_document::query_operation_class>},
    {"QueryFragment", make_class<query_document::query_fragment_class>},
    {"QuerySelection", make_class<query_document::query_selection_class>},
    {"QueryVariableDefinition", make_class<query_document::query_variable_definition_class>},
};

binding::Status add_name(PyObject* module, const char* name, Ref object) {
    PyObject* dict = PyModule_GetDict(module);  // borrowed, never null for a module
    Ref all = Ref::borrow(PyDict_GetItemString(dict, "__all__"));
    if (!all) {
        all = Ref::steal(PyList_New(0));
        if (!all || PyModule_AddObjectRef(module, "__all__", all.get()) < 0) {
            return binding::Error::fetch();
        }
    }
    DOVRANE_ASSIGN_OR_RETURN(Ref text, binding::new_str(name));
    if (PyList_Append(all.get(), text.get()) < 0 || PyModule_AddObjectRef(module, name, object.get()) < 0) {
        return binding::Error::fetch();
    }
    return {};
}

// The cells are process-wide, so one interpreter owns the module: the first
// to import it.
std::atomic<std::int64_t> owning_interpreter{-1};

binding::Status check_interpreter() {
    std::int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (current < 0) {
        return binding::Error::fetch();
    }
    std::int64_t expected = -1;
    if (owning_interpreter.compare_exchange_strong(expected, current) || expected == current) {
        return {};
    }
    return binding::import_error("_dovrane does not support sub-interpreters: it is loaded in another interpreter");
}

binding::Status module_body(PyObject* module) {
    DOVRANE_TRY(check_interpreter());
    for (const Registration& registration : registrations) {
        DOVRANE_ASSIGN_OR_RETURN(Ref object, registration.make(module));
        DOVRANE_TRY(add_name(module, registration.name, std::move(object)));
    }
    return {};
}

int exec_module(PyObject* module) noexcept {
    try {
        if (module == nullptr) {
            if (PyErr_Occurred() == nullptr) {
                PyErr_SetString(PyExc_SystemError, "no module object was passed to the exec step");
            }
            return -1;
        }
        if (!PyModule_Check(module)) {
            binding::conversion_error("module", module).restore();
            return -1;
        }
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
    PyModuleDef_HEAD_INIT, "_dovrane", "", 0, nullptr, module_slots, nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace _dovrane

PyMODINIT_FUNC PyInit__dovrane() { return PyModuleDef_Init(&_dovrane::module_def); }
