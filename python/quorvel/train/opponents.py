"""python/quorvel/train/opponents.py: where the trainer and `quorvel eval` get fixed opponents from: the policy registry.

Every policy is called ``policy(obs, out, rng)`` on one team's observations (n, 8P + 4) in
its own frame; names and ``.npz`` policy files are those ``quorvel.policies.make`` knows.
"""
from .. import policies


def names():
    """The fixed opponents known by name."""
    return policies.names()


def make(name, config):
    """The policy named by `name` (a registered name or a path ending in .npz) for `config`;
    ValueError for anything else, or a policy file that does not fit `config`."""
    return policies.make(str(name), config)
