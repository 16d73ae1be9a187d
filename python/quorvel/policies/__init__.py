"""python/quorvel/policies/__init__.py: the policies that command a team, and the one registry that makes them.

A policy is made as ``Cls(config, **options)`` and called ``policy(obs, out, rng)`` on a
batch of one team's observations (see ``Policy``). ``make(spec, config)`` turns a name
("idle", "random", "scripted", "scripted:easy", "scripted:medium", "scripted:hard", or any
name ``register`` added), a policy file (through the loader ``register_loader`` installed
for its ending), a policy object or a plain callable into one; every front-end, the
command line and the benchmarks make theirs here.
"""
from .base import Policy
from .registry import make, names, register, register_loader
from .scripted import LEVELS, Level, ScriptedPolicy
from .simple import CallablePolicy, IdlePolicy, RandomPolicy

__all__ = ["CallablePolicy", "IdlePolicy", "LEVELS", "Level", "Policy", "RandomPolicy",
           "ScriptedPolicy", "make", "names", "register", "register_loader"]


def _scripted_at(level):
    """The factory of "scripted:<level>": the scripted team at that level."""
    def make_level(config, **options):
        return ScriptedPolicy(config, level, **options)
    return make_level


register("idle", IdlePolicy)
register("random", RandomPolicy)
register("scripted", ScriptedPolicy)   # medium; level= picks another
for _level in LEVELS:
    register(f"scripted:{_level}", _scripted_at(_level))
