// module/fault.hpp: the internal-fault exception and the wrapper every entry point runs in.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <new>
#include <type_traits>

#include "types.hpp"

namespace quorvel::py {

/// The engine's internal-fault exception class (it derives directly from
/// BaseException, so `except Exception` does not swallow it), a borrowed
/// reference kept for the life of the process. Both extensions meet on one
/// class object: the first to ask creates it and leaves it in the
/// interpreter's own dictionary, where the other finds it. Returns nullptr
/// with an exception set when it can be neither found nor created.
PyObject* engine_fault_class() noexcept;

/// Makes sure the class this extension raises for internal faults exists.
/// Returns false with an exception set when it cannot be created.
bool ensure_internal_fault_class() noexcept;

/// Raises the internal-fault exception with `message` as its single argument.
void raise_internal_fault(const char* message) noexcept;

/// Runs `body` (which reports Python errors the C API way: nullptr or -1 with an
/// exception set) and stops every C++ exception at this boundary: an engine fault
/// or any other exception becomes the internal-fault exception, an allocation
/// failure becomes MemoryError. Guards taken inside `body` are released by unwinding.
template <class Body>
auto entry_point(Body&& body) noexcept -> decltype(body()) {
    using Result = decltype(body());
    try {
        return body();
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        raise_internal_fault(e.what());
    } catch (...) {
        raise_internal_fault("unknown internal fault");
    }
    if constexpr (std::is_pointer_v<Result>) {
        return nullptr;
    } else {
        return Result(-1);
    }
}

}  // namespace quorvel::py
