// module/batch/outputs.cpp: one numpy array per output of the table, and the result trees their keys describe.
#include "outputs.hpp"

#include <string>
#include <string_view>

#include "quorvel/engine.hpp"

namespace quorvel::py {
namespace {

using batch::kOutputs;
using batch::Output;

const char* dtype_name(batch::Element element) {
    switch (element) {
        case batch::FLOAT32: return "float32";
        case batch::UINT32: return "uint32";
        case batch::BOOL: break;
    }
    return "bool";
}

// The child of `node` under `key`, made if it is not there yet (children keep
// the order in which the table first names them).
ResultNode* child(ResultNode& node, std::string_view key) {
    for (ResultNode& c : node.children) {
        if (PyUnicode_CompareWithASCIIString(c.key.get(), std::string(key).c_str()) == 0) return &c;
    }
    PyObject* name = PyUnicode_FromStringAndSize(key.data(), static_cast<Py_ssize_t>(key.size()));
    if (!name) return nullptr;
    PyUnicode_InternInPlace(&name);
    node.children.push_back(ResultNode{Ref::steal(name), ResultNode::NOT_A_LEAF, {}});
    return &node.children.back();
}

// Calls f(path) for each of the output's '/'-separated key paths; stops at
// the first that returns false, and returns false then.
template <class F>
bool for_each_path(const Output& out, F&& f) {
    std::string_view keys = out.keys;
    for (std::size_t space = 0; space != std::string_view::npos;) {
        space = keys.find(' ');
        if (!f(keys.substr(0, space))) return false;
        keys.remove_prefix(space == std::string_view::npos ? keys.size() : space + 1);
    }
    return true;
}

// Enters output `index` under each of its key paths.
bool place(ResultNode& root, std::size_t index) {
    return for_each_path(kOutputs[index], [&](std::string_view path) {
        ResultNode* node = &root;
        for (std::size_t slash = 0; node && slash != std::string_view::npos;) {
            slash = path.find('/');
            node = child(*node, path.substr(0, slash));
            if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
        }
        if (node) node->output = index;
        return node != nullptr;
    });
}

const char* extent_name(batch::Extent extent) {
    switch (extent) {
        case batch::MATCHES: return "N";
        case batch::TEAMS: return "2";
        case batch::OBSERVATION: return "obs_size";
        case batch::PLAYERS: return "2P";
        case batch::FOUR: break;
    }
    return "4";
}

// "info/final_info/score" as "info['final_info']['score']".
std::string path_text(std::string_view path) {
    std::size_t slash = path.find('/');
    std::string text(path.substr(0, slash));
    while (slash != std::string_view::npos) {
        path.remove_prefix(slash + 1);
        slash = path.find('/');
        text.append("['").append(path.substr(0, slash)).append("']");
    }
    return text;
}

}  // namespace

std::string describe_outputs(batch::Written group) {
    std::string text;
    for (const Output& out : kOutputs) {
        const bool at_the_end = out.written == batch::AT_THE_END;
        if (out.written != group && !(group == batch::EACH_STEP && at_the_end)) continue;
        for_each_path(out, [&](std::string_view path) {
            text.append("  ").append(path_text(path)).append(" ").append(dtype_name(out.element)).append(" (");
            for (std::size_t d = 0; d < out.rank; ++d) text.append(d ? ", " : "").append(extent_name(out.extents[d]));
            text.append(out.rank == 1 ? ",)" : ")").append(at_the_end ? ", same_step only\n" : "\n");
            return true;
        });
    }
    return text;
}

bool BatchOutputs::make(std::size_t matches, std::size_t players, batch::Autoreset mode, bool copy) {
    copy_ = copy;
    Ref numpy = Ref::steal(PyImport_ImportModule("numpy"));
    if (!numpy) return false;
    for (std::size_t i = 0; i < batch::kOutputCount; ++i) {
        const Output& out = kOutputs[i];
        if (!batch::writes(out, mode)) continue;
        std::array<Py_ssize_t, 3> shape{};
        for (std::size_t d = 0; d < out.rank; ++d) {
            shape[d] = static_cast<Py_ssize_t>(batch::extent_size(out.extents[d], matches, players));
        }
        if (!arrays_[i].make(numpy.get(), dtype_name(out.element), batch::element_size(out.element),
                             std::span{shape.data(), out.rank})) {
            return false;
        }
        if (!place(out.written == batch::SPECTATED ? spectator_ : step_, i)) return false;
    }
    return true;
}

batch::OutputBuffers BatchOutputs::buffers() const noexcept {
    batch::OutputBuffers buffers;
    for (std::size_t i = 0; i < batch::kOutputCount; ++i) buffers.data[i] = arrays_[i].data();
    return buffers;
}

PyObject* BatchOutputs::build(const ResultNode& node) const {
    if (node.output != ResultNode::NOT_A_LEAF) return hand_out(arrays_[node.output], copy_);
    Ref dict = Ref::steal(PyDict_New());
    if (!dict) return nullptr;
    for (const ResultNode& c : node.children) {
        Ref value = Ref::steal(build(c));
        if (!value || PyDict_SetItem(dict.get(), c.key.get(), value.get()) < 0) return nullptr;
    }
    return dict.release();
}

// Whether `obj` is still what build(node) made of the arrays themselves: each
// dict held by its parent alone, with exactly its keys, each on the same array.
bool BatchOutputs::unchanged(PyObject* obj, const ResultNode& node) const {
    if (node.output != ResultNode::NOT_A_LEAF) return obj == arrays_[node.output].array();
    if (!PyDict_CheckExact(obj) || Py_REFCNT(obj) != 1 ||
        PyDict_GET_SIZE(obj) != static_cast<Py_ssize_t>(node.children.size())) {
        return false;
    }
    for (const ResultNode& c : node.children) {
        PyObject* value = PyDict_GetItemWithError(obj, c.key.get());  // borrowed
        if (!value) {
            PyErr_Clear();
            return false;
        }
        if (!unchanged(value, c)) return false;
    }
    return true;
}

PyObject* BatchOutputs::step_result() {
    PyObject* last = last_step_.get();
    if (last && Py_REFCNT(last) == 1) {
        bool same = true;
        for (std::size_t i = 0; same && i < step_.children.size(); ++i) {
            same = unchanged(PyTuple_GET_ITEM(last, static_cast<Py_ssize_t>(i)), step_.children[i]);
        }
        if (same) return Py_NewRef(last);
    }
    Ref result = Ref::steal(PyTuple_New(static_cast<Py_ssize_t>(step_.children.size())));
    if (!result) return nullptr;
    for (std::size_t i = 0; i < step_.children.size(); ++i) {
        PyObject* item = build(step_.children[i]);
        if (!item) return nullptr;
        PyTuple_SET_ITEM(result.get(), static_cast<Py_ssize_t>(i), item);
    }
    if (!copy_) last_step_ = Ref::borrow(result.get());
    return result.release();
}

PyObject* BatchOutputs::observations() const {
    return hand_out(arrays_[batch::output_index<"observations">()], copy_);
}

PyObject* BatchOutputs::spectator_result() const { return build(spectator_); }

}  // namespace quorvel::py
