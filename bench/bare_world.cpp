// bench/bare_world.cpp: building the bare floor world and placing its kick-off.
#include "bare_world.hpp"

#include <algorithm>

#include "rng.hpp"

namespace quorvel::bench {
namespace {

void add_wall(b2Body& walls, float half_x, b2Vec2 centre) {
    b2PolygonShape box;
    box.SetAsBox(half_x, kBox2DScale * 0.5f, centre, 0.0f);
    b2FixtureDef def;
    def.shape = &box;
    def.friction = 0.0f;
    def.restitution = 0.8f;
    def.restitutionThreshold = kRestitutionThreshold;
    walls.CreateFixture(&def);
}

b2Body* add_disc(b2World& world, float radius, float damping, float friction, float restitution) {
    b2BodyDef body_def;
    body_def.type = b2_dynamicBody;
    body_def.fixedRotation = true;
    body_def.linearDamping = damping;
    b2Body* body = world.CreateBody(&body_def);
    b2CircleShape disc;
    disc.m_radius = radius;
    b2FixtureDef fixture_def;
    fixture_def.shape = &disc;
    fixture_def.density = 1.0f;
    fixture_def.friction = friction;
    fixture_def.restitution = restitution;
    fixture_def.restitutionThreshold = kRestitutionThreshold;
    body->CreateFixture(&fixture_def);
    return body;
}

void place_at_rest(b2Body& body, b2Vec2 p) {
    body.SetTransform(kBox2DScale * p, 0.0f);
    body.SetAwake(true);
    body.SetLinearVelocity(b2Vec2(0.0f, 0.0f));
    body.SetAwake(true);
}

}  // namespace

void AveragingListener::BeginContact(b2Contact* contact) {
    const b2Fixture* a = contact->GetFixtureA();
    const b2Fixture* b = contact->GetFixtureB();
    contact->SetFriction((a->GetFriction() + b->GetFriction()) / 2.0f);
    contact->SetRestitution((a->GetRestitution() + b->GetRestitution()) / 2.0f);
}

BareWorld::BareWorld(const EngineConfig& config, std::uint64_t seed)
    : world_(b2Vec2(0.0f, 0.0f)), dt_(config.dt), discs_{} {
    world_.SetContactListener(&listener_);
    world_.SetContinuousPhysics(false);
    const float s = kBox2DScale;
    const float w = s * config.field_width;
    const float h = s * config.field_height;

    // One static body holds both side walls, the upper one first.
    b2BodyDef walls_def;
    b2Body* walls = world_.CreateBody(&walls_def);
    add_wall(*walls, w * 0.5f + s, b2Vec2(w * 0.5f, h + s * 0.5f));
    add_wall(*walls, w * 0.5f + s, b2Vec2(w * 0.5f, s * -0.5f));

    const std::size_t n = std::size_t(config.players_per_team);
    for (std::size_t i = 0; i < 2 * n; ++i) {
        players_.push_back(add_disc(world_, s * config.player_radius, 0.0f, 0.5f, 0.0f));
    }
    ball_ = add_disc(world_, s * config.ball_radius, config.ball_linear_damping, 0.3f, config.ball_restitution);
    discs_ = {players_, {}, ball_, s * config.player_radius, s * config.ball_radius, h};
    place_kickoff(config, seed);
}

// The engine's kick-off formation, drawn from a generator seeded the same way:
// each team's first player beside the ball, the others on a column with jitter.
void BareWorld::place_kickoff(const EngineConfig& c, std::uint64_t seed) {
    Rng rng = Rng::from_u64(seed);
    const std::size_t n = std::size_t(c.players_per_team);
    const float w = c.field_width;
    const float h = c.field_height;
    const float low = c.player_radius;
    const float high = c.field_height - c.player_radius;
    const UniformClosedF32 jitter(-c.formation_jitter, c.formation_jitter);
    const float gap = c.kick_range * 0.5f + (c.player_radius + c.ball_radius);
    for (std::size_t team = 0; team < 2 && n > 0; ++team) {
        b2Body** players = players_.data() + team * n;
        place_at_rest(*players[0], b2Vec2(team == 0 ? w * 0.5f - gap : w * 0.5f + gap, h * 0.5f));
        const float x = team == 0 ? w * 0.25f : w * 0.75f;
        for (std::size_t i = 1; i < n; ++i) {
            const float base = std::clamp(h * float(i) / float(n), low, high);
            const float y = std::clamp(base + jitter.sample(rng), low, high);
            place_at_rest(*players[i], b2Vec2(x, y));
        }
    }
    place_at_rest(*ball_, b2Vec2(w * 0.5f, h * 0.5f));
}

}  // namespace quorvel::bench
