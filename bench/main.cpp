// bench/main.cpp: checks that the floor plays the engine's match, then runs the C++ benchmarks.
#include <cstdint>
#include <cstdio>
#include <string>

#include <benchmark/benchmark.h>

#include "floor_check.hpp"

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
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
