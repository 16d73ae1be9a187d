// engine/tests/goal_line_test.cpp: the open goal lines: players pulled back in, goals at the mouth, put-backs outside it.
#include <gtest/gtest.h>

#include "test_support.hpp"

namespace quorvel {
namespace {

TEST(GoalLine, PlayersArePulledBackAndOnlyOutwardVelocityIsZeroed) {
    const struct { Vec2 position, velocity; float end_x, end_vx; } cases[] = {
        {{0.3f, 10.0f}, {-2.0f, 1.0f}, 0.5f, 0.0f},
        {{0.3f, 10.0f}, {2.0f, 1.0f}, 0.5f, 2.0f},
        {{39.8f, 5.0f}, {3.0f, -1.0f}, 39.5f, 0.0f},
        {{39.8f, 5.0f}, {-3.0f, 0.0f}, 39.5f, -3.0f},
        {{-100.0f, 10.0f}, {0.0f, 0.0f}, 0.5f, 0.0f},
        {{0.5f, 12.0f}, {0.0f, 0.0f}, 0.5f, 0.0f}};  // on the limit: untouched
    for (const auto& c : cases) {
        Engine engine(EngineConfig{}, 0);
        park_players(engine);
        b2Body& body = EngineProbe::player(engine, TEAM_B, 2);
        put(body, c.position, c.velocity);
        engine.step(kNobody, kNobody);  // uncommanded: contained all the same
        SCOPED_TRACE(testing::Message() << "from x " << c.position.x << " vx " << c.velocity.x);
        EXPECT_EQ(position_of(body).x, c.end_x);
        EXPECT_NEAR(position_of(body).y, c.position.y + c.velocity.y / 30.0f, 1e-5f);
        expect_vec(velocity_of(body), {c.end_vx, c.velocity.y});
    }
}

// The ball is at rest, so where it is put is also where the physics step
// leaves it; the goal tests use its centre.
TEST(GoalLine, BallScoresInsideTheMouthEdgesIncludedAndIsPutBackOutside) {
    enum Outcome { kInPlay, kGoalA, kGoalB, kPutBack };
    const struct { Vec2 ball; Outcome outcome; } cases[] = {
        {{-0.01f, 13.0f}, kGoalB}, {{-0.01f, 7.0f}, kGoalB}, {{-0.01f, 13.01f}, kPutBack},
        {{-5.0f, 2.0f}, kPutBack}, {{40.01f, 10.0f}, kGoalA}, {{40.5f, 6.99f}, kPutBack},
        {{0.0f, 10.0f}, kInPlay},  {{40.0f, 18.0f}, kInPlay}};
    for (const auto& c : cases) {
        Engine engine(EngineConfig{}, 4);
        park_players(engine);
        put(EngineProbe::ball(engine), c.ball);
        const StepResult r = engine.step(kNobody, kNobody);
        SCOPED_TRACE(testing::Message() << "ball at " << c.ball.x << ", " << c.ball.y);
        const b2Body& ball = EngineProbe::ball(engine);
        const Vec2 end = c.outcome == kInPlay   ? c.ball
                       : c.outcome == kPutBack ? Vec2{c.ball.x < 0.0f ? 0.0f : 40.0f, c.ball.y}
                                               : Vec2{20.0f, 10.0f};  // kick-off
        expect_vec(position_of(ball), end);
        expect_vec(velocity_of(ball), {0.0f, 0.0f});
        const float a = c.outcome == kGoalA ? 1.0f : c.outcome == kGoalB ? -1.0f : 0.0f;
        EXPECT_EQ(r.rewards[TEAM_A].total(), a);
        EXPECT_EQ(r.rewards[TEAM_B].total(), -a);
        EXPECT_EQ(r.observations[TEAM_A].score, (Score{a > 0 ? 1u : 0u, a < 0 ? 1u : 0u}));
    }
}

TEST(GoalLine, PutBackStopsAMovingBallDead) {
    Engine engine(EngineConfig{}, 4);
    park_players(engine);
    put(EngineProbe::ball(engine), {39.9f, 17.0f}, {9.0f, 2.0f});
    engine.step(kNobody, kNobody);
    EXPECT_EQ(position_of(EngineProbe::ball(engine)).x, 40.0f);
    expect_vec(velocity_of(EngineProbe::ball(engine)), {0.0f, 0.0f});
}

TEST(GoalLine, GoalRestartsFromAFreshKickOffSeenByBothTeams) {
    Engine engine(EngineConfig{}, 4);
    Rng expected = EngineProbe::match(engine).rng;
    put(EngineProbe::ball(engine), {40.01f, 10.0f});
    put(EngineProbe::player(engine, TEAM_B, 2), {35.0f, 3.0f}, {1.0f, 1.0f});
    const StepResult r = engine.step(kNobody, kNobody);
    const std::vector<Vec2> p = player_positions(engine);
    EXPECT_EQ(p[0].x, 19.1f);
    EXPECT_EQ(p[5].x, 30.0f);
    expect_vec(velocity_of(EngineProbe::player(engine, TEAM_B, 2)), {0.0f, 0.0f});
    for (int i = 0; i < 4; ++i) expected.next_u32();  // four fresh draws
    EXPECT_EQ(EngineProbe::match(engine).rng.next_u32(), expected.next_u32());
    expect_vec(r.observations[TEAM_B].ball.position, {0.0f, 0.0f});
    EXPECT_EQ(r.observations[TEAM_A].score, (Score{1, 0}));
    EXPECT_EQ(r.observations[TEAM_B].score, (Score{0, 1}));
    EXPECT_EQ(r.rewards[TEAM_A].goal_scored, 1.0f);
    EXPECT_EQ(r.rewards[TEAM_B].goal_conceded, -1.0f);
    EXPECT_EQ(r.rewards[TEAM_A].goal_conceded + r.rewards[TEAM_B].goal_scored, 0.0f);
    EXPECT_EQ(r.info.tick, 1u);
}

}  // namespace
}  // namespace quorvel
