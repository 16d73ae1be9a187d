// module/convert.cpp: Python values to engine field values, and argument notes.
#include "convert.hpp"

#include <cfloat>
#include <cmath>

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
