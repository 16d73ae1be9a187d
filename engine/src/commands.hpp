// engine/src/commands.hpp: turning a team's command vectors into velocities in the field frame.
#pragma once

#include <cmath>
#include <limits>
#include <optional>

#include "lanes.hpp"
#include "quorvel/types.hpp"

namespace quorvel {

/// A command of length 1 or more becomes a vector of length `speed` in its
/// direction; a shorter one keeps its length as a fraction of `speed`.
/// Evaluated as (c / L) * min(L, 1) * speed, L = sqrt(cx² + cy²), in that order:
/// the rounding of each float step is part of the result.
inline Vec2 scale_command(Vec2 c, float speed) {
    const float length = std::sqrt(c.x * c.x + c.y * c.y);
    // std::fmin's value without its library call (which cost more than the
    // rest of the scaling): a NaN length gives 1 here as it does there.
    const float throttle = length < 1.0f ? length : 1.0f;
    return {c.x / length * throttle * speed, c.y / length * throttle * speed};
}

/// Team B's commands come in its own frame, which is team A's reflected in the
/// halfway line: only x changes sign.
inline Vec2 to_field_frame(Vec2 command, Team team) {
    return team == TEAM_B ? Vec2{-command.x, command.y} : command;
}

inline bool is_finite(Vec2 v) { return std::isfinite(v.x) && std::isfinite(v.y); }

/// A player's new velocity for `move_dir`: the scaled command, or a dead stop
/// for a zero command and for one with a non-finite component (which would
/// otherwise put NaN or infinity into the physics world).
inline Vec2 movement_velocity(Vec2 move_dir, Team team, float max_speed) {
    if (!is_finite(move_dir)) return {0.0f, 0.0f};
    if (!(move_dir.x * move_dir.x + move_dir.y * move_dir.y > 0.0f)) return {0.0f, 0.0f};
    return scale_command(to_field_frame(move_dir, team), max_speed);
}

/// movement_velocity of four commands at once, (x, y) lane by lane: the same
/// IEEE operations in the same order, so the same bits, with the square root
/// and divisions of four players in flight together instead of one after
/// another. Lanes without a player may hold anything (their result is unused).
inline void movement_velocities(Lanes& x, Lanes& y, Team team, float max_speed) {
    const Lanes zero{}, one = zero + 1.0f, largest = zero + std::numeric_limits<float>::max();
    const Lanes ax = x < zero ? -x : x, ay = y < zero ? -y : y;  // NaN stays NaN and fails below
    if (team == TEAM_B) x = -x;
    const Lanes squared = x * x + y * y;
    const LaneMask moving = (ax <= largest) & (ay <= largest) & (squared > zero);
    const Lanes length = lane_sqrt(squared);
    const Lanes throttle = length < one ? length : one;
    x = moving ? x / length * throttle * max_speed : zero;
    y = moving ? y / length * throttle * max_speed : zero;
}

/// Whether a kick command asks for a kick at all: present, finite and not zero.
inline bool wants_kick(const std::optional<Vec2>& kick) {
    return kick.has_value() && is_finite(*kick) && kick->x * kick->x + kick->y * kick->y != 0.0f;
}

}  // namespace quorvel
