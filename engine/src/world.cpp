// engine/src/world.cpp: building the Box2D world of a match and advancing it in sound discrete steps.
#include "world.hpp"

#include <algorithm>
#include <cmath>

namespace quorvel {
namespace {

struct Material {
    float friction;
    float restitution;
};
constexpr Material kWallMaterial{0.0f, 0.8f};
constexpr Material kPlayerMaterial{0.5f, 0.0f};
constexpr float kBallFriction = 0.3f;

void add_wall(b2Body& walls, float half_x, float half_y, b2Vec2 centre) {
    b2PolygonShape box;
    box.SetAsBox(half_x, half_y, centre, 0.0f);
    b2FixtureDef def;
    def.shape = &box;
    def.friction = kWallMaterial.friction;
    def.restitution = kWallMaterial.restitution;
    def.restitutionThreshold = kRestitutionThreshold;
    walls.CreateFixture(&def);
}

// A dynamic disc at the origin, at rest, that never rotates.
b2Body* add_disc(b2World& world, float radius, float linear_damping, Material material) {
    b2BodyDef body_def;
    body_def.type = b2_dynamicBody;
    body_def.fixedRotation = true;
    body_def.linearDamping = linear_damping;
    b2Body* body = world.CreateBody(&body_def);
    if (body == nullptr) throw EngineFault("the physics world refused a body");

    b2CircleShape disc;
    disc.m_radius = radius;
    b2FixtureDef fixture_def;
    fixture_def.shape = &disc;
    fixture_def.density = 1.0f;
    fixture_def.friction = material.friction;
    fixture_def.restitution = material.restitution;
    fixture_def.restitutionThreshold = kRestitutionThreshold;
    body->CreateFixture(&fixture_def);
    return body;
}

}  // namespace

void AveragingContactListener::BeginContact(b2Contact* contact) {
    const b2Fixture* a = contact->GetFixtureA();
    const b2Fixture* b = contact->GetFixtureB();
    contact->SetFriction((a->GetFriction() + b->GetFriction()) / 2.0f);
    contact->SetRestitution((a->GetRestitution() + b->GetRestitution()) / 2.0f);
}

World::World(const EngineConfig& config)
    : physics(b2Vec2(0.0f, 0.0f)), player_radius(kBox2DScale * config.player_radius),
      ball_radius(kBox2DScale * config.ball_radius), field_height(kBox2DScale * config.field_height) {
    physics.SetContactListener(&listener);
    physics.SetContinuousPhysics(false);  // substeps_for keeps the contacts sound
    const float w = kBox2DScale * config.field_width;
    const float h = field_height;
    const float s = kBox2DScale;

    // Everything is built in Box2D's lengths (kBox2DScale). Side walls: one
    // static body at the origin holding both boxes, upper first. Each is W + 2
    // long and 1 thick, inner face on the field's edge.
    b2BodyDef walls_def;
    b2Body* walls = physics.CreateBody(&walls_def);
    add_wall(*walls, w * 0.5f + s, s * 0.5f, b2Vec2(w * 0.5f, h + s * 0.5f));
    add_wall(*walls, w * 0.5f + s, s * 0.5f, b2Vec2(w * 0.5f, s * -0.5f));

    const auto n = std::size_t(config.players_per_team);
    for (auto& team : teams) {
        team.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            team.push_back(add_disc(physics, player_radius, 0.0f, kPlayerMaterial));
        }
    }
    ball = add_disc(physics, ball_radius, config.ball_linear_damping,
                    {kBallFriction, config.ball_restitution});
}

Discs World::discs() const {
    return {teams[TEAM_A], teams[TEAM_B], ball, player_radius, ball_radius, field_height};
}

void World::advance(float dt) {
    const int k = substeps_for(dt, discs());
    last_steps = k;
    const float h = k == 1 ? dt : dt / float(k);
    for (int s = 0; s < k; ++s) physics.Step(h, kVelocityIterations, kPositionIterations);
}

}  // namespace quorvel
