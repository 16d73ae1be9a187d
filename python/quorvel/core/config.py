"""python/quorvel/core/config.py: EngineConfig as plain fields: copies, and pickling through copyreg.

``_quorvel.EngineConfig`` has no pickle support of its own (its contract is fixed), and its
class lives in ``builtins`` where pickle cannot find it; the package registers a reducer
that stores the fields by name and rebuilds the configuration here.
"""
import copyreg
from collections.abc import Callable
from typing import Any, TypedDict

from _quorvel import EngineConfig

from .._batch import CONFIG_FIELDS


class ConfigFields(TypedDict, total=False):
    """EngineConfig's fields as keywords, the front-ends' ``**config``: a type checker then
    refuses a misspelt field or a value of the wrong type."""
    players_per_team: int
    field_width: float
    field_height: float
    player_radius: float
    ball_radius: float
    goal_width: float
    dt: float
    max_ticks: int
    max_score: int | None
    player_max_speed: float
    ball_linear_damping: float
    ball_restitution: float
    kick_range: float
    kick_max_speed: float
    formation_jitter: float


def config_fields(config: EngineConfig) -> dict[str, Any]:
    """The fields of `config` as a dict, in the constructor's order."""
    return {name: getattr(config, name) for name in CONFIG_FIELDS}


def config_from_fields(fields: dict[str, Any]) -> EngineConfig:
    """An EngineConfig from a dict of fields (the unpickler's entry point: keep its name)."""
    return EngineConfig(**fields)


def copy_config(config: EngineConfig) -> EngineConfig:
    """A copy of `config`, unshared with it."""
    return EngineConfig(**config_fields(config))


def _reduce(config: EngineConfig) -> tuple[Callable[[dict[str, Any]], EngineConfig], tuple[dict[str, Any]]]:
    return config_from_fields, (config_fields(config),)


def register_pickling() -> None:
    """Lets pickle and copy (deep or shallow) take EngineConfig; registering again changes nothing."""
    copyreg.pickle(EngineConfig, _reduce)
