# tests/test_pettingzoo_env.py: the PettingZoo front-end: PettingZoo's own checks, and what each agent is handed.
import warnings

import numpy as np
import pytest

pytest.importorskip("pettingzoo")
from pettingzoo.test import parallel_api_test, parallel_seed_test  # noqa: E402

from quorvel import policies  # noqa: E402
from quorvel.envs.pettingzoo import SoccerParallelEnv  # noqa: E402


def test_pettingzoo_checks_pass_without_warnings():
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        parallel_api_test(SoccerParallelEnv(max_ticks=120, max_score=1), num_cycles=200)
        parallel_seed_test(lambda: SoccerParallelEnv(max_ticks=60))


@pytest.mark.parametrize("agent, team, slot", [("a_0", 0, 0), ("a_2", 0, 2), ("b_1", 1, 1)])
def test_an_agent_sees_its_own_row_first_and_gets_its_teams_reward(agent, team, slot):
    env = SoccerParallelEnv(max_ticks=3000)
    env.reset(seed=1)
    scripted, commands = policies.make("scripted", env.config), np.zeros((1, 3, 4), np.float32)
    rng = np.random.default_rng(0)
    for _ in range(3000):  # team A scripted, team B standing: a goal comes soon
        scripted(env.state()[None], commands, rng)
        obs, rewards, *_ = env.step({f"a_{i}": commands[0, i] for i in range(3)})
        if any(rewards.values()):
            break
    team_obs = env.matches.obs[0, team]
    rows = team_obs[:24].reshape(6, 4)
    mine = obs[agent].reshape(-1, 4)
    np.testing.assert_array_equal(mine[0], rows[slot])
    np.testing.assert_array_equal(mine[1:3], np.delete(rows[:3], slot, axis=0))
    np.testing.assert_array_equal(obs[agent][12:], team_obs[12:])
    team_reward = [rewards[f"{'ab'[team]}_{i}"] for i in range(3)]
    assert len(set(team_reward)) == 1 and team_reward[0] == -rewards[f"{'ba'[team]}_0"] != 0


def test_a_step_after_the_match_ended_plays_nothing_and_pays_nothing():
    env = SoccerParallelEnv(max_ticks=5)
    env.reset(seed=0)
    while env.agents:
        env.step({agent: np.ones(4, np.float32) for agent in env.agents})
    frame = env.matches.spectator(0)
    with warnings.catch_warnings(record=True):
        warnings.simplefilter("always")
        assert env.step({"a_0": np.ones(4, np.float32)}) == ({}, {}, {}, {}, {})
    assert env.matches.spectator(0).tick == frame.tick == 5 and env.agents == []
