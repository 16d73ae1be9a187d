// engine/tests/config_limits_test.cpp: refused configurations, and odd ones that must still play safely.
#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "config_limits.hpp"
#include "engine_probe.hpp"

namespace quorvel {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

struct ConfigCase {
    const char* name;
    std::function<void(EngineConfig&)> change;
    int ticks = 150;  // per round, when played
};

std::string name_of(const ::testing::TestParamInfo<ConfigCase>& info) { return info.param.name; }

class Refused : public ::testing::TestWithParam<ConfigCase> {};

TEST_P(Refused, AtConstructionNamingTheField) {
    EngineConfig c;
    GetParam().change(c);
    try {
        Engine engine(c, 0);
        FAIL() << "accepted";
    } catch (const EngineFault& fault) {
        const std::string text = fault.what();
        const std::string name = GetParam().name;
        // Case names start with the field they break.
        const std::string field = name.substr(0, name.rfind('_'));
        EXPECT_NE(text.find(field), std::string::npos) << text;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Configs, Refused,
    ::testing::Values(
        ConfigCase{"players_per_team_65", [](EngineConfig& c) { c.players_per_team = 65; }},
        ConfigCase{"players_per_team_2pow40", [](EngineConfig& c) { c.players_per_team = 1ull << 40; }},
        ConfigCase{"players_per_team_max", [](EngineConfig& c) { c.players_per_team = ~0ull; }},
        ConfigCase{"field_width_nan", [](EngineConfig& c) { c.field_width = kNaN; }},
        ConfigCase{"field_width_huge", [](EngineConfig& c) { c.field_width = 1e20f; }},
        ConfigCase{"field_height_inf", [](EngineConfig& c) { c.field_height = kInf; }},
        ConfigCase{"player_radius_hugenegative", [](EngineConfig& c) { c.player_radius = -1e20f; }},
        ConfigCase{"ball_radius_nan", [](EngineConfig& c) { c.ball_radius = kNaN; }},
        ConfigCase{"ball_radius_huge", [](EngineConfig& c) { c.ball_radius = 1e13f; }},
        ConfigCase{"kick_range_inf", [](EngineConfig& c) { c.kick_range = -kInf; }},
        ConfigCase{"player_max_speed_inf", [](EngineConfig& c) { c.player_max_speed = kInf; }},
        ConfigCase{"player_max_speed_nan", [](EngineConfig& c) { c.player_max_speed = kNaN; }},
        ConfigCase{"kick_max_speed_huge", [](EngineConfig& c) { c.kick_max_speed = 3e38f; }},
        ConfigCase{"ball_restitution_huge", [](EngineConfig& c) { c.ball_restitution = 1e36f; }},
        ConfigCase{"ball_restitution_nan", [](EngineConfig& c) { c.ball_restitution = kNaN; }},
        ConfigCase{"ball_linear_damping_negative", [](EngineConfig& c) { c.ball_linear_damping = -0.1f; }},
        ConfigCase{"ball_linear_damping_nan", [](EngineConfig& c) { c.ball_linear_damping = kNaN; }},
        ConfigCase{"ball_linear_damping_inf", [](EngineConfig& c) { c.ball_linear_damping = kInf; }},
        ConfigCase{"dt_inf", [](EngineConfig& c) { c.dt = kInf; }},
        ConfigCase{"dt_huge", [](EngineConfig& c) { c.dt = 1e30f; }},
        ConfigCase{"dt_denormal", [](EngineConfig& c) { c.dt = 1e-44f; }},
        ConfigCase{"dt_tiny", [](EngineConfig& c) { c.dt = 1e-20f; }}),
    name_of);

// Odd but survivable: built, played hard for a while, no body ever holds a
// non-finite number.
class OddButSafe : public ::testing::TestWithParam<ConfigCase> {};

TEST_P(OddButSafe, PlaysWithFiniteBodies) {
    EngineConfig c;
    GetParam().change(c);
    Engine engine(c, 3);
    const std::size_t n = std::size_t(c.players_per_team);
    Actions chase;
    for (std::size_t i = 0; i < n; ++i) chase.players.push_back(Action{{1.0f, float(i % 3) - 1.0f}, Vec2{1.0f, 0.3f}});
    for (int round = 0; round < 2; ++round) {
        for (int t = 0; t < GetParam().ticks; ++t) {
            engine.step(chase, chase);
            for (const b2Body* b = EngineProbe::world(engine).physics.GetBodyList(); b; b = b->GetNext()) {
                const b2Vec2 p = b->GetPosition(), v = b->GetLinearVelocity();
                ASSERT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(v.x) && std::isfinite(v.y))
                    << "tick " << t;
            }
        }
        engine.reset();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Configs, OddButSafe,
    ::testing::Values(
        ConfigCase{"no_players", [](EngineConfig& c) { c.players_per_team = 0; }},
        ConfigCase{"most_players_on_one_spot",
                   [](EngineConfig& c) { c.players_per_team = kMaxPlayersPerTeam; c.field_width = 0.0f; c.field_height = 1.0f; },
                   10},
        ConfigCase{"zero_sizes", [](EngineConfig& c) { c.field_width = 0.0f; c.player_radius = 0.0f; c.ball_radius = 0.0f; c.kick_range = 0.0f; }},
        ConfigCase{"negative_sizes", [](EngineConfig& c) { c.field_width = -40.0f; c.player_radius = -0.5f; c.ball_radius = -0.2f; c.kick_range = -1.0f; }},
        ConfigCase{"largest_sizes", [](EngineConfig& c) { c.field_width = 1e6f; c.field_height = 1e6f; c.ball_radius = 1e6f; c.kick_range = 1e6f; }},
        ConfigCase{"zero_dt_world_stands_still", [](EngineConfig& c) { c.dt = 0.0f; }},
        ConfigCase{"negative_dt", [](EngineConfig& c) { c.dt = -1.0f; }},
        ConfigCase{"nan_dt", [](EngineConfig& c) { c.dt = kNaN; }},
        ConfigCase{"smallest_dt_with_bounciest_heaviest_ball",
                   [](EngineConfig& c) { c.dt = kMinPositiveDt; c.ball_restitution = 1e6f; c.ball_radius = 1e6f; }},
        ConfigCase{"largest_dt_undamped", [](EngineConfig& c) { c.dt = kMaxDt; c.ball_linear_damping = 0.0f; }},
        ConfigCase{"fastest_players_and_kicks", [](EngineConfig& c) { c.player_max_speed = 1e9f; c.kick_max_speed = -1e9f; }},
        ConfigCase{"bouncy_ball_in_a_channel",
                   [](EngineConfig& c) { c.players_per_team = 1; c.field_height = 0.42f; c.ball_restitution = 1e6f; c.ball_linear_damping = 0.0f; }},
        ConfigCase{"nan_and_infinite_goal_and_jitter_one_player",
                   [](EngineConfig& c) { c.players_per_team = 1; c.goal_width = kNaN; c.formation_jitter = kInf; }},
        ConfigCase{"heavy_damping", [](EngineConfig& c) { c.ball_linear_damping = 3e38f; }}),
    name_of);

}  // namespace
}  // namespace quorvel
