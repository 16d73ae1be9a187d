// module/binding/fault.cpp: the engine's internal-fault class, one object both extensions share, and the fault policies.
#include "fault.hpp"

#include "ref.hpp"

namespace quorvel::py {
namespace {

// Where the class waits in the interpreter's dictionary (which Python code
// cannot reach) for whichever extension comes second.
constexpr const char kSharedKey[] = "quorvel.engine_fault_class";

PyObject* cached_class = nullptr;  // this extension's own reference, kept until the process ends

}  // namespace

PyObject* engine_fault_class() noexcept {
    if (cached_class) return cached_class;
    PyObject* shared = PyInterpreterState_GetDict(PyInterpreterState_Get());  // borrowed
    if (!shared) {
        if (!PyErr_Occurred()) PyErr_NoMemory();
        return nullptr;
    }
    Ref key = Ref::steal(PyUnicode_FromString(kSharedKey));
    if (!key) return nullptr;
    Ref found = Ref::borrow(PyDict_GetItemWithError(shared, key.get()));
    if (!found) {
        if (PyErr_Occurred()) return nullptr;
        found = Ref::steal(PyErr_NewExceptionWithDoc(
            "quorvel.EngineFault",
            "Défaillance interne du moteur : une configuration refusée au coup d'envoi "
            "ou un invariant rompu.",
            PyExc_BaseException, nullptr));
        if (!found || PyDict_SetItem(shared, key.get(), found.get()) < 0) return nullptr;
    }
    cached_class = found.release();
    return cached_class;
}

void RaiseEngineFault::raise(const char* message) noexcept {
    PyObject* fault_class = engine_fault_class();
    if (!fault_class) return;  // unreachable once _quorvel is executed; its error stays set
    PyErr_SetString(fault_class, message);
}

void RaiseRuntimeError::raise(const char* message) noexcept {
    PyErr_SetString(PyExc_RuntimeError, message);
}

}  // namespace quorvel::py
