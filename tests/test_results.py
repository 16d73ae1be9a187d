# tests/test_results.py: the read-only result classes: shapes, exact types, laziness, lifetimes.
import gc
import os

import pytest

import _quorvel as q

RESULT_CLASSES = [q.PlayerObs, q.BallObs, q.Observation, q.Reward, q.Info, q.StepResult,
                  q.SpectatorPlayer, q.SpectatorFrame]


def played(players=3, ticks=1, **config):
    engine = q.Engine(q.EngineConfig(players_per_team=players, **config), 5)
    team = q.Actions([q.Action((0.1, 0.0))] * players)
    for _ in range(ticks):
        result = engine.step((team, team))
    return engine, result


def is_vector(v):
    return type(v) is tuple and len(v) == 2 and all(type(c) is float for c in v)


@pytest.mark.parametrize("cls", RESULT_CLASSES)
def test_result_classes_are_closed(cls):
    with pytest.raises(TypeError):
        cls()
    assert cls.__doc__ is None
    for name, attr in vars(cls).items():
        if hasattr(attr, "__set__") and name not in ("observations", "rewards"):
            assert attr.__doc__ is None, name


def test_step_result_shapes_and_types():
    _, result = played(players=4)
    assert type(result.done) is bool and type(result.info.tick) is int
    assert q.StepResult.observations.__doc__ == "`(observation équipe A, observation équipe B)`."
    assert q.StepResult.rewards.__doc__ == "`(reward équipe A, reward équipe B)`."
    observations, rewards = result.observations, result.rewards
    assert type(observations) is tuple and len(observations) == 2
    assert type(rewards) is tuple and [type(r) for r in rewards] == [q.Reward, q.Reward]
    for obs in observations:
        assert len(obs.self_team) == len(obs.opponent_team) == 4
        assert all(is_vector(p.position) and is_vector(p.velocity)
                   for p in obs.self_team + obs.opponent_team)
        assert type(obs.ball) is q.BallObs and is_vector(obs.ball.position)
        assert obs.score == (0, 0) and all(type(s) is int for s in obs.score)
        assert obs.ticks_remaining == 8999
    for reward in rewards:
        assert (reward.goal_scored, reward.goal_conceded, reward.total()) == (0.0, 0.0, 0.0)
        assert type(reward.goal_scored) is float


def test_spectator_frame_shape():
    engine, _ = played(players=2)
    frame = engine.spectator_frame()
    assert frame.tick == 1 and frame.score == (0, 0)
    assert [p.team for p in frame.players] == [0, 0, 1, 1]
    assert all(type(p.team) is int and is_vector(p.position) for p in frame.players)


def test_mirroring_between_teams_and_spectator():
    engine, result = played()
    frame = engine.spectator_frame()
    obs_a, obs_b = result.observations
    assert [p.position for p in obs_a.self_team] == [p.position for p in frame.players[:3]]
    assert [(-x, y) for x, y in (p.position for p in obs_b.self_team)] == [
        p.position for p in frame.players[3:]]
    assert [p.position for p in obs_b.opponent_team] == [
        (-x, y) for x, y in (p.position for p in obs_a.self_team)]


def test_every_read_builds_new_objects():
    _, result = played()
    assert result.observations is not result.observations
    assert result.observations[0] is not result.observations[0]
    obs = result.observations[0]
    team = obs.self_team
    team.clear()
    assert len(obs.self_team) == 3 and obs.self_team is not obs.self_team
    assert obs.ball is not obs.ball and result.info is not result.info
    assert obs.ball.position == obs.ball.position


def test_objects_outlive_their_engine():
    engine, result = played()
    obs = result.observations[0]
    frame = engine.spectator_frame()
    del engine, result
    gc.collect()
    assert len(obs.self_team) == 3 and frame.tick == 1


def test_exact_float_widening():
    # Kick-off gap 3.0 / 2 + 0.5 = 2: team B's kick-off player stands at x = 22 and
    # reads (22 - 20) / 20, the float32 nearest to 0.1.
    engine = q.Engine(q.EngineConfig(players_per_team=1, kick_range=3.0,
                                     player_radius=0.5, ball_radius=0.0), 0)
    x = engine.spectator_frame().players[1].position[0]
    assert x == pytest.approx(0.1, abs=1e-7)
    assert x == 0.10000000149011612


@pytest.mark.parametrize("attr", ["done", "info", "observations", "rewards", "extra"])
def test_attributes_are_read_only(attr):
    _, result = played()
    with pytest.raises(AttributeError):
        setattr(result, attr, 1)
    with pytest.raises(AttributeError):
        delattr(result, attr)


def test_reward_total_binding():
    _, result = played()
    assert q.Reward.total.__text_signature__ == "($self)"
    assert q.Reward.total.__doc__ is None
    with pytest.raises(TypeError):
        result.rewards[0].total(1)


def rss_kib():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE") // 1024


@pytest.mark.skipif(os.environ.get("QUORVEL_SANITIZED") == "1",
                    reason="the sanitizer's quarantine holds freed memory")
def test_memory_stays_flat_under_load():
    engine = q.Engine(q.EngineConfig(), 1)
    team = q.Actions([q.Action((1.0, 0.2), (1.0, 0.0))] * 3)
    config = q.EngineConfig()

    def churn(n):
        for _ in range(n):
            result = engine.step((team, team))
            obs = result.observations
            obs[0].self_team, obs[1].ball.position, result.rewards[1].total()
            engine.spectator_frame().players
            for bad in ([team, team], (team,), (team, 1)):
                try:
                    engine.step(bad)
                except (TypeError, ValueError):
                    pass
            try:
                q.Engine(config, -1)
            except OverflowError:
                pass
            try:
                q.Actions([q.Action(), 1])
            except TypeError:
                pass
        engine.reset()

    churn(3000)
    before = rss_kib()
    churn(20000)
    assert rss_kib() - before < 2048
