# tests/test_cli_output.py: the command line's outputs: checked before the work, a failure in one line naming the output, standard output that goes away.
import os
import subprocess
import sys

import pytest

from _quorvel import EngineConfig
from quorvel.replay import RecordingEngine


def run_cli(*args, cwd, stdout=subprocess.PIPE):
    environment = {k: v for k, v in os.environ.items()
                   if k not in ("DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER")}
    return subprocess.run([sys.executable, "-m", "quorvel", *args], stdout=stdout,
                          stderr=subprocess.PIPE, text=True, timeout=120, cwd=cwd, env=environment)


def one_line(done, status, *says):
    assert done.returncode == status, done.stderr
    assert done.stderr.count("\n") == 1 and "Traceback" not in done.stderr, done.stderr
    for words in says:
        assert words in done.stderr, done.stderr


@pytest.fixture
def folder(tmp_path):
    RecordingEngine(EngineConfig(max_ticks=5), 3).save(tmp_path / "good.npz")
    (tmp_path / "full.gif").symlink_to("/dev/full")
    (tmp_path / "full.mp4").symlink_to("/dev/full")
    (tmp_path / "full.npz").symlink_to("/dev/full")
    (tmp_path / "dir.mp4").mkdir()
    return tmp_path


@pytest.mark.parametrize("args, says", [
    # A long match with a record nowhere to go stops before its first tick.
    (["watch", "--ticks", "3000", "--out", "ok.gif", "--record", "missing/r.npz"],
     ["argument --record", "no folder missing"]),
    (["watch", "--out", "missing/x.mp4"], ["argument --out", "no folder missing"]),
    (["watch", "--out", "dir.mp4"], ["argument --out", "dir.mp4: it is a folder"]),
    (["watch", "--out", "/proc/x.mp4"], ["argument --out", "cannot write /proc/x.mp4"]),
    (["watch", "--out", "ok.gif", "--record", "./ok.gif"], ["ok.gif is already the file of --out"]),
    # The output's failure, not the input's.
    (["replay", "good.npz", "--out", "missing/x.mp4"], ["argument --out", "no folder missing"]),
])
def test_output_paths_are_checked_before_the_work_starts(folder, args, says):
    done = run_cli(*args, cwd=folder)
    one_line(done, 2, *says)
    assert "good.npz" not in done.stderr and not (folder / "ok.gif").exists()


def test_a_file_that_fails_while_written_is_named_in_one_line(folder):
    pytest.importorskip("imageio")
    done = run_cli("watch", "--ticks", "3", "--width", "64", "--out", "full.gif", cwd=folder)
    one_line(done, 1, "quorvel watch: error: cannot write full.gif: No space left on device")
    done = run_cli("replay", "good.npz", "--width", "64", "--out", "full.gif", cwd=folder)
    one_line(done, 1, "quorvel replay: error: cannot write full.gif: No space left on device")
    # ffmpeg reports it in its exit status only; the device stays
    done = run_cli("watch", "--ticks", "3", "--width", "64", "--out", "full.mp4", cwd=folder)
    one_line(done, 1, "quorvel watch: error: cannot write full.mp4: ffmpeg stopped with status",
             "No space left on device")
    assert (folder / "full.mp4").is_symlink()
    done = run_cli("watch", "--ticks", "3", "--width", "64", "--out", "ok.gif", "--record",
                   "full.npz", cwd=folder)
    one_line(done, 1, "cannot write full.npz: No space left on device")


@pytest.mark.parametrize("args", [["play", "--ticks", "100"], ["replay", "good.npz", "--check"],
                                  ["--help"]])
def test_standard_output_that_goes_away(folder, args):
    reader, writer = os.pipe()
    os.close(reader)  # the reader left before anything was written, as `| true` may
    try:
        done = run_cli(*args, cwd=folder, stdout=writer)
    finally:
        os.close(writer)
    assert done.returncode == 141 and done.stderr == ""
    with open("/dev/full", "w") as full:
        done = run_cli(*args, cwd=folder, stdout=full)
    one_line(done, 1, "error: cannot write to standard output: No space left on device")
