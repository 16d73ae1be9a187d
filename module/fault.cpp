// module/fault.cpp: how an internal fault reaches Python from _quorvel: the engine's fault class.
#include "fault.hpp"

namespace quorvel::py {

bool ensure_internal_fault_class() noexcept { return engine_fault_class() != nullptr; }

void raise_internal_fault(const char* message) noexcept {
    PyObject* fault_class = engine_fault_class();
    if (!fault_class) return;  // unreachable once the module is executed; its error stays set
    PyErr_SetString(fault_class, message);
}

}  // namespace quorvel::py
