// bench/recorded_bench.cpp: engine_step on recorded play: each match from its kick-off, its recorded commands in turn.
#include "recorded_bench.hpp"

#include <filesystem>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include "command_pattern.hpp"
#include "recording.hpp"
#include "quorvel/engine.hpp"

namespace quorvel::bench {
namespace {

// bench/play_styles.py's styles, the pattern's own case aside (engine_step).
constexpr const char* kStyles[] = {"random", "scripted", "trained", "crowd", "corner"};

// Matches replayed, each through all its recorded ticks: with 660 ticks each,
// more ticks than one repetition of a few milliseconds plays.
constexpr std::size_t kMatches = 16;

// The recorded commands as Action records, and an engine per match at its kick-off.
struct Replay {
    explicit Replay(const Recording& r) : recording(r), ticks(r.ticks) {
        const std::size_t matches = std::min(kMatches, r.matches);
        for (std::size_t m = 0; m < matches; ++m) {
            for (std::size_t t = 0; t < r.ticks; ++t) {
                commands.push_back({r.actions(t, m, TEAM_A), r.actions(t, m, TEAM_B)});
            }
        }
        rebuild();
    }

    // Every match back at its recorded start.
    void rebuild() {
        engines.clear();
        for (std::size_t m = 0; m * ticks < commands.size(); ++m) engines.push_back(start_match(recording, m));
        next = 0;
    }

    const Recording& recording;
    std::size_t ticks;
    std::vector<TickCommands> commands;  // match 0's ticks, then match 1's, ...
    std::vector<Engine> engines;
    std::size_t next = 0;
};

void engine_step_recorded(benchmark::State& state, std::shared_ptr<Replay> replay) {
    Replay& r = *replay;
    if (r.commands.empty()) {
        state.SkipWithError("empty recording");
        return;
    }
    for (auto _ : state) {
        if (r.next == r.commands.size()) {
            state.PauseTiming();
            r.rebuild();
            state.ResumeTiming();
        }
        const TickCommands& c = r.commands[r.next];
        StepResult result = r.engines[r.next / r.ticks].step(c.team_a, c.team_b);
        benchmark::DoNotOptimize(result);
        ++r.next;
    }
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

void register_recorded_cases(const std::string& directory) {
    for (const char* style : kStyles) {
        const std::filesystem::path file = std::filesystem::path(directory) / (std::string(style) + "_3.npy");
        if (!std::filesystem::exists(file)) continue;
        static std::vector<std::unique_ptr<Recording>> recordings;  // alive while the cases are
        recordings.push_back(std::make_unique<Recording>(load_recording(file.string())));
        auto replay = std::make_shared<Replay>(*recordings.back());
        benchmark::RegisterBenchmark(("engine_step_" + std::string(style) + "/players:3").c_str(),
                                     engine_step_recorded, replay);
    }
}

}  // namespace quorvel::bench
