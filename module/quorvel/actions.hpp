// module/quorvel/actions.hpp: reading command lists out of Python objects.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <vector>

#include "binding/object.hpp"
#include "quorvel/types.hpp"

namespace quorvel::py {

/// Copies the records of a sequence of Action objects, in iteration order. Refuses a
/// str and anything that is not a sequence (TypeError), and any item that is not an
/// Action; an error raised by the iteration itself propagates. Returns false with
/// the exception set.
bool extract_action_list(PyObject* sequence, std::vector<Action>& out);

/// The pair that Engine.step takes: a tuple (or tuple subclass) of exactly two
/// Actions objects, team A's first. TypeError for a non-tuple or a non-Actions item,
/// ValueError for another length. The two objects are borrowed from the tuple.
bool unpack_actions_pair(PyObject* pair, Box<Actions>*& team_a, Box<Actions>*& team_b) noexcept;

}  // namespace quorvel::py
