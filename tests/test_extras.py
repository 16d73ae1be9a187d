# tests/test_extras.py: a module whose extra is not installed says which extra to install.
import importlib
import sys

import pytest

from quorvel.extras import MissingExtra, needs


@pytest.mark.parametrize("module, hidden, extra", [
    ("quorvel.envs.pettingzoo", "pettingzoo", "pettingzoo"),
    ("quorvel.envs.gymnasium.env", "gymnasium", "gym"),
    ("quorvel.envs.gymnasium.discrete", "gymnasium", "gym"), ("quorvel.render", "PIL", "render")])
def test_importing_a_module_without_its_extra_names_the_extra(monkeypatch, module, hidden, extra):
    importlib.import_module(module)  # its siblings loaded first, whatever ran before
    for name in [m for m in sys.modules if m == module or m.startswith(f"{module}.")]:
        monkeypatch.delitem(sys.modules, name)
    monkeypatch.setitem(sys.modules, hidden, None)  # what an absent package looks like to import
    with pytest.raises(MissingExtra) as info:
        importlib.import_module(module)
    assert info.value.extra == extra and info.value.name == hidden
    assert str(info.value) == (f"{module} needs the {extra} extra ({hidden} is not installed): "
                               f"pip install 'quorvel[{extra}]'")


def test_other_import_errors_go_through_unchanged():
    with pytest.raises(ModuleNotFoundError) as info:
        with needs("render", "this test"):
            import quorvel_has_no_such_module  # noqa: F401
    assert type(info.value) is ModuleNotFoundError


def test_rllib_without_ray_names_the_ray_extra(monkeypatch):
    for name in [m for m in sys.modules if m in ("quorvel.rllib", "quorvel.envs.rllib")]:
        monkeypatch.delitem(sys.modules, name)
    for name in ["ray", *[m for m in sys.modules if m.startswith("ray.")]]:
        monkeypatch.setitem(sys.modules, name, None)  # Ray as if absent, even once imported
    with pytest.raises(MissingExtra) as info:
        importlib.import_module("quorvel.rllib")
    assert (info.value.extra, info.value.name) == ("ray", "ray")
    assert "pip install 'quorvel[ray]'" in str(info.value)
