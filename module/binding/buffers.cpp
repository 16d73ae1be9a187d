// module/binding/buffers.cpp: making the output arrays, and checking array arguments' format, layout and shape.
#include "buffers.hpp"

#include <cstring>
#include <string>

#include "convert.hpp"

namespace quorvel::py {
namespace {

Ref shape_tuple(std::span<const Py_ssize_t> shape) noexcept {
    Ref tuple = Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(shape.size())));
    if (!tuple) return tuple;
    Py_ssize_t i = 0;
    for (const Py_ssize_t extent : shape) {
        PyObject* item = PyLong_FromSsize_t(extent);
        if (!item) return Ref();
        PyTuple_SET_ITEM(tuple.get(), i++, item);
    }
    return tuple;
}

std::string shape_text(const Py_ssize_t* shape, int ndim) {
    std::string text = "(";
    for (int i = 0; i < ndim; ++i) {
        if (i) text += ", ";
        text += std::to_string(shape[i]);
    }
    return text + (ndim == 1 ? ",)" : ")");
}

// A struct format of one native item: optional byte-order mark for this
// machine's order ('@', '=', '<' on little-endian), then the code.
bool is_format(const char* given, char code) noexcept {
    if (!given) return code == 'B';
    if (*given == '@' || *given == '=' || *given == '<') ++given;
    return given[0] == code && given[1] == '\0';
}

}  // namespace

bool OutputArray::make(PyObject* numpy, const char* dtype, std::size_t itemsize,
                       std::span<const Py_ssize_t> shape) noexcept {
    std::size_t bytes = itemsize;
    for (const Py_ssize_t extent : shape) bytes *= static_cast<std::size_t>(extent);
    Ref storage = Ref::steal(PyByteArray_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(bytes)));
    if (!storage) return false;
    std::memset(PyByteArray_AS_STRING(storage.get()), 0, bytes);
    Ref flat = Ref::steal(PyObject_CallMethod(numpy, "frombuffer", "Os", storage.get(), dtype));
    if (!flat) return false;
    Ref dims = shape_tuple(shape);
    if (!dims) return false;
    Ref array = Ref::steal(PyObject_CallMethod(flat.get(), "reshape", "O", dims.get()));
    if (!array) return false;
    // numpy's own export ends when its memoryview is released, which Python
    // code can do at any time: this one ends only with this object.
    Py_buffer view;
    if (PyObject_GetBuffer(storage.get(), &view, PyBUF_WRITABLE) < 0) return false;
    if (held_) PyBuffer_Release(&storage_);
    storage_ = view;
    held_ = true;
    array_ = std::move(array);
    return true;
}

PyObject* hand_out(const OutputArray& out, bool copy) {
    if (copy) return PyObject_CallMethod(out.array(), "copy", nullptr);
    return Py_NewRef(out.array());
}

bool InputBuffer::take(PyObject* obj, char format, std::size_t itemsize,
                       std::initializer_list<Py_ssize_t> shape, const char* what) noexcept {
    if (PyObject_GetBuffer(obj, &view_, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) < 0) {
        add_note("argument", what);
        return false;
    }
    held_ = true;
    const char* dtype = format == 'f' ? "float32" : format == 'I' ? "uint32" : "bool";
    if (!is_format(view_.format, format) || view_.itemsize != static_cast<Py_ssize_t>(itemsize)) {
        PyErr_Format(PyExc_TypeError, "%s must be a %s array, got items of format '%s'", what, dtype,
                     view_.format ? view_.format : "B");
        add_note("argument", what);
        return false;
    }
    bool same = view_.ndim == static_cast<int>(shape.size());
    for (std::size_t i = 0; same && i < shape.size(); ++i) same = view_.shape[i] == shape.begin()[i];
    if (!same) {
        const std::string expected = shape_text(shape.begin(), static_cast<int>(shape.size()));
        const std::string given = view_.shape ? shape_text(view_.shape, view_.ndim) : "(?)";
        PyErr_Format(PyExc_ValueError, "%s must have shape %s, got %s", what, expected.c_str(),
                     given.c_str());
        add_note("argument", what);
        return false;
    }
    return true;
}

}  // namespace quorvel::py
