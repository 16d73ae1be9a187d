// engine/src/limits.cpp: the checks behind refused configurations, one reason each.
#include "quorvel/limits.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include <box2d/box2d.h>

#include "box2d_scale.hpp"
#include "quorvel/number_format.hpp"

namespace quorvel {
namespace {

[[noreturn]] void refuse(const char* field, const std::string& why) {
    throw EngineFault(std::string("unplayable configuration: ") + field + " " + why);
}

void require_magnitude(const char* field, float value, float bound, const char* bound_text) {
    if (!(std::fabs(value) <= bound)) {  // also catches NaN
        refuse(field, std::string("must be a finite number between -") + bound_text + " and " + bound_text);
    }
}

// Box2D's inverse mass of a disc of density 1 and this radius in field units,
// worked out as it does; 1 where the mass rounds to zero, which Box2D replaces by 1.
float inverse_disc_mass(float radius) {
    const float box2d_radius = kBox2DScale * radius;
    const float mass = 1.0f * b2_pi * box2d_radius * box2d_radius;
    return mass > 0.0f ? 1.0f / mass : 1.0f;
}

// Box2D integrates each step h as v += (h * inverse mass) * (force + gravity),
// both zero here: an infinite product makes the body NaN. Steps are never
// longer than dt, so dt decides. A non-positive or NaN dt never integrates,
// but an infinite inverse mass already makes the body's centre NaN.
bool mass_survives(float radius, float dt) {
    const float inverse = inverse_disc_mass(radius);
    return std::isfinite(inverse) && (!(dt > 0.0f) || std::isfinite(dt * inverse));
}

void require_invertible_mass(const char* field, float radius, float dt) {
    if (mass_survives(radius, dt)) return;
    // The smallest magnitude above the refused band, for the message.
    float bound = kFieldScale * std::sqrt((dt > 1.0f ? dt : 1.0f) / (b2_pi * std::numeric_limits<float>::max()));
    while (!mass_survives(bound, dt)) bound = std::nextafter(bound, 1.0f);
    refuse(field, "is too small for Box2D with this dt: the inverse of its disc's mass pi r^2, times dt, "
                  "is not a finite float; use 0 or a magnitude of at least " + format_action_number(bound));
}

}  // namespace

std::uint64_t max_players_per_team(const EngineConfig& c) {
    // Doubles: lengths are checked after the team, so they may still be huge or NaN.
    auto size = [](float v) { return std::isfinite(v) ? std::fabs(double(v)) : 0.0; };
    const double width = std::isfinite(c.field_width) && c.field_width > 0.0f ? c.field_width : 0.0;
    const double height = std::isfinite(c.field_height) && c.field_height > 0.0f ? c.field_height : 0.0;
    // Box2D's margin and largest move a step, in field units.
    const double margin = double(kFieldScale * b2_aabbExtension);
    const double max_move = double(kFieldScale * b2_maxTranslation);
    const double radius = size(c.player_radius);
    // Players smaller than Box2D's box margin, or faster than its per-step
    // limit in one tick, can crowd inside each other's boxes however large
    // the field: only the piled limit holds for them.
    // A disc wider than the field by more than Box2D moves a body in a step
    // overlaps every other one for good.
    const double narrow = std::min(width, height) + max_move;
    if (2.0 * std::max(radius, size(c.ball_radius)) > narrow) return kMaxOverlappingPlayersPerTeam;
    const double reach = c.dt > 0.0f ? size(c.player_max_speed) * double(c.dt) : 0.0;
    const double player = 2.0 * (radius + margin);
    // A jitter wider than a player clamps many of them onto the same spot at a
    // side wall, and a strip too thin for a team's column piles it at kick-off.
    const bool apart = radius >= margin && reach <= max_move &&
                       double(c.formation_jitter) <= player;
    if (!apart) return kMaxPiledPlayersPerTeam;
    const double ball = 2.0 * (size(c.ball_radius) + margin);
    const double side = std::min(width, height);
    const double room = side * side * 0.5 - ball * ball;  // half the largest square inside, less the ball
    const double held = std::floor(room / (2.0 * player * player));  // per team
    if (!(held > double(kMaxPiledPlayersPerTeam))) return kMaxPiledPlayersPerTeam;
    return held >= double(kMaxPlayersPerTeam) ? kMaxPlayersPerTeam : std::uint64_t(held);
}

void refuse_unplayable(const EngineConfig& c) {
    const std::uint64_t most = max_players_per_team(c);
    if (c.players_per_team > most) {
        refuse("players_per_team", "must be at most " + std::to_string(most) + " on this field (at most " +
                                       std::to_string(kMaxPlayersPerTeam) + " where both teams stay apart on at most half "
                                       "of it, " + std::to_string(kMaxPiledPlayersPerTeam) + " where they cannot, " +
                                       std::to_string(kMaxOverlappingPlayersPerTeam) + " where a player or the ball is "
                                       "more than " + format_action_number(kFieldScale * b2_maxTranslation) +
                                       " wider than the field's smaller side)");
    }
    require_magnitude("field_width", c.field_width, kMaxLength, "1e6");
    require_magnitude("field_height", c.field_height, kMaxLength, "1e6");
    require_magnitude("player_radius", c.player_radius, kMaxLength, "1e6");
    require_magnitude("ball_radius", c.ball_radius, kMaxLength, "1e6");
    require_magnitude("kick_range", c.kick_range, kMaxLength, "1e6");
    require_magnitude("player_max_speed", c.player_max_speed, kMaxSpeed, "1e9");
    require_magnitude("kick_max_speed", c.kick_max_speed, kMaxSpeed, "1e9");
    require_magnitude("ball_restitution", c.ball_restitution, kMaxRestitution, "1e6");
    // Box2D asserts that a body's damping is finite and not negative.
    if (!(std::isfinite(c.ball_linear_damping) && c.ball_linear_damping >= 0.0f)) {
        refuse("ball_linear_damping", "must be finite and not negative");
    }
    // A step Box2D does not integrate (zero, negative, NaN) is harmless: the
    // world stands still. A positive one must be neither tiny nor huge.
    if (c.dt > 0.0f && !(c.dt >= kMinPositiveDt && c.dt <= kMaxDt)) {
        refuse("dt", "must be between 1e-9 and 1e6 when positive");
    }
    require_invertible_mass("player_radius", c.player_radius, c.dt);
    require_invertible_mass("ball_radius", c.ball_radius, c.dt);
}

}  // namespace quorvel
