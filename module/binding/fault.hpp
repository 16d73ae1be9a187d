// module/binding/fault.hpp: the wrapper every entry point runs in, and the fault policies an extension passes to it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>
#include <type_traits>

namespace quorvel::py {

/// The engine's internal-fault exception class (it derives directly from
/// BaseException, so `except Exception` does not swallow it), a borrowed
/// reference kept for the life of the process. Both extensions meet on one
/// class object: the first to ask creates it and leaves it in the
/// interpreter's own dictionary, where the other finds it. Returns nullptr
/// with an exception set when it can be neither found nor created.
PyObject* engine_fault_class() noexcept;

/// Fault policy of _quorvel: an internal fault raises the engine's fault class,
/// which `except Exception` lets through.
struct RaiseEngineFault {
    static void raise(const char* message) noexcept;
};

/// Fault policy of quorvel._batch: an internal fault raises RuntimeError, so
/// that vector-environment workers catching Exception see it.
struct RaiseRuntimeError {
    static void raise(const char* message) noexcept;
};

namespace detail {

// Whether this thread has made the C++ runtime's per-thread exception state.
// In static thread-local storage of our own, so reading it is a plain load.
[[gnu::tls_model("initial-exec")]] inline thread_local bool exception_state_made = false;

}  // namespace detail

/// Runs `body` (which reports Python errors the C API way: nullptr or -1 with an
/// exception set) and stops every C++ exception at this boundary: an allocation
/// failure becomes MemoryError, any other exception goes to `Faults::raise` with
/// its text. Guards taken inside `body` are released by unwinding.
template <class Faults, class Body>
auto entry_point(Body&& body) noexcept -> decltype(body()) {
    using Result = decltype(body());
    // The C++ runtime makes a thread's exception state on its first throw, and
    // the C library aborts the process when it cannot allocate it then (memory
    // has run out: the very case being reported). Made on the thread's first
    // call instead.
    if (!detail::exception_state_made) {
        detail::exception_state_made = true;
        [[maybe_unused]] volatile int made = std::uncaught_exceptions();  // a pure call, kept
    }
    try {
        return body();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        Faults::raise(e.what());
    } catch (...) {
        Faults::raise("unknown internal fault");
    }
    if constexpr (std::is_pointer_v<Result>) {
        return nullptr;
    } else {
        return Result(-1);
    }
}

}  // namespace quorvel::py
