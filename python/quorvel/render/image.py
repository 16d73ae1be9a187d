# python/quorvel/render/image.py: draws a spectator frame as an RGB image (numpy uint8, H x W x 3).
"""Pictures of a match seen from above.

Pillow draws: it needs no display, no SDL state and no process-wide set-up, so any
number of environments (in threads or in worker processes) can render side by side;
the on-screen window (window.py) is the only part that uses pygame.
"""
import math
import threading

import numpy as np
from PIL import Image, ImageDraw

from _quorvel import EngineConfig, SpectatorFrame

from .label import GlyphCache

GRASS = (44, 118, 56)
GRASS_STRIPE = (50, 128, 62)
LINE = (232, 238, 232)
NET = (176, 184, 196)
TEAM_COLOURS = ((214, 48, 45), (36, 104, 214))  # team A, team B
TEAM_EDGES = ((120, 24, 22), (18, 52, 120))
MARKER = (255, 236, 64)                          # ring around each team's player 0
BALL = (255, 255, 255)
BALL_EDGE = (24, 24, 24)
TEXT = (255, 255, 255)
TEXT_EDGE = (16, 16, 16)

MIN_WIDTH, MAX_SIDE = 16, 8192
STRIPES = 11  # mown bands across the field, an odd count so that both ends match


def image_size(config, width):
    """(width, height) of the picture of `config`'s field `width` pixels wide."""
    if not isinstance(config, EngineConfig):
        raise TypeError(f"config must be an EngineConfig, not {type(config).__name__}")
    if isinstance(width, bool) or not isinstance(width, int):
        raise TypeError(f"width must be an int, not {type(width).__name__}")
    if not MIN_WIDTH <= width <= MAX_SIDE:
        raise ValueError(f"width must be between {MIN_WIDTH} and {MAX_SIDE} pixels, got {width}")
    length, breadth = config.field_width, config.field_height
    if not (math.isfinite(length) and math.isfinite(breadth) and length > 0 and breadth > 0):
        raise ValueError(f"cannot draw a field of {length} x {breadth}: both sides must be "
                         "positive and finite")
    height = max(1, round(width * breadth / length))
    if height > MAX_SIDE:
        raise ValueError(f"a field of {length} x {breadth} drawn {width} pixels wide would be "
                         f"{height} pixels high (at most {MAX_SIDE})")
    return width, height


class Renderer:
    """Draws spectator frames of matches played under one configuration.

    The field fills the image: x runs left to right from team A's goal line to team
    B's, y bottom to top. Bodies are drawn to scale (at least a pixel wide), the
    ball last, so the pixel under a body's centre has that body's colour.
    """

    def __init__(self, config, width=640):
        self.width, self.height = image_size(config, width)
        self.scale = width / config.field_width  # pixels per field unit
        self.player_radius = max(1.0, config.player_radius * self.scale)
        self.ball_radius = max(1.0, config.ball_radius * self.scale)
        self._background = self._draw_background(config)
        self._canvas = self._background.copy()
        self._lock = threading.Lock()
        self._label = GlyphCache(max(8, round(self.height / 18)), TEXT, TEXT_EDGE)

    def render(self, frame):
        """The picture of `frame` as a new uint8 array of shape (height, width, 3)."""
        if not isinstance(frame, SpectatorFrame):
            raise TypeError(f"frame must be a SpectatorFrame, not {type(frame).__name__}")
        with self._lock:
            return self._render(frame)

    def _render(self, frame):
        # Drawn on one canvas kept from frame to frame: a new Pillow image each frame
        # costs a millisecond of fresh memory, five times the drawing.
        image = self._canvas
        image.paste(self._background)
        draw = ImageDraw.Draw(image)
        self._draw_text(image, frame)
        r = self.player_radius
        edge = 1 if r >= 3 else 0
        first = [True, True]
        for player in frame.players:
            team = player.team & 1
            centre = self._pixel(player.position)
            if centre is None:
                continue
            if first[team]:
                first[team] = False
                ring = max(1, round(r / 4)) if r >= 3 else 0
                self._disc(draw, centre, r, TEAM_COLOURS[team], MARKER, ring)
            else:
                self._disc(draw, centre, r, TEAM_COLOURS[team], TEAM_EDGES[team], edge)
        centre = self._pixel(frame.ball.position)
        if centre is not None:
            self._disc(draw, centre, self.ball_radius, BALL, BALL_EDGE, 1 if self.ball_radius >= 3 else 0)
        return np.asarray(image).copy()

    def pixel_of(self, position):
        """(column, row) of the pixel under a normalised field position. The far edges of
        the field (x = 1, y = -1: a ball put back on a goal line lies there) are in the
        last column and row."""
        x, y = position
        column = math.floor((x + 1.0) * 0.5 * self.width)
        row = math.floor((1.0 - y) * 0.5 * self.height)
        return (column - (column == self.width), row - (row == self.height))

    def _pixel(self, position):
        x, y = position
        if not (math.isfinite(x) and math.isfinite(y)):
            return None  # odd physics can lose a body; draw the rest
        # Keep far-off bodies' coordinates small enough for the drawing library.
        x, y = min(4.0, max(-4.0, x)), min(4.0, max(-4.0, y))
        return (x + 1.0) * 0.5 * self.width, (1.0 - y) * 0.5 * self.height

    @staticmethod
    def _disc(draw, centre, radius, fill, outline, edge):
        x, y = centre
        # Whole-pixel box edges rounded half up on both sides: a body and its mirror image
        # about the halfway line then cover mirrored pixels.
        box = (math.floor(x - radius + 0.5), math.floor(y - radius + 0.5),
               math.floor(x + radius + 0.5) - 1, math.floor(y + radius + 0.5) - 1)
        if edge:
            draw.ellipse(box, fill=fill, outline=outline, width=edge)
        else:
            draw.ellipse(box, fill=fill)

    def _draw_text(self, image, frame):
        goals_a, goals_b = frame.score
        margin = max(1, self.height // 60)
        score, tick = f"{goals_a} - {goals_b}", f"tick {frame.tick}"
        self._label.stamp(image, score, (self.width - self._label.width(score)) / 2, margin)
        self._label.stamp(image, tick, self.width - 3 * margin - self._label.width(tick), margin)

    def _draw_background(self, config):
        w, h, s = self.width, self.height, self.scale
        image = Image.new("RGB", (w, h), GRASS)
        draw = ImageDraw.Draw(image)
        for band in range(1, STRIPES, 2):
            draw.rectangle((band * w / STRIPES, 0, (band + 1) * w / STRIPES - 1, h - 1), fill=GRASS_STRIPE)
        line = max(1, round(0.12 * s))
        draw.rectangle((0, 0, w - 1, h - 1), outline=LINE, width=line)        # side and goal lines
        draw.rectangle(((w - line) / 2, 0, (w + line) / 2 - 1, h - 1), fill=LINE)  # halfway line
        circle = 0.15 * config.field_height * s
        draw.ellipse((w / 2 - circle, h / 2 - circle, w / 2 + circle, h / 2 + circle),
                     outline=LINE, width=line)
        spot = max(1.0, 1.5 * line)
        draw.ellipse((w / 2 - spot, h / 2 - spot, w / 2 + spot - 1, h / 2 + spot - 1), fill=LINE)
        self._draw_goals(draw, config, line)
        # The field is symmetric about the halfway line; mirroring the left half makes the
        # picture so to the pixel, whatever the rounding of the shapes drawn on the right.
        pixels = np.asarray(image).copy()
        pixels[:, w - w // 2:] = pixels[:, :w // 2][:, ::-1]
        return Image.fromarray(pixels)

    def _draw_goals(self, draw, config, line):
        """Each goal mouth, goal_width wide and centred on its goal line, as a net-coloured
        band just inside the line (bodies never stand behind it)."""
        half = 0.5 * config.goal_width
        if not half > 0:  # also refuses not-a-number
            return
        top, bottom = self._rows_of_mouth(config)
        if top > bottom:
            return
        depth = max(2, round(0.6 * self.scale))
        for left in (0, self.width - depth):
            draw.rectangle((left, top, left + depth - 1, bottom), fill=NET)

    def _rows_of_mouth(self, config):
        """(first, last) image row of the goal mouths, clipped to the field."""
        centre, half = 0.5 * config.field_height, 0.5 * config.goal_width
        upper, lower = min(config.field_height, centre + half), max(0.0, centre - half)
        return round((config.field_height - upper) * self.scale), \
            round((config.field_height - lower) * self.scale) - 1
