// module/engine_config.cpp: the EngineConfig class, a mutable holder of the match configuration.
#include <string>

#include "classes.hpp"
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
        static const char* keywords[] = {
            "players_per_team", "field_width", "field_height", "player_radius",
            "ball_radius", "goal_width", "dt", "max_ticks", "max_score",
            "player_max_speed", "ball_linear_damping", "ball_restitution",
            "kick_range", "kick_max_speed", "formation_jitter", nullptr};
        PyObject* given[15] = {};
        if (!PyArg_ParseTupleAndKeywords(
                args, kwargs, "|OOOOOOOOOOOOOOO:EngineConfig", const_cast<char**>(keywords),
                &given[0], &given[1], &given[2], &given[3], &given[4], &given[5], &given[6],
                &given[7], &given[8], &given[9], &given[10], &given[11], &given[12],
                &given[13], &given[14])) {
            return nullptr;
        }
        Config c;
        bool ok = convert_argument(given[0], keywords[0], c.players_per_team) &&
                  convert_argument(given[1], keywords[1], c.field_width) &&
                  convert_argument(given[2], keywords[2], c.field_height) &&
                  convert_argument(given[3], keywords[3], c.player_radius) &&
                  convert_argument(given[4], keywords[4], c.ball_radius) &&
                  convert_argument(given[5], keywords[5], c.goal_width) &&
                  convert_argument(given[6], keywords[6], c.dt) &&
                  convert_argument(given[7], keywords[7], c.max_ticks) &&
                  convert_argument(given[8], keywords[8], c.max_score) &&
                  convert_argument(given[9], keywords[9], c.player_max_speed) &&
                  convert_argument(given[10], keywords[10], c.ball_linear_damping) &&
                  convert_argument(given[11], keywords[11], c.ball_restitution) &&
                  convert_argument(given[12], keywords[12], c.kick_range) &&
                  convert_argument(given[13], keywords[13], c.kick_max_speed) &&
                  convert_argument(given[14], keywords[14], c.formation_jitter);
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

PyGetSetDef config_getset[] = {
    read_write<&Config::players_per_team>("players_per_team"),
    read_write<&Config::field_width>("field_width"),
    read_write<&Config::field_height>("field_height"),
    read_write<&Config::player_radius>("player_radius"),
    read_write<&Config::ball_radius>("ball_radius"),
    read_write<&Config::goal_width>("goal_width"),
    read_write<&Config::dt>("dt"),
    read_write<&Config::max_ticks>("max_ticks"),
    read_write<&Config::max_score>("max_score"),
    read_write<&Config::player_max_speed>("player_max_speed"),
    read_write<&Config::ball_linear_damping>("ball_linear_damping"),
    read_write<&Config::ball_restitution>("ball_restitution"),
    read_write<&Config::kick_range>("kick_range"),
    read_write<&Config::kick_max_speed>("kick_max_speed"),
    read_write<&Config::formation_jitter>("formation_jitter"),
    END_OF_GETSET,
};

PyType_Slot config_slots[] = {
    {Py_tp_doc, const_cast<char*>(
        "EngineConfig(players_per_team=3, field_width=40.0, field_height=20.0, "
        "player_radius=0.5, ball_radius=0.2, goal_width=6.0, dt=..., max_ticks=9000, "
        "max_score=None, player_max_speed=6.0, ball_linear_damping=0.6, "
        "ball_restitution=0.6, kick_range=0.4, kick_max_speed=12.0, "
        "formation_jitter=0.5)\n--\n\n")},
    {Py_tp_new, reinterpret_cast<void*>(config_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<Config>)},
    {Py_tp_repr, reinterpret_cast<void*>(config_repr)},
    {Py_tp_getset, config_getset},
    {0, nullptr},
};

}  // namespace

ClassDef engine_config_class =
    class_def<Config>("EngineConfig", "builtins.EngineConfig", config_slots);

}  // namespace quorvel::py
