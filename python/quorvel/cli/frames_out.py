"""python/quorvel/cli/frames_out.py: where `watch` and `replay` send a match's frames: a window or a video file."""
import signal
import sys
import threading
from types import FrameType
from typing import TYPE_CHECKING, Any, NoReturn

from _quorvel import EngineConfig, SpectatorFrame

from .output import CheckedWriter
from .options import UsageError

if TYPE_CHECKING:
    from tqdm import tqdm

    from ..render import Renderer, Window


class WindowClosed(Exception):
    """The viewer closed the window: the command stops playing."""


class FrameSink:
    """Draws each spectator frame it is called with and shows it in a real-time window, or,
    when `out` names a file, appends it to that MP4 or GIF with a progress bar (shown on a
    terminal only). Use as a context manager."""

    def __init__(self, config: EngineConfig, out: str | None, width: int, fps: float | None,
                 total: int) -> None:
        from ..render import Renderer, VideoWriter, Window
        fps = 1.0 / config.dt if fps is None else fps
        self.renderer: Renderer = Renderer(config, width)
        self.window: Window | None = None
        self.writer: CheckedWriter | None = None
        self.bar: "tqdm[NoReturn] | None" = None
        if out is None:
            try:
                self.window = Window(config, fps=fps, width=width, need_display=True)
            except RuntimeError as no_window:
                raise UsageError(f"{no_window}; write a video instead with --out FILE.mp4") from None
            return
        try:
            self.writer = CheckedWriter(lambda: VideoWriter(out, fps), out)
        except ValueError as refused:
            raise UsageError(f"argument --out: {refused}") from None
        from tqdm import tqdm
        self.bar = tqdm(total=total, unit="frame", disable=not sys.stderr.isatty(), leave=False,
                        desc=f"writing {out}", file=sys.stderr)

    def __call__(self, frame: SpectatorFrame) -> None:
        if self.interrupted:
            raise KeyboardInterrupt
        image = self.renderer.render(frame)
        if self.window is not None:
            self.window.show(image)
            if not self.window.is_open:
                raise WindowClosed
        elif self.writer is not None and self.bar is not None:
            self.writer.write(image)
            self.bar.update()

    # Ctrl-C raises KeyboardInterrupt where it lands; one that lands in a destructor (an
    # image's, the writer's) is reported and lost, and the export would go on. The flag
    # keeps it: the next frame raises it again.
    interrupted = False
    _previous: Any = None

    def _on_interrupt(self, signum: int, frame: FrameType | None) -> None:
        self.interrupted = True
        raise KeyboardInterrupt

    def __enter__(self) -> "FrameSink":
        if threading.current_thread() is threading.main_thread():
            self._previous = signal.signal(signal.SIGINT, self._on_interrupt)
        return self

    def __exit__(self, *exc: object) -> None:
        if self._previous is not None:
            signal.signal(signal.SIGINT, self._previous)
            self._previous = None
        if self.window is not None:
            self.window.close()
        if self.bar is not None:
            self.bar.close()
        if self.writer is not None:
            self.writer.close()
