"""python/quorvel/train/workers.py: how the driver talks to its rollout workers: in its own process, in the driver's, or several as one.

Every kind takes the same requests in the same order, ``submit(name, *args)`` then
``result()`` for a reply (``set_weights`` has none), so a run plays the same whichever
is used (Ray actors, ``ray_workers``, speak it too). ``WorkerGroup`` splits the matches
between several workers and answers as one. The driver asks for the next rollout before it updates on the last one: a worker
in its own process collects it on the other core meanwhile, with the weights it has
(one update behind); an in-process worker collects it at once, with the same weights.
"""
import multiprocessing
import traceback
from typing import Any
from collections import deque

import numpy as np

SILENT = {"set_weights"}
"""Requests without a reply: a failure in one is reported with the next reply."""


class LocalWorker:
    def __init__(self, cfg, seed):
        from .rollout import RolloutWorker

        self.worker = RolloutWorker(cfg, seed)
        self.replies: deque[Any] = deque()
        self.info = self.worker.describe()

    def submit(self, name, *args):
        value = getattr(self.worker, name)(*args)
        if name not in SILENT:
            self.replies.append(value)

    def result(self):
        return self.replies.popleft()

    def call(self, name, *args):
        self.submit(name, *args)
        return self.result()

    def close(self):
        pass


def _serve(connection, cfg, seed):
    import signal

    import torch

    from .rollout import RolloutWorker

    # Ctrl-C is the driver's to handle: it closes the pipe, and the worker ends on that.
    signal.signal(signal.SIGINT, signal.SIG_IGN)
    torch.set_num_threads(cfg.torch_threads)
    failure = None
    try:
        worker = RolloutWorker(cfg, seed)
        connection.send((True, worker.describe()))
    except Exception:  # noqa: BLE001 - reported to the driver, which raises it
        connection.send((False, traceback.format_exc()))
        return
    while True:
        try:
            name, args = connection.recv()
        except EOFError:
            return
        try:
            value = getattr(worker, name)(*args)
        except Exception:  # noqa: BLE001
            failure = failure or traceback.format_exc()
        if name in SILENT:
            continue
        try:
            connection.send((False, failure) if failure else (True, value))
        except (BrokenPipeError, ConnectionResetError):   # the driver is gone
            return


class WorkerError(RuntimeError):
    """A rollout worker process failed; the message holds its traceback."""


class ProcessWorker:
    def __init__(self, cfg, seed):
        context = multiprocessing.get_context("spawn")
        self.connection, child = context.Pipe()
        self.process = context.Process(target=_serve, args=(child, cfg, seed), daemon=True,
                                       name="quorvel-rollout")
        self.process.start()
        child.close()
        self.info = self.result()

    def submit(self, name, *args):
        self.connection.send((name, args))

    def result(self):
        try:
            ok, value = self.connection.recv()
        except EOFError:
            raise WorkerError(f"the rollout worker process ended (exit code "
                              f"{self.process.exitcode})") from None
        if not ok:
            raise WorkerError(f"the rollout worker failed:\n{value}")
        return value

    def call(self, name, *args):
        self.submit(name, *args)
        return self.result()

    def close(self):
        self.connection.close()
        self.process.join(timeout=10)
        if self.process.is_alive():
            self.process.kill()
            self.process.join()


def share(cfg, workers):
    """The settings of one of `workers` workers: its part of the matches and groups."""
    if workers == 1:
        return cfg
    return cfg.replace(matches=cfg.matches // workers, groups=cfg.groups // workers, workers=1)


def worker_seed(seed, index, workers):
    """Worker `index`'s seed: the run's own with one worker (so that it plays as the local
    trainer), else one drawn from it, apart for each worker."""
    if workers == 1:
        return int(seed)
    return int(np.random.SeedSequence([int(seed), 17, index]).generate_state(1, np.uint64)[0])


class WorkerGroup:
    """Several workers as one: each plays its share of the matches; replies are joined
    along the entries (worker 0's first), the opponents of an episode dealt out in order.
    Requests go to every worker before any reply is awaited, so they collect together."""

    def __init__(self, workers):
        self.workers = list(workers)
        infos = [worker.info for worker in self.workers]
        self.groups = [info["pool_groups"] for info in infos]
        self.entries = [info["entries"] for info in infos]
        self.info = dict(infos[0], entries=sum(self.entries), pool_groups=sum(self.groups))
        self.pending: deque[str] = deque()

    def submit(self, name, *args):
        if name == "start_episode":
            (assignments,), start = args, 0
            for worker, count in zip(self.workers, self.groups):
                worker.submit(name, assignments[start:start + count])
                start += count
        elif name == "load_state":
            for worker, state in zip(self.workers, args[0]["workers"]):
                worker.submit(name, state)
        else:
            for worker in self.workers:
                worker.submit(name, *args)
        if name not in SILENT:
            self.pending.append(name)

    def result(self):
        name = self.pending.popleft()
        replies = [worker.result() for worker in self.workers]
        if name == "collect":
            return self._joined(replies)
        if name == "state":
            return {"workers": replies}
        if name == "timing_now":
            return {key: sum(reply[key] for reply in replies) for key in replies[0]}
        return replies[0]

    def call(self, name, *args):
        self.submit(name, *args)
        return self.result()

    def _joined(self, replies):
        batches, results, timings = zip(*replies)
        batch = {key: np.concatenate([b[key] for b in batches], axis=1)
                 for key in batches[0] if key not in ("ended", "last_values")}
        batch["last_values"] = np.concatenate([b["last_values"] for b in batches], axis=0)
        batch["ended"] = batches[0]["ended"]
        timing = {key: sum(t[key] for t in timings) for key in timings[0]}
        if results[0] is None:
            return batch, None, timing
        offsets = np.cumsum([0] + self.entries[:-1])
        joined = {"for": np.concatenate([r["for"] for r in results]),
                  "against": np.concatenate([r["against"] for r in results]),
                  "pool": np.concatenate([r["pool"] + o for r, o in zip(results, offsets)]),
                  "matches": [match for r in results for match in r["matches"]]}
        return batch, joined, timing

    def close(self):
        for worker in self.workers:
            worker.close()
