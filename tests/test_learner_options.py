# tests/test_learner_options.py: the learner's options: shaping that is potential-based, reward=, observation=, frame_skip= and actions= on every front-end, the goal reward in info, frame skip summing rewards and stopping at an episode's end.
import warnings

import numpy as np
import pytest

gym = pytest.importorskip("gymnasium")
pytest.importorskip("pettingzoo")
from gymnasium.utils.env_checker import check_env  # noqa: E402
from pettingzoo.test import parallel_api_test  # noqa: E402

from quorvel import EngineConfig, policies  # noqa: E402
from quorvel.core import Shaped  # noqa: E402
from quorvel.core.egocentric import Egocentric  # noqa: E402
from quorvel.core.observations import EgocentricView  # noqa: E402
from quorvel.core.rewards import Potential, make_reward  # noqa: E402
from quorvel.envs.gymnasium import SelfPlayVectorEnv, SoccerEnv, SoccerVectorEnv  # noqa: E402
from quorvel.envs.pettingzoo import SoccerParallelEnv  # noqa: E402

CONFIG = EngineConfig()
LEARNING = dict(reward="shaped", observation="egocentric", frame_skip=3, actions="discrete")
OWN = dict(reward=lambda before, after, goals, terminated: goals - 0.001 * after[:, -4],
           frame_skip=2)


def test_shaping_is_potential_based():
    rng = np.random.default_rng(0)
    states = rng.uniform(-1, 1, (12, 1, 28)).astype(np.float32)
    none, zero = np.zeros(1, bool), np.zeros(1, np.float32)
    # Undiscounted, a closed loop of states earns nothing in all.
    loop = make_reward(Shaped(0.3, 0.2, gamma=1.0), CONFIG)
    path = list(states) + [states[0]]
    assert abs(sum(float(loop(a, b, zero, none)[0]) for a, b in zip(path, path[1:]))) < 1e-5
    # Discounted, an episode that terminates earns -phi(first state) whatever was played.
    shaped, gamma = Shaped(0.3, 0.2, gamma=0.9), 0.9
    reward, phi = make_reward(shaped, CONFIG), Potential(CONFIG, shaped)
    total = sum(gamma ** t * float(reward(a, b, zero, np.array([t == len(states) - 2]))[0])
                for t, (a, b) in enumerate(zip(states, states[1:])))
    assert total == pytest.approx(-float(phi(states[0])[0]), abs=1e-5)
    # Ball at x = 0.5; the nearest player level with it, 0.5 half-widths off (0.25 half-lengths).
    obs = np.zeros((1, 28), np.float32)
    obs[0, :2], obs[0, 24:26] = (0.5, 0.5), (0.5, 0.0)
    obs[0, 4:12:4] = -1.0
    assert Potential(CONFIG, Shaped())(obs)[0] == pytest.approx(0.1 * 0.5 - 0.05 * 0.25)


def test_egocentric_view_adds_the_match_state():
    team = np.random.default_rng(1).uniform(-1, 1, (2, 28)).astype(np.float32)
    out = EgocentricView(EngineConfig(max_ticks=900))(team, np.array([[3, 1], [0, 9]]), np.array([450, 900]))
    np.testing.assert_array_equal(out[:, :, :-2], Egocentric(CONFIG)(team))
    np.testing.assert_allclose(out[:, 0, -2:], [[0.4, 0.5], [-1.0, 0.0]])


def stepped(make, steps=12):
    """Plays `steps` sampled steps of the front-end `make` builds; returns every info."""
    env = make()
    infos = []
    if isinstance(env, SoccerParallelEnv):
        env.reset(seed=0)
        for _ in range(steps):
            if not env.agents:
                env.reset()
            obs, _, _, _, info = env.step({a: env.action_space(a).sample() for a in env.agents})
            assert all(env.observation_space(a).contains(o) for a, o in obs.items())
            infos += info.values()
        return infos
    env.reset(seed=0)
    for _ in range(steps):
        obs, _, terminated, truncated, info = env.step(env.action_space.sample())
        assert env.observation_space.contains(obs)
        infos.append(info)
        if isinstance(env, SoccerEnv) and (terminated or truncated):
            env.reset()
    return infos


FRONT_ENDS = {
    "single": lambda **o: SoccerEnv(opponent="random", max_ticks=20, **o),
    "vector": lambda **o: SoccerVectorEnv(num_envs=3, opponent="scripted", max_ticks=20,
                                          autoreset_mode="same_step", **o),
    "selfplay": lambda **o: SelfPlayVectorEnv(num_envs=4, max_ticks=20, **o),
    "pettingzoo": lambda **o: SoccerParallelEnv(max_ticks=20, **o),
}


@pytest.mark.parametrize("options", [LEARNING, OWN], ids=["learning", "own-reward"])
@pytest.mark.parametrize("front_end", FRONT_ENDS)
def test_every_front_end_takes_the_options(front_end, options):
    make = FRONT_ENDS[front_end]
    infos = stepped(lambda: make(**options))
    assert all("goal_reward" in info for info in infos)
    env = make(**options)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        if front_end == "single":
            check_env(env, skip_render_check=True)
        elif front_end == "pettingzoo":
            parallel_api_test(env, num_cycles=30)
    if front_end == "pettingzoo":
        space = env.action_space("a_0")
        assert space.n == 27 if options is LEARNING else space.shape == (4,)
    else:
        space = getattr(env, "single_action_space", env.action_space)
        assert space.nvec.tolist() == [27] * 3 if options is LEARNING else space.shape == (3, 4)


@pytest.mark.parametrize("options, error", [
    (dict(reward="money"), ValueError), (dict(reward=3), TypeError),
    (dict(reward=dict(gamma=2.0)), ValueError), (dict(observation="pixels"), ValueError),
    (dict(frame_skip=0), ValueError), (dict(frame_skip=2.5), TypeError),
    (dict(actions="binary"), ValueError)])
def test_bad_options_are_refused(options, error):
    with pytest.raises(error):
        if isinstance(options.get("reward"), dict):
            Shaped(**options["reward"])
        SoccerVectorEnv(num_envs=2, **options)


def test_a_bad_choice_is_refused_and_changes_nothing():
    env = SoccerVectorEnv(num_envs=2, opponent="idle", actions="discrete", frame_skip=2)
    obs, _ = env.reset(seed=4)
    for bad in (np.full((2, 3), 27), np.zeros((2, 3)), np.zeros((2, 2), int)):
        with pytest.raises(ValueError):
            env.step(bad)
    assert env.step(np.zeros((2, 3), int))[4]["tick"].tolist() == [2, 2]


def scripted_play(policy, obs, rng):
    out = np.zeros((len(obs), 3, 4), np.float32)
    policy(obs, out, rng)
    return out


def test_shaped_reward_keeps_the_goal_reward_in_info():
    # Team A scripted against idle scores: the shaped env shows the goals env's rewards.
    goals_env = SoccerVectorEnv(num_envs=8, opponent="idle", max_ticks=400)
    shaped_env = SoccerVectorEnv(num_envs=8, opponent="idle", max_ticks=400, reward="shaped")
    scripted, rng = policies.make("scripted", CONFIG), np.random.default_rng(0)
    phi = Potential(CONFIG, Shaped())
    obs, _ = goals_env.reset(seed=9)
    np.testing.assert_array_equal(shaped_env.reset(seed=9)[0], obs)
    scored = 0
    for _ in range(400):
        actions = scripted_play(scripted, obs, rng)
        after, goals, *_ = goals_env.step(actions)
        _, shaped, _, _, info = shaped_env.step(actions)
        np.testing.assert_array_equal(info["goal_reward"], goals)
        np.testing.assert_allclose(shaped, goals + 0.99 * phi(after) - phi(obs), atol=1e-6)
        scored += np.count_nonzero(goals)
        obs = after
    assert scored > 0


@pytest.mark.parametrize("mode", ["next_step", "same_step"])
def test_frame_skip_sums_rewards_and_stops_at_the_end(mode):
    # Each match's first episode against a single-tick env of its seed, the same commands
    # held; max_score=1 ends matches at different ticks, inside a decision. (Later
    # episodes start after the ended match played out its decision unseen.)
    n, skip, seed = 6, 4, 20
    env = SoccerVectorEnv(num_envs=n, opponent="idle", max_ticks=150, max_score=1,
                          frame_skip=skip, autoreset_mode=mode)
    singles = [SoccerEnv(opponent="idle", max_ticks=150, max_score=1) for _ in range(n)]
    obs, _ = env.reset(seed=seed)
    np.testing.assert_array_equal(obs, [s.reset(seed=seed + i)[0] for i, s in enumerate(singles)])
    scripted, rng = policies.make("scripted", CONFIG), np.random.default_rng(0)
    state = ["playing"] * n   # then "restarting" (next_step only), then "done"
    while set(state) != {"done"}:
        actions = scripted_play(scripted, obs, rng)
        obs, rewards, terminated, truncated, info = env.step(actions)
        for i, single in enumerate(singles):
            if state[i] == "restarting":   # this decision only restarts the match
                assert rewards[i] == 0 and not (terminated[i] or truncated[i])
                np.testing.assert_array_equal(obs[i], single.reset()[0])
                state[i] = "done"
            if state[i] != "playing":
                continue
            total = 0.0
            for _ in range(skip):
                last, reward, ended_t, ended_c, _ = single.step(actions[i])
                total += reward
                if ended_t or ended_c:
                    break
            assert (rewards[i], terminated[i], truncated[i]) == (total, ended_t, ended_c)
            if (ended_t or ended_c) and mode == "same_step":
                np.testing.assert_array_equal(info["final_obs"][i], last)
                assert info["final_info"]["tick"][i] == single.matches.tick[0]
                np.testing.assert_array_equal(obs[i], single.reset()[0])
                assert info["tick"][i] == 0
                state[i] = "done"
            else:
                np.testing.assert_array_equal(obs[i], last)
                assert info["tick"][i] == single.matches.tick[0]
                state[i] = "restarting" if ended_t or ended_c else "playing"
