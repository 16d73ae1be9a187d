"""python/quorvel/envs/gymnasium/__init__.py: the Gymnasium front-ends: quorvel/Soccer-v0 (single and vector), quorvel/SoccerSelfPlay-v0, discrete actions.

The classes are imported when first asked for, so that ``import quorvel`` registers the
environments without loading them.
"""
from typing import TYPE_CHECKING

if TYPE_CHECKING:  # at run time imported when first asked for, below
    from .discrete import DiscreteActions, DiscreteVectorActions
    from .env import SoccerEnv
    from .selfplay import SelfPlayVectorEnv
    from .vector import SoccerVectorEnv

_WHERE = {"SoccerEnv": "env", "SoccerVectorEnv": "vector", "SelfPlayVectorEnv": "selfplay",
          "DiscreteActions": "discrete", "DiscreteVectorActions": "discrete"}

__all__ = ["DiscreteActions", "DiscreteVectorActions", "SelfPlayVectorEnv", "SoccerEnv", "SoccerVectorEnv"]


def __getattr__(name: str) -> type:
    if name not in _WHERE:
        raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
    import importlib
    cls: type = getattr(importlib.import_module(f"{__name__}.{_WHERE[name]}"), name)
    return cls
