// Process-wide one-time cells and interned names.
//
// A cell is empty until its first successful build and then keeps its value
// for the rest of the process. A filled cell is read with one atomic load.
// The first use of an empty cell releases the interpreter lock while it waits
// for the cell's guard, so a thread that finds another one building waits
// without the lock (the builder may need it to run Python code), then takes
// the lock back before it builds or reads. A failed build leaves the cell
// empty and the next use tries again. A builder that re-enters its own cell
// on the same thread builds again without the guard instead of deadlocking;
// the first value stored wins.
//
// The module refuses sub-interpreters, so one cell per process is enough.
#pragma once

#include <Python.h>

#include <atomic>
#include <mutex>
#include <new>
#include <optional>
#include <thread>
#include <utility>

#include "binding/errors.hpp"
#include "binding/refs.hpp"

namespace _dovrane::binding {

template <class T>
class OnceCell {
public:
    OnceCell() {}
    // Never destroys its value: cells are static, and their objects must not
    // be released after the interpreter has finalised.
    ~OnceCell() {}
    OnceCell(const OnceCell&) = delete;
    OnceCell& operator=(const OnceCell&) = delete;

    // The value, built by `build` (a callable returning Result<T>) on first use.
    template <class Build>
    Result<const T*> get_or_build(Build&& build) {
        if (ready_.load(std::memory_order_acquire)) {
            return &value_;
        }
        return fill(build);
    }

    // The value, or null while the cell is empty.
    const T* get() const { return ready_.load(std::memory_order_acquire) ? &value_ : nullptr; }

    // Fills an empty cell with `value` (a no-op when it is filled already).
    void seed(T value) {
        PyThreadState* thread_state = PyEval_SaveThread();
        guard_.lock();
        PyEval_RestoreThread(thread_state);
        std::unique_lock<std::mutex> lock(guard_, std::adopt_lock);
        store(std::move(value));
    }

private:
    template <class Build>
    Result<const T*> fill(Build& build) {
        if (builder_.load(std::memory_order_relaxed) == std::this_thread::get_id()) {
            // Re-entered from our own build: the guard is ours already.
            DOVRANE_ASSIGN_OR_RETURN(T value, build());
            store(std::move(value));
            return &value_;
        }
        PyThreadState* thread_state = PyEval_SaveThread();
        guard_.lock();
        PyEval_RestoreThread(thread_state);
        std::unique_lock<std::mutex> lock(guard_, std::adopt_lock);
        if (ready_.load(std::memory_order_acquire)) {
            return &value_;
        }
        builder_.store(std::this_thread::get_id(), std::memory_order_relaxed);
        struct ClearBuilder {
            std::atomic<std::thread::id>& builder;
            ~ClearBuilder() { builder.store(std::thread::id(), std::memory_order_relaxed); }
        } clear_builder{builder_};
        DOVRANE_ASSIGN_OR_RETURN(T value, build());
        store(std::move(value));
        return &value_;
    }

    void store(T&& value) {
        if (!ready_.load(std::memory_order_acquire)) {
            new (&value_) T(std::move(value));
            ready_.store(true, std::memory_order_release);
        }
        // Otherwise a re-entrant build filled it first; `value` is dropped here,
        // with the interpreter lock held.
    }

    std::atomic<bool> ready_{false};
    std::mutex guard_;
    std::atomic<std::thread::id> builder_{};
    union {
        T value_;  // constructed once `ready_` is set
    };
};

// A one-time cell holding one Python object, exposed as a `TypeSource`-style
// accessor: the borrowed object, or null with the build's exception set.
template <class Build>
PyObject* object_from_cell(OnceCell<Ref>& cell, Build&& build) {
    auto result = cell.get_or_build(build);
    if (!result.ok()) {
        std::move(result).take_error().restore();
        return nullptr;
    }
    return result.value()->get();
}

// An attribute or keyword name, interned once per process.
//
//     static InternedName kind_name{"kind"};
//     DOVRANE_ASSIGN_OR_RETURN(Ref kind, getattr(info, kind_name));
class InternedName {
public:
    explicit InternedName(const char* text) : text_(text) {}
    InternedName(const InternedName&) = delete;
    InternedName& operator=(const InternedName&) = delete;

    // The interned str (borrowed; it lives for the process).
    Result<PyObject*> get() {
        if (const Ref* ready = cell_.get()) {
            return ready->get();
        }
        DOVRANE_ASSIGN_OR_RETURN(const Ref* name, cell_.get_or_build([this]() -> Result<Ref> {
            PyObject* interned = PyUnicode_InternFromString(text_);
            if (interned == nullptr) {
                return Error::fetch();
            }
            return Ref::steal(interned);
        }));
        return name->get();
    }
    const char* text() const { return text_; }

private:
    const char* text_;
    OnceCell<Ref> cell_;
};

}  // namespace _dovrane::binding
