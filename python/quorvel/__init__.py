"""quorvel: a fast, deterministic two-team soccer simulator for reinforcement learning.

The simulation lives in the native module ``_quorvel``; this package re-exports its
classes and adds the batched engine ``BatchEngine`` (native module ``quorvel._batch``),
the framework-free core every front-end stands on (``quorvel.core``), the policies
(``quorvel.policies``), the RL front-ends (``quorvel.envs``: with Gymnasium installed,
importing quorvel registers quorvel/Soccer-v0 and quorvel/SoccerSelfPlay-v0), rendering,
replays and the ``quorvel`` command line; ``__version__`` is its version. Importing it builds
no engine, and pickling an ``EngineConfig`` works once it is imported.
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

from ._batch import BatchEngine, EngineFault  # noqa: E402
from .core.config import register_pickling  # noqa: E402
from .version import package_version  # noqa: E402

__version__ = package_version()
"""The version of this copy of the package (its metadata's: pyproject.toml's)."""

__all__ = [
    "EngineConfig", "Action", "Actions", "PlayerObs", "BallObs", "Observation",
    "Reward", "Info", "StepResult", "SpectatorPlayer", "SpectatorFrame", "Engine",
    "EngineFault", "BatchEngine",
]

register_pickling()


def _gymnasium_installed() -> bool:
    try:
        return importlib.util.find_spec("gymnasium") is not None
    except (ImportError, ValueError):  # hidden or half-imported: treated as absent
        return False


if _gymnasium_installed():
    from .envs.gymnasium.registration import register_envs

    register_envs()
