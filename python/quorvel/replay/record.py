# python/quorvel/replay/record.py: a recorded match (configuration, seeds, commands) and its file.
"""The replay file: a compressed numpy archive (.npz, no pickles) holding

    format       "quorvel-replay"
    version      format version (int): 2; version 1 files (written before placements,
                 so holding no PLACE event) are read too, any other is refused
    physics      the engine's physics version (int) the match was played with; absent
                 in files written before it was recorded, which are physics version 1.
                 Files of another physics version are refused: their commands no longer
                 play the recorded match
    writer       the quorvel version that wrote the file (shown when a replay differs)
    config       the EngineConfig's fields as JSON (floats are exact: a 32-bit float
                 written as its exact decimal double reads back as the same float)
    event_kind   uint8 (K,): BUILD (a new engine from config and event_seed), RESET or
                 PLACE (bodies, clock and score set as BatchEngine.place sets them)
    event_seed   uint64 (K,): the seed of each BUILD, the index of each PLACE's rows in
                 placements (0, 1, ... in order), 0 for a RESET
    event_tick   uint64 (K,): how many commands were played before the event
    commands     float32 (T, 2, P, 4): each tick's (team A, team B) commands, one row
                 per player (move_x, move_y, kick_x, kick_y) in the team's own frame,
                 a zero kick standing for none; stored as byte planes ordered field
                 first, which compresses a third better than the plain array
    counts       uint8 (T, 2): how many players each team commanded (a shorter list
                 leaves the others uncommanded)
    fingerprint  SHA-256 (hex) of the last spectator frame
    placements   float32 (L, 2P + 1, 4), only with L > 0 PLACE events: each placement's
                 (x, y, vx, vy) of team A's players, team B's, then the ball
    placement_clocks  int64 (L, 3): each placement's tick and score (team A's, team B's),
                 -1 where it kept the match's own

Event 0 is always the BUILD of the first engine. A 9000-tick 3-a-side match of the
scripted teams takes about 330 kB.
"""
import dataclasses
import hashlib
import json
import os
import re
from pathlib import Path
from typing import Any

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig, SpectatorFrame

from .._batch import CONFIG_FIELDS
from ..version import package_version
from ..core.arrays import Float32Array
from .archive import ReplayArchive, reason
from .errors import ReplayFormatError

FORMAT = "quorvel-replay"
VERSION = 2
READABLE_VERSIONS = (1, 2)
# Raised with every change to the engine that changes which match given commands play
# (2: Box2D stepped without continuous collision, in sound discrete substeps; 3: its world
# built at half a length per field unit, four velocity iterations a step).
PHYSICS = 3
BUILD, RESET, PLACE = 0, 1, 2
Event = tuple[int, int, int]
"""A build, reset or placement: (BUILD, RESET or PLACE, the build's seed, the placement's
index or 0 for a reset, ticks played before it)."""
ClockArray = npt.NDArray[np.int64]
"""Placements' clocks (L, 3): tick, team A's and team B's goals; -1 where kept."""
MAX_DATA_BYTES = 256 << 20
"""The most bytes a replay file's arrays may declare in all, uncompressed, unless the
caller allows more: 2.7 million ticks at 3 a side (300 whole matches)."""
MAX_EVENTS = 1 << 20
"""The most builds and resets a replay file may hold: each becomes Python objects some
six times its size in the file."""


def writer_version() -> str:
    """The version of quorvel that writes a file (and replays it)."""
    return package_version()


def config_to_json(config: EngineConfig) -> str:
    return json.dumps({name: getattr(config, name) for name in CONFIG_FIELDS})


def config_from_json(text: str, name: str = "the replay file") -> EngineConfig:
    """The EngineConfig of the JSON object `text`; ReplayFormatError naming the field the
    configuration refuses. Fields left out keep their defaults."""
    try:
        fields = json.loads(text)
    except (ValueError, RecursionError) as damage:
        raise ReplayFormatError(f"{name}: its configuration is not readable JSON "
                                f"({type(damage).__name__}: {reason(damage)})") from None
    if not isinstance(fields, dict):
        raise ReplayFormatError(f"{name}: its configuration is not a JSON object")
    unknown = sorted(set(fields) - set(CONFIG_FIELDS))
    if unknown:
        raise ReplayFormatError(f"{name}: unknown configuration fields: {unknown}")
    config = EngineConfig()
    for field, value in fields.items():
        try:
            if isinstance(value, bool):
                raise TypeError("true and false are not numbers")
            setattr(config, field, value)
        except (TypeError, ValueError, OverflowError) as refused:
            shown = repr(value) if len(repr(value)) <= 40 else repr(value)[:37] + "..."
            raise ReplayFormatError(f"{name}: configuration field {field} = {shown} is "
                                    f"refused: {refused}") from None
    return config


def fingerprint(frame: SpectatorFrame) -> str:
    """SHA-256 (hex) of everything a spectator frame holds, floats as their 32-bit patterns."""
    values = [frame.tick, *frame.score]
    floats: list[float] = []
    for player in frame.players:
        values.append(player.team)
        floats.extend(player.position)
        floats.extend(player.velocity)
    floats.extend(frame.ball.position)
    floats.extend(frame.ball.velocity)
    digest = hashlib.sha256(np.array(values, "<u8").tobytes())
    digest.update(np.array(floats, "<f4").tobytes())
    return digest.hexdigest()


def no_placements(players: int) -> Float32Array:
    """The placements of a match that placed nothing: (0, 2P + 1, 4)."""
    return np.zeros((0, 2 * players + 1, 4), np.float32)


def no_clocks() -> ClockArray:
    return np.zeros((0, 3), np.int64)


@dataclasses.dataclass
class MatchRecord:
    """Everything needed to play a recorded match again."""
    config: EngineConfig
    events: list[Event]             # in the order they happened
    commands: Float32Array          # (T, 2, P, 4)
    counts: npt.NDArray[np.uint8]   # (T, 2)
    fingerprint: str
    writer: str = dataclasses.field(default_factory=writer_version)
    # (L, 2P + 1, 4), row k for the PLACE event of index k (none by default)
    placements: Float32Array = dataclasses.field(default_factory=lambda: no_placements(0))
    clocks: ClockArray = dataclasses.field(default_factory=no_clocks)  # (L, 3)

    def __post_init__(self) -> None:
        if not len(self.placements):
            self.placements = no_placements(self.config.players_per_team)

    @property
    def ticks(self) -> int:
        return len(self.commands)

    @property
    def frames(self) -> int:
        """How many frames a replay shows: one a tick, and one after each run of builds and
        resets that happen between the same two ticks."""
        return self.ticks + len({at for _, _, at in self.events})

    def save(self, path: str | os.PathLike[str]) -> None:
        kinds, seeds, ticks = (np.array(column, dtype) for column, dtype in
                               zip(zip(*self.events), (np.uint8, np.uint64, np.uint64)))
        planes = np.ascontiguousarray(self.commands.astype("<f4").transpose(1, 2, 3, 0))
        placed: dict[str, Any] = {}  # (Any: numpy's stubs read ** as perhaps allow_pickle)
        if len(self.placements):
            placed = {"placements": self.placements.astype("<f4"),
                      "placement_clocks": self.clocks.astype("<i8")}
        with open(path, "wb") as out:
            np.savez_compressed(
                out, format=np.array(FORMAT), version=np.array(VERSION), physics=np.array(PHYSICS),
                writer=np.array(self.writer),
                config=np.array(config_to_json(self.config)), event_kind=kinds, event_seed=seeds,
                event_tick=ticks, commands_shape=np.array(self.commands.shape, np.uint64),
                commands=planes.view(np.uint8).reshape(-1, 4).T.copy(), counts=self.counts,
                fingerprint=np.array(self.fingerprint), **placed)

    @classmethod
    def load(cls, path: str | os.PathLike[str], limit: int = MAX_DATA_BYTES) -> "MatchRecord":
        """Reads a replay file; ReplayFormatError for anything but one of this version.
        A file whose arrays declare more than `limit` bytes in all is refused before they
        are read (loading takes about twice what they declare). OSError (a missing or
        unreadable file) passes through."""
        name = Path(path).name
        with open(path, "rb") as source:
            if source.read(4) != b"PK\x03\x04":  # every .npz is a zip archive
                raise ReplayFormatError(f"{name} is not a replay file (not a numpy .npz archive)")
            source.seek(0)
            with ReplayArchive(source, name, limit) as archive:
                return cls._from_archive(archive, name, limit)

    @classmethod
    def _from_archive(cls, archive: ReplayArchive, name: str, limit: int) -> "MatchRecord":
        # The small members first, so that the commands' size is known before they are read.
        if not archive.has("format") or archive.scalar("format", "U") != FORMAT:
            raise ReplayFormatError(f"{name} is not a quorvel replay file")
        version = archive.scalar("version", "iu")
        if version not in READABLE_VERSIONS:
            raise ReplayFormatError(f"{name} has replay format version {version}; this quorvel "
                                    f"({writer_version()}) reads versions 1 to {VERSION} only")
        physics = archive.scalar("physics", "iu") if archive.has("physics") else 1
        if physics != PHYSICS:
            raise ReplayFormatError(f"{name} was played with physics version {physics}; this "
                                    f"quorvel ({writer_version()}) plays physics version "
                                    f"{PHYSICS} and cannot reproduce that match")
        config = config_from_json(archive.scalar("config", "U"), name)
        writer, last = archive.scalar("writer", "U"), archive.scalar("fingerprint", "U")
        if not re.fullmatch(r"[0-9a-f]{64}", last):
            raise ReplayFormatError(f"{name}: its fingerprint is not a SHA-256 in hex")
        if len(writer) > 100 or not writer.isprintable():  # it is shown in messages
            raise ReplayFormatError(f"{name}: its writer is not a version name")
        events = _events(archive, name, PLACE if version >= 2 else RESET)
        ticks, teams, players, width = archive.array("commands_shape", "u", shape=(4,)).tolist()
        if (teams, width) != (2, 4) or players != config.players_per_team:
            raise ReplayFormatError(f"{name}: commands of shape {(ticks, teams, players, width)} "
                                    f"do not fit {config.players_per_team} players a side")
        floats = ticks * 2 * players * 4
        if 4 * floats + 2 * ticks > archive.budget:
            raise ReplayFormatError(
                f"{name} declares {ticks:,} ticks of commands ({4 * floats + 2 * ticks:,} bytes), "
                f"more than the {limit:,} bytes a replay file may hold here")
        if events[-1][2] > ticks:
            raise ReplayFormatError(f"{name}: its list of builds and resets goes beyond its "
                                    f"{ticks} ticks of commands")
        counts = archive.array("counts", "u", shape=(ticks, 2), itemsize=1).copy()
        if (counts > players).any():
            raise ReplayFormatError(f"{name}: command counts do not fit the commands")
        placements, clocks = _placements(archive, name, events, players)
        planes = archive.array("commands", "u", shape=(4, floats), itemsize=1)
        return cls(config, events, _commands_from_planes(planes, ticks, players), counts,
                   last, writer, placements, clocks)


def _events(archive: ReplayArchive, name: str, last_kind: int) -> list[Event]:
    """The (kind, seed, tick) triples of the file's builds, resets and placements (kinds
    up to `last_kind`)."""
    kinds, seeds, at = (archive.array(key, kinds, shape=(None,), most=8 * MAX_EVENTS)
                        for key, kinds in (("event_kind", "u"), ("event_seed", "ui"),
                                           ("event_tick", "ui")))
    if len(kinds) > MAX_EVENTS:
        raise ReplayFormatError(f"{name} holds {len(kinds):,} builds and resets, more than "
                                f"the {MAX_EVENTS:,} a replay file may hold")
    if not len(kinds) == len(seeds) == len(at):
        raise ReplayFormatError(f"{name}: its lists of builds and resets differ in length")
    if not len(kinds):
        raise ReplayFormatError(f"{name} records no build of a match")
    if (seeds < 0).any() or (at < 0).any():
        raise ReplayFormatError(f"{name}: a build's seed or an event's tick is negative")
    kinds, seeds, at = kinds.tolist(), seeds.tolist(), at.tolist()
    if kinds[0] != BUILD or not set(kinds) <= set(range(last_kind + 1)) \
            or any(later < earlier for earlier, later in zip(at, at[1:])):
        raise ReplayFormatError(f"{name}: its list of builds and resets is damaged")
    return list(zip(kinds, seeds, at))


def _placements(archive: ReplayArchive, name: str, events: list[Event],
                players: int) -> tuple[Float32Array, ClockArray]:
    """The rows and clocks of the file's placements, one per PLACE event, which index them
    in order. The engine checks the numbers themselves when the match is replayed."""
    indices = [seed for kind, seed, _ in events if kind == PLACE]
    if indices != list(range(len(indices))):
        raise ReplayFormatError(f"{name}: its placements are not indexed in order")
    count, bodies = len(indices), 2 * players + 1
    if not count:
        return no_placements(players), no_clocks()
    rows = archive.array("placements", "f", shape=(count, bodies, 4), itemsize=4)
    clocks = archive.array("placement_clocks", "i", shape=(count, 3), itemsize=8)
    if ((clocks < -1) | (clocks > 2**32 - 1)).any():
        raise ReplayFormatError(f"{name}: a placement's tick or score is out of range")
    return rows.astype(np.float32), clocks.astype(np.int64)


def _commands_from_planes(planes: npt.NDArray[np.uint8], ticks: int, players: int) -> Float32Array:
    """float32 (T, 2, P, 4) from the stored byte planes (byte b of every float, the floats
    ordered field first), in one pass with no copy of the planes."""
    commands = np.empty((ticks, 2, players, 4), "<f4")
    as_bytes = commands.view(np.uint8).reshape(ticks, 2, players, 4, 4)
    for byte, plane in enumerate(planes):
        as_bytes[..., byte] = plane.reshape(2, players, 4, ticks).transpose(3, 0, 1, 2)
    return commands.astype(np.float32, copy=False)
