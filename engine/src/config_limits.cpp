// engine/src/config_limits.cpp: the checks behind refused configurations, one reason each.
#include "config_limits.hpp"

#include <cmath>
#include <string>

namespace quorvel {
namespace {

void refuse(const char* field, const char* why) {
    throw EngineFault(std::string("unplayable configuration: ") + field + " " + why);
}

}  // namespace

void refuse_unplayable(const EngineConfig& c) {
    if (c.players_per_team > kMaxPlayersPerTeam) {
        refuse("players_per_team", "is above 1024");
    }
    // Box2D asserts a body's damping is finite and not negative.
    if (!(std::isfinite(c.ball_linear_damping) && c.ball_linear_damping >= 0.0f)) {
        refuse("ball_linear_damping", "must be finite and not negative");
    }
}

}  // namespace quorvel
