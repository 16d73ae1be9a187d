// module/batch/outputs.hpp: the batch's numpy arrays, made from the output table, and the results handed out from them.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "binding/buffers.hpp"
#include "binding/ref.hpp"
#include "match_batch.hpp"

namespace quorvel::py {

/// One place in a result: a leaf holds output `output` of the table, any other
/// node a dict (the root: a step's tuple) of its children under their keys.
struct ResultNode {
    static constexpr std::size_t NOT_A_LEAF = batch::kOutputCount;
    Ref key;  ///< interned; empty at the root
    std::size_t output = NOT_A_LEAF;
    std::vector<ResultNode> children;
};

/// Every output array a batch writes (the table in outputs.hpp of the batch
/// engine), and how they are handed out: fresh copies (copy=True) or the
/// arrays themselves (copy=False).
class BatchOutputs {
public:
    /// Makes a zero-filled array for each output that `mode` writes, in a
    /// batch of `matches` matches, `players` a side. Returns false with the
    /// exception set.
    bool make(std::size_t matches, std::size_t players, batch::Autoreset mode, bool copy);

    /// Where the batch writes: the arrays' memory.
    batch::OutputBuffers buffers() const noexcept;

    bool copy() const noexcept { return copy_; }

    /// (obs, rewards, terminated, truncated, info): a step's result. With
    /// copy=False the last one is handed out again while no one else holds it
    /// or any of its dicts and they are as they were built.
    PyObject* step_result();

    /// The observations, as reset() returns them.
    PyObject* observations() const;

    /// The dict of spectator arrays.
    PyObject* spectator_result() const;

private:
    PyObject* build(const ResultNode& node) const;
    bool unchanged(PyObject* obj, const ResultNode& node) const;

    std::array<OutputArray, batch::kOutputCount> arrays_;
    bool copy_ = true;
    ResultNode step_;       // its children are the step tuple's items
    ResultNode spectator_;
    Ref last_step_;         // copy=False: the last step's result tuple
};

/// One line per output of `group` ("  info['score'] uint32 (N, 2)"), for
/// docstrings; AT_THE_END outputs come with EACH_STEP, marked same_step only.
std::string describe_outputs(batch::Written group);

}  // namespace quorvel::py
