# tests/test_core.py: the framework-free core: the driver's seeding and hooks, and EngineConfig through pickle and copy.
import copy
import math
import pickle

import numpy as np
import pytest

from quorvel import BatchEngine, EngineConfig
from quorvel._batch import CONFIG_FIELDS
from quorvel.core import Matches, MatchHook


class Events(MatchHook):
    def __init__(self):
        self.seen = []

    def built(self, seeds, mask):
        self.seen.append(("built", [int(s) for s in seeds[mask]], mask.tolist()))

    def restarted(self, mask):
        self.seen.append(("restarted", mask.tolist()))

    def played(self, commands, mask):
        self.seen.append(("played", mask.tolist()))


def test_resets_rebuild_restart_and_tell_the_hooks_in_order():
    config = EngineConfig(max_ticks=2)
    matches, events = Matches(config, 3, autoreset="next_step"), Events()
    fresh = BatchEngine(config, 3, 0).reset()
    np.testing.assert_array_equal(matches.obs, fresh)  # the priming tick was taken back
    matches.attach(events)
    matches.reset(seed=[5, None, 2**64 + 7], mask=np.array([True, True, False]))
    np.testing.assert_array_equal(matches.obs[0], BatchEngine(config, 1, 5).reset()[0])
    np.testing.assert_array_equal(matches.obs[2], fresh[2])
    for _ in range(3):
        matches.step()
    assert events.seen == [("built", [5], [True, False, False]), ("restarted", [True, False, False]),
                           ("restarted", [False, True, False]), ("played", [True] * 3),
                           ("played", [True] * 3), ("played", [False] * 3),
                           ("restarted", [True] * 3)]
    with pytest.raises(TypeError, match="seed"):
        matches.reset(seed=[1.5, 2, 3])
    with pytest.raises(ValueError, match="one per match"):
        matches.reset(seed=[1, 2])
    assert len(events.seen) == 7
    first = Matches(config, 2)
    first.reset(rng=np.random.default_rng(4))
    seeds = np.random.default_rng(4).integers(2**64, size=2, dtype=np.uint64)
    np.testing.assert_array_equal(first.obs, BatchEngine(config, 2, seeds=seeds).reset())


def same(a, b):
    return a == b or (isinstance(a, float) and math.isnan(a) and math.isnan(b))


@pytest.mark.parametrize("fields", [{}, dict(players_per_team=5, field_width=55.5, dt=0.01,
                                            max_ticks=123, max_score=4, ball_restitution=float("nan"),
                                            formation_jitter=0.0, kick_range=-1e-30)])
def test_engine_config_pickles_and_copies_field_by_field(fields):
    config = EngineConfig(**fields)
    for twin in (pickle.loads(pickle.dumps(config)), copy.deepcopy(config), copy.copy(config),
                 pickle.loads(pickle.dumps(config, protocol=0))):
        assert type(twin) is EngineConfig and twin is not config
        for name in CONFIG_FIELDS:
            assert same(getattr(twin, name), getattr(config, name)), name


def test_config_keywords_type_names_every_field_with_its_type():
    # The front-ends' **config is typed by ConfigFields: it must follow EngineConfig.
    from typing import get_type_hints

    from quorvel.core.config import ConfigFields

    hints = get_type_hints(ConfigFields)
    assert list(hints) == list(CONFIG_FIELDS)
    defaults = EngineConfig()
    for name, hint in hints.items():
        value = getattr(defaults, name)
        assert value is None or isinstance(value, hint if isinstance(hint, type) else hint.__args__), name
