# python/quorvel/cli/output.py: the command line's outputs: files checked before the work starts, failures told in one line, a standard output that goes away.
"""An output that fails is the output's fault, told as one line naming it: a file named by
an option is checked before the work starts (so a long match is not played for nothing),
a writer that fails while writing raises OutputError naming its file, and a standard
output that goes away is told apart from both: a closed pipe (`quorvel play | head`)
ends the command quietly, a full disk in one line."""
import argparse
import contextlib
import errno
import os
import sys
from collections.abc import Callable
from pathlib import Path
from typing import Any, NoReturn, Protocol, TextIO, TypeVar, cast

import numpy as np
import numpy.typing as npt

from .options import UsageError

OUTPUT_OPTIONS = {"out": "--out", "record": "--record"}
"""Attribute of the parsed arguments -> the option that names a file the command writes.
A subcommand whose options name other things (a run's folder) sets ``output_files`` in its
parser's defaults instead."""
CLOSED_PIPE_STATUS = 128 + 13
"""The status of a tool that SIGPIPE ended, which is what the shell reports for one
whose reader went away."""


class OutputError(Exception):
    """An output that failed while the command wrote it; the command line reports it in
    one line, status 1."""


class StdoutFailed(Exception):
    """Writing to the standard output failed; `error` is the OSError."""

    def __init__(self, error: OSError) -> None:
        super().__init__(error)
        self.error = error


def check_outputs(args: argparse.Namespace) -> None:
    """Checks, before any work, every file the options of OUTPUT_OPTIONS name: UsageError
    naming the option for one that cannot be written, or named twice."""
    seen: dict[str, str] = {}
    for name, option in getattr(args, "output_files", OUTPUT_OPTIONS).items():
        path = getattr(args, name, None)
        if path is None:
            continue
        check_writable(path, option)
        same = seen.setdefault(os.path.realpath(path), option)
        if same != option:
            raise UsageError(f"argument {option}: {path} is already the file of {same}")


def check_writable(path: str, option: str) -> None:
    """UsageError unless `path` can be written: its folder exists, it is no folder, and a
    file can be made there (or the file there opened for writing, left as it is). A
    device or a pipe is left to be checked as it is written."""
    target = Path(path)

    def refuse(why: object) -> NoReturn:
        raise UsageError(f"argument {option}: cannot write {path}: {why}")

    if target.is_dir():
        refuse("it is a folder")
    if not target.parent.is_dir():
        refuse(f"no folder {target.parent}")
    existed = target.exists()
    if existed and not target.is_file():
        return
    try:
        os.close(os.open(target, os.O_WRONLY | (0 if existed else os.O_CREAT | os.O_EXCL), 0o666))
    except OSError as failure:
        refuse(failure.strerror or failure)
    if not existed:
        os.unlink(target)


def describe(failure: OSError) -> str:
    """One line for an OSError: its reason, without the detail some writers add below it."""
    if failure.errno == errno.EPIPE:
        return "the encoder stopped taking frames (broken pipe)"
    return failure.strerror or str(failure).splitlines()[0]


class FrameWriter(Protocol):
    """What CheckedWriter guards: a writer of frames (``quorvel.render.VideoWriter``)."""

    def write(self, image: npt.NDArray[np.uint8]) -> None: ...

    def close(self) -> None: ...


_Result = TypeVar("_Result")


class CheckedWriter:
    """A frame writer (write(image), close()) built by `make()` for the file `path`,
    whose OSErrors become one OutputError naming the file. After one, the writer is
    closed as far as it goes and later calls do nothing; its finalizer's retries are
    kept quiet, the failure being told once."""

    def __init__(self, make: Callable[[], FrameWriter], path: str) -> None:
        self.path = path
        self._writer: FrameWriter | None = None
        self._writer = self._attempt(make)

    def write(self, image: npt.NDArray[np.uint8]) -> None:
        if self._writer is not None:
            self._attempt(self._writer.write, image)

    def close(self) -> None:
        if self._writer is not None:
            writer, self._writer = self._writer, None
            self._attempt(writer.close)

    def _attempt(self, action: Callable[..., _Result], *args: Any) -> _Result:
        try:
            return action(*args)
        except OSError as failure:
            writer, self._writer = self._writer, None
            _quiet_finalizers()
            if writer is not None:
                with contextlib.suppress(OSError):
                    writer.close()
            raise OutputError(f"cannot write {self.path}: {describe(failure)}") from None


def _quiet_finalizers() -> None:
    """A writer that failed may try again, and fail again, when it is collected; that
    failure was already told."""
    if getattr(sys.unraisablehook, "_quorvel_quiet", False):
        return
    previous = sys.unraisablehook

    def hook(unraisable: Any) -> None:
        if not isinstance(unraisable.exc_value, OSError):
            previous(unraisable)

    setattr(hook, "_quorvel_quiet", True)  # noqa: B010 - a mark on a function
    sys.unraisablehook = hook


class _CheckedStream:
    """Stands in for sys.stdout: its write and flush failures become StdoutFailed."""

    def __init__(self, stream: TextIO) -> None:
        self._stream = stream

    def write(self, text: str) -> int:
        try:
            return self._stream.write(text)
        except OSError as failure:
            raise StdoutFailed(failure) from None

    def flush(self) -> None:
        try:
            self._stream.flush()
        except OSError as failure:
            raise StdoutFailed(failure) from None

    def __getattr__(self, name: str) -> Any:
        return getattr(self._stream, name)


def with_checked_stdout(body: Callable[[], int], error_name: str = "quorvel") -> int:
    """Runs `body()` (the whole command line, argument parsing included: --help writes
    too) with standard output watched, and returns its status. Output left unwritten
    is dropped when the reader went away (status CLOSED_PIPE_STATUS, nothing said) or
    the disk is full (one line on stderr, status 1)."""
    original = sys.stdout
    if original is None:
        return body()
    sys.stdout = cast(TextIO, _CheckedStream(original))
    try:
        try:
            status = body()
        finally:
            sys.stdout.flush()  # also when argparse leaves by SystemExit
        return status
    except StdoutFailed as failed:
        # What could not be written is dropped, so that the interpreter's own flush at
        # exit finds nothing to complain about.
        with contextlib.suppress(OSError, ValueError):  # a stand-in stream has no descriptor
            devnull = os.open(os.devnull, os.O_WRONLY)
            os.dup2(devnull, original.fileno())
            os.close(devnull)
        if failed.error.errno == errno.EPIPE:
            return CLOSED_PIPE_STATUS
        print(f"{error_name}: error: cannot write to standard output: {describe(failed.error)}",
              file=sys.stderr)
        return 1
    finally:
        sys.stdout = original
