// engine/src/config_limits.cpp: the checks behind refused configurations, one reason each.
#include "config_limits.hpp"

#include <cmath>
#include <string>

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

}  // namespace

void refuse_unplayable(const EngineConfig& c) {
    if (c.players_per_team > kMaxPlayersPerTeam) {
        refuse("players_per_team", "must be at most 32");
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
}

}  // namespace quorvel
