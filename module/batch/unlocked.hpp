// module/batch/unlocked.hpp: a batch method's work run with the interpreter lock released, and its errors brought back.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>

#include "binding/access.hpp"
#include "binding/fault.hpp"
#include "binding/object.hpp"

namespace quorvel::py {

// At shutdown the interpreter ends a daemon thread that waits for the lock by
// unwinding its stack, and a catch-all or a noexcept frame on the way turns that
// into an abort of the whole process. So wherever the lock may be released (the
// matches' work, numpy's copies) the frames are neither: entry_point only wraps
// the parts that hold the lock throughout, and building results (numpy copies)
// runs outside. What the frames hold is not given back when they are unwound so,
// the lock being the main thread's by then (holds_lock() in ref.hpp).

/// Raises the Python exception for a C++ exception caught without the lock.
template <class Faults>
PyObject* raise_caught(const std::exception_ptr& error) noexcept {
    return entry_point<Faults>([&]() -> PyObject* { std::rethrow_exception(error); });
}

/// One method of the batch object `self` (a Box<State>): `prepare` (lock held,
/// in entry_point) stages the arguments once exclusive access is taken; `run`
/// plays the matches, with the lock released if state.plays_unlocked(); `finish`
/// (lock held, access still taken) builds the result from the batch's arrays.
/// A `run` that throws leaves state.stopped_part_way set: the matches are no
/// longer in step, and every later call is refused.
template <class Faults, class State, class Prepare, class Run, class Finish>
PyObject* run_unlocked(PyObject* self, Prepare&& prepare, Run&& run, Finish&& finish) {
    Box<State>& box = unbox<State>(self);
    // Held from before the arguments are read until the result is built; its
    // release only writes the state, so it is harmless in an unwinding thread.
    ExclusiveAccess access(box.access);
    if (!access) return nullptr;
    State& state = box.value;
    if (state.stopped_part_way) {
        PyErr_SetString(PyExc_RuntimeError, "an earlier step or reset of this batch stopped part-way "
                                            "(out of memory): its matches are no longer in step; make a new batch");
        return nullptr;
    }
    if (entry_point<Faults>([&]() -> int { return prepare(state) ? 0 : -1; }) < 0) return nullptr;
    std::exception_ptr error;
    PyThreadState* thread = state.plays_unlocked() ? PyEval_SaveThread() : nullptr;
    try {
        run(state);
    } catch (...) {
        error = std::current_exception();
    }
    if (thread) PyEval_RestoreThread(thread);
    if (error) {
        state.stopped_part_way = true;
        return raise_caught<Faults>(error);
    }
    return finish(state);
}

}  // namespace quorvel::py
