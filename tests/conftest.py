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


# A node's start waits a fixed 30 s for its raylet, which the sanitizer pass (every Ray
# process slowed by the preloaded runtime) overruns now and then on a loaded machine: both
# starters below try up to three times, each retry after the failed attempt's processes
# are gone.
ATTEMPTS = 3


def _read(path):
    try:
        with open(path, "rb") as file:
            return file.read()
    except OSError:
        return b""  # gone meanwhile


def _running(pid):
    """Still running: its /proc entry is there and is not a zombie awaiting its parent."""
    stat = _read(f"/proc/{pid}/stat")
    return bool(stat) and stat.rsplit(b")", 1)[1].split()[0] != b"Z"


def _stop_ray_processes():
    """Kills what a failed start left running: the raylet and GCS it spawned are this
    process's descendants, which Ray only reaps at exit (read from /proc: Linux only, as
    the sanitizer pass is)."""
    import signal
    import time
    from pathlib import Path

    parents = {}
    for entry in Path("/proc").glob("[0-9]*"):
        stat = _read(entry / "stat")
        if stat:
            parents[int(entry.name)] = int(stat.rsplit(b")", 1)[1].split()[1])
    ours, grown = {os.getpid()}, True
    while grown:
        found = {pid for pid, parent in parents.items() if parent in ours}
        grown, ours = not found <= ours, ours | found
    strays = {pid for pid in ours - {os.getpid()} if b"ray" in _read(f"/proc/{pid}/cmdline")}
    for pid in strays:
        try:
            os.kill(pid, signal.SIGKILL)
        except ProcessLookupError:
            pass
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline and any(_running(pid) for pid in strays):
        time.sleep(0.1)


def _retried(start):
    """start(), tried again while it fails with Ray's start timeout (up to ATTEMPTS in
    all); `start` cleans up after itself when it raises."""
    for attempt in range(1, ATTEMPTS + 1):
        try:
            return start()
        except Exception as error:  # noqa: BLE001 - Ray raises a bare Exception for it
            if attempt == ATTEMPTS or "timed out during startup" not in str(error):
                raise
            _stop_ray_processes()


def start_ray(**settings):
    """``ray.init(include_dashboard=False, **settings)``, retried on a slow start."""
    import ray

    def start():
        try:
            return ray.init(include_dashboard=False, **settings)
        except Exception:
            ray.shutdown()
            raise

    return _retried(start)


def start_cluster(cpus_per_node=1, nodes=2):
    """A local Ray cluster of `nodes` nodes (the head first), `cpus_per_node` CPUs each,
    waited for; retried on a slow start."""
    from ray.cluster_utils import Cluster

    def start():
        made = Cluster(initialize_head=True,
                       head_node_args={"num_cpus": cpus_per_node, "include_dashboard": False})
        try:
            for _ in range(nodes - 1):
                made.add_node(num_cpus=cpus_per_node)
            made.wait_for_nodes()
        except Exception:
            made.shutdown()
            raise
        return made

    return _retried(start)
