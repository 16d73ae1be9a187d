// bench/play_stats.cpp: replaying a recording on engines, counting Box2D's work and checking the bodies' paths.
#include "play_stats.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "command_pattern.hpp"  // kSeed
#include "match.hpp"
#include "quorvel/engine.hpp"

namespace quorvel {

struct EngineProbe {
    static World& world(Engine& e) { return e.match_->world; }
};

namespace bench {
namespace {

// Counts the contacts Box2D begins, passing each on to the engine's own listener.
class CountingListener final : public b2ContactListener {
public:
    explicit CountingListener(b2ContactListener& inner) : inner_(inner) {}
    void BeginContact(b2Contact* contact) override {
        ++begun;
        inner_.BeginContact(contact);
    }
    std::size_t begun = 0;

private:
    b2ContactListener& inner_;
};

// bench/play_styles.py's CORNER_TICKS: how long the corner style runs at one corner.
constexpr std::size_t kCornerTicks = 300;

struct Disc {
    b2Vec2 at;
    float radius;
};

// Every player's disc, then the ball's, where the tick left them.
std::vector<Disc> discs_of(const World& w, const EngineConfig& c) {
    auto at = [](const b2Body& b) {
        const Vec2 p = position_of(b);
        return b2Vec2(p.x, p.y);
    };
    std::vector<Disc> out;
    for (const auto& team : w.teams) {
        for (const b2Body* b : team) out.push_back({at(*b), c.player_radius});
    }
    out.push_back({at(*w.ball), c.ball_radius});
    return out;
}

// Whether discs i and j went through each other between `before` and `after`:
// apart at both ends, yet the straight path of one relative to the other passed
// within half their combined radius of its centre. A bounce folds its path back
// and never comes that close at the speeds a tick allows.
bool passed_through(const Disc& i0, const Disc& j0, const Disc& i1, const Disc& j1) {
    const float reach = i0.radius + j0.radius;
    const b2Vec2 d0 = i0.at - j0.at, d1 = i1.at - j1.at;
    const float slop = kFieldScale * b2_linearSlop;  // Box2D's allowed overlap, in field units
    if (d0.Length() < reach - slop || d1.Length() < reach - slop) return false;
    const b2Vec2 step = d1 - d0;
    const float length_squared = b2Dot(step, step);
    const float t = length_squared > 0.0f ? std::clamp(-b2Dot(d0, step) / length_squared, 0.0f, 1.0f) : 0.0f;
    return (d0 + t * step).Length() < 0.5f * reach;
}

}  // namespace

PlayStats measure_play(const Recording& recording, std::size_t first_tick) {
    EngineConfig config;
    config.players_per_team = recording.players;
    PlayStats s;
    double begun = 0, steps = 0, contacts = 0, pairs = 0, goals = 0, motion = 0;
    std::size_t counted = 0, moves = 0, overlaps = 0;
    double overlap_sum = 0;
    for (std::size_t m = 0; m < recording.matches; ++m) {
        Engine engine = start_match(recording, m);
        World& world = EngineProbe::world(engine);
        CountingListener counting(world.listener);
        world.physics.SetContactListener(&counting);
        std::vector<Disc> before = discs_of(world, config);
        std::uint32_t goals_before = 0;
        for (std::size_t t = 0; t < recording.ticks; ++t) {
            engine.advance(recording.team(t, m, TEAM_A), recording.team(t, m, TEAM_B));
            const std::vector<Disc> after = discs_of(world, config);
            const Score score = engine.status().score;
            const std::uint32_t goals_now = score[0] + score[1];
            // A goal's kick-off moves every body: nothing travelled that path.
            for (std::size_t i = 0; i < after.size() && goals_now == goals_before; ++i) {
                for (std::size_t j = i + 1; j < after.size(); ++j) {
                    s.pass_throughs += passed_through(before[i], before[j], after[i], after[j]);
                }
                if (i + 1 < after.size() && t % kCornerTicks >= kCornerTicks / 2) {
                    motion += (after[i].at - before[i].at).Length();
                    ++moves;
                }
            }
            goals_before = goals_now;
            for (std::size_t i = 0; i < after.size(); ++i) {
                for (std::size_t j = i + 1; j < after.size(); ++j) {
                    const double overlap = after[i].radius + after[j].radius - (after[i].at - after[j].at).Length();
                    s.deepest_overlap = std::max(s.deepest_overlap, overlap);
                    if (overlap > 0.0) {
                        overlap_sum += overlap;
                        ++overlaps;
                    }
                }
                const double low = after[i].radius - after[i].at.y;
                const double high = after[i].at.y + after[i].radius - config.field_height;
                s.deepest_in_wall = std::max({s.deepest_in_wall, low, high});
                if (i + 1 == after.size()) {
                    s.ball_centre_past_wall = std::max({s.ball_centre_past_wall, low - after[i].radius,
                                                        high - after[i].radius});
                }
            }
            before = after;
            if (t < first_tick) {
                counting.begun = 0;
                continue;
            }
            ++counted;
            steps += world.last_steps;
            for (const b2Contact* c = world.physics.GetContactList(); c != nullptr; c = c->GetNext()) {
                pairs += 1;
                contacts += c->IsTouching() ? 1 : 0;
            }
        }
        goals += goals_before;
        begun += double(counting.begun);
    }
    if (counted > 0) {
        s.substeps_per_tick = steps / double(counted);
        s.contacts_per_tick = contacts / double(counted);
        s.pairs_per_tick = pairs / double(counted);
        s.begun_per_tick = begun / double(counted);
    }
    s.goals_per_match = recording.matches > 0 ? goals / double(recording.matches) : 0.0;
    s.mean_overlap = overlaps > 0 ? overlap_sum / double(overlaps) : 0.0;
    s.settled_motion = moves > 0 ? motion / double(moves) : 0.0;
    return s;
}

}  // namespace bench
}  // namespace quorvel
