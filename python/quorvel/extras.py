"""python/quorvel/extras.py: optional dependencies: a failed import names the extra that brings it.

Usage, around the imports of a module that needs an extra::

    with needs("render", "quorvel.render"):
        from PIL import Image
"""
import contextlib
from collections.abc import Iterator

EXTRA_MODULES = {
    "gym": ("gymnasium",),
    "pettingzoo": ("pettingzoo", "gymnasium"),
    "render": ("PIL", "pygame", "imageio", "imageio_ffmpeg", "moviepy"),
    "ray": ("ray", "gymnasium", "torch"),
}
"""Extra -> the top-level modules it installs (pyproject.toml's optional dependencies)."""


class MissingExtra(ModuleNotFoundError):
    """A module of an extra is not installed. `extra` names the extra, `install` the pip
    command that adds it; the command line shows these in one line."""

    def __init__(self, extra: str, needed_by: str, module: str) -> None:
        self.extra = extra
        self.install = f"pip install 'quorvel[{extra}]'"
        super().__init__(f"{needed_by} needs the {extra} extra ({module} is not installed): "
                         f"{self.install}", name=module)


@contextlib.contextmanager
def needs(extra: str, needed_by: str) -> Iterator[None]:
    """Turns the failed import of one of `extra`'s modules into MissingExtra; any other
    import error (one of our own modules, a broken install) goes through unchanged."""
    try:
        yield
    except MissingExtra:
        raise
    except ModuleNotFoundError as missing:
        module = (missing.name or "").partition(".")[0]
        if module not in EXTRA_MODULES[extra]:
            raise
        raise MissingExtra(extra, needed_by, module) from None
