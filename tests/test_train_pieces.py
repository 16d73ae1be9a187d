# tests/test_train_pieces.py: the trainer's pieces on known numbers: GAE, the clipped loss, the league, the settings, the egocentric view.
import math

import numpy as np
import pytest

torch = pytest.importorskip("torch")
pytest.importorskip("openskill")

from quorvel import EngineConfig  # noqa: E402
from quorvel.core.egocentric import Egocentric, feature_count  # noqa: E402
from quorvel.train.config import TrainConfig, make_config  # noqa: E402
from quorvel.train.gae import gae  # noqa: E402
from quorvel.train.league import League  # noqa: E402
from quorvel.train.ppo import clipped_surrogate  # noqa: E402


def test_gae_by_hand():
    # Two entries, three steps. Entry 0's episode ends (time limit) after step 0 and is
    # bootstrapped there; entry 1 terminates after step 1 (no bootstrap).
    g, lam = 0.9, 0.5
    rewards = np.array([[1.0, 0.0], [0.0, 2.0], [0.5, 1.0]])
    values = np.array([[0.2, 0.1], [0.4, 0.3], [0.6, 0.5]])
    next_values = np.array([[0.7, 0.3], [0.6, 9.0], [0.8, 0.4]])
    terminated = np.array([[0, 0], [0, 1], [0, 0]], bool)
    ended = np.array([[1, 0], [0, 1], [0, 0]], bool)
    adv, ret = gae(rewards, values, next_values, terminated, ended, g, lam)
    d = rewards + g * next_values * ~terminated - values
    assert d[1, 1] == pytest.approx(2.0 - 0.3)           # no bootstrap after termination
    a2 = d[2]
    a1 = np.array([d[1, 0] + g * lam * a2[0], d[1, 1]])  # entry 1's recursion stops at 1
    a0 = np.array([d[0, 0], d[0, 1] + g * lam * a1[1]])  # entry 0's stops at 0
    np.testing.assert_allclose(adv, [a0, a1, a2], rtol=1e-6)
    np.testing.assert_allclose(ret, adv + values, rtol=1e-6)


def test_clipped_surrogate_on_known_numbers():
    old = torch.log(torch.tensor([0.5, 0.5, 0.5, 0.5]))
    new = torch.log(torch.tensor([0.75, 0.25, 0.55, 0.3]))  # ratios 1.5, 0.5, 1.1, 0.6
    adv = torch.tensor([1.0, 1.0, -2.0, -1.0])
    # min(r A, clip(r) A): 1.2 (clipped), 0.5 (unclipped is smaller), -2.2, -0.8 (clipped).
    loss = clipped_surrogate(new, old, adv, 0.2)
    assert loss.item() == pytest.approx(-(1.2 + 0.5 - 2.2 - 0.8) / 4, rel=1e-6)
    # Gradient flows only where the ratio is not clipped.
    new = new.clone().requires_grad_(True)
    clipped_surrogate(new, old, adv, 0.2).backward()
    assert [g != 0 for g in new.grad.tolist()] == [False, True, True, False]


def test_league_ratings_and_draws():
    league = League(["idle", "scripted"], pool_size=2, seed=0)
    league.record([("scripted", 0, 2)] * 5 + [("idle", 3, 0)] * 5)
    ratings = league.ratings()
    assert ratings["scripted"] > ratings["learner"] > ratings["idle"]
    # A draw between equal ratings moves neither mean.
    even = League(["a"], 1, seed=0)
    even.record([("a", 1, 1)])
    assert even.ratings()["learner"] == pytest.approx(even.ratings()["a"])
    # Matches against an entry that left the pool are ignored.
    league.record([("gone", 5, 0)])
    # Sampling favours the opponent nearest in strength (scripted, once idle is clearly beaten)
    # and still draws the other now and then; the same seed draws the same opponents.
    league.record([("idle", 5, 0)] * 30)
    draws = [entry for entry, _ in league.draw(2000)]
    assert draws.count("scripted") > 2 * draws.count("idle") > 0
    # With a snapshot, about level_share of the draws are levels.
    league.add_snapshot("snapshot-1", ({}, {}))
    draws = [entry for entry, _ in league.draw(2000)]
    assert 900 < draws.count("snapshot-1") < 1100
    again = League(["idle", "scripted"], pool_size=2, seed=0)
    again.load_state(League(["idle", "scripted"], 2, seed=0).state())
    assert [e for e, _ in again.draw(20)] == [e for e, _ in League(["idle", "scripted"], 2, 0).draw(20)]


def test_league_snapshots_start_at_the_learner_and_the_pool_is_capped():
    league = League(["idle"], pool_size=2, seed=0)
    league.record([("idle", 4, 0)] * 10)
    for n in range(3):
        league.add_snapshot(f"snapshot-{n}", ({"meta": n}, {}))
    assert [k for k in league.entries] == ["idle", "snapshot-1", "snapshot-2"]
    assert league.entries["snapshot-2"]["rating"] == league.learner
    assert league.win_chance("snapshot-2") == pytest.approx(0.5)


def test_settings_from_assignments_and_their_refusals(tmp_path):
    cfg = make_config(None, ["matches=64", "groups=4", "hidden=32,32", "shaping=off",
                             "levels=idle,scripted", "lr=1e-3"])
    assert (cfg.matches, cfg.hidden, cfg.shaping, cfg.levels, cfg.lr) == \
        (64, (32, 32), False, ("idle", "scripted"), 1e-3)
    file = tmp_path / "run.toml"
    file.write_text("matches = 32\ngroups = 4\nepochs = 3\n")
    assert make_config(file, ["epochs=1"]).epochs == 1
    assert TrainConfig.from_dict(cfg.to_dict()) == cfg
    for bad, words in [("nonsense=1", "unknown setting"), ("matches=1.5", "integer"),
                       ("repeat=7", "multiple of repeat"), ("rollout=40", "must divide"),
                       ("gamma=2", "[0, 1]"), ("lr=nan", "above 0"), ("matches", "name=value"),
                       ("groups=3", "multiple of groups"), ("workers=3", "multiple of workers"),
                       ("workers=0", "at least 1")]:
        with pytest.raises(ValueError, match=words if words[0] != "[" else r"\[0, 1\]"):
            make_config(None, [bad])


def test_egocentric_view_of_a_known_state():
    config = EngineConfig(players_per_team=2, field_width=40.0, field_height=20.0,
                          player_max_speed=5.0)
    view = Egocentric(config)
    assert view.features == feature_count(2) == 29
    # Own players at (-10, 0) and (5, 5) with velocity (5, 0); opponents at (10, -5), (0, 0);
    # the ball at (0, 5) moving (0, -10). Team units: x / 20, y / 10, v / 20 and v / 10.
    obs = np.array([[-0.5, 0.0, 0.25, 0.0, 0.25, 0.5, 0.0, 0.0,
                     0.5, -0.5, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0,
                     0.0, 0.5, 0.0, -1.0]], np.float32)
    row = view(obs)[0, 0]   # player 0, in half-lengths (20) and speeds (5)
    expected = [-0.5, 0.0, 1.0, 0.0,            # own x, y, vx, vy
                0.5, 0.25, math.hypot(0.5, 0.25),  # to the ball, distance
                0.0, 0.25, 0.0, -2.0,           # ball
                1.0, -0.25,                     # opponents' goal minus ball
                -0.5, 0.0,                      # own goal minus own position
                0.75, 0.25, 0.0, 0.0,           # the team-mate
                1.0, -0.25, 0.0, 0.0, 0.5, 0.0, 0.0, 0.0,  # opponents
                1.0, 0.0]                       # index one-hot
    np.testing.assert_allclose(row, expected, atol=1e-6)
    assert view(obs)[0, 1, -2:].tolist() == [0.0, 1.0]
    with pytest.raises(ValueError, match="expected shape"):
        view(np.zeros((1, 19), np.float32))


def test_action_choices_on_known_states():
    from quorvel.core.action_choices import ActionChoices

    codec = ActionChoices(EngineConfig(), 8)
    # Match 0: the ball at (10, 0), players at the centre spot. Match 1: the ball at (6, 3)
    # with player 0 on its centre.
    obs = np.zeros((2, 28), np.float32)
    obs[0, 24] = 0.5
    obs[1, 0:2] = obs[1, 24:26] = 0.3
    move = np.array([[1, 3, 6], [0, 0, 0]])
    kick = np.array([[1, 2, 0], [2, 1, 0]])
    out = codec(move, kick, obs, np.full((2, 3, 4), 9.0, np.float32))
    expected = [[[1, 0, 1, 0], [0, 1, 1, 0], [-np.sqrt(0.5), -np.sqrt(0.5), 0, 0]],
                [[0, 0, 0, 0], [0, 0, 14 / np.hypot(14, 3), -3 / np.hypot(14, 3)], [0, 0, 0, 0]]]
    np.testing.assert_allclose(out, expected, atol=1e-6)
