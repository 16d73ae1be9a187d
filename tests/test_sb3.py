# tests/test_sb3.py: Stable-Baselines3 on quorvel: its environment checker and a short PPO run (only where it is installed).
import warnings

import pytest

pytest.importorskip("stable_baselines3")
from stable_baselines3 import PPO  # noqa: E402
from stable_baselines3.common.env_checker import check_env  # noqa: E402

from quorvel.envs.gymnasium import SoccerEnv  # noqa: E402
from quorvel.envs.sb3 import SB3VecEnv  # noqa: E402


def test_sb3_check_env_passes_without_warnings():
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        check_env(SoccerEnv(max_ticks=100))


@pytest.mark.parametrize("self_play", [False, True])
def test_ppo_trains_a_few_thousand_steps(self_play):
    env = SB3VecEnv(num_envs=16, self_play=self_play, max_ticks=100)
    model = PPO("MlpPolicy", env, n_steps=128, batch_size=256, n_epochs=2, seed=0)
    model.learn(total_timesteps=4096)
    assert model.num_timesteps >= 4096 and len(model.ep_info_buffer) > 0


def test_ppo_trains_with_the_learners_options():
    env = SB3VecEnv(num_envs=8, max_ticks=60, opponent="idle", reward="shaped",
                    observation="egocentric", frame_skip=3, actions="discrete")
    model = PPO("MlpPolicy", env, n_steps=32, batch_size=128, n_epochs=1, seed=0)
    model.learn(total_timesteps=512)
    episode = model.ep_info_buffer[0]
    assert episode["l"] == 20 and {"goals", "score"} <= set(episode)
