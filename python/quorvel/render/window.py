# python/quorvel/render/window.py: an on-screen window that shows rendered images in real time.
"""pygame's display is one per process, so at most one Window is open at a time."""
import contextlib
import math
import os
import sys
import time
from collections.abc import Iterator
from typing import Any

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig

from ..extras import needs
from .geometry import image_size

HEADLESS_DRIVERS = ("offscreen", "dummy")
DISPLAY_VARIABLES = ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")


def _pygame() -> Any:
    os.environ.setdefault("PYGAME_HIDE_SUPPORT_PROMPT", "1")
    with needs("render", "the window"):
        import pygame
    return pygame


@contextlib.contextmanager
def _video_driver(name: str | None) -> Iterator[None]:
    """SDL_VIDEODRIVER set to `name` (None: left as it is) while SDL's video starts, then
    restored, so that nothing else in the process sees it changed."""
    if name is None:
        yield
        return
    before = os.environ.get("SDL_VIDEODRIVER")
    os.environ["SDL_VIDEODRIVER"] = name
    try:
        yield
    finally:
        if before is None:
            del os.environ["SDL_VIDEODRIVER"]
        else:
            os.environ["SDL_VIDEODRIVER"] = before


class Window:
    """An on-screen window that shows rendered images in real time (fps frames per second).

    `show` paces itself against a steady clock: a frame that comes late is shown at once
    and the schedule starts again from it, so the picture never runs ahead of real time
    and never tries to catch up by rushing. Closing the window by hand makes `is_open`
    false and later `show` calls do nothing.

    With no display to show it on, the window is drawn off screen, unseen, as pygame's
    own windows are (so Gymnasium's checks of the "human" mode pass on a headless
    machine); `need_display=True` refuses that with RuntimeError instead.
    """

    def __init__(self, config: EngineConfig, fps: float | None = None, width: int = 640,
                 title: str = "quorvel", *, need_display: bool = False) -> None:
        self.width, self.height = image_size(config, width)
        if fps is None:
            fps = 1.0 / config.dt
        if isinstance(fps, bool) or not isinstance(fps, (int, float)):
            raise TypeError(f"fps must be a number, not {type(fps).__name__}")
        if not (math.isfinite(fps) and fps > 0):
            raise ValueError(f"fps must be positive and finite, got {fps}")
        self.fps = float(fps)
        self._pygame = _pygame()
        headless = sys.platform.startswith("linux") and not any(
            os.environ.get(name) for name in DISPLAY_VARIABLES)
        if headless and need_display:
            raise RuntimeError("cannot open a window: no display (neither DISPLAY nor WAYLAND_DISPLAY is set)")
        try:
            # Where there is surely no display, off screen at once: SDL would otherwise probe
            # X11 and Wayland first, and print their failures on stderr.
            with _video_driver("offscreen" if headless else None):
                self._pygame.display.init()
            # Elsewhere SDL too falls back to drawing off screen, unseen, when it finds no
            # display: refused where a display is needed, unless it was asked for
            # (SDL_VIDEODRIVER=dummy for tests and headless runs).
            driver = self._pygame.display.get_driver()
            if need_display and driver in HEADLESS_DRIVERS and os.environ.get("SDL_VIDEODRIVER") != driver:
                raise self._pygame.error("no display to show it on")
            self._screen = self._pygame.display.set_mode((self.width, self.height))
        except self._pygame.error as no_display:
            self._pygame.display.quit()
            raise RuntimeError(f"cannot open a window: {no_display}") from None
        self._pygame.display.set_caption(str(title))
        self._due: float | None = None
        self.is_open = True

    def show(self, image: npt.ArrayLike) -> None:
        """Draws `image` (uint8, height x width x 3; scaled when its size differs), handles
        the window's events, then waits until the frame's time is up."""
        if not self.is_open:
            return
        pixels = np.ascontiguousarray(image, dtype=np.uint8)
        if pixels.ndim != 3 or pixels.shape[2] != 3:
            raise ValueError(f"image must have shape (height, width, 3), got {pixels.shape}")
        pg = self._pygame
        surface = pg.image.frombuffer(pixels.tobytes(), (pixels.shape[1], pixels.shape[0]), "RGB")
        if surface.get_size() != (self.width, self.height):
            surface = pg.transform.scale(surface, (self.width, self.height))
        self._screen.blit(surface, (0, 0))
        pg.display.flip()
        for event in pg.event.get():
            if event.type == pg.QUIT:
                self.close()
                return
        self._wait()

    def _wait(self) -> None:
        period = 1.0 / self.fps
        now = time.perf_counter()
        if self._due is None or now > self._due + period:
            self._due = now + period
            return
        time.sleep(max(0.0, self._due - now))
        self._due += period

    def close(self) -> None:
        """Closes the window; closing it again does nothing."""
        if self.is_open:
            self.is_open = False
            self._pygame.display.quit()

    def __enter__(self) -> "Window":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()
