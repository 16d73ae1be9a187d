// engine/src/placement.cpp: checking a start state, and putting the bodies of a match where it says.
#include "placement.hpp"

#include <cmath>
#include <cstddef>
#include <limits>
#include <string>

#include "move_buffer.hpp"
#include "quorvel/engine.hpp"
#include "quorvel/number_format.hpp"

namespace quorvel {
namespace {

constexpr const char* kComponents[] = {"x", "y", "vx", "vy"};

// The half extents the normalised frame divides by, as observations take them.
struct Extents {
    float hx;
    float hy;
    explicit Extents(const EngineConfig& c) : hx(0.5f * c.field_width), hy(0.5f * c.field_height) {}
};

// The fastest a body can end a tick, in field units a second: Box2D moves no
// body more than b2_maxTranslation (its lengths) in a physics step and a tick
// takes at most kMaxSubsteps of them; a relative 1e-4 covers the rounding of Box2D's scaling
// (the observation bounds allow the same). Where dt is not positive Box2D does
// not integrate and kicks pile up without bound: there any speed up to 1e30
// goes, which leaves room for the kicks before a float overflows.
double fastest_speed(const EngineConfig& c) {
    if (!(c.dt > 0.0f)) return 1e30;
    return double(kFieldScale * b2_maxTranslation) * kMaxSubsteps / double(c.dt) * (1.0 + 1e-4);
}

// A speed bound over a half extent, rounded up to a float as the observation
// bounds are, so that every velocity an observation may show is taken.
float normalised_bound(double speed, float half) {
    const double exact = speed / std::fabs(double(half));  // infinite for a zero extent
    if (!(exact < double(std::numeric_limits<float>::max()))) return std::numeric_limits<float>::infinity();
    float bound = float(exact);
    if (double(bound) < exact) bound = std::nextafter(bound, std::numeric_limits<float>::infinity());
    return bound;
}

std::string body_name(std::size_t body, std::size_t players_per_team) {
    if (body == 2 * players_per_team) return "the ball";
    const char* team = body < players_per_team ? "team A's" : "team B's";
    return std::string(team) + " player " + std::to_string(body % players_per_team);
}

// The problem with one body's four floats, or an empty string.
std::string body_problem(const float* v, const EngineConfig& c, std::size_t body) {
    const Extents e(c);
    const double fastest = fastest_speed(c);
    auto refused = [&](std::size_t k, const std::string& why) {
        return body_name(body, c.players_per_team) + ": " + kComponents[k] + " = " + format_action_number(v[k]) +
               why;
    };
    for (std::size_t k = 0; k < 4; ++k) {
        if (!std::isfinite(v[k])) return refused(k, " is not a finite number");
        if (k < 2) {
            if (!(std::fabs(v[k]) <= 1.0f)) return refused(k, " puts its centre outside the field (-1 to 1)");
            continue;
        }
        const float most = normalised_bound(fastest, k == 2 ? e.hx : e.hy);
        if (!(std::fabs(v[k]) <= most)) {
            return refused(k, " is faster than any body ends a tick in this configuration (at most " +
                                  format_action_number(most) + ")");
        }
    }
    return {};
}

// A normalised coordinate back in field units, rounded once.
float field_position(float normalised, float half) { return float(double(normalised) * half + half); }
float field_velocity(float normalised, float half) { return float(double(normalised) * half); }

void put(b2Body& body, const float* v, Extents e) {
    place_body(body, {field_position(v[0], e.hx), field_position(v[1], e.hy)});
    set_velocity(body, {field_velocity(v[2], e.hx), field_velocity(v[3], e.hy)});
}

}  // namespace

std::string placement_problem(const EngineConfig& c, const Placement& p) {
    const std::size_t n = c.players_per_team;
    if (p.players.size() != 8 * n || p.ball.size() != 4) {
        return "a placement holds 4 floats for each of the " + std::to_string(2 * n) +
               " players and 4 for the ball, got " + std::to_string(p.players.size()) + " and " +
               std::to_string(p.ball.size());
    }
    for (std::size_t body = 0; body < 2 * n; ++body) {
        std::string problem = body_problem(p.players.data() + 4 * body, c, body);
        if (!problem.empty()) return problem;
    }
    std::string problem = body_problem(p.ball.data(), c, 2 * n);
    if (!problem.empty()) return problem;
    if (p.tick && *p.tick >= c.max_ticks) {
        return "tick = " + std::to_string(*p.tick) + " leaves no play: it must be below max_ticks (" +
               std::to_string(c.max_ticks) + ")";
    }
    if (p.score && c.max_score && ((*p.score)[TEAM_A] >= *c.max_score || (*p.score)[TEAM_B] >= *c.max_score)) {
        return "score = (" + std::to_string((*p.score)[TEAM_A]) + ", " + std::to_string((*p.score)[TEAM_B]) +
               ") has ended the match: each must be below max_score (" + std::to_string(*c.max_score) + ")";
    }
    return {};
}

void place_bodies(World& world, const EngineConfig& c, std::span<const float> players,
                  std::span<const float> ball) {
    const Extents e(c);
    const float* next = players.data();
    for (const auto& team : world.teams) {
        for (b2Body* body : team) {
            put(*body, next, e);
            next += 4;
        }
    }
    put(*world.ball, ball.data(), e);
    drop_repeated_moves(world.physics);
}

}  // namespace quorvel
