// engine/src/engine_probe.hpp: white-box access to an Engine's match, for the engine's tests and the measuring tools.
#pragma once

#include <cstddef>

#include "match.hpp"
#include "quorvel/engine.hpp"

namespace quorvel {

/// Reaches past the Engine's public surface into what it owns: the tests
/// place bodies and set the score, the tools hash and time raw body state.
/// Never used by the engine itself or by a front-end.
struct EngineProbe {
    static Engine::Match& match(Engine& e) { return *e.match_; }
    static const Engine::Match& match(const Engine& e) { return *e.match_; }
    static World& world(Engine& e) { return e.match_->world; }
    static const World& world(const Engine& e) { return e.match_->world; }
    static b2Body& player(Engine& e, Team team, std::size_t i) { return *world(e).teams[team].at(i); }
    static b2Body& ball(Engine& e) { return *world(e).ball; }
};

}  // namespace quorvel
