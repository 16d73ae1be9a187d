# tests/test_policies.py: the one registry of policies, and the one scripted team the command line, the environments and the benchmarks play.
import importlib.util
import pathlib

import numpy as np
import pytest

from quorvel import EngineConfig, policies
from quorvel.core.seeding import team_generators
from quorvel.policies import registry
from quorvel.replay import fingerprint

BENCH = pathlib.Path(__file__).resolve().parent.parent / "bench"


@pytest.fixture
def fresh_registry(monkeypatch):
    """The registry as it is, put back after the test."""
    monkeypatch.setattr(registry, "_FACTORIES", dict(registry._FACTORIES))
    monkeypatch.setattr(registry, "_LOADERS", dict(registry._LOADERS))


def test_make_takes_names_policies_classes_and_callables():
    config = EngineConfig()
    assert policies.names()[:3] == ("idle", "random", "scripted")
    assert type(policies.make("scripted", config)) is policies.ScriptedPolicy
    made = policies.RandomPolicy(config)
    assert policies.make(made, config) is made
    assert type(policies.make(policies.IdlePolicy, config)) is policies.IdlePolicy
    obs, out = np.zeros((2, 28), np.float32), np.zeros((2, 3, 4), np.float32)
    policies.make(lambda batch: np.ones((len(batch), 3, 4)), config)(obs, out, None)
    assert (out == 1).all()
    with pytest.raises(ValueError, match="unknown policy 'nobody'"):
        policies.make("nobody", config)
    with pytest.raises(ValueError, match="unknown policy"):
        policies.make("runs/latest.pt", config)
    with pytest.raises(TypeError):
        policies.make(3, config)
    with pytest.raises(TypeError, match="options"):
        policies.make(made, config, level=2)


def test_variants_and_policy_files_come_in_through_the_registry(fresh_registry, tmp_path):
    config = EngineConfig()
    policies.register("scripted:test", lambda config, **options: policies.IdlePolicy(config))
    assert "scripted:test" in policies.names()
    assert type(policies.make("scripted:test", config)) is policies.IdlePolicy
    policies.register_loader(".pol", lambda path, config: ("loaded", path))
    assert policies.make(tmp_path / "team.pol", config) == ("loaded", str(tmp_path / "team.pol"))
    for name, error in [("scripted", ValueError), ("two words", ValueError), ("", ValueError)]:
        with pytest.raises(error):
            policies.register(name, policies.IdlePolicy)
    with pytest.raises(ValueError, match="already"):
        policies.register_loader(".npz", lambda path, config: None)


def last_frame_of_the_command_line(seed, players, ticks):
    from quorvel.cli.play import play_match, scripted_match
    matches = scripted_match(players, ticks)
    played = play_match(matches, seed)
    return fingerprint(matches.spectator(0)), played


def last_frame_of_an_environment(env, seed):
    """Team B is the environment's scripted opponent drawing from its np_random, team A
    the registry's scripted policy answering the observations the environment returns,
    each on the command line's stream."""
    generator_a, generator_b = team_generators(seed)
    team_a = policies.make("scripted", env.unwrapped.config)
    obs, _ = env.reset(seed=seed)
    env.unwrapped.np_random = generator_b
    out, played, ended = np.zeros((1, env.unwrapped.players, 4), np.float32), 0, False
    while not ended:
        team_a(np.reshape(obs, (1, -1)), out, generator_a)
        obs, _, terminated, truncated, _ = env.step(out.reshape(env.action_space.shape))
        played, ended = played + 1, np.any(terminated) or np.any(truncated)
    return fingerprint(env.unwrapped.matches.spectator(0)), played


def last_frame_of_the_benchmarks(seed, players, ticks):
    found = importlib.util.spec_from_file_location("render_bench", BENCH / "render_bench.py")
    bench = importlib.util.module_from_spec(found)
    found.loader.exec_module(bench)
    config = EngineConfig(players_per_team=players, max_ticks=ticks)
    matches = bench.scripted(config, seed, None, team_seeds=(2 * seed, 2 * seed + 1))
    return fingerprint(matches.spectator(0)), int(matches.tick[0])


def test_the_command_line_the_environments_and_the_benchmarks_play_one_scripted_team():
    pytest.importorskip("gymnasium")
    pytest.importorskip("PIL")  # the benchmark's module draws frames too
    from quorvel.envs.gymnasium import SoccerEnv, SoccerVectorEnv
    seed, players, ticks = 5, 2, 900
    expected = last_frame_of_the_command_line(seed, players, ticks)
    assert expected[1] == ticks
    fields = dict(opponent="scripted", players_per_team=players, max_ticks=ticks)
    assert last_frame_of_an_environment(SoccerEnv(**fields), seed) == expected
    assert last_frame_of_an_environment(SoccerVectorEnv(num_envs=1, **fields), seed) == expected
    assert last_frame_of_the_benchmarks(seed, players, ticks) == expected


class Draws:
    """Stands in for a Generator, handing out given draws, one row per match: the same
    numbers reach a batch of matches at once and each match alone."""

    def __init__(self, units, normals):
        self.units, self.normals = units, normals

    def random(self, size, dtype=np.float64):
        return self.units[:size[0]].astype(dtype)

    def standard_normal(self, size, dtype=np.float64):
        return self.normals[:size].astype(dtype)


def test_the_scripted_team_plays_each_match_of_a_batch_as_that_match_alone():
    pytest.importorskip("gymnasium")
    from quorvel.envs.gymnasium import SoccerVectorEnv
    env = SoccerVectorEnv(num_envs=8, opponent="random", max_ticks=400)
    obs, _ = env.reset(seed=2)
    env.action_space.seed(28)  # a goal in the last ten ticks: that match decides out of step
    seen = []
    for _ in range(160):
        obs, *_ = env.step(env.action_space.sample())
        seen.append(obs)
    rng = np.random.default_rng(0)
    units, normals = rng.random((10, 8, 2)), rng.standard_normal((10, 8))
    batch = policies.make("scripted", env.config)
    alone = [policies.make("scripted", env.config) for _ in range(8)]
    for tick, obs in enumerate(seen[-10:]):       # its memory and decisions carry on
        together = np.zeros((8, 3, 4), np.float32)
        batch(obs, together, Draws(units[tick], normals[tick]))
        for i, policy in enumerate(alone):
            one = np.zeros((1, 3, 4), np.float32)
            policy(obs[i:i + 1], one, Draws(units[tick, i:], normals[tick, i:]))
            np.testing.assert_array_equal(one[0], together[i])


def test_the_shipped_trained_policy_plays_the_default_team_and_refuses_others():
    config = EngineConfig()
    policy = policies.make("trained", config)
    obs = np.zeros((4, 8 * 3 + 4), np.float32)
    out = np.zeros((4, 3, 4), np.float32)
    policy(obs, out, np.random.default_rng(0))
    assert np.isfinite(out).all() and (np.abs(out) <= 1.0 + 1e-6).all()
    with pytest.raises(ValueError):
        policies.make("trained", EngineConfig(players_per_team=2))
