# tests/test_cli_video.py: `quorvel watch` and `quorvel replay`: videos, replay files, interruption and their one-line errors.
import os
import signal
import subprocess
import sys
import time

import numpy as np
import pytest

from _quorvel import EngineConfig

imageio = pytest.importorskip("imageio.v2")
from quorvel.render.geometry import image_size  # noqa: E402


def run_cli(*args, cwd, **env):
    environment = {k: v for k, v in os.environ.items()
                   if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
    return subprocess.run([sys.executable, "-m", "quorvel", *args], capture_output=True, text=True,
                          timeout=120, cwd=cwd, env={**environment, **env})


def test_watch_writes_a_video_and_a_replay_that_replays_to_a_gif(tmp_path):
    done = run_cli("watch", "--ticks", "45", "--seed", "9", "--out", "m.mp4", "--record", "m.npz",
                   cwd=tmp_path)
    assert done.returncode == 0 and done.stderr == "", done.stderr
    assert imageio.get_reader(tmp_path / "m.mp4").count_frames() == 46
    done = run_cli("replay", "m.npz", "--out", "r.gif", "--width", "160", cwd=tmp_path)
    assert done.returncode == 0 and "45 ticks replayed exactly" in done.stdout
    frames = imageio.mimread(tmp_path / "r.gif")
    assert len(frames) == 46 and np.asarray(frames[0]).shape[:2] == image_size(EngineConfig(), 160)[::-1]
    assert run_cli("replay", "m.npz", "--check", cwd=tmp_path).returncode == 0


def test_replay_and_watch_errors_are_one_line_with_status_2(tmp_path):
    (tmp_path / "bad.npz").write_bytes(b"PK\x03\x04 not really")
    np.savez(tmp_path / "old.npz", format=np.array("quorvel-replay"), version=np.array(0))
    for args, says in [(["replay", "missing.npz"], "cannot read missing.npz"),
                       (["replay", "bad.npz"], "not a readable replay file"),
                       (["replay", "old.npz"], "version 0"),
                       (["watch", "--out", "m.avi"], "must end in .mp4 or .gif"),
                       (["watch", "--ticks", "5"], "cannot open a window")]:
        done = run_cli(*args, cwd=tmp_path)
        assert done.returncode == 2 and done.stdout == ""
        assert done.stderr.count("\n") == 1 and done.stderr.startswith(f"quorvel {args[0]}: error: ")
        assert says in done.stderr, done.stderr


def test_ctrl_c_stops_a_long_gif_export_at_once_leaving_the_frames_written(tmp_path):
    environment = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    export = subprocess.Popen([sys.executable, "-m", "quorvel", "watch", "--ticks", "100000", "--out", "m.gif",
                               "--width", "64"], cwd=tmp_path, env=environment, stderr=subprocess.PIPE, text=True)
    try:
        deadline = time.monotonic() + 120
        while not ((tmp_path / "m.gif").exists() and (tmp_path / "m.gif").stat().st_size > 50_000):
            assert export.poll() is None and time.monotonic() < deadline
            time.sleep(0.05)
        export.send_signal(signal.SIGINT)
        assert export.wait(timeout=60) == 130
    finally:
        export.kill()
    assert export.stderr.read() == "quorvel watch: interrupted\n"
    assert len(imageio.mimread(tmp_path / "m.gif", memtest=False)) > 10


def test_a_missing_extra_is_named_in_one_line(tmp_path):
    from quorvel.replay import RecordingEngine
    engine = RecordingEngine(EngineConfig(), 0)
    engine.reset()
    engine.save(tmp_path / "m.npz")
    hide = ("import runpy, sys\n"
            "class Hide:\n"
            "    def find_spec(self, name, path=None, target=None):\n"
            "        if name.split('.')[0] == 'PIL':\n"
            "            raise ModuleNotFoundError(f'No module named {name!r}', name=name)\n"
            "sys.meta_path.insert(0, Hide())\n"
            "sys.argv[0] = 'quorvel'\n"
            "runpy.run_module('quorvel', run_name='__main__')\n")
    for args in (["watch", "--ticks", "3", "--out", "m.gif"], ["replay", "m.npz", "--out", "m.mp4"]):
        done = subprocess.run([sys.executable, "-c", hide, *args], capture_output=True, text=True,
                              timeout=120, cwd=tmp_path)
        assert (done.returncode, done.stdout) == (1, "")
        assert done.stderr == f"quorvel {args[0]}: needs the render extra: pip install 'quorvel[render]'\n"
