// engine/src/kickoff.hpp: placing players and ball on their kick-off spots.
#pragma once

#include "rng.hpp"
#include "quorvel/types.hpp"
#include "world.hpp"

namespace quorvel {

/// Puts every player on its formation spot and the ball on the centre spot,
/// all at rest. Each team's kick-off player stands on the centre line's axis at
/// the kick-off gap from the ball; every other player gets a fresh uniform
/// jitter along y, team A's draws before team B's, one generator word each.
///
/// Throws EngineFault when a team has two or more players and the formation
/// cannot be drawn: a field narrower than two player radii (or NaN bounds), or
/// a jitter range that is empty (negative, NaN) or of no finite width.
void place_kickoff(World& world, Rng& rng, const EngineConfig& config);

}  // namespace quorvel
