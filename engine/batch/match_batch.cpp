// engine/batch/match_batch.cpp: building the matches, the batched tick with its restarts, spectator rows.
#include "match_batch.hpp"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace quorvel::batch {

MatchBatch::MatchBatch(const EngineConfig& config, std::span<const std::uint64_t> seeds,
                       Autoreset mode, unsigned threads, const OutputBuffers& out)
    : config_(config),
      players_(config.players_per_team),
      width_(quorvel::observation_width(config.players_per_team)),
      mode_(mode),
      out_(out),
      restart_pending_(seeds.size(), 0),
      pool_(threads) {
    engines_.reserve(seeds.size());
    for (const std::uint64_t seed : seeds) engines_.emplace_back(config_, seed);
    for (std::size_t i = 0; i < engines_.size(); ++i) write_row(i, {}, false, false);
}

std::size_t MatchBatch::chunk() const {
    // Several chunks a thread, so one that is slowed (a busy core, goals) hands
    // work over; few enough that the shared counter stays cold.
    return std::max<std::size_t>(1, engines_.size() / (8 * std::size_t(pool_.threads())));
}

// The writers of the EACH_STEP outputs: row i after a step or a restart.
void MatchBatch::write_row(std::size_t i, const std::array<Reward, 2>& rewards, bool terminated,
                           bool truncated) {
    const Engine& e = engines_[i];
    float* obs = out_.get<"observations">() + i * 2 * width_;
    e.write_observations({obs, width_}, {obs + width_, width_});
    const MatchStatus s = e.status();
    out_.get<"rewards">()[2 * i] = rewards[TEAM_A].total();
    out_.get<"rewards">()[2 * i + 1] = rewards[TEAM_B].total();
    out_.get<"terminated">()[i] = terminated;
    out_.get<"truncated">()[i] = truncated;
    out_.get<"score">()[2 * i] = s.score[TEAM_A];
    out_.get<"score">()[2 * i + 1] = s.score[TEAM_B];
    out_.get<"tick">()[i] = s.tick;
    out_.get<"ticks_remaining">()[i] = s.ticks_remaining;
}

// The writers of the AT_THE_END outputs (but "ended"): the state match i ended in.
void MatchBatch::write_final(std::size_t i, const MatchStatus& s) {
    float* obs = out_.get<"final_observations">() + i * 2 * width_;
    engines_[i].write_observations({obs, width_}, {obs + width_, width_});
    out_.get<"final_score">()[2 * i] = s.score[TEAM_A];
    out_.get<"final_score">()[2 * i + 1] = s.score[TEAM_B];
    out_.get<"final_tick">()[i] = s.tick;
    out_.get<"final_ticks_remaining">()[i] = s.ticks_remaining;
}

void MatchBatch::step_rows(const float* actions, std::size_t begin, std::size_t end) {
    for (std::size_t i = begin; i < end; ++i) {
        Engine& e = engines_[i];
        if (mode_ == Autoreset::SAME_STEP) out_.get<"ended">()[i] = 0;
        if (restart_pending_[i]) {
            // Ended on the previous step: this step is its restart, commands unread.
            restart_pending_[i] = 0;
            e.restart();
            write_row(i, {}, false, false);
            continue;
        }
        // Straight from the staged rows: a present zero kick is no kick to the
        // engine, exactly as an absent one.
        const std::size_t team_floats = 4 * players_;
        const float* rows = actions + i * 2 * team_floats;
        const std::array<Reward, 2> rewards =
            e.advance(std::span{rows, team_floats}, std::span{rows + team_floats, team_floats});
        const MatchStatus s = e.status();
        if (s.score_reached || s.time_up) {
            if (mode_ == Autoreset::SAME_STEP) {
                write_final(i, s);
                out_.get<"ended">()[i] = 1;
                e.restart();
            } else if (mode_ == Autoreset::NEXT_STEP) {
                restart_pending_[i] = 1;
            }
        }
        write_row(i, rewards, s.score_reached, s.time_up);
    }
}

void MatchBatch::step(const float* actions) {
    auto rows = [&](std::size_t begin, std::size_t end) { step_rows(actions, begin, end); };
    pool_.run(engines_.size(), chunk(), rows);
}

void MatchBatch::reset(const std::uint8_t* mask, const std::uint64_t* seeds) {
    auto rows = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            if (mask && !mask[i]) continue;
            if (seeds) {
                engines_[i] = Engine(config_, seeds[i]);
            } else {
                engines_[i].restart();
            }
            restart_pending_[i] = 0;
            if (mode_ == Autoreset::SAME_STEP) out_.get<"ended">()[i] = 0;
            write_row(i, {}, false, false);
        }
    };
    pool_.run(engines_.size(), chunk(), rows);
}

Placement MatchBatch::placement_of(const Placements& p, std::size_t i) const {
    Placement one{{p.players + i * 8 * players_, 8 * players_}, {p.ball + 4 * i, 4}, std::nullopt, std::nullopt};
    if (p.ticks) one.tick = p.ticks[i];
    if (p.scores) one.score = Score{p.scores[2 * i], p.scores[2 * i + 1]};
    return one;
}

void MatchBatch::check(const Placements& p) const {
    for (std::size_t i = 0; i < engines_.size(); ++i) {
        if (p.mask && !p.mask[i]) continue;
        const std::string problem = placement_problem(config_, placement_of(p, i));
        if (!problem.empty()) throw std::invalid_argument("match " + std::to_string(i) + ": " + problem);
    }
}

void MatchBatch::place(const Placements& p) {
    check(p);
    auto rows = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            if (p.mask && !p.mask[i]) continue;
            engines_[i].place(placement_of(p, i));
            restart_pending_[i] = 0;
            if (mode_ == Autoreset::SAME_STEP) out_.get<"ended">()[i] = 0;
            write_row(i, {}, false, false);
        }
    };
    pool_.run(engines_.size(), chunk(), rows);
}

// The writers of the SPECTATED outputs.
void MatchBatch::spectate() const {
    for (std::size_t i = 0; i < engines_.size(); ++i) {
        const Engine& e = engines_[i];
        e.write_spectator({out_.get<"spectator_players">() + i * 8 * players_, 8 * players_},
                          {out_.get<"spectator_ball">() + 4 * i, 4});
        const MatchStatus s = e.status();
        out_.get<"spectator_score">()[2 * i] = s.score[TEAM_A];
        out_.get<"spectator_score">()[2 * i + 1] = s.score[TEAM_B];
        out_.get<"spectator_tick">()[i] = s.tick;
    }
}

}  // namespace quorvel::batch
