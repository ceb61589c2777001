// Python exceptions as values.
//
// Functions of the layer and of the module return `Result<T>`: a value, or an
// `Error` that becomes the Python exception when it reaches the interpreter
// (`Error::restore`). An `Error` is either an exception fetched from the
// interpreter, or a lazy one (a type and a message) that creates the exception
// object only when restored, so building one touches no Python.
//
// No C++ exception may cross into Python: every entry point from the
// interpreter catches and calls `set_error_from_current_exception`
// (std::bad_alloc becomes MemoryError, anything else the panic exception).
#pragma once

#include <Python.h>

#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>

#include "binding/refs.hpp"

namespace _dovrane::binding {

// Where a lazy exception takes its type: returns a borrowed type object, or
// null with a Python exception set (a one-time cell that failed to fill).
using TypeSource = PyObject* (*)();

class [[nodiscard]] Error {
public:
    // The exception currently set; a SystemError when none is.
    static Error fetch();
    // A lazy exception of a built-in type (`PyExc_TypeError`, ...).
    static Error lazy(PyObject* builtin_type, std::string message);
    // A lazy exception whose type comes from a one-time cell.
    static Error lazy(TypeSource type, std::string message);
    // An exception instance that is already made.
    static Error from_instance(Ref exception);

    Error(Error&&) noexcept;
    Error& operator=(Error&&) noexcept;
    ~Error();

    // Sets it as the interpreter's current exception, consuming it.
    void restore() &&;
    // True when the exception is an instance of `type` (a class or a tuple).
    bool matches(PyObject* type);
    // The exception instance, created now if the error is lazy. Never null:
    // a failure to create it replaces the error with that failure.
    PyObject* instance();
    // On interpreters whose exceptions take notes (3.11+), calls
    // `add_note(note)` on the exception; elsewhere does nothing.
    void add_note(std::string_view note);
    // The message of a lazy error (empty for a fetched one); for tests and
    // for wrapping messages.
    const std::string* lazy_message() const;
    PyObject* lazy_type() const;

private:
    struct State;
    explicit Error(std::unique_ptr<State> state);
    void normalize();
    std::unique_ptr<State> state_;
};

template <class T>
class [[nodiscard]] Result {
public:
    template <class U>
        requires(std::is_convertible_v<U &&, T> && !std::is_same_v<std::decay_t<U>, Error> &&
                 !std::is_same_v<std::decay_t<U>, Result>)
    Result(U&& value) : data_(std::in_place_index<0>, std::forward<U>(value)) {}
    Result(Error error) : data_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return data_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(data_); }
    const T& value() const& { return std::get<0>(data_); }
    T&& value() && { return std::get<0>(std::move(data_)); }
    T* operator->() { return &std::get<0>(data_); }

    Error& error() & { return std::get<1>(data_); }
    Error take_error() { return std::get<1>(std::move(data_)); }

private:
    std::variant<T, Error> data_;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Error error) : error_(std::make_unique<Error>(std::move(error))) {}

    bool ok() const { return error_ == nullptr; }
    explicit operator bool() const { return ok(); }
    Error& error() & { return *error_; }
    Error take_error() { return std::move(*error_); }

private:
    std::unique_ptr<Error> error_;
};

using Status = Result<void>;

// The usual lazy exceptions.
Error type_error(std::string message);
Error value_error(std::string message);
Error recursion_error(std::string message);
Error import_error(std::string message);
// The layer's panic exception: a broken internal invariant. Its type is
// private, derives from BaseException (so `except Exception` does not swallow
// it) and is not registered in any module.
Error panic(std::string message);
// The panic exception's type (borrowed), created on first use.
PyObject* panic_type();

// A new exception class `qualified_name` ("module.Name") deriving from
// `base`, with no class dictionary. A failure is a broken start-up: it comes
// back as the panic exception "Failed to initialize new exception type.: ...".
Result<Ref> new_exception_type(const char* qualified_name, const char* doc, PyObject* base);

// `Py_EnterRecursiveCall` as a scope, for walks over nested Python values:
//     RecursionGuard guard(" while converting a value");
//     if (!guard.entered()) return Error::fetch();   // RecursionError
class RecursionGuard {
public:
    explicit RecursionGuard(const char* where) : entered_(Py_EnterRecursiveCall(where) == 0) {}
    ~RecursionGuard() {
        if (entered_) {
            Py_LeaveRecursiveCall();
        }
    }
    RecursionGuard(const RecursionGuard&) = delete;
    RecursionGuard& operator=(const RecursionGuard&) = delete;
    bool entered() const { return entered_; }

private:
    bool entered_;
};

// Clears the current exception when it is an `Exception` and returns OK;
// returns it otherwise, so KeyboardInterrupt and SystemExit raised by user
// code propagate. For the steps whose failures are discarded.
Status discard_current_exception();
// The same for an error value.
Status discard_exception(Error error);

// The exception as messages quote it: its type's qualified name, ": " and
// its `str()` ("NameError: name 'Book' is not defined").
Result<std::string> describe_exception(Error& error);

// True when the running interpreter is 3.`minor` or later; the module is
// built once for every version, so this is read at run time.
bool python_at_least(int minor);

// Inside a `catch (...)`: sets the Python exception for the C++ one.
void set_error_from_current_exception() noexcept;

}  // namespace _dovrane::binding

#define DOVRANE_CONCAT_INNER_(a, b) a##b
#define DOVRANE_CONCAT_(a, b) DOVRANE_CONCAT_INNER_(a, b)

// Evaluates a Result; on error, returns the error from the enclosing function.
#define DOVRANE_TRY(expr)                                          \
    do {                                                           \
        auto dovrane_try_result_ = (expr);                         \
        if (!dovrane_try_result_.ok()) {                           \
            return std::move(dovrane_try_result_).take_error();    \
        }                                                          \
    } while (0)

// `DOVRANE_ASSIGN_OR_RETURN(auto name, expr);` declares (or assigns) `name`
// from a Result<T>, returning the error from the enclosing function.
#define DOVRANE_ASSIGN_OR_RETURN(lhs, expr) \
    DOVRANE_ASSIGN_OR_RETURN_(DOVRANE_CONCAT_(dovrane_result_, __LINE__), lhs, expr)
#define DOVRANE_ASSIGN_OR_RETURN_(tmp, lhs, expr) \
    auto tmp = (expr);                            \
    if (!tmp.ok()) {                              \
        return std::move(tmp).take_error();       \
    }                                             \
    lhs = std::move(tmp).value()
