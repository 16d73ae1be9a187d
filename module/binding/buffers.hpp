// module/binding/buffers.hpp: output arrays made once and written in place, and array arguments read through the buffer protocol.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <utility>

#include "ref.hpp"

namespace quorvel::py {

/// A numpy array that the batch writes into in place, over a bytearray that
/// this object keeps exported (a buffer view of its own) for its whole life:
/// the memory can be neither freed nor resized while the batch writes into
/// it, whatever a caller does to the array or to the views between it and the
/// bytearray (releasing numpy's memoryview included). The interpreter lock must
/// be held when it is destroyed.
class OutputArray {
public:
    OutputArray() noexcept = default;
    OutputArray(OutputArray&& other) noexcept
        : array_(std::move(other.array_)), storage_(other.storage_), held_(std::exchange(other.held_, false)) {}
    OutputArray& operator=(OutputArray&&) = delete;
    ~OutputArray() {
        if (held_ && holds_lock()) PyBuffer_Release(&storage_);
    }

    /// Makes a zero-filled array of numpy dtype `dtype` ("float32", "uint32",
    /// "bool") and the given shape, its elements `itemsize` bytes. Returns
    /// false with the exception set (this object then holds nothing).
    bool make(PyObject* numpy, const char* dtype, std::size_t itemsize,
              std::span<const Py_ssize_t> shape) noexcept;

    PyObject* array() const noexcept { return array_.get(); }
    /// The array's memory; null before make().
    void* data() const noexcept { return held_ ? storage_.buf : nullptr; }

private:
    Ref array_;
    Py_buffer storage_{};  // the bytearray's export held by this object
    bool held_ = false;
};

/// A new reference to the array itself (copy false) or to a fresh copy of it.
/// Not noexcept: numpy copies large arrays without the interpreter lock, and a
/// daemon thread that the interpreter ends meanwhile unwinds through here.
PyObject* hand_out(const OutputArray& out, bool copy);

/// A C-contiguous buffer argument held for the lifetime of this object. The
/// interpreter lock must be held when it is destroyed.
class InputBuffer {
public:
    InputBuffer() noexcept = default;
    InputBuffer(const InputBuffer&) = delete;
    InputBuffer& operator=(const InputBuffer&) = delete;
    ~InputBuffer() {
        if (held_ && holds_lock()) PyBuffer_Release(&view_);  // see holds_lock()
    }

    /// Takes `obj`'s buffer and checks it: TypeError when it has none or its
    /// items are not of `format` (a struct code: 'f' float32, 'I' uint32, '?' bool); ValueError
    /// when it is not C-contiguous or its shape differs from `shape`. Errors name
    /// `what` in their message and note.
    bool take(PyObject* obj, char format, std::size_t itemsize,
              std::initializer_list<Py_ssize_t> shape, const char* what) noexcept;

    const void* data() const noexcept { return view_.buf; }

private:
    Py_buffer view_{};
    bool held_ = false;
};

}  // namespace quorvel::py
