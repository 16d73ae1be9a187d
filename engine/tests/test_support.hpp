// engine/tests/test_support.hpp: what the engine's tests share: placing bodies, reading raw state, commands, expected faults.
#pragma once

#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine_probe.hpp"
#include "quorvel/engine.hpp"

namespace quorvel {

/// Puts a body at an absolute position with an absolute velocity.
inline void put(b2Body& body, Vec2 position, Vec2 velocity = {}) {
    place_body(body, position);
    set_velocity(body, velocity);
}

/// Parks every player at rest near the side walls (team A along y = 3, team B
/// along y = H - 3, 3 apart), away from the ball and each other, so a test
/// sets up only the bodies it cares about.
inline void park_players(Engine& e) {
    for (const Team team : {TEAM_A, TEAM_B}) {
        const auto& players = EngineProbe::world(e).teams[team];
        const float y = team == TEAM_A ? 3.0f : e.config().field_height - 3.0f;
        for (std::size_t i = 0; i < players.size(); ++i) put(*players[i], {2.0f + 3.0f * float(i), y});
    }
}

inline Action move(float x, float y) { return Action{{x, y}, std::nullopt}; }
inline Action kick(float x, float y) { return Action{{0.0f, 0.0f}, Vec2{x, y}}; }
inline Actions team_of(std::vector<Action> players) { return Actions{std::move(players)}; }
inline const Actions kNobody{};

/// Absolute positions of team A's players, then team B's.
inline std::vector<Vec2> player_positions(Engine& e) {
    std::vector<Vec2> out;
    for (const auto& team : EngineProbe::world(e).teams)
        for (const b2Body* body : team) out.push_back(position_of(*body));
    return out;
}

/// Whether every body of the world holds finite numbers only.
inline bool world_is_finite(Engine& e) {
    for (const b2Body* b = EngineProbe::world(e).physics.GetBodyList(); b; b = b->GetNext()) {
        const b2Vec2 p = b->GetPosition(), v = b->GetLinearVelocity();
        if (!(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(v.x) && std::isfinite(v.y))) return false;
    }
    return true;
}

inline void expect_vec(Vec2 got, Vec2 want) {
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
}

inline void expect_vec(const b2Vec2& got, Vec2 want) { expect_vec(Vec2{got.x, got.y}, want); }

/// Runs `call` and expects an EngineFault whose text contains `text`.
template <class Call>
void expect_fault(Call&& call, const std::string& text) {
    try {
        call();
        ADD_FAILURE() << "no fault; expected one about: " << text;
    } catch (const EngineFault& fault) {
        EXPECT_NE(std::string(fault.what()).find(text), std::string::npos) << fault.what();
    }
}

}  // namespace quorvel
