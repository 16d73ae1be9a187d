# python/_quorvel.pyi: type stubs of the native _quorvel module, installed beside it at the site-packages root.
from typing import Optional

Vec2 = tuple[float, float]

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
    def __init__(self, players_per_team: int = 3, field_width: float = 40.0,
                 field_height: float = 20.0, player_radius: float = 0.5, ball_radius: float = 0.2,
                 goal_width: float = 6.0, dt: float = ..., max_ticks: int = 9000,
                 max_score: Optional[int] = None, player_max_speed: float = 6.0,
                 ball_linear_damping: float = 0.6, ball_restitution: float = 0.6,
                 kick_range: float = 0.4, kick_max_speed: float = 12.0,
                 formation_jitter: float = 0.5) -> None: ...

class Action:
    """One player's command: a move direction and an optional kick, in the team's frame."""
    move_dir: Vec2
    kick: Optional[Vec2]
    def __init__(self, move_dir: Vec2 = ..., kick: Optional[Vec2] = None) -> None: ...
    @staticmethod
    def noop() -> Action: ...

class Actions:
    """One team's commands, entry i for player i."""
    players: list[Action]
    def __init__(self, players: list[Action]) -> None: ...

class PlayerObs:
    position: Vec2
    velocity: Vec2

class BallObs:
    position: Vec2
    velocity: Vec2

class Observation:
    """One team's view of the match in its own normalised frame."""
    self_team: list[PlayerObs]
    opponent_team: list[PlayerObs]
    ball: BallObs
    score: tuple[int, int]
    ticks_remaining: int

class Reward:
    goal_scored: float
    goal_conceded: float
    def total(self) -> float: ...

class Info:
    tick: int

class StepResult:
    observations: tuple[Observation, Observation]
    rewards: tuple[Reward, Reward]
    done: bool
    info: Info

class SpectatorPlayer:
    position: Vec2
    velocity: Vec2
    team: int

class SpectatorFrame:
    """The absolute state of the match, never mirrored, for display."""
    players: list[SpectatorPlayer]
    ball: BallObs
    score: tuple[int, int]
    tick: int

class Engine:
    """One match, built from a configuration and a 64-bit seed."""
    def __init__(self, config: EngineConfig, seed: int) -> None: ...
    def reset(self) -> tuple[Observation, Observation]: ...
    def step(self, actions: tuple[Actions, Actions]) -> StepResult: ...
    def spectator_frame(self) -> SpectatorFrame: ...
