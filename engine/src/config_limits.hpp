// engine/src/config_limits.hpp: configurations the engine refuses to build because the world would not survive them.
#pragma once

#include <cstdint>

#include "types.hpp"

namespace quorvel {

/// Most players a team may have. Every player of a team can stand on the same
/// kick-off column, so contacts grow with the square of the team; past this
/// count the world's memory and each tick's time run away.
inline constexpr std::uint64_t kMaxPlayersPerTeam = 1024;

/// Throws EngineFault, naming the field, for a configuration that would crash
/// the physics library, corrupt it with non-finite state, or exhaust memory.
/// Odd but survivable values (zero sizes, zero or negative time steps, bouncy
/// balls) are left alone.
void refuse_unplayable(const EngineConfig& config);

}  // namespace quorvel
