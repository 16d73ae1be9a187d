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


def start_ray(**settings):
    """``ray.init(include_dashboard=False, **settings)``, tried twice: a node's start waits a
    fixed 30 s for its raylet, which the sanitizer pass (every Ray process slowed by the
    preloaded runtime) has overrun once in many runs."""
    import ray

    for attempt in (1, 2):
        try:
            return ray.init(include_dashboard=False, **settings)
        except Exception as error:  # noqa: BLE001 - Ray raises a bare Exception for it
            ray.shutdown()
            if attempt == 2 or "timed out during startup" not in str(error):
                raise
