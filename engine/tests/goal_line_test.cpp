// engine/tests/goal_line_test.cpp: the open goal lines: players pulled back in, goals at the mouth, put-backs outside it.
#include <string>

#include <gtest/gtest.h>

#include "engine_probe.hpp"

namespace quorvel {
namespace {

struct ContainCase {
    const char* name;
    Team team;
    Vec2 position;       // before the tick, uncommanded
    Vec2 velocity;
    float end_x;         // x after the tick
    float end_vx;        // vx after the tick (vy is kept)
};

class Containment : public ::testing::TestWithParam<ContainCase> {};

TEST_P(Containment, PullsBackAndZeroesOutwardVelocityOnly) {
    const ContainCase& c = GetParam();
    Engine engine(EngineConfig{}, 0);
    EngineProbe::park_players(engine);
    b2Body& body = EngineProbe::player(engine, c.team, 2);
    EngineProbe::put(body, c.position, c.velocity);
    engine.step(Actions{}, Actions{});
    EXPECT_EQ(body.GetPosition().x, c.end_x);
    EXPECT_NEAR(body.GetPosition().y, c.position.y + c.velocity.y / 30.0f, 1e-5f);
    EXPECT_EQ(body.GetLinearVelocity().x, c.end_vx);
    EXPECT_EQ(body.GetLinearVelocity().y, c.velocity.y);
}

INSTANTIATE_TEST_SUITE_P(
    Players, Containment,
    ::testing::Values(
        ContainCase{"left_moving_out", TEAM_A, {0.3f, 10.0f}, {-2.0f, 1.0f}, 0.5f, 0.0f},
        ContainCase{"left_moving_in", TEAM_A, {0.3f, 10.0f}, {2.0f, 1.0f}, 0.5f, 2.0f},
        ContainCase{"right_moving_out", TEAM_B, {39.8f, 5.0f}, {3.0f, -1.0f}, 39.5f, 0.0f},
        ContainCase{"right_moving_in", TEAM_B, {39.8f, 5.0f}, {-3.0f, 0.0f}, 39.5f, -3.0f},
        ContainCase{"far_outside", TEAM_A, {-100.0f, 10.0f}, {0.0f, 0.0f}, 0.5f, 0.0f},
        ContainCase{"on_the_limit_untouched", TEAM_B, {0.5f, 12.0f}, {0.0f, 0.0f}, 0.5f, 0.0f}),
    [](const auto& info) { return std::string(info.param.name); });

enum class Outcome { kNothing, kGoalA, kGoalB, kPutBack };

struct BallCase {
    const char* name;
    Vec2 position;  // at rest, so this is also where it stands after the physics step
    Outcome outcome;
};

class BallAtGoalLine : public ::testing::TestWithParam<BallCase> {};

TEST_P(BallAtGoalLine, ScoresOrIsPutBack) {
    const BallCase& c = GetParam();
    Engine engine(EngineConfig{}, 4);
    EngineProbe::park_players(engine);
    EngineProbe::put(EngineProbe::ball(engine), c.position);
    const StepResult r = engine.step(Actions{}, Actions{});
    const b2Body& ball = EngineProbe::ball(engine);
    const Score expected_score = c.outcome == Outcome::kGoalA ? Score{1, 0}
                               : c.outcome == Outcome::kGoalB ? Score{0, 1} : Score{0, 0};
    EXPECT_EQ(engine.spectator_frame().score, expected_score);
    switch (c.outcome) {
        case Outcome::kNothing:
            EXPECT_EQ(ball.GetPosition().x, c.position.x);
            break;
        case Outcome::kPutBack:
            EXPECT_EQ(ball.GetPosition().x, c.position.x < 0.0f ? 0.0f : 40.0f);
            EXPECT_EQ(ball.GetPosition().y, c.position.y);
            break;
        case Outcome::kGoalA:
        case Outcome::kGoalB:
            EXPECT_EQ(ball.GetPosition().x, 20.0f);  // kick-off
            EXPECT_EQ(ball.GetPosition().y, 10.0f);
            break;
    }
    EXPECT_EQ(ball.GetLinearVelocity().x, 0.0f);
    EXPECT_EQ(ball.GetLinearVelocity().y, 0.0f);
    const float a = c.outcome == Outcome::kGoalA ? 1.0f : c.outcome == Outcome::kGoalB ? -1.0f : 0.0f;
    EXPECT_EQ(r.rewards[TEAM_A].total(), a);
    EXPECT_EQ(r.rewards[TEAM_B].total(), -a);
}

INSTANTIATE_TEST_SUITE_P(
    Ball, BallAtGoalLine,
    ::testing::Values(BallCase{"left_mouth_upper_edge", {-0.01f, 13.0f}, Outcome::kGoalB},
                      BallCase{"left_mouth_lower_edge", {-0.01f, 7.0f}, Outcome::kGoalB},
                      BallCase{"left_just_above_mouth", {-0.01f, 13.01f}, Outcome::kPutBack},
                      BallCase{"left_far_outside_mouth", {-5.0f, 2.0f}, Outcome::kPutBack},
                      BallCase{"right_centre", {40.01f, 10.0f}, Outcome::kGoalA},
                      BallCase{"right_just_below_mouth", {40.5f, 6.99f}, Outcome::kPutBack},
                      BallCase{"on_left_line_in_play", {0.0f, 10.0f}, Outcome::kNothing},
                      BallCase{"on_right_line_in_play", {40.0f, 18.0f}, Outcome::kNothing}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BallAtGoalLine, PutBackStopsAMovingBallDead) {
    Engine engine(EngineConfig{}, 4);
    EngineProbe::park_players(engine);
    EngineProbe::put(EngineProbe::ball(engine), {39.9f, 17.0f}, {9.0f, 2.0f});
    engine.step(Actions{}, Actions{});
    const b2Body& ball = EngineProbe::ball(engine);
    EXPECT_EQ(ball.GetPosition().x, 40.0f);
    EXPECT_EQ(ball.GetLinearVelocity().x, 0.0f);
    EXPECT_EQ(ball.GetLinearVelocity().y, 0.0f);
}

TEST(BallAtGoalLine, GoalRestartsFromAFreshKickOff) {
    Engine engine(EngineConfig{}, 4);
    Rng expected = EngineProbe::match(engine).rng;
    EngineProbe::put(EngineProbe::ball(engine), {40.01f, 10.0f});
    EngineProbe::put(EngineProbe::player(engine, TEAM_B, 2), {35.0f, 3.0f}, {1.0f, 1.0f});
    const StepResult r = engine.step(Actions{}, Actions{});
    // Kick-off spots, everyone at rest, four fresh draws.
    const std::vector<Vec2> p = player_positions(engine);
    EXPECT_EQ(p[0].x, 19.1f);
    EXPECT_EQ(p[5].x, 30.0f);
    EXPECT_EQ(EngineProbe::player(engine, TEAM_B, 2).GetLinearVelocity().x, 0.0f);
    for (int i = 0; i < 4; ++i) expected.next_u32();
    EXPECT_EQ(EngineProbe::match(engine).rng.next_u32(), expected.next_u32());
    // Both observations show the kick-off and the score from each side.
    EXPECT_EQ(r.observations[TEAM_A].ball.position.x, 0.0f);
    EXPECT_EQ(r.observations[TEAM_A].score, (Score{1, 0}));
    EXPECT_EQ(r.observations[TEAM_B].score, (Score{0, 1}));
    EXPECT_EQ(r.rewards[TEAM_A].goal_scored, 1.0f);
    EXPECT_EQ(r.rewards[TEAM_A].goal_conceded, 0.0f);
    EXPECT_EQ(r.rewards[TEAM_B].goal_scored, 0.0f);
    EXPECT_EQ(r.rewards[TEAM_B].goal_conceded, -1.0f);
    EXPECT_EQ(r.info.tick, 1u);
}

}  // namespace
}  // namespace quorvel
