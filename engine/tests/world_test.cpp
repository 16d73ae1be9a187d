// engine/tests/world_test.cpp: the Box2D world a match builds: bodies, shapes, walls, materials and contact mixing.
#include <gtest/gtest.h>

#include "engine_probe.hpp"

namespace quorvel {
namespace {

TEST(World, DefaultMatchHasWallsPlayersAndBallInCreationOrder) {
    Engine engine(EngineConfig{}, 0);
    World& w = EngineProbe::world(engine);
    EXPECT_EQ(w.physics.GetBodyCount(), 8);  // the wall body, 6 players, the ball
    EXPECT_EQ(w.physics.GetGravity().x, 0.0f);
    EXPECT_EQ(w.physics.GetGravity().y, 0.0f);
    for (const auto& team : w.teams) {
        ASSERT_EQ(team.size(), 3u);
        for (const b2Body* p : team) {
            EXPECT_EQ(p->GetType(), b2_dynamicBody);
            EXPECT_TRUE(p->IsFixedRotation());
            EXPECT_FALSE(p->IsBullet());
            EXPECT_EQ(p->GetLinearDamping(), 0.0f);
            const b2Fixture* f = p->GetFixtureList();
            EXPECT_EQ(f->GetShape()->m_radius, 0.5f);
            EXPECT_EQ(f->GetFriction(), 0.5f);
            EXPECT_EQ(f->GetRestitution(), 0.0f);
            EXPECT_FLOAT_EQ(p->GetMass(), 3.14159265f * 0.25f);
        }
    }
    EXPECT_TRUE(w.ball->IsBullet());
    EXPECT_TRUE(w.ball->IsFixedRotation());
    EXPECT_EQ(w.ball->GetLinearDamping(), 0.6f);
    EXPECT_EQ(w.ball->GetFixtureList()->GetShape()->m_radius, 0.2f);
    EXPECT_EQ(w.ball->GetFixtureList()->GetFriction(), 0.3f);
    EXPECT_EQ(w.ball->GetFixtureList()->GetRestitution(), 0.6f);

    // Box2D lists bodies newest first: ball, team B, team A, walls.
    const b2Body* b = w.physics.GetBodyList();
    EXPECT_EQ(b, w.ball);
    for (int i = 2; i >= 0; --i) EXPECT_EQ(b = b->GetNext(), w.teams[TEAM_B][std::size_t(i)]);
    for (int i = 2; i >= 0; --i) EXPECT_EQ(b = b->GetNext(), w.teams[TEAM_A][std::size_t(i)]);
    EXPECT_EQ((b = b->GetNext())->GetType(), b2_staticBody);
}

TEST(World, SideWallsHaveInnerFacesOnTheFieldEdges) {
    Engine engine(EngineConfig{}, 0);
    const b2Body* walls = EngineProbe::world(engine).physics.GetBodyList();
    while (walls->GetType() != b2_staticBody) walls = walls->GetNext();
    float lowest_top = 1e9f, highest_bottom = -1e9f;
    int count = 0;
    for (const b2Fixture* f = walls->GetFixtureList(); f; f = f->GetNext(), ++count) {
        EXPECT_EQ(f->GetFriction(), 0.0f);
        EXPECT_EQ(f->GetRestitution(), 0.8f);
        const auto* box = static_cast<const b2PolygonShape*>(f->GetShape());
        float min_x = 1e9f, max_x = -1e9f, min_y = 1e9f, max_y = -1e9f;
        for (int i = 0; i < box->m_count; ++i) {
            min_x = std::min(min_x, box->m_vertices[i].x);
            max_x = std::max(max_x, box->m_vertices[i].x);
            min_y = std::min(min_y, box->m_vertices[i].y);
            max_y = std::max(max_y, box->m_vertices[i].y);
        }
        EXPECT_EQ(min_x, -1.0f);
        EXPECT_EQ(max_x, 41.0f);
        EXPECT_EQ(max_y - min_y, 1.0f);
        if (min_y >= 20.0f) lowest_top = std::min(lowest_top, min_y);
        if (max_y <= 0.0f) highest_bottom = std::max(highest_bottom, max_y);
    }
    EXPECT_EQ(count, 2);
    EXPECT_EQ(lowest_top, 20.0f);
    EXPECT_EQ(highest_bottom, 0.0f);
}

TEST(World, NoPlayersLeavesWallsAndBall) {
    EngineConfig c;
    c.players_per_team = 0;
    Engine engine(c, 0);
    EXPECT_EQ(EngineProbe::world(engine).physics.GetBodyCount(), 2);
    EXPECT_TRUE(EngineProbe::world(engine).teams[TEAM_A].empty());
}

// Contacts average their fixtures' coefficients: the ball comes off a wall
// with (0.6 + 0.8) / 2 = 0.7 of its speed, where Box2D's own mixing (the
// larger restitution) would give 0.8.
TEST(World, BallBouncesOffWallWithAveragedRestitution) {
    EngineConfig c;
    c.ball_linear_damping = 0.0f;
    Engine engine(c, 0);
    EngineProbe::park_players(engine);
    EngineProbe::put(EngineProbe::ball(engine), {20.0f, 10.0f}, {0.0f, 30.0f});
    for (int t = 0; t < 20; ++t) engine.step(Actions{}, Actions{});
    EXPECT_NEAR(EngineProbe::ball(engine).GetLinearVelocity().y, -21.0f, 0.01f);
}

// Ball against player: restitution (0.6 + 0.0) / 2 = 0.3. A free player of
// mass M hit head-on by the ball of mass m at speed u leaves at
// m u (1 + e) / (m + M).
TEST(World, BallBouncesOffPlayerWithAveragedRestitution) {
    EngineConfig c;
    c.ball_linear_damping = 0.0f;
    Engine engine(c, 0);
    EngineProbe::park_players(engine);
    EngineProbe::put(EngineProbe::ball(engine), {10.0f, 10.0f}, {12.0f, 0.0f});
    EngineProbe::put(EngineProbe::player(engine, TEAM_B, 0), {12.0f, 10.0f});
    for (int t = 0; t < 15; ++t) engine.step(Actions{}, Actions{});
    const float m = 0.04f, big = 0.25f;  // r² of ball and player: the common π cancels
    EXPECT_NEAR(EngineProbe::player(engine, TEAM_B, 0).GetLinearVelocity().x, m * 12.0f * 1.3f / (m + big), 0.01f);
}

}  // namespace
}  // namespace quorvel
