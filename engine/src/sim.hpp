// engine/src/sim.hpp: the match engine: physics world, kick-off, tick, observations.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "types.hpp"

namespace quorvel {

/// One match. Owns its physics world, random generator, configuration copy,
/// score and tick counter; shares nothing with other engines.
class Engine {
public:
    /// Builds the world and places the first kick-off. The configuration is copied.
    /// Throws EngineFault when the configuration cannot be played.
    Engine(const EngineConfig& config, std::uint64_t seed);

    // Movable (the world lives on the heap, nothing in it points back into the
    // Engine object), so a built engine can be moved into its owner.
    Engine(Engine&&) noexcept;
    Engine& operator=(Engine&&) noexcept;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    ~Engine();

    /// Restarts the match: tick and score to zero, a new kick-off (the generator
    /// is not reseeded). Returns (team A's, team B's) first observations.
    std::array<Observation, 2> reset();

    /// Plays one tick with both teams' commands. Lists of any length are accepted.
    StepResult step(const Actions& team_a, const Actions& team_b);

    /// The whole match in the normalised absolute frame. Reads only.
    SpectatorFrame spectator_frame() const;

    /// One team's view of the match in its own frame. Reads only.
    Observation build_observation(Team team) const;

    const EngineConfig& config() const;

private:
    struct Match;                   // world, generator, configuration copy, score, tick
    friend struct EngineProbe;      // white-box access for the engine's tests

    Match& match();
    const Match& match() const;

    std::unique_ptr<Match> match_;  // on the heap: Box2D holds pointers into it
};

}  // namespace quorvel
