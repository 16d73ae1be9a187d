"""python/quorvel/policies/npz_policy.py: a trained policy from a .npz file, played with numpy alone.

The file holds the network's weights (float32 arrays ``layer{i}.weight`` (out, in),
``layer{i}.bias``, ``move.*`` and ``kick.*``) and ``meta``, a JSON text (as uint8 bytes) that
describes the network, the observation layout it reads and the action choices it makes:

    {"format": "quorvel-policy", "version": 1,
     "network": {"activation": "tanh", "hidden": [64, 64]},
     "observation": {"layout": "egocentric", "version": 1, "players": 3, "features": 38},
     "actions": {"directions": 8, "kicks": 3, "repeat": 4},
     "field": {"field_width": 40.0, "field_height": 20.0, "player_max_speed": 6.0}, ...}

``load(path, config)`` checks all of it against the configuration it will play in and
refuses, with a ValueError that says what differs, a file it cannot run faithfully. The
policy it returns is called like every opponent, ``policy(obs, out, rng)``, once a tick; it
makes a new choice every ``repeat`` ticks as in training (drawn from its action
distribution with `rng`, or the likeliest with ``greedy=True``) and turns the held
choice into commands from each tick's observation.
"""
import json
import os
import zipfile
from collections.abc import Mapping, Sequence
from pathlib import Path
from typing import Any, cast

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig

from ..core.action_choices import KICKS, ActionChoices
from ..core.arrays import Float32Array
from ..core.egocentric import LAYOUT, VERSION as LAYOUT_VERSION, Egocentric, feature_count
from .base import Policy

Choices = tuple[npt.NDArray[np.intp], npt.NDArray[np.intp]]
"""(move, kick) integer choices, each (n, P) or (rows,)."""

FORMAT = "quorvel-policy"
VERSION = 1
MAX_FILE_BYTES = 16 << 20
FIELD_KEYS = ("field_width", "field_height", "player_max_speed")


def log_softmax(logits: npt.ArrayLike) -> npt.NDArray[np.float64]:
    """Row-wise log-probabilities in float64 (the same numbers whichever framework made the
    float32 logits)."""
    z = np.asarray(logits, np.float64)
    z = z - z.max(axis=-1, keepdims=True)
    logp: npt.NDArray[np.float64] = z - np.log(np.exp(z).sum(axis=-1, keepdims=True))
    return logp


def sample(logits: npt.ArrayLike, uniforms: npt.NDArray[np.float64]) -> tuple[
        npt.NDArray[np.intp], npt.NDArray[np.float64]]:
    """(choices, their log-probabilities), each (rows,): the rows of `logits` drawn by
    inverting their CDF at `uniforms`."""
    logp = log_softmax(logits)
    cdf = np.cumsum(np.exp(logp), axis=-1)
    choice = np.minimum((uniforms[:, None] >= cdf).sum(axis=-1), cdf.shape[-1] - 1)
    return choice, logp[np.arange(len(choice)), choice]


def field_of(config: EngineConfig) -> dict[str, float]:
    return {key: float(getattr(config, key)) for key in FIELD_KEYS}


def save(path: str | os.PathLike[str], arrays: Mapping[str, npt.NDArray[np.float32]],
         meta: Mapping[str, Any]) -> None:
    """Writes `arrays` (name -> float32 array) and `meta` (a JSON-able dict) to `path`."""
    meta = dict(meta, format=FORMAT, version=VERSION)
    blob = np.frombuffer(json.dumps(meta, sort_keys=True).encode(), np.uint8)
    with open(path, "wb") as file:
        np.savez_compressed(file, meta=blob, **cast(dict[str, Any], arrays))  # numpy types **arrays as options


class NumpyNet:
    """The policy heads of the trained network on numpy: (rows, F) -> (move, kick) logits."""

    def __init__(self, arrays: Mapping[str, Float32Array], hidden: Sequence[int]) -> None:
        self.layers = [(arrays[f"layer{i}.weight"].T.copy(), arrays[f"layer{i}.bias"])
                       for i in range(len(hidden))]
        self.move = (arrays["move.weight"].T.copy(), arrays["move.bias"])
        self.kick = (arrays["kick.weight"].T.copy(), arrays["kick.bias"])

    def __call__(self, x: Float32Array) -> tuple[Float32Array, Float32Array]:
        h = x
        for weight, bias in self.layers:
            h = np.tanh(h @ weight + bias)
        return h @ self.move[0] + self.move[1], h @ self.kick[0] + self.kick[1]


def _read(path: str | os.PathLike[str]) -> tuple[dict[str, Any], dict[str, npt.NDArray[Any]]]:
    path = Path(path)
    size = path.stat().st_size  # FileNotFoundError / PermissionError as they are
    if size > MAX_FILE_BYTES:
        raise ValueError(f"{path}: {size} bytes is too large for a policy file "
                         f"(at most {MAX_FILE_BYTES})")
    try:
        with zipfile.ZipFile(path) as archive:
            if sum(info.file_size for info in archive.infolist()) > 4 * MAX_FILE_BYTES:
                raise ValueError(f"{path}: its arrays are too large for a policy file")
        with np.load(path, allow_pickle=False) as npz:
            arrays = {name: npz[name] for name in npz.files}
    except (zipfile.BadZipFile, OSError, EOFError) as error:
        raise ValueError(f"{path}: not a policy file (.npz): {error}") from None
    except ValueError as error:
        raise ValueError(f"{path}: not a policy file (.npz): {error}") from None
    if "meta" not in arrays or arrays["meta"].dtype != np.uint8 or arrays["meta"].ndim != 1:
        raise ValueError(f"{path}: not a quorvel policy file (no meta description)")
    try:
        meta = json.loads(arrays.pop("meta").tobytes().decode())
    except (UnicodeDecodeError, ValueError):
        raise ValueError(f"{path}: its meta description is not JSON") from None
    if not isinstance(meta, dict) or meta.get("format") != FORMAT:
        raise ValueError(f"{path}: not a quorvel policy file")
    if meta.get("version") != VERSION:
        raise ValueError(f"{path}: policy file version {meta.get('version')!r}; "
                         f"this quorvel reads version {VERSION}")
    return meta, arrays


def _check(path: str | os.PathLike[str], meta: Mapping[str, Any], arrays: Mapping[str, npt.NDArray[Any]],
           config: EngineConfig) -> tuple[list[int], int, int]:
    """The (hidden, directions, repeat) of a file whose layout fits `config`; ValueError else."""
    try:
        obs, net, actions, trained = meta["observation"], meta["network"], meta["actions"], meta["field"]
        layout, players = obs["layout"], int(obs["players"])
        hidden = [int(width) for width in net["hidden"]]
        directions, kicks, repeat = int(actions["directions"]), int(actions["kicks"]), int(actions["repeat"])
        trained = {key: float(trained[key]) for key in FIELD_KEYS}
    except (KeyError, TypeError, ValueError):
        raise ValueError(f"{path}: its meta description is incomplete") from None
    if (layout, obs.get("version")) != (LAYOUT, LAYOUT_VERSION) or net.get("activation") != "tanh":
        raise ValueError(f"{path}: observation layout {layout!r} version {obs.get('version')!r} "
                         f"with {net.get('activation')!r} layers is not one this quorvel plays")
    wanted = int(config.players_per_team)
    if players != wanted:
        raise ValueError(f"{path}: the policy plays {players} a side; this configuration has "
                         f"{wanted} players a side")
    here = field_of(config)
    if any(not np.isclose(trained[key], here[key], rtol=1e-6) for key in FIELD_KEYS):
        raise ValueError(f"{path}: the policy was trained with "
                         + ", ".join(f"{k}={trained[k]:g}" for k in FIELD_KEYS)
                         + "; this configuration has "
                         + ", ".join(f"{k}={here[k]:g}" for k in FIELD_KEYS))
    if kicks != KICKS or directions < 1 or repeat < 1 or not hidden or min(hidden) < 1:
        raise ValueError(f"{path}: its action description is not one this quorvel plays")
    widths = [feature_count(players)] + hidden
    shapes: dict[str, tuple[int, ...]] = {f"layer{i}.weight": (widths[i + 1], widths[i]) for i in range(len(hidden))}
    shapes.update({f"layer{i}.bias": (widths[i + 1],) for i in range(len(hidden))})
    shapes.update({"move.weight": (directions + 1, widths[-1]), "move.bias": (directions + 1,),
                   "kick.weight": (KICKS, widths[-1]), "kick.bias": (KICKS,)})
    if set(arrays) != set(shapes):
        raise ValueError(f"{path}: its arrays {sorted(arrays)} do not match its network "
                         f"description (expected {sorted(shapes)})")
    for name, shape in shapes.items():
        array = arrays[name]
        if array.dtype != np.float32 or array.shape != shape:
            raise ValueError(f"{path}: array {name} is {array.dtype} {array.shape}, "
                             f"expected float32 {shape}")
        if not np.isfinite(array).all():
            raise ValueError(f"{path}: array {name} holds a value that is not finite")
    return hidden, directions, repeat


class NpzPolicy(Policy):
    """A trained policy read from `path`, made as ``NpzPolicy(config, path=..., greedy=False)``."""

    def __init__(self, config: EngineConfig, path: str | os.PathLike[str], greedy: bool = False) -> None:
        meta, arrays = _read(path)
        self._build(config, path, meta, arrays, greedy)

    @classmethod
    def from_contents(cls, config: EngineConfig, meta: Mapping[str, Any],
                      arrays: Mapping[str, npt.NDArray[Any]], greedy: bool = False) -> "NpzPolicy":
        """The policy of a description and weights held in memory (checked as a file's)."""
        policy = cls.__new__(cls)
        policy._build(config, "policy", meta, arrays, greedy)
        return policy

    def _build(self, config: EngineConfig, path: str | os.PathLike[str], meta: Mapping[str, Any],
               arrays: Mapping[str, npt.NDArray[Any]], greedy: bool) -> None:
        hidden, directions, repeat = _check(path, meta, arrays, config)
        self.meta, self.greedy, self.repeat = meta, bool(greedy), repeat
        self.net = NumpyNet(arrays, hidden)
        self.egocentric = Egocentric(config)
        self.choices = ActionChoices(config, directions)
        self.players = int(config.players_per_team)
        self._held: Choices | None = None
        self._ticks = 0

    def choose(self, obs: Float32Array, rng: np.random.Generator) -> Choices:
        """New choices (move, kick), each (n, P), for team observations (n, 8P + 4)."""
        n, p = obs.shape[0], self.players
        move_logits, kick_logits = self.net(self.egocentric(obs).reshape(n * p, -1))
        if self.greedy:
            move, kick = move_logits.argmax(axis=1), kick_logits.argmax(axis=1)
        else:
            uniforms = rng.random((2, n * p))
            move, kick = sample(move_logits, uniforms[0])[0], sample(kick_logits, uniforms[1])[0]
        return move.reshape(n, p), kick.reshape(n, p)

    def __call__(self, obs: Float32Array, out: Float32Array, rng: np.random.Generator) -> None:
        """Writes the commands (n, P, 4) for the team observations `obs` (n, 8P + 4) into `out`."""
        if self._held is None or self._held[0].shape[0] != obs.shape[0] or self._ticks % self.repeat == 0:
            self._held = self.choose(obs, rng)
            self._ticks = 0
        self._ticks += 1
        self.choices(self._held[0], self._held[1], obs, out)


def load(path: str | os.PathLike[str], config: EngineConfig, greedy: bool = False) -> NpzPolicy:
    """The policy of the .npz file at `path`, checked to fit `config` (ValueError if not)."""
    return NpzPolicy(config, path, greedy=greedy)
