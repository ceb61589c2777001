// Module functions: one declarative parameter list each, bound the way
// CPython binds a Python function's arguments, then converted in order.
//
//     constexpr binding::Parameter parse_query_parameters[] = {binding::required("query")};
//     binding::Result<binding::Ref> parse_query(PyObject* module, binding::Arguments& arguments) {
//         DOVRANE_ASSIGN_OR_RETURN(std::string_view query, arguments.convert(0, binding::to_str));
//         ...
//     }
//     constexpr binding::Function parse_query_function = {
//         binding::signature("parse_query", parse_query_parameters),
//         DOVRANE_DOC("parse_query(query)", "Parses ..."),
//         parse_query,
//     };
//     // registration: binding::new_function(binding::method_def<parse_query_function>, module)
//
// Binding errors are TypeErrors with CPython's wording, checked in this
// order: too many positional arguments, an unexpected keyword, a keyword
// that repeats a positional argument, missing positional arguments, missing
// keyword-only arguments. Binding allocates nothing: the bound arguments are
// borrowed from the call, which keeps them alive until it returns.
//
// Conversions come after binding, in signature order (the body calls
// `convert` parameter by parameter). A failed conversion names its parameter
// ("argument 'query': expected str, got int") and, on 3.11+, gains the note
// "while processing 'query'".
#pragma once

#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "binding/errors.hpp"
#include "binding/refs.hpp"

namespace _dovrane::binding {

// Enough for every function of the module; keeps binding on the stack.
inline constexpr std::size_t max_parameters = 16;

enum class ParameterKind : std::uint8_t { PositionalOrKeyword, KeywordOnly };

struct Parameter {
    const char* name;
    ParameterKind kind;
    bool required;
};

constexpr Parameter required(const char* name) { return {name, ParameterKind::PositionalOrKeyword, true}; }
constexpr Parameter optional(const char* name) { return {name, ParameterKind::PositionalOrKeyword, false}; }
constexpr Parameter keyword_required(const char* name) { return {name, ParameterKind::KeywordOnly, true}; }
constexpr Parameter keyword_optional(const char* name) { return {name, ParameterKind::KeywordOnly, false}; }

struct Signature {
    const char* function_name;
    const Parameter* parameters;
    std::size_t count;
    std::size_t positional_count;     // positional-or-keyword parameters, which come first
    std::size_t required_positional;  // of those, the required ones, which come first
};

// Checks the list at compile time: positional parameters first, required
// ones before optional ones, as in a Python `def`.
template <std::size_t N>
consteval Signature signature(const char* function_name, const Parameter (&parameters)[N]) {
    static_assert(N <= max_parameters, "raise max_parameters");
    std::size_t positional = 0;
    std::size_t required_positional = 0;
    bool seen_keyword_only = false;
    bool seen_optional_positional = false;
    for (std::size_t i = 0; i < N; ++i) {
        if (parameters[i].kind == ParameterKind::KeywordOnly) {
            seen_keyword_only = true;
            continue;
        }
        if (seen_keyword_only) {
            throw "positional parameters must come before keyword-only ones";
        }
        ++positional;
        if (parameters[i].required) {
            if (seen_optional_positional) {
                throw "a required positional parameter follows an optional one";
            }
            ++required_positional;
        } else {
            seen_optional_positional = true;
        }
    }
    return Signature{function_name, parameters, N, positional, required_positional};
}

// A function without parameters.
consteval Signature signature(const char* function_name) { return Signature{function_name, nullptr, 0, 0, 0}; }

// Adds the parameter's name to a failed conversion's error.
Error argument_error(Error error, const char* parameter_name);

// The arguments of one call, bound to the parameters (borrowed).
class Arguments {
public:
    explicit Arguments(const Signature& signature) : signature_(signature) {}

    // Binds; false with the TypeError set when the arguments do not fit.
    bool bind(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

    // The object given for parameter `index`, or null when it was not given.
    PyObject* operator[](std::size_t index) const { return values_[index]; }
    bool given(std::size_t index) const { return values_[index] != nullptr; }

    // Converts parameter `index` with `convert` (PyObject* -> Result<T>); a
    // failure names the parameter. For an optional parameter that was not
    // given, `convert` sees null (`to_optional_str` treats it as None).
    template <class Convert>
    auto convert(std::size_t index, Convert&& convert) -> std::invoke_result_t<Convert, PyObject*> {
        auto result = convert(values_[index]);
        if (!result.ok()) {
            return argument_error(result.take_error(), signature_.parameters[index].name);
        }
        return result;
    }

    // The same, with `fallback` for an optional parameter that was not given.
    template <class Convert, class T>
    auto convert_or(std::size_t index, Convert&& convert, T&& fallback) -> std::invoke_result_t<Convert, PyObject*> {
        if (values_[index] == nullptr) {
            return std::forward<T>(fallback);
        }
        return this->convert(index, std::forward<Convert>(convert));
    }

private:
    const Signature& signature_;
    PyObject* values_[max_parameters] = {};
};

using FunctionBody = Result<Ref> (*)(PyObject* module, Arguments& arguments);

struct Function {
    Signature signature;
    const char* doc;  // DOVRANE_DOC(signature line, text)
    FunctionBody body;
};

// The C entry of a function: binds, runs the body, raises its error; no C++
// exception gets through.
template <const Function& F>
PyObject* fastcall(PyObject* module, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    try {
        Arguments arguments(F.signature);
        if (!arguments.bind(args, nargs, kwnames)) {
            return nullptr;
        }
        Result<Ref> result = F.body(module, arguments);
        if (!result.ok()) {
            result.take_error().restore();
            return nullptr;
        }
        return std::move(result).value().release();
    } catch (...) {
        set_error_from_current_exception();
        return nullptr;
    }
}

// The method definition of a function; static, since function objects keep
// a pointer to it.
template <const Function& F>
inline PyMethodDef method_def = {
    F.signature.function_name,
    reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&fastcall<F>)),
    METH_FASTCALL | METH_KEYWORDS,
    F.doc,
};

// A built-in function object bound to `module`, whose `__module__` is the
// module's name.
Result<Ref> new_function(PyMethodDef& definition, PyObject* module);

}  // namespace _dovrane::binding

// A docstring whose first line is the text signature: CPython takes
// "sig\n--\n\n" as `__text_signature__` (so `inspect.signature` works) and
// shows the rest as `__doc__`, which then starts with the signature again.
#define DOVRANE_DOC(signature_line, text) signature_line "\n--\n\n" signature_line "\n\n" text
// A docstring that is the text signature alone.
#define DOVRANE_SIGNATURE_DOC(signature_line) signature_line "\n--\n\n" signature_line
