"""python/quorvel/envs/gymnasium/registration.py: registers quorvel's environments with Gymnasium (run by ``import quorvel`` when Gymnasium is installed)."""
from typing import Any, NoReturn

from gymnasium.envs.registration import register, registry
from gymnasium.error import Error

SOCCER = "quorvel/Soccer-v0"
SELF_PLAY = "quorvel/SoccerSelfPlay-v0"


class VectorOnlyError(Error):
    """``gymnasium.make`` (or ``make_vec`` in "sync" or "async" mode) was asked for one
    entry of an environment that exists only as a vector. A Gymnasium error, as Gymnasium's
    own for an id without a single-environment entry point."""


def self_play_single(**kwargs: Any) -> NoReturn:
    """The single-environment entry point of quorvel/SoccerSelfPlay-v0, which has none:
    both teams of a match are entries of one vector. Raises VectorOnlyError saying so."""
    raise VectorOnlyError(
        f"{SELF_PLAY} is a vector environment only (entries 2k and 2k + 1 are the two teams "
        f"of match k): make it with gymnasium.make_vec({SELF_PLAY!r}, num_envs=2 * matches), "
        "on its own vector entry point (vectorization_mode left out or 'vector_entry_point', "
        f"not 'sync' or 'async'); one match against an opponent policy is "
        f"gymnasium.make({SOCCER!r}, opponent=...)")


def register_envs() -> None:
    """Registers quorvel/Soccer-v0 (single and vector) and quorvel/SoccerSelfPlay-v0
    (vector only: ``gymnasium.make`` raises VectorOnlyError naming ``make_vec``);
    registering again changes nothing."""
    if SOCCER not in registry:
        register(id=SOCCER, entry_point="quorvel.envs.gymnasium.env:SoccerEnv",
                 vector_entry_point="quorvel.envs.gymnasium.vector:SoccerVectorEnv")
    if SELF_PLAY not in registry:
        register(id=SELF_PLAY,
                 entry_point="quorvel.envs.gymnasium.registration:self_play_single",
                 vector_entry_point="quorvel.envs.gymnasium.selfplay:SelfPlayVectorEnv")
