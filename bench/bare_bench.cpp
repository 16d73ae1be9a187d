// bench/bare_bench.cpp: the timed floor: the bare Box2D world, under the case name BARE_CASE.
//
// Built into two binaries: quorvel_bench, where Box2D's step profiler is off as it
// is for the engine (case bare_box2d, the floor), and quorvel_bench_shipped, with
// Box2D as the system ships it (case bare_box2d_shipped).
#include <benchmark/benchmark.h>

#include "bare_world.hpp"
#include "bench_config.hpp"
#include "command_pattern.hpp"

namespace quorvel::bench {
namespace {

// One iteration is one tick. The pattern index wraps without a division.
void BARE_CASE(benchmark::State& state) {
    const EngineConfig config = config_for(state);
    const auto velocities = pattern_velocities(command_pattern(config.players_per_team), config);
    BareWorld world(config, kSeed);
    std::size_t t = 0;
    for (auto _ : state) {
        world.tick(velocities[t]);
        if (++t == kPatternTicks) t = 0;
    }
    state.SetItemsProcessed(state.iterations());
}

// The default team size and eleven a side. BENCHMARK names a case by the
// spelling of its argument, so BARE_CASE is expanded one macro level first.
#define REGISTER_BARE_CASE(name) BENCHMARK(name)->ArgName("players")->Arg(3)->Arg(11)
REGISTER_BARE_CASE(BARE_CASE);
#undef REGISTER_BARE_CASE

}  // namespace
}  // namespace quorvel::bench
