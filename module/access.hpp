// module/access.hpp: per-object access state and the RAII guards that take it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace quorvel::py {

/// Free, shared by any number of readers, or held exclusively by one writer.
/// Every call runs under the interpreter lock, so plain updates are atomic; the
/// state exists to refuse Python code that re-enters an object in the middle of
/// an operation on it (an __index__, an iterator, a finalizer).
class AccessState {
public:
    bool try_shared() noexcept {
        if (state_ < 0) return false;
        ++state_;
        return true;
    }
    void release_shared() noexcept { --state_; }
    bool try_exclusive() noexcept {
        if (state_ != 0) return false;
        state_ = EXCLUSIVE;
        return true;
    }
    void release_exclusive() noexcept { state_ = 0; }

private:
    static constexpr int EXCLUSIVE = -1;
    int state_ = 0;  // 0 free, > 0 number of shared holders, EXCLUSIVE
};

/// Holds shared access for its lifetime. When refused, RuntimeError is set and
/// the guard converts to false.
class SharedAccess {
public:
    explicit SharedAccess(AccessState& state) noexcept
        : state_(state.try_shared() ? &state : nullptr) {
        if (!state_) {
            PyErr_SetString(PyExc_RuntimeError,
                            "object is being modified and cannot be read now");
        }
    }
    ~SharedAccess() {
        if (state_) state_->release_shared();
    }
    SharedAccess(const SharedAccess&) = delete;
    SharedAccess& operator=(const SharedAccess&) = delete;
    explicit operator bool() const noexcept { return state_ != nullptr; }

private:
    AccessState* state_;
};

/// Holds exclusive access for its lifetime. When refused, RuntimeError is set and
/// the guard converts to false.
class ExclusiveAccess {
public:
    explicit ExclusiveAccess(AccessState& state) noexcept
        : state_(state.try_exclusive() ? &state : nullptr) {
        if (!state_) {
            PyErr_SetString(PyExc_RuntimeError,
                            "object is already in use and cannot be modified now");
        }
    }
    ~ExclusiveAccess() {
        if (state_) state_->release_exclusive();
    }
    ExclusiveAccess(const ExclusiveAccess&) = delete;
    ExclusiveAccess& operator=(const ExclusiveAccess&) = delete;
    explicit operator bool() const noexcept { return state_ != nullptr; }

private:
    AccessState* state_;
};

}  // namespace quorvel::py
