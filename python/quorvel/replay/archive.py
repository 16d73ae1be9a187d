# python/quorvel/replay/archive.py: the arrays of a replay file, each size checked before anything is read or allocated.
"""A replay file is a zip archive of .npy members. It may be damaged or made to do harm,
so nothing in it is taken on trust: a member is read only when its compression is one
that numpy writes (stored or deflated, not encrypted) and its declared size is within
what the caller allows; it is decompressed in chunks that stop at that size; its .npy
header must declare the dtype and shape the caller expects, and exactly as many bytes
as the member holds. Each failure is a ReplayFormatError that names the member."""
import io
import math
import tokenize
import warnings
import zipfile
import zlib
from typing import IO, Any

import numpy as np

from .errors import ReplayFormatError

MAX_MEMBERS = 64
"""A replay file holds eleven members (thirteen with placements); an archive of many more
is not one."""
HEADER_ROOM = 4096
"""Most bytes a member's .npy header may take (numpy writes 128 for these arrays)."""
TEXT_ROOM = 1 << 16
"""Most bytes of a one-value member (the configuration's JSON, the writer's version...):
16,384 characters, as numpy keeps four bytes a character."""
CHUNK = 1 << 20
"""Bytes decompressed at a time."""
_METHODS = {zipfile.ZIP_STORED: "stored", zipfile.ZIP_DEFLATED: "deflated"}
_ENCRYPTED = 0x1
# What numpy's .npy header parser raises on a damaged header: a header that is not a
# dict literal reaches Python's tokenizer and parser, whose errors are not ValueErrors.
_HEADER_DAMAGE = (ValueError, TypeError, KeyError, SyntaxError, tokenize.TokenError,
                  RecursionError)
# What the zip module and zlib raise on damaged data (a bad CRC, a truncated stream...).
_DATA_DAMAGE = (zipfile.BadZipFile, zlib.error, EOFError, OSError, ValueError,
                NotImplementedError, RuntimeError)


class ReplayArchive:
    """The members of the replay file `source` (an open binary file), `name` naming it
    in messages. `budget` is the most uncompressed bytes the members read may declare
    in all; reading one that would go beyond it is refused before it is read."""

    def __init__(self, source: IO[bytes], name: str, budget: int) -> None:
        self.name = name
        self.budget = budget
        try:
            self._zip = zipfile.ZipFile(source)
        except (zipfile.BadZipFile, OSError, ValueError, EOFError, NotImplementedError) as damage:
            raise ReplayFormatError(f"{name} is not a readable replay file (a damaged zip "
                                    f"archive: {reason(damage)})") from None
        members = self._zip.infolist()
        if len(members) > MAX_MEMBERS:
            raise ReplayFormatError(f"{name} holds {len(members)} members; a replay file "
                                    f"holds at most {MAX_MEMBERS}")

    def __enter__(self) -> "ReplayArchive":
        return self

    def __exit__(self, *exc: object) -> None:
        self._zip.close()

    def has(self, key: str) -> bool:
        return f"{key}.npy" in self._zip.NameToInfo

    def array(self, key: str, kinds: str, shape: tuple[int | None, ...] | None = None,
              most: int | None = None, itemsize: int | None = None) -> np.ndarray[Any, Any]:
        """The array stored as `key`: its dtype's kind must be one of `kinds` (numpy's
        letters: "u", "i", "f", "U") and its item size `itemsize` when given, its shape
        `shape` when given (None entries match any length), its data at most `most`
        bytes when given. A read-only view over the member's bytes; nothing the header
        declares is allocated."""
        info = self._info(key)
        room = self.budget if most is None else min(most, self.budget)
        if info.file_size > room + HEADER_ROOM:
            raise ReplayFormatError(
                f"{self.name}: its {key} member declares {info.file_size:,} bytes, more than "
                f"the {room + HEADER_ROOM:,} it may hold")
        data = self._read(info, key)
        self.budget -= len(data)
        try:
            stream = io.BytesIO(data[:HEADER_ROOM + 16])  # the header alone, not a copy of the data
            version = np.lib.format.read_magic(stream)
            if version != (1, 0):
                raise ValueError(f"npy format version {version}")
            with warnings.catch_warnings():  # the parser's warnings about a damaged header
                warnings.simplefilter("ignore")
                declared, fortran, dtype = np.lib.format.read_array_header_1_0(
                    stream, max_header_size=HEADER_ROOM)
        except _HEADER_DAMAGE as damage:
            raise ReplayFormatError(f"{self.name}: its {key} member is not a numpy array "
                                    f"({type(damage).__name__}: {reason(damage)})") from None
        start = stream.tell()
        if dtype.kind not in kinds or dtype.hasobject or dtype.fields is not None \
                or dtype.subdtype is not None or itemsize not in (None, dtype.itemsize):
            wanted = " or ".join(_KIND_NAMES[k] for k in kinds)
            if itemsize is not None:
                wanted = f"{itemsize}-byte {wanted}"
            raise ReplayFormatError(f"{self.name}: its {key} member holds {dtype}, not {wanted}")
        if any(n < 0 for n in declared) or (shape is not None and (
                len(declared) != len(shape) or any(want is not None and n != want
                                                   for n, want in zip(declared, shape)))):
            expected = "" if shape is None else " (expected " + str(
                tuple("any" if n is None else n for n in shape)).replace("'", "") + ")"
            raise ReplayFormatError(f"{self.name}: its {key} member has shape {declared}"
                                    f"{expected}")
        count = math.prod(declared)
        if count * dtype.itemsize != len(data) - start:
            raise ReplayFormatError(
                f"{self.name}: its {key} member declares shape {declared} of {dtype} "
                f"({count * dtype.itemsize:,} bytes) but holds {len(data) - start:,} bytes")
        values = np.frombuffer(data, dtype, count, start)
        values.flags.writeable = False
        return values.reshape(declared, order="F" if fortran else "C")

    def scalar(self, key: str, kinds: str) -> Any:
        """The one value stored as `key` (a 0-d array whose kind is one of `kinds`), as
        a Python value; text must be valid Unicode (numpy makes a str of any 32-bit
        codes, even those that are no character)."""
        value = self.array(key, kinds, shape=(), most=TEXT_ROOM)
        if value.dtype.kind == "U":
            codes = np.frombuffer(value.tobytes(), value.dtype.byteorder.replace("=", "") + "u4")
            if ((codes >= 0x110000) | ((codes >= 0xD800) & (codes < 0xE000))).any():
                raise ReplayFormatError(f"{self.name}: its {key} member holds codes that are "
                                        "not Unicode characters")
        return value.item()

    def _info(self, key: str) -> zipfile.ZipInfo:
        info = self._zip.NameToInfo.get(f"{key}.npy")
        if info is None:
            raise ReplayFormatError(f"{self.name} has no {key} member")
        if info.flag_bits & _ENCRYPTED:
            raise ReplayFormatError(f"{self.name}: its {key} member is encrypted")
        if info.compress_type not in _METHODS:
            raise ReplayFormatError(
                f"{self.name}: its {key} member is compressed with zip method "
                f"{info.compress_type}; a replay file's members are stored or deflated")
        return info

    def _read(self, info: zipfile.ZipInfo, key: str) -> bytearray:
        """The member's bytes, decompressed a chunk at a time up to its declared size."""
        data = bytearray(info.file_size)
        view = memoryview(data)
        done = 0
        try:
            with self._zip.open(info) as member:
                while done < info.file_size:
                    chunk = member.read(min(CHUNK, info.file_size - done))
                    if not chunk:
                        break
                    view[done:done + len(chunk)] = chunk
                    done += len(chunk)
                # The zip module checks the CRC once the declared size is read.
                member.read(1)
        except _DATA_DAMAGE as damage:
            raise ReplayFormatError(f"{self.name}: its {key} member is damaged "
                                    f"({type(damage).__name__}: {reason(damage)})") from None
        if done != info.file_size:
            raise ReplayFormatError(f"{self.name}: its {key} member is cut short ({done:,} "
                                    f"of {info.file_size:,} bytes)")
        return data


def reason(damage: BaseException) -> str:
    """The first line of an error's text, shortened: the text of a damaged file's error can
    quote the damage itself, and is shown in one line."""
    text = (str(damage).splitlines() or [""])[0]
    return text if len(text) <= 160 else text[:157] + "..."


_KIND_NAMES = {"u": "unsigned integers", "i": "integers", "f": "floats", "U": "text"}
