// module/batch/module.cpp: the quorvel._batch module: the record classes it borrows from _quorvel, and BatchEngine.
//
// What Python sees:
//     from quorvel._batch import BatchEngine
//     batch = BatchEngine(quorvel.EngineConfig(), num_matches=1024, seed=0)
//     obs = batch.reset()
//     obs, rewards, terminated, truncated, info = batch.step(actions)
#include "batch_engine.hpp"
#include "py_ref.hpp"
#include "types.hpp"

namespace quorvel::py {
namespace {

// Configurations come in, and spectator frames go out, as _quorvel's own
// objects: the same records, so this module uses that module's classes.
bool borrow_class(PyObject* module, const char* name, PyTypeObject*& out) noexcept {
    if (out) return true;
    PyObject* found = PyObject_GetAttrString(module, name);
    if (!found) return false;
    if (!PyType_Check(found)) {
        Py_DECREF(found);
        PyErr_Format(PyExc_ImportError, "_quorvel.%s is not a class", name);
        return false;
    }
    out = reinterpret_cast<PyTypeObject*>(found);  // kept for the life of the process
    return true;
}

int exec_module(PyObject* module) noexcept {
    Ref records = Ref::steal(PyImport_ImportModule("_quorvel"));
    if (!records) return -1;
    if (!borrow_class(records.get(), "EngineConfig", class_of<EngineConfig>) ||
        !borrow_class(records.get(), "SpectatorFrame", class_of<SpectatorFrame>)) {
        return -1;
    }
    if (!*batch_engine_class.class_object) {
        PyObject* created = PyType_FromSpec(&batch_engine_class.spec);
        if (!created) return -1;
        *batch_engine_class.class_object = reinterpret_cast<PyTypeObject*>(created);
    }
    return PyModule_AddObjectRef(module, batch_engine_class.name,
                                 reinterpret_cast<PyObject*>(*batch_engine_class.class_object));
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "quorvel._batch",
    "Many quorvel matches stepped together, numpy arrays in and out.",
    0,
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace quorvel::py

PyMODINIT_FUNC PyInit__batch(void) {
    return PyModuleDef_Init(&quorvel::py::module_def);
}
