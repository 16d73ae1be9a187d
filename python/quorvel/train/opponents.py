"""python/quorvel/train/opponents.py: where the trainer and `quorvel eval` get fixed opponents from: names and policy files.

The one place that knows where policies come from: a name of ``quorvel.opponents``
("idle", "random", "scripted") or the path of a trained policy (.npz). Every policy is
called ``policy(obs, out, rng)`` on one team's observations (n, 8P + 4) in its own frame.
"""
from ..opponents import OPPONENTS, make_opponent
from ..policies import npz_policy

NAMES = OPPONENTS
"""The fixed opponents known by name."""


def make(spec, config):
    """The policy named by `spec` (a name of NAMES or a path ending in .npz) for `config`;
    ValueError for anything else, or a policy file that does not fit `config`."""
    spec = str(spec)
    if spec.endswith(".npz"):
        return npz_policy.load(spec, config)
    if spec not in NAMES:
        raise ValueError(f"unknown policy {spec!r}: expected one of {', '.join(NAMES)} "
                         f"or a .npz policy file")
    return make_opponent(spec, config, batched=True)
