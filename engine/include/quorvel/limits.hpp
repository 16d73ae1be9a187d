// engine/include/quorvel/limits.hpp: configurations the engine refuses to build because the physics world would not survive them.
#pragma once

#include <cstdint>

#include "types.hpp"

namespace quorvel {

/// Most players a team may have on a field that cannot hold both teams apart.
/// There every player can be forced onto one spot (field_width 0, field_height
/// 2 x player_radius), and Box2D's contact and time-of-impact work grows with
/// about the cube of the team: with every player chasing and kicking the ball
/// at 1e9 units/s (8 substeps a tick) the worst tick measured 18 ms at 16 a
/// side, 39 ms at 32, 115 ms at 48 and 369 ms at 64.
inline constexpr std::uint64_t kMaxPiledPlayersPerTeam = 32;

/// Most players a team may have where a disc (player or ball) is wider than the
/// field's smaller side by more than Box2D's per-step limit of 2 units. Such a
/// disc overlaps both walls, and every other body, too deeply for Box2D's
/// position correction to push it out, so all 2n + 1 bodies stay in contact and
/// every tick solves them all: with a ball of radius 1e6 and speeds of 1e9 the
/// worst tick measured 208 ms at 32 a side, 108 ms at 16 and 31 ms at 8
/// (players of radius 10.9 on a 1 x 40 field: 127 ms at 32 a side).
inline constexpr std::uint64_t kMaxOverlappingPlayersPerTeam = 8;

/// Most players a team may have on any field. On fields that hold them apart a
/// crowd around the ball costs about linearly: 512 a side on 400 x 200 measured
/// a worst tick of 11 ms, 1024 a side 68 ms.
inline constexpr std::uint64_t kMaxPlayersPerTeam = 512;

/// Most players a team may have on this configuration's field: up to
/// kMaxPlayersPerTeam while both teams, each player given a square of side
/// 2 x (|player_radius| + Box2D's 0.1 box margin), and the ball its own square,
/// fill at most half the largest square inside the field (a crowd then spreads
/// out instead of piling: 128 a side on 40 x 40 measured 10 ms, 256 a side,
/// which fill it, 723 ms). That needs players that push each other apart
/// before their boxes overlap (|player_radius| at least the margin), cover at
/// most Box2D's per-step limit of 2 units in a tick, and a formation_jitter no
/// wider than their square (a wider one clamps many onto one spot at a wall);
/// otherwise kMaxPiledPlayersPerTeam, or kMaxOverlappingPlayersPerTeam where a
/// disc is wider than the field.
std::uint64_t max_players_per_team(const EngineConfig& config);

/// Largest magnitude of a length that shapes or places bodies (field_width,
/// field_height, player_radius, ball_radius, kick_range). Box2D works in
/// float with fixed tolerances; far larger shapes make its distance and
/// time-of-impact routines fail their assertions or produce non-finite state.
inline constexpr float kMaxLength = 1e6f;

/// Largest magnitude of player_max_speed and kick_max_speed: every kick of
/// both teams can add to the ball in one tick, and the sum must stay finite.
inline constexpr float kMaxSpeed = 1e9f;

/// Largest magnitude of ball_restitution: a bounce multiplies speed by it
/// inside Box2D's solver.
inline constexpr float kMaxRestitution = 1e6f;

/// Range of a positive time step. Box2D divides by the step and keeps speeds
/// up to b2_maxTranslation per substep: below the floor, speed × restitution ×
/// mass can overflow inside its solver (a denormal step overflows 1/dt at
/// once); far above the ceiling (from about 1e30) its integration produces NaN.
inline constexpr float kMinPositiveDt = 1e-9f;
inline constexpr float kMaxDt = 1e6f;

/// Throws EngineFault, naming the field, for a configuration that would crash
/// the physics library, fill it with non-finite numbers, or make a tick run
/// unbounded. Odd but survivable values stay allowed: zero or negative sizes
/// within the bounds, a zero, negative or not-a-number time step (the world
/// then stands still), restitution above 1, any goal width or match length.
void refuse_unplayable(const EngineConfig& config);

}  // namespace quorvel
