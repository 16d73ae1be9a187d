# tests/test_cli.py: the scripted match runner (python -m quorvel).
import re
import subprocess
import sys

import pytest

from quorvel.__main__ import play


def test_runner_prints_score_ticks_and_rate():
    out = subprocess.run([sys.executable, "-m", "quorvel", "--seed", "3", "--ticks", "400",
                          "--players", "2"], check=True, capture_output=True, text=True).stdout
    assert re.search(r"^final score: team A \d+ - \d+ team B$", out, re.M)
    assert re.search(r"^ticks played: 400$", out, re.M)
    assert re.search(r"^ticks per second: [\d,]+$", out, re.M)


def test_scripted_matches_see_goals_on_both_sides():
    # Kicks, goals and kick-offs working end to end show up as both teams scoring.
    both = sum(min(play(seed, 3, None)[0]) > 0 for seed in range(1, 5))
    assert both >= 3


def test_engine_fault_is_exported():
    import quorvel
    assert quorvel.EngineFault.__bases__ == (BaseException,)
    with pytest.raises(quorvel.EngineFault):
        quorvel.Engine(quorvel.EngineConfig(players_per_team=3, field_height=0.5), 0)
