// engine/tests/substeps_test.cpp: the substeps that keep discrete contacts sound, and what they keep: no disc passes through another or a wall.
#include <cmath>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace quorvel {
namespace {

constexpr float kDt = 1.0f / 30.0f;

// An engine with every player parked far from the centre spot, where the ball is put.
Engine parked() {
    Engine engine(EngineConfig{}, 0);
    park_players(engine);
    return engine;
}

TEST(Substeps, ClosingDiscsTakeStepsOfHalfTheirReachOnlyWhenTheyMayMeet) {
    // Ball 30 u/s at a standing player (combined radius 0.7, so 0.35 a step).
    const struct { float player_x, ball_vx; int substeps; } cases[] = {
        {23.0f, 30.0f, 1},   // 2.3 apart at the edges, 1 closed in the tick: they cannot meet
        {21.5f, 30.0f, 3},   // 0.8 apart: 1 / 0.35 = 2.86 steps
        {21.5f, -30.0f, 1},  // moving apart
        {20.6f, 30.0f, 1},   // already touching: Box2D holds the contact
        {21.5f, 10.0f, 1}};  // 0.33 a tick: within half the reach
    for (const auto& c : cases) {
        Engine engine = parked();
        put(EngineProbe::ball(engine), {20.0f, 10.0f}, {c.ball_vx, 0.0f});
        put(EngineProbe::player(engine, TEAM_A, 0), {c.player_x, 10.0f});
        EXPECT_EQ(substeps_for(kDt, EngineProbe::world(engine).discs()), c.substeps) << c.player_x << " " << c.ball_vx;
    }

    // Two players head on at 20 u/s each, 0.2 apart: 4/3 closed in the tick, 0.5 a step.
    Engine engine = parked();
    put(EngineProbe::player(engine, TEAM_A, 0), {20.0f, 10.0f}, {20.0f, 0.0f});
    put(EngineProbe::player(engine, TEAM_B, 0), {21.2f, 10.0f}, {-20.0f, 0.0f});
    EXPECT_EQ(substeps_for(kDt, EngineProbe::world(engine).discs()), 3);
}

TEST(Substeps, ADiscNearASideWallMovesAtMostItsRadiusAStepTowardsIt) {
    const struct { float y, vy; int substeps; } cases[] = {
        {0.5f, -30.0f, 5},   // 1 a tick towards the lower wall, 0.3 from it: 1 / 0.2 steps
        {19.5f, 30.0f, 5},   // the same at the upper wall
        {0.5f, 30.0f, 1},    // away from it
        {5.0f, -30.0f, 1},   // too far to reach it in the tick
        {0.2f, -30.0f, 1}};  // touching it already
    for (const auto& c : cases) {
        Engine engine = parked();
        put(EngineProbe::ball(engine), {20.0f, c.y}, {0.0f, c.vy});
        EXPECT_EQ(substeps_for(kDt, EngineProbe::world(engine).discs()), c.substeps) << c.y << " " << c.vy;
    }
}

// Box2D's translation cap counts for every disc, not only the ball: any one
// player of either team, alone in a free lane at 180 u/s (6 a tick, over the 4
// field units a step of the cap), makes the tick two steps.
TEST(Substeps, EveryPlayerCountsUnderTheTranslationCap) {
    for (const Team team : {TEAM_A, TEAM_B}) {
        for (const std::size_t i : {std::size_t(0), std::size_t(2)}) {
            Engine engine = parked();
            put(EngineProbe::ball(engine), {38.0f, 10.0f});
            put(EngineProbe::player(engine, team, i), {5.0f, 10.0f}, {180.0f, 0.0f});
            EXPECT_EQ(substeps_for(kDt, EngineProbe::world(engine).discs()), 2) << int(team) << " " << i;
        }
    }
}

// Without continuous collision, a ball kicked at 72 u/s (six kicks at once)
// still meets a player in its way at most half-way in, and bounces back from
// anything near head on; a ball at 36 u/s never takes its centre past a side wall.
TEST(Substeps, AFastBallNeverPassesThroughAPlayerOrAWall) {
    EngineConfig c;
    c.ball_linear_damping = 0.0f;
    const float reach = c.ball_radius + c.player_radius;
    for (int offset = 0; offset < 14; ++offset) {
        Engine engine(c, 0);
        park_players(engine);
        const float lateral = 0.05f * float(offset);  // head on to a glancing blow
        b2Body& player = EngineProbe::player(engine, TEAM_B, 2);
        put(EngineProbe::ball(engine), {10.0f, 10.0f}, {72.0f, 0.0f});
        put(player, {14.0f, 10.0f + lateral});
        for (int tick = 0; tick < 4; ++tick) {
            engine.step(kNobody, kNobody);
            const Vec2 ball = position_of(EngineProbe::ball(engine));
            const Vec2 at = position_of(player);
            ASSERT_GT(std::hypot(ball.x - at.x, ball.y - at.y), 0.5f * reach) << "offset " << lateral << ", tick " << tick;
            if (lateral <= 0.3f) {
                ASSERT_LT(ball.x, at.x) << "offset " << lateral << ", tick " << tick;
            }
        }

        put(EngineProbe::ball(engine), {20.0f, 2.0f + lateral}, {3.0f, -36.0f});
        for (int tick = 0; tick < 3; ++tick) {
            engine.step(kNobody, kNobody);
            ASSERT_GT(position_of(EngineProbe::ball(engine)).y, 0.0f) << "offset " << lateral << ", tick " << tick;
        }
    }
}

}  // namespace
}  // namespace quorvel
