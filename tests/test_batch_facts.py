# tests/test_batch_facts.py: what quorvel._batch tells about the engine: its fault class, team limits, field names.
import ast
import inspect
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

import _quorvel as q
from quorvel import _batch

ROOT = Path(__file__).resolve().parent.parent


def test_engine_fault_is_the_class_quorvel_raises():
    with pytest.raises(BaseException) as raised:
        q.Engine(q.EngineConfig(players_per_team=2, formation_jitter=-1.0), 0)
    assert type(raised.value) is _batch.EngineFault
    assert _batch.EngineFault.__bases__ == (BaseException,)
    assert _batch.EngineFault not in vars(q).values()


def test_engine_fault_is_shared_whichever_extension_loads_first():
    script = ("import quorvel._batch as b, _quorvel as q\n"
              "try: q.Engine(q.EngineConfig(players_per_team=2, formation_jitter=-1.0), 0)\n"
              "except BaseException as e: assert type(e) is b.EngineFault, type(e)\n")
    subprocess.run([sys.executable, "-c", script], check=True)


@pytest.mark.parametrize("fields, most", [
    (dict(), 50),                                          # the default field, players apart
    (dict(field_width=0.0), 32),                           # every player forced onto one spot
    (dict(field_height=1.0, ball_radius=3.0), 8),          # a ball more than 4 wider than the field
    (dict(field_width=400.0, field_height=200.0), 512),    # the ceiling on any field
])
def test_max_players_per_team_is_the_limit_construction_enforces(fields, most):
    config = q.EngineConfig(players_per_team=10**6, **fields)
    assert _batch.max_players_per_team(config) == most
    assert _batch.max_players_per_team(config=config) == most
    config.players_per_team = most + 1
    with pytest.raises(ValueError, match=f"at most {most}"):
        _batch.BatchEngine(config, 1)
    if most <= 50:  # cheap enough to build
        config.players_per_team = most
        _batch.BatchEngine(config, 1)


def test_max_players_per_team_takes_a_configuration(raises_noted):
    with raises_noted(TypeError, "config"):
        _batch.max_players_per_team(object())


def test_config_fields_are_the_constructor_parameters_in_order():
    assert _batch.CONFIG_FIELDS == tuple(inspect.signature(q.EngineConfig).parameters)
    values = [getattr(q.EngineConfig(), name) for name in _batch.CONFIG_FIELDS]
    rebuilt = q.EngineConfig(*values)
    assert [getattr(rebuilt, name) for name in _batch.CONFIG_FIELDS] == values


def stub_fields(stub, cls):
    """The annotated attributes of class `cls` in stub file `stub`, in order."""
    tree = ast.parse((ROOT / stub).read_text())
    body = next(node.body for node in tree.body if isinstance(node, ast.ClassDef) and node.name == cls)
    return [node.target.id for node in body if isinstance(node, ast.AnnAssign)]


def test_stubs_list_what_the_modules_hold():
    assert tuple(stub_fields("python/_quorvel.pyi", "EngineConfig")) == _batch.CONFIG_FIELDS
    batch = _batch.BatchEngine(q.EngineConfig(), 2, autoreset="same_step")
    batch.reset()
    info = batch.step(np.zeros((2, 2, 3, 4), np.float32))[4]
    assert set(stub_fields("python/quorvel/_batch.pyi", "_StepInfo")) == set(info)
    assert set(stub_fields("python/quorvel/_batch.pyi", "_SpectatorArrays")) == set(batch.spectator_arrays())
