# tests/test_replay_damaged.py: a corpus of damaged and hostile replay files, each refused with ReplayFormatError, in bounded memory.
import io
import json
import os
import struct
import subprocess
import sys
import warnings
import zipfile
import zlib

import numpy as np
import pytest

from _quorvel import Action, Actions, EngineConfig
from quorvel.replay import (MatchRecord, RecordingEngine, ReplayError, ReplayFormatError,
                            fingerprint, replay)

GiB = 1 << 30


@pytest.fixture(scope="module")
def good(tmp_path_factory):
    """A short recorded match (two builds, a reset), its file's bytes and its members."""
    config = EngineConfig(players_per_team=2)
    engine = RecordingEngine(config, 5)
    rng = np.random.default_rng(1)
    for seed in (5, 2**64 - 1):
        if seed != 5:
            engine.rebuild(seed)
        engine.reset()
        for _ in range(20):
            rows = rng.uniform(-1, 1, (2, 2, 4))
            engine.step(tuple(Actions([Action(tuple(r[:2]), tuple(r[2:])) for r in team])
                              for team in rows))
    path = tmp_path_factory.mktemp("corpus") / "good.npz"
    engine.save(path)
    with zipfile.ZipFile(path) as archive:
        members = {info.filename: archive.read(info) for info in archive.infolist()}
    return path.read_bytes(), members, fingerprint(engine.spectator_frame())


def npy(value, allow_pickle=False):
    out = io.BytesIO()
    np.lib.format.write_array(out, np.asanyarray(value), allow_pickle=allow_pickle)
    return out.getvalue()


def raw_zip(entries):
    """A zip archive written field by field, so that it can say anything: `entries` are
    (name, data, options) with options among method, flags, size (the declared
    uncompressed size), crc and packed (data already compressed as `method` says)."""
    body, directory = bytearray(), bytearray()
    for name, data, options in entries:
        method = options.get("method", zipfile.ZIP_DEFLATED)
        packed = options.get("packed")
        if packed is None:
            packed = data if method != zipfile.ZIP_DEFLATED else _deflate(data)
        crc = options.get("crc", zlib.crc32(data))
        size, flags, encoded = options.get("size", len(data)), options.get("flags", 0), name.encode()
        fields = struct.pack("<HHHHHIII", 20, flags, method, 0, 0x21, crc, len(packed), size)
        directory += (b"PK\x01\x02" + struct.pack("<H", 20) + fields
                      + struct.pack("<HHHHHII", len(encoded), 0, 0, 0, 0, 0, len(body)) + encoded)
        body += b"PK\x03\x04" + fields + struct.pack("<HH", len(encoded), 0) + encoded + packed
    end = struct.pack("<4sHHHHIIH", b"PK\x05\x06", 0, 0, len(entries), len(entries),
                      len(directory), len(body), 0)
    return bytes(body + directory + end)


def _deflate(data):
    packer = zlib.compressobj(6, zlib.DEFLATED, -15)
    return packer.compress(data) + packer.flush()


def zeros_deflated(size):
    """Deflate data (raw) that inflates to `size` zero bytes, made in milliseconds: the
    compressor is flushed at every MiB, so each MiB compresses to the same bytes."""
    packer = zlib.compressobj(9, zlib.DEFLATED, -15)
    piece = packer.compress(bytes(1 << 20)) + packer.flush(zlib.Z_FULL_FLUSH)
    return piece * (size >> 20) + packer.flush()


def zeros_crc(size, cache={}):
    if size not in cache:
        crc, block = 0, bytes(1 << 20)
        for _ in range(size >> 20):
            crc = zlib.crc32(block, crc)
        cache[size] = crc
    return cache[size]


def variant(members, changes=(), drop=(), **options):
    """The good file's members with some replaced (name without .npy -> array, or bytes as
    the member's whole content), some dropped, and zip options for some (name -> dict)."""
    entries = []
    for filename, data in members.items():
        key = filename[:-4]
        if key in drop:
            continue
        if key in dict(changes):
            value = dict(changes)[key]
            data = value if isinstance(value, bytes) else npy(value)
        entries.append((filename, data, options.get(key, {})))
    return raw_zip(entries)


def config_with(members, **fields):
    config = json.loads(np.load(io.BytesIO(members["config.npy"])).item())
    config.update(fields)
    return np.array(json.dumps(config))


def hostile_files(members):
    """(label, words the error must say, bytes) for each deliberately bad file."""
    m = members

    def swap(**changes):  # each an array, or bytes standing for the member's whole content
        return variant(m, changes.items())

    def config(**fields):
        return swap(config=config_with(m, **fields))

    ticks = int(np.frombuffer(m["commands_shape.npy"][-32:], "<u8")[0])
    kinds, seeds, at = (np.load(io.BytesIO(m[f"event_{k}.npy"])) for k in ("kind", "seed", "tick"))
    one = npy(np.array(1))
    yield "compression method 99", "method 99", variant(m, commands={"method": 99})
    yield "bzip2 member", "method 12", variant(m, counts={"method": zipfile.ZIP_BZIP2})
    yield "encrypted flag", "encrypted", variant(m, config={"flags": 1})
    yield "member said 4 GiB", "declares", variant(m, fingerprint={"size": 2**32 - 1})
    yield "more members than a replay's", "members", raw_zip([(f"x{i}.npy", b"", {}) for i in range(65)])
    yield "counts missing", "no counts", variant(m, drop=("counts",))
    huge = npy(np.zeros(3, np.uint8)).replace(b"(3,)", b"(2199023255552,)").ljust(200, b"\0")
    yield "2 TiB npy shape", "shape", swap(commands=huge)
    for shape, says in (([2**64 - 1, 2, 2, 4], "ticks"), ([2**40, 2, 2, 4], "ticks"),
                        ([ticks, 2, 7, 4], "players")):
        yield f"commands shape {shape}", says, swap(commands_shape=np.array(shape, np.uint64))
    yield "commands not npy", "not a numpy array", swap(commands=bytes(2560))
    yield "commands as floats", "commands", swap(commands=np.zeros((4, ticks * 16), np.float32))
    long_header = one.replace(b"\x76\x00", struct.pack("<H", 5000 - 10), 1).ljust(5000, b" ")
    yield "npy header of 5000 bytes", "not a numpy array", swap(version=long_header)
    yield "npy version 3", "npy format", swap(version=one.replace(b"\x01\x00", b"\x03\x00", 1))
    yield "pickled config", "object", swap(config=npy(np.array([{"a": 1}], object), True))
    yield "deep JSON", "config", swap(config=np.array("[" * 100_000))
    yield "deep JSON under the size cap", "JSON", swap(config=np.array("[" * 4000 + "]" * 4000))
    yield "JSON not an object", "object", swap(config=np.array("[3]"))
    yield "digits beyond int's", "JSON", swap(config=np.array('{"max_ticks": ' + "9" * 5000 + "}"))
    yield "unknown field", "colour", config(colour=1)
    for value in (-1, 10**30, 2**64, 1.5, "3", True, None, [3]):
        yield f"players {value!r}", "players_per_team", config(players_per_team=value)
    yield "max_ticks 10**30", "max_ticks", config(max_ticks=10**30)
    yield "dt text", "dt", config(dt="0.03")
    for value in (np.array(1.9), np.array("1"), np.array(True), np.array(3), np.array(-1)):
        yield f"version {value!r}", "version", swap(version=value)
    for value in (-1, 1e30, 1.5):
        changed = seeds.astype(type(value))
        changed[0] = value
        yield f"seed {value!r}", "negative" if value == -1 else "event_seed", swap(event_seed=changed)
    yield "event beyond the ticks", "beyond", swap(event_tick=at + np.uint64(ticks))
    yield "events out of order", "builds and resets", swap(event_tick=at[::-1].copy())
    yield "event kind 7", "builds and resets", swap(event_kind=np.full_like(kinds, 7))
    yield "a reset first", "builds and resets", swap(event_kind=np.ones_like(kinds))
    yield "events differ in length", "length", swap(event_kind=kinds[1:].copy())
    yield "events as a matrix", "shape", swap(event_tick=at[:, None].copy())
    for label, count, says in (("no events", 0, "no build"), ("two million", 2 << 20, "more than")):
        column = np.zeros(count, np.uint8)
        yield label, says, swap(event_kind=column, event_seed=column, event_tick=column)
    yield "fingerprint not hex", "fingerprint", swap(fingerprint=np.array("x" * 64))
    yield "counts above the team", "counts", swap(counts=np.full((ticks, 2), 9, np.uint8))
    for code in (b"\xff\xff\xff\xff", b"\x00\xd8\x00\x00"):  # beyond Unicode, a surrogate
        yield f"code {code!r}", "Unicode", swap(writer=npy(np.array("abcd")).replace(b"d\0\0\0", code))
    yield "writer with escapes", "writer", swap(writer=np.array("1.0\n\x1b[2J"))


def test_every_hostile_file_is_refused_naming_what_is_wrong(good, tmp_path):
    _, members, _ = good
    refused = {}
    for label, says, data in hostile_files(members):
        (tmp_path / "bad.npz").write_bytes(data)
        with pytest.raises(ReplayFormatError) as info:
            replay(tmp_path / "bad.npz")
            pytest.fail(f"{label}: replayed")
        refused[label] = str(info.value)
        assert "\n" not in refused[label] and len(refused[label]) < 300, (label, refused[label])
        assert says in str(info.value), (label, str(info.value))
    assert len(refused) > 45


def replays_or_refuses(path, last):
    """A damaged file either gives a ReplayError or is still exactly the recorded match."""
    try:
        assert fingerprint(replay(path)) == last
    except ReplayError:
        pass


def test_truncations_and_bit_flips_are_refused_or_harmless(good, tmp_path):
    data, members, last = good
    rng = np.random.default_rng(18)
    path = tmp_path / "flipped.npz"
    for size in np.linspace(0, len(data) - 1, 30).astype(int):
        path.write_bytes(data[:size])
        with pytest.raises(ReplayFormatError):
            MatchRecord.load(path)
    for bit in rng.choice(8 * len(data), 150, replace=False):
        flipped = bytearray(data)
        flipped[bit // 8] ^= 1 << (bit % 8)
        path.write_bytes(bytes(flipped))
        replays_or_refuses(path, last)
    # Flips inside the .npy headers themselves, under a valid CRC: the header parser's
    # turn, whose warnings (a SyntaxWarning for "(4if 2)") must not reach the user either.
    with warnings.catch_warnings(record=True) as warned:
        warnings.simplefilter("always")
        for name, content in members.items():
            for bit in rng.choice(8 * 128, 25, replace=False):
                flipped = bytearray(content)
                flipped[bit // 8] ^= 1 << (bit % 8)
                path.write_bytes(variant(members, [(name[:-4], bytes(flipped))]))
                replays_or_refuses(path, last)
        path.write_bytes(variant(members, [("counts", members["counts.npy"].replace(b"(40,", b"(4if"))]))
        replays_or_refuses(path, last)
    assert warned == []
    path.write_bytes(data)
    assert fingerprint(replay(path)) == last


LIMITED = """
import resource, sys, numpy as np
from quorvel.replay import MatchRecord, ReplayFormatError
size = int(open("/proc/self/statm").read().split()[0]) * resource.getpagesize()
resource.setrlimit(resource.RLIMIT_AS, (size + (384 << 20), resource.RLIM_INFINITY))
try:
    np.ones(1 << 30, np.uint8)  # shows that the limit holds
except MemoryError:
    print("control: MemoryError")
for path in sys.argv[1:]:
    try:
        MatchRecord.load(path)
        print(path, "loaded")
    except ReplayFormatError as refused:
        print(path, "ReplayFormatError:", refused)
    except BaseException as other:
        print(path, type(other).__name__, other)
"""


@pytest.mark.skipif(os.environ.get("QUORVEL_SANITIZED") == "1",
                    reason="ASan reserves more address space than the limit allows")
def test_small_files_that_declare_gigabytes_are_refused_within_a_memory_limit(good, tmp_path):
    """Each file is about a megabyte and would take a GiB or more if believed; the loader
    runs under an address-space limit 384 MiB above what the interpreter already has."""
    _, members, _ = good
    ticks = GiB // (2 * 2 * 16)
    big = {"size": GiB, "packed": zeros_deflated(GiB), "crc": zeros_crc(GiB)}
    files = {
        "fingerprint of a GiB": variant(members, fingerprint=big),
        "a GiB of commands": variant(members, [("commands_shape", np.array([ticks, 2, 2, 4], np.uint64)),
                                               ("counts", np.zeros((ticks, 2), np.uint8))],
                                     commands=big),
        "commands said small, inflating to a GiB": variant(
            members, commands={"size": len(members["commands.npy"]), "packed": zeros_deflated(GiB)}),
        "a 2 TiB array header": variant(members, [("counts", npy(np.zeros((1, 2), np.uint8)).replace(
            b"(1, 2)", b"(1099511627776, 2)"))]),
    }
    paths = []
    for index, data in enumerate(files.values()):
        assert len(data) < 1_100_000
        paths.append(tmp_path / f"{index}.npz")
        paths[-1].write_bytes(data)
    done = subprocess.run([sys.executable, "-c", LIMITED, *map(str, paths)], capture_output=True,
                          text=True, timeout=120)
    lines = done.stdout.splitlines()
    assert done.returncode == 0 and lines[0] == "control: MemoryError", done.stdout + done.stderr
    for label, line in zip(files, lines[1:], strict=True):
        assert "ReplayFormatError" in line, (label, line)


def test_a_larger_limit_reads_a_file_beyond_the_default(good, tmp_path):
    _, members, last = good
    path = tmp_path / "good.npz"
    path.write_bytes(variant(members))
    with pytest.raises(ReplayFormatError, match="more than the 1,000 bytes"):
        MatchRecord.load(path, limit=1000)
    assert fingerprint(replay(MatchRecord.load(path, limit=10**6))) == last
