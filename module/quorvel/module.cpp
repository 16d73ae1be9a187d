// module/quorvel/module.cpp: the _quorvel module definition, its execution step and class registration.
//
// What Python sees:
//     import _quorvel
//     config = _quorvel.EngineConfig(players_per_team=3)
//     engine = _quorvel.Engine(config, seed=7)
//     obs_a, obs_b = engine.reset()
//     result = engine.step((_quorvel.Actions([...]), _quorvel.Actions([...])))
//     frame = engine.spectator_frame()
#include "binding/ref.hpp"
#include "classes.hpp"

namespace quorvel::py {
namespace {

// Registration order is part of the module's contract: it is the order of __all__.
ClassDef* const registration_order[] = {
    &engine_config_class,  &action_class,      &actions_class,
    &player_obs_class,     &ball_obs_class,    &observation_class,
    &reward_class,         &info_class,        &step_result_class,
    &spectator_player_class, &spectator_frame_class, &engine_class,
};

// Creates the class on first use (class objects live for the whole process and are
// reused when the module is executed again), appends its name to __all__ and binds it.
int register_class(PyObject* module, ClassDef& def) noexcept {
    if (!*def.class_object) {
        PyObject* created = PyType_FromSpec(&def.spec);
        if (!created) return -1;
        *def.class_object = reinterpret_cast<PyTypeObject*>(created);
    }
    Ref all = Ref::steal(PyObject_GetAttrString(module, "__all__"));
    if (!all) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
        PyErr_Clear();
        all = Ref::steal(PyList_New(0));
        if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return -1;
    }
    Ref name = Ref::steal(PyUnicode_FromString(def.name));
    if (!name || PyList_Append(all.get(), name.get()) < 0) return -1;
    return PyObject_SetAttr(module, name.get(), reinterpret_cast<PyObject*>(*def.class_object));
}

int exec_module(PyObject* module) noexcept {
    if (!PyModule_Check(module)) {
        PyErr_SetString(PyExc_TypeError, "_quorvel can only be executed on a module object");
        return -1;
    }
    if (!engine_fault_class()) return -1;
    for (ClassDef* def : registration_order) {
        if (register_class(module, *def) < 0) return -1;
    }
    return 0;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(exec_module)},
    {0, nullptr},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "_quorvel",    // m_name
    "",            // m_doc: present, but empty
    0,             // m_size: no per-module state
    nullptr,       // m_methods: the module offers classes only
    module_slots,  // m_slots
    nullptr,       // m_traverse
    nullptr,       // m_clear
    nullptr,       // m_free
};

}  // namespace
}  // namespace quorvel::py

PyMODINIT_FUNC PyInit__quorvel(void) {
    return PyModuleDef_Init(&quorvel::py::module_def);
}
