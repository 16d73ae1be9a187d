// engine/tests/limits_test.cpp: refused configurations, and odd ones that must still play safely.
#include <functional>
#include <limits>

#include <gtest/gtest.h>

#include "quorvel/limits.hpp"
#include "test_support.hpp"

namespace quorvel {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

using Change = std::function<void(EngineConfig&)>;

TEST(ConfigLimits, RefusedAtConstructionNamingTheField) {
    const std::pair<const char*, Change> cases[] = {
        {"players_per_team must be at most 50 on this field", [](EngineConfig& c) { c.players_per_team = 51; }},
        {"players_per_team must be at most 32", [](EngineConfig& c) { c.players_per_team = 33; c.formation_jitter = 2.0f; }},
        {"players_per_team must be at most 32", [](EngineConfig& c) { c.players_per_team = 33; c.field_width = 0.0f; }},
        {"players_per_team must be at most 512", [](EngineConfig& c) { c.players_per_team = 513; c.field_width = 1e6f; c.field_height = 1e6f; }},
        // A disc more than 4 wider than the field's smaller side overlaps every body.
        {"players_per_team must be at most 8 on this field", [](EngineConfig& c) { c.players_per_team = 9; c.ball_radius = 1e6f; }},
        {"players_per_team must be at most 8", [](EngineConfig& c) { c.players_per_team = 9; c.field_width = 1.0f; c.field_height = 40.0f; c.player_radius = 10.9f; }},
        {"players_per_team must be at most 8", [](EngineConfig& c) { c.players_per_team = 9; c.field_width = 1e6f; c.field_height = 1e6f; c.ball_radius = -1e6f; }},
        {"players_per_team", [](EngineConfig& c) { c.players_per_team = 1ull << 40; }},
        {"players_per_team", [](EngineConfig& c) { c.players_per_team = ~0ull; }},
        {"field_width", [](EngineConfig& c) { c.field_width = 1e20f; }},  // Box2D's TOI asserted
        {"field_height", [](EngineConfig& c) { c.field_height = kInf; }},
        {"player_radius", [](EngineConfig& c) { c.player_radius = -1e20f; }},
        {"ball_radius", [](EngineConfig& c) { c.ball_radius = kNaN; }},  // Box2D's TOI asserted
        {"ball_radius", [](EngineConfig& c) { c.ball_radius = 1e13f; }},
        {"kick_range", [](EngineConfig& c) { c.kick_range = -kInf; }},
        {"player_max_speed", [](EngineConfig& c) { c.player_max_speed = kInf; }},
        {"kick_max_speed", [](EngineConfig& c) { c.kick_max_speed = 3e38f; }},
        {"ball_restitution", [](EngineConfig& c) { c.ball_restitution = 1e36f; }},
        {"ball_linear_damping", [](EngineConfig& c) { c.ball_linear_damping = -0.1f; }},  // Box2D asserts
        {"ball_linear_damping", [](EngineConfig& c) { c.ball_linear_damping = kNaN; }},
        {"dt", [](EngineConfig& c) { c.dt = kInf; }},
        {"dt", [](EngineConfig& c) { c.dt = 1e30f; }},
        {"dt", [](EngineConfig& c) { c.dt = 1e-44f; }},
        // Finite, but Box2D's inverse mass times the step overflows: NaN bodies.
        {"player_radius is too small", [](EngineConfig& c) { c.player_radius = 1e-21f; }},
        {"player_radius", [](EngineConfig& c) { c.player_radius = -3e-23f; c.dt = 0.0f; }},  // inverse mass infinite
        {"ball_radius is too small", [](EngineConfig& c) { c.ball_radius = 1e-19f; c.dt = 1e6f; }},
        {"ball_radius", [](EngineConfig& c) { c.ball_radius = 3.0e-20f; }}};
    for (const auto& [field, change] : cases) {
        EngineConfig c;
        change(c);
        expect_fault([&] { Engine{c, 0}; }, field);
    }
}

// Odd but survivable: built, played hard for two rounds, and no body ever
// holds a non-finite number.
TEST(ConfigLimits, OddConfigurationsPlayWithFiniteBodies) {
    const std::pair<Change, int> cases[] = {  // (change, ticks per round)
        {[](EngineConfig& c) { c.players_per_team = kMaxPiledPlayersPerTeam; c.field_width = 0.0f; c.field_height = 1.0f; }, 10},
        {[](EngineConfig& c) { c.players_per_team = 33; c.field_width = 400.0f; c.field_height = 200.0f; }, 60},
        {[](EngineConfig& c) { c.players_per_team = 48; }, 60},  // the default field holds 50 a side
        {[](EngineConfig& c) { c.players_per_team = kMaxOverlappingPlayersPerTeam; c.ball_radius = 1e6f; c.dt = 1e6f; }, 20},
        {[](EngineConfig& c) { c.players_per_team = kMaxPiledPlayersPerTeam; c.field_width = 1.0f; c.player_radius = 2.5f; }, 20},  // 4 wider: piled, not overlapping
        {[](EngineConfig& c) { c.player_radius = 1e-30f; c.ball_radius = -1e-24f; }, 60},  // mass 0: Box2D takes 1
        {[](EngineConfig& c) { c.ball_radius = 8e-20f; c.dt = kMinPositiveDt; }, 60},
        {[](EngineConfig& c) { c.field_width = 0.0f; c.player_radius = 0.0f; c.ball_radius = 0.0f; c.kick_range = 0.0f; }, 150},
        {[](EngineConfig& c) { c.field_width = -40.0f; c.player_radius = -0.5f; c.ball_radius = -0.2f; c.kick_range = -1.0f; }, 150},
        {[](EngineConfig& c) { c.field_width = 1e6f; c.field_height = 1e6f; c.ball_radius = 1e6f; c.kick_range = 1e6f; }, 150},
        {[](EngineConfig& c) { c.dt = kNaN; }, 150},  // Box2D integrates nothing: the world stands still
        {[](EngineConfig& c) { c.dt = -1.0f; }, 150},
        {[](EngineConfig& c) { c.dt = kMinPositiveDt; c.ball_restitution = 1e6f; c.ball_radius = 1e6f; }, 150},
        {[](EngineConfig& c) { c.dt = kMaxDt; c.ball_linear_damping = 0.0f; }, 150},
        {[](EngineConfig& c) { c.player_max_speed = kMaxSpeed; c.kick_max_speed = -kMaxSpeed; }, 150},
        {[](EngineConfig& c) { c.players_per_team = 1; c.field_height = 0.42f; c.ball_restitution = 1e6f; }, 150},
        {[](EngineConfig& c) { c.players_per_team = 1; c.goal_width = kNaN; c.formation_jitter = kInf; }, 150},
        {[](EngineConfig& c) { c.ball_linear_damping = 3e38f; }, 150}};
    int index = 0;
    for (const auto& [change, ticks] : cases) {
        EngineConfig c;
        change(c);
        Engine engine(c, 3);
        Actions chase;
        for (std::uint64_t i = 0; i < c.players_per_team; ++i) chase.players.push_back(Action{{1.0f, float(i % 3) - 1.0f}, Vec2{1.0f, 0.3f}});
        for (int round = 0; round < 2; ++round, engine.reset()) {
            for (int t = 0; t < ticks; ++t) engine.step(chase, chase);
            EXPECT_TRUE(world_is_finite(engine)) << "case " << index << " round " << round;
        }
        ++index;
    }
}

}  // namespace
}  // namespace quorvel
