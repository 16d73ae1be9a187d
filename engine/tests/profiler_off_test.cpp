// engine/tests/profiler_off_test.cpp: Box2D's step profiler is off in the engine's binaries.
#include <gtest/gtest.h>

#include "test_support.hpp"

namespace quorvel {
namespace {

// With Box2D's own timer every step records some phases' milliseconds (clock
// reads of a microsecond's resolution); with ours, none is ever anything but 0.
TEST(ProfilerOff, EveryPhaseOfEveryStepReadsZero) {
    EngineConfig config;
    config.players_per_team = 11;
    Engine engine(config, 3);
    const Actions everyone = team_of(std::vector<Action>(11, move(1.0f, 0.3f)));
    for (int tick = 0; tick < 300; ++tick) {
        engine.step(everyone, everyone);
        const b2Profile& p = EngineProbe::world(engine).physics.GetProfile();
        for (const float ms : {p.step, p.collide, p.solve, p.solveInit, p.solveVelocity,
                               p.solvePosition, p.broadphase, p.solveTOI}) {
            ASSERT_EQ(ms, 0.0f) << "tick " << tick;
        }
    }
}

}  // namespace
}  // namespace quorvel
