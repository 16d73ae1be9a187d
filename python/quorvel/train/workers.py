"""python/quorvel/train/workers.py: how the driver talks to a rollout worker: in its own process, or in the driver's.

Both kinds take the same requests in the same order, ``submit(name, *args)`` then
``result()`` for a reply (``set_weights`` has none), so a run plays the same whichever
is used. The driver asks for the next rollout before it updates on the last one: a worker
in its own process collects it on the other core meanwhile, with the weights it has
(one update behind); an in-process worker collects it at once, with the same weights.
"""
import multiprocessing
import traceback
from typing import Any
from collections import deque

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
