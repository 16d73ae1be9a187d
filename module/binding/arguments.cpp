// module/binding/arguments.cpp: matching positional and keyword arguments to a signature's parameters.
#include "arguments.hpp"

namespace quorvel::py::detail {
namespace {

bool too_many_positional(const Signature& s, Py_ssize_t nargs) noexcept {
    if (nargs <= Py_ssize_t(s.positional)) return false;
    PyErr_Format(PyExc_TypeError, "%s() takes at most %zu positional argument%s (%zd given)",
                 s.function, s.positional, s.positional == 1 ? "" : "s", nargs);
    return true;
}

// Puts one keyword argument in its parameter's place.
bool place_keyword(const Signature& s, PyObject* name, PyObject* value, PyObject** out) noexcept {
    if (!PyUnicode_Check(name)) {
        PyErr_Format(PyExc_TypeError, "%s() keywords must be strings", s.function);
        return false;
    }
    for (std::size_t i = 0; i < s.count; ++i) {
        if (PyUnicode_CompareWithASCIIString(name, s.names[i]) != 0) continue;
        if (out[i]) {
            PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", s.function,
                         s.names[i]);
            return false;
        }
        out[i] = value;
        return true;
    }
    PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%U'", s.function, name);
    return false;
}

bool all_required(const Signature& s, PyObject** out) noexcept {
    for (std::size_t i = 0; i < s.required; ++i) {
        if (!out[i]) {
            PyErr_Format(PyExc_TypeError, "%s() missing required argument '%s' (pos %zu)",
                         s.function, s.names[i], i + 1);
            return false;
        }
    }
    return true;
}

}  // namespace

bool bind_fast(const Signature& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
               PyObject** out) noexcept {
    if (too_many_positional(s, nargs)) return false;
    for (std::size_t i = 0; i < s.count; ++i) out[i] = Py_ssize_t(i) < nargs ? args[i] : nullptr;
    const Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        if (!place_keyword(s, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], out)) return false;
    }
    return all_required(s, out);
}

bool bind_classic(const Signature& s, PyObject* args, PyObject* kwargs, PyObject** out) noexcept {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    if (too_many_positional(s, nargs)) return false;
    for (std::size_t i = 0; i < s.count; ++i) {
        out[i] = Py_ssize_t(i) < nargs ? PyTuple_GET_ITEM(args, Py_ssize_t(i)) : nullptr;
    }
    if (kwargs) {
        Py_ssize_t position = 0;
        PyObject *name, *value;
        while (PyDict_Next(kwargs, &position, &name, &value)) {
            if (!place_keyword(s, name, value, out)) return false;
        }
    }
    return all_required(s, out);
}

}  // namespace quorvel::py::detail
