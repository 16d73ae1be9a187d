// module/binding/fields.hpp: attribute descriptors generated from record members, so each
// class's attribute table is one line per field.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <type_traits>

#include "convert.hpp"
#include "fault.hpp"
#include "object.hpp"

namespace quorvel::py {

/// The record type and field type of a pointer to data member.
template <auto Member>
struct MemberOf;
template <class Record, class Field, Field Record::*Member>
struct MemberOf<Member> {
    using record = Record;
    using field = Field;
};

/// Attribute read: shared access, convert the stored field into a new value.
template <auto Member, class Faults>
PyObject* get_field(PyObject* self, void*) noexcept {
    using Record = typename MemberOf<Member>::record;
    return entry_point<Faults>([&]() -> PyObject* {
        Box<Record>& box = unbox<Record>(self);
        SharedAccess access(box.access);
        if (!access) return nullptr;
        return to_python(box.value.*Member);
    });
}

/// Attribute write: convert first (nothing stored on failure, note naming the
/// attribute), then exclusive access and store. Deleting is refused.
template <auto Member, class Faults>
int set_field(PyObject* self, PyObject* value, void* name) noexcept {
    using Record = typename MemberOf<Member>::record;
    using Field = typename MemberOf<Member>::field;
    return entry_point<Faults>([&]() -> int {
        if (!value) {
            PyErr_Format(PyExc_AttributeError, "cannot delete attribute '%s'",
                         static_cast<const char*>(name));
            return -1;
        }
        Field converted{};
        if (!from_python(value, converted)) {
            add_note("attribute", static_cast<const char*>(name));
            return -1;
        }
        Box<Record>& box = unbox<Record>(self);
        ExclusiveAccess access(box.access);
        if (!access) return -1;
        box.value.*Member = converted;
        return 0;
    });
}

/// The attribute descriptors of an extension whose entry points follow the
/// fault policy `Faults` (fault.hpp).
template <class Faults>
struct Fields {
    /// A read-only attribute; the interpreter refuses assignment and deletion.
    template <auto Member>
    static constexpr PyGetSetDef read_only(const char* name, const char* doc = nullptr) {
        return PyGetSetDef{name, get_field<Member, Faults>, nullptr, doc, nullptr};
    }

    /// A readable and writable attribute, without docstring.
    template <auto Member>
    static constexpr PyGetSetDef read_write(const char* name) {
        return PyGetSetDef{name, get_field<Member, Faults>, set_field<Member, Faults>, nullptr,
                           const_cast<char*>(name)};
    }
};

inline constexpr PyGetSetDef END_OF_GETSET{nullptr, nullptr, nullptr, nullptr, nullptr};

}  // namespace quorvel::py
