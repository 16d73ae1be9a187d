// engine/include/quorvel/engine.hpp: the match engine, the public surface of one match: build, reset, tick, observe.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>

#include "types.hpp"

namespace quorvel {

/// Floats of one team's flat observation: (x, y, vx, vy) of each of its own
/// players, of each opponent, then of the ball.
constexpr std::size_t observation_width(std::size_t players_per_team) {
    return 8 * players_per_team + 4;
}

/// How a match stands after a tick or a restart, read without building records.
struct MatchStatus {
    Score score{};                      ///< (team A's goals, team B's goals)
    std::uint32_t tick = 0;             ///< ticks played since construction or the last reset
    std::uint32_t ticks_remaining = 0;  ///< as an Observation reports it
    bool score_reached = false;         ///< max_score is set and a team's goals reached it
    bool time_up = false;               ///< tick >= max_ticks; done is either of the two
};

/// A state to start play from (Engine::place): every body's (x, y, vx, vy) in
/// the normalised absolute frame of write_spectator (positions relative to the
/// centre spot in half-lengths and half-widths, never mirrored), and the clock
/// and score, each kept as the match has it where absent.
struct Placement {
    std::span<const float> players;     ///< 8P floats: team A's players, then team B's
    std::span<const float> ball;        ///< 4 floats
    std::optional<std::uint32_t> tick;  ///< ticks played, as MatchStatus counts them
    std::optional<Score> score;         ///< (team A's goals, team B's goals)
};

/// Why `placement` cannot start play in a match of `config`, or an empty string
/// when it can. Refused: spans of another size; a number that is not finite; a
/// centre outside the field (|x| or |y| above 1); a velocity component faster
/// than any body ends a tick in this configuration (Box2D's 2 units a physics
/// step, 8 steps a tick: 16 / dt units a second, plus 1e-4 of it for rounding;
/// 1e30 where dt is not positive); a tick that leaves no play
/// (max_ticks or more); a score that has ended the match (max_score set and a
/// team at it or beyond).
std::string placement_problem(const EngineConfig& config, const Placement& placement);

/// One match. Owns its physics world, random generator, configuration copy,
/// score and tick counter; shares nothing with other engines.
class Engine {
public:
    /// Builds the world and places the first kick-off. The configuration is copied.
    /// Throws EngineFault when the configuration cannot be played.
    Engine(const EngineConfig& config, std::uint64_t seed);

    // Movable (the world lives on the heap, nothing in it points back into the
    // Engine object), so a built engine can be moved into its owner.
    Engine(Engine&&) noexcept;
    Engine& operator=(Engine&&) noexcept;
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;
    ~Engine();

    /// Restarts the match: tick and score to zero, a new kick-off (the generator
    /// is not reseeded). Returns (team A's, team B's) first observations.
    std::array<Observation, 2> reset();

    /// Plays one tick with both teams' commands. Lists of any length are accepted.
    /// Outside Box2D it allocates only for teams of more than eleven (PlayerList).
    StepResult step(const Actions& team_a, const Actions& team_b);

    /// The tick of step() without its observation records, for callers that read
    /// the state into their own buffers (write_observations, status). Returns
    /// (team A's, team B's) rewards. Allocates nothing outside Box2D.
    std::array<Reward, 2> advance(const Actions& team_a, const Actions& team_b);

    /// advance() with each team's commands as flat rows of (move_x, move_y,
    /// kick_x, kick_y), one per player in its team's frame; a zero kick vector is
    /// no kick. Rows past the team's players are ignored, as extra Actions are.
    std::array<Reward, 2> advance(std::span<const float> team_a, std::span<const float> team_b);

    /// The restart of reset() without its observation records.
    void restart();

    /// Puts every body where `placement` says, moving at the velocity it gives,
    /// and sets the clock and score it gives: play goes on from there at the next
    /// tick. Draws nothing from the generator. The same placement of the same
    /// match (same configuration, seed and calls before) plays on the same, bit
    /// for bit. Throws std::invalid_argument with placement_problem's text for a
    /// placement it refuses, before anything changes.
    void place(const Placement& placement);

    /// Both teams' observations as flat floats, each of observation_width(P):
    /// (x, y, vx, vy) of each own player, of each opponent, then of the ball, the
    /// same floats as observe() gives. Throws EngineFault for a span of another size.
    void write_observations(std::span<float> team_a, std::span<float> team_b) const;

    /// The spectator frame's players ((x, y, vx, vy) each, team A's then team B's)
    /// and ball as flat floats. Throws EngineFault for a span of another size.
    void write_spectator(std::span<float> players, std::span<float> ball) const;

    MatchStatus status() const;

    /// The whole match in the normalised absolute frame. Reads only.
    SpectatorFrame spectator_frame() const;

    /// One team's view of the match in its own frame. Reads only.
    Observation build_observation(Team team) const;

    const EngineConfig& config() const;

private:
    struct Match;                   // world, generator, configuration copy, score, tick
    friend struct EngineProbe;      // white-box access for tests and measuring tools

    Match& match();
    const Match& match() const;

    std::unique_ptr<Match> match_;  // on the heap: Box2D holds pointers into it
};

}  // namespace quorvel
