// box2d_memory/b2_reserve.hpp: what the engine asks the library that keeps Box2D's allocations from failing.
#pragma once

#include <atomic>
#include <cstddef>

extern "C" {

// Read by the engine around each of its calls into Box2D, so plain variables
// (two loads), not functions.

/// Blocks lent from the reserve since the process started: a call during which
/// it changed ran short of memory (here or on another thread).
extern std::atomic<std::size_t> quorvel_b2_reserve_loans;

/// Whether half the reserve or more is lent out: memory is short, and what is
/// left is kept for the Box2D calls already under way; the engine starts no new
/// one meanwhile.
extern std::atomic<bool> quorvel_b2_reserve_low;

/// Bytes of the reserve now lent out, across threads (for tests).
std::size_t quorvel_b2_reserve_in_use() noexcept;

/// For tests: after `allocations` more, every Box2D allocation is served as if
/// the system had refused it (from the reserve), until called with SIZE_MAX.
void quorvel_b2_refuse_after(std::size_t allocations) noexcept;

/// Allocations Box2D made through this library since the process started (for
/// tests: non-zero once a world is built shows the library is the one bound).
std::size_t quorvel_b2_allocations() noexcept;
}
