// module/batch/match_batch.hpp: many independent matches stepped together into flat caller-owned buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "sim.hpp"
#include "worker_pool.hpp"

namespace quorvel::batch {

/// What happens to a match that ended (terminated or truncated).
enum class Autoreset {
    NEXT_STEP,  ///< restarted by the next step, which ignores its commands
    SAME_STEP,  ///< restarted at once; its final state goes to the final_* buffers
    DISABLED,   ///< never restarted by a step
};

/// Where a step writes, N = number of matches, P = players per team,
/// W = observation_width(P). Every buffer is C-ordered and holds N rows.
struct BatchBuffers {
    float* observations;             ///< N x 2 x W: team A's row, then team B's
    float* rewards;                  ///< N x 2: team A's total, team B's total
    std::uint8_t* terminated;        ///< N: max_score reached
    std::uint8_t* truncated;         ///< N: max_ticks reached
    std::uint32_t* score;            ///< N x 2: team A's goals, team B's goals
    std::uint32_t* tick;             ///< N
    std::uint32_t* ticks_remaining;  ///< N
    // Same-step mode only (may be null otherwise): the state a match ended in.
    std::uint8_t* ended;             ///< N: the row's final_* entries are valid
    float* final_observations;       ///< N x 2 x W
    std::uint32_t* final_score;      ///< N x 2
    std::uint32_t* final_tick;       ///< N
    std::uint32_t* final_ticks_remaining;  ///< N
};

/// N engines, each an ordinary Engine built from one configuration and its own
/// seed, stepped on a worker pool. Match i reads and writes only row i of every
/// buffer and its own engine, so results never depend on the thread count.
class MatchBatch {
public:
    /// Builds one engine per seed (throws EngineFault for a refused
    /// configuration) and writes every match's first observation and status.
    MatchBatch(const EngineConfig& config, std::span<const std::uint64_t> seeds, Autoreset mode,
               unsigned threads, const BatchBuffers& out);

    std::size_t size() const { return engines_.size(); }
    std::size_t players_per_team() const { return players_; }
    std::size_t observation_width() const { return width_; }
    unsigned threads() const { return pool_.threads(); }
    Autoreset autoreset() const { return mode_; }
    const EngineConfig& config() const { return config_; }
    const Engine& match(std::size_t i) const { return engines_.at(i); }

    /// One tick of every match. `actions` holds N x 2 x P x 4 floats: per match,
    /// per team (its own frame), per player (move_x, move_y, kick_x, kick_y); a
    /// zero kick vector is no kick.
    void step(const float* actions);

    /// Restarts the matches whose mask byte is non-zero (all for a null mask),
    /// as Engine::reset does; where `seeds` is given, a restarted match is built
    /// anew from the configuration and seeds[i] instead. Rewrites those rows.
    void reset(const std::uint8_t* mask, const std::uint64_t* seeds);

    /// Every match's spectator frame: N x 2P x 4 players, N x 4 ball, N x 2
    /// score, N tick.
    void spectate(float* players, float* ball, std::uint32_t* score, std::uint32_t* tick) const;

private:
    void step_rows(const float* actions, std::size_t begin, std::size_t end);
    void write_row(std::size_t i, const std::array<Reward, 2>& rewards, bool terminated, bool truncated);
    void write_final(std::size_t i, const MatchStatus& status);
    std::size_t chunk() const;

    const EngineConfig config_;
    const std::size_t players_;
    const std::size_t width_;
    const Autoreset mode_;
    BatchBuffers out_;
    std::vector<Engine> engines_;
    std::vector<std::uint8_t> restart_pending_;     // next-step mode: ended last step
    WorkerPool pool_;
};

}  // namespace quorvel::batch
