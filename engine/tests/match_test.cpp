// engine/tests/match_test.cpp: ticks, done by time and by score, rewards, restart, and a moved-from engine.
#include <limits>
#include <optional>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "engine_probe.hpp"

namespace quorvel {
namespace {

// Scores a goal for `team` in the next tick by putting the ball just over the
// other team's goal line.
StepResult score_goal(Engine& engine, Team team) {
    const float x = team == TEAM_A ? engine.config().field_width + 0.01f : -0.01f;
    EngineProbe::put(EngineProbe::ball(engine), {x, engine.config().field_height * 0.5f});
    return engine.step(Actions{}, Actions{});
}

TEST(Match, DoneAtMaxTicksAndStaysDone) {
    Engine engine(EngineConfig{}, 2);
    StepResult r;
    for (std::uint32_t t = 1; t < 9000; ++t) {
        r = engine.step(Actions{}, Actions{});
        ASSERT_FALSE(r.done) << t;
    }
    EXPECT_EQ(r.info.tick, 8999u);
    EXPECT_EQ(r.observations[TEAM_A].ticks_remaining, 1u);
    r = engine.step(Actions{}, Actions{});
    EXPECT_TRUE(r.done);
    EXPECT_EQ(r.info.tick, 9000u);
    EXPECT_EQ(r.observations[TEAM_B].ticks_remaining, 0u);
    r = engine.step(Actions{}, Actions{});
    EXPECT_TRUE(r.done);
    EXPECT_EQ(r.info.tick, 9001u);
    EXPECT_EQ(r.observations[TEAM_A].ticks_remaining, 0u);
}

struct DoneCase {
    const char* name;
    std::uint32_t max_ticks;
    std::optional<std::uint32_t> max_score;
    Score score_before;
    std::optional<Team> scorer;  // a goal in the tick under test
    bool done;
};

class DoneRule : public ::testing::TestWithParam<DoneCase> {};

TEST_P(DoneRule, DecidedAfterTheTick) {
    const DoneCase& d = GetParam();
    EngineConfig c;
    c.max_ticks = d.max_ticks;
    c.max_score = d.max_score;
    Engine engine(c, 0);
    EngineProbe::set_score(engine, d.score_before[0], d.score_before[1]);
    const StepResult r = d.scorer ? score_goal(engine, *d.scorer) : engine.step(Actions{}, Actions{});
    EXPECT_EQ(r.done, d.done);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, DoneRule,
    ::testing::Values(
        DoneCase{"no_limit_reached", 9000, std::nullopt, {5, 7}, std::nullopt, false},
        DoneCase{"max_ticks_zero", 0, std::nullopt, {0, 0}, std::nullopt, true},
        DoneCase{"max_ticks_one", 1, std::nullopt, {0, 0}, std::nullopt, true},
        DoneCase{"max_score_zero", 9000, 0u, {0, 0}, std::nullopt, true},
        DoneCase{"second_goal_of_a", 9000, 2u, {1, 0}, TEAM_A, true},
        DoneCase{"second_goal_of_b", 9000, 2u, {0, 1}, TEAM_B, true},
        DoneCase{"first_goal_each", 9000, 2u, {0, 1}, TEAM_A, false},
        DoneCase{"already_past", 9000, 2u, {3, 0}, std::nullopt, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Match, RewardsAreZeroWithoutAGoal) {
    Engine engine(EngineConfig{}, 0);
    const StepResult r = engine.step(team_of({move(1, 0), kick(1, 0)}), team_of({kick(1, 0)}));
    for (const Reward& w : r.rewards) {
        EXPECT_EQ(w.goal_scored, 0.0f);
        EXPECT_EQ(w.goal_conceded, 0.0f);
    }
}

TEST(Match, ResetRestartsScoreTickAndKickOff) {
    Engine engine(EngineConfig{}, 21);
    score_goal(engine, TEAM_A);
    score_goal(engine, TEAM_B);
    score_goal(engine, TEAM_B);
    for (int t = 0; t < 10; ++t) engine.step(team_of({move(1, 1)}), team_of({move(1, -1)}));
    ASSERT_EQ(engine.spectator_frame().score, (Score{1, 2}));

    const std::array<Observation, 2> first = engine.reset();
    for (const Observation& o : first) {
        EXPECT_EQ(o.score, (Score{0, 0}));
        EXPECT_EQ(o.ticks_remaining, 9000u);
        for (const PlayerObs& p : o.self_team) {
            EXPECT_EQ(p.velocity.x, 0.0f);
            EXPECT_EQ(p.velocity.y, 0.0f);
        }
    }
    // Team B's own kick-off player stands left of centre in its frame, like team A's.
    EXPECT_LT(first[TEAM_B].self_team[0].position.x, 0.0f);
    EXPECT_EQ(first[TEAM_B].self_team[0].position.x, first[TEAM_A].self_team[0].position.x);
    EXPECT_EQ(engine.spectator_frame().tick, 0u);
    EXPECT_EQ(engine.step(Actions{}, Actions{}).info.tick, 1u);
}

TEST(Match, CountersStopAtTheirMaximumInsteadOfWrapping) {
    EngineConfig c;
    c.max_ticks = std::numeric_limits<std::uint32_t>::max();
    Engine engine(c, 0);
    const std::uint32_t top = std::numeric_limits<std::uint32_t>::max();
    EngineProbe::set_tick(engine, top - 1);
    EngineProbe::set_score(engine, top, 0);
    StepResult r = engine.step(Actions{}, Actions{});
    EXPECT_EQ(r.info.tick, top);
    EXPECT_TRUE(r.done);
    r = score_goal(engine, TEAM_A);
    EXPECT_EQ(r.info.tick, top);
    EXPECT_TRUE(r.done);
    EXPECT_EQ(r.observations[TEAM_A].score[0], top);
    EXPECT_EQ(r.rewards[TEAM_A].total(), 1.0f);
}

TEST(Match, MovedEngineKeepsPlayingAndTheHuskFaults) {
    Engine original(EngineConfig{}, 5);
    original.step(team_of({move(1, 0)}), Actions{});
    Engine moved(std::move(original));
    EXPECT_EQ(moved.step(Actions{}, Actions{}).info.tick, 2u);
    EXPECT_THROW(original.step(Actions{}, Actions{}), EngineFault);  // NOLINT(bugprone-use-after-move)
    EXPECT_THROW(original.spectator_frame(), EngineFault);
    Engine assigned(EngineConfig{}, 6);
    assigned = std::move(moved);
    EXPECT_EQ(assigned.spectator_frame().tick, 2u);
}

}  // namespace
}  // namespace quorvel
