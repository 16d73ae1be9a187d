# tests/test_scenarios.py: BatchEngine.place (bit for bit, refusals that change nothing), seeded scenario starts, drill rules under each autoreset mode, replays and front-ends.
import numpy as np
import pytest

import quorvel
from quorvel import EngineConfig
from quorvel.core import Matches
from quorvel.core.scenarios import SCENARIOS, Curriculum, Scenario, Start
from quorvel.replay import MatchRecorder, replay

N = 5
CONFIG = EngineConfig(max_ticks=900, max_score=4)


def chase(obs, rng):
    """Both teams run at the ball and kick towards the goal they attack, with noise."""
    n, p = len(obs), CONFIG.players_per_team
    own = obs[:, :, :4 * p].reshape(n, 2, p, 4)
    act = np.empty((n, 2, p, 4), np.float32)
    act[..., :2] = (obs[:, :, None, 8 * p:8 * p + 2] - own[..., :2]) * 4 + rng.normal(0, 0.3, (n, 2, p, 2))
    act[..., 2] = 1.0
    act[..., 3] = rng.normal(0, 0.5, (n, 2, p))
    return act


def outputs(result):
    obs, rewards, terminated, truncated, info = result
    return [a.tobytes() for a in (obs, rewards, terminated, truncated, info["score"], info["tick"])]


# ---- BatchEngine.place ----------------------------------------------------------------

def test_the_same_placement_plays_on_bit_for_bit_whatever_the_thread_count():
    batches = [quorvel.BatchEngine(CONFIG, N, 7, threads=t, autoreset="same_step") for t in (1, 2, 3)]
    rng, obs = np.random.default_rng(0), [b.reset() for b in batches][0]
    for _ in range(30):
        actions = chase(obs, rng)
        obs = [b.step(actions) for b in batches][0][0]
    # Match 0's state goes to matches 0 and 3, with a clock and a score; the rest play on.
    state = batches[0].spectator_arrays()
    players, ball = state["players"][[0, 1, 2, 0, 4]], state["ball"][[0, 1, 2, 0, 4]]
    mask = np.array([True, False, False, True, False])
    tick, score = np.full(N, 800, np.uint32), np.full((N, 2), 3, np.uint32)
    before = batches[0].spectator_arrays()
    placed = [b.place(players, ball, tick, score, mask) for b in batches]
    after = batches[0].spectator_arrays()
    np.testing.assert_allclose(after["players"][mask], players[mask], atol=1e-6)
    assert (after["tick"] == np.where(mask, 800, before["tick"])).all()
    assert after["players"][~mask].tobytes() == before["players"][~mask].tobytes()
    assert placed[0].tobytes() == placed[1].tobytes() == placed[2].tobytes()
    obs = placed[0]
    for _ in range(300):
        results = [b.step(chase(obs, np.random.default_rng(len(obs)))) for b in batches]
        assert outputs(results[0]) == outputs(results[1]) == outputs(results[2])
        obs = results[0][0]


def bad_placements():
    players = np.zeros((N, 6, 4), np.float32)
    ball = np.zeros((N, 4), np.float32)

    def spoiled(where, value):
        p = players.copy()
        p[where] = value
        return p

    return [
        ((players.astype(np.float64), ball), {}, TypeError, "float32"),
        ((players.reshape(N, 4, 6), ball), {}, ValueError, "shape"),
        ((np.zeros((N, 6, 8), np.float32)[..., ::2], ball), {}, ValueError, "contiguous"),
        ((spoiled((2, 1, 3), np.nan), ball), {}, ValueError, "match 2: team A's player 1: vy = NaN"),
        ((spoiled((4, 5, 0), 1.01), ball), {}, ValueError, "match 4: team B's player 2: x = 1.01"),
        ((spoiled((0, 0, 2), 49.0), ball), {}, ValueError, "faster"),
        ((players, ball), {"tick": np.full(N, 900, np.uint32)}, ValueError, "max_ticks"),
        ((players, ball), {"tick": np.zeros(N, np.int64)}, TypeError, "uint32"),
        ((players, ball), {"score": np.full((N, 2), 4, np.uint32)}, ValueError, "max_score"),
        ((players, ball), {"mask": np.ones(N + 1, bool)}, ValueError, "mask"),
        ((players, ball), {"mask": np.ones(N, np.int8)}, TypeError, "mask"),
    ]


@pytest.mark.parametrize("index", range(len(bad_placements())))
def test_refused_placements_change_nothing(index):
    args, kwargs, error, text = bad_placements()[index]
    batch, twin = (quorvel.BatchEngine(CONFIG, N, 3, autoreset="next_step") for _ in range(2))
    actions = np.ones((N, 2, 3, 4), np.float32)
    for b in (batch, twin):
        b.step(actions)
    with pytest.raises(error, match=text):
        batch.place(*args, **kwargs)
    for _ in range(60):
        assert outputs(batch.step(actions)) == outputs(twin.step(actions))


def test_unselected_rows_are_not_read():
    batch = quorvel.BatchEngine(CONFIG, N)
    players = np.full((N, 6, 4), np.nan, np.float32)
    players[1] = 0.5
    batch.place(players, np.zeros((N, 4), np.float32), mask=np.eye(N, dtype=bool)[1])
    assert batch.spectator_arrays()["players"][1, 0, 0] == pytest.approx(0.5)


# ---- scenarios ----------------------------------------------------------------------

def starts(scenario, seed, n=N, **fields):
    matches = Matches(EngineConfig(**fields), n, scenario=scenario)
    matches.reset(seed=seed)
    state = matches.batch.spectator_arrays()
    return [state[k].tobytes() for k in ("players", "ball", "tick", "score")]


@pytest.mark.parametrize("name", list(SCENARIOS))
def test_scenarios_are_seeded_and_placeable_on_any_team(name):
    assert starts(name, 3) == starts(name, 3)
    if name != "kickoff":
        assert starts(name, 3) != starts(name, 4)
    for players in (0, 1, 2, 11):
        starts(name, 1, 2, players_per_team=players, max_ticks=100, max_score=1)


def rolling_back(rng, field, count):
    """Everyone at the halfway line's left, the ball rolling into team A's own half."""
    start = Start(field, count)
    start.put(start.players, -0.9, np.linspace(-0.8, 0.8, 2 * field.players)[None])
    start.put_ball(0.2, 0.0, -2.0, 0.0)
    return start


@pytest.mark.parametrize("mode", ["disabled", "next_step", "same_step"])
def test_drills_end_at_a_goal_or_outside_the_attacking_half(mode):
    back = Scenario("back", rolling_back, ticks=100, ends_outside_half=True)
    matches = Matches(CONFIG, 2, autoreset=mode, scenario=back)
    matches.reset(seed=0)
    ended_at = []
    for t in range(40):
        _, rewards, terminated, truncated, info = matches.step()
        if terminated[0]:
            ended_at.append(t)
            assert rewards[0, 0] == 0 and not truncated[0]
            assert (info["tick"][0] == 800) == (mode == "same_step")  # else the ended episode's
            if mode == "same_step":
                assert info["_final_obs"][0] and info["final_obs"][0, 0, 24] < 0 <= matches.obs[0, 0, 24]
            if mode == "disabled":
                matches.reset(mask=terminated.copy())
        elif ended_at and ended_at[-1] == t - 1 and mode == "next_step":
            assert info["tick"][0] == 800 and not truncated[0] and rewards[0, 0] == 0
    assert len(ended_at) >= 3  # the ball crosses in about 0.3 s at 2 half-lengths a second

    goal = Matches(CONFIG, 8, autoreset=mode, scenario={"empty_goal_close": 1, "kickoff": 0})
    goal.reset(seed=1)
    rng, scored = np.random.default_rng(1), 0
    for _ in range(150):
        goal.commands[:, 0] = chase(goal.obs, rng)[:, 0]
        _, rewards, terminated, _, _ = goal.step()
        assert (terminated[rewards[:, 0] > 0]).all()
        scored += int((rewards[:, 0] > 0).sum())
        if mode == "disabled":
            goal.reset(mask=terminated.copy())
    assert scored >= 8


def test_a_curriculum_is_checked_and_its_weights_choose():
    assert {s.name for s in Curriculum({"kickoff": 0, "random": 2.5}).scenarios} == {"kickoff", "random"}
    assert (Curriculum({"kickoff": 0, "random": 1}).pick(np.random.default_rng(0), 50) == 1).all()
    assert Curriculum("kickoff").kickoff_only and not Curriculum("attack_3v1").kickoff_only
    for chosen, error in [("penalty", ValueError), ({"random": -1}, ValueError), ({"random": 0}, ValueError),
                        ({}, ValueError), ({"random": "1"}, TypeError), (3, TypeError)]:
        with pytest.raises(error):
            Matches(CONFIG, 1, scenario=chosen)


@pytest.mark.parametrize("mode", ["next_step", "same_step"])
def test_a_match_with_placements_replays(mode, tmp_path):
    config = EngineConfig(max_ticks=100)
    matches = Matches(config, 3, autoreset=mode,
                      scenario={"empty_goal_far": 1, "random": 1, "counter_attack": 1, "kickoff": 0.2})
    recorder = MatchRecorder(config, index=1)
    matches.attach(recorder)
    matches.reset(seed=2)
    rng = np.random.default_rng(2)
    for _ in range(700):
        matches.commands[:, 0] = chase(matches.obs, rng)[:, 0]
        matches.step()
    record = recorder.log.record(matches.spectator(1))
    assert len(record.placements) >= 3
    record.save(tmp_path / "drills.npz")
    assert replay(tmp_path / "drills.npz").tick == matches.spectator(1).tick


# ---- front-ends ---------------------------------------------------------------------

def front_ends():
    yield "gymnasium", lambda: __import__("quorvel.envs.gymnasium.env", fromlist=["x"]).SoccerEnv(
        scenario="empty_goal_close", max_ticks=900)
    yield "vector", lambda: __import__("quorvel.envs.gymnasium.vector", fromlist=["x"]).SoccerVectorEnv(
        num_envs=2, scenario="empty_goal_close", max_ticks=900, frame_skip=2)
    yield "self-play", lambda: __import__("quorvel.envs.gymnasium.selfplay", fromlist=["x"]).SelfPlayVectorEnv(
        num_envs=2, scenario="empty_goal_close", max_ticks=900)
    yield "pettingzoo", lambda: __import__("quorvel.envs.pettingzoo", fromlist=["x"]).SoccerParallelEnv(
        scenario="empty_goal_close", max_ticks=900)


@pytest.mark.parametrize("name, make", list(front_ends()))
def test_every_front_end_starts_from_the_scenario(name, make):
    pytest.importorskip("pettingzoo" if name == "pettingzoo" else "gymnasium")
    env = make()
    assert env.matches.batch.spectator_arrays()["tick"].tolist() == [0] * env.matches.num_matches
    env.reset(seed=0)
    assert env.matches.batch.spectator_arrays()["tick"].tolist() == [750] * env.matches.num_matches


def test_sb3_passes_the_scenario_on():
    pytest.importorskip("stable_baselines3")
    from quorvel.envs.sb3 import SB3VecEnv
    env = SB3VecEnv(num_envs=2, scenario="attack_3v1", max_ticks=900)
    env.reset()
    assert env.env.matches.tick.tolist() == [600, 600]


@pytest.mark.parametrize("mode", ["next_step", "same_step"])
def test_drills_restart_from_the_scenario_when_actions_are_held(mode):
    pytest.importorskip("gymnasium")
    from quorvel.envs.gymnasium.vector import SoccerVectorEnv
    env = SoccerVectorEnv(num_envs=4, opponent="idle", scenario="empty_goal_close", frame_skip=4,
                          autoreset_mode=mode, max_ticks=900)
    env.reset(seed=0)
    rng, waiting, ends = np.random.default_rng(0), np.zeros(4, bool), 0
    for _ in range(60):
        actions = chase(env.matches.obs, rng)[:, 0]
        _, rewards, terminated, truncated, info = env.step(actions)
        ended = terminated | truncated
        restarted = waiting if mode == "next_step" else ended
        assert (info["tick"][restarted] == 750).all()
        assert (rewards[waiting] == 0).all() and not (ended & waiting).any()
        if ended.any() and mode == "same_step":
            assert (info["final_info"]["tick"][ended] > 750).all()
        waiting, ends = ended & (mode == "next_step"), ends + int(ended.sum())
    assert ends >= 4
