// bench/tick_bench.cpp: the timed cases of the engine: its tick and its spectator frame.
#include <benchmark/benchmark.h>

#include "bench_config.hpp"
#include "command_pattern.hpp"
#include "quorvel/engine.hpp"

namespace quorvel::bench {
namespace {

// One iteration is one tick. The pattern index wraps without a division.
void engine_step(benchmark::State& state) {
    const EngineConfig config = config_for(state);
    const auto pattern = command_pattern(config.players_per_team);
    Engine engine(config, kSeed);
    std::size_t t = 0;
    for (auto _ : state) {
        StepResult result = engine.step(pattern[t].team_a, pattern[t].team_b);
        benchmark::DoNotOptimize(result);
        if (++t == kPatternTicks) t = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

// The frame of a match in play: one lap of the pattern first, so that bodies
// are spread out and moving.
void engine_spectator(benchmark::State& state) {
    const EngineConfig config = config_for(state);
    const auto pattern = command_pattern(config.players_per_team);
    Engine engine(config, kSeed);
    for (const TickCommands& commands : pattern) engine.step(commands.team_a, commands.team_b);
    for (auto _ : state) {
        SpectatorFrame frame = engine.spectator_frame();
        benchmark::DoNotOptimize(frame);
    }
    state.SetItemsProcessed(state.iterations());
}

// The default team size and eleven a side.
BENCHMARK(engine_step)->ArgName("players")->Arg(3)->Arg(11);
BENCHMARK(engine_spectator)->ArgName("players")->Arg(3)->Arg(11);

}  // namespace
}  // namespace quorvel::bench
