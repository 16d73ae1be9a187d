// engine/tests/observation_test.cpp: normalised and mirrored observations, spectator frames, list order and sizes.
#include <gtest/gtest.h>

#include "test_support.hpp"

namespace quorvel {
namespace {

TEST(Observation, NormalisesAndMirrorsOnlyX) {
    Engine engine(EngineConfig{}, 0);
    park_players(engine);
    put(EngineProbe::player(engine, TEAM_B, 1), {30.0f, 15.0f}, {6.0f, -2.0f});
    put(EngineProbe::ball(engine), {0.0f, 10.0f});
    const Observation a = engine.build_observation(TEAM_A);
    const Observation b = engine.build_observation(TEAM_B);
    const SpectatorFrame f = engine.spectator_frame();
    // Team B's player: an unmirrored opponent to team A, mirrored to its own
    // team, and seen by the spectator as team A sees it.
    expect_vec(a.opponent_team[1].position, {0.5f, 0.5f});
    expect_vec(a.opponent_team[1].velocity, {0.3f, -0.2f});
    expect_vec(b.self_team[1].position, {-0.5f, 0.5f});
    expect_vec(b.self_team[1].velocity, {-0.3f, -0.2f});
    expect_vec(f.players[4].position, {0.5f, 0.5f});
    expect_vec(f.players[4].velocity, {0.3f, -0.2f});
    // The ball on team A's goal line.
    expect_vec(a.ball.position, {-1.0f, 0.0f});
    expect_vec(b.ball.position, {1.0f, 0.0f});
    expect_vec(f.ball.position, {-1.0f, 0.0f});
}

TEST(Observation, ListsFollowPlayerOrderAndAreSizedExactly) {
    EngineConfig c;
    c.players_per_team = 5;
    Engine engine(c, 0);
    park_players(engine);  // at x = 2 + 3i: increasing along each list
    const Observation a = engine.build_observation(TEAM_A);
    const Observation b = engine.build_observation(TEAM_B);
    const SpectatorFrame f = engine.spectator_frame();
    EXPECT_EQ(a.self_team.size(), 5u);
    EXPECT_EQ(b.opponent_team.size(), 5u);
    EXPECT_EQ(f.players.capacity(), 10u);
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(a.self_team[i].position.x, (2.0f + 3.0f * float(i) - 20.0f) / 20.0f);
        expect_vec(b.opponent_team[i].position, {-a.self_team[i].position.x, a.self_team[i].position.y});
        expect_vec(b.self_team[i].position, {-a.opponent_team[i].position.x, a.opponent_team[i].position.y});
        expect_vec(f.players[i].position, a.self_team[i].position);
        expect_vec(f.players[5 + i].position, a.opponent_team[i].position);
        EXPECT_EQ(f.players[i].team, 0);
        EXPECT_EQ(f.players[5 + i].team, 1);
    }
}

TEST(Observation, ScoreIsOwnFirstAndTicksRemainingNeverWraps) {
    Engine engine(EngineConfig{}, 0);
    EngineProbe::match(engine).score = {2, 1};
    EXPECT_EQ(engine.build_observation(TEAM_A).score, (Score{2, 1}));
    EXPECT_EQ(engine.build_observation(TEAM_B).score, (Score{1, 2}));
    EXPECT_EQ(engine.spectator_frame().score, (Score{2, 1}));
    for (const auto& [tick, remaining] : {std::pair{8990u, 10u}, {9000u, 0u}, {4000000000u, 0u}}) {
        EngineProbe::match(engine).tick = tick;
        EXPECT_EQ(engine.build_observation(TEAM_B).ticks_remaining, remaining);
        EXPECT_EQ(engine.spectator_frame().tick, tick);
    }
}

TEST(Observation, NoPlayersGivesEmptyListsAndAnUnknownTeamFaults) {
    EngineConfig c;
    c.players_per_team = 0;
    Engine engine(c, 0);
    const StepResult r = engine.step(team_of({kick(1, 0)}), kNobody);
    EXPECT_TRUE(r.observations[TEAM_A].self_team.empty());
    EXPECT_TRUE(r.observations[TEAM_B].opponent_team.empty());
    EXPECT_TRUE(engine.spectator_frame().players.empty());
    expect_vec(r.observations[TEAM_B].ball.position, {0.0f, 0.0f});
    EXPECT_THROW(engine.build_observation(Team(2)), EngineFault);
}

}  // namespace
}  // namespace quorvel
