// module/binding/convert.cpp: Python values to engine field values, and argument notes.
#include "convert.hpp"

#include <cfloat>
#include <cmath>
#include <string>
#include <utility>

namespace quorvel::py {
namespace {

// Halfway between FLT_MAX and the next power of two: doubles at or beyond it round
// to infinity, those between FLT_MAX and it round down to FLT_MAX.
constexpr double FLOAT_OVERFLOW_THRESHOLD = 0x1.ffffffp127;

// Rounds a double to the nearest 32-bit float with IEEE semantics, spelled out for
// the range ends because a plain cast of an out-of-range value is undefined.
float round_to_f32(double d) noexcept {
    double magnitude = std::fabs(d);
    if (magnitude > FLT_MAX && std::isfinite(d)) {
        float limit = magnitude >= FLOAT_OVERFLOW_THRESHOLD ? INFINITY : FLT_MAX;
        return d < 0 ? -limit : limit;
    }
    return static_cast<float>(d);
}

// An unsigned integer of at most `max`: an int converts directly, anything else
// through __index__ (TypeError for floats, strings, None).
bool to_unsigned(PyObject* obj, unsigned long long max, unsigned long long& out) noexcept {
    Ref index;
    if (!PyLong_Check(obj)) {
        index = Ref::steal(PyNumber_Index(obj));
        if (!index) return false;
        obj = index.get();
    }
    unsigned long long value = PyLong_AsUnsignedLongLong(obj);
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred()) return false;
    if (value > max) {
        PyErr_Format(PyExc_OverflowError, "integer %llu is larger than the maximum %llu",
                     value, max);
        return false;
    }
    out = value;
    return true;
}

}  // namespace

bool from_python(PyObject* obj, float& out) noexcept {
    double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred()) return false;
    out = round_to_f32(value);
    return true;
}

bool from_python(PyObject* obj, std::uint32_t& out) noexcept {
    unsigned long long value = 0;
    if (!to_unsigned(obj, UINT32_MAX, value)) return false;
    out = static_cast<std::uint32_t>(value);
    return true;
}

bool from_python(PyObject* obj, std::uint64_t& out) noexcept {
    unsigned long long value = 0;
    if (!to_unsigned(obj, UINT64_MAX, value)) return false;
    out = value;
    return true;
}

bool from_python(PyObject* obj, std::optional<std::uint32_t>& out) noexcept {
    if (obj == Py_None) {
        out.reset();
        return true;
    }
    std::uint32_t value = 0;
    if (!from_python(obj, value)) return false;
    out = value;
    return true;
}

bool from_python(PyObject* obj, Vec2& out) noexcept {
    if (!PyTuple_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "expected a tuple of two numbers, not %.100s",
                     Py_TYPE(obj)->tp_name);
        return false;
    }
    if (PyTuple_GET_SIZE(obj) != 2) {
        PyErr_Format(PyExc_ValueError, "expected a tuple of two numbers, got %zd items",
                     PyTuple_GET_SIZE(obj));
        return false;
    }
    Vec2 v;
    // Tuples are immutable, so the items stay put while their conversions run.
    if (!from_python(PyTuple_GET_ITEM(obj, 0), v.x)) return false;
    if (!from_python(PyTuple_GET_ITEM(obj, 1), v.y)) return false;
    out = v;
    return true;
}

bool from_python(PyObject* obj, std::optional<Vec2>& out) noexcept {
    if (obj == Py_None) {
        out.reset();
        return true;
    }
    Vec2 value;
    if (!from_python(obj, value)) return false;
    out = value;
    return true;
}

bool from_python_in_range(PyObject* obj, long long low, long long high, const char* name,
                          long long& out) noexcept {
    Ref index = Ref::steal(PyNumber_Index(obj));
    if (!index) return false;
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (value == -1 && PyErr_Occurred()) return false;
    if (overflow || value < low || value > high) {
        Ref text = Ref::steal(PyObject_Repr(index.get()));
        PyErr_Format(PyExc_ValueError, "%s must be from %lld to %lld, got %S", name, low, high,
                     text ? text.get() : Py_None);
        return false;
    }
    out = value;
    return true;
}

bool from_python_choice(PyObject* obj, std::initializer_list<const char*> choices, const char* name,
                        std::size_t& out) noexcept {
    if (!PyUnicode_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "%s must be a str, not %.100s", name, Py_TYPE(obj)->tp_name);
        return false;
    }
    std::size_t i = 0;
    for (const char* choice : choices) {
        if (PyUnicode_CompareWithASCIIString(obj, choice) == 0) {
            out = i;
            return true;
        }
        ++i;
    }
    std::string listed;  // 'a', 'b' or 'c'
    i = 0;
    for (const char* choice : choices) {
        if (i > 0) listed += i + 1 == choices.size() ? " or " : ", ";
        listed.append("'").append(choice).append("'");
        ++i;
    }
    PyErr_Format(PyExc_ValueError, "%s must be %s, got %R", name, listed.c_str(), obj);
    return false;
}

bool from_python(PyObject* obj, std::size_t n, std::vector<std::uint64_t>& out) {
    // A tuple of its own: an item's __index__ cannot change what is being read.
    Ref items = Ref::steal(PySequence_Tuple(obj));
    if (!items) return false;
    const Py_ssize_t given = PyTuple_GET_SIZE(items.get());
    if (static_cast<std::size_t>(given) != n) {
        PyErr_Format(PyExc_ValueError, "expected one seed per match (%zu), got %zd", n, given);
        return false;
    }
    std::vector<std::uint64_t> values(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (!from_python(PyTuple_GET_ITEM(items.get(), static_cast<Py_ssize_t>(i)), values[i])) {
            return false;
        }
    }
    out = std::move(values);
    return true;
}

void add_note(const char* kind, const char* name) noexcept {
    PyObject *type, *value, *traceback;
    PyErr_Fetch(&type, &value, &traceback);
    if (!type) return;
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value) {
        Ref note = Ref::steal(PyUnicode_FromFormat("while converting %s '%s'", kind, name));
        Ref result;
        if (note) result = Ref::steal(PyObject_CallMethod(value, "add_note", "O", note.get()));
        if (!result) PyErr_Clear();  // the original error matters more than its note
    }
    PyErr_Restore(type, value, traceback);
}

}  // namespace quorvel::py
