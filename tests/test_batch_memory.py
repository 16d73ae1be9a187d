# tests/test_batch_memory.py: BatchEngine's memory under hostile use: released views, empty teams, memory limits.
import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import _quorvel as q
import quorvel

SANITIZED = os.environ.get("QUORVEL_SANITIZED") == "1"
# ASan reserves terabytes of address space for its shadow: no address-space limit fits it.
needs_address_limit = pytest.mark.skipif(SANITIZED, reason="the sanitizer's shadow memory needs "
                                                           "an unlimited address space")


def storage_view(array):
    """The memoryview that numpy holds on the array's bytearray."""
    while not isinstance(array, memoryview):
        array = array.base
    return array


def every_output(batch):
    obs, rewards, terminated, truncated, info = batch.step(np.zeros((4, 2, 2, 4), np.float32))
    arrays = [obs, rewards, terminated, truncated, info["final_obs"], info["_final_obs"]]
    arrays += [info[k] for k in ("score", "tick", "ticks_remaining")]
    arrays += list(info["final_info"].values()) + list(batch.spectator_arrays().values())
    return arrays


def test_released_views_leave_the_batch_its_own_memory():
    config = q.EngineConfig(players_per_team=2)
    batch = quorvel.BatchEngine(config, 4, autoreset="same_step", copy=False)
    twin = quorvel.BatchEngine(config, 4, autoreset="same_step")
    batch.reset(), twin.reset()
    for array in every_output(batch):
        view = storage_view(array)
        storage = view.obj
        view.release()
        with pytest.raises(BufferError):  # the batch still writes into it
            storage.clear()
    every_output(twin)
    rng = np.random.default_rng(3)
    for _ in range(5):
        actions = rng.normal(size=(4, 2, 2, 4)).astype(np.float32)
        for got, want in zip(batch.step(actions)[:4], twin.step(actions)[:4]):
            np.testing.assert_array_equal(got, want)


def test_zero_players_play():
    batch = quorvel.BatchEngine(q.EngineConfig(players_per_team=0), 4)
    assert batch.reset().shape == (4, 2, 4)
    obs, rewards, terminated, truncated, info = batch.step(np.zeros((4, 2, 0, 4), np.float32))
    assert obs.shape == (4, 2, 4) and info["tick"].tolist() == [1] * 4
    assert batch.spectator_arrays()["players"].shape == (4, 0, 4)


def test_zero_players_environment():
    gymnasium = pytest.importorskip("gymnasium")
    env = gymnasium.make("quorvel/Soccer-v0", players_per_team=0)
    obs, _ = env.reset(seed=1)
    env.step(env.action_space.sample())
    env.close()


# Leaves no address space: maps (untouched, so costing no memory) all that the
# limit allows but `room` bytes, then gives it back with give_back().
FILL = """
    import mmap
    def leave_no_room(room):
        taken, size = [], 64 << 20
        while size >= mmap.PAGESIZE:
            try:
                taken.append(mmap.mmap(-1, size))
            except OSError:
                size //= 2
        while taken and room > 0:
            room -= len(taken[-1])
            taken.pop().close()
        return taken
    def give_back(taken):
        for m in taken:
            m.close()
"""


def run_limited(script, address_space_mib=None, fill=False):
    """Runs `script` in a child interpreter, under an address-space limit of
    `address_space_mib` above what the child has mapped once quorvel is imported;
    `fill` gives it leave_no_room() and give_back() (FILL)."""
    prologue = textwrap.dedent(f"""
        import resource
        import numpy as np
        import _quorvel as q
        import quorvel
        limit = {address_space_mib!r}
        if limit is not None:
            with open("/proc/self/statm") as f:
                mapped = int(f.read().split()[0]) * resource.getpagesize()
            resource.setrlimit(resource.RLIMIT_AS, (mapped + limit * 2**20, resource.RLIM_INFINITY))
    """)
    helpers = textwrap.dedent(FILL) if fill else ""
    return subprocess.run([sys.executable, "-c", prologue + helpers + textwrap.dedent(script)],
                          capture_output=True, text=True, timeout=300)


@needs_address_limit
def test_threads_that_cannot_start_are_named():
    done = run_limited("""
        try:
            quorvel.BatchEngine(q.EngineConfig(), 1024, threads=1024)
        except RuntimeError as error:
            print("refused:", error, error.__notes__)
    """, address_space_mib=200)
    assert done.returncode == 0, done.stderr
    assert "refused:" in done.stdout and "threads" in done.stdout, done.stdout


@needs_address_limit
def test_num_matches_bound_follows_the_team():
    done = run_limited("""
        big = q.EngineConfig(players_per_team=512, field_width=400.0, field_height=200.0)
        try:
            quorvel.BatchEngine(big, 3000)
        except ValueError as error:
            print("refused:", error.__notes__)
        quorvel.BatchEngine(q.EngineConfig(), 3000)
        print("built small")
    """, address_space_mib=1500)
    assert done.returncode == 0, done.stderr
    assert "refused: [\"while converting argument 'num_matches'\"]" in done.stdout
    assert "built small" in done.stdout


@needs_address_limit
def test_running_out_of_memory_while_building_is_a_memory_error():
    done = run_limited("""
        big = q.EngineConfig(players_per_team=128, field_width=400.0, field_height=200.0)
        taken = leave_no_room(8 << 20)
        try:
            quorvel.BatchEngine(big, 240)  # 72 MiB as built: within the bound, past what is left
        except MemoryError:
            print("memory error")
        give_back(taken)
        quorvel.BatchEngine(big, 2).step(np.zeros((2, 2, 128, 4), np.float32))
        print("plays on")
    """, address_space_mib=1024, fill=True)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["memory", "error", "plays", "on"]


@needs_address_limit
@pytest.mark.parametrize("threads", [1, 2])
def test_running_out_of_memory_in_a_step_is_a_memory_error(threads):
    done = run_limited("""
        piled = q.EngineConfig(players_per_team=32, field_width=0.0, field_height=1.0,
                               formation_jitter=0.0)
        batch = quorvel.BatchEngine(piled, 64, threads={threads})
        actions = np.zeros((64, 2, 32, 4), np.float32)
        taken = leave_no_room(4 << 20)
        try:
            for _ in range(5):
                batch.step(actions)
        except MemoryError:
            print("memory error")
        give_back(taken)
        try:
            batch.step(actions)
        except RuntimeError as error:
            print("stopped")
        del batch
        quorvel.BatchEngine(piled, 2).step(np.zeros((2, 2, 32, 4), np.float32))
        print("plays on")
    """.format(threads=threads), address_space_mib=1024, fill=True)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["memory", "error", "stopped", "plays", "on"]


@needs_address_limit
def test_an_engine_step_that_runs_out_of_memory_is_a_memory_error():
    # The step's results are built inside the object returned: a step that fails
    # must give that memory back and leave the engine playable.
    done = run_limited("""
        piled = q.EngineConfig(players_per_team=32, field_width=0.0, field_height=1.0,
                               formation_jitter=0.0)
        engines = [q.Engine(piled, seed) for seed in range(16)]
        idle = q.Actions([q.Action.noop()] * 32)
        taken = leave_no_room(1 << 20)
        try:
            for _ in range(5):
                for engine in engines:
                    engine.step((idle, idle))
        except MemoryError:
            print("memory error")
        give_back(taken)
        engines = [engine]  # the one whose step failed
        print("plays on", engine.step((idle, idle)).info.tick > 0)
    """, address_space_mib=1024, fill=True)
    assert done.returncode == 0, done.stderr
    assert done.stdout.split() == ["memory", "error", "plays", "on", "True"]
