// _dovrane_testing: a test fixture, not part of the product.
//
// Built only with DOVRANE_BUILD_TESTS and never installed. It exposes the
// module's internals that have no Python entry of their own to tests/, one
// source file per thing probed (probes.hpp lists them). It compiles the same
// sources as `_dovrane`; at import it adopts `_dovrane`'s classes and
// exception types, so the objects it makes and the errors it raises are those
// of `_dovrane`.
#include <Python.h>

#include <span>
#include <utility>

#include "binding/cells.hpp"
#include "binding/errors.hpp"
#include "binding/objects.hpp"
#include "binding/refs.hpp"
#include "src/compiled_schema.hpp"
#include "src/error.hpp"
#include "src/operation_directive_info.hpp"
#include "src/parsed_document.hpp"
#include "src/persisted_query.hpp"
#include "src/schema_directive_info.hpp"
#include "src/type_info.hpp"
#include "src/union_info.hpp"
#include "testing/probes.hpp"

namespace _dovrane::testing {

namespace {

using binding::Ref;

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
    DOVRANE_TRY(adopt(dovrane.get(), "ParsedDocument", parsed_document::parsed_document_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "PersistedQueryResult", persisted_query::persisted_query_result_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "SchemaDirectiveInfo", schema_directive_info::schema_directive_info_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "DirectiveFieldInfo", schema_directive_info::directive_field_info_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "OperationDirectiveInfo",
                      operation_directive_info::operation_directive_info_class.type));
    DOVRANE_TRY(adopt(dovrane.get(), "SchemaError", error::schema_error_type_cell));
    DOVRANE_TRY(adopt(dovrane.get(), "GraphQLError", error::graphql_error_type_cell));
    for (std::span<const Registration> part : {binding_probes(), value_probes(), error_probes(), annotation_probes(),
                                               schema_fixtures(), description_probes()}) {
        for (const Registration& registration : part) {
            DOVRANE_ASSIGN_OR_RETURN(Ref function, binding::new_function(*registration.definition, module));
            if (PyModule_AddObjectRef(module, registration.name, function.get()) < 0) {
                return binding::Error::fetch();
            }
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
