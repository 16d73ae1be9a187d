"""python/quorvel/train/ray_workers.py: rollout workers as Ray actors, on any node of a cluster, restarted when lost.

Each actor holds a ``RolloutWorker`` (its own BatchEngine and a copy of the policy) and
answers the requests of ``workers`` in order; the weights go out once per update through
the object store (``ray.put``), the rollouts come back through it. Ray restarts a lost
actor (``max_restarts``); the driver then brings the new one to where the old one was: the
state of the episode's start, the latest weights, the episode's opponents and the
decisions already played (played again with those weights, their rollouts dropped), then
every request still unanswered. The run goes on from there (it is no longer the run that
no loss would have played) and the log says so.
"""
import logging
import os
import time
from collections import deque
from typing import Any

from .workers import SILENT, WorkerError

RESTARTS = 4
"""Times Ray restarts one worker's actor before the run fails."""
RECOVERY_TRIES = 20
"""Attempts to reach a restarted actor (a second apart) before the run fails."""


def connect(address):
    """Joins the Ray cluster at `address` ("auto": the one this machine belongs to);
    returns a function that leaves it again (nothing when Ray was already connected)."""
    import ray

    if ray.is_initialized():
        return lambda: None
    try:
        ray.init(address=address, logging_level=logging.WARNING, log_to_driver=False)
    except ConnectionError as error:
        raise ConnectionError(f"no Ray cluster at {address!r} ({error}); start one with "
                              f"`ray start --head` or pass its address") from None
    return ray.shutdown


class RolloutActor:
    """The actor's side: a RolloutWorker and the node it runs on."""

    def __init__(self, cfg, seed):
        import torch

        from .rollout import RolloutWorker

        torch.set_num_threads(cfg.torch_threads)
        self.worker = RolloutWorker(cfg, seed)

    def describe(self):
        import ray

        return dict(self.worker.describe(), node=ray.get_runtime_context().get_node_id(),
                    pid=os.getpid())

    def do(self, name, *args):
        """One request; ``start_episode`` answers with the state it started from, which
        the driver keeps to bring a restarted actor back."""
        if name == "start_episode":
            before = self.worker.state()
            self.worker.start_episode(*args)
            return before
        return getattr(self.worker, name)(*args)


class RayWorker:
    """The driver's side of one actor, speaking ``workers``' protocol. `notify` takes a
    line for the run's log (a restart)."""

    _last_put = (None, None)   # (weights, their object ref): one put for all the workers

    def __init__(self, cfg, seed, index=0, notify=print):
        import ray

        self.ray, self.cfg, self.index, self.notify = ray, cfg, index, notify
        remote: Any = ray.remote(RolloutActor)
        remote = remote.options(
            num_cpus=1, max_restarts=RESTARTS, max_task_retries=0, scheduling_strategy="SPREAD")
        self.actor: Any = remote.remote(cfg, seed)
        self.pending: deque[Any] = deque()       # (name, args, object ref) awaiting their replies
        self.weights = None          # the object ref of the latest weights sent
        self.start_state = None      # the worker's state where its current episode began
        self.episode = None          # that episode's opponents, once started
        self.played = 0              # decisions of that episode answered
        self.timing = self.base = None   # the last timing answered; a lost actor's totals
        try:
            self.info = self._get(self.actor.describe.remote())
        except ray.exceptions.RayActorError as error:
            raise WorkerError(f"rollout worker {index} could not start:\n{error}") from None
        self.node = self.info["node"]

    # -- requests and replies ----------------------------------------------------------

    def submit(self, name, *args):
        if name == "set_weights":
            self.weights = self._put(args[0])
            args = (self.weights,)
        elif name == "load_state":
            self.start_state, self.episode, self.played = args[0], None, 0
        self.pending.append((name, args, self.actor.do.remote(name, *args)))

    def _put(self, weights):
        held, ref = RayWorker._last_put
        if held is not weights:
            ref = self.ray.put(weights)
            RayWorker._last_put = (weights, ref)
        return ref

    def result(self):
        """The next reply; a failure of a request without one (weights) is raised here."""
        while True:
            name, args, value = self._next()
            if name not in SILENT:
                break
        if name == "start_episode":
            self.start_state, self.episode, self.played = value, args, 0
            return None
        if name == "collect":
            self.played += args[0]
            batch, results, timing = value
            # Arrays read from the object store are read-only; the learner's tensors want their own.
            batch = {key: array if array.flags.writeable else array.copy()
                     for key, array in batch.items()}
            return batch, results, self._timing(timing)
        if name == "timing_now":
            return self._timing(value)
        return value

    def _next(self):
        """The oldest request sent and its reply, (name, args, value); a lost actor on the
        way is restarted and brought back."""
        for _ in range(RESTARTS + 1):
            name, args, ref = self.pending[0]
            try:
                value = self._get(ref)
                break
            except self.ray.exceptions.RayActorError as error:
                lost = error
            try:
                self._recover(lost)
            except self.ray.exceptions.RayActorError:
                pass     # lost again while coming back: the next pass starts over
        else:
            raise WorkerError(f"rollout worker {self.index} was lost more than {RESTARTS} times")
        self.pending.popleft()
        return name, args, value

    def call(self, name, *args):
        self.submit(name, *args)
        return self.result()

    def _get(self, ref):
        try:
            return self.ray.get(ref)
        except self.ray.exceptions.RayTaskError as error:
            raise WorkerError(f"rollout worker {self.index} failed:\n{error}") from None

    def _timing(self, timing):
        """A restarted actor counts from zero: its totals continue the lost one's."""
        if self.base is not None:
            timing = {key: value + self.base.get(key, 0.0) for key, value in timing.items()}
        self.timing = timing
        return timing

    # -- a lost actor --------------------------------------------------------------------

    def _recover(self, error):
        """Brings the restarted actor to where the lost one stood, then sends again every
        request still unanswered."""
        cause = str(error).strip().splitlines()[0] if str(error).strip() else type(error).__name__
        self.notify(f"rollout worker {self.index} (node {self.node}) lost: {cause}; "
                    f"restarting it and playing again {self.played} decisions of its episode")
        started = time.perf_counter()
        for attempt in range(RECOVERY_TRIES):
            try:
                info = self.ray.get(self.actor.describe.remote())
                break
            except self.ray.exceptions.RayActorError:
                if attempt + 1 == RECOVERY_TRIES:
                    raise WorkerError(f"rollout worker {self.index} could not be restarted: "
                                      f"{error}") from None
                time.sleep(1.0)
        self.base, self.node = self.timing, info["node"]
        steps = []
        if self.start_state is not None:
            steps.append(("load_state", (self.start_state,)))
        if self.weights is not None:
            steps.append(("set_weights", (self.weights,)))
        if self.episode is not None and self.played < self.cfg.decisions_per_episode:
            steps.append(("start_episode", self.episode))
            if self.played:
                steps.append(("collect", (self.played,)))
        self.ray.get([self.actor.do.remote(name, *args) for name, args in steps])
        self.pending = deque((name, args, self.actor.do.remote(name, *args))
                             for name, args, _ in self.pending)
        self.notify(f"rollout worker {self.index} restarted on node {self.node} in "
                    f"{time.perf_counter() - started:.1f} s")

    def close(self):
        RayWorker._last_put = (None, None)
        try:
            self.ray.kill(self.actor)
        except Exception:  # noqa: BLE001 - already gone with its cluster
            pass
