# python/quorvel/replay/record.py: a recorded match (configuration, seeds, commands) and its file.
"""The replay file: a compressed numpy archive (.npz, no pickles) holding

    format       "quorvel-replay"
    version      format version (int); files of another version are refused
    physics      the engine's physics version (int) the match was played with; absent
                 in files written before it was recorded, which are physics version 1.
                 Files of another physics version are refused: their commands no longer
                 play the recorded match
    writer       the quorvel version that wrote the file (shown when a replay differs)
    config       the EngineConfig's fields as JSON (floats are exact: a 32-bit float
                 written as its exact decimal double reads back as the same float)
    event_kind   uint8 (K,): BUILD (a new engine from config and event_seed) or RESET
    event_seed   uint64 (K,): the seed of each BUILD (0 for a RESET)
    event_tick   uint64 (K,): how many commands were played before the event
    commands     float32 (T, 2, P, 4): each tick's (team A, team B) commands, one row
                 per player (move_x, move_y, kick_x, kick_y) in the team's own frame,
                 a zero kick standing for none; stored as byte planes ordered field
                 first, which compresses a third better than the plain array
    counts       uint8 (T, 2): how many players each team commanded (a shorter list
                 leaves the others uncommanded)
    fingerprint  SHA-256 (hex) of the last spectator frame

Event 0 is always the BUILD of the first engine. A 9000-tick 3-a-side match of the
scripted teams takes about 330 kB.
"""
import dataclasses
import hashlib
import json
import re
import zipfile
from pathlib import Path

import numpy as np

from _quorvel import EngineConfig

FORMAT = "quorvel-replay"
VERSION = 1
# Raised with every change to the engine that changes which match given commands play
# (2: Box2D stepped without continuous collision, in sound discrete substeps).
PHYSICS = 2
BUILD, RESET = 0, 1
CONFIG_FIELDS = tuple(re.findall(r"(\w+)=", EngineConfig.__text_signature__))


class ReplayError(ValueError):
    """A replay file that cannot be used."""


class ReplayFormatError(ReplayError):
    """Not a replay file, a damaged one, or one of another format version."""


class ReplayMismatch(ReplayError):
    """Replaying the recorded commands did not give the recorded match."""


def writer_version():
    try:
        from importlib.metadata import version
        return version("quorvel")
    except Exception:  # noqa: BLE001 - running from a source tree
        return "unknown"


def config_to_json(config):
    return json.dumps({name: getattr(config, name) for name in CONFIG_FIELDS})


def config_from_json(text):
    fields = json.loads(text)
    if not isinstance(fields, dict) or set(fields) - set(CONFIG_FIELDS):
        raise ReplayFormatError(f"unknown configuration fields: {sorted(set(fields) - set(CONFIG_FIELDS))}")
    return EngineConfig(**fields)


def fingerprint(frame):
    """SHA-256 (hex) of everything a spectator frame holds, floats as their 32-bit patterns."""
    values = [frame.tick, *frame.score]
    floats = []
    for player in frame.players:
        values.append(player.team)
        floats.extend(player.position)
        floats.extend(player.velocity)
    floats.extend(frame.ball.position)
    floats.extend(frame.ball.velocity)
    digest = hashlib.sha256(np.array(values, "<u8").tobytes())
    digest.update(np.array(floats, "<f4").tobytes())
    return digest.hexdigest()


@dataclasses.dataclass
class MatchRecord:
    """Everything needed to play a recorded match again."""
    config: EngineConfig
    events: list            # (kind, seed, tick) triples, in the order they happened
    commands: np.ndarray    # float32 (T, 2, P, 4)
    counts: np.ndarray      # uint8 (T, 2)
    fingerprint: str
    writer: str = dataclasses.field(default_factory=writer_version)

    @property
    def ticks(self):
        return len(self.commands)

    @property
    def frames(self):
        """How many frames a replay shows: one a tick, and one after each run of builds and
        resets that happen between the same two ticks."""
        return self.ticks + len({at for _, _, at in self.events})

    def save(self, path):
        kinds, seeds, ticks = (np.array(column, dtype) for column, dtype in
                               zip(zip(*self.events), (np.uint8, np.uint64, np.uint64)))
        planes = np.ascontiguousarray(self.commands.astype("<f4").transpose(1, 2, 3, 0))
        with open(path, "wb") as out:
            np.savez_compressed(
                out, format=np.array(FORMAT), version=np.array(VERSION), physics=np.array(PHYSICS),
                writer=np.array(self.writer),
                config=np.array(config_to_json(self.config)), event_kind=kinds, event_seed=seeds,
                event_tick=ticks, commands_shape=np.array(self.commands.shape, np.uint64),
                commands=planes.view(np.uint8).reshape(-1, 4).T.copy(), counts=self.counts,
                fingerprint=np.array(self.fingerprint))

    @classmethod
    def load(cls, path):
        """Reads a replay file; ReplayFormatError for anything but one of this version.
        OSError (a missing or unreadable file) passes through."""
        with open(path, "rb") as source:
            if source.read(4) != b"PK\x03\x04":  # every .npz is a zip archive
                raise ReplayFormatError(f"{Path(path).name} is not a replay file (not a numpy "
                                        ".npz archive)")
            source.seek(0)
            try:
                with np.load(source, allow_pickle=False) as archive:
                    return cls._from_archive(archive, Path(path).name)
            except ReplayError:
                raise
            except (ValueError, KeyError, EOFError, zipfile.BadZipFile, OSError, TypeError,
                    IndexError) as damage:
                raise ReplayFormatError(f"{Path(path).name} is not a readable replay file "
                                        f"({damage})") from damage

    @classmethod
    def _from_archive(cls, archive, name):
        if "format" not in archive.files or str(archive["format"]) != FORMAT:
            raise ReplayFormatError(f"{name} is not a quorvel replay file")
        version = int(archive["version"])
        if version != VERSION:
            raise ReplayFormatError(f"{name} has replay format version {version}; this quorvel "
                                    f"({writer_version()}) reads version {VERSION} only")
        physics = int(archive["physics"]) if "physics" in archive.files else 1
        if physics != PHYSICS:
            raise ReplayFormatError(f"{name} was played with physics version {physics} (quorvel "
                                    f"{archive['writer']}); this quorvel ({writer_version()}) plays "
                                    f"physics version {PHYSICS} and cannot reproduce that match")
        config = config_from_json(str(archive["config"]))
        shape = tuple(int(n) for n in archive["commands_shape"])
        ticks, teams, players, width = shape
        if (teams, width) != (2, 4) or players != config.players_per_team:
            raise ReplayFormatError(f"{name}: commands of shape {shape} do not fit "
                                    f"{config.players_per_team} players a side")
        planes = np.ascontiguousarray(archive["commands"].T).view("<f4").reshape(2, players, 4, ticks)
        commands = np.ascontiguousarray(planes.transpose(3, 0, 1, 2)).astype(np.float32, copy=False)
        counts = archive["counts"]
        if counts.shape != (ticks, 2) or counts.dtype != np.uint8 or (counts > players).any():
            raise ReplayFormatError(f"{name}: command counts do not fit the commands")
        kinds, seeds, at = (archive[key] for key in ("event_kind", "event_seed", "event_tick"))
        if not (len(kinds) == len(seeds) == len(at) >= 1) or kinds[0] != BUILD \
                or not np.isin(kinds, (BUILD, RESET)).all() or (np.diff(at.astype(np.int64)) < 0).any() \
                or at[-1] > ticks:
            raise ReplayFormatError(f"{name}: its list of builds and resets is damaged")
        events = [(int(k), int(s), int(t)) for k, s, t in zip(kinds, seeds, at)]
        return cls(config, events, commands, counts, str(archive["fingerprint"]), str(archive["writer"]))
