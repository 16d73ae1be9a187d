// engine/src/kickoff.cpp: the kick-off formation with seeded jitter.
#include "kickoff.hpp"

#include <optional>

#include "move_buffer.hpp"

namespace quorvel {
namespace {

// The heights non-kick-off players may take: at least one player radius from
// either side wall.
struct Band {
    float low;
    float high;

    float clamp(float v) const {
        if (v < low) v = low;
        if (v > high) v = high;
        return v;
    }
};

Band height_band(const EngineConfig& c) {
    const Band band{c.player_radius, c.field_height - c.player_radius};
    if (!(band.low <= band.high)) {
        throw EngineFault("kick-off formation needs field_height >= 2 * player_radius (neither NaN)");
    }
    return band;
}

void place_at_rest(b2Body& body, Vec2 p) {
    place_body(body, p);
    set_velocity(body, {0.0f, 0.0f});
}

}  // namespace

void place_kickoff(World& world, Rng& rng, const EngineConfig& c) {
    const std::uint64_t n = c.players_per_team;
    const float w = c.field_width;
    const float h = c.field_height;

    // The checks depend on the configuration only, so they are made once here,
    // in the order the first non-kick-off player would meet them.
    std::optional<Band> band;
    std::optional<UniformClosedF32> jitter;
    if (n >= 2) {
        band = height_band(c);
        jitter.emplace(-c.formation_jitter, c.formation_jitter);
    }

    if (n >= 1) {
        const float gap = c.kick_range * 0.5f + (c.player_radius + c.ball_radius);
        for (const Team team : {TEAM_A, TEAM_B}) {
            auto& players = world.teams[team];
            const float kick_off_x = team == TEAM_A ? w * 0.5f - gap : w * 0.5f + gap;
            place_at_rest(*players[0], {kick_off_x, h * 0.5f});

            const float x = team == TEAM_A ? w * 0.25f : w * 0.75f;
            for (std::uint64_t i = 1; i < n; ++i) {
                const float base = band->clamp(h * float(i) / float(n));
                const float y = band->clamp(base + jitter->sample(rng));
                place_at_rest(*players[i], {x, y});
            }
        }
    }

    place_at_rest(*world.ball, {w * 0.5f, h * 0.5f});
    drop_repeated_moves(world.physics);
}

}  // namespace quorvel
