// bench/bench_config.hpp: the configuration each timed case plays, from its players-a-side argument.
#pragma once

#include <cstdint>

#include <benchmark/benchmark.h>

#include "quorvel/types.hpp"

namespace quorvel::bench {

/// The default configuration with state.range(0) players a side.
inline EngineConfig config_for(const benchmark::State& state) {
    EngineConfig config;
    config.players_per_team = std::uint64_t(state.range(0));
    return config;
}

}  // namespace quorvel::bench
