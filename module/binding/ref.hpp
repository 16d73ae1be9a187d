// module/binding/ref.hpp: Ref, the one owning reference type of the binding layer.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace quorvel::py {

/// Whether this thread holds the interpreter lock. Our destructors run without
/// it in one case only: a daemon thread that the interpreter ends at exit is
/// unwound from where it asked for the lock back (after the matches' step, or
/// inside one of numpy's copies), while the main thread frees objects and runs
/// the collector. A reference given back then races with that (a dict unlinked
/// from the collector's lists under its feet), so such a thread leaves what it
/// holds to the ending process.
inline bool holds_lock() noexcept { return PyGILState_Check() != 0; }

/// Owns one strong reference (or none). Ownership is explicit at each call site:
/// `steal` adopts a new reference, `borrow` takes a new one on a borrowed pointer,
/// and `release` hands the reference back to C (typically as a return value).
class Ref {
public:
    Ref() noexcept = default;
    static Ref steal(PyObject* obj) noexcept { return Ref(obj); }
    static Ref borrow(PyObject* obj) noexcept {
        Py_XINCREF(obj);
        return Ref(obj);
    }

    Ref(Ref&& other) noexcept : obj_(std::exchange(other.obj_, nullptr)) {}
    Ref& operator=(Ref&& other) noexcept {
        if (this != &other) {
            Py_XSETREF(obj_, std::exchange(other.obj_, nullptr));
        }
        return *this;
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() {
        if (obj_ && holds_lock()) Py_DECREF(obj_);  // else a thread unwound at exit: left
    }

    PyObject* get() const noexcept { return obj_; }
    PyObject* release() noexcept { return std::exchange(obj_, nullptr); }
    explicit operator bool() const noexcept { return obj_ != nullptr; }

private:
    explicit Ref(PyObject* obj) noexcept : obj_(obj) {}
    PyObject* obj_ = nullptr;
};

}  // namespace quorvel::py
