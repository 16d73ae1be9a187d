# python/quorvel/render/image.py: draws a spectator frame as an RGB image (numpy uint8, H x W x 3).
"""Pictures of a match seen from above.

Pillow draws: it needs no display, no SDL state and no process-wide set-up, so any
number of environments (in threads or in worker processes) can render side by side;
the on-screen window (window.py) is the only part that uses pygame.
"""
import math
import threading

import numpy as np
import numpy.typing as npt
from PIL import Image, ImageDraw

from _quorvel import EngineConfig, SpectatorFrame

from .geometry import BALL_MIN_RADIUS, Geometry
from .label import Colour, GlyphCache

BAND = (22, 30, 26)                              # behind the score and the clock
SURROUND = (36, 100, 47)                         # grass outside the field
GRASS = (44, 118, 56)
GRASS_STRIPE = (50, 128, 62)
LINE = (232, 238, 232)
NET = (196, 204, 214)
NET_MESH = (146, 156, 170)
TEAM_COLOURS = ((214, 48, 45), (36, 104, 214))  # team A, team B
TEAM_EDGES = ((110, 20, 18), (14, 44, 112))
MARKER = (255, 236, 64)                          # ring around each team's player 0
BALL = (255, 255, 255)
BALL_EDGE = (16, 16, 16)
TEXT = (255, 255, 255)
TEXT_EDGE = (16, 16, 16)

STRIPES = 11  # mown bands across the field, an odd count so that both ends match


class Renderer:
    """Draws spectator frames of matches played under one configuration.

    The picture (see ``geometry``) has the score and the clock in a band on top and the
    field below it, with a margin of grass all round that holds the goals' nets: x runs
    left to right from team A's goal line to team B's, y bottom to top. Players are drawn
    to scale and outlined (player 0 of each team ringed in yellow); the ball last, outlined
    in black, its radius at least `BALL_MIN_RADIUS` pixels and a 128th of the width. The
    pixel under a body's centre has that body's colour. Whatever a configuration's sizes,
    only what falls in the picture is drawn.
    """

    def __init__(self, config: EngineConfig, width: int = 640) -> None:
        self.geometry = Geometry(config, width)
        self.width, self.height = self.geometry.width, self.geometry.height
        self.scale = self.geometry.scale  # pixels per field unit
        self.player_radius = max(1.0, abs(config.player_radius) * self.scale)
        # To scale the ball would be a dot among the lines.
        self.ball_radius = max(BALL_MIN_RADIUS, self.width / 128, config.ball_radius * self.scale)
        self._dt = float(config.dt)
        self._background = self._draw_background(config)
        self._band = self._background.crop((0, 0, self.width, self.geometry.band))
        self._canvas = self._background.copy()
        self._lock = threading.Lock()
        self._label = GlyphCache(self.geometry.label_size, TEXT, TEXT_EDGE)
        self._label_top = (self.geometry.band - self._label.ink_middle * 2) / 2

    def render(self, frame: SpectatorFrame) -> npt.NDArray[np.uint8]:
        """The picture of `frame` as a new uint8 array of shape (height, width, 3)."""
        if not isinstance(frame, SpectatorFrame):
            raise TypeError(f"frame must be a SpectatorFrame, not {type(frame).__name__}")
        with self._lock:
            return self._render(frame)

    def _render(self, frame: SpectatorFrame) -> npt.NDArray[np.uint8]:
        # Drawn on one canvas kept from frame to frame: a new Pillow image each frame
        # costs a millisecond of fresh memory, five times the drawing.
        image = self._canvas
        image.paste(self._background)
        draw = ImageDraw.Draw(image)
        r = self.player_radius
        edge = 1 if r >= 2 else 0
        ring = max(1, round(r / 4)) if r >= 2 else 0
        first = [True, True]
        for player in frame.players:
            team = player.team & 1
            centre = self._pixel(player.position)
            if centre is None:
                continue
            if first[team]:
                first[team] = False
                self._disc(draw, centre, r, TEAM_COLOURS[team], MARKER, ring)
            else:
                self._disc(draw, centre, r, TEAM_COLOURS[team], TEAM_EDGES[team], edge)
        centre = self._pixel(frame.ball.position)
        if centre is not None:
            b = self.ball_radius
            self._disc(draw, centre, b, BALL, BALL_EDGE, max(1, round(b / 3.5)))
        # A body drawn huge may reach into the band: the band is laid again on top.
        image.paste(self._band)
        self._draw_labels(image, draw, frame)
        return np.asarray(image).copy()

    def pixel_of(self, position: tuple[float, float]) -> tuple[int, int]:
        """(column, row) of the pixel under a normalised field position."""
        x, y = self.geometry.point(position)
        return math.floor(x), math.floor(y)

    def _pixel(self, position: tuple[float, float]) -> tuple[float, float] | None:
        x, y = position
        if not (math.isfinite(x) and math.isfinite(y)):
            return None  # odd physics can lose a body; draw the rest
        # Keep far-off bodies' coordinates small enough for the drawing library.
        return self.geometry.point((min(4.0, max(-4.0, x)), min(4.0, max(-4.0, y))))

    def _disc(self, draw: ImageDraw.ImageDraw, centre: tuple[float, float], radius: float,
              fill: Colour, outline: Colour, edge: int) -> None:
        x, y = centre
        # Whole-pixel box edges rounded half up on both sides: a body and its mirror image
        # about the halfway line then cover mirrored pixels.
        box = (math.floor(x - radius + 0.5), math.floor(y - radius + 0.5),
               math.floor(x + radius + 0.5) - 1, math.floor(y + radius + 0.5) - 1)
        if box[2] < 0 or box[3] < 0 or box[0] >= self.width or box[1] >= self.height:
            return
        if radius > self.width + self.height:
            # Pillow's time grows with the whole ellipse, most of it off the picture
            # (minutes for a radius of 1e4 field units): only the rows inside are drawn.
            self._clipped_disc(draw, centre, radius, outline if edge else fill)
            if edge:
                self._clipped_disc(draw, centre, radius - edge, fill)
        elif edge:
            draw.ellipse(box, fill=fill, outline=outline, width=edge)
        else:
            draw.ellipse(box, fill=fill)

    def _clipped_disc(self, draw: ImageDraw.ImageDraw, centre: tuple[float, float], radius: float,
                      colour: Colour) -> None:
        """A disc far larger than the picture, drawn as one span per row of the picture."""
        x, y = centre
        radius = min(radius, 1e9)  # beyond this the spans in the picture are the same
        rows = np.arange(max(0, math.floor(y - radius)), min(self.height, math.ceil(y + radius)))
        half = np.sqrt(np.maximum(radius * radius - (rows + 0.5 - y) ** 2, 0.0))
        first = np.maximum(np.ceil(x - half - 0.5), 0).astype(np.int64)
        last = np.minimum(np.floor(x + half - 0.5), self.width - 1).astype(np.int64)
        for row, left, right in zip(rows.tolist(), first.tolist(), last.tolist()):
            if left <= right:
                draw.rectangle((left, row, right, row), fill=colour)

    def _draw_labels(self, image: Image.Image, draw: ImageDraw.ImageDraw, frame: SpectatorFrame) -> None:
        """The score in the middle of the band between chips of the team colours, the tick
        on the left and the match clock on the right, each side label left out when the
        picture is too narrow for it."""
        label, top, pad = self._label, self._label_top, self._label.size // 2
        score = f"{frame.score[0]} - {frame.score[1]}"
        width = label.width(score)
        left = (self.width - width) / 2
        label.stamp(image, score, left, top)
        chip = max(2, label.size // 2)
        middle = self.geometry.band / 2
        for team, x in ((0, left - pad - chip), (1, left + width + pad)):
            draw.rectangle((round(x), round(middle - chip / 2), round(x) + chip - 1,
                            round(middle + chip / 2) - 1), fill=TEAM_COLOURS[team])
        room = left - 2 * pad - chip - pad  # from the picture's edge to the chip, less a gap
        tick = f"tick {frame.tick}"
        if label.width(tick) <= room:
            label.stamp(image, tick, pad, top)
        seconds = frame.tick * self._dt
        if math.isfinite(seconds) and seconds >= 0:
            clock = f"{int(seconds // 60)}:{int(seconds % 60):02d}"
            clock_width = label.width(clock)
            if clock_width <= room:
                label.stamp(image, clock, self.width - pad - clock_width, top)

    def _draw_background(self, config: EngineConfig) -> Image.Image:
        g, w, h = self.geometry, self.width, self.height
        image = Image.new("RGB", (w, h), SURROUND)
        draw = ImageDraw.Draw(image)
        draw.rectangle((0, 0, w - 1, g.band - 1), fill=BAND)
        left, top = _px(g.left), _px(g.top)
        right, bottom = _px(g.left + g.field_width), _px(g.top + g.field_height)
        draw.rectangle((left, top, right - 1, bottom - 1), fill=GRASS)
        for band in range(1, STRIPES, 2):
            x0, x1 = (_px(g.left + b * g.field_width / STRIPES) for b in (band, band + 1))
            if x1 > x0:
                draw.rectangle((x0, top, x1 - 1, bottom - 1), fill=GRASS_STRIPE)
        line = max(1, round(0.12 * g.scale))
        self._draw_goals(draw, config, line)
        # Lines are centred on the field's edges, as a ball on the line covers it.
        inset = line // 2
        draw.rectangle((left - inset, top - inset, right - inset + line - 1, bottom - inset + line - 1),
                       outline=LINE, width=line)
        halfway = _px(w / 2 - line / 2)
        draw.rectangle((halfway, top, halfway + line - 1, bottom - 1), fill=LINE)
        middle, centre = w / 2, g.top + g.field_height / 2
        circle = 0.15 * config.field_height * g.scale
        draw.ellipse((middle - circle, centre - circle, middle + circle, centre + circle),
                     outline=LINE, width=line)
        spot = max(1.0, min(line, self.ball_radius / 2))  # never the ball's size, nor taken for it
        draw.ellipse((middle - spot, centre - spot, middle + spot - 1, centre + spot - 1), fill=LINE)
        # The field is symmetric about the halfway line; mirroring the left half makes the
        # picture so to the pixel, whatever the rounding of the shapes drawn on the right.
        pixels = np.asarray(image).copy()
        pixels[:, w - w // 2:] = pixels[:, :w // 2][:, ::-1]
        return Image.fromarray(pixels)

    def _draw_goals(self, draw: ImageDraw.ImageDraw, config: EngineConfig, line: int) -> None:
        """Each goal, goal_width wide and centred on its goal line, as a net reaching
        `goal_depth` behind the line into the margin, framed by its posts and bar."""
        g = self.geometry
        half = 0.5 * config.goal_width
        if not half > 0:  # also refuses not-a-number
            return
        centre = 0.5 * config.field_height
        upper, lower = min(config.field_height, centre + half), max(0.0, centre - half)
        top = _px(g.top + (config.field_height - upper) * g.scale)
        bottom = _px(g.top + (config.field_height - lower) * g.scale)
        front = _px(g.left)
        back = front - max(2, _px(g.goal_depth))
        if bottom <= top:
            return
        draw.rectangle((back, top, front - 1, bottom - 1), fill=NET)
        mesh = max(3, round(0.3 * g.scale))
        for x in range(front - mesh, back, -mesh):
            draw.line((x, top, x, bottom - 1), fill=NET_MESH)
        for y in range(top + mesh, bottom - 1, mesh):
            draw.line((back, y, front - 1, y), fill=NET_MESH)
        inset = line // 2
        draw.rectangle((back - inset, top - inset, front, bottom - inset + line - 1), outline=LINE, width=line)


def _px(value: float) -> int:
    """The pixel edge nearest `value`, halves rounded up (Python's round() goes to even)."""
    return math.floor(value + 0.5)
