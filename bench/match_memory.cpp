// bench/match_memory.cpp: the heap a match holds, built and after crowded play, by team size: the figures behind the batch's bound.
//
//     build/bench/bench/quorvel_match_memory [ticks [players...]]
//
// For each team size, on an open field that holds the team apart and on a
// field where it piles onto one spot (up to the piled limit), builds a number
// of engines and measures the heap they hold (glibc's mallinfo2: bytes in use,
// small and mmapped), then plays `ticks` ticks (default 300) in which every
// player runs at the ball as fast as the engine lets players stay apart (4
// units a tick: Box2D's step cap), and measures it again: Box2D keeps its contacts' memory once
// it has it. Prints KiB per match, the per-player slope between sizes, and the
// batch's estimate for the configuration (engine/batch/capacity.hpp), which
// must stay above what is measured. Team sizes default to 0 to 512.
#include <malloc.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "capacity.hpp"
#include "engine_probe.hpp"
#include "quorvel/engine.hpp"
#include "quorvel/limits.hpp"

namespace quorvel {
namespace {

double heap_bytes() {
    const struct mallinfo2 m = mallinfo2();
    return double(m.uordblks) + double(m.hblkhd);
}

// Everyone runs straight at the ball, in its own team's frame.
Actions chase(const Engine& e, Team team) {
    const World& w = EngineProbe::world(e);
    const Vec2 ball = position_of(*w.ball);
    const float mirror = team == TEAM_A ? 1.0f : -1.0f;
    Actions out;
    for (const b2Body* body : w.teams[team]) {
        const Vec2 p = position_of(*body);
        out.players.push_back({{mirror * (ball.x - p.x), ball.y - p.y}, std::nullopt});
    }
    return out;
}

struct Figures {
    double built, played;  // bytes per match
};

Figures measure(const EngineConfig& config, std::size_t matches, int ticks) {
    const double before = heap_bytes();
    std::vector<Engine> engines;
    engines.reserve(matches);
    for (std::size_t i = 0; i < matches; ++i) engines.emplace_back(config, 1000 + i);
    const double built = heap_bytes();
    for (int t = 0; t < ticks; ++t) {
        for (Engine& e : engines) e.advance(chase(e, TEAM_A), chase(e, TEAM_B));
    }
    const double played = heap_bytes();
    return {(built - before) / double(matches), (played - before) / double(matches)};
}

}  // namespace
}  // namespace quorvel

int main(int argc, char** argv) {
    using namespace quorvel;
    const int ticks = argc > 1 ? std::atoi(argv[1]) : 300;
    std::vector<std::uint64_t> sizes;
    for (int i = 2; i < argc; ++i) sizes.push_back(std::strtoull(argv[i], nullptr, 10));
    if (sizes.empty()) sizes = {0, 1, 3, 11, 32, 50, 128, 256, 512};
    std::printf("%-6s %-7s %9s %12s %14s %14s\n", "field", "players", "matches", "built KiB", "played KiB",
                "estimate KiB");
    for (const bool piled : {false, true}) {
        double last_players = 0, last_played = 0;
        for (const std::uint64_t players : sizes) {
            EngineConfig config;
            config.players_per_team = players;
            if (piled) {  // a strip as wide as a player: every player on one spot
                config.field_width = 0.0f;
                config.field_height = 2.0f * config.player_radius;
                config.formation_jitter = 0.0f;
            } else {      // wide enough for the largest team, and as fast as stays apart
                config.field_width = 400.0f;
                config.field_height = 200.0f;
                config.player_max_speed = kFieldScale * b2_maxTranslation / config.dt;
            }
            if (players > max_players_per_team(config)) continue;
            const std::size_t matches = std::max<std::size_t>(4, std::min<std::size_t>(64, 2048 / (players + 1)));
            const Figures f = measure(config, matches, ticks);
            std::printf("%-6s %7llu %9zu %12.1f %14.1f %14.1f", piled ? "piled" : "open",
                        static_cast<unsigned long long>(players), matches, f.built / 1024, f.played / 1024,
                        double(batch::match_bytes(config)) / 1024);
            if (last_players > 0) {
                std::printf("   +%.2f KiB a player a side", (f.played - last_played) / 1024 / (double(players) - last_players));
            }
            std::printf("\n");
            last_players = double(players);
            last_played = f.played;
        }
    }
}
