# tests/test_train_run.py: whole tiny runs: a resumed run continues exactly, the worker process changes nothing, evaluations are seeded, and the commands.
import csv

import numpy as np
import pytest

torch = pytest.importorskip("torch")
pytest.importorskip("openskill")

from quorvel import EngineConfig  # noqa: E402
from quorvel.cli import main  # noqa: E402
from quorvel.train import checkpoint, opponents  # noqa: E402
from quorvel.train.config import TrainConfig  # noqa: E402
from quorvel.train.evaluate import evaluate, summarise  # noqa: E402
from quorvel.train.trainer import Trainer  # noqa: E402

TINY = dict(matches=8, groups=4, episode_ticks=40, repeat=4, rollout=5, hidden=(16, 16),
            snapshot_every=2, pool=2, minutes=0.0, eval_minutes=1000.0, eval_matches=2,
            final_eval_matches=2, overlap=False)
LEARNED = ["return", "shaped_return", "rating", "policy", "value", "entropy", "rating_idle",
           "rating_scripted:hard", "gd_scripted:medium"]


def tiny(**changes):
    return TrainConfig(**(TINY | changes)).validate()


def learned(out):
    """What a run learned: its checkpoint's network, optimiser and league, and its log."""
    state = checkpoint.load(out)
    with open(out / "progress.csv") as file:
        rows = [[row[key] for key in LEARNED] for row in csv.DictReader(file)]
    return state, rows


def same_state(a, b):
    for key, value in a["learner"]["net"].items():
        assert torch.equal(value, b["learner"]["net"][key]), key
    for x, y in zip(a["learner"]["optimizer"]["state"].values(),
                    b["learner"]["optimizer"]["state"].values()):
        assert torch.equal(x["exp_avg_sq"], y["exp_avg_sq"])
    assert a["league"]["learner"] == b["league"]["learner"]
    assert list(a["league"]["entries"]) == list(b["league"]["entries"])
    assert a["worker"] == b["worker"] and a["progress"]["ticks"] == b["progress"]["ticks"]


def test_resumed_run_continues_exactly(tmp_path):
    Trainer(tiny(episodes=3), tmp_path / "whole", stream=None).run()
    Trainer(tiny(episodes=1), tmp_path / "parts", stream=None).run()
    Trainer(tiny(episodes=3), tmp_path / "parts", resume=True, stream=None).run()
    (whole, whole_rows), (parts, parts_rows) = learned(tmp_path / "whole"), learned(tmp_path / "parts")
    same_state(whole, parts)
    assert whole_rows == parts_rows and len(whole_rows) == 3
    assert whole["learner"]["updates"] == 6
    assert sorted(p.name for p in (tmp_path / "parts" / "policies").iterdir()) == \
        ["update-000002.npz", "update-000006.npz"]


def test_worker_process_plays_the_same_run(tmp_path):
    Trainer(tiny(episodes=1), tmp_path / "local", stream=None).run()
    Trainer(tiny(episodes=1, overlap=True), tmp_path / "process", stream=None).run()
    same_state(learned(tmp_path / "local")[0], learned(tmp_path / "process")[0])


def test_two_workers_share_the_matches_in_or_out_of_process(tmp_path):
    # The matches split in two, each half with its own seed: the in-process pair and the
    # pair of processes play one run, and every pool match is reported once.
    Trainer(tiny(episodes=1, workers=2), tmp_path / "local", stream=None).run()
    Trainer(tiny(episodes=1, workers=2, overlap=True), tmp_path / "process", stream=None).run()
    local, process = learned(tmp_path / "local")[0], learned(tmp_path / "process")[0]
    same_state(local, process)
    assert [worker["episode"] for worker in local["worker"]["workers"]] == [1, 1]
    assert local["worker"]["workers"][0]["rng"] != local["worker"]["workers"][1]["rng"]


def test_evaluation_is_seeded_and_fair():
    config = EngineConfig(players_per_team=2, max_ticks=300)
    scripted, idle = (lambda: opponents.make("scripted", config)), (lambda: opponents.make("idle", config))
    first = evaluate(scripted, idle, config, 6, seed=4)
    assert first == evaluate(scripted, idle, config, 6, seed=4)
    assert first.goal_difference > 0 and first.wins + first.draws + first.losses == 6
    mirrored = evaluate(idle, scripted, config, 6, seed=4)
    assert mirrored.goal_difference < 0
    both = summarise([2, 1, 0, 3], [0, 1, 2, 0])
    assert (both.wins, both.draws, both.losses, both.goal_difference) == (2, 1, 1, 0.75)
    assert both.interval == pytest.approx(1.96 * np.std([2, 0, -2, 3], ddof=1) / 2)


def run_cli(capsys, *args):
    """Runs the command line in this process (torch is imported once); (status, out, err)."""
    status = main(list(args))
    captured = capsys.readouterr()
    return status, captured.out, captured.err


def test_eval_command_is_seeded_and_refuses_unknown_policies(capsys):
    args = ["eval", "scripted", "random", "--matches", "4", "--ticks", "150", "--seed", "7"]
    first, second = run_cli(capsys, *args), run_cli(capsys, *args)
    assert first[0] == 0 and first == second
    assert first[1].startswith("scripted vs random: 4 matches, ")
    status, out, err = run_cli(capsys, "eval", "nobody", "idle")
    assert status == 2 and out == ""
    assert err.startswith("quorvel eval: error: unknown policy 'nobody'") and err.count("\n") == 1


def test_train_command_runs_resumes_and_refuses(tmp_path, capsys):
    out = str(tmp_path / "run")
    sets = [arg for key, value in (TINY | {"episodes": 1}).items()
            for arg in ("--set", f"{key}={','.join(map(str, value)) if isinstance(value, tuple) else value}")]
    status, printed, err = run_cli(capsys, "train", "--out", out, *sets)
    assert status == 0 and err == "" and "trained vs scripted: 2 matches" in printed
    status, _, err = run_cli(capsys, "train", "--out", out)
    assert status == 2 and "pass --resume" in err
    status, _, err = run_cli(capsys, "train", "--out", out, "--resume", "--set", "lr=0.1")
    assert status == 2 and "cannot change lr" in err
    with checkpoint.lock(out):
        status, _, err = run_cli(capsys, "train", "--out", out, "--resume")
        assert status == 2 and "in use by another" in err
    status, _, err = run_cli(capsys, "train", "--out", out, "--resume", "--set", "episodes=2")
    assert status == 0, err
    assert checkpoint.load(out)["progress"]["episodes"] == 2
    status, printed, _ = run_cli(capsys, "eval", f"{out}/latest.npz", "idle", "--matches", "2",
                                 "--ticks", "40")
    assert status == 0 and "latest.npz vs idle: 2 matches" in printed


def test_shaping_telescopes_over_an_episode_and_collect_keeps_to_it():
    # With gamma = 1 the shaping terms of a whole episode add up to phi(last) - phi(first):
    # every decision's term is taken between the very states the rollout passed through.
    from quorvel.train.rollout import RolloutWorker

    cfg = tiny(gamma=1.0, shaping_ball=0.3, shaping_near=0.2)
    worker = RolloutWorker(cfg, 5)
    worker.start_episode([("scripted", "scripted")] * len(worker.pool_groups))
    team = lambda: worker.obs[worker.entry_match, worker.entry_side].copy()  # noqa: E731
    first = worker.shaping.potential(team())
    batches = [worker.collect(cfg.rollout)[0] for _ in range(2)]
    last = worker.shaping.potential(team())
    shaping = sum((b["rewards"] - b["goals"]).sum(axis=0) for b in batches)
    np.testing.assert_allclose(shaping, last - first, atol=1e-4)
    assert np.abs(last - first).max() > 0.01
    with pytest.raises(ValueError, match="within an episode"):
        worker.collect(1)


def test_rating_difference_stays_finite_on_a_sweep():
    sweep = summarise([3] * 10, [0] * 10)
    assert sweep.wins == 10 and sweep.interval == 0.0
    assert sweep.rating_difference == pytest.approx(400 * np.log10(19.0))
