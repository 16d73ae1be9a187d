# tests/test_cli_video.py: `quorvel watch` and `quorvel replay`: videos, replay files and their one-line errors.
import os
import subprocess
import sys

import numpy as np
import pytest

imageio = pytest.importorskip("imageio.v2")


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
    assert len(frames) == 46 and np.asarray(frames[0]).shape[:2] == (80, 160)
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
