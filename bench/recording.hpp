// bench/recording.hpp: recorded commands of many matches (bench/play_styles.py's .npy files), read for C++ cases.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "quorvel/engine.hpp"
#include "quorvel/types.hpp"

namespace quorvel::bench {

/// Commands of `matches` matches over `ticks` ticks, P players a side: for tick t
/// and match m, team A's P rows of (move_x, move_y, kick_x, kick_y), then team
/// B's, each in its team's frame; a zero kick is no kick. Match m was recorded
/// as BatchEngine(config, N, seed=kSeed) plays its match m: start_match builds it.
struct Recording {
    std::size_t ticks = 0, matches = 0, players = 0;
    std::vector<float> rows;

    std::span<const float> team(std::size_t tick, std::size_t match, Team team) const {
        const std::size_t width = 4 * players;
        return {rows.data() + ((tick * matches + match) * 2 + team) * width, width};
    }

    /// The same commands as Action records, as Engine::step takes them.
    Actions actions(std::size_t tick, std::size_t match, Team team) const;
};

/// Match m at its recorded start: Engine(config, kSeed + m) with the recording's
/// team size, restarted once as BatchEngine.reset() restarts every match (a
/// second kick-off, drawn on from the first).
Engine start_match(const Recording& recording, std::size_t m);

/// Reads a little-endian float32 .npy array of shape (T, N, 2, P, 4) in C order.
/// Throws std::runtime_error naming the file for anything else.
Recording load_recording(const std::string& path);

}  // namespace quorvel::bench
