// bench/bare_world.hpp: the physics floor: a bare Box2D world with the engine's bodies, materials and step.
#pragma once

#include <cstdint>
#include <vector>

#include <box2d/box2d.h>

#include "quorvel/types.hpp"

namespace quorvel::bench {

/// The same friction and restitution mixing as the engine's world: the average
/// of the two fixtures' coefficients.
class AveragingListener final : public b2ContactListener {
public:
    void BeginContact(b2Contact* contact) override;
};

/// A b2World built body for body, fixture for fixture, as an engine built from
/// the same configuration and seed builds its own, placed on the same kick-off
/// spots, and stepped as the engine steps it, with nothing of the engine around
/// it: what a tick would cost if the match were physics only.
class BareWorld {
public:
    BareWorld(const EngineConfig& config, std::uint64_t seed);
    BareWorld(const BareWorld&) = delete;
    BareWorld& operator=(const BareWorld&) = delete;

    /// Gives each player its velocity (team A's players then team B's, as the
    /// engine sets them: replaced and woken) and steps the world by dt.
    void tick(const std::vector<b2Vec2>& velocities) {
        for (std::size_t i = 0; i < players_.size(); ++i) {
            players_[i]->SetLinearVelocity(velocities[i]);
            players_[i]->SetAwake(true);
        }
        world_.Step(dt_, kVelocityIterations, kPositionIterations);
    }

    /// Team A's players then team B's, in player order.
    const std::vector<b2Body*>& players() const { return players_; }
    const b2Body& ball() const { return *ball_; }

private:
    static constexpr int kVelocityIterations = 8;
    static constexpr int kPositionIterations = 3;

    void place_kickoff(const EngineConfig& config, std::uint64_t seed);

    AveragingListener listener_;  // declared first: outlives the world using it
    b2World world_;
    std::vector<b2Body*> players_;
    b2Body* ball_ = nullptr;
    float dt_;
};

}  // namespace quorvel::bench
