// engine/tests/movement_test.cpp: move commands: scaling in written float order, mirroring, list lengths, non-finite commands.
#include <cmath>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "engine_probe.hpp"

namespace quorvel {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct MoveCase {
    const char* name;
    Team team;
    Vec2 move_dir;
    Vec2 velocity;  // exact expected velocity in the absolute frame
};

class MoveCommand : public ::testing::TestWithParam<MoveCase> {};

// A free player keeps its commanded velocity through the physics step (no
// damping, no contact), so the velocity read after the tick is the command's.
TEST_P(MoveCommand, GivesExactVelocity) {
    const MoveCase& m = GetParam();
    Engine engine(EngineConfig{}, 0);
    EngineProbe::park_players(engine);
    EngineProbe::put(EngineProbe::player(engine, m.team, 1), {30.0f, 10.0f}, {1.0f, 1.0f});
    Actions commands = team_of({Action::NOOP, move(m.move_dir.x, m.move_dir.y)});
    Actions none;
    if (m.team == TEAM_A) engine.step(commands, none); else engine.step(none, commands);
    const b2Vec2 v = EngineProbe::player(engine, m.team, 1).GetLinearVelocity();
    EXPECT_TRUE(same_bits(v.x, m.velocity.x)) << v.x;
    EXPECT_TRUE(same_bits(v.y, m.velocity.y)) << v.y;
}

INSTANTIATE_TEST_SUITE_P(
    Commands, MoveCommand,
    ::testing::Values(
        // (c / L) * min(L, 1) * S in float: 3/5 = 0.6f, * 6 = 3.6000001f
        MoveCase{"long_a", TEAM_A, {3.0f, 4.0f}, {3.6000001f, 4.8f}},
        MoveCase{"short_a", TEAM_A, {0.3f, 0.4f}, {1.8000001f, 2.4000001f}},
        MoveCase{"long_b_mirrored", TEAM_B, {3.0f, 4.0f}, {-3.6000001f, 4.8f}},
        MoveCase{"unit_b_backwards", TEAM_B, {-1.0f, 0.0f}, {6.0f, 0.0f}},
        MoveCase{"zero_stops", TEAM_A, {0.0f, 0.0f}, {0.0f, 0.0f}},
        MoveCase{"squared_length_underflows_stops", TEAM_A, {1e-30f, 0.0f}, {0.0f, 0.0f}},
        MoveCase{"length_overflows_to_no_motion", TEAM_A, {3e38f, 3e38f}, {0.0f, 0.0f}},
        MoveCase{"nan_stops", TEAM_A, {kNaN, 1.0f}, {0.0f, 0.0f}},
        MoveCase{"infinite_stops", TEAM_B, {1.0f, kInf}, {0.0f, 0.0f}},
        MoveCase{"both_infinite_stops", TEAM_A, {-kInf, kInf}, {0.0f, 0.0f}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MoveCommand, UncommandedPlayersKeepVelocityAndExtraActionsAreIgnored) {
    Engine engine(EngineConfig{}, 0);
    EngineProbe::park_players(engine);
    for (std::size_t i = 0; i < 3; ++i) {
        EngineProbe::put(EngineProbe::player(engine, TEAM_A, i), {5.0f + 5.0f * float(i), 10.0f}, {0.0f, 1.5f});
        EngineProbe::put(EngineProbe::player(engine, TEAM_B, i), {5.0f + 5.0f * float(i), 14.0f}, {0.0f, -1.5f});
    }
    // Team A sends nothing; team B sends five actions for three players.
    engine.step(Actions{}, team_of({move(1, 0), move(1, 0), move(1, 0), move(0, 1), move(0, 1)}));
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(EngineProbe::player(engine, TEAM_A, i).GetLinearVelocity().y, 1.5f);
        EXPECT_EQ(EngineProbe::player(engine, TEAM_B, i).GetLinearVelocity().x, -6.0f);
        EXPECT_EQ(EngineProbe::player(engine, TEAM_B, i).GetLinearVelocity().y, 0.0f);
    }
}

TEST(MoveCommand, NoopTeamStandsStillForever) {
    Engine engine(EngineConfig{}, 8);
    const Actions noop = team_of({Action::NOOP, Action::NOOP, Action::NOOP});
    const std::vector<Vec2> start = player_positions(engine);
    for (int t = 0; t < 300; ++t) engine.step(noop, noop);
    const std::vector<Vec2> end = player_positions(engine);
    for (std::size_t i = 0; i < start.size(); ++i) {
        EXPECT_EQ(end[i].x, start[i].x);
        EXPECT_EQ(end[i].y, start[i].y);
    }
    EXPECT_EQ(engine.spectator_frame().ball.position.x, 0.0f);
}

TEST(MoveCommand, NonFiniteCommandsNeverReachTheWorld) {
    Engine engine(EngineConfig{}, 8);
    const Action poison{{kNaN, kInf}, Vec2{kNaN, -kInf}};
    const Actions team = team_of({poison, poison, poison});
    for (int t = 0; t < 100; ++t) engine.step(team, team);
    for (const b2Body* b = EngineProbe::world(engine).physics.GetBodyList(); b; b = b->GetNext()) {
        EXPECT_TRUE(std::isfinite(b->GetPosition().x) && std::isfinite(b->GetPosition().y));
        EXPECT_TRUE(std::isfinite(b->GetLinearVelocity().x) && std::isfinite(b->GetLinearVelocity().y));
    }
}

}  // namespace
}  // namespace quorvel
