// bench/batch_native_bench.cpp: the batched engine's plain C++ core: 256 matches a step on one thread.
#include <benchmark/benchmark.h>

#include <map>
#include <memory>
#include <vector>

#include "bench_config.hpp"
#include "command_pattern.hpp"
#include "match_batch.hpp"

namespace quorvel::bench {
namespace {

constexpr std::size_t kMatches = 256;
// As bench/batch_bench.py: the first laps after the kick-offs are played untimed.
constexpr std::size_t kWarmupTicks = 1200;

// MatchBatch with its output buffers, on the pattern's commands as the flat rows
// BatchEngine.step stages: per match, team A's players then team B's.
struct NativeBatch {
    explicit NativeBatch(const EngineConfig& config)
        : outputs(kMatches, config.players_per_team, batch::Autoreset::NEXT_STEP) {
        std::vector<std::uint64_t> seeds;
        for (std::size_t i = 0; i < kMatches; ++i) seeds.push_back(kSeed + i);
        matches = std::make_unique<batch::MatchBatch>(config, seeds, batch::Autoreset::NEXT_STEP, 1,
                                                      outputs.buffers());
        for (const TickCommands& commands : command_pattern(config.players_per_team)) {
            std::vector<float>& rows = actions.emplace_back();
            for (std::size_t i = 0; i < kMatches; ++i) {
                for (const Actions* team : {&commands.team_a, &commands.team_b}) {
                    for (const Action& a : team->players) rows.insert(rows.end(), {a.move_dir.x, a.move_dir.y, 0.0f, 0.0f});
                }
            }
        }
        for (std::size_t t = 0; t < kWarmupTicks; ++t) step();
    }

    void step() {
        matches->step(actions[next].data());
        if (++next == actions.size()) next = 0;
    }

    batch::OutputStorage outputs;
    std::unique_ptr<batch::MatchBatch> matches;
    std::vector<std::vector<float>> actions;
    std::size_t next = 0;
};

// One iteration is one step of every match; the "matches" counter lets the
// report divide the time per iteration into time per match-tick. The batch is
// built and warmed once per team size and plays on across the library's runs.
void batch_native(benchmark::State& state) {
    static std::map<std::int64_t, std::unique_ptr<NativeBatch>> batches;
    std::unique_ptr<NativeBatch>& batch = batches[state.range(0)];
    if (!batch) batch = std::make_unique<NativeBatch>(config_for(state));
    for (auto _ : state) batch->step();
    state.counters["matches"] = double(kMatches);
    state.SetItemsProcessed(state.iterations() * std::int64_t(kMatches));
}

// The default team size only: at 11 a side the warm-up alone would take seconds a round.
BENCHMARK(batch_native)->ArgName("players")->Arg(3);

}  // namespace
}  // namespace quorvel::bench
