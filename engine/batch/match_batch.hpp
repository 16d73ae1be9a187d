// engine/batch/match_batch.hpp: many independent matches stepped together into flat caller-owned buffers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "outputs.hpp"
#include "quorvel/engine.hpp"
#include "worker_pool.hpp"

namespace quorvel::batch {

/// What happens to a match that ended (terminated or truncated).
enum class Autoreset {
    NEXT_STEP,  ///< restarted by the next step, which ignores its commands
    SAME_STEP,  ///< restarted at once; its final state goes to the final_* buffers
    DISABLED,   ///< never restarted by a step
};

/// Whether a batch in `mode` writes `out` (and so needs a buffer for it).
constexpr bool writes(const Output& out, Autoreset mode) {
    return out.written != AT_THE_END || mode == Autoreset::SAME_STEP;
}

/// Buffers for every output a batch in `mode` writes, zero-filled and owned
/// here: for C++ callers (the benchmarks); the Python module makes numpy arrays.
class OutputStorage {
public:
    OutputStorage(std::size_t matches, std::size_t players, Autoreset mode) {
        for (std::size_t i = 0; i < kOutputCount; ++i) {
            if (!writes(kOutputs[i], mode)) continue;
            const Output& out = kOutputs[i];
            bytes_[i].assign(matches * row_size(out, players) * element_size(out.element), std::byte{0});
            buffers_.data[i] = bytes_[i].data();
        }
    }
    const OutputBuffers& buffers() const { return buffers_; }

private:
    std::array<std::vector<std::byte>, kOutputCount> bytes_;
    OutputBuffers buffers_;
};

/// Start states for chosen matches of a batch (MatchBatch::place), as flat
/// arrays of N rows in the layout of the spectator outputs; only the rows of
/// the chosen matches are read.
struct Placements {
    const std::uint8_t* mask = nullptr;     ///< N bytes, non-zero where placed (null: every match)
    const float* players = nullptr;         ///< N x 2P x 4: team A's players, then team B's
    const float* ball = nullptr;            ///< N x 4
    const std::uint32_t* ticks = nullptr;   ///< N (null: every clock kept)
    const std::uint32_t* scores = nullptr;  ///< N x 2 (null: every score kept)
};

/// N engines, each an ordinary Engine built from one configuration and its own
/// seed, stepped on a worker pool. Match i reads and writes only row i of every
/// output (outputs.hpp) and its own engine, so results never depend on the
/// thread count.
class MatchBatch {
public:
    /// Builds one engine per seed (throws EngineFault for a refused
    /// configuration) and writes every match's first observation and status.
    /// `out` must hold a buffer for every output that `mode` writes, of N rows,
    /// for as long as the batch writes into it.
    MatchBatch(const EngineConfig& config, std::span<const std::uint64_t> seeds, Autoreset mode,
               unsigned threads, const OutputBuffers& out);

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

    /// Throws std::invalid_argument, its text starting with the match's index,
    /// for the first chosen placement that Engine::place would refuse.
    void check(const Placements& placements) const;

    /// Checks every chosen placement first (check), then places each chosen
    /// match as Engine::place does and rewrites its rows as a restart does:
    /// reward 0, both flags false, no restart pending.
    void place(const Placements& placements);

    /// Writes every match's spectator frame into the SPECTATED outputs.
    void spectate() const;

private:
    void step_rows(const float* actions, std::size_t begin, std::size_t end);
    void write_row(std::size_t i, const std::array<Reward, 2>& rewards, bool terminated, bool truncated);
    void write_final(std::size_t i, const MatchStatus& status);
    Placement placement_of(const Placements& placements, std::size_t i) const;
    std::size_t chunk() const;

    const EngineConfig config_;
    const std::size_t players_;
    const std::size_t width_;
    const Autoreset mode_;
    OutputBuffers out_;
    std::vector<Engine> engines_;
    std::vector<std::uint8_t> restart_pending_;     // next-step mode: ended last step
    WorkerPool pool_;
};

}  // namespace quorvel::batch
