// bench/play_stats.cpp: replaying a recording on engines and counting Box2D's steps and contacts.
#include "play_stats.hpp"

#include "command_pattern.hpp"
#include "match.hpp"
#include "sim.hpp"

namespace quorvel {

struct EngineProbe {
    static const World& world(const Engine& e) { return e.match_->world; }
};

namespace bench {

PlayStats measure_play(const Recording& recording, std::size_t first_tick) {
    EngineConfig config;
    config.players_per_team = recording.players;
    double steps = 0, contacts = 0, pairs = 0, goals = 0;
    std::size_t counted = 0;
    for (std::size_t m = 0; m < recording.matches; ++m) {
        Engine engine(config, kSeed + m);
        const World& world = EngineProbe::world(engine);
        for (std::size_t t = 0; t < recording.ticks; ++t) {
            engine.advance(recording.team(t, m, TEAM_A), recording.team(t, m, TEAM_B));
            if (t < first_tick) continue;
            ++counted;
            steps += world.last_steps;
            for (const b2Contact* c = world.physics.GetContactList(); c != nullptr; c = c->GetNext()) {
                pairs += 1;
                contacts += c->IsTouching() ? 1 : 0;
            }
        }
        const Score s = engine.status().score;
        goals += double(s[0]) + double(s[1]);
    }
    if (counted == 0) return {};
    return {steps / double(counted), contacts / double(counted), pairs / double(counted),
            goals / double(recording.matches)};
}

}  // namespace bench
}  // namespace quorvel
