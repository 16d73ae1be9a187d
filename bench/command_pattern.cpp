// bench/command_pattern.cpp: building the benchmarks' command pattern and its player velocities.
#include "command_pattern.hpp"

#include <cmath>
#include <numbers>

#include "commands.hpp"

namespace quorvel::bench {
namespace {

// A unit command whose direction has turned by `tick` steps of one lap.
Vec2 lap_direction(std::size_t tick) {
    const double angle = 2.0 * std::numbers::pi * double(tick) / double(kPatternTicks);
    return {float(std::cos(angle)), float(std::sin(angle))};
}

void add_velocities(const Actions& actions, Team team, float max_speed, std::vector<b2Vec2>& out) {
    for (const Action& a : actions.players) {
        const Vec2 v = movement_velocity(a.move_dir, team, max_speed);
        out.emplace_back(v.x, v.y);
    }
}

}  // namespace

std::vector<TickCommands> command_pattern(std::size_t players) {
    std::vector<TickCommands> pattern(kPatternTicks);
    for (std::size_t t = 0; t < kPatternTicks; ++t) {
        const Action run{lap_direction(t), std::nullopt};
        pattern[t].team_a.players.assign(players, run);
        pattern[t].team_b.players.assign(players, run);
    }
    return pattern;
}

std::vector<std::vector<b2Vec2>> pattern_velocities(const std::vector<TickCommands>& pattern,
                                                    const EngineConfig& config) {
    // The engine's own command scaling, so that the floor sets the very same floats.
    std::vector<std::vector<b2Vec2>> out(pattern.size());
    for (std::size_t t = 0; t < pattern.size(); ++t) {
        add_velocities(pattern[t].team_a, TEAM_A, config.player_max_speed, out[t]);
        add_velocities(pattern[t].team_b, TEAM_B, config.player_max_speed, out[t]);
    }
    return out;
}

}  // namespace quorvel::bench
