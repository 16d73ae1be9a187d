// engine/src/engine.cpp: the Engine: construction, kick-off, the tick, restart and observations.
#include "quorvel/engine.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>

#include "b2_reserve.hpp"
#include "commands.hpp"
#include "kickoff.hpp"
#include "match.hpp"
#include "observation.hpp"
#include "placement.hpp"
#include "quorvel/limits.hpp"

namespace quorvel {
namespace {

// Counters only grow until a reset; at the top of their range they stay put
// rather than wrap back to a match that is not over.
void count_up(std::uint32_t& counter) {
    if (counter != std::numeric_limits<std::uint32_t>::max()) ++counter;
}

// A team's commands as the tick reads them: from Action records, or from flat
// rows of (move_x, move_y, kick_x, kick_y) where a zero kick is no kick.
struct RecordCommands {
    const Actions& actions;
    std::size_t size() const { return actions.players.size(); }
    Vec2 move(std::size_t i) const { return actions.players[i].move_dir; }
    const std::optional<Vec2>& kick(std::size_t i) const { return actions.players[i].kick; }
};

struct RowCommands {
    std::span<const float> rows;
    std::size_t size() const { return rows.size() / 4; }
    Vec2 move(std::size_t i) const { return {rows[4 * i], rows[4 * i + 1]}; }
    std::optional<Vec2> kick(std::size_t i) const { return Vec2{rows[4 * i + 2], rows[4 * i + 3]}; }
};

// Replaces the velocity of each commanded player; players without an entry
// keep theirs, entries without a player are ignored.
// Four players at a time (movement_velocities), so that their square roots
// and divisions overlap.
template <class Commands>
void apply_movement(World& world, Team team, const Commands& commands, float max_speed) {
    const auto& players = world.teams[team];
    const std::size_t n = std::min(commands.size(), players.size());
    for (std::size_t first = 0; first < n; first += 4) {
        const std::size_t count = std::min<std::size_t>(4, n - first);
        Lanes x{}, y{};
        for (std::size_t k = 0; k < count; ++k) {
            const Vec2 move = commands.move(first + k);
            x[k] = move.x;
            y[k] = move.y;
        }
        movement_velocities(x, y, team, max_speed);
        for (std::size_t k = 0; k < count; ++k) set_velocity(*players[first + k], {x[k], y[k]});
    }
}

// Each kick in reach adds to the ball's velocity, so simultaneous kicks sum.
// Reach is measured between centres as they stand before the physics step.
template <class Commands>
void apply_kicks(World& world, Team team, const Commands& commands, float reach, float kick_speed) {
    const auto& players = world.teams[team];
    const std::size_t n = std::min(commands.size(), players.size());
    b2Body& ball = *world.ball;
    for (std::size_t i = 0; i < n; ++i) {
        const auto& kick = commands.kick(i);  // a reference into the records where they hold one
        if (!wants_kick(kick)) continue;
        const Vec2 b = position_of(ball);
        const Vec2 p = position_of(*players[i]);
        const float dx = b.x - p.x;
        const float dy = b.y - p.y;
        if (!(std::sqrt(dx * dx + dy * dy) <= reach)) continue;
        const Vec2 v = velocity_of(ball);
        const Vec2 add = scale_command(to_field_frame(*kick, team), kick_speed);
        set_velocity(ball, {v.x + add.x, v.y + add.y});
    }
}

// The goal lines have no walls: a player past its x limit is pulled back onto
// it, and a velocity pointing out of the field lengthwise is zeroed.
void contain_players(World& world, float player_radius, float field_width) {
    const float max_x = field_width - player_radius;
    // The bounds in Box2D's lengths: scaling by a power of two is exact, so
    // comparing there decides as comparing in field units would.
    const float low = kBox2DScale * player_radius, high = kBox2DScale * max_x;
    for (const auto& team : world.teams) {
        for (b2Body* body : team) {
            const float x = body->GetPosition().x;
            if (!(x < low || x > high)) continue;
            const Vec2 p = position_of(*body);
            const Vec2 v = velocity_of(*body);
            if (x < low) {
                place_body(*body, {player_radius, p.y});
                set_velocity(*body, {v.x > 0.0f ? v.x : 0.0f, v.y});
            } else {
                place_body(*body, {max_x, p.y});
                set_velocity(*body, {v.x < 0.0f ? v.x : 0.0f, v.y});
            }
        }
    }
}

// A ball whose centre crossed a goal line is a goal inside the mouth (its edge
// included) and is otherwise put back on the line, stopped dead. Returns the
// scoring team, if any.
std::optional<Team> handle_ball(World& world, const EngineConfig& c) {
    b2Body& ball = *world.ball;
    const Vec2 b = position_of(ball);
    const float half_height = 0.5f * c.field_height;
    const float half_goal = 0.5f * c.goal_width;
    const bool in_mouth = half_goal >= std::fabs(b.y - half_height);
    float line_x;
    if (b.x < 0.0f) {
        if (in_mouth) return TEAM_B;
        line_x = 0.0f;
    } else if (b.x > c.field_width) {
        if (in_mouth) return TEAM_A;
        line_x = c.field_width;
    } else {
        return std::nullopt;
    }
    place_body(ball, {line_x, b.y});
    set_velocity(ball, {0.0f, 0.0f});
    return std::nullopt;
}

bool time_up(const EngineConfig& c, std::uint32_t tick) { return tick >= c.max_ticks; }

bool score_reached(const EngineConfig& c, const Score& score) {
    return c.max_score.has_value() && (score[TEAM_A] >= *c.max_score || score[TEAM_B] >= *c.max_score);
}

bool match_over(const EngineConfig& c, std::uint32_t tick, const Score& score) {
    return time_up(c, tick) || score_reached(c, score);
}

Reward reward_for(Team team, std::optional<Team> scorer) {
    Reward r;
    if (scorer.has_value()) {
        r.goal_scored = *scorer == team ? 1.0f : 0.0f;
        r.goal_conceded = *scorer == team ? 0.0f : -1.0f;
    }
    return r;
}

// Box2D cannot survive an allocation failing inside it, so when the system has
// no memory left its allocator lends from a reserve (box2d_memory/) and counts
// the loan. Each engine call that runs Box2D opens a ShortageWatch (no new work
// while the reserve is low) and closes it with the world whole: a loan made
// meanwhile surfaces as std::bad_alloc, as any other shortage would.
class ShortageWatch {
public:
    ShortageWatch() : loans_(quorvel_b2_reserve_loans.load(std::memory_order_relaxed)) {
        if (quorvel_b2_reserve_low.load(std::memory_order_relaxed)) throw std::bad_alloc();
    }
    void close() const {
        if (quorvel_b2_reserve_loans.load(std::memory_order_relaxed) != loans_) throw std::bad_alloc();
    }

private:
    std::size_t loans_;
};

// The tick itself, for either kind of commands. (The match is a deduced type:
// its name is the Engine's own.)
template <class MatchState, class Commands>
std::array<Reward, 2> play_tick(MatchState& m, const Commands& team_a, const Commands& team_b) {
    const EngineConfig& c = m.config;
    const ShortageWatch watch;

    // 1. Commands become velocities, team A's then team B's (mirrored).
    apply_movement(m.world, TEAM_A, team_a, c.player_max_speed);
    apply_movement(m.world, TEAM_B, team_b, c.player_max_speed);

    // 2. Kicks within reach add to the ball's velocity, team A's first.
    const float reach = (c.player_radius + c.ball_radius) + c.kick_range;
    apply_kicks(m.world, TEAM_A, team_a, reach, c.kick_max_speed);
    apply_kicks(m.world, TEAM_B, team_b, reach, c.kick_max_speed);

    // 3. One tick of physics.
    m.world.advance(c.dt);

    // 4. The goal lines: players pulled back in, then the ball scores or is put back.
    contain_players(m.world, c.player_radius, c.field_width);
    const std::optional<Team> scorer = handle_ball(m.world, c);

    // 5. A goal counts and play restarts from a fresh kick-off.
    if (scorer.has_value()) {
        count_up(m.score[*scorer]);
        place_kickoff(m.world, m.rng, c);
    }

    // 6. The tick counts, goal or not; whether the match is over follows from
    // the tick and the score (match_over).
    count_up(m.tick);

    // 7. Sparse rewards: a goal only. The tick is whole, even if Box2D ran
    // short of memory on the way; that is reported now.
    watch.close();
    return {reward_for(TEAM_A, scorer), reward_for(TEAM_B, scorer)};
}

}  // namespace

Engine::Engine(const EngineConfig& config, std::uint64_t seed) {
    refuse_unplayable(config);
    const ShortageWatch watch;
    match_ = std::make_unique<Match>(config, seed);
    place_kickoff(match_->world, match_->rng, match_->config);
    watch.close();  // on a shortage the world goes with match_, back to the reserve
}

Engine::Engine(Engine&&) noexcept = default;
Engine& Engine::operator=(Engine&&) noexcept = default;
Engine::~Engine() = default;

Engine::Match& Engine::match() {
    if (!match_) throw EngineFault("engine used after it was moved from");
    return *match_;
}

const Engine::Match& Engine::match() const {
    if (!match_) throw EngineFault("engine used after it was moved from");
    return *match_;
}

const EngineConfig& Engine::config() const { return match().config; }

std::array<Observation, 2> Engine::reset() {
    restart();
    return observe_both(match().view());
}

void Engine::restart() {
    Match& m = match();
    const ShortageWatch watch;
    m.tick = 0;
    m.score = {0, 0};
    place_kickoff(m.world, m.rng, m.config);
    watch.close();
}

void Engine::place(const Placement& placement) {
    Match& m = match();
    if (std::string problem = placement_problem(m.config, placement); !problem.empty()) {
        throw std::invalid_argument(problem);
    }
    const ShortageWatch watch;
    place_bodies(m.world, m.config, placement.players, placement.ball);
    if (placement.tick) m.tick = *placement.tick;
    if (placement.score) m.score = *placement.score;
    watch.close();
}

StepResult Engine::step(const Actions& team_a, const Actions& team_b) {
    const std::array<Reward, 2> rewards = advance(team_a, team_b);
    const Match& m = match();
    // Observations of the state the tick left, team A's first, built straight
    // into the result, which is never default-constructed and then overwritten.
    return StepResult{observe_both(m.view()), rewards, match_over(m.config, m.tick, m.score),
                      Info{m.tick}};
}

std::array<Reward, 2> Engine::advance(const Actions& team_a, const Actions& team_b) {
    return play_tick(match(), RecordCommands{team_a}, RecordCommands{team_b});
}

std::array<Reward, 2> Engine::advance(std::span<const float> team_a, std::span<const float> team_b) {
    return play_tick(match(), RowCommands{team_a}, RowCommands{team_b});
}

MatchStatus Engine::status() const {
    const Match& m = match();
    return MatchStatus{m.score, m.tick, ticks_remaining(m.view()), score_reached(m.config, m.score),
                       time_up(m.config, m.tick)};
}

void Engine::write_observations(std::span<float> team_a, std::span<float> team_b) const {
    const Match& m = match();
    const std::size_t width = observation_width(m.config.players_per_team);
    if (team_a.size() != width || team_b.size() != width) throw EngineFault("observation row of the wrong size");
    observe_both_into(m.view(), team_a.data(), team_b.data());
}

void Engine::write_spectator(std::span<float> players, std::span<float> ball) const {
    const Match& m = match();
    if (players.size() != 8 * m.config.players_per_team || ball.size() != 4) {
        throw EngineFault("spectator rows of the wrong size");
    }
    spectate_into(m.view(), players.data(), ball.data());
}

SpectatorFrame Engine::spectator_frame() const { return spectate(match().view()); }

Observation Engine::build_observation(Team team) const {
    if (team != TEAM_A && team != TEAM_B) throw EngineFault("no such team");
    return observe(match().view(), team);
}

}  // namespace quorvel
