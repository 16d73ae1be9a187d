// bench/bare_world.hpp: the physics floor: a bare Box2D world with the engine's bodies, materials and step.
#pragma once

#include <cstdint>
#include <vector>

#include <box2d/box2d.h>

#include "quorvel/types.hpp"
#include "substeps.hpp"
#include "world.hpp"

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
/// it: what a tick would cost if the match were physics only. Its Box2D steps
/// are the engine's: without continuous collision, as many a tick as
/// substeps_for asks.
class BareWorld {
public:
    BareWorld(const EngineConfig& config, std::uint64_t seed);
    BareWorld(const BareWorld&) = delete;
    BareWorld& operator=(const BareWorld&) = delete;

    /// Gives each player its velocity (team A's players then team B's, as the
    /// engine sets them: replaced and woken) and steps the world by dt in as
    /// many Box2D steps as the engine takes.
    void tick(const std::vector<b2Vec2>& velocities) {
        for (std::size_t i = 0; i < players_.size(); ++i) {
            players_[i]->SetLinearVelocity(kBox2DScale * velocities[i]);
            players_[i]->SetAwake(true);
        }
        const int k = substeps_for(dt_, discs_);
        const float h = k == 1 ? dt_ : dt_ / float(k);
        for (int s = 0; s < k; ++s) world_.Step(h, kVelocityIterations, kPositionIterations);
    }

    /// Team A's players then team B's, in player order.
    const std::vector<b2Body*>& players() const { return players_; }
    const b2Body& ball() const { return *ball_; }

private:
    void place_kickoff(const EngineConfig& config, std::uint64_t seed);

    AveragingListener listener_;  // declared first: outlives the world using it
    b2World world_;
    std::vector<b2Body*> players_;
    b2Body* ball_ = nullptr;
    float dt_;
    Discs discs_;
};

}  // namespace quorvel::bench
