// engine/tests/step_observations_test.cpp: a tick's and a reset's observations, records and flat rows, are build_observation's, bit for bit.
#include <bit>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.hpp"
#include "observation.hpp"

namespace quorvel {
namespace {

// Every float and count of an observation, as bits, so that a sign or a
// rounding difference fails where EXPECT_EQ on floats would let -0 pass as 0.
std::vector<std::uint32_t> bits(const Observation& o) {
    std::vector<std::uint32_t> out{o.score[0], o.score[1], o.ticks_remaining,
                                   std::uint32_t(o.self_team.size()),
                                   std::uint32_t(o.opponent_team.size())};
    auto add = [&](Vec2 v) {
        out.push_back(std::bit_cast<std::uint32_t>(v.x));
        out.push_back(std::bit_cast<std::uint32_t>(v.y));
    };
    for (const auto* team : {&o.self_team, &o.opponent_team}) {
        for (const PlayerObs& p : *team) {
            add(p.position);
            add(p.velocity);
        }
    }
    add(o.ball.position);
    add(o.ball.velocity);
    return out;
}

// The floats of bits() without its counts: what the flat rows hold.
std::vector<std::uint32_t> float_bits(const Observation& o) {
    const std::vector<std::uint32_t> all = bits(o);
    return {all.begin() + 5, all.end()};
}

void expect_built_observations(Engine& engine, const std::array<Observation, 2>& got, int tick) {
    ASSERT_EQ(bits(got[TEAM_A]), bits(engine.build_observation(TEAM_A))) << "tick " << tick;
    ASSERT_EQ(bits(got[TEAM_B]), bits(engine.build_observation(TEAM_B))) << "tick " << tick;
    // The flat rows that batches read are the same floats, and the status the same counts.
    const std::size_t width = observation_width(engine.config().players_per_team);
    std::vector<float> a(width), b(width);
    engine.write_observations(a, b);
    std::vector<std::uint32_t> flat_a(width), flat_b(width);
    for (std::size_t i = 0; i < width; ++i) {
        flat_a[i] = std::bit_cast<std::uint32_t>(a[i]);
        flat_b[i] = std::bit_cast<std::uint32_t>(b[i]);
    }
    ASSERT_EQ(flat_a, float_bits(got[TEAM_A])) << "tick " << tick;
    ASSERT_EQ(flat_b, float_bits(got[TEAM_B])) << "tick " << tick;
    const MatchStatus s = engine.status();
    ASSERT_EQ(s.score, got[TEAM_A].score);
    ASSERT_EQ(s.ticks_remaining, got[TEAM_A].ticks_remaining);
}

// Everyone chases the ball; team A's players run flat out and shoot at the goal
// in front, team B's jog, so that bodies move every way, collide, cross the
// goal lines, and goals are scored.
Actions chase(const Observation& obs, bool shoot) {
    Actions out;
    for (const PlayerObs& p : obs.self_team) {
        const Vec2 to_ball{obs.ball.position.x - p.position.x, obs.ball.position.y - p.position.y};
        const float pace = shoot ? 8.0f : 0.5f;
        Action a{{to_ball.x * pace, to_ball.y * pace}, std::nullopt};
        if (shoot) a.kick = Vec2{1.0f, -obs.ball.position.y};
        out.players.push_back(a);
    }
    return out;
}

class StepObservations : public testing::TestWithParam<std::uint64_t> {};

TEST_P(StepObservations, AreTheBuiltOnesThroughGoalsAndResets) {
    EngineConfig c;
    c.players_per_team = GetParam();
    Engine engine(c, 11);
    std::array<Observation, 2> obs = engine.reset();
    ASSERT_NO_FATAL_FAILURE(expect_built_observations(engine, obs, 0));
    float goals = 0.0f;
    for (int t = 1; t <= 3000; ++t) {
        const StepResult r = engine.step(chase(obs[TEAM_A], true), chase(obs[TEAM_B], false));
        ASSERT_NO_FATAL_FAILURE(expect_built_observations(engine, r.observations, t));
        ASSERT_EQ(engine.status().tick, r.info.tick);
        obs = r.observations;
        if (t == 1500) {
            obs = engine.reset();
            ASSERT_NO_FATAL_FAILURE(expect_built_observations(engine, obs, t));
        }
        goals += r.rewards[TEAM_A].goal_scored + r.rewards[TEAM_B].goal_scored;
    }
    if (c.players_per_team > 0) {
        EXPECT_GT(goals, 0.0f);  // the goal ticks were among those compared
    }
}

INSTANTIATE_TEST_SUITE_P(TeamSizes, StepObservations, testing::Values(0u, 2u, 3u, 11u, 12u),
                         [](const auto& info) { return std::to_string(info.param) + "_a_side"; });

}  // namespace
}  // namespace quorvel
