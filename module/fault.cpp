// module/fault.cpp: the internal-fault exception class, created once per process.
#include "fault.hpp"

namespace quorvel::py {
namespace {

PyObject* internal_fault_class = nullptr;  // lives until the process ends

}  // namespace

bool ensure_internal_fault_class() noexcept {
    if (internal_fault_class) return true;
    internal_fault_class = PyErr_NewExceptionWithDoc(
        "quorvel.EngineFault",
        "Défaillance interne du moteur : une configuration refusée au coup d'envoi "
        "ou un invariant rompu.",
        PyExc_BaseException, nullptr);
    return internal_fault_class != nullptr;
}

void raise_internal_fault(const char* message) noexcept {
    if (!internal_fault_class) {  // unreachable once the module is executed
        PyErr_SetString(PyExc_SystemError, message);
        return;
    }
    PyErr_SetString(internal_fault_class, message);
}

}  // namespace quorvel::py
