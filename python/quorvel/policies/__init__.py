"""python/quorvel/policies/__init__.py: the policies that command a team, and the one registry that makes them.

A policy is made as ``Cls(config, **options)`` and called ``policy(obs, out, rng)`` on a
batch of one team's observations (see ``Policy``). ``make(spec, config)`` turns a name
("idle", "random", "scripted", "trained", or any name ``register`` added), a policy file (through the
loader ``register_loader`` installed for its ending), a policy object or a plain callable
into one; every front-end, the command line and the benchmarks make theirs here.
"""
from pathlib import Path

from _quorvel import EngineConfig

from .base import Policy
from .registry import PolicySpec, make, names, register, register_loader
from .scripted import ScriptedPolicy
from .simple import CallablePolicy, IdlePolicy, RandomPolicy

__all__ = ["CallablePolicy", "IdlePolicy", "Policy", "PolicySpec", "RandomPolicy", "ScriptedPolicy",
           "make", "names", "register", "register_loader"]

register("idle", IdlePolicy)
register("random", RandomPolicy)
register("scripted", ScriptedPolicy)

from . import npz_policy  # noqa: E402 - the loader registers below

register_loader(".npz", npz_policy.load)


def _trained(config: EngineConfig, greedy: bool = True) -> Policy:
    """The policy shipped with the package, made by ``quorvel train`` (see the README's
    "Training an agent"), played greedily unless ``greedy=False`` is given."""
    return npz_policy.load(Path(__file__).with_name("trained.npz"), config, greedy=greedy)


register("trained", _trained)
