// engine/batch/capacity.cpp: the machine's cores and memory, and what one match may take of it.
#include "capacity.hpp"

#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "quorvel/engine.hpp"
#include "quorvel/limits.hpp"

namespace quorvel::batch {
namespace {

// What bench/match_memory.cpp measured (glibc's heap in use, Box2D 2.4.1),
// per match, after every player had run at the ball at 4 units a tick (as fast
// as players stay apart) for 300 ticks (for 900 in brackets), rounded. KiB:
//
//     players a side      0     3          11          32          50            128            256    512
//     open field        168   185   221 (223)   437 (448)   756 (764)   2456 (2576)   5261 (6582)   6675 (6675)
//     piled (<= 32)     168   185         254   701 (701)
//
// A match starts at about 168 KiB whatever its team (Box2D's world holds a
// 100 KiB stack for its solver). Crowded play then adds the contacts of every
// pair of fattened boxes that overlap, which Box2D keeps for the match's life:
// about 12 KiB a player a side, and as the crowd presses in, a term in the
// square of the team (1/16 KiB on a field that holds the teams apart, 1/2 KiB
// where they pile onto one spot).
constexpr double kBaseBytes = 176.0 * 1024;
constexpr double kBytesPerPlayer = 12.0 * 1024;
constexpr double kBytesPerPlayerSquaredApart = 1024.0 / 16;
constexpr double kBytesPerPlayerSquaredPiled = 1024.0 / 2;
// The batch's own rows: observations (and final ones), spectator rows, staged
// commands, and the copies a call hands out: about 300 bytes a player.
constexpr double kBatchBytesPerPlayer = 320.0;
constexpr double kBatchBaseBytes = 256.0;

double available_bytes() {
    const long long pages = sysconf(_SC_PHYS_PAGES);
    const long long page = sysconf(_SC_PAGE_SIZE);
    double bytes = pages > 0 && page > 0 ? double(pages) * double(page) : 0.0;
    rlimit limit{};
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        bytes = bytes > 0.0 ? std::min(bytes, double(limit.rlim_cur)) : double(limit.rlim_cur);
    }
    return bytes;
}

}  // namespace

unsigned usable_cores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
    const unsigned reported = std::thread::hardware_concurrency();
    return reported ? reported : 1;
}

std::size_t match_bytes(const EngineConfig& config) {
    // A larger team is refused anyway (and must not overflow the estimate).
    const double players = double(std::min(config.players_per_team, kMaxPlayersPerTeam));
    const bool piled = max_players_per_team(config) <= kMaxPiledPlayersPerTeam;
    const double squared = piled ? kBytesPerPlayerSquaredPiled : kBytesPerPlayerSquaredApart;
    return std::size_t(kBaseBytes + kBatchBaseBytes + (kBytesPerPlayer + kBatchBytesPerPlayer) * players +
                       squared * players * players);
}

std::size_t most_matches(const EngineConfig& config) {
    const double bytes = available_bytes();
    if (bytes <= 0.0) return std::size_t{1} << 24;
    return std::max<std::size_t>(1, std::size_t(bytes / double(match_bytes(config))));
}

}  // namespace quorvel::batch
