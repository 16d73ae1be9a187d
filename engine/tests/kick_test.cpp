// engine/tests/kick_test.cpp: kicks: reach, scaling, mirroring, summing, non-finite kicks, and speeds past Box2D's per-step cap.
#include <cmath>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace quorvel {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Without ball damping a free ball keeps the velocity the kicks gave it
// through the physics step, so it can be read after the tick.
Engine undamped_engine(float ball_radius = 0.2f, float kick_range = 0.4f) {
    EngineConfig c;
    c.ball_linear_damping = 0.0f;
    c.ball_radius = ball_radius;
    c.kick_range = kick_range;
    Engine engine(c, 0);
    park_players(engine);
    return engine;
}

TEST(Kick, AddsScaledKicksToTheBallsVelocity) {
    const struct { Vec2 ball_velocity; std::vector<Action> a, b; Vec2 expected; } cases[] = {
        {{0, 0}, {kick(2, 0)}, {}, {12, 0}},
        {{0, 0}, {kick(0.5f, 0)}, {}, {6, 0}},
        {{0, 0}, {}, {kick(1, 0)}, {-12, 0}},                 // team B mirrored
        {{0, 0}, {kick(1, 0), kick(1, 0)}, {}, {24, 0}},      // simultaneous kicks sum
        {{3, -1}, {kick(0, 1)}, {}, {3, 11}},                 // adds to the ball's motion
        {{0, 0}, {kick(0, 1)}, {kick(0, -1)}, {0, 0}},
        {{0, 0}, {Action{{-1, 0}, Vec2{0, 1}}}, {}, {0, 12}}, // independent of move_dir
        {{0, 0}, {kick(0, 0), Action::NOOP}, {}, {0, 0}},     // zero or absent: no kick
        {{0, 0}, {kick(kNaN, 0)}, {kick(1, -kInf)}, {0, 0}}}; // non-finite: no kick
    for (const auto& k : cases) {
        Engine engine = undamped_engine();
        const Vec2 ball{20.0f, 10.0f};
        put(EngineProbe::ball(engine), ball, k.ball_velocity);
        // Team A's kickers on the ball's left, team B's on its right, 1.0 from
        // its centre (reach 1.1), none in the ball's way within one tick.
        const float dy[] = {0.0f, 0.45f, -0.45f};
        for (const Team team : {TEAM_A, TEAM_B}) {
            const auto& actions = team == TEAM_A ? k.a : k.b;
            for (std::size_t i = 0; i < actions.size(); ++i) {
                const float dx = std::sqrt(1.0f - dy[i] * dy[i]);
                put(EngineProbe::player(engine, team, i), {team == TEAM_A ? ball.x - dx : ball.x + dx, ball.y + dy[i]});
            }
        }
        engine.step(team_of(k.a), team_of(k.b));
        SCOPED_TRACE(testing::Message() << "expected " << k.expected.x << ", " << k.expected.y);
        expect_vec(velocity_of(EngineProbe::ball(engine)), k.expected);
    }
}

// Reach (0.5 + 0.25) + 0.25 = 1 is exact in float. Ball at y = 3: a kicker
// at 2 is exactly 1 away and kicks; at the float below 2 the distance is the
// float above 1 (the subtraction is exact) and it does not.
TEST(Kick, EqualReachKicksOneUlpFurtherDoesNot) {
    for (const auto& [kicker_y, kicks] : {std::pair{2.0f, true}, std::pair{std::nextafter(2.0f, 0.0f), false}}) {
        Engine engine = undamped_engine(0.25f, 0.25f);
        put(EngineProbe::ball(engine), {16.0f, 3.0f});
        put(EngineProbe::player(engine, TEAM_A, 0), {16.0f, kicker_y});
        engine.step(team_of({kick(1, 0)}), kNobody);
        EXPECT_EQ(velocity_of(EngineProbe::ball(engine)).x, kicks ? 12.0f : 0.0f) << kicker_y;
    }
}

// Six kicks at once give 72 u/s, far past what Box2D's per-step cap once was
// (60 u/s): the tick splits its step where it must, so the ball keeps its
// speed and covers the whole distance.
TEST(Kick, SixSimultaneousKicksAreNotSlowedByTheStepCap) {
    Engine engine = undamped_engine();
    const Vec2 ball{20.0f, 10.0f};
    put(EngineProbe::ball(engine), ball);
    for (int s = 0; s < 6; ++s) {  // on the ball's left, 1.05 away, from 130° to 230°
        const double angle = (130.0 + 20.0 * s) * 3.14159265358979 / 180.0;
        put(EngineProbe::player(engine, s < 3 ? TEAM_A : TEAM_B, std::size_t(s % 3)),
            {ball.x + float(1.05 * std::cos(angle)), ball.y + float(1.05 * std::sin(angle))});
    }
    engine.step(team_of({kick(1, 0), kick(1, 0), kick(1, 0)}), team_of({kick(-1, 0), kick(-1, 0), kick(-1, 0)}));
    EXPECT_EQ(velocity_of(EngineProbe::ball(engine)).x, 72.0f);
    EXPECT_NEAR(position_of(EngineProbe::ball(engine)).x, ball.x + 72.0f / 30.0f, 1e-4f);
}

TEST(Kick, SubstepsAreTheSmallestCountUnderTheCap) {
    const struct { float dt, speed; int substeps; } cases[] = {
        {1.0f / 30.0f, 119.9f, 1}, {1.0f / 30.0f, 121.0f, 2},
        {1.0f / 30.0f, 480.0f, 4},  // exactly on the cap is allowed
        {1.0f / 30.0f, 482.0f, 5},  {1.0f, 12.0f, 3},
        {1.0f / 30.0f, 1e30f, kMaxSubsteps}, {1.0f / 30.0f, kInf, kMaxSubsteps},
        {1.0f / 30.0f, kNaN, 1}, {0.0f, 1e30f, 1}, {-1.0f, 100.0f, 1}, {kNaN, 100.0f, 1}};
    Engine engine = undamped_engine();  // players far from the ball, which meets nothing in a tick
    for (const auto& s : cases) {
        put(EngineProbe::ball(engine), {20.0f, 10.0f}, {s.speed, 0.0f});  // along the open field
        EXPECT_EQ(substeps_for(s.dt, EngineProbe::world(engine).discs()), s.substeps) << s.dt << " " << s.speed;
    }
}

}  // namespace
}  // namespace quorvel
