// engine/tests/match_test.cpp: ticks, done by time and by score, restart, counters at their limit, a moved engine.
#include <limits>
#include <optional>
#include <utility>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace quorvel {
namespace {

// Plays one tick in which `scorer` (if any) scores: the ball is put just over
// the other team's goal line first.
StepResult play_tick(Engine& engine, std::optional<Team> scorer = std::nullopt) {
    if (scorer) put(EngineProbe::ball(engine), {*scorer == TEAM_A ? 40.01f : -0.01f, 10.0f});
    return engine.step(kNobody, kNobody);
}

TEST(Match, DoneByTicksOrScoreDecidedAfterTheTick) {
    constexpr std::optional<std::uint32_t> kNone;
    const struct {
        std::uint32_t max_ticks; std::optional<std::uint32_t> max_score;
        std::uint32_t ticks_before; Score score_before; std::optional<Team> scorer;
        bool done; std::uint32_t ticks_remaining;
    } cases[] = {
        {9000, kNone, 8998, {0, 0}, std::nullopt, false, 1},
        {9000, kNone, 8999, {0, 0}, std::nullopt, true, 0},
        {9000, kNone, 9000, {0, 0}, std::nullopt, true, 0},  // play goes on after done
        {9000, kNone, 0, {70, 90}, TEAM_A, false, 8999},
        {0, kNone, 0, {0, 0}, std::nullopt, true, 0},
        {9000, 0u, 0, {0, 0}, std::nullopt, true, 8999},
        {9000, 2u, 5, {1, 0}, TEAM_A, true, 8994},
        {9000, 2u, 5, {0, 1}, TEAM_B, true, 8994},
        {9000, 2u, 5, {0, 1}, TEAM_A, false, 8994},
        {9000, 2u, 5, {3, 0}, std::nullopt, true, 8994}};
    for (const auto& d : cases) {
        EngineConfig c;
        c.max_ticks = d.max_ticks;
        c.max_score = d.max_score;
        Engine engine(c, 0);
        EngineProbe::match(engine).tick = d.ticks_before;
        EngineProbe::match(engine).score = d.score_before;
        const StepResult r = play_tick(engine, d.scorer);
        SCOPED_TRACE(testing::Message() << "max_ticks " << d.max_ticks << ", ticks before " << d.ticks_before);
        EXPECT_EQ(r.done, d.done);
        EXPECT_EQ(r.info.tick, d.ticks_before + 1);
        EXPECT_EQ(r.observations[TEAM_A].ticks_remaining, d.ticks_remaining);
        EXPECT_EQ(r.observations[TEAM_B].ticks_remaining, d.ticks_remaining);
    }
}

TEST(Match, ResetRestartsScoreTickAndKickOff) {
    Engine engine(EngineConfig{}, 21);
    play_tick(engine, TEAM_A);
    play_tick(engine, TEAM_B);
    for (int t = 0; t < 10; ++t) engine.step(team_of({move(1, 1)}), team_of({move(1, -1)}));

    const std::array<Observation, 2> first = engine.reset();
    for (const Observation& o : first) {
        EXPECT_EQ(o.score, (Score{0, 0}));
        EXPECT_EQ(o.ticks_remaining, 9000u);
        for (const PlayerObs& p : o.self_team) expect_vec(p.velocity, {0.0f, 0.0f});
    }
    // Each team's kick-off player stands just left of centre in its own frame.
    EXPECT_LT(first[TEAM_B].self_team[0].position.x, 0.0f);
    EXPECT_EQ(first[TEAM_B].self_team[0].position.x, first[TEAM_A].self_team[0].position.x);
    EXPECT_EQ(engine.spectator_frame().tick, 0u);
    EXPECT_EQ(play_tick(engine).info.tick, 1u);
}

// Counters only grow until a reset: at the top of their range they stay put
// rather than wrap to a match that is not over.
TEST(Match, CountersStopAtTheirMaximum) {
    constexpr std::uint32_t kTop = std::numeric_limits<std::uint32_t>::max();
    EngineConfig c;
    c.max_ticks = kTop;
    Engine engine(c, 0);
    EngineProbe::match(engine).tick = kTop - 1;
    EngineProbe::match(engine).score = {kTop, 0};
    EXPECT_TRUE(play_tick(engine).done);
    const StepResult r = play_tick(engine, TEAM_A);
    EXPECT_EQ(r.info.tick, kTop);
    EXPECT_EQ(r.observations[TEAM_A].score[0], kTop);
    EXPECT_EQ(r.rewards[TEAM_A].total(), 1.0f);
}

TEST(Match, MovedEngineKeepsPlayingAndTheEmptyOneFaults) {
    Engine original(EngineConfig{}, 5);
    play_tick(original);
    Engine moved(std::move(original));
    EXPECT_EQ(play_tick(moved).info.tick, 2u);
    EXPECT_THROW(original.step(kNobody, kNobody), EngineFault);  // NOLINT(bugprone-use-after-move)
    EXPECT_THROW(original.spectator_frame(), EngineFault);
}

}  // namespace
}  // namespace quorvel
