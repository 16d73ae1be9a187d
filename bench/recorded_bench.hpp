// bench/recorded_bench.hpp: timed cases that replay recorded styles of play (bench/play_styles.py) through Engine::step.
#pragma once

#include <string>

namespace quorvel::bench {

/// Registers engine_step_<style> (3 a side) for each style whose recording
/// <directory>/<style>_3.npy exists. Throws std::runtime_error for a damaged one.
void register_recorded_cases(const std::string& directory);

}  // namespace quorvel::bench
