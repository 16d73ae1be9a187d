// bench/match_trace.cpp: one hash per scripted match, to compare two builds of the engine bit for bit.
//
//     build/bench/quorvel_match_trace > trace.txt
//
// Plays a fixed set of matches (team sizes, fields, seeds) under commands that
// chase and kick the ball, with resets between ticks in bursts of 1 to 1000 in
// a row, and prints for each match a hash of every body's raw position and
// velocity and the score after every call. Two builds that print the same lines
// played the same matches.
#include <bit>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "engine_probe.hpp"
#include "quorvel/engine.hpp"

namespace quorvel {
namespace {

class Hash {
public:
    void add(std::uint32_t word) {
        for (int i = 0; i < 4; ++i) {
            value_ ^= (word >> (8 * i)) & 0xFFu;
            value_ *= 0x100000001B3ull;
        }
    }
    void add(float f) { add(std::bit_cast<std::uint32_t>(f)); }
    std::uint64_t value() const { return value_; }

private:
    std::uint64_t value_ = 0xCBF29CE484222325ull;
};

void add_state(Hash& h, const Engine& e) {
    for (const b2Body* b = EngineProbe::world(e).physics.GetBodyList(); b; b = b->GetNext()) {
        const Vec2 p = position_of(*b), v = velocity_of(*b);
        h.add(p.x);
        h.add(p.y);
        h.add(v.x);
        h.add(v.y);
    }
    const SpectatorFrame f = e.spectator_frame();
    h.add(f.tick);
    h.add(f.score[0]);
    h.add(f.score[1]);
}

// Every player runs at the ball with a little noise and kicks it forwards.
class Commands {
public:
    explicit Commands(std::uint64_t seed) : state_(seed | 1) {}

    Actions team(const Engine& e, Team team) {
        const World& w = EngineProbe::world(e);
        const Vec2 ball = position_of(*w.ball);
        const float mirror = team == TEAM_A ? 1.0f : -1.0f;
        Actions out;
        for (const b2Body* body : w.teams[team]) {
            const Vec2 p = position_of(*body);
            Action a{{mirror * (ball.x - p.x) + noise(), (ball.y - p.y) + noise()}, std::nullopt};
            if (noise() > -0.5f) a.kick = Vec2{1.0f, noise()};
            out.players.push_back(a);
        }
        return out;
    }

private:
    float noise() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 7;
        state_ ^= state_ << 17;
        return float(state_ >> 40) / float(1u << 24) * 3.0f - 1.5f;
    }
    std::uint64_t state_;
};

std::uint64_t play(const EngineConfig& c, std::uint64_t seed, unsigned burst, unsigned rounds,
                   unsigned ticks) {
    Engine e(c, seed);
    Commands commands(seed);
    Hash h;
    add_state(h, e);
    for (unsigned round = 0; round < rounds; ++round) {
        for (unsigned i = 0; i < burst; ++i) {
            e.reset();
            add_state(h, e);
        }
        for (unsigned t = 0; t < ticks; ++t) {
            const Actions a = commands.team(e, TEAM_A);
            const Actions b = commands.team(e, TEAM_B);
            e.step(a, b);
            add_state(h, e);
        }
    }
    return h.value();
}

}  // namespace
}  // namespace quorvel

int main() {
    using namespace quorvel;
    struct Shape {
        std::uint64_t players;
        float width, height, jitter;
    };
    const Shape shapes[] = {{1, 40, 20, 0.5f},  {3, 40, 20, 0.5f},   {4, 40, 20, 2.0f}, {11, 40, 20, 0.5f},
                            {16, 10, 5, 0.5f},   {32, 40, 20, 0.5f},  {32, 0, 1, 0.5f},  {3, 40, 20, 0.0f}};
    for (const Shape& s : shapes) {
        for (const unsigned burst : {1u, 2u, 5u, 1000u}) {
            for (const std::uint64_t seed : {1ull, 0xDEADBEEFull}) {
                EngineConfig c;
                c.players_per_team = s.players;
                c.field_width = s.width;
                c.field_height = s.height;
                c.formation_jitter = s.jitter;
                const std::uint64_t hash = play(c, seed, burst, 6, 150);
                std::printf("players=%llu field=%gx%g jitter=%g burst=%u seed=%llu hash=%016llx\n",
                            (unsigned long long)s.players, s.width, s.height, s.jitter, burst,
                            (unsigned long long)seed, (unsigned long long)hash);
            }
        }
    }
    return 0;
}
