// bench/floor_check.hpp: proof that the bare world plays the same match as the engine it is the floor of.
#pragma once

#include <cstddef>
#include <string>

#include "quorvel/types.hpp"

namespace quorvel::bench {

/// Plays `ticks` ticks of the command pattern on an engine and on a bare world
/// built from `config`, and compares every body's position and velocity, bit for
/// bit, after every tick. Returns an empty string when they agree throughout,
/// otherwise where they first differ. A floor that drifts from the engine's
/// match would time different physics, and every ratio against it would lie.
std::string check_floor(const EngineConfig& config, std::size_t ticks);

}  // namespace quorvel::bench
