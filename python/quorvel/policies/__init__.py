"""python/quorvel/policies/__init__.py: the policies that command a team, and the one registry that makes them.

A policy is made as ``Cls(config, **options)`` and called ``policy(obs, out, rng)`` on a
batch of one team's observations (see ``Policy``). ``make(policy, config)`` turns a name
("idle", "random", "scripted", "scripted:easy", "scripted:medium", "scripted:hard", "trained", or any
name ``register`` added), a policy file (through the loader ``register_loader`` installed
for its ending), a policy object or a plain callable into one; every front-end, the
command line and the benchmarks make theirs here.
"""
from collections.abc import Callable
from pathlib import Path
from typing import Any

from _quorvel import EngineConfig

from .base import Policy
from .registry import PolicySpec, make, names, register, register_loader
from .scripted import LEVELS, Level, ScriptedPolicy
from .simple import CallablePolicy, IdlePolicy, RandomPolicy

__all__ = ["CallablePolicy", "IdlePolicy", "LEVELS", "Level", "Policy", "PolicySpec",
           "RandomPolicy", "ScriptedPolicy", "make", "names", "register", "register_loader"]


def _scripted_at(level: str) -> Callable[..., Policy]:
    """The factory of "scripted:<level>": the scripted team at that level."""
    def make_level(config: EngineConfig, **options: Any) -> Policy:
        return ScriptedPolicy(config, level, **options)
    return make_level


register("idle", IdlePolicy)
register("random", RandomPolicy)
register("scripted", ScriptedPolicy)   # medium; level= picks another
for _level in LEVELS:
    register(f"scripted:{_level}", _scripted_at(_level))

from . import npz_policy  # noqa: E402 - the loader registers below

register_loader(".npz", npz_policy.load)


def _trained(config: EngineConfig, greedy: bool = True) -> Policy:
    """The policy shipped with the package, made by ``quorvel train`` (see the README's
    "Training an agent"), played greedily unless ``greedy=False`` is given."""
    return npz_policy.load(Path(__file__).with_name("trained.npz"), config, greedy=greedy)


register("trained", _trained)
