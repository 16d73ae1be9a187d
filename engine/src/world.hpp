// engine/src/world.hpp: the Box2D world of one match: side walls, players, ball, and how it advances.
#pragma once

#include <array>
#include <vector>

#include <box2d/box2d.h>

#include "box2d_scale.hpp"
#include "quorvel/types.hpp"
#include "substeps.hpp"

namespace quorvel {

/// Gives every contact the average of its two fixtures' friction and
/// restitution. Box2D's own mixing takes the geometric mean of the frictions
/// and the larger restitution: the ball would leave a wall with 0.8 of its
/// speed instead of 0.7, and a player with 0.6 instead of 0.3.
class AveragingContactListener final : public b2ContactListener {
public:
    void BeginContact(b2Contact* contact) override;
};

/// Four velocity iterations a step, as the integration parameters this engine
/// reproduces have solver iterations, and Box2D's three position iterations.
/// Eight (Box2D's advice) made a corner pile-up a quarter dearer and play no
/// better: long scripted matches score as often and park the ball on a goal
/// line as rarely with four (bench/play_check.py).
inline constexpr int kVelocityIterations = 4;
inline constexpr int kPositionIterations = 3;

/// Box2D bounces a contact only above this closing speed, set on every
/// fixture: its own default of one length a second, kept at 1 field unit a
/// second whatever the scale.
inline constexpr float kRestitutionThreshold = kBox2DScale * 1.0f;

/// The bodies of a match inside their Box2D world. Built once, never moved
/// (Box2D keeps pointers to the listener and the bodies), never rebuilt.
struct World {
    /// Builds walls, then team A's players, team B's, then the ball, all at the
    /// origin and at rest. Throws EngineFault if Box2D refuses a body.
    explicit World(const EngineConfig& config);
    World(const World&) = delete;
    World& operator=(const World&) = delete;

    AveragingContactListener listener;  // declared first: outlives the world using it
    b2World physics;
    std::array<std::vector<b2Body*>, 2> teams;  ///< [TEAM_A], [TEAM_B], in player order
    b2Body* ball = nullptr;
    float player_radius, ball_radius, field_height;  ///< in Box2D's lengths, as substeps_for measures
    int last_steps = 1;  ///< Box2D steps the last advance took (read by the benchmarks)

    /// What substeps_for reads.
    Discs discs() const;

    /// Advances by dt in as few equal Box2D steps as substeps_for allows.
    void advance(float dt);
};

/// Moves a body to p and wakes it (Box2D keeps a moved sleeping body asleep).
inline void place_body(b2Body& body, Vec2 p) {
    body.SetTransform(b2Vec2(kBox2DScale * p.x, kBox2DScale * p.y), 0.0f);
    body.SetAwake(true);
}

/// Replaces a body's velocity and wakes it (Box2D wakes only for non-zero v).
inline void set_velocity(b2Body& body, Vec2 v) {
    body.SetLinearVelocity(b2Vec2(kBox2DScale * v.x, kBox2DScale * v.y));
    body.SetAwake(true);
}

inline Vec2 position_of(const b2Body& body) {
    const b2Vec2& p = body.GetPosition();
    return {kFieldScale * p.x, kFieldScale * p.y};
}

inline Vec2 velocity_of(const b2Body& body) {
    const b2Vec2& v = body.GetLinearVelocity();
    return {kFieldScale * v.x, kFieldScale * v.y};
}

}  // namespace quorvel
