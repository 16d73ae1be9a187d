# tests/conftest.py: shared fixture of the Python suites: an argument error and the note that names it.
import contextlib
import os
import re

import pytest

# Windows opened by the suites (Gymnasium's render checks among them) draw off screen.
os.environ.setdefault("SDL_VIDEODRIVER", "dummy")


@pytest.fixture
def raises_noted():
    """Expects exactly `exc_type`, carrying a note that names `name` as a whole word."""

    @contextlib.contextmanager
    def expect(exc_type, name):
        with pytest.raises(exc_type) as info:
            yield info
        assert type(info.value) is exc_type
        notes = getattr(info.value, "__notes__", [])
        assert any(re.search(rf"\b{re.escape(name)}\b", note) for note in notes), notes

    return expect
