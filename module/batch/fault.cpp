// module/batch/fault.cpp: how an internal fault reaches Python from quorvel._batch: an ordinary RuntimeError.
#include "fault.hpp"

namespace quorvel::py {

// This module raises ordinary exceptions only, so vector-environment workers
// that catch Exception see its faults; there is no class to create.
bool ensure_internal_fault_class() noexcept { return true; }

void raise_internal_fault(const char* message) noexcept {
    PyErr_SetString(PyExc_RuntimeError, message);
}

}  // namespace quorvel::py
