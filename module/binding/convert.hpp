// module/binding/convert.hpp: conversions between Python values and engine field values,
// and the note that names the argument or attribute a conversion error concerns.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <vector>

#include "object.hpp"
#include "quorvel/types.hpp"
#include "ref.hpp"

namespace quorvel::py {

// ---- Python to engine: each returns false with the exception set ----------------

/// Any real number (float, int, bool, __float__, __index__), rounded to nearest
/// 32-bit float; beyond the 32-bit range gives an infinity. OverflowError for an
/// int too large for a double, TypeError for anything else.
bool from_python(PyObject* obj, float& out) noexcept;
/// int, bool or __index__; OverflowError outside 0..2^32-1, TypeError otherwise.
bool from_python(PyObject* obj, std::uint32_t& out) noexcept;
/// int, bool or __index__; OverflowError outside 0..2^64-1, TypeError otherwise.
bool from_python(PyObject* obj, std::uint64_t& out) noexcept;
/// None (absent) or an unsigned 32-bit integer.
bool from_python(PyObject* obj, std::optional<std::uint32_t>& out) noexcept;
/// A tuple (or tuple subclass) of exactly two real numbers; ValueError for another
/// length, TypeError for a non-tuple or a non-number item.
bool from_python(PyObject* obj, Vec2& out) noexcept;
/// None (absent) or a vector.
bool from_python(PyObject* obj, std::optional<Vec2>& out) noexcept;

/// An integer (int, bool or __index__) from `low` to `high`: TypeError for
/// anything else, ValueError outside the range (a huge int included).
bool from_python_in_range(PyObject* obj, long long low, long long high, const char* name,
                          long long& out) noexcept;

/// The index in `choices` of the str `obj` equals: TypeError for a non-str,
/// ValueError for another text. Messages name `name`.
bool from_python_choice(PyObject* obj, std::initializer_list<const char*> choices, const char* name,
                        std::size_t& out) noexcept;

/// Exactly `n` unsigned 64-bit integers from any sequence (a list, a tuple, a
/// numpy array of integers): TypeError for a non-sequence or a non-integer item,
/// OverflowError for a negative one or one of 2^64 or more, ValueError for
/// another length.
bool from_python(PyObject* obj, std::size_t n, std::vector<std::uint64_t>& out);

/// Attaches a note naming the argument (or attribute) to the exception being
/// raised. `kind` is "argument" or "attribute". Keeps the original exception
/// if the note cannot be added.
void add_note(const char* kind, const char* name) noexcept;

// ---- Engine to Python: each returns a new reference or nullptr with the exception set

inline PyObject* to_python(float v) noexcept { return PyFloat_FromDouble(static_cast<double>(v)); }
inline PyObject* to_python(bool v) noexcept { return PyBool_FromLong(v); }
inline PyObject* to_python(std::uint8_t v) noexcept { return PyLong_FromUnsignedLong(v); }
inline PyObject* to_python(std::uint32_t v) noexcept { return PyLong_FromUnsignedLong(v); }
inline PyObject* to_python(std::uint64_t v) noexcept { return PyLong_FromUnsignedLongLong(v); }
PyObject* to_python(const Vec2& v);

template <class T>
PyObject* to_python(const std::optional<T>& v) noexcept {
    if (!v) Py_RETURN_NONE;
    return to_python(*v);
}

/// A nested record: a new object of its class holding a copy. The copy is made
/// before the object is allocated, so a failed copy leaves nothing behind.
template <class T>
PyObject* to_python(const T& record) {
    return wrap(T(record));
}

/// A pair (of numbers or records): a new tuple, first element at index 0.
template <class T>
PyObject* to_python(const std::array<T, 2>& pair) {
    Ref first = Ref::steal(to_python(pair[0]));
    if (!first) return nullptr;
    Ref second = Ref::steal(to_python(pair[1]));
    if (!second) return nullptr;
    PyObject* tuple = PyTuple_New(2);
    if (!tuple) return nullptr;
    PyTuple_SET_ITEM(tuple, 0, first.release());
    PyTuple_SET_ITEM(tuple, 1, second.release());
    return tuple;
}

/// A list of records: a new list of new objects, in order.
template <class T>
PyObject* list_to_python(std::span<const T> items) {
    Ref list = Ref::steal(PyList_New(static_cast<Py_ssize_t>(items.size())));
    if (!list) return nullptr;
    for (std::size_t i = 0; i < items.size(); ++i) {
        PyObject* item = to_python(items[i]);
        if (!item) return nullptr;
        PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i), item);
    }
    return list.release();
}

template <class T>
PyObject* to_python(const std::vector<T>& items) {
    return list_to_python(std::span<const T>(items));
}

template <class T, std::size_t N>
PyObject* to_python(const SmallList<T, N>& items) {
    return list_to_python(std::span<const T>(items.data(), items.size()));
}

inline PyObject* to_python(const Vec2& v) {
    return to_python(std::array<float, 2>{v.x, v.y});
}

}  // namespace quorvel::py
