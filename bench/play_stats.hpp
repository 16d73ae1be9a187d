// bench/play_stats.hpp: what a recorded style of play asks of the physics, and whether its matches stay sound.
#pragma once

#include <cstddef>

#include "recording.hpp"

namespace quorvel::bench {

struct PlayStats {
    // The work: averaged over the ticks counted.
    double substeps_per_tick = 0;    ///< Box2D steps a tick takes (1 unless a body is very fast)
    double contacts_per_tick = 0;    ///< touching contacts at the end of a tick
    double pairs_per_tick = 0;       ///< contacts Box2D keeps (overlapping boxes), touching or not
    double begun_per_tick = 0;       ///< contacts that begin touching (each one new to the solver)
    // The soundness, over every recorded tick.
    double goals_per_match = 0;      ///< both teams together
    std::size_t pass_throughs = 0;   ///< two discs that crossed each other between ticks, untouching at both ends
    double deepest_overlap = 0;      ///< of two discs at the end of a tick, in field units
    double deepest_in_wall = 0;      ///< a disc's edge past a side wall's face at the end of a tick
    double ball_centre_past_wall = -1e9;  ///< the most the ball's centre went past a side wall's face
    double mean_overlap = 0;         ///< of two discs in contact at the end of a tick
    double settled_motion = 0;       ///< mean distance a player moves a tick in the second half of
                                     ///< each 300-tick span (a pile-up's jitter, for the corner style)
};

/// Plays every match of `recording` on its own Engine from tick 0; averages the
/// work over ticks [first_tick, ticks) of all of them.
PlayStats measure_play(const Recording& recording, std::size_t first_tick);

}  // namespace quorvel::bench
