// engine/src/observation.hpp: the match as one team sees it, and as a spectator sees it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "quorvel/engine.hpp"
#include "quorvel/types.hpp"
#include "world.hpp"

namespace quorvel {

/// What an observation or frame needs besides the bodies.
struct MatchView {
    const World& world;
    const EngineConfig& config;
    Score score;          ///< (team A's goals, team B's goals)
    std::uint32_t tick;   ///< ticks played since construction or reset
};

/// `max_ticks` minus the ticks played, 0 once they reach it.
std::uint32_t ticks_remaining(const MatchView& view);

/// `team`'s view in its own frame: positions relative to the centre spot in
/// half-lengths and half-widths, x negated for team B. Its two player lists
/// are sized to the teams (allocating only for teams of more than eleven).
Observation observe(const MatchView& view, Team team);

/// Both teams' views, as observe(view, TEAM_A) and observe(view, TEAM_B) give
/// them, normalising each body once.
std::array<Observation, 2> observe_both(const MatchView& view);

/// observe_both's floats in the flat layout of observation_width, written into
/// two rows of that width (unchecked: the caller sizes them).
void observe_both_into(const MatchView& view, float* team_a, float* team_b);

/// spectate's players (x, y, vx, vy each, team A's then team B's) and ball, flat.
void spectate_into(const MatchView& view, float* players, float* ball);

/// The whole match in team A's frame, never mirrored: team A's players, then
/// team B's.
SpectatorFrame spectate(const MatchView& view);

}  // namespace quorvel
