# python/quorvel/render/label.py: text stamped from cached glyphs, for labels redrawn every frame.
"""Pillow's FreeType text with an outline costs most of a millisecond per label; the
score and tick labels use a handful of characters, so each is drawn once and pasted."""
from PIL import Image, ImageDraw, ImageFont

Colour = tuple[int, int, int]


class GlyphCache:
    """Outlined glyphs of one font size in one pair of colours, pasted by their alpha."""

    def __init__(self, size: int, fill: Colour, outline: Colour) -> None:
        font = ImageFont.load_default(size=size)
        if not isinstance(font, ImageFont.FreeTypeFont):  # a Pillow built without FreeType
            raise RuntimeError("drawing the labels needs Pillow with FreeType support")
        self._font = font
        self._fill, self._outline = fill, outline
        self._stroke = 1 if size >= 10 else 0
        ascent, descent = self._font.getmetrics()
        self.size = size
        self.height = ascent + descent + 2 * self._stroke
        # Row, from a stamp's top, halfway down the ink of digits: where a label is centred.
        _, ink_top, _, ink_bottom = self._font.getbbox("0123456789")
        self.ink_middle = self._stroke + (ink_top + ink_bottom) / 2
        self._glyphs: dict[str, Image.Image] = {}

    def _glyph(self, char: str) -> Image.Image:
        glyph = self._glyphs.get(char)
        if glyph is None:
            advance = round(self._font.getlength(char)) + 2 * self._stroke
            glyph = Image.new("RGBA", (max(1, advance), self.height), (0, 0, 0, 0))
            ImageDraw.Draw(glyph).text((self._stroke, self._stroke), char, font=self._font,
                                       fill=self._fill, stroke_width=self._stroke,
                                       stroke_fill=self._outline)
            self._glyphs[char] = glyph
        return glyph

    def width(self, text: str) -> int:
        return sum(self._glyph(char).width for char in text)

    def stamp(self, image: Image.Image, text: str, x: float, y: float) -> None:
        """Pastes `text` onto `image` with its top left corner at (x, y)."""
        x = round(x)
        for char in text:
            glyph = self._glyph(char)
            image.paste(glyph, (x, round(y)), glyph)
            x += glyph.width
