"""python/quorvel/train/checkpoint.py: a run's checkpoint (everything needed to continue it exactly) and its policy exports (.npz).

A run directory holds:

    config.json                  the run's settings
    lock                         held by the trainer writing the directory
    checkpoint.pt                the latest checkpoint (replaced atomically)
    latest.npz                   the latest policy, for numpy alone (``quorvel.policies.npz_policy``)
    policies/update-NNNNNN.npz   the policy of every checkpoint
    progress.csv, eval.csv, tb/  the logs

A checkpoint is taken between episodes, where every match has ended: it holds the network,
the optimiser, every random generator, the league and the counters, and nothing of the
engine, which a resumed run resets with the next episode's seeds as the uninterrupted run
does. It is read with ``torch.load(weights_only=True)``, so opening a file runs no code.
"""
import json
import os
from pathlib import Path

import torch

from ..core.egocentric import Egocentric
from ..policies import npz_policy
from .rollout import engine_config

FORMAT = "quorvel-train-checkpoint"
VERSION = 1
CHECKPOINT = "checkpoint.pt"


def policy_contents(net, cfg):
    """(meta, arrays) of the policy `net` plays under `cfg`: what a .npz file holds."""
    config = engine_config(cfg)
    meta = {
        "format": npz_policy.FORMAT, "version": npz_policy.VERSION,
        "network": {"activation": "tanh", "hidden": list(net.hidden)},
        "observation": Egocentric(config).describe(),
        "actions": {"directions": net.moves - 1, "kicks": net.kicks, "repeat": cfg.repeat},
        "field": npz_policy.field_of(config),
    }
    return meta, net.policy_arrays()


def export(path, contents):
    """Writes a policy's (meta, arrays) as a .npz file, atomically."""
    path = Path(path)
    temporary = path.with_name(path.name + ".tmp")
    npz_policy.save(temporary, contents[1], contents[0])
    os.replace(temporary, path)


def _league_out(state):
    entries = {}
    for key, entry in state["entries"].items():
        policy = entry["policy"]
        if isinstance(policy, tuple):
            policy = {"meta": json.dumps(policy[0]),
                      "arrays": {k: torch.from_numpy(v) for k, v in policy[1].items()}}
        entries[key] = dict(entry, policy=policy)
    return dict(state, entries=entries)


def _league_in(state):
    entries = {}
    for key, entry in state["entries"].items():
        policy = entry["policy"]
        if isinstance(policy, dict):
            policy = (json.loads(policy["meta"]),
                      {k: v.numpy() for k, v in policy["arrays"].items()})
        entries[key] = dict(entry, policy=policy)
    return dict(state, entries=entries)


def save(out, cfg, learner, worker_state, league, progress):
    out = Path(out)
    state = {"format": FORMAT, "version": VERSION, "config": cfg.to_dict(),
             "learner": learner.state(), "worker": worker_state,
             "league": _league_out(league.state()), "progress": dict(progress)}
    temporary = out / (CHECKPOINT + ".tmp")
    torch.save(state, temporary)
    os.replace(temporary, out / CHECKPOINT)
    contents = policy_contents(learner.net, cfg)
    (out / "policies").mkdir(exist_ok=True)
    export(out / "policies" / f"update-{learner.updates:06d}.npz", contents)
    export(out / "latest.npz", contents)


class RunInUse(ValueError):
    """Another trainer is writing the run directory."""


def lock(out):
    """An open file holding an exclusive lock on the run directory `out` (closing it
    releases the lock); RunInUse when another trainer holds it."""
    import fcntl

    file = open(Path(out) / "lock", "w")
    try:
        fcntl.flock(file, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except OSError:
        file.close()
        raise RunInUse(f"{out} is in use by another `quorvel train`") from None
    return file


def exists(out):
    return (Path(out) / CHECKPOINT).is_file()


def load(out):
    """The saved state of the run in `out`; ValueError when it is not a checkpoint."""
    path = Path(out) / CHECKPOINT
    try:
        state = torch.load(path, weights_only=True)
    except FileNotFoundError:
        raise
    except Exception as error:  # noqa: BLE001 - any unreadable file is the same to the user
        raise ValueError(f"{path}: not a readable checkpoint: {error}") from None
    if not isinstance(state, dict) or state.get("format") != FORMAT:
        raise ValueError(f"{path}: not a quorvel training checkpoint")
    if state.get("version") != VERSION:
        raise ValueError(f"{path}: checkpoint version {state.get('version')!r}; "
                         f"this quorvel reads version {VERSION}")
    state["league"] = _league_in(state["league"])
    return state


