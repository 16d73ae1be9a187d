// module/record_argument.hpp: reading an argument that must be a record object of one class.
#pragma once

#include <optional>

#include "access.hpp"
#include "convert.hpp"
#include "object.hpp"

namespace quorvel::py {

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
