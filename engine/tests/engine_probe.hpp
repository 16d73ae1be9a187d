// engine/tests/engine_probe.hpp: white-box access to an Engine for its tests: placing bodies and reading raw state.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "match.hpp"
#include "sim.hpp"

namespace quorvel {

struct EngineProbe {
    static Engine::Match& match(Engine& e) { return *e.match_; }
    static World& world(Engine& e) { return e.match_->world; }

    static b2Body& player(Engine& e, Team team, std::size_t i) { return *world(e).teams[team].at(i); }
    static b2Body& ball(Engine& e) { return *world(e).ball; }

    /// Puts a body at an absolute position with an absolute velocity.
    static void put(b2Body& body, Vec2 position, Vec2 velocity = {}) {
        place_body(body, position);
        set_velocity(body, velocity);
    }

    static void set_score(Engine& e, std::uint32_t a, std::uint32_t b) { match(e).score = {a, b}; }
    static void set_tick(Engine& e, std::uint32_t tick) { match(e).tick = tick; }

    /// Parks every player at rest in its own spot near the side walls (team A
    /// along y = 3, team B along y = H - 3, 3 units apart), far from the ball
    /// and from each other, so a test can set up just the bodies it needs.
    static void park_players(Engine& e) {
        const EngineConfig& c = e.config();
        for (const Team team : {TEAM_A, TEAM_B}) {
            const auto& players = world(e).teams[team];
            for (std::size_t i = 0; i < players.size(); ++i) {
                const float y = team == TEAM_A ? 3.0f : c.field_height - 3.0f;
                put(*players[i], {2.0f + 3.0f * float(i), y});
            }
        }
    }
};

inline Action move(float x, float y) { return Action{{x, y}, std::nullopt}; }
inline Action kick(float x, float y) { return Action{{0.0f, 0.0f}, Vec2{x, y}}; }
inline Actions team_of(std::vector<Action> players) { return Actions{std::move(players)}; }

/// Absolute positions of team A's players, then team B's.
inline std::vector<Vec2> player_positions(Engine& e) {
    std::vector<Vec2> out;
    for (const auto& team : EngineProbe::world(e).teams)
        for (const b2Body* body : team) out.push_back(position_of(*body));
    return out;
}

inline bool same_bits(float a, float b) { return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b); }

}  // namespace quorvel
