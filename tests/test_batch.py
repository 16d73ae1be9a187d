# tests/test_batch.py: BatchEngine against Engine bit for bit, thread counts, restarts, bad input, views.
import os
import subprocess
import sys
import threading

import numpy as np
import pytest

import _quorvel as q
import quorvel

# A small field where goals come every few ticks and both limits are reached.
GOALS = dict(players_per_team=2, field_width=4.0, field_height=3.0, goal_width=3.0,
             player_radius=0.3, ball_radius=0.2, formation_jitter=0.1, kick_range=1.0,
             kick_max_speed=30.0, max_ticks=40, max_score=2)
N = 7


def config(**fields):
    return q.EngineConfig(**{**GOALS, **fields})


def row(obs):
    """An Observation as the batch lays it out: own players, opponents, ball."""
    values = [v for p in obs.self_team + obs.opponent_team for v in p.position + p.velocity]
    return np.array(values + list(obs.ball.position + obs.ball.velocity), np.float32)


def pair(commands):
    """(2, P, 4) commands as the Actions pair that the batch plays."""
    def action(m):
        kick = None if m[2] == 0 and m[3] == 0 else (float(m[2]), float(m[3]))
        return q.Action(move_dir=(float(m[0]), float(m[1])), kick=kick)
    return tuple(q.Actions([action(m) for m in team]) for team in commands)


def policy(rng, obs, players):
    """Everyone runs at the ball and shoots towards +x, plus noise and a few
    non-finite commands."""
    own = obs[:, :, :4 * players].reshape(N, 2, players, 4)
    ball = obs[:, :, None, -4:-2]
    act = np.zeros((N, 2, players, 4), np.float32)
    act[..., :2] = (ball - own[..., :2]) * 4 + rng.normal(0, 0.3, (N, 2, players, 2))
    act[..., 2] = rng.choice([0.0, 1.0, 0.5], (N, 2, players))
    act[..., 3] = rng.normal(0, 0.5, (N, 2, players)) * (act[..., 2] != 0)
    act.reshape(-1)[rng.choice(act.size, 3)] = rng.choice([np.nan, np.inf, -np.inf], 3)
    return act


def bits(array):
    return np.ascontiguousarray(array).view(np.uint32)


class Reference:
    """N Engines played by hand with the batch's restart rules."""

    def __init__(self, cfg, seeds, mode):
        self.cfg, self.mode = cfg, mode
        self.engines = [q.Engine(cfg, s) for s in seeds]
        self.pending = [False] * len(seeds)

    def ended(self, score, tick):
        reached = self.cfg.max_score is not None and max(score) >= self.cfg.max_score
        return reached, tick >= self.cfg.max_ticks

    def step(self, actions):
        out = {k: [] for k in ("obs", "rewards", "terminated", "truncated", "score", "tick", "final")}
        for i, e in enumerate(self.engines):
            final = None
            if self.pending[i]:
                self.pending[i] = False
                obs, rewards, flags = e.reset(), (0.0, 0.0), (False, False)
            else:
                result = e.step(pair(actions[i]))
                obs, rewards = result.observations, tuple(r.total() for r in result.rewards)
                flags = self.ended(obs[0].score, result.info.tick)
                if any(flags) and self.mode == "next_step":
                    self.pending[i] = True
                elif any(flags) and self.mode == "same_step":
                    final = (np.stack([row(o) for o in obs]), obs[0].score, result.info.tick)
                    obs = e.reset()
            frame = e.spectator_frame()
            out["obs"].append(np.stack([row(o) for o in obs]))
            out["rewards"].append(rewards)
            out["terminated"].append(flags[0])
            out["truncated"].append(flags[1])
            out["score"].append(frame.score)
            out["tick"].append(frame.tick)
            out["final"].append(final)
        return out

    def reset(self, mask, seeds):
        """The restarted rows' observations, by match."""
        rows = {}
        for i in range(len(self.engines)):
            if mask is None or mask[i]:
                if seeds is None:
                    rows[i] = np.stack([row(o) for o in self.engines[i].reset()])
                else:
                    self.engines[i] = q.Engine(self.cfg, int(seeds[i]))
                    rows[i] = frame_rows(self.engines[i].spectator_frame())
                self.pending[i] = False
        return rows


def frame_rows(frame):
    """Both teams' rows of a match that Python cannot ask for observations (one
    just built): team A's frame is the spectator's, team B's its mirror image."""
    flip = np.array([-1, 1, -1, 1], np.float32)
    players = np.array([p.position + p.velocity for p in frame.players], np.float32)
    ball = np.array(frame.ball.position + frame.ball.velocity, np.float32)
    half = len(players) // 2
    team_a = np.concatenate([players.ravel(), ball])
    team_b = np.concatenate([(players[half:] * flip).ravel(), (players[:half] * flip).ravel(), ball * flip])
    return np.stack([team_a, team_b])


def expect_step(got, want, mode):
    obs, rewards, terminated, truncated, info = got
    assert bits(obs).tolist() == bits(np.stack(want["obs"])).tolist()
    assert rewards.tolist() == [list(r) for r in want["rewards"]]
    assert terminated.tolist() == want["terminated"]
    assert truncated.tolist() == want["truncated"]
    assert info["score"].tolist() == [list(s) for s in want["score"]]
    assert info["tick"].tolist() == want["tick"]
    if mode == "same_step":
        ended = [f is not None for f in want["final"]]
        assert info["_final_obs"].tolist() == ended
        for i, final in enumerate(want["final"]):
            if final is not None:
                assert bits(info["final_obs"][i]).tolist() == bits(final[0]).tolist()
                assert info["final_info"]["score"][i].tolist() == list(final[1])
                assert info["final_info"]["tick"][i] == final[2]
    else:
        assert "final_obs" not in info


@pytest.mark.parametrize("threads", [1, 2, 3])
@pytest.mark.parametrize("mode", ["next_step", "same_step", "disabled"])
def test_plays_as_engines_through_goals_limits_and_resets(mode, threads):
    cfg, rng = config(), np.random.default_rng(5)
    batch = quorvel.BatchEngine(cfg, N, seed=2**64 - 3, threads=threads, autoreset=mode)
    ref = Reference(cfg, [(2**64 - 3 + i) % 2**64 for i in range(N)], mode)
    obs = batch.reset()
    ref.reset(None, None)
    goals = ends = 0
    for t in range(160):
        if t in (60, 110):
            mask = rng.random(N) < 0.5
            seeds = rng.integers(0, 2**63, N, dtype=np.uint64) if t == 110 else None
            obs = batch.reset(seeds=seeds, mask=mask)
            for i, want in ref.reset(mask, seeds).items():
                assert bits(obs[i]).tolist() == bits(want).tolist()
        actions = policy(rng, obs, cfg.players_per_team)
        got = batch.step(actions)
        want = ref.step(actions)
        expect_step(got, want, mode)
        obs = got[0]
        goals += int(np.count_nonzero(got[1][:, 0]))
        ends += int(np.count_nonzero(got[2] | got[3]))
    assert goals > 20 and ends > 10


def test_reset_returns_what_engine_reset_returns():
    batch = quorvel.BatchEngine(config(), N, seeds=list(range(100, 100 + N)))
    obs = batch.reset()
    for i in range(N):
        want = np.stack([row(o) for o in q.Engine(config(), 100 + i).reset()])
        assert bits(obs[i]).tolist() == bits(want).tolist()


def test_attributes():
    batch = quorvel.BatchEngine(config(players_per_team=4), 3, threads=8, autoreset="same_step")
    assert (batch.num_matches, batch.players_per_team, batch.obs_size) == (3, 4, 36)
    assert batch.threads == 3 and batch.autoreset == "same_step" and batch.copy
    assert batch.config.players_per_team == 4 and batch.config is not batch.config
    assert 1 <= quorvel.BatchEngine(config(), 64).threads <= 64


def test_spectator_views_agree_with_the_engine():
    batch = quorvel.BatchEngine(config(), N, seed=9)
    rng = np.random.default_rng(1)
    obs = batch.reset()
    for _ in range(30):
        obs = batch.step(policy(rng, obs, 2))[0]
    frames = batch.spectator_arrays()
    for i in (0, N - 1):
        frame = batch.spectator(i)
        flat = [v for p in frame.players for v in p.position + p.velocity]
        assert frames["players"][i].ravel().tolist() == pytest.approx(flat, abs=0)
        assert frames["ball"][i].tolist() == list(frame.ball.position + frame.ball.velocity)
        assert frames["score"][i].tolist() == list(frame.score)
        assert frames["tick"][i] == frame.tick
    # Team A's row is the spectator's players and ball in the same frame.
    assert bits(obs[:, 0, :]).tolist() == bits(
        np.concatenate([frames["players"].reshape(N, -1), frames["ball"]], axis=1)).tolist()


# ---- views and copies ---------------------------------------------------------------

def test_copy_false_hands_out_views_that_the_next_call_overwrites():
    batch = quorvel.BatchEngine(config(), N, copy=False)
    act = np.ones((N, 2, 2, 4), np.float32)
    first = batch.step(act)
    before = first[0].copy()
    second = batch.step(act)
    assert second[0] is first[0] and second[4]["tick"] is first[4]["tick"]
    assert not np.array_equal(first[0], before) and first[4]["tick"][0] == 2
    first[0][:] = 0  # writing into a view does not reach the matches
    assert batch.step(act)[0].any()
    with pytest.raises(ValueError):
        first[0].resize(10, refcheck=False)


@pytest.mark.parametrize("threads", [1, 2])
def test_copy_false_reused_result_stays_whole(threads):
    # The result tuple may be handed out again; a caller's change to its info dict
    # must never show in a later step's.
    batch = quorvel.BatchEngine(config(), 2, copy=False, threads=threads)
    act = np.ones((2, 2, 2, 4), np.float32)
    info = batch.step(act)[4]
    info.pop("tick")
    info["extra"] = 1
    del info
    for _ in range(2):
        result = batch.step(act)
        assert sorted(result[4]) == ["score", "tick", "ticks_remaining"]
        assert result[4]["tick"][0] == result[4]["tick"][1] > 1
        del result
    kept = batch.step(act)
    assert batch.step(act) is not kept  # still held: built anew


def test_copy_true_hands_out_fresh_arrays():
    batch = quorvel.BatchEngine(config(), N)
    act = np.ones((N, 2, 2, 4), np.float32)
    first = batch.step(act)
    kept = [a.copy() for a in first[:4]]
    second = batch.step(act)
    assert all(a is not b for a, b in zip(first, second))
    assert all(np.array_equal(a, k) for a, k in zip(first[:4], kept))


# ---- bad input ----------------------------------------------------------------------

@pytest.mark.parametrize("args, kwargs, error", [
    (("config", 2), {}, TypeError),
    ((None, 0), {}, ValueError),
    ((None, -1), {}, ValueError),
    ((None, 2**40), {}, ValueError),
    ((None, 10**30), {}, ValueError),
    ((None, 1.5), {}, TypeError),
    ((None, 2, -1), {}, OverflowError),
    ((None, 2), {"threads": -1}, ValueError),
    ((None, 2), {"threads": 10**6}, ValueError),
    ((None, 2), {"seeds": [1, 2, 3]}, ValueError),
    ((None, 2), {"seeds": [1, -2]}, OverflowError),
    ((None, 2), {"seeds": [1, 2.0]}, TypeError),
    ((None, 2), {"seeds": 5}, TypeError),
    ((None, 2), {"autoreset": "sometimes"}, ValueError),
    ((None, 2), {"autoreset": 1}, TypeError),
])
def test_refused_construction(args, kwargs, error):
    args = tuple(config() if a is None else a for a in args)
    with pytest.raises(error):
        quorvel.BatchEngine(*args, **kwargs)


@pytest.mark.parametrize("fields, message", [
    ({"players_per_team": 33}, "players_per_team"),
    ({"formation_jitter": -1.0}, "empty range"),
])
def test_refused_configuration_is_a_value_error_with_the_engine_message(fields, message):
    with pytest.raises(ValueError, match=message):
        quorvel.BatchEngine(config(**fields), 2)


def state(batch):
    frames = batch.spectator_arrays()
    return [frames[k].tolist() for k in ("players", "ball", "score", "tick")]


def bad_actions():
    good = np.zeros((N, 2, 2, 4), np.float32)
    return [
        (good.astype(np.float64), TypeError),
        (good.astype(np.int32), TypeError),
        (good[:, :, :1], ValueError),
        (good.reshape(N, 2, 8), ValueError),
        (np.zeros((N, 2, 2, 8), np.float32)[..., ::2], ValueError),
        (good.tolist(), TypeError),
        (None, TypeError),
    ]


@pytest.mark.parametrize("index", range(len(bad_actions())))
def test_refused_actions_change_nothing(index):
    actions, error = bad_actions()[index]
    batch = quorvel.BatchEngine(config(), N)
    batch.step(np.ones((N, 2, 2, 4), np.float32))
    before = state(batch)
    with pytest.raises(error):
        batch.step(actions)
    assert state(batch) == before


@pytest.mark.parametrize("kwargs, error", [
    ({"mask": np.ones(N, np.int8)}, TypeError),
    ({"mask": np.ones(N + 1, bool)}, ValueError),
    ({"mask": [True] * N}, TypeError),
    ({"seeds": list(range(N - 1))}, ValueError),
    ({"seeds": [-1] * N}, OverflowError),
])
def test_refused_reset_changes_nothing(kwargs, error):
    batch = quorvel.BatchEngine(config(), N)
    batch.step(np.ones((N, 2, 2, 4), np.float32))
    before = state(batch)
    with pytest.raises(error):
        batch.reset(**kwargs)
    assert state(batch) == before


def test_read_only_actions_are_read():
    batch = quorvel.BatchEngine(config(), N)
    actions = np.ones((N, 2, 2, 4), np.float32)
    actions.flags.writeable = False
    assert batch.step(actions)[4]["tick"].tolist() == [1] * N


@pytest.mark.parametrize("index", [N, -1, 2**70])
def test_spectator_out_of_range(index):
    with pytest.raises(IndexError):
        quorvel.BatchEngine(config(), N).spectator(index)


def test_a_call_from_another_thread_during_a_step_is_refused():
    batch = quorvel.BatchEngine(q.EngineConfig(), 512, threads=1)
    act = np.zeros((512, 2, 3, 4), np.float32)
    done = threading.Event()

    def play():
        for _ in range(100):
            batch.step(act)
        done.set()

    worker = threading.Thread(target=play)
    worker.start()
    refused = 0
    while not done.is_set() and not refused:
        try:
            batch.spectator_arrays()
        except RuntimeError:
            refused += 1
    worker.join()
    assert refused
    assert batch.spectator(0).tick >= 100


def test_interpreter_exit_while_daemon_threads_step_or_copy_results():
    # The interpreter ends a daemon thread that waits for the lock at exit by
    # unwinding it: through a step or a numpy copy of a result, that must not
    # abort, nor give back what it holds without the lock (the debug allocator
    # stops the process then; the watchers are in numpy's copies most of the time).
    script = """if True:
        import threading, time, numpy as np, quorvel
        batch = quorvel.BatchEngine(quorvel.EngineConfig(), 2048, threads=2)
        act = np.zeros((2048, 2, 3, 4), np.float32)
        def play():
            while True:
                batch.step(act)
                batch.spectator_arrays()
        def watch(watched):
            while True:
                watched.spectator_arrays()
        threading.Thread(target=play, daemon=True).start()
        for _ in range(3):
            watched = quorvel.BatchEngine(quorvel.EngineConfig(), 1024)
            threading.Thread(target=watch, args=(watched,), daemon=True).start()
        time.sleep(0.05)
    """
    env = dict(os.environ)
    if env.get("QUORVEL_SANITIZED") == "1":  # locals off the real stack: the unwinding leaves no stale poison
        env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":detect_stack_use_after_return=1"
        env["PYTHONMALLOC"] = "malloc_debug"
    else:
        env["PYTHONMALLOC"] = "debug"
    for _ in range(4):
        done = subprocess.run([sys.executable, "-c", script], env=env, timeout=60, capture_output=True, text=True)
        assert (done.returncode, done.stderr) == (0, ""), done.stderr
