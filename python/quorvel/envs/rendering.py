"""python/quorvel/envs/rendering.py: the render_mode plumbing shared by the RL front-ends.

Drawing lives in ``quorvel.render``, imported only when a frame is first drawn, so that
environments without a render mode never load a drawing library.
"""
from typing import TYPE_CHECKING

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig, SpectatorFrame

if TYPE_CHECKING:
    from ..render import Renderer, Window

RENDER_MODES = ("human", "rgb_array")


def render_fps(config: EngineConfig) -> float:
    """Frames per second of real time: one tick of ``config.dt`` per frame. Rounded to
    thousandths, so that the float32 step of 1/30 s gives 30 (video writers drop a frame
    of a clip timed at 29.999998 frames a second)."""
    dt = float(config.dt)
    return round(1.0 / dt, 3) if dt > 0.0 else 30.0


def check_render_mode(render_mode: str | None) -> str | None:
    """ValueError unless `render_mode` is None or one of RENDER_MODES."""
    if render_mode is not None and render_mode not in RENDER_MODES:
        raise ValueError(f"render_mode must be None or one of {', '.join(RENDER_MODES)}, "
                         f"not {render_mode!r}")
    return render_mode


class RenderHook:
    """Draws spectator frames as images ("rgb_array") or in a window ("human")."""

    def __init__(self, config: EngineConfig, render_mode: str | None) -> None:
        self.config = config
        self.mode = check_render_mode(render_mode)
        self._renderer: Renderer | None = None
        self._window: Window | None = None

    def image(self, frame: SpectatorFrame) -> npt.NDArray[np.uint8]:
        """The uint8 (height, width, 3) picture of a spectator frame."""
        if self._renderer is None:
            from ..render import Renderer

            self._renderer = Renderer(self.config)
        return self._renderer.render(frame)

    def show(self, frame: SpectatorFrame) -> None:
        """Draws `frame` in the window, opening it on first use."""
        if self._window is None:
            from ..render import Window

            self._window = Window(self.config)
        self._window.show(self.image(frame))

    def close(self) -> None:
        """Closes the window if one was opened; safe to call again."""
        if self._window is not None:
            self._window.close()
            self._window = None
