// module/binding/access.hpp: per-object access state and the RAII guards that take it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace quorvel::py {

/// Free, shared by any number of readers, or held exclusively by one writer.
/// Every call runs under the interpreter lock, so plain updates are atomic; the
/// state exists to refuse Python code that re-enters an object in the middle of
/// an operation on it (an __index__, an iterator, a finalizer). An operation that
/// releases the lock while it works (the batched step) takes its access before
/// releasing and gives it back after reacquiring, so every update still happens
/// under the lock and other threads meanwhile find the object taken.
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

/// Holds one kind of access for its lifetime, taken in the constructor and
/// released in the destructor, so every way out of an operation releases it.
/// When refused, RuntimeError is set and the guard converts to false.
template <bool (AccessState::*Take)() noexcept, void (AccessState::*Release)() noexcept>
class AccessGuard {
public:
    explicit AccessGuard(AccessState& state) noexcept
        : state_((state.*Take)() ? &state : nullptr) {
        if (!state_) {
            PyErr_SetString(PyExc_RuntimeError,
                            "object is in use by another operation and cannot be used now");
        }
    }
    ~AccessGuard() {
        if (state_) (state_->*Release)();
    }
    AccessGuard(const AccessGuard&) = delete;
    AccessGuard& operator=(const AccessGuard&) = delete;
    explicit operator bool() const noexcept { return state_ != nullptr; }

private:
    AccessState* state_;
};

using SharedAccess = AccessGuard<&AccessState::try_shared, &AccessState::release_shared>;
using ExclusiveAccess = AccessGuard<&AccessState::try_exclusive, &AccessState::release_exclusive>;

}  // namespace quorvel::py
