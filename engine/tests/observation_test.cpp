// engine/tests/observation_test.cpp: normalised and mirrored observations, spectator frames, list order and sizes.
#include <string>

#include <gtest/gtest.h>

#include "engine_probe.hpp"

namespace quorvel {
namespace {

void expect_vec(Vec2 got, Vec2 want) {
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
}

TEST(Observation, NormalisesAndMirrorsOnlyX) {
    Engine engine(EngineConfig{}, 0);
    EngineProbe::park_players(engine);
    EngineProbe::put(EngineProbe::player(engine, TEAM_B, 1), {30.0f, 15.0f}, {6.0f, -2.0f});
    EngineProbe::put(EngineProbe::ball(engine), {0.0f, 10.0f});

    const Observation a = engine.build_observation(TEAM_A);
    const Observation b = engine.build_observation(TEAM_B);
    const SpectatorFrame f = engine.spectator_frame();
    // Team A sees team B's player as an opponent, unmirrored; team B sees it
    // as its own, mirrored; the spectator as team A does.
    expect_vec(a.opponent_team[1].position, {0.5f, 0.5f});
    expect_vec(a.opponent_team[1].velocity, {0.3f, -0.2f});
    expect_vec(b.self_team[1].position, {-0.5f, 0.5f});
    expect_vec(b.self_team[1].velocity, {-0.3f, -0.2f});
    expect_vec(f.players[4].position, {0.5f, 0.5f});
    expect_vec(f.players[4].velocity, {0.3f, -0.2f});
    // The ball on team A's goal line.
    EXPECT_EQ(a.ball.position.x, -1.0f);
    EXPECT_EQ(b.ball.position.x, 1.0f);
    EXPECT_EQ(f.ball.position.x, -1.0f);
    EXPECT_EQ(a.ball.position.y, 0.0f);
}

TEST(Observation, ListsFollowPlayerOrderAndAreSizedExactly) {
    EngineConfig c;
    c.players_per_team = 5;
    Engine engine(c, 0);
    EngineProbe::park_players(engine);
    const Observation a = engine.build_observation(TEAM_A);
    const Observation b = engine.build_observation(TEAM_B);
    const SpectatorFrame f = engine.spectator_frame();
    ASSERT_EQ(a.self_team.size(), 5u);
    ASSERT_EQ(f.players.size(), 10u);
    EXPECT_EQ(a.self_team.capacity(), 5u);
    EXPECT_EQ(a.opponent_team.capacity(), 5u);
    EXPECT_EQ(f.players.capacity(), 10u);
    for (std::size_t i = 0; i < 5; ++i) {
        // Parked at x = 2 + 3i: increasing along the list in team A's frame.
        EXPECT_EQ(a.self_team[i].position.x, (2.0f + 3.0f * float(i) - 20.0f) / 20.0f);
        expect_vec(b.opponent_team[i].position, {-a.self_team[i].position.x, a.self_team[i].position.y});
        expect_vec(b.self_team[i].position, {-a.opponent_team[i].position.x, a.opponent_team[i].position.y});
        EXPECT_EQ(f.players[i].team, 0);
        EXPECT_EQ(f.players[5 + i].team, 1);
        expect_vec(f.players[i].position, a.self_team[i].position);
        expect_vec(f.players[5 + i].position, a.opponent_team[i].position);
    }
}

TEST(Observation, ScoreIsOwnFirstAndTicksRemainingNeverWraps) {
    Engine engine(EngineConfig{}, 0);
    EngineProbe::set_score(engine, 2, 1);
    EngineProbe::set_tick(engine, 8990);
    EXPECT_EQ(engine.build_observation(TEAM_A).score, (Score{2, 1}));
    EXPECT_EQ(engine.build_observation(TEAM_B).score, (Score{1, 2}));
    EXPECT_EQ(engine.spectator_frame().score, (Score{2, 1}));
    EXPECT_EQ(engine.build_observation(TEAM_A).ticks_remaining, 10u);
    for (std::uint32_t tick : {9000u, 9001u, 4000000000u}) {
        EngineProbe::set_tick(engine, tick);
        EXPECT_EQ(engine.build_observation(TEAM_B).ticks_remaining, 0u);
        EXPECT_EQ(engine.spectator_frame().tick, tick);
    }
}

TEST(Observation, EmptyTeamsAndUnknownTeam) {
    EngineConfig c;
    c.players_per_team = 0;
    Engine engine(c, 0);
    const StepResult r = engine.step(team_of({kick(1, 0)}), Actions{});
    EXPECT_TRUE(r.observations[TEAM_A].self_team.empty());
    EXPECT_TRUE(r.observations[TEAM_B].opponent_team.empty());
    EXPECT_TRUE(engine.spectator_frame().players.empty());
    expect_vec(r.observations[TEAM_B].ball.position, {0.0f, 0.0f});
    EXPECT_THROW(engine.build_observation(Team(2)), EngineFault);
}

}  // namespace
}  // namespace quorvel
