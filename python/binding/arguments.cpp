#include "binding/arguments.hpp"

#include <string>

#include "binding/objects.hpp"

namespace _dovrane::binding {

namespace {

constexpr std::size_t not_found = static_cast<std::size_t>(-1);

std::size_t find_parameter(const Signature& signature, PyObject* name) {
    for (std::size_t i = 0; i < signature.count; ++i) {
        if (PyUnicode_CompareWithASCIIString(name, signature.parameters[i].name) == 0) {
            return i;
        }
    }
    return not_found;
}

const char* plural(std::size_t count) { return count == 1 ? "" : "s"; }

// "f() takes 2 positional arguments but 3 were given", as CPython words it,
// with " (and 1 keyword-only argument)" when keyword-only ones came too.
void set_too_many_positional(const Signature& signature, Py_ssize_t given, std::size_t keyword_only_given) {
    std::string message = signature.function_name;
    message += "() takes ";
    bool optional_positional = signature.required_positional != signature.positional_count;
    if (optional_positional) {
        message += "from " + std::to_string(signature.required_positional) + " to " +
                   std::to_string(signature.positional_count);
    } else {
        message += std::to_string(signature.positional_count);
    }
    message += " positional argument";
    message += (optional_positional || signature.positional_count != 1) ? "s" : "";
    message += " but " + std::to_string(given);
    if (keyword_only_given > 0) {
        message += " positional argument";
        message += plural(static_cast<std::size_t>(given));
        message += " (and " + std::to_string(keyword_only_given) + " keyword-only argument" +
                   plural(keyword_only_given) + ")";
    }
    message += (given == 1 && keyword_only_given == 0) ? " was given" : " were given";
    PyErr_SetString(PyExc_TypeError, message.c_str());
}

// "f() missing 2 required positional arguments: 'a' and 'b'".
void set_missing(const Signature& signature, const Arguments& arguments, ParameterKind kind) {
    std::size_t missing[max_parameters];
    std::size_t count = 0;
    for (std::size_t i = 0; i < signature.count; ++i) {
        const Parameter& parameter = signature.parameters[i];
        if (parameter.kind == kind && parameter.required && !arguments.given(i)) {
            missing[count++] = i;
        }
    }
    std::string names;
    for (std::size_t i = 0; i < count; ++i) {
        if (i > 0) {
            names += count == 2 ? " and " : (i + 1 == count ? ", and " : ", ");
        }
        names += '\'';
        names += signature.parameters[missing[i]].name;
        names += '\'';
    }
    std::string message = signature.function_name;
    message += "() missing " + std::to_string(count) + " required ";
    message += kind == ParameterKind::PositionalOrKeyword ? "positional" : "keyword";
    message += " argument";
    message += plural(count);
    message += ": " + names;
    PyErr_SetString(PyExc_TypeError, message.c_str());
}

}  // namespace

bool Arguments::bind(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Signature& signature = signature_;
    Py_ssize_t keyword_count = kwnames != nullptr ? PyTuple_Size(kwnames) : 0;

    if (static_cast<std::size_t>(nargs) > signature.positional_count) {
        std::size_t keyword_only_given = 0;
        for (Py_ssize_t k = 0; k < keyword_count; ++k) {
            std::size_t index = find_parameter(signature, PyTuple_GetItem(kwnames, k));
            if (index != not_found && signature.parameters[index].kind == ParameterKind::KeywordOnly) {
                ++keyword_only_given;
            }
        }
        set_too_many_positional(signature, nargs, keyword_only_given);
        return false;
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        values_[i] = args[i];
    }

    // Every keyword is matched before any is stored, so an unknown keyword is
    // reported ahead of a repeated one. Names in `kwnames` are distinct, so
    // once all are known there are at most `signature.count` of them.
    std::size_t keyword_index[max_parameters];
    for (Py_ssize_t k = 0; k < keyword_count; ++k) {
        PyObject* name = PyTuple_GetItem(kwnames, k);
        std::size_t index = find_parameter(signature, name);
        if (index == not_found) {
            PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", signature.function_name,
                         name);
            return false;
        }
        if (static_cast<std::size_t>(k) >= max_parameters) {
            PyErr_SetString(PyExc_SystemError, "keyword names repeat");
            return false;
        }
        keyword_index[k] = index;
    }
    for (Py_ssize_t k = 0; k < keyword_count; ++k) {
        std::size_t index = keyword_index[k];
        if (values_[index] != nullptr) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", signature.function_name,
                         signature.parameters[index].name);
            return false;
        }
        values_[index] = args[nargs + k];
    }

    for (std::size_t i = 0; i < signature.required_positional; ++i) {
        if (values_[i] == nullptr) {
            set_missing(signature, *this, ParameterKind::PositionalOrKeyword);
            return false;
        }
    }
    for (std::size_t i = signature.positional_count; i < signature.count; ++i) {
        if (signature.parameters[i].required && values_[i] == nullptr) {
            set_missing(signature, *this, ParameterKind::KeywordOnly);
            return false;
        }
    }
    return true;
}

Error argument_error(Error error, const char* parameter_name) {
    // A TypeError (the layer's own conversion errors, or one raised by code
    // a conversion ran) says which argument failed; other errors pass as
    // they are.
    std::string message = "argument '";
    message += parameter_name;
    message += "': ";
    if (error.lazy_type() == PyExc_TypeError) {
        message += *error.lazy_message();
        error = type_error(std::move(message));
    } else if (reinterpret_cast<PyObject*>(Py_TYPE(error.instance())) == PyExc_TypeError) {
        Ref text = Ref::steal(PyObject_Str(error.instance()));
        const char* utf8 = text ? PyUnicode_AsUTF8AndSize(text.get(), nullptr) : nullptr;
        if (utf8 != nullptr) {
            message += utf8;
            error = type_error(std::move(message));
        } else {
            PyErr_Clear();
        }
    }
    std::string note = "while processing '";
    note += parameter_name;
    note += '\'';
    error.add_note(note);
    return error;
}

Result<Ref> new_function(PyMethodDef& definition, PyObject* module) {
    Ref module_name = Ref::steal(PyModule_GetNameObject(module));
    if (!module_name) {
        return Error::fetch();
    }
    PyObject* function = PyCFunction_NewEx(&definition, module, module_name.get());
    if (function == nullptr) {
        return Error::fetch();
    }
    return Ref::steal(function);
}

}  // namespace _dovrane::binding
