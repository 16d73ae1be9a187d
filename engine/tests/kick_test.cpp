// engine/tests/kick_test.cpp: kicks: reach, scaling, mirroring, summing, non-finite kicks, and speeds past Box2D's per-step cap.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine_probe.hpp"

namespace quorvel {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Without ball damping a free ball keeps the velocity the kicks gave it
// through the physics step, so it can be read after the tick.
EngineConfig undamped() {
    EngineConfig c;
    c.ball_linear_damping = 0.0f;
    return c;
}

struct KickCase {
    const char* name;
    Vec2 ball_velocity;                // before the tick
    std::vector<Action> team_a;        // player i stands 1.0 to the left of the ball if it kicks
    std::vector<Action> team_b;
    Vec2 expected;                     // ball velocity after the tick
};

class Kick : public ::testing::TestWithParam<KickCase> {};

TEST_P(Kick, AddsScaledKicksToBallVelocity) {
    const KickCase& k = GetParam();
    Engine engine(undamped(), 0);
    EngineProbe::park_players(engine);
    const Vec2 ball{20.0f, 10.0f};
    EngineProbe::put(EngineProbe::ball(engine), ball, k.ball_velocity);
    // Team A's kickers stand on the ball's left, team B's on its right, each
    // 1.0 from its centre (reach 1.1), none in the ball's way within one tick.
    const float dy[] = {0.0f, 0.45f, -0.45f};
    for (const Team team : {TEAM_A, TEAM_B}) {
        const auto& actions = team == TEAM_A ? k.team_a : k.team_b;
        for (std::size_t i = 0; i < actions.size(); ++i) {
            const float dx = std::sqrt(1.0f - dy[i] * dy[i]);
            EngineProbe::put(EngineProbe::player(engine, team, i),
                             {team == TEAM_A ? ball.x - dx : ball.x + dx, ball.y + dy[i]});
        }
    }
    engine.step(team_of(k.team_a), team_of(k.team_b));
    const b2Vec2 v = EngineProbe::ball(engine).GetLinearVelocity();
    EXPECT_EQ(v.x, k.expected.x);
    EXPECT_EQ(v.y, k.expected.y);
}

INSTANTIATE_TEST_SUITE_P(
    Kicks, Kick,
    ::testing::Values(
        KickCase{"full_strength", {0, 0}, {kick(2, 0)}, {}, {12, 0}},
        KickCase{"half_strength", {0, 0}, {kick(0.5f, 0)}, {}, {6, 0}},
        KickCase{"team_b_mirrored", {0, 0}, {}, {kick(1, 0)}, {-12, 0}},
        KickCase{"two_kicks_sum", {0, 0}, {kick(1, 0), kick(1, 0)}, {}, {24, 0}},
        KickCase{"adds_to_motion", {3, -1}, {kick(0, 1)}, {}, {3, 11}},
        KickCase{"opposing_kicks_cancel", {0, 0}, {kick(0, 1)}, {kick(0, -1)}, {0, 0}},
        KickCase{"zero_kick_is_none", {0, 0}, {kick(0, 0)}, {}, {0, 0}},
        KickCase{"absent_kick_is_none", {0, 0}, {Action::NOOP}, {}, {0, 0}},
        KickCase{"nan_kick_is_none", {0, 0}, {kick(kNaN, 0)}, {}, {0, 0}},
        KickCase{"infinite_kick_is_none", {0, 0}, {kick(kInf, 1)}, {kick(1, -kInf)}, {0, 0}},
        KickCase{"kick_ignores_move_dir", {0, 0}, {Action{{-1, 0}, Vec2{0, 1}}}, {}, {0, 12}}),
    [](const auto& info) { return std::string(info.param.name); });

// Reach is measured between centres before the physics step; equal kicks.
// Radii chosen so the reach (0.5 + 0.25) + 0.25 = 1 is exact in float.
TEST(KickReach, EqualReachKicksOneUlpFurtherDoesNot) {
    EngineConfig c = undamped();
    c.ball_radius = 0.25f;
    c.kick_range = 0.25f;
    // Ball at y = 3: the kicker at 2 is exactly 1 away; at the float just
    // below 2, the distance is the float just above 1 (the subtraction is exact).
    for (const auto& [kicker_y, kicks] : {std::pair{2.0f, true}, std::pair{std::nextafter(2.0f, 0.0f), false}}) {
        Engine engine(c, 0);
        EngineProbe::park_players(engine);
        EngineProbe::put(EngineProbe::ball(engine), {16.0f, 3.0f});
        EngineProbe::put(EngineProbe::player(engine, TEAM_A, 0), {16.0f, kicker_y});
        engine.step(team_of({kick(1, 0)}), Actions{});
        EXPECT_EQ(EngineProbe::ball(engine).GetLinearVelocity().x, kicks ? 12.0f : 0.0f) << kicker_y;
    }
}

// Six kicks at once give 72 u/s: more than Box2D's per-step cap of
// b2_maxTranslation / dt = 60 u/s. The tick splits its step so the ball keeps
// its speed and covers the full distance.
TEST(KickSpeed, SixSimultaneousKicksAreNotSlowedByTheStepCap) {
    Engine engine(undamped(), 0);
    EngineProbe::park_players(engine);
    const Vec2 ball{20.0f, 10.0f};
    EngineProbe::put(EngineProbe::ball(engine), ball);
    // Six kickers on the ball's left, 1.05 from its centre, between 130° and 230°.
    for (int s = 0; s < 6; ++s) {
        const double angle = (130.0 + 20.0 * s) * 3.14159265358979 / 180.0;
        const Team team = s < 3 ? TEAM_A : TEAM_B;
        EngineProbe::put(EngineProbe::player(engine, team, std::size_t(s % 3)),
                         {ball.x + float(1.05 * std::cos(angle)), ball.y + float(1.05 * std::sin(angle))});
    }
    const Actions a = team_of({kick(1, 0), kick(1, 0), kick(1, 0)});
    const Actions b = team_of({kick(-1, 0), kick(-1, 0), kick(-1, 0)});  // +x in the field frame
    EXPECT_EQ(substeps_for(engine.config().dt, EngineProbe::world(engine).physics), 1);
    engine.step(a, b);
    const b2Body& body = EngineProbe::ball(engine);
    EXPECT_EQ(body.GetLinearVelocity().x, 72.0f);
    EXPECT_NEAR(body.GetPosition().x, ball.x + 72.0f / 30.0f, 1e-4f);
}

struct SubstepCase {
    const char* name;
    float dt;
    float speed;
    int substeps;
};

class Substeps : public ::testing::TestWithParam<SubstepCase> {};

TEST_P(Substeps, SmallestCountUnderTheCap) {
    const SubstepCase& s = GetParam();
    EngineConfig c;
    c.dt = s.dt;
    Engine engine(c, 0);
    EngineProbe::put(EngineProbe::ball(engine), {20.0f, 10.0f}, {0.0f, s.speed});
    EXPECT_EQ(substeps_for(c.dt, EngineProbe::world(engine).physics), s.substeps);
}

INSTANTIATE_TEST_SUITE_P(
    Speeds, Substeps,
    ::testing::Values(SubstepCase{"ordinary_kick", 1.0f / 30.0f, 12.0f, 1},
                      SubstepCase{"just_under_cap", 1.0f / 30.0f, 59.9f, 1},
                      SubstepCase{"just_over_cap", 1.0f / 30.0f, 61.0f, 2},
                      SubstepCase{"six_kicks", 1.0f / 30.0f, 72.0f, 2},
                      SubstepCase{"exactly_on_cap_x10", 1.0f / 30.0f, 600.0f, 10},   // exactly on the cap: allowed
                      SubstepCase{"just_over_cap_x10", 1.0f / 30.0f, 601.0f, 11},
                      SubstepCase{"huge_speed_ceiling", 1.0f / 30.0f, 1e30f, kMaxSubsteps},
                      SubstepCase{"infinite_speed_ceiling", 1.0f / 30.0f, kInf, kMaxSubsteps},
                      SubstepCase{"nan_speed", 1.0f / 30.0f, kNaN, 1},
                      SubstepCase{"one_second_tick", 1.0f, 6.0f, 3},
                      SubstepCase{"zero_dt", 0.0f, 1e30f, 1},
                      SubstepCase{"negative_dt", -1.0f, 100.0f, 1},
                      SubstepCase{"nan_dt", kNaN, 100.0f, 1}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quorvel
