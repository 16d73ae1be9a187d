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
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bare_world.hpp"
#include "command_pattern.hpp"
#include "play_stats.hpp"
#include "observation.hpp"
#include "quorvel/engine.hpp"
#include "recording.hpp"

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

// Every match a tick in turn, as the batch steps them: the worlds do not all fit in cache.
[[gnu::noinline]] void play_lockstep(std::vector<Engine>& engines, const Recording& recording,
                                     std::size_t first_tick, std::vector<float>& observations) {
    const std::size_t width = observations.size() / 2;
    for (std::size_t t = first_tick; t < recording.ticks; ++t) {
        for (std::size_t m = 0; m < engines.size(); ++m) {
            engines[m].advance(recording.team(t, m, TEAM_A), recording.team(t, m, TEAM_B));
            engines[m].write_observations(std::span(observations).first(width),
                                          std::span(observations).last(width));
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
            engines.push_back(start_match(recording, m));
            for (std::size_t t = 0; t < recording.ticks; ++t) {
                commands[m].push_back({recording.actions(t, m, TEAM_A), recording.actions(t, m, TEAM_B)});
            }
        }
        play_recorded(engines, commands);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "lockstep") == 0) {
        const Recording recording = load_recording(argv[2]);
        const std::size_t first_tick = std::min<std::size_t>(std::strtoull(argv[3], nullptr, 10), recording.ticks);
        EngineConfig config;
        config.players_per_team = recording.players;
        std::vector<Engine> engines;
        for (std::size_t m = 0; m < recording.matches; ++m) {
            engines.push_back(start_match(recording, m));
            for (std::size_t t = 0; t < first_tick; ++t) {
                engines[m].advance(recording.team(t, m, TEAM_A), recording.team(t, m, TEAM_B));
            }
        }
        std::vector<float> observations(2 * observation_width(config.players_per_team));
        const auto start = std::chrono::steady_clock::now();
        play_lockstep(engines, recording, first_tick, observations);
        const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - start;
        std::fprintf(stderr, "%.0f ns per match-tick\n",
                     took.count() / double((recording.ticks - first_tick) * std::max<std::size_t>(1, recording.matches)));
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "stats") == 0) {
        const PlayStats s = measure_play(load_recording(argv[2]), std::strtoull(argv[3], nullptr, 10));
        std::printf("{\"substeps_per_tick\": %.4f, \"contacts_per_tick\": %.3f, \"pairs_per_tick\": %.3f, \"begun_per_tick\": %.3f, "
                    "\"goals_per_match\": %.3f, \"pass_throughs\": %zu, \"deepest_overlap\": %.4f, "
                    "\"mean_overlap\": %.4f, \"deepest_in_wall\": %.4f, \"ball_centre_past_wall\": %.4f, "
                    "\"settled_motion\": %.5f}\n",
                    s.substeps_per_tick, s.contacts_per_tick, s.pairs_per_tick, s.begun_per_tick,
                    s.goals_per_match, s.pass_throughs, s.deepest_overlap, s.mean_overlap, s.deepest_in_wall,
                    s.ball_centre_past_wall, s.settled_motion);
        return 0;
    }
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s bare_box2d|engine_step|engine_spectator PLAYERS TICKS\n"
                             "       %s recorded FILE MATCHES\n       %s lockstep FILE FIRST_TICK\n"
                             "       %s stats FILE FIRST_TICK\n",
                     argv[0], argv[0], argv[0], argv[0]);
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
