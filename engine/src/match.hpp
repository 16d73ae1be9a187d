// engine/src/match.hpp: the state an Engine owns: configuration copy, world, generator, score and tick.
#pragma once

#include <cstdint>

#include "observation.hpp"
#include "rng.hpp"
#include "quorvel/engine.hpp"
#include "world.hpp"

namespace quorvel {

/// Everything one match owns. Lives on the heap behind its Engine, so moving
/// the Engine never moves what Box2D points into.
struct Engine::Match {
    Match(const EngineConfig& c, std::uint64_t seed)
        : config(c), world(config), rng(Rng::from_u64(seed)) {}

    MatchView view() const { return {world, config, score, tick}; }

    const EngineConfig config;  ///< never changed after construction
    World world;
    Rng rng;                    ///< drawn from only at kick-offs
    Score score{};              ///< (team A's goals, team B's goals)
    std::uint32_t tick = 0;     ///< ticks since construction or the last reset
};

}  // namespace quorvel
