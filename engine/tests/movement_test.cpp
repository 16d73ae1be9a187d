// engine/tests/movement_test.cpp: move commands: scaling in written float order, mirroring, list lengths, non-finite commands.
#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "commands.hpp"
#include "test_support.hpp"

namespace quorvel {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Four at a time gives each lane the bits one at a time gives: odd values in
// every pairing, then a spread of ordinary ones, for both teams.
TEST(Movement, FourAtATimeMatchesOneAtATime) {
    std::vector<Vec2> moves;
    const float odd[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.6f, 0.70710677f, 1e-20f, 1e-30f, 1e-45f, 1.1754944e-38f,
                         3e38f, -3e38f, kNaN, kInf, -kInf};
    for (const float x : odd) {
        for (const float y : odd) moves.push_back({x, y});
    }
    std::mt19937 draw(7);
    std::uniform_real_distribution<float> spread(-2.0f, 2.0f);
    for (int i = 0; i < 4000; ++i) moves.push_back({spread(draw), spread(draw)});
    for (const Team team : {TEAM_A, TEAM_B}) {
        for (std::size_t first = 0; first + 4 <= moves.size(); first += 4) {
            Lanes x, y;
            for (int k = 0; k < 4; ++k) x[k] = moves[first + k].x, y[k] = moves[first + k].y;
            movement_velocities(x, y, team, 6.0f);
            for (int k = 0; k < 4; ++k) {
                const Vec2 one = movement_velocity(moves[first + k], team, 6.0f);
                ASSERT_EQ(std::bit_cast<std::uint32_t>(x[k]), std::bit_cast<std::uint32_t>(one.x)) << first + k;
                ASSERT_EQ(std::bit_cast<std::uint32_t>(y[k]), std::bit_cast<std::uint32_t>(one.y)) << first + k;
            }
        }
    }
}

// A free player keeps its commanded velocity through the physics step (no
// damping, no contact), so the velocity read after the tick is the command's.
TEST(Movement, CommandsBecomeExactVelocities) {
    const struct { Team team; Vec2 move_dir, velocity; } cases[] = {
        // (c / L) * min(L, 1) * S in float: 3 / 5 = 0.6f, and 0.6f * 6 = 3.6000001f
        {TEAM_A, {3.0f, 4.0f}, {3.6000001f, 4.8f}},
        {TEAM_A, {0.3f, 0.4f}, {1.8000001f, 2.4000001f}},
        {TEAM_B, {3.0f, 4.0f}, {-3.6000001f, 4.8f}},  // mirrored: x only
        {TEAM_B, {-1.0f, 0.0f}, {6.0f, 0.0f}},
        {TEAM_A, {0.0f, 0.0f}, {0.0f, 0.0f}},          // stops dead
        {TEAM_A, {1e-30f, 0.0f}, {0.0f, 0.0f}},        // squared length underflows to 0
        {TEAM_A, {3e38f, 3e38f}, {0.0f, 0.0f}},        // length overflows: c / L = 0
        {TEAM_A, {kNaN, 1.0f}, {0.0f, 0.0f}},          // non-finite: stops, never reaches the world
        {TEAM_B, {1.0f, kInf}, {0.0f, 0.0f}},
        {TEAM_A, {-kInf, kInf}, {0.0f, 0.0f}}};
    for (const auto& m : cases) {
        Engine engine(EngineConfig{}, 0);
        park_players(engine);
        put(EngineProbe::player(engine, m.team, 1), {30.0f, 10.0f}, {1.0f, 1.0f});
        const Actions commands = team_of({Action::NOOP, move(m.move_dir.x, m.move_dir.y)});
        m.team == TEAM_A ? engine.step(commands, kNobody) : engine.step(kNobody, commands);
        SCOPED_TRACE(testing::Message() << "move_dir " << m.move_dir.x << ", " << m.move_dir.y);
        expect_vec(velocity_of(EngineProbe::player(engine, m.team, 1)), m.velocity);
    }
}

TEST(Movement, UncommandedPlayersKeepVelocityAndExtraActionsAreIgnored) {
    Engine engine(EngineConfig{}, 0);
    for (std::size_t i = 0; i < 3; ++i) {
        put(EngineProbe::player(engine, TEAM_A, i), {5.0f + 5.0f * float(i), 10.0f}, {0.0f, 1.5f});
        put(EngineProbe::player(engine, TEAM_B, i), {5.0f + 5.0f * float(i), 14.0f}, {0.0f, -1.5f});
    }
    put(EngineProbe::ball(engine), {20.0f, 2.0f});
    engine.step(kNobody, team_of({move(1, 0), move(1, 0), move(1, 0), move(0, 1), move(0, 1)}));
    for (std::size_t i = 0; i < 3; ++i) {
        expect_vec(velocity_of(EngineProbe::player(engine, TEAM_A, i)), {0.0f, 1.5f});
        expect_vec(velocity_of(EngineProbe::player(engine, TEAM_B, i)), {-6.0f, 0.0f});
    }
}

TEST(Movement, NonFiniteCommandsNeverReachTheWorld) {
    Engine engine(EngineConfig{}, 8);
    const Action poison{{kNaN, kInf}, Vec2{kNaN, -kInf}};
    const Actions team = team_of({poison, poison, poison});
    const std::vector<Vec2> start = player_positions(engine);
    for (int t = 0; t < 100; ++t) engine.step(team, team);
    EXPECT_TRUE(world_is_finite(engine));
    const std::vector<Vec2> end = player_positions(engine);  // nobody moved, nobody kicked
    for (std::size_t i = 0; i < start.size(); ++i) expect_vec(end[i], start[i]);
    expect_vec(engine.spectator_frame().ball.position, {0.0f, 0.0f});
}

}  // namespace
}  // namespace quorvel
