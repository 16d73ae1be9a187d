// bench/command_pattern.hpp: the commands every benchmark plays, and the player velocities they give.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include <box2d/box2d.h>

#include "quorvel/types.hpp"

namespace quorvel::bench {

/// Ticks after which the pattern repeats: one lap of the circle each team runs.
inline constexpr std::size_t kPatternTicks = 120;

/// The seed of every engine and bare world the benchmarks build.
inline constexpr std::uint64_t kSeed = 7;

/// One tick's commands, each team's in its own frame.
struct TickCommands {
    Actions team_a;
    Actions team_b;
};

/// kPatternTicks ticks of commands for `players` a side. Every player of a team
/// runs at full speed in the team's direction, which turns once around the
/// circle per pattern; both teams turn the same way in their own frames, so they
/// run mirrored laps that bring the kick-off players together over the ball.
/// No kicks: a kick changes the ball's velocity, which the bare world could not
/// reproduce without the engine's rules, and the floor must play the same match.
std::vector<TickCommands> command_pattern(std::size_t players);

/// For each tick of `pattern`, the velocity the engine gives each player,
/// team A's players then team B's, in the absolute field frame.
std::vector<std::vector<b2Vec2>> pattern_velocities(const std::vector<TickCommands>& pattern,
                                                    const EngineConfig& config);

}  // namespace quorvel::bench
