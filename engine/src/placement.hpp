// engine/src/placement.hpp: putting every body of a match where a start state says.
#pragma once

#include <span>

#include "quorvel/types.hpp"
#include "world.hpp"

namespace quorvel {

/// Moves each player (team A's, then team B's) and the ball to the position
/// and velocity of its four floats (x, y, vx, vy in the normalised absolute
/// frame), as a kick-off places them, and keeps Box2D's move queue as short as
/// a kick-off leaves it. The floats must have passed placement_problem.
void place_bodies(World& world, const EngineConfig& config, std::span<const float> players,
                  std::span<const float> ball);

}  // namespace quorvel
