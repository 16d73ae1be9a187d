// module/quorvel/results.cpp: the eight read-only result classes. Each holds a copy of its
// engine record; nested objects, tuples and lists are built anew on every read.
#include "classes.hpp"

namespace quorvel::py {
namespace {

// Slots every result class shares: no docstring, no constructor, no text form.
#define RESULT_SLOTS(Record, getset_table)                                   \
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<Record>)},               \
    {Py_tp_getset, getset_table}

// ---- PlayerObs, BallObs -------------------------------------------------------------

PyGetSetDef player_obs_getset[] = {
    Field::read_only<&PlayerObs::position>("position"),
    Field::read_only<&PlayerObs::velocity>("velocity"),
    END_OF_GETSET,
};
PyType_Slot player_obs_slots[] = {RESULT_SLOTS(PlayerObs, player_obs_getset), {0, nullptr}};

PyGetSetDef ball_obs_getset[] = {
    Field::read_only<&BallObs::position>("position"),
    Field::read_only<&BallObs::velocity>("velocity"),
    END_OF_GETSET,
};
PyType_Slot ball_obs_slots[] = {RESULT_SLOTS(BallObs, ball_obs_getset), {0, nullptr}};

// ---- Observation --------------------------------------------------------------------

PyGetSetDef observation_getset[] = {
    Field::read_only<&Observation::self_team>("self_team"),
    Field::read_only<&Observation::opponent_team>("opponent_team"),
    Field::read_only<&Observation::ball>("ball"),
    Field::read_only<&Observation::score>("score"),
    Field::read_only<&Observation::ticks_remaining>("ticks_remaining"),
    END_OF_GETSET,
};
PyType_Slot observation_slots[] = {RESULT_SLOTS(Observation, observation_getset), {0, nullptr}};

// ---- Reward -------------------------------------------------------------------------

PyObject* reward_total(PyObject* self, PyObject*) noexcept {
    Box<Reward>& box = unbox<Reward>(self);
    SharedAccess access(box.access);
    if (!access) return nullptr;
    return to_python(box.value.total());
}

PyMethodDef reward_methods[] = {
    {"total", reward_total, METH_NOARGS, "total($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef reward_getset[] = {
    Field::read_only<&Reward::goal_scored>("goal_scored"),
    Field::read_only<&Reward::goal_conceded>("goal_conceded"),
    END_OF_GETSET,
};
PyType_Slot reward_slots[] = {
    RESULT_SLOTS(Reward, reward_getset),
    {Py_tp_methods, reward_methods},
    {0, nullptr},
};

// ---- Info, StepResult ---------------------------------------------------------------

PyGetSetDef info_getset[] = {
    Field::read_only<&Info::tick>("tick"),
    END_OF_GETSET,
};
PyType_Slot info_slots[] = {RESULT_SLOTS(Info, info_getset), {0, nullptr}};

PyGetSetDef step_result_getset[] = {
    Field::read_only<&StepResult::observations>("observations",
                                          "`(observation équipe A, observation équipe B)`."),
    Field::read_only<&StepResult::rewards>("rewards", "`(reward équipe A, reward équipe B)`."),
    Field::read_only<&StepResult::done>("done"),
    Field::read_only<&StepResult::info>("info"),
    END_OF_GETSET,
};
PyType_Slot step_result_slots[] = {RESULT_SLOTS(StepResult, step_result_getset), {0, nullptr}};

// ---- SpectatorPlayer, SpectatorFrame ------------------------------------------------

PyGetSetDef spectator_player_getset[] = {
    Field::read_only<&SpectatorPlayer::team>("team"),
    Field::read_only<&SpectatorPlayer::position>("position"),
    Field::read_only<&SpectatorPlayer::velocity>("velocity"),
    END_OF_GETSET,
};
PyType_Slot spectator_player_slots[] = {
    RESULT_SLOTS(SpectatorPlayer, spectator_player_getset), {0, nullptr}};

PyGetSetDef spectator_frame_getset[] = {
    Field::read_only<&SpectatorFrame::tick>("tick"),
    Field::read_only<&SpectatorFrame::players>("players"),
    Field::read_only<&SpectatorFrame::ball>("ball"),
    Field::read_only<&SpectatorFrame::score>("score"),
    END_OF_GETSET,
};
PyType_Slot spectator_frame_slots[] = {
    RESULT_SLOTS(SpectatorFrame, spectator_frame_getset), {0, nullptr}};

#undef RESULT_SLOTS

}  // namespace

ClassDef player_obs_class =
    class_def<PlayerObs>("PlayerObs", "builtins.PlayerObs", player_obs_slots, NOT_CONSTRUCTIBLE);
ClassDef ball_obs_class =
    class_def<BallObs>("BallObs", "builtins.BallObs", ball_obs_slots, NOT_CONSTRUCTIBLE);
ClassDef observation_class = class_def<Observation>("Observation", "builtins.Observation",
                                                    observation_slots, NOT_CONSTRUCTIBLE);
ClassDef reward_class =
    class_def<Reward>("Reward", "builtins.Reward", reward_slots, NOT_CONSTRUCTIBLE);
ClassDef info_class = class_def<Info>("Info", "builtins.Info", info_slots, NOT_CONSTRUCTIBLE);
ClassDef step_result_class = class_def<StepResult>("StepResult", "builtins.StepResult",
                                                   step_result_slots, NOT_CONSTRUCTIBLE);
ClassDef spectator_player_class =
    class_def<SpectatorPlayer>("SpectatorPlayer", "builtins.SpectatorPlayer",
                               spectator_player_slots, NOT_CONSTRUCTIBLE);
ClassDef spectator_frame_class =
    class_def<SpectatorFrame>("SpectatorFrame", "builtins.SpectatorFrame",
                              spectator_frame_slots, NOT_CONSTRUCTIBLE);

}  // namespace quorvel::py
