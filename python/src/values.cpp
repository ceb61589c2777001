// Python values as JSON values and as GraphQL literals. Nothing here is
// exposed to Python by itself (_dovrane_testing probes the first two as
// json_text and default_literal); in Python terms:
//
//     def python_to_json_value(value) -> JSON:     # the first rule that matches
//         None, True/False            -> null, true/false
//         an int of 64 bits           -> an integer (anything with __index__ too)
//         another number (__float__)  -> a float; NaN and infinities -> null
//         a str that encodes as UTF-8 -> a string
//         list, dict                  -> an array, an object (a key that is not a str:
//                                        TypeError); at most limits.max_value_depth
//                                        levels deep, else RecursionError
//         anything else               -> ValueError("value of type '{}' is not JSON-serializable")
//
//     def python_default_to_graphql_literal(value) -> str | None:
//         a member of a decorated enum -> its GraphQL name
//         None, bools, numbers         -> as above ("null" for NaN and infinities)
//         str                          -> json.dumps(value, ensure_ascii=False)
//         list, dict with str keys     -> "[1, 2]", "{key: 1}" (keys written raw)
//         anything else                -> None: the value has no faithful literal
//
//     def variable_map(variable_values: dict[str, object]) -> dict[str, JSON]:
//         # a key that is not a str: TypeError naming variable_values
//         return {name: python_to_json_value(value) for name, value in variable_values.items()
//                 if the name encodes as UTF-8 and the value converts (Exceptions discarded)}
#include "src/values.hpp"

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "binding/arguments.hpp"
#include "binding/cells.hpp"
#include "binding/convert.hpp"
#include "binding/objects.hpp"
#include "binding/refs.hpp"
#include "dovrane_core/limits.hpp"
#include "src/host_names.hpp"

// GCC 12 at -O3 reports moved-from json::Value variants inside Result as
// "maybe uninitialized": a known false positive of variant-in-variant moves.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace _dovrane::values {

namespace {

using binding::Ref;
namespace json = dovrane_core::json;

// One level of list or dict nesting: our own bound, and the interpreter's
// recursion limit (the values' own code may already have used some of it).
class NestingGuard {
public:
    explicit NestingGuard(std::size_t& depth) : depth_(depth), python_(" while converting a value") { ++depth_; }
    ~NestingGuard() { --depth_; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;

    binding::Status check() const {
        if (!python_.entered()) {
            return binding::Error::fetch();
        }
        if (depth_ > dovrane_core::limits::max_value_depth) {
            return binding::recursion_error(dovrane_core::limits::value_depth_message);
        }
        return {};
    }

private:
    std::size_t& depth_;
    binding::RecursionGuard python_;
};

// Exact str, list, dict and tuple objects have no numeric conversion and run
// no code when asked for one: skip the attempts (and the exceptions they make).
bool may_be_number(PyObject* value) {
    return !(PyUnicode_CheckExact(value) || PyList_CheckExact(value) || PyDict_CheckExact(value) ||
             PyTuple_CheckExact(value));
}

// `PyLong_AsLong` (long is 64 bits here), its failure discarded.
binding::Result<std::optional<std::int64_t>> as_int64(PyObject* value) {
    if (PyFloat_CheckExact(value)) {
        return std::optional<std::int64_t>();
    }
    long number = PyLong_AsLong(value);
    if (number == -1 && PyErr_Occurred() != nullptr) {
        DOVRANE_TRY(binding::discard_current_exception());
        return std::optional<std::int64_t>();
    }
    return std::optional<std::int64_t>(number);
}

// `PyFloat_AsDouble`, its failure discarded.
binding::Result<std::optional<double>> as_double(PyObject* value) {
    double number = PyFloat_AsDouble(value);
    if (number == -1.0 && PyErr_Occurred() != nullptr) {
        DOVRANE_TRY(binding::discard_current_exception());
        return std::optional<double>();
    }
    return std::optional<double>(number);
}

// The UTF-8 text of a str, or nothing when it cannot be encoded (lone surrogates).
binding::Result<std::optional<std::string_view>> utf8_of(PyObject* text) {
    Py_ssize_t size = 0;
    const char* data = PyUnicode_AsUTF8AndSize(text, &size);
    if (data == nullptr) {
        DOVRANE_TRY(binding::discard_current_exception());
        return std::optional<std::string_view>();
    }
    return std::optional<std::string_view>(std::string_view(data, static_cast<std::size_t>(size)));
}

binding::Result<json::Value> to_json(PyObject* value, std::size_t& depth);

binding::Result<json::Value> list_to_json(PyObject* list, std::size_t& depth) {
    NestingGuard guard(depth);
    DOVRANE_TRY(guard.check());
    // Items appended meanwhile are not visited; removed ones end the walk early.
    Py_ssize_t length = PyList_Size(list);
    json::Array items;
    items.reserve(static_cast<std::size_t>(length));
    for (Py_ssize_t i = 0; i < length && i < PyList_Size(list); ++i) {
        Ref item = Ref::borrow(PyList_GetItem(list, i));
        DOVRANE_ASSIGN_OR_RETURN(json::Value converted, to_json(item.get(), depth));
        items.push_back(std::move(converted));
    }
    return json::Value(std::move(items));
}

binding::Result<json::Value> dict_to_json(PyObject* dict, std::size_t& depth) {
    NestingGuard guard(depth);
    DOVRANE_TRY(guard.check());
    json::Object object;
    binding::DictIterator entries(dict);
    Ref key;
    Ref item;
    for (;;) {
        DOVRANE_ASSIGN_OR_RETURN(bool more, entries.next(key, item));
        if (!more) {
            break;
        }
        DOVRANE_ASSIGN_OR_RETURN(std::string_view key_text, binding::to_str(key.get()));
        std::string name(key_text);  // before the value's code runs
        DOVRANE_ASSIGN_OR_RETURN(json::Value converted, to_json(item.get(), depth));
        object.insert_or_assign(std::move(name), std::move(converted));
    }
    return json::Value(std::move(object));
}

binding::Result<json::Value> to_json(PyObject* value, std::size_t& depth) {
    if (value == Py_None) {
        return json::Value(nullptr);
    }
    if (PyBool_Check(value)) {
        return json::Value(value == Py_True);
    }
    if (may_be_number(value)) {
        DOVRANE_ASSIGN_OR_RETURN(std::optional<std::int64_t> integer, as_int64(value));
        if (integer) {
            return json::Value(json::Number::from_signed(*integer));
        }
        DOVRANE_ASSIGN_OR_RETURN(std::optional<double> number, as_double(value));
        if (number) {
            return std::isfinite(*number) ? json::Value(json::Number::from_double(*number)) : json::Value(nullptr);
        }
    }
    if (PyUnicode_Check(value)) {
        DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> text, utf8_of(value));
        if (text) {
            return json::Value(std::string(*text));
        }
    }
    if (PyList_Check(value)) {
        return list_to_json(value, depth);
    }
    if (PyDict_Check(value)) {
        return dict_to_json(value, depth);
    }
    DOVRANE_ASSIGN_OR_RETURN(std::string type_name, binding::type_name(value));
    return binding::value_error("value of type '" + type_name + "' is not JSON-serializable");
}

// Built-in types take no attributes, so they never carry a type info.
bool may_carry_type_info(PyObject* value) {
    return !(value == Py_None || PyBool_Check(value) || PyLong_CheckExact(value) || PyFloat_CheckExact(value) ||
             PyUnicode_CheckExact(value) || PyList_CheckExact(value) || PyDict_CheckExact(value) ||
             PyTuple_CheckExact(value));
}

// The enum check: an enum member of a decorated enum is written as its
// GraphQL name. True when it wrote the literal; false to go on with the
// generic steps.
binding::Result<bool> append_enum_literal(PyObject* value, std::string& out) {
    auto info_lookup =
        binding::getattr(reinterpret_cast<PyObject*>(Py_TYPE(value)), names::dunder_dovrane_type_info_name);
    if (!info_lookup.ok()) {
        DOVRANE_TRY(binding::discard_exception(info_lookup.take_error()));
        return false;
    }
    Ref info = std::move(info_lookup).value();
    DOVRANE_ASSIGN_OR_RETURN(Ref kind, binding::getattr(info.get(), names::kind_name));
    DOVRANE_ASSIGN_OR_RETURN(Ref kind_text, binding::str_of(kind.get()));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view kind_view, binding::to_str(kind_text.get()));
    if (kind_view != "enum") {
        return false;
    }

    DOVRANE_ASSIGN_OR_RETURN(Ref member_object, binding::getattr(value, names::name_name));
    DOVRANE_ASSIGN_OR_RETURN(std::string_view member_view, binding::to_str(member_object.get()));
    std::string member(member_view);
    std::string literal = member;

    DOVRANE_ASSIGN_OR_RETURN(Ref values, binding::getattr(info.get(), names::enum_values_name));
    Ref iterator = Ref::steal(PyObject_GetIter(values.get()));
    if (!iterator) {
        return binding::Error::fetch();
    }
    while (Ref entry = Ref::steal(PyIter_Next(iterator.get()))) {
        DOVRANE_ASSIGN_OR_RETURN(Ref entry_name, binding::getattr(entry.get(), names::name_name));
        DOVRANE_ASSIGN_OR_RETURN(std::string_view entry_view, binding::to_str(entry_name.get()));
        if (entry_view != member) {
            continue;
        }
        DOVRANE_ASSIGN_OR_RETURN(Ref graphql_name, binding::getattr(entry.get(), names::graphql_name_name));
        if (graphql_name.get() != Py_None) {
            DOVRANE_ASSIGN_OR_RETURN(std::string_view graphql_view, binding::to_str(graphql_name.get()));
            literal = graphql_view;
        }
        break;
    }
    if (PyErr_Occurred() != nullptr) {
        return binding::Error::fetch();
    }
    out += literal;
    return true;
}

binding::Result<bool> append_literal(PyObject* value, std::string& out, std::size_t& depth);

binding::Result<bool> append_list_literal(PyObject* list, std::string& out, std::size_t& depth) {
    NestingGuard guard(depth);
    DOVRANE_TRY(guard.check());
    out.push_back('[');
    Py_ssize_t length = PyList_Size(list);
    for (Py_ssize_t i = 0; i < length && i < PyList_Size(list); ++i) {
        if (i > 0) {
            out.append(", ");
        }
        Ref item = Ref::borrow(PyList_GetItem(list, i));
        DOVRANE_ASSIGN_OR_RETURN(bool written, append_literal(item.get(), out, depth));
        if (!written) {
            return false;
        }
    }
    out.push_back(']');
    return true;
}

binding::Result<bool> append_dict_literal(PyObject* dict, std::string& out, std::size_t& depth) {
    NestingGuard guard(depth);
    DOVRANE_TRY(guard.check());
    out.push_back('{');
    binding::DictIterator entries(dict);
    Ref key;
    Ref item;
    bool first = true;
    for (;;) {
        DOVRANE_ASSIGN_OR_RETURN(bool more, entries.next(key, item));
        if (!more) {
            break;
        }
        if (!PyUnicode_Check(key.get())) {
            return false;
        }
        DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> key_text, utf8_of(key.get()));
        if (!key_text) {
            return false;
        }
        if (!first) {
            out.append(", ");
        }
        first = false;
        out.append(*key_text);  // raw: GraphQL object keys are names
        out.append(": ");
        DOVRANE_ASSIGN_OR_RETURN(bool written, append_literal(item.get(), out, depth));
        if (!written) {
            return false;
        }
    }
    out.push_back('}');
    return true;
}

binding::Result<bool> append_literal(PyObject* value, std::string& out, std::size_t& depth) {
    if (may_carry_type_info(value)) {
        DOVRANE_ASSIGN_OR_RETURN(bool written, append_enum_literal(value, out));
        if (written) {
            return true;
        }
    }
    if (value == Py_None) {
        out.append("null");
        return true;
    }
    if (PyBool_Check(value)) {
        out.append(value == Py_True ? "true" : "false");
        return true;
    }
    if (may_be_number(value)) {
        DOVRANE_ASSIGN_OR_RETURN(std::optional<std::int64_t> integer, as_int64(value));
        if (integer) {
            json::append_number_text(out, json::Number::from_signed(*integer));
            return true;
        }
        DOVRANE_ASSIGN_OR_RETURN(std::optional<double> number, as_double(value));
        if (number) {
            if (std::isfinite(*number)) {
                json::append_double_text(out, *number);
            } else {
                out.append("null");
            }
            return true;
        }
    }
    if (PyUnicode_Check(value)) {
        DOVRANE_ASSIGN_OR_RETURN(std::optional<std::string_view> text, utf8_of(value));
        if (text) {
            json::append_quoted_string(out, *text);  // JSON's spelling, not the SDL's
            return true;
        }
    }
    if (PyList_Check(value)) {
        return append_list_literal(value, out, depth);
    }
    if (PyDict_Check(value)) {
        return append_dict_literal(value, out, depth);
    }
    return false;
}

}  // namespace

binding::Result<json::Value> python_to_json_value(PyObject* value) {
    std::size_t depth = 0;
    return to_json(value, depth);
}

binding::Result<std::optional<std::string>> python_default_to_graphql_literal(PyObject* value) {
    std::size_t depth = 0;
    std::string literal;
    DOVRANE_ASSIGN_OR_RETURN(bool written, append_literal(value, literal, depth));
    if (!written) {
        return std::optional<std::string>();
    }
    return std::optional<std::string>(std::move(literal));
}

// The JSON view of `variable_values` that directive evaluation reads. A value
// without a JSON form is left out (an error it raised is discarded when it is
// an Exception); a key that is not a str fails the call, naming the parameter
// as every other argument error does.
binding::Result<dovrane_core::lowering::VariableMap> variable_map(PyObject* variable_values) {
    dovrane_core::lowering::VariableMap variables;
    binding::DictIterator items(variable_values);
    Ref key;
    Ref value;
    for (;;) {
        DOVRANE_ASSIGN_OR_RETURN(bool more, items.next(key, value));
        if (!more) {
            break;
        }
        if (!PyUnicode_Check(key.get())) {
            return binding::argument_error(binding::conversion_error("str", key.get()), "variable_values");
        }
        auto name = binding::to_str(key.get());
        if (!name.ok()) {
            // Lone surrogates (JSON "\ud800" escapes): no GraphQL variable
            // has such a name, so the entry is left out like a non-JSON value.
            DOVRANE_TRY(binding::discard_exception(name.take_error()));
            continue;
        }
        std::string name_text(name.value());
        auto converted = python_to_json_value(value.get());
        if (!converted.ok()) {
            DOVRANE_TRY(binding::discard_exception(converted.take_error()));
            continue;
        }
        variables.insert_or_assign(std::move(name_text), std::move(converted).value());
    }
    return variables;
}

}  // namespace _dovrane::values
