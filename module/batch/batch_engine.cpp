// module/batch/batch_engine.cpp: the BatchEngine class: its tables, and short methods over MatchBatch and its outputs.
#include "batch_engine.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "binding/arguments.hpp"
#include "binding/buffers.hpp"
#include "binding/fault.hpp"
#include "capacity.hpp"
#include "match_batch.hpp"
#include "outputs.hpp"
#include "quorvel/limits.hpp"
#include "unlocked.hpp"

namespace quorvel::py {
namespace {

using batch::Autoreset;
using batch::MatchBatch;
using Faults = RaiseRuntimeError;

// Up to this many matches, a batch on one thread steps holding the lock.
constexpr std::size_t kLockedMatches = 4;

// Everything a BatchEngine object owns: the arrays the matches write into,
// then the matches and their pool (destroyed first). The arrays hold no
// reference back, so no cycle forms.
struct BatchState {
    BatchOutputs outputs;
    std::unique_ptr<MatchBatch> batch;
    // Arguments copied in under the interpreter lock, so that the matches never
    // read a Python object, and other threads' writes to the caller's arrays
    // during a step cannot change its result.
    std::vector<float> staged_actions;  // N x 2 x P x 4, sized once
    std::vector<std::uint8_t> staged_mask;
    std::vector<std::uint64_t> staged_seeds;
    std::vector<float> staged_bodies;          // place(): N x (2P + 1) x 4, players then ball
    std::vector<std::uint32_t> staged_clock;   // place(): N ticks, then N x 2 scores
    batch::Placements staged_placements;       // pointing into the three above
    // A step or reset stopped part-way (memory ran out in a match): some
    // matches moved on and others did not, so the batch plays no more.
    bool stopped_part_way = false;

    // A short batch on one thread plays in a few microseconds: releasing and
    // retaking the lock would cost a good share of that, and the pool would run
    // it on this thread anyway.
    bool plays_unlocked() const { return batch->threads() > 1 || batch->size() > kLockedMatches; }
};

// ---- constructor ------------------------------------------------------------------

constexpr const char* kAutoresetNames[] = {"next_step", "same_step", "disabled"};  // Autoreset's order

// Converts an argument that was given; the note names it.
template <class Convert>
bool argument(PyObject* arg, const char* name, Convert&& convert) {
    if (!arg || convert(arg)) return true;
    add_note("argument", name);
    return false;
}

PyObject* batch_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return entry_point<Faults>([&]() -> PyObject* {
        static constexpr Parameters<7> params{
            "BatchEngine", {"config", "num_matches", "seed", "seeds", "threads", "autoreset", "copy"}, 2, 3};
        Arguments<7> given;
        if (!bind(params, args, kwargs, given)) return nullptr;
        auto [config, count, seed_arg, seeds_arg, threads_arg, mode_arg, copy_arg] = given;
        // Held until the record is copied: another argument's __index__ must not
        // change the configuration half-way.
        std::optional<SharedAccess> config_access;
        const EngineConfig* config_record =
            shared_record_argument<EngineConfig>(config, "an EngineConfig", "config", config_access);
        if (!config_record) return nullptr;
        long long n = 0, threads = 0;
        std::uint64_t seed = 0;
        std::vector<std::uint64_t> seeds;
        std::size_t mode = 0;
        int copy = 1;
        const long long most = static_cast<long long>(batch::most_matches(*config_record));
        const bool ok =
            argument(count, "num_matches", [&](PyObject* o) { return from_python_in_range(o, 1, most, "num_matches", n); }) &&
            argument(seed_arg, "seed", [&](PyObject* o) { return from_python(o, seed); }) &&
            argument(seeds_arg == Py_None ? nullptr : seeds_arg, "seeds",
                     [&](PyObject* o) { return from_python(o, static_cast<std::size_t>(n), seeds); }) &&
            argument(threads_arg, "threads",
                     [&](PyObject* o) { return from_python_in_range(o, 0, batch::kMaxThreads, "threads", threads); }) &&
            argument(mode_arg, "autoreset",
                     [&](PyObject* o) { return from_python_choice(o, {kAutoresetNames[0], kAutoresetNames[1], kAutoresetNames[2]}, "autoreset", mode); }) &&
            argument(copy_arg, "copy", [&](PyObject* o) { return (copy = PyObject_IsTrue(o)) >= 0; });
        if (!ok) return nullptr;
        if (seeds.empty()) {
            seeds.resize(static_cast<std::size_t>(n));
            for (std::size_t i = 0; i < seeds.size(); ++i) seeds[i] = seed + i;  // wraps mod 2^64
        }
        if (threads == 0) threads = batch::usable_cores();
        threads = std::min(threads, n);

        const EngineConfig record = *config_record;
        const auto autoreset = static_cast<Autoreset>(mode);
        BatchState state;
        try {
            // Refused sizes are refused before arrays are made for them.
            refuse_unplayable(record);
            const std::size_t players = record.players_per_team;
            if (!state.outputs.make(seeds.size(), players, autoreset, copy != 0)) return nullptr;
            state.batch = std::make_unique<MatchBatch>(record, seeds, autoreset, static_cast<unsigned>(threads),
                                                       state.outputs.buffers());
            state.staged_actions.resize(seeds.size() * 2 * players * 4);
            state.staged_mask.resize(seeds.size());
        } catch (const EngineFault& refused) {
            PyErr_SetString(PyExc_ValueError, refused.what());
            add_note("argument", "config");
            return nullptr;
        } catch (const std::system_error& failed) {  // only the pool starts threads
            PyErr_Format(PyExc_RuntimeError, "could not start the worker threads of threads=%lld: %s",
                         threads, failed.what());
            add_note("argument", "threads");
            return nullptr;
        }
        return wrap_as(type, std::move(state));
    });
}

// ---- methods ------------------------------------------------------------------------

// Not noexcept: the lock is released (unlocked.hpp).
PyObject* batch_step(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    static constexpr Parameters<1> params{"step", {"actions"}, 1};
    Arguments<1> given;
    if (!bind(params, args, nargsf, kwnames, given)) return nullptr;
    auto stage = [&](BatchState& s) {
        const auto n = static_cast<Py_ssize_t>(s.batch->size());
        const auto p = static_cast<Py_ssize_t>(s.batch->players_per_team());
        InputBuffer actions;
        if (!actions.take(given[0], 'f', 4, {n, 2, p, 4}, "actions")) return false;
        // std::copy_n, not memcpy: with no players both pointers may be null.
        std::copy_n(static_cast<const float*>(actions.data()), s.staged_actions.size(), s.staged_actions.data());
        return true;
    };
    auto play = [](BatchState& s) { s.batch->step(s.staged_actions.data()); };
    auto result = [](BatchState& s) { return s.outputs.step_result(); };
    return run_unlocked<Faults, BatchState>(self, stage, play, result);
}

// Not noexcept: the lock is released (unlocked.hpp).
PyObject* batch_reset(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    static constexpr Parameters<2> params{"reset", {"seeds", "mask"}};
    Arguments<2> given;
    if (!bind(params, args, nargsf, kwnames, given)) return nullptr;
    PyObject* seeds_arg = given[0] == Py_None ? nullptr : given[0];
    PyObject* mask_arg = given[1] == Py_None ? nullptr : given[1];
    auto stage = [&](BatchState& s) {
        const std::size_t n = s.batch->size();
        std::vector<std::uint64_t> seeds;
        if (!argument(seeds_arg, "seeds", [&](PyObject* o) { return from_python(o, n, seeds); })) return false;
        if (mask_arg) {
            InputBuffer mask;
            if (!mask.take(mask_arg, '?', 1, {static_cast<Py_ssize_t>(n)}, "mask")) return false;
            std::memcpy(s.staged_mask.data(), mask.data(), n);
        }
        s.staged_seeds = std::move(seeds);
        return true;
    };
    auto play = [&](BatchState& s) {
        s.batch->reset(mask_arg ? s.staged_mask.data() : nullptr, seeds_arg ? s.staged_seeds.data() : nullptr);
    };
    auto observations = [](const BatchState& s) { return s.outputs.observations(); };
    return run_unlocked<Faults, BatchState>(self, stage, play, observations);
}

// A C-contiguous array argument of `n` items copied into `out` from position
// `at` on, checked as InputBuffer::take checks it.
template <class T>
bool stage_array(PyObject* arg, char format, std::initializer_list<Py_ssize_t> shape, const char* name,
                 std::vector<T>& out, std::size_t at) {
    InputBuffer array;
    if (!array.take(arg, format, sizeof(T), shape, name)) return false;
    std::size_t items = 1;
    for (const Py_ssize_t extent : shape) items *= static_cast<std::size_t>(extent);
    std::copy_n(static_cast<const T*>(array.data()), items, out.data() + at);
    return true;
}

// Not noexcept: the lock is released (unlocked.hpp).
PyObject* batch_place(PyObject* self, PyObject* const* args, Py_ssize_t nargsf, PyObject* kwnames) {
    static constexpr Parameters<5> params{"place", {"players", "ball", "tick", "score", "mask"}, 2};
    Arguments<5> given;
    if (!bind(params, args, nargsf, kwnames, given)) return nullptr;
    auto given_or_null = [](PyObject* arg) { return arg == Py_None ? nullptr : arg; };
    PyObject* tick_arg = given_or_null(given[2]);
    PyObject* score_arg = given_or_null(given[3]);
    PyObject* mask_arg = given_or_null(given[4]);
    // Everything is checked before any match is touched: arrays first, then
    // every chosen match's numbers.
    auto stage = [&](BatchState& s) {
        const std::size_t n = s.batch->size();
        const std::size_t p = s.batch->players_per_team();
        const auto rows = static_cast<Py_ssize_t>(n);
        s.staged_bodies.resize(n * (2 * p + 1) * 4);
        s.staged_clock.resize(3 * n);
        const std::size_t ball_at = n * 2 * p * 4;
        const bool staged =
            stage_array(given[0], 'f', {rows, static_cast<Py_ssize_t>(2 * p), 4}, "players", s.staged_bodies, 0) &&
            stage_array(given[1], 'f', {rows, 4}, "ball", s.staged_bodies, ball_at) &&
            (!tick_arg || stage_array(tick_arg, 'I', {rows}, "tick", s.staged_clock, 0)) &&
            (!score_arg || stage_array(score_arg, 'I', {rows, 2}, "score", s.staged_clock, n)) &&
            (!mask_arg || stage_array(mask_arg, '?', {rows}, "mask", s.staged_mask, 0));
        if (!staged) return false;
        s.staged_placements = {mask_arg ? s.staged_mask.data() : nullptr, s.staged_bodies.data(),
                               s.staged_bodies.data() + ball_at, tick_arg ? s.staged_clock.data() : nullptr,
                               score_arg ? s.staged_clock.data() + n : nullptr};
        try {
            s.batch->check(s.staged_placements);
        } catch (const std::invalid_argument& refused) {
            PyErr_SetString(PyExc_ValueError, refused.what());
            return false;
        }
        return true;
    };
    auto play = [](BatchState& s) { s.batch->place(s.staged_placements); };
    auto observations = [](const BatchState& s) { return s.outputs.observations(); };
    return run_unlocked<Faults, BatchState>(self, stage, play, observations);
}

PyObject* batch_spectator(PyObject* self, PyObject* arg) noexcept {
    return entry_point<Faults>([&]() -> PyObject* {
        Ref index = Ref::steal(PyNumber_Index(arg));
        if (!index) return nullptr;
        Box<BatchState>& box = unbox<BatchState>(self);
        SharedAccess access(box.access);
        if (!access) return nullptr;
        const MatchBatch& batch = *box.value.batch;
        const Py_ssize_t i = PyLong_AsSsize_t(index.get());
        if (i == -1 && PyErr_Occurred()) PyErr_Clear();
        if (i < 0 || static_cast<std::size_t>(i) >= batch.size()) {
            PyErr_Format(PyExc_IndexError, "match index %R out of range for %zu matches", index.get(),
                         batch.size());
            return nullptr;
        }
        return wrap(batch.match(static_cast<std::size_t>(i)).spectator_frame());
    });
}

// Not noexcept: numpy's copies (unlocked.hpp).
PyObject* batch_spectator_arrays(PyObject* self, PyObject*) {
    Box<BatchState>& box = unbox<BatchState>(self);
    const BatchState& s = box.value;
    // Held while the arrays are written and handed out: no step can start, and a
    // concurrent spectator_arrays writes the same values.
    SharedAccess access(box.access);
    if (!access) return nullptr;
    if (entry_point<Faults>([&]() -> int { return s.batch->spectate(), 0; }) < 0) return nullptr;
    return s.outputs.spectator_result();
}

// ---- attributes ---------------------------------------------------------------------

// A read-only attribute computed from the batch under shared access.
template <PyObject* (*Read)(const BatchState&)>
PyObject* get(PyObject* self, void*) noexcept {
    return entry_point<Faults>([&]() -> PyObject* {
        Box<BatchState>& box = unbox<BatchState>(self);
        SharedAccess access(box.access);
        if (!access) return nullptr;
        return Read(box.value);
    });
}

PyObject* read_num_matches(const BatchState& s) { return PyLong_FromSize_t(s.batch->size()); }
PyObject* read_players(const BatchState& s) { return PyLong_FromSize_t(s.batch->players_per_team()); }
PyObject* read_obs_size(const BatchState& s) { return PyLong_FromSize_t(s.batch->observation_width()); }
PyObject* read_threads(const BatchState& s) { return PyLong_FromUnsignedLong(s.batch->threads()); }
PyObject* read_autoreset(const BatchState& s) {
    return PyUnicode_FromString(kAutoresetNames[static_cast<std::size_t>(s.batch->autoreset())]);
}
PyObject* read_copy(const BatchState& s) { return PyBool_FromLong(s.outputs.copy()); }
PyObject* read_config(const BatchState& s) { return wrap(EngineConfig(s.batch->config())); }

// ---- tables -------------------------------------------------------------------------

PyGetSetDef batch_getset[] = {
    {"num_matches", get<read_num_matches>, nullptr, "Number of matches N.", nullptr},
    {"players_per_team", get<read_players>, nullptr, "Players a side P.", nullptr},
    {"obs_size", get<read_obs_size>, nullptr, "Floats in one team's observation row: 8 * P + 4.", nullptr},
    {"threads", get<read_threads>, nullptr, "Threads that step the matches (the caller's included).", nullptr},
    {"autoreset", get<read_autoreset>, nullptr, "'next_step', 'same_step' or 'disabled'.", nullptr},
    {"copy", get<read_copy>, nullptr, "Whether results are fresh arrays (True) or views of internal buffers.", nullptr},
    {"config", get<read_config>, nullptr, "A copy of the configuration every match was built from.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// The methods' docstrings: prose, then (for those returning arrays) one line
// per output from the table, filled in when the class is created.
const std::string step_doc =
    "step($self, actions)\n--\n\n"
    "One tick of every match, without the interpreter lock (but for a short batch on\n"
    "one thread), on the worker threads.\n"
    "`actions`: float32 C-contiguous (N, 2, P, 4): match, team (each in its own\n"
    "frame), player, (move_x, move_y, kick_x, kick_y); a zero kick vector is no kick.\n"
    "Returns (obs, rewards, terminated, truncated, info):\n" +
    describe_outputs(batch::EACH_STEP);
const std::string spectator_arrays_doc =
    "spectator_arrays($self)\n--\n\n"
    "Every match's spectator frame as arrays, players team A's then team B's, each\n"
    "(x, y, vx, vy):\n" +
    describe_outputs(batch::SPECTATED);

PyMethodDef batch_methods[] = {
    {"reset", reinterpret_cast<PyCFunction>(reinterpret_cast<void*>(batch_reset)),
     METH_FASTCALL | METH_KEYWORDS,
     "reset($self, seeds=None, mask=None)\n--\n\n"
     "Restarts the matches selected by `mask` (a bool array of N; None: all) as\n"
     "Engine.reset does, their generators continuing; where `seeds` (N unsigned\n"
     "64-bit integers) is given, a selected match is built anew from the\n"
     "configuration and its seed instead. Returns every match's observation,\n"
     "float32 (N, 2, obs_size)."},
    {"place", reinterpret_cast<PyCFunction>(reinterpret_cast<void*>(batch_place)),
     METH_FASTCALL | METH_KEYWORDS,
     "place($self, players, ball, tick=None, score=None, mask=None)\n--\n\n"
     "Puts the bodies of the matches selected by `mask` (a bool array of N; None:\n"
     "all) where `players` (float32 (N, 2P, 4), team A's then team B's) and `ball`\n"
     "(float32 (N, 4)) say, each (x, y, vx, vy) in the normalised absolute frame of\n"
     "spectator_arrays(), and sets their clocks to `tick` (uint32 (N,)) and scores to\n"
     "`score` (uint32 (N, 2)) where given (None: kept). Play goes on from there at\n"
     "the next step; a placed match has no restart pending. Only the selected rows\n"
     "are read. Refused, before any match changes: a number that is not finite, a\n"
     "centre outside the field (|x| or |y| above 1), a velocity faster than any body\n"
     "ends a tick, a tick of max_ticks or more, a score at max_score (ValueError);\n"
     "arrays of another dtype (TypeError) or shape (ValueError). Returns every\n"
     "match's observation, float32 (N, 2, obs_size)."},
    {"step", reinterpret_cast<PyCFunction>(reinterpret_cast<void*>(batch_step)),
     METH_FASTCALL | METH_KEYWORDS, step_doc.c_str()},
    {"spectator", batch_spectator, METH_O,
     "spectator($self, i)\n--\n\n"
     "Match i's SpectatorFrame (absolute frame, never mirrored)."},
    {"spectator_arrays", batch_spectator_arrays, METH_NOARGS, spectator_arrays_doc.c_str()},
    {nullptr, nullptr, 0, nullptr},
};

constexpr const char kBatchDoc[] =
    "BatchEngine(config, num_matches, seed=0, *, seeds=None, threads=0, autoreset='next_step', copy=True)\n"
    "--\n\n"
    "N matches stepped together, numpy arrays in and out. Match i is an ordinary\n"
    "Engine built from `config` and seed `seed + i` (mod 2**64), or `seeds[i]`, and\n"
    "plays bit for bit as that Engine would with the same commands.\n\n"
    "A team's observation row, in its own frame, is obs_size = 8 * P + 4 float32:\n"
    "(x, y, vx, vy) of each of its players, of each opponent, then of the ball.\n\n"
    "threads: 0 uses every core this process may run on. autoreset: 'next_step'\n"
    "(a match that ended is restarted by the next step, which ignores its actions),\n"
    "'same_step' (restarted at once; info gains final_obs, final_info and their\n"
    "masks _final_obs, _final_info) or 'disabled'. copy=True: results are fresh\n"
    "arrays; copy=False: they are the batch's own arrays, which the next call\n"
    "overwrites (and step's result tuple is reused while no one else holds it).\n"
    "A batch of at most 4 matches on one thread steps holding the interpreter lock.";

PyType_Slot batch_slots[] = {
    {Py_tp_doc, const_cast<char*>(kBatchDoc)},
    {Py_tp_new, reinterpret_cast<void*>(batch_new)},
    {Py_tp_dealloc, reinterpret_cast<void*>(dealloc<BatchState>)},
    {Py_tp_methods, batch_methods},
    {Py_tp_getset, batch_getset},
    {0, nullptr},
};

}  // namespace

ClassDef batch_engine_class =
    class_def<BatchState>("BatchEngine", "quorvel._batch.BatchEngine", batch_slots);

}  // namespace quorvel::py
