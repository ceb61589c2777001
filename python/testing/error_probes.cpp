// _dovrane_testing: raising the module's errors from a core error or a
// message, as the module's functions do.
#include <Python.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "binding/arguments.hpp"
#include "binding/convert.hpp"
#include "binding/objects.hpp"
#include "dovrane_core/error.hpp"
#include "src/error.hpp"
#include "testing/probes.hpp"

namespace _dovrane::testing {

namespace {

using binding::Ref;
namespace core_error = dovrane_core::error;

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
    return error::SchemaError::new_err(std::string(message));
}
constexpr binding::Function raise_schema_error_function = {
    binding::signature("raise_schema_error", raise_schema_error_parameters),
    DOVRANE_DOC("raise_schema_error(message)", "Raises SchemaError with the message."),
    raise_schema_error,
};

const Registration error_probe_registrations[] = {
    {"raise_core_error", &binding::method_def<raise_core_error_function>},
    {"raise_schema_error", &binding::method_def<raise_schema_error_function>},
};

}  // namespace

std::span<const Registration> error_probes() { return error_probe_registrations; }

}  // namespace _dovrane::testing
