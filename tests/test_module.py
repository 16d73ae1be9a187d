# tests/test_module.py: the module frame: registration, properties every class shares, internal faults.
import copy
import copyreg
import gc
import importlib.machinery
import math
import pickle
import types
import weakref

import pytest

import _quorvel

NAMES = [
    "EngineConfig", "Action", "Actions", "PlayerObs", "BallObs", "Observation",
    "Reward", "Info", "StepResult", "SpectatorPlayer", "SpectatorFrame", "Engine",
]
CONSTRUCTIBLE = {"EngineConfig", "Action", "Actions", "Engine"}
TEXT_FORM = {"EngineConfig", "Action"}
SIGNATURES = {
    "EngineConfig": "(players_per_team=3, field_width=40.0, field_height=20.0, player_radius=0.5, "
    "ball_radius=0.2, goal_width=6.0, dt=..., max_ticks=9000, max_score=None, player_max_speed=6.0, "
    "ball_linear_damping=0.6, ball_restitution=0.6, kick_range=0.4, kick_max_speed=12.0, "
    "formation_jitter=0.5)",
    "Action": "(move_dir=..., kick=None)",
    "Actions": "(players)",
    "Engine": "(config, seed)",
}
ATTRIBUTE_DOCS = {
    ("StepResult", "observations"): "`(observation équipe A, observation équipe B)`.",
    ("StepResult", "rewards"): "`(reward équipe A, reward équipe B)`.",
}


def requires(*names):
    """Skips a test until every class it names is registered."""
    missing = [name for name in names if not hasattr(_quorvel, name)]
    return pytest.mark.skipif(bool(missing), reason=f"not registered yet: {', '.join(missing)}")


def each_class(instance=False):
    """One parameter per class; an instance of a result class can only come from an Engine."""
    return [
        pytest.param(name, marks=requires(name, "Engine") if instance and name not in CONSTRUCTIBLE
                     else requires(name), id=name)
        for name in NAMES
    ]


def make(name):
    """A fresh object of class `name`, built the way a caller gets one."""
    q = _quorvel
    if name in {"EngineConfig", "Action"}:
        return getattr(q, name)()
    if name == "Actions":
        return q.Actions([q.Action()])
    engine = q.Engine(q.EngineConfig(), 7)
    if name == "Engine":
        return engine
    obs = engine.reset()[0]
    result = engine.step((q.Actions([]), q.Actions([])))
    frame = engine.spectator_frame()
    return {
        "PlayerObs": obs.self_team[0], "BallObs": obs.ball, "Observation": obs,
        "Reward": result.rewards[0], "Info": result.info, "StepResult": result,
        "SpectatorPlayer": frame.players[0], "SpectatorFrame": frame,
    }[name]


def test_module_holds_the_registered_classes_and_all_in_order():
    registered = [name for name in NAMES if hasattr(_quorvel, name)]
    assert type(_quorvel.__all__) is list
    assert _quorvel.__all__ == registered
    # No functions, constants or exception classes beside the classes.
    assert {k for k in vars(_quorvel) if not k.startswith("__")} == set(registered)
    assert _quorvel.__doc__ == ""


@requires(*NAMES)
def test_all_lists_the_twelve_classes_in_registration_order():
    assert _quorvel.__all__ == NAMES
    assert all(isinstance(getattr(_quorvel, name), type) for name in NAMES)


def test_second_module_object_reuses_the_class_objects():
    # A second import of the same file, as a sub-interpreter or a fresh loader would do it.
    loader = importlib.machinery.ExtensionFileLoader("_quorvel", _quorvel.__file__)
    other = loader.create_module(types.SimpleNamespace(name="_quorvel", origin=_quorvel.__file__))
    loader.exec_module(other)
    assert other is not _quorvel
    assert other.__all__ == _quorvel.__all__ and other.__all__ is not _quorvel.__all__
    assert other.__doc__ == ""
    assert all(getattr(other, name) is getattr(_quorvel, name) for name in _quorvel.__all__)


@pytest.mark.parametrize("name", each_class())
def test_class_properties(name):
    cls = getattr(_quorvel, name)
    assert (cls.__name__, cls.__qualname__, cls.__module__) == (name, name, "builtins")
    assert repr(cls) == f"<class 'builtins.{name}'>"
    assert cls.__bases__ == (object,)
    assert not cls.__flags__ & (1 << 14), "instances must not be GC-tracked"
    own = vars(cls)
    assert ("__new__" in own) == (name in CONSTRUCTIBLE)
    assert ("__repr__" in own) == (name in TEXT_FORM)
    for absent in ("__init__", "__eq__", "__lt__", "__hash__", "__iter__", "__len__", "__reduce__", "__getstate__"):
        assert absent not in own, absent
    with pytest.raises(TypeError):
        type("Derived", (cls,), {})


@pytest.mark.parametrize("name", each_class())
def test_docstrings(name):
    cls = getattr(_quorvel, name)
    if name in CONSTRUCTIBLE:
        assert not cls.__doc__  # the text signature alone, no prose
        assert cls.__text_signature__ == SIGNATURES[name]
    else:
        assert cls.__doc__ is None
        assert cls.__text_signature__ is None
    for attr, descr in vars(cls).items():
        if type(descr).__name__ == "getset_descriptor" and not attr.startswith("__"):
            assert descr.__doc__ == ATTRIBUTE_DOCS.get((name, attr)), attr


@pytest.mark.parametrize("name", [n for n in each_class() if n.values[0] not in CONSTRUCTIBLE])
def test_result_classes_cannot_be_instantiated(name):
    cls = getattr(_quorvel, name)
    for call in (lambda: cls(), lambda: cls(1, 2), lambda: object.__new__(cls)):
        with pytest.raises(TypeError):
            call()


@pytest.mark.parametrize("name", [n for n in each_class() if n.values[0] in CONSTRUCTIBLE])
def test_object_new_cannot_skip_the_constructor(name):
    with pytest.raises(TypeError):
        object.__new__(getattr(_quorvel, name))


@pytest.fixture
def without_the_package_pickling():
    """_quorvel's own contract: the classes offer no copying or pickling. The package
    registers EngineConfig's with copyreg when imported; it is set aside for the test."""
    saved = copyreg.dispatch_table.pop(_quorvel.EngineConfig, None)
    yield
    if saved is not None:
        copyreg.dispatch_table[_quorvel.EngineConfig] = saved


@pytest.mark.parametrize("name", each_class(instance=True))
def test_instance_properties(name, without_the_package_pickling):
    obj, twin = make(name), make(name)
    text = repr(obj)
    if name in TEXT_FORM:
        assert text.startswith(f"{name}(")
    else:
        assert text.startswith(f"<builtins.{name} object at 0x")
    assert not hasattr(obj, "__dict__")
    with pytest.raises(AttributeError):
        obj.no_such_attribute = 1
    with pytest.raises(TypeError):
        weakref.ref(obj)
    assert not gc.is_tracked(obj)
    # Identity is the only equality, and hashing follows it.
    assert obj == obj and obj != twin and not (obj == twin)
    assert len({obj, obj, twin}) == 2
    for unsupported in (copy.copy, pickle.dumps, iter):
        with pytest.raises(TypeError):
            unsupported(obj)


def refused_config_fault(**fields):
    """The exception an Engine construction raises from a refused configuration, or None."""
    config = _quorvel.EngineConfig(**fields)
    try:
        _quorvel.Engine(config, 0)
    except Exception as error:  # an internal fault must get past this clause
        pytest.fail(f"internal fault caught as Exception: {error!r}")
    except BaseException as error:
        return error
    return None


@requires("Engine")
@pytest.mark.parametrize("fields, refused", [
    (dict(formation_jitter=-1.0), True),
    (dict(formation_jitter=math.nan), True),
    (dict(formation_jitter=math.inf), True),
    (dict(field_height=0.5), True),  # narrower than two player radii
    (dict(field_height=1.0, formation_jitter=0.0), False),  # exactly two radii is enough
    (dict(players_per_team=1, formation_jitter=-1.0, field_height=0.5), False),  # no formation check
])
def test_refused_configuration_raises_the_internal_fault(fields, refused):
    fault = refused_config_fault(**fields)
    if not refused:
        assert fault is None
        return
    kind = type(fault)
    assert kind.__bases__ == (BaseException,)
    assert kind not in (KeyboardInterrupt, SystemExit, GeneratorExit)
    assert kind is type(refused_config_fault(formation_jitter=-1.0)), "one dedicated class"
    assert kind not in vars(_quorvel).values()
    assert len(fault.args) == 1 and isinstance(fault.args[0], str) and fault.args[0]
