# python/quorvel/render/__init__.py: pictures, windows and videos of matches.
"""Rendering of spectator frames: `Renderer` (images, Pillow), `Window` (on screen,
pygame) and `VideoWriter` (MP4 files through imageio's ffmpeg, GIF through Pillow).
Needs the `render` extra: pip install 'quorvel[render]'."""
from ..extras import needs

with needs("render", "quorvel.render"):
    from .image import Renderer
    from .video import VideoWriter
    from .window import Window

__all__ = ["Renderer", "VideoWriter", "Window"]
