// The module's errors.
//
// Python equivalent:
//
//     class GraphQLError(Exception): ...
//     class SchemaError(Exception): ...
#include "src/error.hpp"

#include <string>
#include <utility>

#include "binding/cells.hpp"
#include "binding/objects.hpp"
#include "src/host_names.hpp"

namespace _dovrane::error {

namespace {

using binding::Ref;

constexpr const char graphql_error_doc[] =
    "Base exception for GraphQL errors shaped as in the GraphQL specification\n"
    "(message, locations, path, extensions).\n"
    "\n"
    "dovrane._error.GraphQLError subclasses it in Python with the structured\n"
    "fields; it is the base shared with the errors raised natively while\n"
    "parsing and validating.";

binding::Result<Ref> locations_list(const std::vector<dovrane_core::error::Location>& locations) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(locations.size())));
    if (!list) {
        return binding::Error::fetch();
    }
    for (std::size_t i = 0; i < locations.size(); ++i) {
        DOVRANE_ASSIGN_OR_RETURN(Ref line, binding::new_uint(locations[i].line));
        DOVRANE_ASSIGN_OR_RETURN(Ref column, binding::new_uint(locations[i].column));
        DOVRANE_ASSIGN_OR_RETURN(Ref pair, binding::new_tuple({line.get(), column.get()}));
        PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), pair.release());  // steals
    }
    return list;
}

binding::Result<Ref> host_exception(const dovrane_core::error::GraphQLError& error) {
    DOVRANE_ASSIGN_OR_RETURN(Ref module, binding::import_module(names::dovrane_error_module));
    DOVRANE_ASSIGN_OR_RETURN(Ref error_class, binding::getattr(module.get(), names::graphql_error_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref error_codes, binding::getattr(module.get(), names::error_code_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref wire_name,
                             binding::new_str(dovrane_core::error::error_code_wire_name(error.code)));
    DOVRANE_ASSIGN_OR_RETURN(Ref code, binding::getattr(error_codes.get(), wire_name.get()));

    DOVRANE_ASSIGN_OR_RETURN(Ref keywords, binding::new_dict());
    DOVRANE_ASSIGN_OR_RETURN(PyObject * code_key, names::code_name.get());
    DOVRANE_TRY(binding::dict_set(keywords.get(), code_key, code.get()));
    if (error.locations) {
        DOVRANE_ASSIGN_OR_RETURN(Ref locations, locations_list(*error.locations));
        DOVRANE_ASSIGN_OR_RETURN(PyObject * locations_key, names::locations_name.get());
        DOVRANE_TRY(binding::dict_set(keywords.get(), locations_key, locations.get()));
    }
    // A core message is UTF-8, but must never become a decoding error.
    DOVRANE_ASSIGN_OR_RETURN(Ref message, binding::new_str_lossy(error.message));
    DOVRANE_ASSIGN_OR_RETURN(Ref exception, binding::call(error_class.get(), {message.get()}, keywords.get()));
    if (PyExceptionInstance_Check(exception.get()) == 0) {
        DOVRANE_ASSIGN_OR_RETURN(std::string type_name, binding::type_name(exception.get()));
        return binding::type_error("dovrane._error.GraphQLError returned a '" + type_name +
                                   "' object, which is not an exception");
    }
    return exception;
}

PyObject* schema_error_source() {
    return binding::object_from_cell(schema_error_type_cell, [] {
        return binding::new_exception_type("_dovrane.SchemaError", "Raised for dovrane schema build-time errors.",
                                           PyExc_Exception);
    });
}

}  // namespace

binding::OnceCell<Ref> graphql_error_type_cell;

binding::Result<Ref> graphql_error_type() {
    DOVRANE_ASSIGN_OR_RETURN(const Ref* type, graphql_error_type_cell.get_or_build([] {
        return binding::new_exception_type("_dovrane.GraphQLError", graphql_error_doc, PyExc_Exception);
    }));
    return *type;
}

binding::Error raise(dovrane_core::error::BoxedError error) {
    dovrane_core::error::BoxedError owned = std::move(error);
    if (owned == nullptr) {
        return binding::panic("raise() was given no error");
    }
    binding::Result<Ref> exception = host_exception(*owned);
    if (!exception.ok()) {
        return exception.take_error();
    }
    return binding::Error::from_instance(std::move(exception).value());
}

binding::OnceCell<Ref> schema_error_type_cell;

binding::Error SchemaError::new_err(std::string message) {
    return binding::Error::lazy(&schema_error_source, std::move(message));
}

binding::Result<Ref> schema_error_type() {
    PyObject* type = schema_error_source();
    if (type == nullptr) {
        return binding::Error::fetch();
    }
    return Ref::borrow(type);
}

}  // namespace _dovrane::error
