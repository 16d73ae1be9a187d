# tests/test_engine_config.py: EngineConfig: defaults, constructor, conversions, attributes and text form.
import gc
import inspect
import math
import sys

import pytest

import _quorvel
from _quorvel import EngineConfig

# Field order, and the defaults as read back: the exact double of each stored 32-bit float.
DEFAULTS = {
    "players_per_team": 3,
    "field_width": 40.0,
    "field_height": 20.0,
    "player_radius": 0.5,
    "ball_radius": 0.20000000298023224,
    "goal_width": 6.0,
    "dt": 0.03333333507180214,
    "max_ticks": 9000,
    "max_score": None,
    "player_max_speed": 6.0,
    "ball_linear_damping": 0.6000000238418579,
    "ball_restitution": 0.6000000238418579,
    "kick_range": 0.4000000059604645,
    "kick_max_speed": 12.0,
    "formation_jitter": 0.5,
}
FIELDS = list(DEFAULTS)
FLOAT_FIELDS = [f for f, v in DEFAULTS.items() if isinstance(v, float)]
# Defaults as the text signature writes them.
SIGNATURE_DEFAULTS = dict(DEFAULTS, ball_radius=0.2, dt=..., ball_linear_damping=0.6,
                          ball_restitution=0.6, kick_range=0.4)


class Index:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class Float:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class Broken:
    def __float__(self):
        raise ZeroDivisionError("broken __float__")

    __index__ = __float__


def build(how, field, value):
    """An EngineConfig whose `field` got `value` through the constructor or a setter."""
    if how == "init":
        return EngineConfig(**{field: value})
    config = EngineConfig()
    setattr(config, field, value)
    return config


def same(a, b):
    """Equal values of equal types, telling -0.0 from 0.0 and NaN from NaN."""
    return type(a) is type(b) and repr(a) == repr(b)


def text(p=3, w="40", h="20", t=9000):
    return f"EngineConfig(players_per_team={p}, field_width={w}, field_height={h}, max_ticks={t})"


def test_defaults_read_back_exactly():
    config = EngineConfig()
    for field, value in DEFAULTS.items():
        assert same(getattr(config, field), value), field


def test_signature():
    assert not EngineConfig.__doc__
    params = list(inspect.signature(EngineConfig).parameters.values())
    assert [p.name for p in params] == FIELDS
    assert all(p.kind is inspect.Parameter.POSITIONAL_OR_KEYWORD for p in params)
    assert {p.name: p.default for p in params} == SIGNATURE_DEFAULTS
    assert {k for k in vars(EngineConfig) if not k.startswith("__")} == set(FIELDS)


def test_positional_arguments_follow_field_order():
    values = [7, 41.5, 21.5, 0.25, 0.125, 5.5, 0.5, 100, 4, 7.5, 0.25, 0.75, 0.375, 11.5, 0.0625]
    config = EngineConfig(*values)
    assert [getattr(config, f) for f in FIELDS] == values
    assert EngineConfig(5).players_per_team == 5
    partial = EngineConfig(5, 50.0)
    assert [getattr(partial, f) for f in FIELDS] == [5, 50.0] + list(DEFAULTS.values())[2:]
    shuffled = EngineConfig(**dict(reversed(list(zip(FIELDS, values)))))
    assert [getattr(shuffled, f) for f in FIELDS] == values


@pytest.mark.parametrize("args, kwargs", [
    (range(16), {}),
    ((), {"no_such_field": 1}),
    ((5,), {"players_per_team": 5}),
], ids=["sixteen", "unknown", "twice"])
def test_binding_errors(args, kwargs):
    with pytest.raises(TypeError):
        EngineConfig(*args, **kwargs)


ACCEPTED = [
    ("players_per_team", 0, 0),
    ("players_per_team", 2**64 - 1, 2**64 - 1),
    ("players_per_team", True, 1),
    ("players_per_team", Index(7), 7),
    ("max_ticks", 0, 0),
    ("max_ticks", 2**32 - 1, 2**32 - 1),
    ("max_ticks", Index(12), 12),
    ("max_score", None, None),
    ("max_score", 0, 0),
    ("max_score", 2**32 - 1, 2**32 - 1),
    ("max_score", False, 0),
    ("field_width", 3, 3.0),
    ("field_width", True, 1.0),
    ("field_width", 0.1, 0.10000000149011612),
    ("field_width", -0.0, -0.0),
    ("field_width", 16777217, 16777216.0),  # an int rounded to the nearest float
    ("field_width", 2**200, math.inf),  # fits a double, not a 32-bit float
    ("field_width", 1e300, math.inf),
    ("field_width", -1e300, -math.inf),
    ("field_width", 1e-50, 0.0),
    ("field_width", 1.5e-45, 1.401298464324817e-45),  # the smallest denormal
    ("field_width", math.nan, math.nan),
    ("field_width", Float(2.5), 2.5),
    ("field_width", Index(3), 3.0),
    ("dt", 0.01, 0.009999999776482582),
    ("formation_jitter", -1.0, -1.0),
]


@pytest.mark.parametrize("how", ["init", "set"])
@pytest.mark.parametrize("field, value, stored", ACCEPTED)
def test_accepted_values(how, field, value, stored):
    config = build(how, field, value)
    assert same(getattr(config, field), stored)


@pytest.mark.parametrize("field", FLOAT_FIELDS)
def test_every_float_field_rounds_to_32_bits(field):
    assert getattr(build("init", field, 0.1), field) == 0.10000000149011612
    assert getattr(build("set", field, 1e39), field) == math.inf


REFUSED = [
    ("players_per_team", -1, OverflowError),
    ("players_per_team", 2**64, OverflowError),
    ("players_per_team", 2.0, TypeError),
    ("players_per_team", None, TypeError),
    ("players_per_team", "3", TypeError),
    ("max_ticks", -1, OverflowError),
    ("max_ticks", 2**32, OverflowError),
    ("max_ticks", Index(2**32), OverflowError),
    ("max_ticks", 2.0, TypeError),
    ("max_ticks", None, TypeError),
    ("max_score", -1, OverflowError),
    ("max_score", 2**32, OverflowError),
    ("max_score", 1.5, TypeError),
    ("max_score", "1", TypeError),
    ("field_width", "3", TypeError),
    ("field_width", None, TypeError),
    ("field_width", (1.0,), TypeError),
    ("field_width", [1.0], TypeError),
    ("field_width", 1j, TypeError),
    ("field_width", 10**400, OverflowError),
    ("dt", None, TypeError),
    ("formation_jitter", "0.5", TypeError),
    ("kick_range", Broken(), ZeroDivisionError),  # the value's own error goes through
    ("max_ticks", Broken(), ZeroDivisionError),
]


@pytest.mark.parametrize("field, value, error", REFUSED)
def test_refused_constructor_argument_names_the_parameter(raises_noted, field, value, error):
    with raises_noted(error, field):
        EngineConfig(**{field: value})


@pytest.mark.parametrize("field, value, error", REFUSED)
def test_refused_write_names_the_attribute_and_keeps_the_value(raises_noted, field, value, error):
    config = EngineConfig()
    with raises_noted(error, field):
        setattr(config, field, value)
    assert same(getattr(config, field), DEFAULTS[field])


def test_refused_positional_argument_names_the_parameter(raises_noted):
    with raises_noted(OverflowError, "players_per_team"):
        EngineConfig(-1)
    with raises_noted(TypeError, "max_ticks"):
        EngineConfig(3, 40.0, 20.0, 0.5, 0.2, 6.0, 0.1, 9000.0)


def test_first_refused_field_in_field_order_wins(raises_noted):
    with raises_noted(TypeError, "field_width") as info:
        EngineConfig(max_ticks=-1, field_width="wide")
    assert not any("max_ticks" in note for note in info.value.__notes__)


@pytest.mark.parametrize("field", FIELDS)
def test_attributes_cannot_be_deleted(field):
    config = EngineConfig(max_score=4)
    before = getattr(config, field)
    with pytest.raises(AttributeError):
        delattr(config, field)
    assert same(getattr(config, field), before)


def test_max_score_round_trips_through_none():
    config = EngineConfig(max_score=5)
    assert config.max_score == 5
    config.max_score = None
    assert config.max_score is None
    config.max_score = 0
    assert config.max_score == 0


@pytest.mark.parametrize("how", ["init", "set"])
@pytest.mark.parametrize("field, value, expected", [
    (None, None, text()),
    ("field_width", 0.1, text(w="0.1")),
    ("field_width", 40.5, text(w="40.5")),
    ("field_width", -0.0, text(w="-0")),
    ("field_width", 1e20, text(w="100000000000000000000")),
    ("field_width", 3.4028234663852886e38, text(w="340282350000000000000000000000000000000")),
    ("field_width", 1e300, text(w="inf")),
    ("field_width", -math.inf, text(w="-inf")),
    ("field_width", -math.nan, text(w="NaN")),
    ("field_width", 1.5e-45, text(w="0." + "0" * 44 + "1")),
    ("field_height", 1e-7, text(h="0.0000001")),
    ("field_height", math.inf, text(h="inf")),
    ("field_height", math.nan, text(h="NaN")),
    ("field_height", 1e16, text(h="10000000000000000")),
    ("field_height", 0.0001, text(h="0.0001")),
    ("players_per_team", 0, text(p=0)),
    ("players_per_team", 2**64 - 1, text(p=2**64 - 1)),
    ("max_ticks", 2**32 - 1, text(t=2**32 - 1)),
])
def test_text_form(how, field, value, expected):
    config = EngineConfig() if field is None else build(how, field, value)
    assert repr(config) == expected
    assert str(config) == expected


def test_text_form_shows_four_fields_only():
    others = {f: 1 for f in FIELDS if f not in {"players_per_team", "field_width", "field_height", "max_ticks"}}
    assert repr(EngineConfig(**others)) == text()


def test_conversions_keep_no_reference():
    index, real = Index(5), Float(2.5)
    before = sys.getrefcount(index), sys.getrefcount(real)
    config = EngineConfig()
    for _ in range(100):
        EngineConfig(max_ticks=index, field_width=real, max_score=index)
        with pytest.raises(OverflowError):
            EngineConfig(field_width=real, max_ticks=-1)
        config.players_per_team = index
        config.goal_width = real
    gc.collect()  # tracebacks of the refused calls hold the arguments in cycles
    assert (sys.getrefcount(index), sys.getrefcount(real)) == before


engine_only = pytest.mark.skipif(not hasattr(_quorvel, "Engine"), reason="Engine is not registered yet")


@engine_only
@pytest.mark.parametrize("jitter, seed, raised", [
    (0.5, 5, None),
    (0.5, -1, OverflowError),
    (-1.0, 5, BaseException),  # the internal fault of a refused formation
])
def test_write_during_engine_construction_is_refused(jitter, seed, raised):
    config = EngineConfig(formation_jitter=jitter)
    seen = []

    class Seed:
        def __index__(self):
            # The engine reads the configuration under shared access while it converts the seed.
            try:
                config.field_width = 1.0
                seen.append("stored")
            except RuntimeError:
                seen.append("refused")
            seen.append(config.field_width)
            return seed

    try:
        _quorvel.Engine(config, Seed())
        got = None
    except BaseException as error:  # the internal fault is not an Exception
        got = type(error)
    if raised is BaseException:
        assert got.__bases__ == (BaseException,)
    else:
        assert got is raised
    assert seen == ["refused", 40.0]
    config.field_width = 2.0  # the access is released on every way out
    assert config.field_width == 2.0
