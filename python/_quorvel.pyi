# python/_quorvel.pyi: type stubs of the native _quorvel module, installed at the site-packages root and as _quorvel-stubs.
from typing import Optional, Self, final

__all__ = ["EngineConfig", "Action", "Actions", "PlayerObs", "BallObs", "Observation", "Reward",
           "Info", "StepResult", "SpectatorPlayer", "SpectatorFrame", "Engine"]

_Vec2 = tuple[float, float]

@final
class EngineConfig:
    """The configuration of a match: team size, field, bodies, time step, length, speeds."""
    players_per_team: int
    field_width: float
    field_height: float
    player_radius: float
    ball_radius: float
    goal_width: float
    dt: float
    max_ticks: int
    max_score: Optional[int]
    player_max_speed: float
    ball_linear_damping: float
    ball_restitution: float
    kick_range: float
    kick_max_speed: float
    formation_jitter: float
    def __new__(cls, players_per_team: int = 3, field_width: float = 40.0,
                 field_height: float = 20.0, player_radius: float = 0.5, ball_radius: float = 0.2,
                 goal_width: float = 6.0, dt: float = ..., max_ticks: int = 9000,
                 max_score: Optional[int] = None, player_max_speed: float = 6.0,
                 ball_linear_damping: float = 0.6, ball_restitution: float = 0.6,
                 kick_range: float = 0.4, kick_max_speed: float = 12.0,
                 formation_jitter: float = 0.5) -> Self: ...

@final
class Action:
    """One player's command: a move direction and an optional kick, in the team's frame."""
    move_dir: _Vec2
    kick: Optional[_Vec2]
    def __new__(cls, move_dir: _Vec2 = ..., kick: Optional[_Vec2] = None) -> Self: ...
    @staticmethod
    def noop() -> Action: ...

@final
class Actions:
    """One team's commands, entry i for player i."""
    players: list[Action]
    def __new__(cls, players: list[Action]) -> Self: ...

@final
class PlayerObs:
    position: _Vec2
    velocity: _Vec2

@final
class BallObs:
    position: _Vec2
    velocity: _Vec2

@final
class Observation:
    """One team's view of the match in its own normalised frame."""
    self_team: list[PlayerObs]
    opponent_team: list[PlayerObs]
    ball: BallObs
    score: tuple[int, int]
    ticks_remaining: int

@final
class Reward:
    goal_scored: float
    goal_conceded: float
    def total(self) -> float: ...

@final
class Info:
    tick: int

@final
class StepResult:
    observations: tuple[Observation, Observation]
    rewards: tuple[Reward, Reward]
    done: bool
    info: Info

@final
class SpectatorPlayer:
    position: _Vec2
    velocity: _Vec2
    team: int

@final
class SpectatorFrame:
    """The absolute state of the match, never mirrored, for display."""
    players: list[SpectatorPlayer]
    ball: BallObs
    score: tuple[int, int]
    tick: int

@final
class Engine:
    """One match, built from a configuration and a 64-bit seed."""
    def __new__(cls, config: EngineConfig, seed: int) -> Self: ...
    def reset(self) -> tuple[Observation, Observation]: ...
    def step(self, actions: tuple[Actions, Actions]) -> StepResult: ...
    def spectator_frame(self) -> SpectatorFrame: ...
