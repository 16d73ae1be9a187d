// bench/tick_profile.cpp: plays one benchmark case for a fixed number of ticks, untimed, for callgrind.
//
//     valgrind --tool=callgrind --toggle-collect='quorvel::bench::play_*'
//              build/bench/bench/quorvel_tick_profile engine_step 3 20000
//
// Instruction counts are reproducible where timings on a shared machine are
// not; collecting only inside play_* leaves out building the world and the
// pattern, so the total divided by the ticks is the cost of one tick.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bare_world.hpp"
#include "command_pattern.hpp"
#include "quorvel/engine.hpp"

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
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s bare_box2d|engine_step|engine_spectator PLAYERS TICKS\n",
                     argv[0]);
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
