"""python/quorvel/core/config.py: EngineConfig as plain fields: copies, and pickling through copyreg.

``_quorvel.EngineConfig`` has no pickle support of its own (its contract is fixed), and its
class lives in ``builtins`` where pickle cannot find it; the package registers a reducer
that stores the fields by name and rebuilds the configuration here.
"""
import copyreg

from _quorvel import EngineConfig

from .._batch import CONFIG_FIELDS


def config_fields(config):
    """The fields of `config` as a dict, in the constructor's order."""
    return {name: getattr(config, name) for name in CONFIG_FIELDS}


def config_from_fields(fields):
    """An EngineConfig from a dict of fields (the unpickler's entry point: keep its name)."""
    return EngineConfig(**fields)


def copy_config(config):
    """A copy of `config`, unshared with it."""
    return EngineConfig(**config_fields(config))


def _reduce(config):
    return config_from_fields, (config_fields(config),)


def register_pickling():
    """Lets pickle and copy (deep or shallow) take EngineConfig; registering again changes nothing."""
    copyreg.pickle(EngineConfig, _reduce)
