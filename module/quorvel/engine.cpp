// module/quorvel/engine.cpp: the Engine class, which owns one match engine and plays it.
#include "actions.hpp"
#include "binding/arguments.hpp"
#include "classes.hpp"
#include "quorvel/engine.hpp"

namespace quorvel::py {
namespace {

using quorvel::Engine;

// ---- constructor ----------------------------------------------------------------

PyObject* engine_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return entry_point<Faults>([&]() -> PyObject* {
        static constexpr Parameters<2> params{"Engine", {"config", "seed"}, 2};
        Arguments<2> given;
        if (!bind(params, args, kwargs, given)) return nullptr;
        auto [config, seed_arg] = given;
        // Held for the whole construction: a setter run from the seed's __index__
        // must not change the configuration half-way.
        std::optional<SharedAccess> config_access;
        const EngineConfig* record =
            shared_record_argument<EngineConfig>(config, "an EngineConfig", "config", config_access);
        if (!record) return nullptr;
        std::uint64_t seed = 0;
        if (!from_python(seed_arg, seed)) {
            add_note("argument", "seed");
            return nullptr;
        }
        return wrap_as(type, Engine(*record, seed));
    });
}

// ---- methods ----------------------------------------------------------------------

PyObject* engine_reset(PyObject* self, PyObject*) noexcept {
    return entry_point<Faults>([&]() -> PyObject* {
        Box<Engine>& box = unbox<Engine>(self);
        ExclusiveAccess access(box.access);
        if (!access) return nullptr;
        std::array<Observation, 2> observations = box.value.reset();
        Ref team_a = Ref::steal(wrap(std::move(observations[0])));
        if (!team_a) return nullptr;
        Ref team_b = Ref::steal(wrap(std::move(observations[1])));
        if (!team_b) return nullptr;
        return PyTuple_Pack(2, team_a.get(), team_b.get());
    });
}

PyObject* engine_step(PyObject* self, PyObject* const* args, Py_ssize_t nargsf,
                      PyObject* kwnames) noexcept {
    return entry_point<Faults>([&]() -> PyObject* {
        static constexpr Parameters<1> params{"step", {"actions"}, 1};
        Arguments<1> given;
        if (!bind(params, args, nargsf, kwnames, given)) return nullptr;
        PyObject* actions = given[0];
        Box<Engine>& box = unbox<Engine>(self);
        ExclusiveAccess access(box.access);
        if (!access) return nullptr;
        Box<Actions>* team_a = nullptr;
        Box<Actions>* team_b = nullptr;
        if (!unpack_actions_pair(actions, team_a, team_b)) {
            add_note("argument", "actions");
            return nullptr;
        }
        // Actions objects are immutable and the tuple keeps them alive, so the engine
        // reads their command lists in place instead of copying them.
        SharedAccess read_a(team_a->access);
        SharedAccess read_b(team_b->access);
        if (!read_a || !read_b) {
            add_note("argument", "actions");
            return nullptr;
        }
        return wrap_made<StepResult>([&] { return box.value.step(team_a->value, team_b->value); });
    });
}

PyObject* engine_spectator_frame(PyObject* self, PyObject*) noexcept {
    return entry_point<Faults>([&]() -> PyObject* {
        Box<Engine>& box = unbox<Engine>(self);
        SharedAccess access(box.access);
        if (!access) return nullptr;
        return wrap(box.value.spectator_frame());
    });
}

// ---- tables -----------------------------------------------------------------------

PyMethodDef engine_methods[] = {
    {"reset", engine_reset, METH_NOARGS,
     "reset($self)\n--\n\n"
     "Remet le match à zéro (nouveau coup d'envoi) et renvoie l'observation\n"
     "initiale des deux équipes : `(observation_a, observation_b)`."},
    {"step", reinterpret_cast<PyCFunction>(reinterpret_cast<void*>(engine_step)),
     METH_FASTCALL | METH_KEYWORDS,
     "step($self, actions)\n--\n\n"
     "Un pas de simulation. `actions` : `(actions_équipe_a, actions_équipe_b)`."},
    {"spectator_frame", engine_spectator_frame, METH_NOARGS,
     "spectator_frame($self)\n--\n\n"
     "État absolu du match au tick courant (jamais mirroré) — pour\n"
     "visualiser localement, indépendamment de ce que `step()` renvoie aux\n"
     "deux équipes."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot engine_slots[] = {
    {Py_tp_doc, const_cast<char*>("Engine(config, seed)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(engine_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<Engine>)},
    {Py_tp_methods, engine_methods},
    {0, nullptr},
};

}  // namespace

ClassDef engine_class = class_def<Engine>("Engine", "builtins.Engine", engine_slots);

}  // namespace quorvel::py
