// engine/tests/determinism_test.cpp: two engines from the same configuration and seed play bit-identical matches.
#include <bit>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace quorvel {
namespace {

// A small self-contained command source (xorshift64), so the commands do not
// depend on the standard library's distributions.
class CommandSource {
public:
    explicit CommandSource(std::uint64_t seed) : state_(seed | 1) {}

    // A value in [-1.5, 1.5).
    float next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return float(state_ >> 40) / float(1u << 24) * 3.0f - 1.5f;
    }

    // Each player runs at the ball with some noise and kicks towards the
    // opponent's goal, so goals, put-backs and collisions all happen.
    Actions team(const Observation& obs) {
        Actions out;
        for (const PlayerObs& p : obs.self_team) {
            const Vec2 to_ball{obs.ball.position.x - p.position.x + 0.2f * next(),
                               obs.ball.position.y - p.position.y + 0.2f * next()};
            Action a{{to_ball.x * 4.0f, to_ball.y * 4.0f}, std::nullopt};
            if (next() > -0.5f) a.kick = Vec2{1.0f, 0.7f * next()};
            out.players.push_back(a);
        }
        return out;
    }

private:
    std::uint64_t state_;
};

std::vector<std::uint32_t> frame_bits(const SpectatorFrame& f) {
    std::vector<std::uint32_t> out{f.tick, f.score[0], f.score[1]};
    auto add = [&](Vec2 v) {
        out.push_back(std::bit_cast<std::uint32_t>(v.x));
        out.push_back(std::bit_cast<std::uint32_t>(v.y));
    };
    for (const SpectatorPlayer& p : f.players) {
        out.push_back(p.team);
        add(p.position);
        add(p.velocity);
    }
    add(f.ball.position);
    add(f.ball.velocity);
    return out;
}

TEST(Determinism, SameConfigAndSeedGiveBitIdenticalFramesOver10000Ticks) {
    EngineConfig c;
    c.players_per_team = 4;
    Engine first(c, 0xDEADBEEFCAFEull), second(c, 0xDEADBEEFCAFEull);
    CommandSource commands(42);
    std::array<Observation, 2> obs = first.reset();
    ASSERT_EQ(frame_bits(first.spectator_frame()), (second.reset(), frame_bits(second.spectator_frame())));
    for (int t = 0; t < 10000; ++t) {
        const Actions a = commands.team(obs[TEAM_A]);
        const Actions b = commands.team(obs[TEAM_B]);
        const StepResult r1 = first.step(a, b);
        const StepResult r2 = second.step(a, b);
        ASSERT_EQ(frame_bits(first.spectator_frame()), frame_bits(second.spectator_frame())) << "tick " << t;
        ASSERT_EQ(r1.done, r2.done);
        obs = r1.observations;
    }
    const Score s = first.spectator_frame().score;
    EXPECT_GT(s[0] + s[1], 0u);  // eventful: goals (and so kick-off draws) happened
}

}  // namespace
}  // namespace quorvel
