// bench/reset_memory.cpp: the memory and the next tick's time after a long run of resets without a step.
//
//     build/bench/quorvel_reset_memory [players] [resets]
//
// Prints the resident memory before and after `resets` resets in a row on one
// engine, and how long the step after them takes beside an ordinary step.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "quorvel/engine.hpp"

namespace {

double resident_mib() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return -1.0;
}

double step_ms(quorvel::Engine& engine, const quorvel::Actions& team) {
    const auto start = std::chrono::steady_clock::now();
    engine.step(team, team);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    quorvel::EngineConfig config;
    config.players_per_team = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 32;
    const unsigned long resets = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1000000;
    quorvel::Engine engine(config, 1);
    quorvel::Actions team;
    for (std::uint64_t i = 0; i < config.players_per_team; ++i) team.players.push_back({{1.0f, 0.5f}, std::nullopt});
    for (int t = 0; t < 30; ++t) engine.step(team, team);
    engine.reset();
    const double ordinary = step_ms(engine, team);

    const double before = resident_mib();
    for (unsigned long i = 0; i < resets; ++i) engine.reset();
    const double after = resident_mib();
    const double next = step_ms(engine, team);
    std::printf("players_per_team=%llu resets=%lu resident %.1f MiB -> %.1f MiB (%+.1f MiB); "
                "next step %.3f ms, an ordinary one %.3f ms\n",
                (unsigned long long)config.players_per_team, resets, before, after, after - before, next,
                ordinary);
    return 0;
}
