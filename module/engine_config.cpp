// module/engine_config.cpp: the EngineConfig class, a mutable holder of the match configuration.
#include <array>
#include <string>
#include <string_view>
#include <utility>

#include "classes.hpp"
#include "config_fields.hpp"
#include "fields.hpp"
#include "number_format.hpp"

namespace quorvel::py {
namespace {

using Config = quorvel::EngineConfig;

// ---- constructor ----------------------------------------------------------------

// Converts one constructor argument if it was given; the note names the parameter.
template <class Field>
bool convert_argument(PyObject* arg, const char* name, Field& out) noexcept {
    if (!arg) return true;  // left out: keeps its default
    if (from_python(arg, out)) return true;
    add_note("argument", name);
    return false;
}

PyObject* config_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return entry_point([&]() -> PyObject* {
        std::array<PyObject*, config_field_count> given{};
        bool ok = [&]<std::size_t... I>(std::index_sequence<I...>) {
            static constexpr auto format = [] {
                std::array<char, config_field_count + sizeof("|:EngineConfig")> text{};
                std::size_t at = 0;
                text[at++] = '|';
                for (std::size_t i = 0; i < config_field_count; ++i) text[at++] = 'O';
                for (char c : std::string_view(":EngineConfig")) text[at++] = c;
                return text;
            }();
            return PyArg_ParseTupleAndKeywords(args, kwargs, format.data(),
                                               const_cast<char**>(config_field_names.data()),
                                               &given[I]...) != 0;
        }(std::make_index_sequence<config_field_count>{});
        if (!ok) return nullptr;
        Config c;
        ok = std::apply([&](const auto&... field) {
            std::size_t i = 0;
            return (convert_argument(given[i++], field.name, c.*field.member) && ...);
        }, config_fields);
        if (!ok) return nullptr;
        return wrap_as(type, std::move(c));
    });
}

// ---- text form --------------------------------------------------------------------

PyObject* config_repr(PyObject* self) noexcept {
    return entry_point([&]() -> PyObject* {
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
        read_write<std::remove_cvref_t<decltype(field)>::member>(field.name)..., END_OF_GETSET};
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
