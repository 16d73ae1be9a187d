# tests/test_scripted.py: the scripted team: seeded play, command bounds, levels, restarts under it, a ball that keeps moving.
import numpy as np
import pytest

import quorvel
from quorvel import policies
from quorvel.policies.scripted import LEVELS, Level, ScriptedPolicy


class Idle:
    def __init__(self, config, level=None):
        pass

    def __call__(self, obs, out, rng):
        out[...] = 0.0


def play(teams, n=4, ticks=300, seed=0, rng_seed=0, **fields):
    """Plays `ticks` ticks of n matches between two (level or class) teams; returns every
    tick's commands (ticks, n, 2, P, 4), team A's observations (ticks, n, 8P + 4) and the
    scores."""
    config = quorvel.EngineConfig(**{"max_ticks": ticks, **fields})
    p = config.players_per_team
    batch = quorvel.BatchEngine(config, n, seed=seed, threads=1, autoreset="disabled")
    policies = [ScriptedPolicy(config, t) if isinstance(t, str) else t(config) for t in teams]
    rngs = [np.random.default_rng([rng_seed, side]) for side in (0, 1)]
    actions = np.zeros((n, 2, p, 4), np.float32)
    obs = batch.reset()
    commands, seen = [], []
    for _ in range(ticks):
        for side in (0, 1):
            policies[side](obs[:, side], actions[:, side], rngs[side])
        commands.append(actions.copy())
        obs, _, _, _, info = batch.step(actions)
        seen.append(obs[:, 0].copy())
    return np.array(commands), np.array(seen), info["score"]


def test_a_seeded_match_plays_the_same_every_time():
    first = play(("medium", "hard"))
    again = play(("medium", "hard"))
    for a, b in zip(first, again):
        np.testing.assert_array_equal(a, b)
    other = play(("medium", "hard"), rng_seed=1)
    assert not np.array_equal(first[0], other[0])


@pytest.mark.parametrize("level", list(LEVELS))
@pytest.mark.parametrize("fields", [dict(players_per_team=1), dict(players_per_team=2),
                                    dict(players_per_team=5),
                                    dict(ball_linear_damping=0.0, kick_max_speed=0.0),
                                    dict(player_max_speed=0.0, field_width=10.0)])
def test_commands_are_finite_and_within_the_unit_disc(level, fields):
    commands, _, _ = play((level, "hard"), n=3, ticks=120, **fields)
    assert np.isfinite(commands).all()
    moves, kicks = commands[..., :2], commands[..., 2:]
    assert np.hypot(moves[..., 0], moves[..., 1]).max() <= 1.0 + 1e-6
    assert np.hypot(kicks[..., 0], kicks[..., 1]).max() <= 1.0 + 1e-6
    if fields.get("kick_max_speed", 1.0) > 0 and fields.get("player_max_speed", 1.0) > 0:
        assert (kicks != 0).any()


def test_levels_play_differently_and_the_keepers_stay_home():
    played = {level: play((level, level), n=4, ticks=300) for level in LEVELS}
    assert not np.array_equal(played["easy"][0], played["medium"][0])
    assert not np.array_equal(played["medium"][0], played["hard"][0])
    for level, (_, seen, _) in played.items():
        # The last player keeps goal at the levels that have a keeper: it stays in its area.
        home = seen[100:, :, 8] < -0.7
        assert (home.mean() > 0.9) == LEVELS[level].keeper, level


def test_every_level_scores_against_a_team_that_stands_still():
    for level in LEVELS:
        _, _, score = play((level, Idle), n=2, ticks=600)
        assert (score[:, 0] > 0).all() and (score[:, 1] == 0).all(), level


def test_the_ball_never_stays_in_one_place_for_ten_seconds():
    _, seen, _ = play(("medium", "medium"), n=3, ticks=1200, seed=3)
    ball = seen[:, :, 24:26] * [20.0, 10.0]
    windows = ball.reshape(4, 300, 3, 2)
    starts = np.concatenate([ball[:1], windows[:-1, -1]])   # each window's starting place
    farthest = np.hypot(*(windows - starts[:, None]).transpose(3, 0, 1, 2)).max(axis=1)
    assert (farthest >= 2.0).all(), farthest.min()


def test_a_restart_under_the_team_clears_what_it_remembers():
    config = quorvel.EngineConfig()
    batch = quorvel.BatchEngine(config, 4, threads=1)
    played, fresh = ScriptedPolicy(config, "easy"), ScriptedPolicy(config, "easy")
    obs, out = batch.reset(), np.zeros((4, 3, 4), np.float32)
    actions = np.zeros((4, 2, 3, 4), np.float32)
    for _ in range(121):     # its decisions out of step with a kick-off's
        played(obs[:, 0], actions[:, 0], np.random.default_rng(1))
        obs = batch.step(actions)[0]
    # From a kick-off on, what it remembers (what it saw, who chases, when it decides)
    # is as a fresh team's: both answer the same match alike.
    restarted = [batch.reset()[:, 0]]
    for _ in range(30):
        restarted.append(batch.step(np.random.default_rng(3).uniform(-1, 1, actions.shape)
                                    .astype(np.float32))[0][:, 0])
    mine, theirs = np.zeros_like(out), np.zeros_like(out)
    rngs = np.random.default_rng(2), np.random.default_rng(2)
    for obs in restarted:
        played(obs, mine, rngs[0])
        fresh(obs, theirs, rngs[1])
        np.testing.assert_array_equal(mine, theirs)
    # Another batch size starts afresh too.
    fresh(obs[:2], out[:2], rngs[1])


def test_bad_arguments_are_value_errors():
    config = quorvel.EngineConfig()
    with pytest.raises(ValueError, match="level"):
        ScriptedPolicy(config, "expert")
    for bad in (dict(every=0), dict(delay=-1), dict(every=1.5)):
        with pytest.raises(ValueError, match="delay"):
            ScriptedPolicy(config, Level(**{**vars(LEVELS["hard"]), **bad}))
    team, rng = ScriptedPolicy(config), np.random.default_rng(0)
    with pytest.raises(ValueError, match="obs"):
        team(np.zeros((2, 27), np.float32), np.zeros((2, 3, 4), np.float32), rng)
    out = np.ones((2, 2, 4), np.float32)
    with pytest.raises(ValueError, match="out"):
        team(np.zeros((2, 28), np.float32), out, rng)
    assert (out == 1).all()


def test_the_registry_makes_each_level():
    config = quorvel.EngineConfig()
    assert policies.make("scripted", config).params == LEVELS["medium"]
    assert policies.make("scripted", config, level="hard").params == LEVELS["hard"]
    for level in LEVELS:
        made = policies.make(f"scripted:{level}", config)
        assert type(made) is ScriptedPolicy and made.params == LEVELS[level]
    with pytest.raises(TypeError):
        policies.make("scripted:hard", config, level="easy")
