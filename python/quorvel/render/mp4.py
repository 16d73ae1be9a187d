# python/quorvel/render/mp4.py: an MP4 (H.264) written frame by frame through ffmpeg, whose failure is told.
"""The frames go to ffmpeg's standard input as raw RGB, so nothing is kept here. ffmpeg is
the binary the imageio-ffmpeg wheel ships (or the one $IMAGEIO_FFMPEG_EXE names). Its exit
status is what says whether the file was written: a full disk may only show there, once
the last frames are encoded, so close() checks it and raises EncoderFailed, with ffmpeg's
own words, and removes the partial file."""
import os
import re
import subprocess
import tempfile
from fractions import Fraction
from pathlib import Path
from typing import IO

import numpy as np
import numpy.typing as npt

from ..extras import needs

CRF = 15
"""libx264's constant rate factor: 0 lossless, 51 worst; 15 keeps thin lines sharp."""
LOG_KEPT = 64 * 1024
"""How much of ffmpeg's error log is read back when it fails (it says little at -v error)."""
TAIL_LINES = 5


class EncoderFailed(OSError):
    """ffmpeg stopped with a failure status: the file was not written. `filename` names it,
    `strerror` says why in one line (the first error ffmpeg reported), the message adds
    ffmpeg's last lines."""

    def __init__(self, path: Path, status: int, log: str) -> None:
        lines = [re.sub(r"^\[[^\]]*\] ", "", line).strip() for line in log.splitlines()]
        lines = [line for line in lines if line]
        how = f"status {status}" if status >= 0 else f"signal {-status}"
        reason = f"ffmpeg stopped with {how}" + (f": {lines[0]}" if lines else "")
        said = "".join(f"\n  {line}" for line in lines[-TAIL_LINES:])
        super().__init__(f"cannot write {path}: {reason}"
                         + (f"; ffmpeg's last messages:{said}" if said else ""))
        self.filename = str(path)
        self.strerror = reason

    def __str__(self) -> str:
        return str(self.args[0])  # not OSError's "[Errno None] ..." form


class Mp4Writer:
    """Appends RGB images (uint8, height x width x 3, all of one size, even sides) to an
    H.264 MP4 file at `fps` frames per second. The file is made at the first frame."""

    def __init__(self, path: str | os.PathLike[str], fps: float) -> None:
        with needs("render", "writing MP4 files"):
            import imageio_ffmpeg
        self._ffmpeg: str = imageio_ffmpeg.get_ffmpeg_exe()
        self._path = Path(path)
        self._fps = Fraction(fps).limit_denominator(1001)
        self._size: tuple[int, int] | None = None
        self._process: subprocess.Popen[bytes] | None = None
        self._log: IO[bytes] | None = None
        self.frames = 0

    def append_data(self, pixels: npt.NDArray[np.uint8]) -> None:
        size = (pixels.shape[1], pixels.shape[0])
        if self._size is None:
            self._start(size)
        elif size != self._size:
            raise ValueError(f"a frame of {size[0]} x {size[1]} pixels in a video of "
                             f"{self._size[0]} x {self._size[1]}")
        assert self._process is not None and self._process.stdin is not None
        try:
            self._process.stdin.write(np.ascontiguousarray(pixels, dtype=np.uint8).data)
        except BrokenPipeError:
            # ffmpeg stopped taking frames: its status and log say why.
            self.close()
            raise
        self.frames += 1

    def close(self) -> None:
        """Ends the file; EncoderFailed (the partial file removed) if ffmpeg failed."""
        process, self._process = self._process, None
        if process is None:
            return
        try:
            try:
                assert process.stdin is not None
                process.stdin.close()
            except BrokenPipeError:
                pass  # the frames it did not take; its status tells the rest
            status = process.wait()
        except BaseException:
            # Interrupted while ffmpeg finished the file: it is not waited for again.
            process.kill()
            process.wait()
            self._close_log()
            raise
        log = self._read_log()
        if status != 0:
            if self._path.is_file() and not self._path.is_symlink():
                self._path.unlink()
            raise EncoderFailed(self._path, status, log)

    def _start(self, size: tuple[int, int]) -> None:
        self._size = size
        self._log = tempfile.TemporaryFile()
        command = [self._ffmpeg, "-y", "-v", "error",
                   "-f", "rawvideo", "-pix_fmt", "rgb24", "-s", f"{size[0]}x{size[1]}",
                   "-r", str(self._fps), "-i", "-", "-an",
                   # yuv420p for players that know nothing else
                   "-c:v", "libx264", "-pix_fmt", "yuv420p", "-crf", str(CRF),
                   # file: so that a name with a colon or a leading dash is a file's name
                   "-f", "mp4", f"file:{os.fspath(self._path)}"]
        # In a session of its own, ffmpeg gets no Ctrl-C from the terminal: the command
        # that was interrupted closes the file with the frames written so far.
        try:
            self._process = subprocess.Popen(command, stdin=subprocess.PIPE,
                                             stdout=subprocess.DEVNULL, stderr=self._log,
                                             start_new_session=True)
        except OSError as failure:
            self._close_log()
            raise type(failure)(failure.errno, f"cannot run ffmpeg ({self._ffmpeg}): "
                                f"{failure.strerror}") from None

    def _read_log(self) -> str:
        if self._log is None:
            return ""
        try:
            self._log.seek(0)
            return self._log.read(LOG_KEPT).decode(errors="replace")
        finally:
            self._close_log()

    def _close_log(self) -> None:
        if self._log is not None:
            self._log.close()
            self._log = None
