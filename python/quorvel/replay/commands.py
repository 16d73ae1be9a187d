# python/quorvel/replay/commands.py: a tick's pair of Actions to a row of floats, and back.
from typing import cast

import numpy as np
import numpy.typing as npt

from _quorvel import Action, Actions

from ..core.arrays import Float32Array

ActionPair = tuple[Actions, Actions]
"""A tick's commands as Engine.step takes them: (team A's, team B's)."""


def encode(pair: ActionPair, players: int, row: Float32Array) -> list[int]:
    """Writes a (team A, team B) pair of Actions into `row` (float32 (2, P, 4), zeroed);
    returns how many players each team commanded. Entries beyond the team are ignored by
    the engine, so they are not kept."""
    counts = []
    for team, actions in enumerate(pair):
        given = actions.players[:players]
        for i, action in enumerate(given):
            row[team, i, 0:2] = action.move_dir
            if action.kick is not None:
                row[team, i, 2:4] = action.kick
        counts.append(len(given))
    return counts


def decode_all(commands: Float32Array, counts: npt.NDArray[np.uint8]) -> list[ActionPair]:
    """The pairs of Actions of every tick. A team whose commands repeat those of its
    previous tick (standing still, holding a move) reuses that tick's Actions object.

    Built from one flat list of Python floats: numpy's nested tolist() and per-row
    slicing would cost more than the engine's own ticks."""
    ticks, teams, players, _ = commands.shape
    rows = commands.reshape(ticks, teams, players * 4)
    repeats = np.zeros((ticks, teams), bool)
    repeats[1:] = (rows[1:] == rows[:-1]).all(axis=2) & (counts[1:] == counts[:-1])
    values = iter(commands.ravel().tolist())
    quads = list(zip(values, values, values, values))
    action, group = Action, Actions
    built: list[tuple[Actions, ...]] = []
    previous = [group([])] * teams  # each replaced before a repeat reads it: tick 0 repeats nothing
    for tick, (repeat_rows, count_row) in enumerate(zip(repeats.tolist(), counts.tolist())):
        pair: list[Actions] = []
        for team in range(teams):
            if repeat_rows[team]:
                pair.append(previous[team])
                continue
            start = (tick * teams + team) * players
            actions = group([action((mx, my), (kx, ky) if kx or ky else None)
                             for mx, my, kx, ky in quads[start:start + count_row[team]]])
            previous[team] = actions
            pair.append(actions)
        built.append(tuple(pair))
    return cast(list[ActionPair], built)  # a pair a tick: commands hold two teams
