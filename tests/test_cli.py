# tests/test_cli.py: the command line (python -m quorvel): its match and the values it refuses.
import importlib.metadata
import re
import subprocess
import sys

import pytest

from quorvel.cli.play import play_match, scripted_match


def run_cli(*args, code=None):
    """Runs the command line, or `code` standing in for it, with `args`, off a terminal."""
    entry = ["-m", "quorvel"] if code is None else ["-c", code]
    return subprocess.run([sys.executable, *entry, *args], capture_output=True, text=True,
                          timeout=60)


def test_runner_prints_score_ticks_and_rate():
    done = run_cli("--seed", "3", "--ticks", "400", "--players", "2")
    assert done.returncode == 0 and done.stderr == ""
    assert re.search(r"^final score: team A \d+ - \d+ team B$", done.stdout, re.M)
    assert re.search(r"^ticks played: 400$", done.stdout, re.M)
    assert re.search(r"^ticks per second: [\d,]+$", done.stdout, re.M)


@pytest.mark.parametrize("args", [["--ticks", "0"], ["play", "--ticks", "0", "--players", "0"]])
def test_zero_ticks_plays_none(args):
    done = run_cli(*args)
    assert done.returncode == 0
    assert "ticks played: 0\n" in done.stdout


def test_no_progress_output_off_a_terminal():
    done = run_cli("--ticks", "2500", "--players", "1")
    assert done.returncode == 0 and done.stderr == ""


ENGINE_LIMIT_UNKNOWN = ("import sys, quorvel.cli.options as o; "
                        "o.player_limit = lambda: 2**64 - 1; "
                        "from quorvel.cli import main; sys.exit(main(sys.argv[1:]))")


@pytest.mark.parametrize("args, option, accepted, code", [
    (["--seed", "-1"], "--seed", "from 0 to 18446744073709551615", None),
    (["--seed", str(2**64)], "--seed", "from 0 to 18446744073709551615", None),
    (["--seed", "x"], "--seed", "from 0 to 18446744073709551615", None),
    (["--ticks", "-5"], "--ticks", "from 0 to 4294967295", None),
    (["play", "--ticks", str(2**32)], "--ticks", "from 0 to 4294967295", None),
    (["--players", "-1"], "--players", r"from 0 to \d+", None),
    (["--players", str(2**64)], "--players", r"from 0 to \d+", None),
    # The engine's own refusal, for a team size the command line let through.
    (["--players", "100000"], "--players", r"at most \d+", ENGINE_LIMIT_UNKNOWN),
])
def test_bad_values_give_one_line_and_status_2(args, option, accepted, code):
    done = run_cli(*args, code=code)
    assert done.returncode == 2 and done.stdout == ""
    assert re.fullmatch(rf"quorvel: error: argument {option}: .*{accepted}.*\n", done.stderr)


def test_help_states_each_range():
    done = run_cli("--help")
    assert done.returncode == 0
    text = " ".join(done.stdout.split())
    for accepted in ("seed, 0 to 18446744073709551615", r"team, 0 to \d+",
                     r"0 \(plays none\) to 4294967295"):
        assert re.search(accepted, text), accepted


def final_score(seed, players):
    matches = scripted_match(players)
    play_match(matches, seed)
    return matches.status()[0][0]


def test_version_comes_from_the_package_metadata(tmp_path):
    import quorvel
    from quorvel.version import _checkout_version

    assert quorvel.__version__ == importlib.metadata.version("quorvel")
    done = run_cli("--version")
    assert (done.returncode, done.stdout) == (0, f"quorvel {quorvel.__version__}\n")
    # Run from a checkout without metadata, its pyproject.toml says, when it is quorvel's.
    pyproject = tmp_path / "pyproject.toml"
    assert _checkout_version(pyproject) is None
    pyproject.write_text('[project]\nname = "quorvel"\nversion = "1.2.3"\n')
    assert _checkout_version(pyproject) == "1.2.3"
    pyproject.write_text('[project]\nname = "other"\nversion = "1.2.3"\n')
    assert _checkout_version(pyproject) is None


def test_scripted_matches_see_goals_on_both_sides():
    # Kicks, goals and kick-offs working end to end show up as both teams scoring.
    both = sum(min(final_score(seed, 3)) > 0 for seed in range(1, 8))
    assert both >= 4


def test_each_team_can_be_another_policy():
    done = run_cli("--ticks", "900", "--team-a", "scripted:hard", "--team-b", "idle")
    assert done.returncode == 0 and done.stderr == ""
    goals_a, goals_b = map(int, re.search(r"team A (\d+) - (\d+) team B", done.stdout).groups())
    assert goals_a > 0 and goals_b == 0
    for command in ("play", "watch"):
        done = run_cli(command, "--team-b", "expert")
        assert done.returncode == 2 and done.stdout == ""
        assert re.fullmatch(rf"quorvel( {command})?: error: argument --team-b: unknown policy "
                            r"'expert'.*\n", done.stderr)


def test_engine_fault_is_exported():
    import quorvel
    assert quorvel.EngineFault.__bases__ == (BaseException,)
    with pytest.raises(quorvel.EngineFault):
        quorvel.Engine(quorvel.EngineConfig(players_per_team=3, field_height=0.5), 0)


def test_importing_quorvel_and_building_the_parser_build_no_engine():
    code = ("import _quorvel\n"
            "class Tripwire:\n"
            "    def __init__(self, *args, **kwargs):\n"
            "        raise AssertionError('an Engine was built')\n"
            "_quorvel.Engine = Tripwire\n"
            "import quorvel\n"
            "from quorvel.cli.main import build_parser\n"
            "build_parser()\n"
            "assert quorvel.EngineFault is quorvel._batch.EngineFault\n")
    subprocess.run([sys.executable, "-c", code], check=True)
