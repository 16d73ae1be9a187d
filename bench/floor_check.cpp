// bench/floor_check.cpp: playing the engine and the bare world side by side and comparing them.
#include "floor_check.hpp"

#include <bit>
#include <cstdint>

#include "bare_world.hpp"
#include "command_pattern.hpp"
#include "quorvel/engine.hpp"

namespace quorvel::bench {
namespace {

bool same_bits(float a, float b) {
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
}

// The spectator frame's normalisation, applied to a bare body: centre
// subtracted, then divided by the half extent, in 32-bit floats.
struct Normaliser {
    float hx;
    float hy;
    bool same(const b2Body& body, const Vec2& position, const Vec2& velocity) const {
        const Vec2 p = position_of(body);
        const Vec2 v = velocity_of(body);
        return same_bits((p.x - hx) / hx, position.x) && same_bits((p.y - hy) / hy, position.y) &&
               same_bits(v.x / hx, velocity.x) && same_bits(v.y / hy, velocity.y);
    }
};

}  // namespace

std::string check_floor(const EngineConfig& config, std::size_t ticks) {
    const auto pattern = command_pattern(std::size_t(config.players_per_team));
    const auto velocities = pattern_velocities(pattern, config);
    Engine engine(config, kSeed);
    BareWorld bare(config, kSeed);
    const Normaliser norm{0.5f * config.field_width, 0.5f * config.field_height};

    for (std::size_t t = 0; t <= ticks; ++t) {
        const SpectatorFrame frame = engine.spectator_frame();
        const std::string where = std::to_string(config.players_per_team) + " a side, tick " +
                                  std::to_string(t) + ": ";
        for (std::size_t i = 0; i < frame.players.size(); ++i) {
            const SpectatorPlayer& p = frame.players[i];
            if (!norm.same(*bare.players()[i], p.position, p.velocity)) {
                return where + "player " + std::to_string(i) + " differs";
            }
        }
        if (!norm.same(bare.ball(), frame.ball.position, frame.ball.velocity)) {
            return where + "the ball differs";
        }
        if (t == ticks) break;
        const TickCommands& commands = pattern[t % kPatternTicks];
        engine.step(commands.team_a, commands.team_b);
        bare.tick(velocities[t % kPatternTicks]);
    }
    return {};
}

}  // namespace quorvel::bench
