// bench/tick_profile.cpp: plays one benchmark case for a fixed number of ticks, untimed, for callgrind.
//
//     valgrind --tool=callgrind --toggle-collect='quorvel::bench::play_*'
//              build/bench/bench/quorvel_tick_profile engine_step 3 20000
//     ... quorvel_tick_profile recorded build/bench/styles/scripted_3.npy 8
//     quorvel_tick_profile stats build/bench/styles/scripted_3.npy 300
//
// `recorded` plays the first MATCHES matches of a recording (bench/play_styles.py)
// through all its ticks; `stats` prints, as one JSON object, the Box2D steps and
// contacts per tick of every match of a recording from tick FIRST_TICK on.
// Instruction counts are reproducible where timings on a shared machine are
// not; collecting only inside play_* leaves out building the world and the
// pattern, so the total divided by the ticks is the cost of one tick.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bare_world.hpp"
#include "command_pattern.hpp"
#include "play_stats.hpp"
#include "recording.hpp"
#include "sim.hpp"

namespace quorvel::bench {

[[gnu::noinline]] void play_bare_box2d(BareWorld& world,
                                       const std::vector<std::vector<b2Vec2>>& velocities,
                                       std::size_t ticks) {
    for (std::size_t t = 0; t < ticks; ++t) world.tick(velocities[t % kPatternTicks]);
}

[[gnu::noinline]] void play_engine_step(Engine& engine, const std::vector<TickCommands>& pattern,
                                        std::size_t ticks) {
    for (std::size_t t = 0; t < ticks; ++t) {
        const TickCommands& c = pattern[t % kPatternTicks];
        StepResult result = engine.step(c.team_a, c.team_b);
        asm volatile("" : : "g"(&result) : "memory");  // the result is used
    }
}

[[gnu::noinline]] void play_recorded(std::vector<Engine>& engines,
                                     const std::vector<std::vector<TickCommands>>& commands) {
    for (std::size_t m = 0; m < engines.size(); ++m) {
        for (const TickCommands& c : commands[m]) {
            StepResult result = engines[m].step(c.team_a, c.team_b);
            asm volatile("" : : "g"(&result) : "memory");
        }
    }
}

[[gnu::noinline]] void play_engine_spectator(const Engine& engine, std::size_t ticks) {
    for (std::size_t t = 0; t < ticks; ++t) {
        SpectatorFrame frame = engine.spectator_frame();
        asm volatile("" : : "g"(&frame) : "memory");
    }
}

}  // namespace quorvel::bench

int main(int argc, char** argv) {
    using namespace quorvel;
    using namespace quorvel::bench;
    if (argc == 4 && std::strcmp(argv[1], "recorded") == 0) {
        const Recording recording = load_recording(argv[2]);
        const std::size_t matches = std::min<std::size_t>(std::strtoull(argv[3], nullptr, 10), recording.matches);
        EngineConfig config;
        config.players_per_team = recording.players;
        std::vector<Engine> engines;
        std::vector<std::vector<TickCommands>> commands(matches);
        for (std::size_t m = 0; m < matches; ++m) {
            engines.emplace_back(config, kSeed + m);
            for (std::size_t t = 0; t < recording.ticks; ++t) {
                commands[m].push_back({recording.actions(t, m, TEAM_A), recording.actions(t, m, TEAM_B)});
            }
        }
        play_recorded(engines, commands);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "stats") == 0) {
        const PlayStats s = measure_play(load_recording(argv[2]), std::strtoull(argv[3], nullptr, 10));
        std::printf("{\"substeps_per_tick\": %.4f, \"contacts_per_tick\": %.3f, \"pairs_per_tick\": %.3f, "
                    "\"goals_per_match\": %.3f}\n",
                    s.substeps_per_tick, s.contacts_per_tick, s.pairs_per_tick, s.goals_per_match);
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s bare_box2d|engine_step|engine_spectator PLAYERS TICKS\n"
                             "       %s recorded FILE MATCHES\n       %s stats FILE FIRST_TICK\n",
                     argv[0], argv[0], argv[0]);
        return 2;
    }
    EngineConfig config;
    config.players_per_team = std::strtoull(argv[2], nullptr, 10);
    const std::size_t ticks = std::strtoull(argv[3], nullptr, 10);
    const auto pattern = command_pattern(config.players_per_team);

    if (std::strcmp(argv[1], "bare_box2d") == 0) {
        const auto velocities = pattern_velocities(pattern, config);
        BareWorld world(config, kSeed);
        play_bare_box2d(world, velocities, ticks);
    } else if (std::strcmp(argv[1], "engine_step") == 0) {
        Engine engine(config, kSeed);
        play_engine_step(engine, pattern, ticks);
    } else if (std::strcmp(argv[1], "engine_spectator") == 0) {
        Engine engine(config, kSeed);
        play_engine_spectator(engine, ticks);
    } else {
        std::fprintf(stderr, "no case %s\n", argv[1]);
        return 2;
    }
    return 0;
}
