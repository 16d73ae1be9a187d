# tests/test_rllib_runner.py: quorvel.rllib's BatchEnvRunner: its episodes replayed on a fresh engine (chunks, lookback, matches ending and restarting), its episodes equal to RLlib's constructor's, PPO training with it in the driver and on remote runners, refused configurations.
import numpy as np
import pytest

pytest.importorskip("ray.rllib")
pytest.importorskip("torch")

import ray  # noqa: E402
from ray.rllib.algorithms.ppo import PPOConfig  # noqa: E402
from ray.rllib.env.single_agent_episode import SingleAgentEpisode  # noqa: E402
from ray.rllib.env.utils.infinite_lookback_buffer import InfiniteLookbackBuffer  # noqa: E402

from conftest import start_ray  # noqa: E402
from quorvel.rllib import SelfPlayVector, batch_self_play  # noqa: E402

MATCHES, SEED = 3, 5


@pytest.fixture(scope="module")
def local_ray():
    start_ray(num_cpus=1)
    yield
    ray.shutdown()


def same_episode(made, constructed):
    """Every attribute of two SingleAgentEpisodes equal, buffers by their contents."""
    def same_buffer(a, b):
        assert type(a) is type(b) is InfiniteLookbackBuffer
        assert set(vars(a)) == set(vars(b))
        for key, value in vars(a).items():
            if key == "data" and not isinstance(value, list):
                np.testing.assert_array_equal(value, vars(b)[key])
            else:
                assert value == vars(b)[key], key

    for name in SingleAgentEpisode.__slots__:
        a, b = getattr(made, name), getattr(constructed, name)
        if isinstance(a, InfiniteLookbackBuffer):
            same_buffer(a, b)
        elif name == "extra_model_outputs":
            assert a.keys() == b.keys()
            for key in a:
                same_buffer(a[key], b[key])
        elif name not in ("_start_time", "_last_step_time"):
            assert a == b, name


@pytest.mark.parametrize("ticks", [7, 8])   # matches end inside a call, or on its last step
def test_episodes_replay_on_a_fresh_engine_across_chunks_and_restarts(local_ray, ticks):
    config = (batch_self_play(PPOConfig(), MATCHES, players_per_team=2, max_ticks=ticks)
              .env_runners(num_env_runners=0).debugging(seed=SEED))
    algo = config.build_algo()
    try:
        runner = algo.env_runner
        entries = 2 * MATCHES
        calls = [runner.sample(num_timesteps=4 * entries, explore=True) for _ in range(3)]
        maker = runner._make_episode
        assert maker.fast
    finally:
        algo.stop()

    # Each call ends with one episode an entry in entry order (the ongoing chunks, or the
    # episodes that ended on its last step); an ended episode continues a chunk seen before.
    entry_of, previous = {}, {}
    steps = [[] for _ in range(entries)]   # per entry: (obs, action, reward, next obs, ended)
    for episodes in calls:
        assert sum(len(episode) for episode in episodes) == 4 * entries
        for k, episode in enumerate(episodes[-entries:]):
            entry_of.setdefault(episode.id_, k)
        for episode in episodes:
            k = entry_of[episode.id_]
            obs = episode.get_observations()
            actions, rewards = episode.get_actions(), episode.get_rewards()
            assert len(obs) == len(actions) + 1 == len(rewards) + 1 == len(episode) + 1
            assert episode.get_extra_model_outputs("action_logp").shape == (len(episode),)
            before = previous.get(episode.id_)
            if before is None:
                assert episode.t_started == 0 and episode.observations.lookback == 0
            else:   # continues the last chunk: same step, one step of it in the lookback
                assert episode.t_started == before.t and episode.observations.lookback == 1
                np.testing.assert_array_equal(episode.get_observations(-1, neg_index_as_lookback=True),
                                              before.get_observations(-2))
                np.testing.assert_array_equal(obs[0], before.get_observations(-1))
            previous[episode.id_] = episode
            for i in range(len(episode)):
                steps[k].append((obs[i], actions[i], rewards[i], obs[i + 1],
                                 episode.is_done and i == len(episode) - 1))
            if episode.is_done:
                assert episode.is_truncated and not episode.is_terminated
                assert episode.t == ticks   # a whole match: the time limit ends it
                same_episode(episode, maker.construct(
                    episode.id_, episode.observations.data, episode.infos.data, episode.actions.data,
                    episode.rewards.data, {key: buffer.data for key, buffer in episode.extra_model_outputs.items()},
                    episode.is_terminated, episode.is_truncated, episode.t_started,
                    episode.observations.lookback))
    assert sum(ended for entry in steps for *_, ended in entry) == entries   # one match each

    # The same actions on a fresh engine seeded as the runner's (match k: seed * matches + k).
    env = SelfPlayVector({"num_envs": entries, "players_per_team": 2, "max_ticks": ticks,
                          "autoreset_mode": "same_step"})
    current, _ = env.reset(seed=SEED * MATCHES)
    for t in range(12):
        row = [steps[k][t] for k in range(entries)]
        for k in range(entries):
            np.testing.assert_array_equal(row[k][0], current[k])
        current, rewards, terminated, truncated, info = env.step(np.stack([r[1] for r in row]))
        ended = terminated | truncated
        for k in range(entries):
            assert row[k][2] == rewards[k] and row[k][4] == ended[k]
            np.testing.assert_array_equal(row[k][3], info["final_obs"][k] if ended[k] else current[k])


@pytest.mark.parametrize("runners", [0, 2])
def test_ppo_trains_with_the_runner_and_reports_each_team(local_ray, runners):
    ticks = 40 // max(runners, 1)   # one match a runner's entries in the first iteration
    config = batch_self_play(PPOConfig(), 4, players_per_team=2, max_ticks=ticks).env_runners(
        num_env_runners=runners).training(train_batch_size=320, minibatch_size=160, num_epochs=1)
    if runners:
        ray.shutdown()   # room for two runner processes
        start_ray(num_cpus=2)
    algo = config.build_algo()
    try:
        first = algo.train()["env_runners"]
        if not runners:   # the learner's weights reached the runner's module
            learned = algo.learner_group.get_weights()["default_policy"]
            used = algo.env_runner.module.state_dict()
            shared = [key for key in used if key in learned]
            assert len(shared) >= 6 and all(np.array_equal(used[key].numpy(), learned[key]) for key in shared)
            # Inference after exploring: other module outputs, so no lookback, and no clash.
            assert sum(len(e) for e in algo.env_runner.sample(num_timesteps=16, explore=False)) == 16
    finally:
        algo.stop()
    assert first["num_env_steps_sampled"] == 320
    assert first["num_episodes"] == 8 * max(runners, 1) and first["episode_len_mean"] == ticks
    assert first["team_a_return"] == pytest.approx(-first["team_b_return"])


def test_refuses_what_it_cannot_run(local_ray):
    for matches in (0, -1, 2.5, True):
        with pytest.raises(ValueError, match="matches"):
            batch_self_play(PPOConfig(), matches)
    with pytest.raises(ValueError, match="normalize_actions"):
        batch_self_play(PPOConfig(), 2).environment(normalize_actions=True).env_runners(
            num_env_runners=0).build_algo()
    with pytest.raises(ValueError, match="autoreset"):
        batch_self_play(PPOConfig(), 2, autoreset_mode="next_step").env_runners(
            num_env_runners=0).build_algo()


def test_same_seed_samples_the_same_episodes(local_ray):
    def run():
        config = (batch_self_play(PPOConfig(), 2, players_per_team=2, max_ticks=6)
                  .env_runners(num_env_runners=0).debugging(seed=11))
        algo = config.build_algo()
        try:
            return [algo.env_runner.sample(num_timesteps=16, explore=True) for _ in range(2)]
        finally:
            algo.stop()

    first, second = run(), run()
    for one, other in zip(sum(first, []), sum(second, []), strict=True):
        assert (one.t_started, len(one), one.is_truncated) == (other.t_started, len(other), other.is_truncated)
        for get in ("get_observations", "get_actions", "get_rewards"):
            np.testing.assert_array_equal(getattr(one, get)(), getattr(other, get)())


def test_episodes_hold_what_rllibs_own_runner_puts_there(local_ray):
    from quorvel.rllib import vector_self_play

    def columns(config):
        algo = config.env_runners(num_env_runners=0).build_algo()
        try:
            episode = algo.env_runner.sample(num_timesteps=16, explore=True)[0]
        finally:
            algo.stop()
        arrays = {"obs": episode.get_observations(), "actions": episode.get_actions(),
                  "rewards": episode.get_rewards()}
        arrays.update({key: episode.get_extra_model_outputs(key) for key in episode.extra_model_outputs})
        return {key: (np.asarray(value).dtype, np.shape(value)[1:]) for key, value in arrays.items()}

    ours = columns(batch_self_play(PPOConfig(), 2, players_per_team=2))
    assert ours == columns(vector_self_play(PPOConfig(), 2, players_per_team=2))
