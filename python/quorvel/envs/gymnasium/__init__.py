"""python/quorvel/envs/gymnasium/__init__.py: the Gymnasium front-ends: quorvel/Soccer-v0 (single and vector), quorvel/SoccerSelfPlay-v0, discrete actions.

The classes are imported when first asked for, so that ``import quorvel`` registers the
environments without loading them.
"""
_WHERE = {"SoccerEnv": "env", "SoccerVectorEnv": "vector", "SelfPlayVectorEnv": "selfplay",
          "DiscreteActions": "discrete", "DiscreteVectorActions": "discrete"}

__all__ = list(_WHERE)


def __getattr__(name):
    if name not in _WHERE:
        raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
    import importlib
    return getattr(importlib.import_module(f"{__name__}.{_WHERE[name]}"), name)
