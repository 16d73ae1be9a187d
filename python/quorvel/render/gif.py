"""python/quorvel/render/gif.py: an animated GIF written frame by frame as the frames come.

Pillow's own multi-frame save (and imageio's writer over it) keeps every frame until the
file is closed, about a megabyte a frame; here each frame is quantised and LZW-encoded by
Pillow's GIF helpers and written at once, so memory stays that of one frame and an
interrupted export leaves the frames written so far.
"""
import os

import numpy as np
import numpy.typing as npt
from PIL import GifImagePlugin, Image


class GifWriter:
    """Appends RGB images (uint8, height x width x 3, all of one size) to a looping GIF
    file at `fps` frames per second. Each frame has its own palette of up to 256 colours."""

    def __init__(self, path: str | os.PathLike[str], fps: float) -> None:
        self._file = open(path, "wb")
        self._fps = fps
        self._size: tuple[int, int] | None = None
        self.frames = 0

    def append_data(self, pixels: npt.NDArray[np.uint8]) -> None:
        frame = Image.fromarray(pixels).convert("P", palette=Image.Palette.ADAPTIVE)
        if self._size is None:
            self._size = frame.size
            header, _ = GifImagePlugin.getheader(frame, info={"loop": 0})
            self._file.write(b"".join(header))
        elif frame.size != self._size:
            raise ValueError(f"a frame of {frame.size[0]} x {frame.size[1]} pixels in a GIF of "
                             f"{self._size[0]} x {self._size[1]}")
        # GIF times frames in hundredths of a second: each frame gets what keeps the running
        # total nearest the true time, so 30 frames a second alternate 3 and 4 hundredths.
        start, end = (round(n * 100 / self._fps) for n in (self.frames, self.frames + 1))
        for chunk in GifImagePlugin.getdata(frame, duration=10 * (end - start), include_color_table=True):
            self._file.write(chunk)
        self.frames += 1

    def close(self) -> None:
        if not self._file.closed:
            try:
                if self._size is not None:
                    self._file.write(b";")  # the trailer
            finally:
                self._file.close()
