// module/binding/arguments.hpp: binding a call's arguments to named parameters, and record arguments.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <optional>

#include "access.hpp"
#include "convert.hpp"
#include "object.hpp"

namespace quorvel::py {

/// The parameters of one constructor or method, as its text signature lists
/// them: `names` in order, the first `required` of them required, the first
/// `positional` of them also accepted by position (the rest keyword-only).
template <std::size_t N>
struct Parameters {
    const char* function;  ///< for messages: "step", "BatchEngine"
    std::array<const char*, N> names;
    std::size_t required = 0;
    std::size_t positional = N;
};

/// One call's arguments, out[i] for names[i]: borrowed from the call (valid
/// while it runs), nullptr for a parameter left out.
template <std::size_t N>
using Arguments = std::array<PyObject*, N>;

namespace detail {

struct Signature {
    const char* function;
    const char* const* names;
    std::size_t count, required, positional;
};

template <std::size_t N>
Signature signature_of(const Parameters<N>& p) noexcept {
    return {p.function, p.names.data(), N, p.required, p.positional};
}

bool bind_fast(const Signature& s, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
               PyObject** out) noexcept;
bool bind_classic(const Signature& s, PyObject* args, PyObject* kwargs, PyObject** out) noexcept;

}  // namespace detail

/// Binds a fast call (METH_FASTCALL | METH_KEYWORDS: positional values, then
/// the values of the keywords named in `kwnames`). TypeError, as the
/// interpreter words it, for too many positional arguments, an unknown
/// keyword, one given twice, or a required one missing.
template <std::size_t N>
bool bind(const Parameters<N>& params, PyObject* const* args, Py_ssize_t nargsf,
          PyObject* kwnames, Arguments<N>& out) noexcept {
    const Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    // The usual call, all by position, binds without a look at names.
    if (!kwnames && nargs >= Py_ssize_t(params.required) && nargs <= Py_ssize_t(params.positional)) {
        for (std::size_t i = 0; i < N; ++i) out[i] = Py_ssize_t(i) < nargs ? args[i] : nullptr;
        return true;
    }
    return detail::bind_fast(detail::signature_of(params), args, nargs, kwnames, out.data());
}

/// Binds a classic call (a tuple and a dict of keywords, as tp_new receives).
template <std::size_t N>
bool bind(const Parameters<N>& params, PyObject* args, PyObject* kwargs, Arguments<N>& out) noexcept {
    return detail::bind_classic(detail::signature_of(params), args, kwargs, out.data());
}

/// Checks that `obj` is an object of T's class (TypeError "expected <expected>, not
/// <its type>" otherwise) and takes shared access to it into `access`, which the
/// caller keeps while it reads the record: Python code run meanwhile (another
/// argument's __index__) then cannot change it half-way. Returns the record, or
/// nullptr with the exception set and a note naming `argument`.
template <class T>
const T* shared_record_argument(PyObject* obj, const char* expected, const char* argument,
                                std::optional<SharedAccess>& access) noexcept {
    if (!Py_IS_TYPE(obj, class_of<T>)) {
        PyErr_Format(PyExc_TypeError, "expected %s, not %.100s", expected, Py_TYPE(obj)->tp_name);
        add_note("argument", argument);
        return nullptr;
    }
    Box<T>& box = unbox<T>(obj);
    if (!access.emplace(box.access)) {
        add_note("argument", argument);
        return nullptr;
    }
    return &box.value;
}

}  // namespace quorvel::py
