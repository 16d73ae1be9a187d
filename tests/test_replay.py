# tests/test_replay.py: recording matches, replaying them bit for bit, and refusing files that do not replay.
import os

import numpy as np
import pytest

from _quorvel import Action, Actions, EngineConfig
from quorvel.core import Matches, MatchHook
from quorvel.replay import (MatchRecord, MatchRecorder, RecordingEngine, ReplayFormatError,
                            ReplayMismatch, fingerprint, replay)
from scripted import play_scripted


def play(engine, config, ticks, frames, seed=1):
    """Plays `engine` (an Engine or a RecordingEngine) from a reset with random commands for
    every player, full kicks among them, until it ends or `ticks` ticks are played."""
    rng = np.random.default_rng(seed)
    engine.reset()
    frames.append(fingerprint(engine.spectator_frame()))
    for _ in range(ticks):
        rows = rng.uniform(-1, 1, (2, config.players_per_team, 4))
        result = engine.step(tuple(Actions([Action(tuple(r[:2]), tuple(r[2:])) for r in team])
                                   for team in rows))
        frames.append(fingerprint(engine.spectator_frame()))
        if result.done:
            break


class FrameLog(MatchHook):
    """Keeps the fingerprint of every frame its driver shows: after each restart and tick."""

    def __init__(self, matches):
        self.matches, self.frames = matches, []

    def restarted(self, mask):
        self.frames.append(fingerprint(self.matches.spectator(0)))

    def played(self, commands, mask):
        self.frames.append(fingerprint(self.matches.spectator(0)))


@pytest.fixture(scope="module")
def full_match(tmp_path_factory):
    """A whole default match (9000 ticks, 3 a side) of the scripted teams, recorded through
    the driver's hook, its file and every frame's fingerprint."""
    config = EngineConfig()
    matches = Matches(config, 1)
    recorder, log = MatchRecorder(config), FrameLog(matches)
    matches.attach(recorder)
    matches.attach(log)
    play_scripted(matches, 11)
    path = tmp_path_factory.mktemp("replay") / "match.npz"
    recorder.log.record(matches.spectator(0)).save(path)
    return path, log.frames


def test_a_whole_match_replays_every_frame_bit_for_bit_from_a_small_file(full_match):
    path, frames = full_match
    replayed = []
    last = replay(path, on_frame=lambda frame: replayed.append(fingerprint(frame)))
    assert last.tick == 9000 and replayed == frames and MatchRecord.load(path).frames == 9001
    assert os.path.getsize(path) < 500_000


def test_rebuilds_resets_and_short_or_long_command_lists_replay(tmp_path):
    config = EngineConfig(players_per_team=2, max_ticks=150)
    engine = RecordingEngine(config, 3)
    frames = []
    play(engine, config, 60, frames)
    engine.rebuild(2**64 - 1)
    frames.append(fingerprint(engine.spectator_frame()))
    run = Action((1.0, 0.3), (1.0, 0.0))
    for pair in [(Actions([run]), Actions([run] * 5)), (Actions([]), Actions([Action((0.0, -1.0))]))] * 20:
        engine.step(pair)  # team A's second player, then both, go uncommanded
        frames.append(fingerprint(engine.spectator_frame()))
    play(engine, config, 40, frames, seed=7)
    engine.save(tmp_path / "m.npz")
    replayed = []
    replay(tmp_path / "m.npz", on_frame=lambda frame: replayed.append(fingerprint(frame)))
    assert replayed == frames


def rewrite(path, **changes):
    with np.load(path) as archive:
        arrays = {name: archive[name] for name in archive.files}
    arrays.update(changes)
    np.savez_compressed(path, **arrays)


def test_tampered_or_foreign_files_are_refused_clearly(full_match, tmp_path):
    source, _ = full_match
    record = MatchRecord.load(source)
    # A player on the move in the last ticks turned back for one (earlier, the next
    # kick-off could put every body back where the recorded match had it).
    moves = np.hypot(record.commands[-100:, 1, 2, 0], record.commands[-100:, 1, 2, 1])
    record.commands[len(record.commands) - 100 + int(np.argmax(moves > 0.5)), 1, 2, :2] *= -1.0
    record.save(tmp_path / "moved.npz")
    with pytest.raises(ReplayMismatch, match="does not reproduce"):
        replay(tmp_path / "moved.npz")

    damaged = bytearray(source.read_bytes())
    damaged[len(damaged) // 2] ^= 0xFF
    (tmp_path / "damaged.npz").write_bytes(bytes(damaged))
    (tmp_path / "text.npz").write_text("not a replay")
    np.savez(tmp_path / "other.npz", commands=np.zeros(3))
    (tmp_path / "newer.npz").write_bytes(source.read_bytes())
    rewrite(tmp_path / "newer.npz", version=np.array(3))
    (tmp_path / "wrong.npz").write_bytes(source.read_bytes())
    rewrite(tmp_path / "wrong.npz", counts=np.full((5, 2), 3, np.uint8))
    (tmp_path / "substepped.npz").write_bytes(source.read_bytes())  # the physics before the last
    rewrite(tmp_path / "substepped.npz", physics=np.array(2))
    with np.load(source) as archive:  # as written before files recorded their physics
        np.savez_compressed(tmp_path / "older.npz", **{k: archive[k] for k in archive.files if k != "physics"})
    for name, message in [("damaged", "damaged"), ("text", "not a replay file"),
                          ("other", "not a quorvel replay"), ("newer", "version 3"),
                          ("wrong", "counts"), ("older", "physics version 1"),
                          ("substepped", "physics version 2")]:
        with pytest.raises(ReplayFormatError, match=message):
            replay(tmp_path / f"{name}.npz")
    with pytest.raises(FileNotFoundError):
        replay(tmp_path / "missing.npz")


def soccer_env():
    import gymnasium
    return gymnasium.make("quorvel/Soccer-v0", max_ticks=200, players_per_team=4)


def engine_env():
    from engine_env import ScriptedEngineEnv
    return ScriptedEngineEnv(max_ticks=200, players_per_team=4)


@pytest.mark.parametrize("make_env", [soccer_env, engine_env])
def test_the_gymnasium_wrapper_records_builds_resets_and_both_teams(tmp_path, make_env):
    pytest.importorskip("gymnasium")
    from quorvel.replay import RecordMatch
    env = RecordMatch(make_env(), tmp_path / "gym.npz")
    env.reset()
    env.action_space.seed(1)
    for episode in range(3):
        done = False
        while not done:
            done = any(env.step(env.action_space.sample())[2:4])
        env.reset(seed=episode + 5) if episode != 1 else env.reset()
    for _ in range(30):
        env.step(env.action_space.sample())
    last = fingerprint(env.unwrapped.matches.spectator(0))
    env.close()
    record = MatchRecord.load(tmp_path / "gym.npz")
    builds = [kind for kind, _, _ in record.events]
    assert builds in ([0, 1, 0, 1, 1, 0, 1], [0, 0, 1, 0])  # Engine.reset() after each build, or not
    assert record.ticks == 630 and fingerprint(replay(record)) == last


@pytest.mark.parametrize("autoreset", ["next_step", "same_step", "disabled"])
def test_the_wrapper_follows_a_batch_that_restarts_its_match_itself(tmp_path, autoreset):
    pytest.importorskip("gymnasium")
    from engine_env import BatchEnv
    from quorvel.replay import RecordMatch
    env = RecordMatch(BatchEnv(autoreset, max_ticks=50, players_per_team=2))
    env.reset(seed=8)
    for _ in range(130):
        env.step(0)
    record = env.record()
    restarts = {"next_step": 2, "same_step": 2, "disabled": 0}[autoreset]
    assert [kind for kind, _, _ in record.events] == [0] + [1] * restarts
    assert record.ticks == 130 - (restarts if autoreset == "next_step" else 0)
    assert fingerprint(replay(record)) == fingerprint(env.unwrapped.matches.spectator(0))


def test_the_config_of_a_file_is_checked_by_the_engine(full_match, tmp_path):
    source, _ = full_match
    (tmp_path / "odd.npz").write_bytes(source.read_bytes())
    odd = '{"players_per_team": 3, "field_height": 0.5}'
    rewrite(tmp_path / "odd.npz", config=np.array(odd))
    with pytest.raises(ReplayFormatError, match="refuses"):
        replay(tmp_path / "odd.npz")


def test_the_pettingzoo_wrapper_records_episodes_into_one_file_written_at_close(tmp_path):
    pytest.importorskip("pettingzoo")
    from pettingzoo.test import parallel_api_test
    from quorvel.envs.pettingzoo import SoccerParallelEnv
    from quorvel.replay import RecordParallelMatch
    parallel_api_test(RecordParallelMatch(SoccerParallelEnv(max_ticks=60)), num_cycles=80)
    path = tmp_path / "parallel.npz"
    env = RecordParallelMatch(SoccerParallelEnv(max_ticks=70, players_per_team=2), path)
    rng = np.random.default_rng(4)
    for seed in (3, None, 9):
        env.reset(seed=seed)
        while env.agents:  # random actions, now and then for only some of the agents
            agents = [a for a in env.agents if rng.random() < 0.8]
            env.step({a: rng.uniform(-1, 1, 4).astype(np.float32) for a in agents})
    env.reset()
    for _ in range(25):
        env.step({a: env.action_space(a).sample() for a in env.agents})
    last = fingerprint(env.unwrapped.matches.spectator(0))
    assert not path.exists()
    env.close()
    env.close()
    record = MatchRecord.load(path)
    assert [kind for kind, _, _ in record.events] == [0, 1, 1, 0, 1, 1]
    assert record.events[0][1] == 3 and record.ticks == 3 * 70 + 25
    assert fingerprint(replay(path)) == last
    with pytest.raises(RuntimeError, match="closed"):
        env.step({})
    with pytest.raises(RuntimeError, match="closed"):
        env.reset()


@pytest.mark.parametrize("path, error", [("missing/match.npz", FileNotFoundError),
                                         (".", IsADirectoryError), (3, TypeError)])
def test_a_recording_path_that_cannot_be_written_is_refused_at_once(tmp_path, path, error):
    pytest.importorskip("pettingzoo")
    from quorvel.envs.pettingzoo import SoccerParallelEnv
    from quorvel.replay import RecordParallelMatch
    with pytest.raises(error, match="replay"):
        RecordParallelMatch(SoccerParallelEnv(), tmp_path / path if isinstance(path, str) else path)
