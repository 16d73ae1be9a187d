# tests/test_gym_envs.py: the Gymnasium front-ends: checkers, bounds, seeds, autoreset, errors, opponents, discrete actions.
import subprocess
import sys
import warnings

import numpy as np
import pytest

gym = pytest.importorskip("gymnasium")
from gymnasium.utils.env_checker import check_env  # noqa: E402

import quorvel  # noqa: E402
from quorvel import EngineConfig  # noqa: E402
from quorvel._batch import BatchEngine  # noqa: E402
from quorvel.core.action_choices import PlayerChoices  # noqa: E402
from quorvel.envs.gymnasium import (DiscreteActions, DiscreteVectorActions,  # noqa: E402
                                    SelfPlayVectorEnv, SoccerEnv, SoccerVectorEnv)


def has_renderer():
    try:
        import quorvel.render  # noqa: F401
    except ImportError:
        return False
    return True


@pytest.mark.parametrize("opponent", ["idle", "random", "scripted"])
def test_check_env_passes_without_warnings(opponent):
    env = gym.make("quorvel/Soccer-v0", opponent=opponent, max_ticks=50)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        check_env(env.unwrapped, skip_render_check=not has_renderer())


def test_hard_play_stays_inside_the_observation_bounds():
    # Everyone chases the ball and kicks it hard, so bodies collide, pile up on the
    # walls and the ball flies: the places where a wrong bound would show.
    env = SelfPlayVectorEnv(num_envs=16, max_ticks=600)
    obs, _ = env.reset(seed=3)
    p = env.players
    rng = np.random.default_rng(0)
    for _ in range(1200):
        actions = rng.uniform(-1, 1, env.action_space.shape).astype(np.float32)
        ball = obs[:, 8 * p:8 * p + 2]
        actions[:, :, 0] = (ball[:, None, 0] - obs[:, 0:4 * p:4]) * 20
        actions[:, :, 1] = (ball[:, None, 1] - obs[:, 1:4 * p:4]) * 10
        obs, *_ = env.step(np.clip(actions, -1, 1))
        assert env.observation_space.contains(obs)


@pytest.mark.parametrize("mode", ["next_step", "same_step", "disabled"])
def test_vector_env_plays_the_batch_engines_matches_bit_for_bit(mode):
    n, p = 4, 3
    env = gym.make_vec("quorvel/Soccer-v0", num_envs=n, vectorization_mode="vector_entry_point",
                       opponent="idle", max_ticks=40, autoreset_mode=mode)
    assert env.metadata["autoreset_mode"].name == mode.upper()
    batch = BatchEngine(EngineConfig(max_ticks=40), n, 11, autoreset=mode)
    obs, info = env.reset(seed=11)
    np.testing.assert_array_equal(obs, batch.reset()[:, 0])
    assert info["_score"].all() and not info["score"].any()
    rng = np.random.default_rng(1)
    for _ in range(90):
        mine = rng.uniform(-1, 1, (n, p, 4)).astype(np.float32)
        commands = np.zeros((n, 2, p, 4), np.float32)
        commands[:, 0] = mine
        got, want = env.step(mine), batch.step(commands)
        for a, b in zip(got[:4], want[:4]):
            np.testing.assert_array_equal(a, b[:, 0] if b.ndim > 1 else b)
        np.testing.assert_array_equal(got[4]["tick"], want[4]["tick"])
        ended = got[2] | got[3]
        if mode == "same_step":
            assert np.array_equal(got[4].get("_final_obs", np.zeros(n, bool)), ended)
            if ended.any():
                np.testing.assert_array_equal(got[4]["final_obs"][ended],
                                              want[4]["final_obs"][ended, 0])
                assert (got[4]["final_info"]["tick"][ended] == 40).all()
        if mode == "disabled" and ended.any():
            env.reset(options={"reset_mask": ended})
            batch.reset(mask=ended)


@pytest.mark.parametrize("env_id", ["quorvel/Soccer-v0", "quorvel/SoccerSelfPlay-v0"])
def test_gymnasium_vector_wrappers_take_the_vector_envs(env_id):
    from gymnasium.wrappers import vector as wrappers

    with warnings.catch_warnings():
        warnings.simplefilter("error")
        env = gym.make_vec(env_id, num_envs=4, vectorization_mode="vector_entry_point",
                           max_ticks=5)
        env = wrappers.DictInfoToList(wrappers.RecordEpisodeStatistics(
            wrappers.NormalizeObservation(env)))
        env.reset(seed=0)
        for _ in range(5):
            *_, infos = env.step(env.action_space.sample())
    assert len(infos) == 4 and all(info["tick"] == 5 and info["episode"]["l"] == 5
                                   for info in infos)


@pytest.mark.parametrize("make", [lambda: gym.make("quorvel/SoccerSelfPlay-v0"),
                                  lambda: gym.make_vec("quorvel/SoccerSelfPlay-v0", num_envs=2,
                                                       vectorization_mode="sync")])
def test_self_play_made_as_a_single_env_says_it_is_vector_only(make):
    with pytest.raises(gym.error.Error, match=r"vector environment only.*make_vec") as info:
        make()
    assert "raised from the environment creator" not in str(info.value)  # told as it is


def test_self_play_entries_are_both_teams_in_their_own_frames():
    env = SelfPlayVectorEnv(num_envs=4, max_ticks=300)
    batch = BatchEngine(EngineConfig(max_ticks=300), 2, 5)
    obs, _ = env.reset(seed=5)
    np.testing.assert_array_equal(obs, batch.reset().reshape(4, -1))
    rng = np.random.default_rng(2)
    for _ in range(300):
        actions = rng.uniform(-1, 1, (4, 3, 4)).astype(np.float32)
        obs, rewards, term, trunc, info = env.step(actions)
        b_obs, b_rewards, _, b_trunc, b_info = batch.step(actions.reshape(2, 2, 3, 4))
        np.testing.assert_array_equal(obs, b_obs.reshape(4, -1))
        np.testing.assert_array_equal(rewards, b_rewards.reshape(4))
        np.testing.assert_array_equal(trunc, np.repeat(b_trunc, 2))
        np.testing.assert_array_equal(info["score"][1::2], b_info["score"][:, ::-1])


def test_single_env_ends_and_reseeds_like_the_engine():
    env = SoccerEnv(opponent="idle", max_ticks=3)
    first, _ = env.reset(seed=9)
    engine_obs = quorvel.Engine(EngineConfig(max_ticks=3), 9).reset()[0]
    assert first[0] == np.float32(engine_obs.self_team[0].position[0])
    results = [env.step(np.zeros((3, 4), np.float32)) for _ in range(3)]
    assert [r[3] for r in results] == [False, False, True] and results[-1][4]["tick"] == 3
    env = SoccerEnv(opponent="idle", max_score=0)
    env.reset(seed=1)
    assert env.step(np.zeros((3, 4), np.float32))[2:4] == (True, False)
    np.testing.assert_array_equal(env.reset(seed=9)[0], first)


def test_scripted_opponent_scores_against_an_idle_agent():
    env = SoccerVectorEnv(num_envs=8, opponent="scripted", max_ticks=10_000)
    env.reset(seed=0)
    conceded = sum((env.step(np.zeros((8, 3, 4), np.float32))[1] < 0).sum() for _ in range(900))
    assert conceded >= 4


def test_callable_opponent_sees_team_b_and_its_shape_is_checked():
    seen = []
    env = SoccerVectorEnv(num_envs=2, opponent=lambda obs: seen.append(obs.shape) or
                          np.ones((2, 3, 4)))
    env.reset(seed=0)
    env.step(np.zeros((2, 3, 4), np.float32))
    assert seen == [(2, 28)]
    env = SoccerEnv(opponent=lambda obs: np.ones(4))
    env.reset(seed=0)
    with pytest.raises(ValueError, match=r"expected shape \(3, 4\), got \(4,\)"):
        env.step(np.zeros((3, 4), np.float32))


MAKERS = {
    "env": lambda **kw: SoccerEnv(**kw),
    "vector": lambda **kw: SoccerVectorEnv(**{"num_envs": 2, **kw}),
    "self_play": lambda **kw: SelfPlayVectorEnv(**{"num_envs": 2, **kw}),
    "pettingzoo": lambda **kw: pytest.importorskip("quorvel.envs.pettingzoo").SoccerParallelEnv(**kw),
}


@pytest.mark.parametrize("kind", MAKERS)
def test_errors_are_value_errors_naming_the_cause(kind):
    with pytest.raises(ValueError, match="players_per_team must be at most"):
        MAKERS[kind](players_per_team=100)
    env = MAKERS[kind]()
    env.reset(seed=0)
    if kind == "pettingzoo":
        action, expected, given = {"a_0": np.zeros(3)}, r"\(4,\)", r"\(3,\)"
    else:
        shape = env.action_space.shape
        action, expected = np.zeros(shape[:-1] + (5,)), re_shape(shape)
        given = re_shape(shape[:-1] + (5,))
    with pytest.raises(ValueError, match=f"expected shape {expected}, got {given}"):
        env.step(action)


def first_view(obs):
    """A front-end's observations as one array (PettingZoo's: agent a_0's)."""
    return obs["a_0"] if isinstance(obs, dict) else obs


@pytest.mark.parametrize("kind", ["vector", "self_play", "pettingzoo"])
def test_seeds_and_counts_that_are_not_integers_are_refused_not_truncated(kind):
    refused, untouched = MAKERS[kind](), MAKERS[kind]()
    refused.reset(seed=1)
    untouched.reset(seed=1)
    for seed in (1.5, [1.5], "1"):
        with pytest.raises(TypeError, match="seed"):
            refused.reset(seed=seed)
    np.testing.assert_array_equal(first_view(refused.reset()[0]), first_view(untouched.reset()[0]))
    if kind != "pettingzoo":
        with pytest.raises(TypeError, match="num_envs must be an integer, not 2.7"):
            MAKERS[kind](num_envs=2.7)


def re_shape(shape):
    return str(shape).replace("(", r"\(").replace(")", r"\)")


@pytest.mark.parametrize("choice, move, kick", [
    (0, (0, 0), (0, 0)),          # stand, no kick
    (1 * 3 + 1, (1, 0), "goal"),  # east, kick at goal
    (7 * 3 + 2, (0, -1), "on"),   # south, kick straight on
])
def test_discrete_choices(choice, move, kick):
    config = EngineConfig(players_per_team=1)
    obs = np.zeros((1, 12), np.float32)
    obs[0, :2] = (0.5, 0.0)   # player at x = 10 field units
    obs[0, 8:10] = (0.55, 0.1)  # ball 1 unit further on, 1 unit up
    out = PlayerChoices(config)(np.array([[choice]]), obs)[0, 0]
    np.testing.assert_allclose(out[:2], move, atol=1e-6)
    want = {"goal": (9.0, -1.0), "on": (1.0, 1.0)}.get(kick, (0, 0))
    norm = np.hypot(*want) or 1.0
    np.testing.assert_allclose(out[2:], np.array(want) / norm, atol=1e-6)


def test_discrete_wrappers_play():
    env = DiscreteActions(SoccerEnv(max_ticks=20))
    env.reset(seed=0)
    assert env.step(env.action_space.sample())[0] in env.observation_space
    venv = DiscreteVectorActions(SelfPlayVectorEnv(num_envs=4, max_ticks=20))
    venv.reset(seed=0)
    assert venv.step(venv.action_space.sample())[0].shape == (4, 28)
    with pytest.raises(TypeError, match="need a quorvel environment"):
        DiscreteActions(gym.make("CartPole-v1"))


def test_import_without_gymnasium_registers_nothing():
    code = ("import sys\n"
            "class Hide:\n"
            "    def find_spec(self, name, path=None, target=None):\n"
            "        if name.split('.')[0] in ('gymnasium', 'pettingzoo'):\n"
            "            raise ModuleNotFoundError(name)\n"
            "sys.meta_path.insert(0, Hide())\n"
            "import quorvel\n"
            "assert 'gymnasium' not in sys.modules and 'quorvel.envs.gymnasium.env' not in sys.modules\n")
    subprocess.run([sys.executable, "-c", code], check=True)


@pytest.mark.skipif(not has_renderer(), reason="quorvel.render is not built yet")
def test_rgb_array_render():
    env = SoccerEnv(render_mode="rgb_array")
    env.reset(seed=0)
    image = env.render()
    assert image.dtype == np.uint8 and image.ndim == 3 and image.shape[2] == 3
    assert len(SelfPlayVectorEnv(num_envs=4, render_mode="rgb_array").render()) == 2
