#include "binding/errors.hpp"

#include <cstdlib>
#include <cstring>
#include <new>

#include "binding/cells.hpp"

namespace _dovrane::binding {

struct Error::State {
    // Fetched (or made) exception: `type` is set, `value` may still be
    // unnormalised.
    Ref type;
    Ref value;
    Ref traceback;
    // Lazy exception: `type` is empty and one of these gives the type.
    PyObject* builtin = nullptr;
    TypeSource source = nullptr;
    std::string message;

    bool lazy() const { return !type; }
};

namespace {

// Exceptions take notes from 3.11 on.
bool notes_supported() { return python_at_least(11); }

OnceCell<Ref> panic_type_cell;
InternedName add_note_name{"add_note"};
InternedName qualname_name{"__qualname__"};

}  // namespace

Error::Error(std::unique_ptr<State> state) : state_(std::move(state)) {}
Error::~Error() = default;
Error::Error(Error&&) noexcept = default;
Error& Error::operator=(Error&&) noexcept = default;

Error Error::fetch() {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    if (type == nullptr) {
        Py_XDECREF(value);
        Py_XDECREF(traceback);
        return lazy(PyExc_SystemError, "error return without exception set");
    }
    auto state = std::make_unique<State>();
    state->type = Ref::steal(type);
    state->value = Ref::steal(value);
    state->traceback = Ref::steal(traceback);
    return Error(std::move(state));
}

Error Error::lazy(PyObject* builtin_type, std::string message) {
    auto state = std::make_unique<State>();
    state->builtin = builtin_type;
    state->message = std::move(message);
    return Error(std::move(state));
}

Error Error::lazy(TypeSource type, std::string message) {
    auto state = std::make_unique<State>();
    state->source = type;
    state->message = std::move(message);
    return Error(std::move(state));
}

Error Error::from_instance(Ref exception) {
    auto state = std::make_unique<State>();
    state->type = Ref::borrow(reinterpret_cast<PyObject*>(Py_TYPE(exception.get())));
    state->traceback = Ref::steal(PyException_GetTraceback(exception.get()));
    state->value = std::move(exception);
    return Error(std::move(state));
}

void Error::restore() && {
    std::unique_ptr<State> state = std::move(state_);
    if (state == nullptr) {
        PyErr_SetString(PyExc_SystemError, "an error was restored twice");
        return;
    }
    if (!state->lazy()) {
        PyErr_Restore(state->type.release(), state->value.release(), state->traceback.release());
        return;
    }
    PyObject* type = state->builtin != nullptr ? state->builtin : state->source();
    if (type == nullptr) {
        return;  // the type's cell could not be filled; its error is set
    }
    // Core messages are UTF-8 but a slice of one might not be: never let a
    // message turn into a decoding error.
    Ref message = Ref::steal(PyUnicode_DecodeUTF8(state->message.data(),
                                                  static_cast<Py_ssize_t>(state->message.size()), "replace"));
    if (!message) {
        return;
    }
    PyErr_SetObject(type, message.get());
}

void Error::normalize() {
    if (state_ == nullptr) {
        *this = lazy(PyExc_SystemError, "an error was used after it was restored");
    }
    if (state_->lazy()) {
        std::move(*this).restore();
        *this = fetch();
    }
    PyObject* type = state_->type.release();
    PyObject* value = state_->value.release();
    PyObject* traceback = state_->traceback.release();
    PyErr_NormalizeException(&type, &value, &traceback);
    if (traceback != nullptr && value != nullptr) {
        PyException_SetTraceback(value, traceback);
    }
    state_->type = Ref::steal(type);
    state_->value = Ref::steal(value);
    state_->traceback = Ref::steal(traceback);
    if (!state_->value) {
        // Only when normalisation itself broke down: keep something raisable.
        state_->value = Ref::borrow(Py_None);
    }
}

bool Error::matches(PyObject* type) {
    if (state_ != nullptr && state_->lazy() && state_->builtin != nullptr) {
        return PyErr_GivenExceptionMatches(state_->builtin, type) != 0;
    }
    if (state_ == nullptr || state_->lazy()) {
        normalize();
    }
    return PyErr_GivenExceptionMatches(state_->type.get(), type) != 0;
}

PyObject* Error::instance() {
    normalize();
    return state_->value.get();
}

void Error::add_note(std::string_view note) {
    if (!notes_supported()) {
        return;
    }
    PyObject* exception = instance();
    auto name = add_note_name.get();
    if (!name.ok()) {
        *this = name.take_error();
        return;
    }
    Ref text = Ref::steal(PyUnicode_DecodeUTF8(note.data(), static_cast<Py_ssize_t>(note.size()), "replace"));
    Ref done;
    if (text) {
        done = Ref::steal(PyObject_CallMethodObjArgs(exception, name.value(), text.get(), nullptr));
    }
    if (!done) {
        // The note is a courtesy; keep the exception it was meant for.
        Status discarded = discard_current_exception();
        if (!discarded.ok()) {
            *this = discarded.take_error();
        }
    }
}

const std::string* Error::lazy_message() const {
    return state_ != nullptr && state_->lazy() ? &state_->message : nullptr;
}

PyObject* Error::lazy_type() const {
    return state_ != nullptr && state_->lazy() ? state_->builtin : nullptr;
}

Error type_error(std::string message) { return Error::lazy(PyExc_TypeError, std::move(message)); }
Error value_error(std::string message) { return Error::lazy(PyExc_ValueError, std::move(message)); }
Error recursion_error(std::string message) { return Error::lazy(PyExc_RecursionError, std::move(message)); }
Error import_error(std::string message) { return Error::lazy(PyExc_ImportError, std::move(message)); }
Error panic(std::string message) { return Error::lazy(&panic_type, std::move(message)); }

PyObject* panic_type() {
    return object_from_cell(panic_type_cell, []() -> Result<Ref> {
        PyObject* type = PyErr_NewExceptionWithDoc(
            "_dovrane.PanicException",
            "An internal invariant of the native engine was broken. It derives from\n"
            "BaseException so that handlers of ordinary errors do not swallow it.",
            PyExc_BaseException, nullptr);
        if (type == nullptr) {
            return Error::fetch();
        }
        return Ref::steal(type);
    });
}

Result<Ref> new_exception_type(const char* qualified_name, const char* doc, PyObject* base) {
    PyObject* type = PyErr_NewExceptionWithDoc(qualified_name, doc, base, nullptr);
    if (type != nullptr) {
        return Ref::steal(type);
    }
    Error cause = Error::fetch();
    std::string message = "Failed to initialize new exception type.";
    PyObject* instance = cause.instance();
    Ref text = Ref::steal(PyObject_Str(instance));
    const char* utf8 = text ? PyUnicode_AsUTF8AndSize(text.get(), nullptr) : nullptr;
    if (utf8 != nullptr) {
        message += ": ";
        message += utf8;
    } else {
        PyErr_Clear();
    }
    return panic(std::move(message));
}

Status discard_current_exception() {
    if (PyErr_Occurred() == nullptr) {
        return {};
    }
    if (PyErr_ExceptionMatches(PyExc_Exception)) {
        PyErr_Clear();
        return {};
    }
    return Error::fetch();
}

Status discard_exception(Error error) {
    if (error.matches(PyExc_Exception)) {
        return {};
    }
    return error;
}

bool python_at_least(int minor) {
    static const long running_minor = [] {
        const char* version = Py_GetVersion();  // "3.11.7 (main, ...)"
        char* end = nullptr;
        long major = std::strtol(version, &end, 10);
        if (major != 3) {
            return major > 3 ? 1000L : 0L;
        }
        return (end != nullptr && *end == '.') ? std::strtol(end + 1, nullptr, 10) : 0L;
    }();
    return running_minor >= minor;
}

Result<std::string> describe_exception(Error& error) {
    PyObject* exception = error.instance();
    auto name = qualname_name.get();
    if (!name.ok()) {
        return name.take_error();
    }
    Ref qualname = Ref::steal(PyObject_GetAttr(reinterpret_cast<PyObject*>(Py_TYPE(exception)), name.value()));
    Ref text = qualname ? Ref::steal(PyObject_Str(exception)) : Ref();
    if (!text) {
        return Error::fetch();
    }
    Py_ssize_t qualname_size = 0;
    Py_ssize_t text_size = 0;
    const char* qualname_utf8 =
        PyUnicode_Check(qualname.get()) ? PyUnicode_AsUTF8AndSize(qualname.get(), &qualname_size) : nullptr;
    const char* text_utf8 = qualname_utf8 != nullptr ? PyUnicode_AsUTF8AndSize(text.get(), &text_size) : nullptr;
    if (text_utf8 == nullptr) {
        if (PyErr_Occurred() == nullptr) {
            return type_error("an exception type's __qualname__ must be a str");
        }
        return Error::fetch();
    }
    std::string described(qualname_utf8, static_cast<std::size_t>(qualname_size));
    described += ": ";
    described.append(text_utf8, static_cast<std::size_t>(text_size));
    return described;
}

void set_error_from_current_exception() noexcept {
    try {
        try {
            throw;
        } catch (const std::bad_alloc&) {
            PyErr_NoMemory();
        } catch (const std::exception& exception) {
            panic(std::string("C++ exception: ") + exception.what()).restore();
        } catch (...) {
            panic("unknown C++ exception").restore();
        }
    } catch (...) {
        // Reporting the failure failed too (out of memory while building the message).
        PyErr_NoMemory();
    }
}

}  // namespace _dovrane::binding
