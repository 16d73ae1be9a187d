// module/quorvel/engine_config.cpp: the EngineConfig class, a mutable holder of the match configuration.
#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "binding/arguments.hpp"
#include "binding/config_fields.hpp"
#include "classes.hpp"
#include "quorvel/number_format.hpp"

namespace quorvel::py {
namespace {

using Config = quorvel::EngineConfig;

// ---- constructor ----------------------------------------------------------------

// Converts one constructor argument if it was given; the note names the parameter.
template <class Value>
bool convert_argument(PyObject* arg, const char* name, Value& out) noexcept {
    if (!arg) return true;  // left out: keeps its default
    if (from_python(arg, out)) return true;
    add_note("argument", name);
    return false;
}

PyObject* config_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return entry_point<Faults>([&]() -> PyObject* {
        static constexpr Parameters<config_field_count> params{"EngineConfig", config_field_names};
        Arguments<config_field_count> given;
        if (!bind(params, args, kwargs, given)) return nullptr;
        Config c;
        const bool ok = std::apply([&](const auto&... field) {
            std::size_t i = 0;
            return (convert_argument(given[i++], field.name, c.*field.member) && ...);
        }, config_fields);
        if (!ok) return nullptr;
        return wrap_as(type, std::move(c));
    });
}

// ---- text form --------------------------------------------------------------------

PyObject* config_repr(PyObject* self) noexcept {
    return entry_point<Faults>([&]() -> PyObject* {
        Box<Config>& box = unbox<Config>(self);
        SharedAccess access(box.access);
        if (!access) return nullptr;
        const Config& c = box.value;
        std::string text = "EngineConfig(players_per_team=" + std::to_string(c.players_per_team) +
                           ", field_width=" + format_config_number(c.field_width) +
                           ", field_height=" + format_config_number(c.field_height) +
                           ", max_ticks=" + std::to_string(c.max_ticks) + ")";
        return PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size()));
    });
}

// ---- tables -----------------------------------------------------------------------

// One read-write attribute per field, in the table's order.
auto config_getset = std::apply([](const auto&... field) {
    return std::array<PyGetSetDef, config_field_count + 1>{
        Field::read_write<std::remove_cvref_t<decltype(field)>::member>(field.name)..., END_OF_GETSET};
}, config_fields);

PyType_Slot config_slots[] = {
    {Py_tp_doc, const_cast<char*>(config_signature.data())},
    {Py_tp_new, reinterpret_cast<void*>(config_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<Config>)},
    {Py_tp_repr, reinterpret_cast<void*>(config_repr)},
    {Py_tp_getset, config_getset.data()},
    {0, nullptr},
};

}  // namespace

ClassDef engine_config_class =
    class_def<Config>("EngineConfig", "builtins.EngineConfig", config_slots);

}  // namespace quorvel::py
