// engine/tests/world_test.cpp: the Box2D world of a match: bodies, side walls, and averaged contact materials.
#include <algorithm>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace quorvel {
namespace {

TEST(World, HoldsOneWallBodyThenTeamAThenTeamBThenTheBall) {
    Engine engine(EngineConfig{}, 0);
    World& w = EngineProbe::world(engine);
    // Box2D lists bodies newest first.
    const b2Body* b = w.physics.GetBodyList();
    EXPECT_EQ(b, w.ball);
    EXPECT_FALSE(w.physics.GetContinuousPhysics());  // substeps keep contacts sound instead
    for (const Team team : {TEAM_B, TEAM_A}) {
        for (int i = 2; i >= 0; --i) {
            b = b->GetNext();
            EXPECT_EQ(b, w.teams[team][std::size_t(i)]);
            EXPECT_EQ(kFieldScale * b->GetFixtureList()->GetShape()->m_radius, 0.5f);  // built in Box2D's lengths
        }
    }
    EXPECT_EQ(b->GetNext()->GetType(), b2_staticBody);
    EXPECT_EQ(b->GetNext()->GetNext(), nullptr);

    EngineConfig none;
    none.players_per_team = 0;
    Engine ball_only(none, 0);
    EXPECT_EQ(EngineProbe::world(ball_only).physics.GetBodyCount(), 2);  // walls and ball
}

TEST(World, SideWallsReachPastBothGoalLinesWithInnerFacesOnTheField) {
    Engine engine(EngineConfig{}, 0);
    const b2Body* walls = EngineProbe::world(engine).physics.GetBodyList();
    while (walls->GetType() != b2_staticBody) walls = walls->GetNext();
    std::vector<std::pair<float, float>> spans_y;
    for (const b2Fixture* f = walls->GetFixtureList(); f; f = f->GetNext()) {
        const auto* box = static_cast<const b2PolygonShape*>(f->GetShape());
        const b2Vec2 a = kFieldScale * box->m_vertices[0], b = kFieldScale * box->m_vertices[2];
        const auto [x0, x1] = std::minmax({a.x, b.x});
        const auto [y0, y1] = std::minmax({a.y, b.y});
        EXPECT_EQ(x0, -1.0f);
        EXPECT_EQ(x1, 41.0f);
        spans_y.emplace_back(y0, y1);
    }
    std::sort(spans_y.begin(), spans_y.end());
    EXPECT_EQ(spans_y, (std::vector<std::pair<float, float>>{{-1.0f, 0.0f}, {20.0f, 21.0f}}));
}

// Contacts average the two fixtures' restitutions, where Box2D's own rule
// takes the larger: the ball leaves a wall with 0.7 of its speed (not 0.8),
// and hits a free player with 0.3 (not 0.6), which then leaves at
// m u (1 + e) / (m + M) for masses proportional to r².
TEST(World, ContactsAverageRestitution) {
    EngineConfig c;
    c.ball_linear_damping = 0.0f;
    Engine wall(c, 0);
    park_players(wall);
    put(EngineProbe::ball(wall), {20.0f, 10.0f}, {0.0f, 30.0f});
    for (int t = 0; t < 20; ++t) wall.step(kNobody, kNobody);
    EXPECT_NEAR(velocity_of(EngineProbe::ball(wall)).y, -21.0f, 0.01f);

    Engine player(c, 0);
    park_players(player);
    put(EngineProbe::ball(player), {10.0f, 10.0f}, {12.0f, 0.0f});
    put(EngineProbe::player(player, TEAM_B, 0), {12.0f, 10.0f});
    for (int t = 0; t < 15; ++t) player.step(kNobody, kNobody);
    const float m = 0.04f, big = 0.25f;
    EXPECT_NEAR(velocity_of(EngineProbe::player(player, TEAM_B, 0)).x, m * 12.0f * 1.3f / (m + big), 0.01f);
}

}  // namespace
}  // namespace quorvel
