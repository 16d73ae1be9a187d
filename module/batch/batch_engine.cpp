// module/batch/batch_engine.cpp: the BatchEngine class: arguments, output arrays, GIL-free steps, results.
#include "batch_engine.hpp"

#include <unistd.h>

#include <cstring>
#include <exception>
#include <memory>
#include <sched.h>
#include <string_view>
#include <thread>

#include "arrays.hpp"
#include "config_limits.hpp"
#include "convert.hpp"
#include "fault.hpp"
#include "match_batch.hpp"
#include "observation.hpp"
#include "record_argument.hpp"

namespace quorvel::py {
namespace {

using batch::Autoreset;
using batch::MatchBatch;

// Resident memory a match may take, engine and buffers: refusing a batch that
// cannot fit beats the machine thrashing or the process being killed.
constexpr std::size_t kBytesPerMatch = 128 * 1024;
constexpr long long kMaxThreads = 1024;
// Up to this many matches, a batch on one thread steps holding the lock.
constexpr std::size_t kLockedMatches = 4;

// Everything a BatchEngine object owns: the matches and their pool, and the
// arrays they write into. The arrays hold no reference back, so no cycle forms.
struct BatchState {
    std::unique_ptr<MatchBatch> batch;
    bool copy = true;
    // Arguments copied in under the interpreter lock, so that the matches never
    // read a Python object, and other threads' writes to the caller's arrays
    // during a step cannot change its result.
    std::vector<float> staged_actions;  // N x 2 x P x 4, sized once
    std::vector<std::uint8_t> staged_mask;
    std::vector<std::uint64_t> staged_seeds;
    OutputArray observations, rewards, terminated, truncated, score, tick, ticks_remaining;
    OutputArray ended, final_observations, final_score, final_tick, final_ticks_remaining;
    OutputArray spectator_players, spectator_ball, spectator_score, spectator_tick;
    // With copy=False, the last step's result tuple: handed out again while no one
    // else holds it or its info dict, since it would be built of the same arrays.
    Ref last_result;
};

// ---- running without the interpreter lock ------------------------------------------

// At shutdown the interpreter ends a daemon thread that waits for the lock by
// unwinding its stack, and a catch-all or a noexcept frame on the way turns that
// into an abort of the whole process. So wherever the lock may be released (our
// steps, numpy's copies) the frames are neither: entry_point only wraps the parts
// that hold the lock throughout, and building results (numpy copies) runs outside.

// Raises the Python exception for a C++ exception caught without the lock.
PyObject* raise_caught(const std::exception_ptr& error) noexcept {
    return entry_point([&]() -> PyObject* { std::rethrow_exception(error); });
}

// A method that plays the matches without the lock: `prepare` (lock held, in
// entry_point) stages the arguments once exclusive access is taken; `run` plays
// the matches with the lock released; `finish` (lock held, access still taken)
// builds the result from the batch's arrays.
template <class Prepare, class Run, class Finish>
PyObject* run_unlocked(PyObject* self, Prepare&& prepare, Run&& run, Finish&& finish) {
    Box<BatchState>& box = unbox<BatchState>(self);
    // Held from before the arguments are read until the result is built; its
    // release only writes the state, so it is harmless in an unwinding thread.
    ExclusiveAccess access(box.access);
    if (!access) return nullptr;
    if (entry_point([&]() -> int { return prepare(box.value) ? 0 : -1; }) < 0) return nullptr;
    std::exception_ptr error;
    // A short batch on one thread plays in a few microseconds: releasing and
    // retaking the lock would cost a good share of that, and the pool would run it
    // on this thread anyway.
    const bool unlock = box.value.batch->threads() > 1 || box.value.batch->size() > kLockedMatches;
    PyThreadState* thread = unlock ? PyEval_SaveThread() : nullptr;
    try {
        run(box.value);
    } catch (...) {
        error = std::current_exception();
    }
    if (thread) PyEval_RestoreThread(thread);
    if (error) return raise_caught(error);
    return finish(box.value);
}

// ---- constructor arguments ---------------------------------------------------------

// An integer argument within [low, high]: TypeError for a non-integer, ValueError
// outside (a huge int included).
bool count_argument(PyObject* obj, const char* name, long long low, long long high,
                    long long& out) noexcept {
    Ref index = Ref::steal(PyNumber_Index(obj));
    if (!index) {
        add_note("argument", name);
        return false;
    }
    int overflow = 0;
    const long long value = PyLong_AsLongLongAndOverflow(index.get(), &overflow);
    if (value == -1 && PyErr_Occurred()) return false;
    if (overflow || value < low || value > high) {
        Ref text = Ref::steal(PyObject_Repr(index.get()));
        PyErr_Format(PyExc_ValueError, "%s must be from %lld to %lld, got %S", name, low, high,
                     text ? text.get() : Py_None);
        add_note("argument", name);
        return false;
    }
    out = value;
    return true;
}

bool autoreset_argument(PyObject* obj, Autoreset& out) noexcept {
    if (!PyUnicode_Check(obj)) {
        PyErr_Format(PyExc_TypeError, "autoreset must be a str, not %.100s", Py_TYPE(obj)->tp_name);
        add_note("argument", "autoreset");
        return false;
    }
    if (PyUnicode_CompareWithASCIIString(obj, "next_step") == 0) {
        out = Autoreset::NEXT_STEP;
    } else if (PyUnicode_CompareWithASCIIString(obj, "same_step") == 0) {
        out = Autoreset::SAME_STEP;
    } else if (PyUnicode_CompareWithASCIIString(obj, "disabled") == 0) {
        out = Autoreset::DISABLED;
    } else {
        PyErr_Format(PyExc_ValueError,
                     "autoreset must be 'next_step', 'same_step' or 'disabled', got %R", obj);
        add_note("argument", "autoreset");
        return false;
    }
    return true;
}

const char* autoreset_name(Autoreset mode) {
    switch (mode) {
        case Autoreset::NEXT_STEP: return "next_step";
        case Autoreset::SAME_STEP: return "same_step";
        case Autoreset::DISABLED: break;
    }
    return "disabled";
}

// Cores this process may run on (its affinity mask), at least 1.
unsigned usable_cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    const unsigned reported = std::thread::hardware_concurrency();
    return reported ? reported : 1;
}

long long most_matches() {
    const long long pages = sysconf(_SC_PHYS_PAGES);
    const long long page = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || page <= 0) return 1LL << 24;
    return std::max(1LL, static_cast<long long>(static_cast<double>(pages) * static_cast<double>(page) /
                                                 static_cast<double>(kBytesPerMatch)));
}

// The arrays a step writes into, made once; same_step adds the final_* ones.
bool make_outputs(BatchState& s, std::size_t n, std::size_t width, std::size_t players,
                  Autoreset mode) {
    Ref numpy = Ref::steal(PyImport_ImportModule("numpy"));
    if (!numpy) return false;
    PyObject* np = numpy.get();
    const auto N = static_cast<Py_ssize_t>(n);
    const auto W = static_cast<Py_ssize_t>(width);
    const auto P2 = static_cast<Py_ssize_t>(2 * players);
    bool ok = make_output(np, "float32", 4, {N, 2, W}, s.observations) &&
              make_output(np, "float32", 4, {N, 2}, s.rewards) &&
              make_output(np, "bool", 1, {N}, s.terminated) &&
              make_output(np, "bool", 1, {N}, s.truncated) &&
              make_output(np, "uint32", 4, {N, 2}, s.score) &&
              make_output(np, "uint32", 4, {N}, s.tick) &&
              make_output(np, "uint32", 4, {N}, s.ticks_remaining) &&
              make_output(np, "float32", 4, {N, P2, 4}, s.spectator_players) &&
              make_output(np, "float32", 4, {N, 4}, s.spectator_ball) &&
              make_output(np, "uint32", 4, {N, 2}, s.spectator_score) &&
              make_output(np, "uint32", 4, {N}, s.spectator_tick);
    if (ok && mode == Autoreset::SAME_STEP) {
        ok = make_output(np, "bool", 1, {N}, s.ended) &&
             make_output(np, "float32", 4, {N, 2, W}, s.final_observations) &&
             make_output(np, "uint32", 4, {N, 2}, s.final_score) &&
             make_output(np, "uint32", 4, {N}, s.final_tick) &&
             make_output(np, "uint32", 4, {N}, s.final_ticks_remaining);
    }
    return ok;
}

batch::BatchBuffers buffers_of(const BatchState& s) {
    return {s.observations.as<float>(), s.rewards.as<float>(), s.terminated.as<std::uint8_t>(),
            s.truncated.as<std::uint8_t>(), s.score.as<std::uint32_t>(), s.tick.as<std::uint32_t>(),
            s.ticks_remaining.as<std::uint32_t>(), s.ended.as<std::uint8_t>(),
            s.final_observations.as<float>(), s.final_score.as<std::uint32_t>(),
            s.final_tick.as<std::uint32_t>(), s.final_ticks_remaining.as<std::uint32_t>()};
}

PyObject* batch_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    return entry_point([&]() -> PyObject* {
        static const char* keywords[] = {"config", "num_matches", "seed", "seeds",
                                         "threads", "autoreset", "copy", nullptr};
        PyObject *config = nullptr, *count = nullptr, *seed_arg = nullptr, *seeds_arg = Py_None;
        PyObject *threads_arg = nullptr, *mode_arg = nullptr;
        int copy = 1;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OO|O$OOOp:BatchEngine",
                                         const_cast<char**>(keywords), &config, &count, &seed_arg,
                                         &seeds_arg, &threads_arg, &mode_arg, &copy)) {
            return nullptr;
        }
        // Held until the record is copied: another argument's __index__ must not
        // change the configuration half-way.
        std::optional<SharedAccess> config_access;
        const EngineConfig* config_record =
            shared_record_argument<EngineConfig>(config, "an EngineConfig", "config", config_access);
        if (!config_record) return nullptr;
        long long n = 0;
        if (!count_argument(count, "num_matches", 1, most_matches(), n)) return nullptr;
        std::uint64_t seed = 0;
        if (seed_arg && !from_python(seed_arg, seed)) {
            add_note("argument", "seed");
            return nullptr;
        }
        std::vector<std::uint64_t> seeds;
        if (seeds_arg != Py_None) {
            if (!read_seeds(seeds_arg, static_cast<std::size_t>(n), "seeds", seeds)) return nullptr;
        } else {
            seeds.resize(static_cast<std::size_t>(n));
            for (std::size_t i = 0; i < seeds.size(); ++i) seeds[i] = seed + i;  // wraps mod 2^64
        }
        long long threads = 0;
        if (threads_arg && !count_argument(threads_arg, "threads", 0, kMaxThreads, threads)) {
            return nullptr;
        }
        if (threads == 0) threads = usable_cores();
        threads = std::min(threads, n);
        Autoreset mode = Autoreset::NEXT_STEP;
        if (mode_arg && !autoreset_argument(mode_arg, mode)) return nullptr;

        const EngineConfig record = *config_record;
        BatchState state;
        state.copy = copy != 0;
        try {
            // Refused sizes are refused before arrays are made for them.
            refuse_unplayable(record);
            const std::size_t players = record.players_per_team;
            if (!make_outputs(state, seeds.size(), observation_width(players), players, mode)) {
                return nullptr;
            }
            state.batch = std::make_unique<MatchBatch>(record, seeds, mode, static_cast<unsigned>(threads),
                                                       buffers_of(state));
            state.staged_actions.resize(seeds.size() * 2 * players * 4);
            state.staged_mask.resize(seeds.size());
        } catch (const EngineFault& refused) {
            PyErr_SetString(PyExc_ValueError, refused.what());
            add_note("argument", "config");
            return nullptr;
        }
        return wrap_as(type, std::move(state));
    });
}

// ---- methods ------------------------------------------------------------------------

// The info keys every step sets, interned once per process (under the lock);
// nullptr with the exception set when they could not be made.
PyObject* const* info_keys() {
    static PyObject* keys[3] = {nullptr, nullptr, nullptr};
    static const char* const texts[3] = {"score", "tick", "ticks_remaining"};
    for (int i = 0; i < 3; ++i) {
        if (!keys[i] && !(keys[i] = PyUnicode_InternFromString(texts[i]))) return nullptr;
    }
    return keys;
}

// Sets key to the array (or a copy of it); false with the exception set.
bool put(PyObject* dict, const char* key, const OutputArray& array, bool copy) {
    Ref value = Ref::steal(hand_out(array, copy));
    return value && PyDict_SetItemString(dict, key, value.get()) == 0;
}

// The info dict: score, tick and ticks_remaining; in same-step mode also the
// final observation and status of the matches that ended, and their masks.
PyObject* step_info(const BatchState& s) {
    Ref info = Ref::steal(PyDict_New());
    if (!info) return nullptr;
    const bool copy = s.copy;
    PyObject* const* keys = info_keys();
    if (!keys) return nullptr;
    const OutputArray* arrays[] = {&s.score, &s.tick, &s.ticks_remaining};
    for (int i = 0; i < 3; ++i) {
        Ref value = Ref::steal(hand_out(*arrays[i], copy));
        if (!value || PyDict_SetItem(info.get(), keys[i], value.get()) < 0) return nullptr;
    }
    if (s.batch->autoreset() != Autoreset::SAME_STEP) return info.release();
    Ref final_info = Ref::steal(PyDict_New());
    if (!final_info || !put(final_info.get(), "score", s.final_score, copy) ||
        !put(final_info.get(), "tick", s.final_tick, copy) ||
        !put(final_info.get(), "ticks_remaining", s.final_ticks_remaining, copy) ||
        PyDict_SetItemString(info.get(), "final_info", final_info.get()) < 0 ||
        !put(info.get(), "final_obs", s.final_observations, copy) ||
        !put(info.get(), "_final_obs", s.ended, copy) || !put(info.get(), "_final_info", s.ended, copy)) {
        return nullptr;
    }
    return info.release();
}

// Whether the last result can be handed out again unchanged: held by the state
// alone, its info dict by the tuple alone and never altered (same keys, same
// arrays). A same-step info holds nested dicts a caller could have kept; it is
// always built anew.
bool reusable(const BatchState& s) {
    PyObject* last = s.last_result.get();
    if (!last || Py_REFCNT(last) != 1 || s.batch->autoreset() == Autoreset::SAME_STEP) return false;
    PyObject* info = PyTuple_GET_ITEM(last, 4);
    if (Py_REFCNT(info) != 1 || PyDict_GET_SIZE(info) != 3) return false;
    PyObject* const* keys = info_keys();
    if (!keys) {
        PyErr_Clear();
        return false;
    }
    const OutputArray* arrays[] = {&s.score, &s.tick, &s.ticks_remaining};
    for (int i = 0; i < 3; ++i) {
        if (PyDict_GetItemWithError(info, keys[i]) != arrays[i]->array.get()) {
            PyErr_Clear();
            return false;
        }
    }
    return true;
}

PyObject* fresh_result(const BatchState& s);

PyObject* step_result(BatchState& s) {
    if (!s.copy && reusable(s)) return Py_NewRef(s.last_result.get());
    Ref result = Ref::steal(fresh_result(s));
    if (result && !s.copy) s.last_result = Ref::borrow(result.get());
    return result.release();
}

PyObject* fresh_result(const BatchState& s) {
    Ref obs = Ref::steal(hand_out(s.observations, s.copy));
    if (!obs) return nullptr;
    Ref rewards = Ref::steal(hand_out(s.rewards, s.copy));
    if (!rewards) return nullptr;
    Ref terminated = Ref::steal(hand_out(s.terminated, s.copy));
    if (!terminated) return nullptr;
    Ref truncated = Ref::steal(hand_out(s.truncated, s.copy));
    if (!truncated) return nullptr;
    Ref info = Ref::steal(step_info(s));
    if (!info) return nullptr;
    return PyTuple_Pack(5, obs.get(), rewards.get(), terminated.get(), truncated.get(), info.get());
}

// Not noexcept: the lock is released (see above).
// Fast-call: the usual step(actions) is read without building an argument tuple.
PyObject* batch_step(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    PyObject* actions_arg = nullptr;
    if (nargs == 1 && !kwnames) {
        actions_arg = args[0];
    } else {
        static const char* keywords[] = {"actions", nullptr};
        Ref tuple = Ref::steal(PyTuple_New(nargs));
        if (!tuple) return nullptr;
        for (Py_ssize_t i = 0; i < nargs; ++i) PyTuple_SET_ITEM(tuple.get(), i, Py_NewRef(args[i]));
        Ref dict;
        if (kwnames) {
            dict = Ref::steal(PyDict_New());
            if (!dict) return nullptr;
            for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(kwnames); ++i) {
                if (PyDict_SetItem(dict.get(), PyTuple_GET_ITEM(kwnames, i), args[nargs + i]) < 0) {
                    return nullptr;
                }
            }
        }
        if (!PyArg_ParseTupleAndKeywords(tuple.get(), dict.get(), "O:step",
                                         const_cast<char**>(keywords), &actions_arg)) {
            return nullptr;
        }
    }
    auto stage = [&](BatchState& s) {
        const auto n = static_cast<Py_ssize_t>(s.batch->size());
        const auto p = static_cast<Py_ssize_t>(s.batch->players_per_team());
        InputBuffer actions;
        if (!actions.take(actions_arg, 'f', 4, {n, 2, p, 4}, "actions")) return false;
        std::memcpy(s.staged_actions.data(), actions.data(), s.staged_actions.size() * sizeof(float));
        return true;
    };
    auto play = [](BatchState& s) { s.batch->step(s.staged_actions.data()); };
    return run_unlocked(self, stage, play, step_result);
}

// Not noexcept: the lock is released (see above).
PyObject* batch_reset(PyObject* self, PyObject* args, PyObject* kwargs) {
    static const char* keywords[] = {"seeds", "mask", nullptr};
    PyObject* seeds_arg = Py_None;
    PyObject* mask_arg = Py_None;
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OO:reset", const_cast<char**>(keywords),
                                     &seeds_arg, &mask_arg)) {
        return nullptr;
    }
    const bool masked = mask_arg != Py_None;
    const bool seeded = seeds_arg != Py_None;
    auto stage = [&](BatchState& s) {
        const std::size_t n = s.batch->size();
        std::vector<std::uint64_t> seeds;
        if (seeded && !read_seeds(seeds_arg, n, "seeds", seeds)) return false;
        if (masked) {
            InputBuffer mask;
            if (!mask.take(mask_arg, '?', 1, {static_cast<Py_ssize_t>(n)}, "mask")) return false;
            std::memcpy(s.staged_mask.data(), mask.data(), n);
        }
        s.staged_seeds = std::move(seeds);
        return true;
    };
    auto play = [&](BatchState& s) {
        s.batch->reset(masked ? s.staged_mask.data() : nullptr, seeded ? s.staged_seeds.data() : nullptr);
    };
    auto observations = [](const BatchState& s) { return hand_out(s.observations, s.copy); };
    return run_unlocked(self, stage, play, observations);
}

PyObject* batch_spectator(PyObject* self, PyObject* arg) noexcept {
    return entry_point([&]() -> PyObject* {
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

// Not noexcept: numpy's copies (see above).
PyObject* batch_spectator_arrays(PyObject* self, PyObject*) {
    Box<BatchState>& box = unbox<BatchState>(self);
    const BatchState& s = box.value;
    // Held while the arrays are written and handed out: no step can start, and a
    // concurrent spectator_arrays writes the same values.
    SharedAccess access(box.access);
    if (!access) return nullptr;
    const int written = entry_point([&]() -> int {
        s.batch->spectate(s.spectator_players.as<float>(), s.spectator_ball.as<float>(),
                          s.spectator_score.as<std::uint32_t>(), s.spectator_tick.as<std::uint32_t>());
        return 0;
    });
    if (written < 0) return nullptr;
    Ref frames = Ref::steal(PyDict_New());
    if (!frames || !put(frames.get(), "players", s.spectator_players, s.copy) ||
        !put(frames.get(), "ball", s.spectator_ball, s.copy) ||
        !put(frames.get(), "score", s.spectator_score, s.copy) ||
        !put(frames.get(), "tick", s.spectator_tick, s.copy)) {
        return nullptr;
    }
    return frames.release();
}

// ---- attributes ---------------------------------------------------------------------

// A read-only attribute computed from the batch under shared access.
template <PyObject* (*Read)(const BatchState&)>
PyObject* get(PyObject* self, void*) noexcept {
    return entry_point([&]() -> PyObject* {
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
    return PyUnicode_FromString(autoreset_name(s.batch->autoreset()));
}
PyObject* read_copy(const BatchState& s) { return PyBool_FromLong(s.copy); }
PyObject* read_config(const BatchState& s) { return wrap(EngineConfig(s.batch->config())); }

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

PyMethodDef batch_methods[] = {
    {"reset", reinterpret_cast<PyCFunction>(reinterpret_cast<void*>(batch_reset)),
     METH_VARARGS | METH_KEYWORDS,
     "reset($self, seeds=None, mask=None)\n--\n\n"
     "Restarts the matches selected by `mask` (a bool array of N; None: all) as\n"
     "Engine.reset does, their generators continuing; where `seeds` (N unsigned\n"
     "64-bit integers) is given, a selected match is built anew from the\n"
     "configuration and its seed instead. Returns every match's observation,\n"
     "float32 (N, 2, obs_size)."},
    {"step", reinterpret_cast<PyCFunction>(reinterpret_cast<void*>(batch_step)),
     METH_FASTCALL | METH_KEYWORDS,
     "step($self, actions)\n--\n\n"
     "One tick of every match, without the interpreter lock (but for a short batch on\n"
     "one thread), on the worker threads.\n"
     "`actions`: float32 C-contiguous (N, 2, P, 4): match, team (each in its own\n"
     "frame), player, (move_x, move_y, kick_x, kick_y); a zero kick vector is no kick.\n"
     "Returns (obs, rewards, terminated, truncated, info): obs float32 (N, 2, obs_size),\n"
     "rewards float32 (N, 2), terminated and truncated bool (N,), info a dict of\n"
     "arrays: score uint32 (N, 2), tick and ticks_remaining uint32 (N,)."},
    {"spectator", batch_spectator, METH_O,
     "spectator($self, i)\n--\n\n"
     "Match i's SpectatorFrame (absolute frame, never mirrored)."},
    {"spectator_arrays", batch_spectator_arrays, METH_NOARGS,
     "spectator_arrays($self)\n--\n\n"
     "Every match's spectator frame as arrays: players float32 (N, 2P, 4) (team A's,\n"
     "then team B's; x, y, vx, vy), ball float32 (N, 4), score uint32 (N, 2), tick uint32 (N,)."},
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
