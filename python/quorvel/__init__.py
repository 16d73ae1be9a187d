"""quorvel: a fast, deterministic two-team soccer simulator for reinforcement learning.

The simulation lives in the native module ``_quorvel``; this package re-exports its
classes and adds the batched engine ``BatchEngine`` (native module ``quorvel._batch``),
a scripted opponent, the ``python -m quorvel`` match runner and the RL front-ends: with
Gymnasium installed, importing quorvel registers quorvel/Soccer-v0 and
quorvel/SoccerSelfPlay-v0; ``quorvel.pettingzoo_env`` holds the PettingZoo environment.
"""
import importlib.util
import pkgutil

# A build tree keeps the package's native modules in <build>/module/quorvel/;
# with <build>/module on sys.path they are found beside these files.
__path__ = pkgutil.extend_path(__path__, __name__)
from _quorvel import (  # noqa: F401
    Action,
    Actions,
    BallObs,
    Engine,
    EngineConfig,
    Info,
    Observation,
    PlayerObs,
    Reward,
    SpectatorFrame,
    SpectatorPlayer,
    StepResult,
)

from ._batch import BatchEngine  # noqa: E402

__all__ = [
    "EngineConfig", "Action", "Actions", "PlayerObs", "BallObs", "Observation",
    "Reward", "Info", "StepResult", "SpectatorPlayer", "SpectatorFrame", "Engine",
    "EngineFault", "BatchEngine",
]


def _find_engine_fault():
    # The internal-fault class is not bound in the native module; a configuration
    # that fails the kick-off checks raises it, which makes it reachable here.
    try:
        Engine(EngineConfig(players_per_team=2, formation_jitter=-1.0), 0)
    except BaseException as fault:  # noqa: BLE001 - this is the class we are after
        return type(fault)
    raise ImportError("the engine accepted a configuration it must refuse")


EngineFault = _find_engine_fault()


if importlib.util.find_spec("gymnasium") is not None:
    from .registration import register_envs

    register_envs()
