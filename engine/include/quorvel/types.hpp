// engine/include/quorvel/types.hpp: the match configuration and the value records exchanged with callers.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "small_list.hpp"

namespace quorvel {

/// A pair of 32-bit floats (x, y): a position, a velocity or a command.
struct Vec2 {
    float x = 0.0f;
    float y = 0.0f;
};

/// Team indices: team A is index 0 of every pair, team B index 1.
enum Team : std::uint8_t { TEAM_A = 0, TEAM_B = 1 };

/// Goals of team A and team B, or (own, other) in an observation.
using Score = std::array<std::uint32_t, 2>;

/// The shape of a match. Plain value record; every field has its default here.
/// Lengths are field units, speeds field units per second, `dt` seconds.
struct EngineConfig {
    std::uint64_t players_per_team = 3;
    float field_width = 40.0f;
    float field_height = 20.0f;
    float player_radius = 0.5f;
    float ball_radius = 0.2f;
    float goal_width = 6.0f;
    float dt = 1.0f / 30.0f;
    std::uint32_t max_ticks = 9000;
    std::optional<std::uint32_t> max_score;
    float player_max_speed = 6.0f;
    float ball_linear_damping = 0.6f;
    float ball_restitution = 0.6f;
    float kick_range = 0.4f;
    float kick_max_speed = 12.0f;
    float formation_jitter = 0.5f;
};

/// One player's command for one tick, in the commanding team's own frame.
struct Action {
    Vec2 move_dir;              ///< direction of travel; length is the throttle (capped at 1)
    std::optional<Vec2> kick;   ///< absent or zero: no kick

    static const Action NOOP;   ///< stop, no kick
};
inline const Action Action::NOOP{};

/// One team's commands: entry i commands player i; extra entries are ignored.
struct Actions {
    std::vector<Action> players;
};

/// A player as seen in an observation (normalised, team frame).
struct PlayerObs {
    Vec2 position;
    Vec2 velocity;
};

/// The ball as seen in an observation or a spectator frame.
struct BallObs {
    Vec2 position;
    Vec2 velocity;
};

/// One team's players in an observation, in player order. Teams of up to
/// eleven are held inside the list, so a tick's four lists allocate nothing.
using PlayerList = SmallList<PlayerObs, 11>;

/// One team's view of the match in its own normalised frame.
struct Observation {
    PlayerList self_team;
    PlayerList opponent_team;
    BallObs ball;
    Score score{};                    ///< (own goals, other team's goals)
    std::uint32_t ticks_remaining = 0;
};

/// One team's reward for one tick: +1 for scoring, -1 for conceding.
struct Reward {
    float goal_scored = 0.0f;
    float goal_conceded = 0.0f;

    float total() const { return goal_scored + goal_conceded; }
};

/// Information about the tick just played.
struct Info {
    std::uint32_t tick = 0;   ///< ticks played since construction or the last reset
};

/// Everything one tick returns; pairs are (team A, team B).
struct StepResult {
    std::array<Observation, 2> observations;
    std::array<Reward, 2> rewards;
    bool done = false;
    Info info;
};

/// One player in a spectator frame (normalised absolute frame, never mirrored).
struct SpectatorPlayer {
    std::uint8_t team = 0;    ///< 0 for team A, 1 for team B
    Vec2 position;
    Vec2 velocity;
};

/// The whole match at the current tick, for display.
struct SpectatorFrame {
    std::uint32_t tick = 0;
    std::vector<SpectatorPlayer> players;   ///< team A's players, then team B's
    BallObs ball;
    Score score{};                          ///< (team A's goals, team B's goals)
};

/// An internal fault of the engine: a configuration refused at a kick-off or a
/// broken invariant. The message is the fault's text.
class EngineFault : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace quorvel
