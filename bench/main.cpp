// bench/main.cpp: checks that the floor plays the engine's match, then runs the C++ benchmarks.
//
//     quorvel_bench [--recordings=DIR] [Google Benchmark options]
//
// With --recordings, also the recorded styles of play found in DIR
// (bench/play_styles.py writes them), as engine_step_<style>.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <benchmark/benchmark.h>

#include "floor_check.hpp"
#include "recorded_bench.hpp"

namespace {

// One whole default-length match of the pattern, for each team size benchmarked.
constexpr std::size_t kCheckedTicks = 9000;

}  // namespace

int main(int argc, char** argv) {
    for (const std::uint64_t players : {3u, 11u}) {
        quorvel::EngineConfig config;
        config.players_per_team = players;
        const std::string difference = quorvel::bench::check_floor(config, kCheckedTicks);
        if (!difference.empty()) {
            std::fprintf(stderr, "the bare world does not play the engine's match: %s\n",
                         difference.c_str());
            return 1;
        }
    }
    // Our one option, taken out before Google Benchmark reads the rest.
    const char* const option = "--recordings=";
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], option, std::strlen(option)) == 0) {
            quorvel::bench::register_recorded_cases(argv[i] + std::strlen(option));
        } else {
            argv[kept++] = argv[i];
        }
    }
    argc = kept;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
