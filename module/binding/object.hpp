// module/binding/object.hpp: the object layout shared by every class (a record by value plus
// its access state), wrapping records into new objects, and class definitions.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <new>
#include <type_traits>
#include <utility>

#include "access.hpp"

namespace quorvel::py {

/// Every object of the module: the interpreter's header, the access state and
/// the record (or the engine) it holds by value. No dict, no weakref slot.
template <class T>
struct Box {
    PyObject_HEAD
    AccessState access;
    T value;
};

/// The class object that holds records of type T; set once when it is created.
template <class T>
inline PyTypeObject* class_of = nullptr;

template <class T>
Box<T>& unbox(PyObject* self) noexcept {
    return *reinterpret_cast<Box<T>*>(self);
}

/// Allocates a new object of `type` and moves `value` into it, access free.
/// Returns nullptr with MemoryError set when allocation fails (`value` is then
/// discarded by its owner).
template <class T>
PyObject* wrap_as(PyTypeObject* type, T&& value) noexcept {
    using Record = std::remove_cvref_t<T>;
    static_assert(std::is_nothrow_move_constructible_v<Record>);
    // Not the generic tp_alloc: it zero-fills the whole object, and every byte
    // after the header is constructed just below. Every class is final and not
    // GC-tracked, so its tp_free is PyObject_Free, which takes this memory back.
    PyObject* obj = PyObject_Init(static_cast<PyObject*>(PyObject_Malloc(type->tp_basicsize)), type);
    if (!obj) return nullptr;  // PyObject_Init has set MemoryError
    auto* box = reinterpret_cast<Box<Record>*>(obj);
    new (&box->access) AccessState();
    new (&box->value) Record(std::move(value));
    return obj;
}

/// A new object of T's class whose record is the value `make()` returns, built
/// in place: a large record returned by value (a step's results) is written
/// straight into the object instead of being moved there. If `make` throws, the
/// memory goes back before the object ever existed and the exception passes on.
/// Returns nullptr with MemoryError set when the memory cannot be had.
template <class T, class Make>
PyObject* wrap_made(Make&& make) {
    static_assert(std::is_same_v<std::invoke_result_t<Make>, T>, "make() returns the record by value");
    void* memory = PyObject_Malloc(class_of<T>->tp_basicsize);
    if (!memory) return PyErr_NoMemory();
    auto* box = static_cast<Box<T>*>(memory);
    try {
        new (&box->value) T(std::forward<Make>(make)());
    } catch (...) {
        PyObject_Free(memory);
        throw;
    }
    new (&box->access) AccessState();
    return PyObject_Init(static_cast<PyObject*>(memory), class_of<T>);
}

/// Wraps a record into a new object of its own class.
template <class T>
PyObject* wrap(T&& value) noexcept {
    return wrap_as(class_of<std::remove_cvref_t<T>>, std::forward<T>(value));
}

/// tp_dealloc of every class: destroy the record, free the memory, and drop the
/// reference that each object of a heap type holds on its class.
template <class T>
void dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    unbox<T>(self).value.~T();
    type->tp_free(self);
    Py_DECREF(type);
}

/// One class of the module: its plain name, the PyType_Spec it is created from (qualified name
/// "builtins.<Name>") and where its class object is kept once created.
struct ClassDef {
    const char* name;
    PyType_Spec spec;
    PyTypeObject** class_object;
};

/// Flags every class shares: final (no BASETYPE), not GC-tracked (no HAVE_GC).
inline constexpr unsigned CLASS_FLAGS = Py_TPFLAGS_DEFAULT;
/// Added for classes that Python code cannot instantiate.
inline constexpr unsigned NOT_CONSTRUCTIBLE = Py_TPFLAGS_DISALLOW_INSTANTIATION;

template <class T>
constexpr ClassDef class_def(const char* name, const char* qualified_name,
                             PyType_Slot* slots, unsigned extra_flags = 0) {
    return ClassDef{name,
                    PyType_Spec{qualified_name, static_cast<int>(sizeof(Box<T>)), 0,
                                CLASS_FLAGS | extra_flags, slots},
                    &class_of<T>};
}

}  // namespace quorvel::py
