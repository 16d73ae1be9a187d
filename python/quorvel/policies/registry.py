"""python/quorvel/policies/registry.py: the one registry of policies: names, policy files, policy objects and callables."""
import os
from collections.abc import Callable
from typing import Any, TypeAlias, cast

import numpy.typing as npt

from _quorvel import EngineConfig

from ..core.arrays import Float32Array
from .base import Policy
from .simple import CallablePolicy

PolicyFactory: TypeAlias = Callable[..., Policy]
"""Makes a policy: ``factory(config, **options)``."""
PolicyLoader: TypeAlias = Callable[..., Policy]
"""Makes a policy from a file: ``loader(path, config, **options)``."""
PolicySpec: TypeAlias = (str | os.PathLike[str] | Policy | type[Policy]
                         | Callable[[Float32Array], npt.ArrayLike])
"""Whatever ``make`` takes: a registered name, a policy file, a policy, a Policy
subclass, or a function of the observations returning the actions."""

_FACTORIES: dict[str, PolicyFactory] = {}
"""Registered name -> factory(config, **options)."""
_LOADERS: dict[str, PolicyLoader] = {}
"""File name ending -> loader(path, config, **options)."""


def register(name: str, factory: PolicyFactory) -> None:
    """Registers `factory`, called ``factory(config, **options)`` and returning a Policy, as
    `name`: a non-empty string without spaces; a ":" in it names a variant of a family
    ("scripted:hard"). ValueError for a name already taken or a bad one."""
    if not isinstance(name, str) or not name or any(c.isspace() for c in name):
        raise ValueError(f"a policy name must be a non-empty string without spaces, not {name!r}")
    if name in _FACTORIES:
        raise ValueError(f"a policy named {name!r} is already registered")
    if not callable(factory):
        raise TypeError(f"the factory of policy {name!r} must be callable")
    _FACTORIES[name] = factory


def register_loader(ending: str, loader: PolicyLoader) -> None:
    """Registers `loader`, called ``loader(path, config, **options)`` and returning a
    Policy, for the policy files whose name ends in `ending` (".npz"). ValueError for an
    ending already taken."""
    if not isinstance(ending, str) or not ending.startswith("."):
        raise ValueError(f"a policy file ending must be a string such as '.npz', not {ending!r}")
    if ending in _LOADERS:
        raise ValueError(f"a loader of {ending} policy files is already registered")
    _LOADERS[ending] = loader


def names() -> tuple[str, ...]:
    """The registered names, in the order they were registered."""
    return tuple(_FACTORIES)


def make(policy: PolicySpec, config: EngineConfig, *, batched: bool = True, **options: Any) -> Policy:
    """The Policy that `policy` stands for, for matches of `config`.

    `policy`: a registered name (see ``names()``), made with `options`; the path of a policy
    file (a str or os.PathLike whose name ends in a registered ending, such as ".npz");
    a Policy object, used as it is; a Policy subclass, made with `options`; or any other
    callable, wrapped as ``CallablePolicy(policy, batched)``. ValueError for a name or file
    nothing knows, TypeError for anything else.
    """
    if isinstance(policy, Policy):
        if options:
            raise TypeError(f"options {sorted(options)} apply to a policy's name, not to a policy object")
        return policy
    if isinstance(policy, type) and issubclass(policy, Policy):
        return policy(config, **options)
    if isinstance(policy, (str, os.PathLike)):
        text = os.fspath(policy)
        if isinstance(text, str):
            if text in _FACTORIES:
                return _FACTORIES[text](config, **options)
            for ending, loader in _LOADERS.items():
                if text.endswith(ending):
                    return loader(text, config, **options)
        raise ValueError(f"unknown policy {policy!r}: expected one of {', '.join(names())}, a "
                         f"policy file ({', '.join(_LOADERS) or 'no file loader is installed'}), "
                         "a Policy or a callable")
    if callable(policy):
        # Any other callable, a class that is no Policy included, is the function of the actions.
        return CallablePolicy(cast(Callable[[Float32Array], npt.ArrayLike], policy), batched)
    raise TypeError(f"a policy must be a name, a policy file, a Policy or a callable, "
                    f"not {type(policy).__name__}")
