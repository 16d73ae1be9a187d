// bench/play_stats.hpp: what a recorded style of play asks of the physics: Box2D steps and contacts per tick.
#pragma once

#include <cstddef>

#include "recording.hpp"

namespace quorvel::bench {

struct PlayStats {
    double substeps_per_tick = 0;  ///< Box2D steps a tick takes (1 unless a body is very fast)
    double contacts_per_tick = 0;  ///< touching contacts at the end of a tick
    double pairs_per_tick = 0;     ///< contacts Box2D keeps (overlapping boxes), touching or not
    double goals_per_match = 0;    ///< over the recorded ticks, both teams together
};

/// Plays every match of `recording` on its own Engine from tick 0 and averages
/// over ticks [first_tick, ticks) of all of them.
PlayStats measure_play(const Recording& recording, std::size_t first_tick);

}  // namespace quorvel::bench
