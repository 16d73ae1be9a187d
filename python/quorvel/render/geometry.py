"""python/quorvel/render/geometry.py: where things lie in a picture of a match: the score band, the margin, the field.

A picture is `width` pixels wide. From the top: a band for the score and the clock, then
the field with a margin of grass all round, deep enough for the goals' nets behind the
goal lines and for a body standing on any line, so that nothing in play is cut off at
the picture's edge. Field units are drawn square, `scale` pixels to a unit.
"""
import math

from _quorvel import EngineConfig

MIN_WIDTH, MAX_SIDE = 16, 8192
GOAL_DEPTH = 0.025     # how far a goal's net reaches behind its line, a share of the field's longer side
BODY_ROOM_CAP = 0.1    # the most room the margin makes for a body's radius, as the same share
BALL_MIN_RADIUS = 3.5  # pixels: the ball stays a visible disc however small the picture
LABEL_SIZE = 1 / 36    # the labels' font size as a share of the width (18 pixels at 640)
MIN_LABEL_SIZE = 8


def _size(value: float) -> float:
    """A radius as drawn: its magnitude, or 0 when it is not a finite number."""
    value = abs(value)
    return value if math.isfinite(value) else 0.0


class Geometry:
    """The layout of the picture of `config`'s field `width` pixels wide.

    Attributes, in pixels unless said: `width`, `height` (whole picture), `band` (height of
    the score band), `left`, `top` (the field's top left corner), `field_width`,
    `field_height`, `margin`, `scale` (pixels per field unit), `goal_depth`, `label_size`
    (font size of the labels).
    """

    def __init__(self, config: EngineConfig, width: int) -> None:
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
        longest = max(length, breadth)
        body = min(max(_size(config.player_radius), _size(config.ball_radius)), BODY_ROOM_CAP * longest)
        margin = GOAL_DEPTH * longest + body  # field units
        # The margin in pixels: at least room for the ball at its smallest, however narrow the picture.
        self.margin = max(margin * width / (length + 2 * margin), BALL_MIN_RADIUS + 1)
        self.scale = (width - 2 * self.margin) / length
        if not self.scale > 0:
            raise ValueError(f"a picture {width} pixels wide leaves no room for the field")
        self.width = width
        self.goal_depth = GOAL_DEPTH * longest * self.scale
        self.label_size = max(MIN_LABEL_SIZE, round(width * LABEL_SIZE))
        self.band = round(1.6 * self.label_size)
        self.left, self.top = self.margin, self.band + self.margin
        self.field_width, self.field_height = length * self.scale, breadth * self.scale
        self.height = round(self.top + self.field_height + self.margin)
        if self.height > MAX_SIDE:
            raise ValueError(f"a field of {length} x {breadth} drawn {width} pixels wide would be "
                             f"{self.height} pixels high (at most {MAX_SIDE})")

    def point(self, position: tuple[float, float]) -> tuple[float, float]:
        """(x, y) in pixels, as floats, of a normalised field position (x right, y up)."""
        x, y = position
        return (self.left + (x + 1.0) * 0.5 * self.field_width,
                self.top + (1.0 - y) * 0.5 * self.field_height)


def image_size(config: EngineConfig, width: int) -> tuple[int, int]:
    """(width, height) of the picture of `config`'s field `width` pixels wide."""
    geometry = Geometry(config, width)
    return geometry.width, geometry.height
