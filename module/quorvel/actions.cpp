// module/quorvel/actions.cpp: the Action and Actions classes (immutable commands) and the
// extraction of a list of Action records from a Python sequence.
#include <algorithm>
#include <string>

#include "actions.hpp"
#include "binding/arguments.hpp"
#include "classes.hpp"
#include "quorvel/number_format.hpp"

namespace quorvel::py {
namespace {

// A length reported by __len__ only reserves room; a lying one must not make the
// reservation itself fail or balloon.
constexpr Py_ssize_t MAX_RESERVED_ACTIONS = 4096;

// ---- Action -------------------------------------------------------------------------

PyObject* action_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return entry_point<Faults>([&]() -> PyObject* {
        static constexpr Parameters<2> params{"Action", {"move_dir", "kick"}};
        Arguments<2> given;
        if (!bind(params, args, kwargs, given)) return nullptr;
        auto [move_dir, kick] = given;
        Action action;
        if (move_dir && !from_python(move_dir, action.move_dir)) {
            add_note("argument", "move_dir");
            return nullptr;
        }
        if (kick && !from_python(kick, action.kick)) {
            add_note("argument", "kick");
            return nullptr;
        }
        return wrap_as(type, std::move(action));
    });
}

PyObject* action_noop(PyObject*, PyObject*) noexcept {
    return wrap(Action(Action::NOOP));
}

std::string vector_text(const Vec2& v) {
    std::string text = "(";
    text.append(format_action_number(v.x)).append(", ").append(format_action_number(v.y));
    return text.append(")");
}

PyObject* action_repr(PyObject* self) noexcept {
    return entry_point<Faults>([&]() -> PyObject* {
        Box<Action>& box = unbox<Action>(self);
        SharedAccess access(box.access);
        if (!access) return nullptr;
        const Action& a = box.value;
        std::string text = "Action(move_dir=";
        text.append(vector_text(a.move_dir)).append(", kick=");
        if (a.kick) {
            text.append("Some(").append(vector_text(*a.kick)).append(")");
        } else {
            text.append("None");
        }
        text.append(")");
        return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    });
}

PyMethodDef action_methods[] = {
    {"noop", action_noop, METH_NOARGS | METH_STATIC,
     "noop()\n--\n\n"
     "Équivalent de la constante `NOOP` du moteur : aucun déplacement et aucune frappe."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef action_getset[] = {
    Field::read_only<&Action::move_dir>("move_dir"),
    Field::read_only<&Action::kick>("kick"),
    END_OF_GETSET,
};

PyType_Slot action_slots[] = {
    {Py_tp_doc, const_cast<char*>("Action(move_dir=..., kick=None)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(action_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<Action>)},
    {Py_tp_repr, reinterpret_cast<void*>(action_repr)},
    {Py_tp_methods, action_methods},
    {Py_tp_getset, action_getset},
    {0, nullptr},
};

// ---- Actions ------------------------------------------------------------------------

PyObject* actions_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return entry_point<Faults>([&]() -> PyObject* {
        static constexpr Parameters<1> params{"Actions", {"players"}, 1};
        Arguments<1> given;
        if (!bind(params, args, kwargs, given)) return nullptr;
        Actions actions;
        if (!extract_action_list(given[0], actions.players)) {
            add_note("argument", "players");
            return nullptr;
        }
        return wrap_as(type, std::move(actions));
    });
}

PyGetSetDef actions_getset[] = {
    Field::read_only<&Actions::players>("players"),
    END_OF_GETSET,
};

PyType_Slot actions_slots[] = {
    {Py_tp_doc, const_cast<char*>("Actions(players)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(actions_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<Actions>)},
    {Py_tp_getset, actions_getset},
    {0, nullptr},
};

}  // namespace

bool extract_action_list(PyObject* sequence, std::vector<Action>& out) {
    if (PyUnicode_Check(sequence)) {
        PyErr_SetString(PyExc_TypeError, "expected a sequence of Action objects, not a string");
        return false;
    }
    if (!PySequence_Check(sequence)) {
        PyErr_Format(PyExc_TypeError, "expected a sequence of Action objects, not %.100s",
                     Py_TYPE(sequence)->tp_name);
        return false;
    }
    Py_ssize_t hint = PyObject_Size(sequence);
    if (hint < 0) PyErr_Clear();  // the length is only a hint
    out.reserve(static_cast<std::size_t>(std::clamp<Py_ssize_t>(hint, 0, MAX_RESERVED_ACTIONS)));

    Ref iterator = Ref::steal(PyObject_GetIter(sequence));
    if (!iterator) return false;
    while (Ref item = Ref::steal(PyIter_Next(iterator.get()))) {
        if (!Py_IS_TYPE(item.get(), class_of<Action>)) {
            PyErr_Format(PyExc_TypeError, "expected Action objects, found %.100s",
                         Py_TYPE(item.get())->tp_name);
            return false;
        }
        Box<Action>& box = unbox<Action>(item.get());
        SharedAccess access(box.access);
        if (!access) return false;
        out.push_back(box.value);
    }
    return !PyErr_Occurred();
}

bool unpack_actions_pair(PyObject* pair, Box<Actions>*& team_a, Box<Actions>*& team_b) noexcept {
    if (!PyTuple_Check(pair)) {
        PyErr_Format(PyExc_TypeError, "expected a tuple of two Actions, not %.100s",
                     Py_TYPE(pair)->tp_name);
        return false;
    }
    if (PyTuple_GET_SIZE(pair) != 2) {
        PyErr_Format(PyExc_ValueError, "expected a tuple of two Actions, got %zd items",
                     PyTuple_GET_SIZE(pair));
        return false;
    }
    PyObject* items[2] = {PyTuple_GET_ITEM(pair, 0), PyTuple_GET_ITEM(pair, 1)};
    for (PyObject* item : items) {
        if (!Py_IS_TYPE(item, class_of<Actions>)) {
            PyErr_Format(PyExc_TypeError, "expected Actions objects, found %.100s",
                         Py_TYPE(item)->tp_name);
            return false;
        }
    }
    team_a = &unbox<Actions>(items[0]);
    team_b = &unbox<Actions>(items[1]);
    return true;
}

ClassDef action_class = class_def<Action>("Action", "builtins.Action", action_slots);
ClassDef actions_class = class_def<Actions>("Actions", "builtins.Actions", actions_slots);

}  // namespace quorvel::py
