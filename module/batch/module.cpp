// module/batch/module.cpp: the quorvel._batch module: BatchEngine, the facts it exports about the engine, and the classes it borrows.
//
// What Python sees:
//     from quorvel._batch import BatchEngine
//     batch = BatchEngine(quorvel.EngineConfig(), num_matches=1024, seed=0)
//     obs = batch.reset()
//     obs, rewards, terminated, truncated, info = batch.step(actions)
//     quorvel._batch.max_players_per_team(config)   # the largest team config allows
//     quorvel._batch.CONFIG_FIELDS                  # ("players_per_team", ..., "formation_jitter")
//     quorvel._batch.EngineFault                    # what _quorvel raises for internal faults
#include "batch_engine.hpp"
#include "binding/arguments.hpp"
#include "binding/config_fields.hpp"
#include "binding/fault.hpp"
#include "binding/ref.hpp"
#include "quorvel/limits.hpp"
#include "quorvel/types.hpp"

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

PyObject* max_players(PyObject*, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) noexcept {
    return entry_point<RaiseRuntimeError>([&]() -> PyObject* {
        static constexpr Parameters<1> params{"max_players_per_team", {"config"}, 1};
        Arguments<1> given;
        if (!bind(params, args, nargsf, kwnames, given)) return nullptr;
        std::optional<SharedAccess> access;
        const EngineConfig* record =
            shared_record_argument<EngineConfig>(given[0], "an EngineConfig", "config", access);
        if (!record) return nullptr;
        return PyLong_FromUnsignedLongLong(max_players_per_team(*record));
    });
}

// The field names, in the order of EngineConfig's positional parameters.
PyObject* config_field_tuple() noexcept {
    Ref names = Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(config_field_count)));
    if (!names) return nullptr;
    for (std::size_t i = 0; i < config_field_count; ++i) {
        PyObject* name = PyUnicode_InternFromString(config_field_names[i]);
        if (!name) return nullptr;
        PyTuple_SET_ITEM(names.get(), static_cast<Py_ssize_t>(i), name);
    }
    return names.release();
}

int exec_module(PyObject* module) noexcept {
    // Before _quorvel is imported: whichever of the two comes first makes the class.
    PyObject* fault_class = engine_fault_class();
    if (!fault_class || PyModule_AddObjectRef(module, "EngineFault", fault_class) < 0) return -1;
    Ref records = Ref::steal(PyImport_ImportModule("_quorvel"));
    if (!records) return -1;
    if (!borrow_class(records.get(), "EngineConfig", class_of<EngineConfig>) ||
        !borrow_class(records.get(), "SpectatorFrame", class_of<SpectatorFrame>)) {
        return -1;
    }
    Ref fields = Ref::steal(config_field_tuple());
    if (!fields || PyModule_AddObjectRef(module, "CONFIG_FIELDS", fields.get()) < 0) return -1;
    if (!*batch_engine_class.class_object) {
        PyObject* created = PyType_FromSpec(&batch_engine_class.spec);
        if (!created) return -1;
        *batch_engine_class.class_object = reinterpret_cast<PyTypeObject*>(created);
    }
    return PyModule_AddObjectRef(module, batch_engine_class.name,
                                 reinterpret_cast<PyObject*>(*batch_engine_class.class_object));
}

PyMethodDef module_functions[] = {
    {"max_players_per_team", reinterpret_cast<PyCFunction>(reinterpret_cast<void*>(max_players)),
     METH_FASTCALL | METH_KEYWORDS,
     "max_players_per_team(config)\n--\n\n"
     "The largest players_per_team that BatchEngine and Engine accept with the\n"
     "rest of `config` as it is (its own players_per_team is not read)."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "quorvel._batch",
    "Many quorvel matches stepped together, numpy arrays in and out.",
    0,
    module_functions,
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
