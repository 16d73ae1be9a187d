# python/quorvel/render/video.py: writes rendered images to an MP4 (H.264) or an animated GIF.
"""MP4 goes through the ffmpeg binary that the imageio-ffmpeg wheel ships, so no system
ffmpeg is needed (mp4.py); GIF through Pillow's encoder, frame by frame (gif.py). Both
stream: a frame is handed on as it is written, never kept. A file that could not be
written raises an OSError, at the latest from close()."""
import math
import os
from pathlib import Path
from typing import Protocol

import numpy as np
import numpy.typing as npt

from .gif import GifWriter
from .mp4 import Mp4Writer

SUFFIXES = (".mp4", ".gif")


class _FrameSink(Protocol):
    """The writer of one kind of file."""

    def append_data(self, pixels: npt.NDArray[np.uint8]) -> None: ...

    def close(self) -> None: ...


class VideoWriter:
    """Appends RGB images (uint8, height x width x 3, all of one size) to a video file
    whose kind follows its suffix: .mp4 or .gif. Use as a context manager or call close()."""

    def __init__(self, path: str | os.PathLike[str], fps: float) -> None:
        self.path = Path(path)
        self.kind = self.path.suffix.lower()
        if self.kind not in SUFFIXES:
            raise ValueError(f"cannot write {str(self.path)!r}: the file name must end in "
                             f"{' or '.join(SUFFIXES)}")
        if isinstance(fps, bool) or not isinstance(fps, (int, float)) or not (
                math.isfinite(fps) and fps > 0):
            raise ValueError(f"fps must be a positive, finite number, got {fps!r}")
        self._writer: _FrameSink | None
        if self.kind == ".mp4":
            # H.264 in yuv420p needs even sides, which write() pads to.
            self._writer = Mp4Writer(self.path, fps)
        else:
            self._writer = GifWriter(self.path, fps)
        self.frames = 0

    def write(self, image: npt.ArrayLike) -> None:
        """Appends `image`; ValueError for one of another shape, or once the file is closed."""
        if self._writer is None:
            raise ValueError(f"cannot write to {str(self.path)!r}: it is closed")
        pixels = np.asarray(image, dtype=np.uint8)
        if pixels.ndim != 3 or pixels.shape[2] != 3:
            raise ValueError(f"image must have shape (height, width, 3), got {pixels.shape}")
        if self.kind == ".mp4" and (pixels.shape[0] % 2 or pixels.shape[1] % 2):
            pixels = np.pad(pixels, ((0, pixels.shape[0] % 2), (0, pixels.shape[1] % 2), (0, 0)),
                            mode="edge")
        self._writer.append_data(pixels)
        self.frames += 1

    def close(self) -> None:
        """Ends the file; an OSError if it could not be written (an MP4's partial file is
        removed)."""
        writer, self._writer = self._writer, None
        if writer is not None:
            writer.close()

    def __enter__(self) -> "VideoWriter":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()
