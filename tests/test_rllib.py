# tests/test_rllib.py: quorvel.rllib: the multi-agent env over many matches (RLlib's checks, matches leaving as they end, seeding through pickled configs), the self-play mappings and a short PPO run reporting each team's return.
import pickle

import numpy as np
import pytest

pytest.importorskip("ray.rllib")
pytest.importorskip("torch")

from quorvel import EngineConfig  # noqa: E402
from conftest import start_ray  # noqa: E402
from quorvel.rllib import SoccerMultiAgentEnv, learner_and_opponent, self_play  # noqa: E402


def play(env, seed, steps):
    """Observations and rewards of `steps` steps of seeded random actions."""
    obs, _ = env.reset(seed=seed)
    rng = np.random.default_rng(seed)
    seen = [obs]
    for _ in range(steps):
        actions = {name: rng.uniform(-1, 1, env.action_spaces[name].shape).astype(np.float32)
                   for name in env.agents}
        seen.append(env.step(actions))
    return seen


def test_env_passes_rllibs_check_and_matches_leave_as_they_end():
    from ray.rllib.utils.pre_checks.env import check_multiagent_environments

    env = SoccerMultiAgentEnv({"matches": 6, "max_ticks": 400, "max_score": 1, "players_per_team": 2})
    check_multiagent_environments(env)
    obs, _ = env.reset(seed=3)
    assert sorted(obs) == sorted(f"{t}{k}" for k in range(6) for t in "ab")
    assert all(env.observation_spaces[name].contains(value) for name, value in obs.items())
    assert env.action_spaces["a0"].shape == (8,)
    left, ended_by = set(env.agents), {}
    for _ in range(400):
        actions = {name: np.array([1, 0, 1, 0] * 2, np.float32) for name in env.agents}
        obs, rewards, terminated, truncated, infos = env.step(actions)
        assert set(obs) == set(rewards) == left
        for k in range(6):
            a, b = f"a{k}", f"b{k}"
            if a in rewards:
                assert rewards[a] == -rewards[b]   # one team's goal is the other's loss
        for name, info in infos.items():
            ended_by[name] = (terminated[name], truncated[name], info["score"])
        left = set(env.agents)
        if terminated["__all__"] or truncated["__all__"]:
            break
    assert not env.agents and len(ended_by) == 12
    # Both teams kick towards the opponents' goal: some matches end by a goal, early.
    assert any(t for t, _, _ in ended_by.values())
    for k in range(6):
        (ta, ua, sa), (tb, ub, sb) = ended_by[f"a{k}"], ended_by[f"b{k}"]
        assert (ta, ua) == (tb, ub) and sa == sb[::-1] and ta == (max(sa) == 1)


def test_env_from_a_pickled_config_replays_its_seed_with_discrete_choices():
    config = {"matches": 3, "max_ticks": 50, "actions": "discrete", "observation": "egocentric",
              "frame_skip": 2, "reward": "shaped"}
    twin = pickle.loads(pickle.dumps(config))
    env, other = SoccerMultiAgentEnv(config), SoccerMultiAgentEnv(twin)
    assert env.observation_spaces["a0"].shape == (3 * 40,)
    first, second = play(env, 9, 10), play(other, 9, 10)
    np.testing.assert_equal(first, second)
    assert pickle.loads(pickle.dumps(env.config)).max_ticks == 50
    assert EngineConfig(max_ticks=50).max_ticks == env.config.max_ticks


def test_learner_meets_the_opponent_on_both_sides():
    names = [f"{t}{k}" for k in range(4) for t in "ab"]
    mapped = [learner_and_opponent(name) for name in names]
    assert mapped == ["learner", "opponent", "opponent", "learner"] * 2


def test_ppo_trains_on_the_env_and_reports_each_teams_return():
    import ray
    from ray.rllib.algorithms.ppo import PPOConfig

    config = self_play(PPOConfig().environment(SoccerMultiAgentEnv, env_config={
        "matches": 4, "max_ticks": 60, "players_per_team": 2})
        .env_runners(num_env_runners=0, rollout_fragment_length=60)
        .training(train_batch_size=240, minibatch_size=120, num_epochs=1), frozen_opponent=True)
    start_ray(num_cpus=1)
    try:
        algo = config.build_algo()
        result = algo.train()
        algo.stop()
    finally:
        ray.shutdown()
    runners = result["env_runners"]
    assert runners["num_env_steps_sampled"] == 240
    assert runners["team_a_return"] == pytest.approx(-runners["team_b_return"])
    assert "learner_return" in runners and set(runners["module_episode_returns_mean"]) == {"learner", "opponent"}


def test_vector_self_play_steps_every_entry_on_one_engine_and_reports_each_team():
    import ray
    from ray.rllib.algorithms.ppo import PPOConfig

    from quorvel.rllib import SelfPlayVector, vector_self_play

    env = SelfPlayVector({"num_envs": 4, "players_per_team": 2, "max_ticks": 5})
    assert env.single_action_space.shape == (8,) and env.action_space.shape == (4, 8)
    env.reset(seed=1)
    assert env.step(np.ones((4, 8), np.float32))[0].shape == (4,) + env.single_observation_space.shape
    config = vector_self_play(PPOConfig(), 4, players_per_team=2, max_ticks=40).env_runners(
        num_env_runners=0).training(train_batch_size=320, minibatch_size=160, num_epochs=1)
    start_ray(num_cpus=1)
    try:
        algo = config.build_algo()
        runner = algo.env_runner
        assert runner.num_envs == 8 and type(runner.env.unwrapped).__name__ == "SelfPlayVectorEnv"
        result = algo.train()["env_runners"]
        algo.stop()
    finally:
        ray.shutdown()
    assert result["num_episodes"] == 8 and result["episode_len_mean"] == 40
    assert result["team_a_return"] == pytest.approx(-result["team_b_return"])
