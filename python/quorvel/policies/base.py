"""python/quorvel/policies/base.py: what a policy is: made from a configuration, called on a batch of one team's observations."""
import numpy as np

from _quorvel import EngineConfig

from ..core.arrays import Float32Array


class Policy:
    """Base of the policies: made as ``Cls(config, **options)``, called as
    ``policy(obs, out, rng)``.

    `obs` is float32 (n, 8P + 4), one team's observations of n matches in that team's own
    frame (see ``quorvel.core.layout``); `out` is float32 (n, P, 4), that team's command
    rows, for the policy to fill (move x, move y, kick x, kick y a player, in the same
    frame); `rng` is a numpy Generator, the only source of whatever the policy draws at
    random, so that a seeded caller plays it the same way every time. Both arrays may be
    views of larger ones. A subclass is used as it is wherever a policy is accepted; any
    other callable is taken as ``actions = f(obs)`` (see ``CallablePolicy``).
    """

    def __init__(self, config: EngineConfig) -> None:
        pass

    def __call__(self, obs: Float32Array, out: Float32Array, rng: np.random.Generator) -> None:
        raise NotImplementedError
