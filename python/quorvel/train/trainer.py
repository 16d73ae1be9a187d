"""python/quorvel/train/trainer.py: the training loop: episodes of rollouts and updates, the league between episodes, checkpoints, evaluations and logs.

Everything that decides what the learner sees is counted (episodes, updates), never timed,
so a run replays exactly from its seed; the clock only decides when to stop (always between
episodes), when to save and when to evaluate, none of which changes what follows.

Within an episode the worker collects rollout r + 1 with the weights of update r - 1 while
the learner makes update r (see ``workers``); PPO's ratio is taken against the policy that
acted, so the lag of one update costs nothing but a slightly older behaviour policy. Between
episodes the pipeline empties: the first rollout of an episode uses the latest weights, and
that is where checkpoints are taken.
"""
import json
import math
import sys
import time
from pathlib import Path

import numpy as np
import torch

from ..policies.npz_policy import NpzPolicy
from . import checkpoint, opponents
from .evaluate import evaluate
from .league import League
from .logger import RunLog
from .ppo import Learner
from .rollout import engine_config
from .workers import LocalWorker, ProcessWorker, WorkerGroup, share, worker_seed

EVAL_SEED = 1_000_003
"""Evaluations kick off from this seed every time, so that successive ones are comparable."""
SPLIT = ("engine", "inference", "opponents", "other")


def make_workers(cfg, ray=None, notify=print):
    """The run's rollout workers as one: `cfg.workers` of them, Ray actors on the cluster
    at `ray` (an address, "auto") or else processes (``overlap``) or the driver itself."""
    count = cfg.workers
    if ray is not None:
        from .ray_workers import RayWorker

        def kind(part, seed, index):
            return RayWorker(part, seed, index, notify)
    else:
        def kind(part, seed, index):
            return (ProcessWorker if cfg.overlap else LocalWorker)(part, seed)
    made = []
    try:
        for index in range(count):
            made.append(kind(share(cfg, count), worker_seed(cfg.seed, index, count), index))
    except BaseException:
        for worker in made:
            worker.close()
        raise
    return made[0] if count == 1 else WorkerGroup(made)


class Trainer:
    """`ray`: None, or the address of the Ray cluster whose actors collect the rollouts
    ("auto": the one this machine belongs to); the learner stays here either way."""

    def __init__(self, cfg, out, resume=False, stream=None, ray=None):
        self.cfg, self.out, self.stream = cfg, Path(out), stream
        torch.set_num_threads(cfg.torch_threads)
        self.out.mkdir(parents=True, exist_ok=True)
        self.lock = checkpoint.lock(self.out)
        self.notes = open(self.out / "events.log", "a")
        self.leave_ray = lambda: None
        try:
            if ray is not None:
                from .ray_workers import connect

                self.leave_ray = connect(ray)
            self.worker = make_workers(cfg, ray, self.note)
        except BaseException:
            self._release()
            raise
        try:
            info = self.worker.info
            self.entries, self.pool_groups = info["entries"], info["pool_groups"]
            self.learner = Learner(cfg, info["features"], info["moves"])
            self.league = League(cfg.levels, cfg.pool, cfg.seed, cfg.level_share)
            self.progress = {"updates": 0, "episodes": 0, "ticks": 0, "seconds": 0.0,
                             "evaluations": 0}
            if resume:
                state = checkpoint.load(self.out)
                self.learner.load_state(state["learner"])
                self.worker.call("load_state", state["worker"])
                self.league.load_state(state["league"])
                self.progress = dict(state["progress"])
            (self.out / "config.json").write_text(json.dumps(cfg.to_dict(), indent=2) + "\n")
            self.worker.submit("set_weights", self.learner.weights())
            self.timing = self.worker.call("timing_now")   # the worker's totals, as last reported
            self.log = RunLog(self.out, cfg.levels, stream)
        except BaseException:
            self.worker.close()
            self._release()
            raise
        self.update_seconds = self.wait_seconds = 0.0

    # -- the loop ---------------------------------------------------------------------------

    def run(self):
        """Trains until the run's minutes or episodes are spent; returns the final evaluation."""
        cfg = self.cfg
        try:
            if self.progress["evaluations"] == 0:
                self._evaluate(cfg.eval_matches)      # where the curves start (not timed)
            start = time.perf_counter()
            before = self.progress["seconds"]
            last_save = last_eval = start
            while not self._finished():
                self._episode()
                now = time.perf_counter()
                self.progress["seconds"] = before + now - start
                if now - last_eval >= 60.0 * cfg.eval_minutes and not self._finished():
                    self._evaluate(cfg.eval_matches)
                    last_eval = time.perf_counter()
                if now - last_save >= 60.0 * cfg.checkpoint_minutes and not self._finished():
                    self.save()
                    last_save = time.perf_counter()
            self.save()
            return self._evaluate(cfg.final_eval_matches)
        finally:
            self.log.close()
            self.worker.close()
            self._release()

    def note(self, line):
        """A line for the run's events.log and the terminal: what happened to the workers."""
        stamped = f"{time.strftime('%Y-%m-%d %H:%M:%S')} {line}"
        self.notes.write(stamped + "\n")
        self.notes.flush()
        print(stamped, file=self.stream or sys.stderr, flush=True)

    def _release(self):
        self.leave_ray()
        self.notes.close()
        self.lock.close()

    def _finished(self):
        cfg, progress = self.cfg, self.progress
        if cfg.episodes and progress["episodes"] >= cfg.episodes:
            return True
        return bool(cfg.minutes) and progress["seconds"] >= 60.0 * cfg.minutes

    def _episode(self):
        cfg, worker, learner = self.cfg, self.worker, self.learner
        started = time.perf_counter()
        update_before, wait_before = self.update_seconds, self.wait_seconds
        timing_before = dict(self.timing)
        cpu_before = time.process_time()
        worker.submit("start_episode", self.league.draw(self.pool_groups))
        worker.submit("collect", cfg.rollout)
        rollouts = cfg.decisions_per_episode // cfg.rollout
        sums: dict[str, float] = {}
        shaped = np.zeros(self.entries)
        for r in range(rollouts):
            clock = time.perf_counter()
            if r == 0:
                worker.result()                       # start_episode's reply
            batch, results, self.timing = worker.result()
            if r + 1 < rollouts:
                worker.submit("collect", cfg.rollout)
            self.wait_seconds += time.perf_counter() - clock
            shaped += batch["rewards"].sum(axis=0)
            clock = time.perf_counter()
            for key, value in learner.update(batch).items():
                sums[key] = sums.get(key, 0.0) + value
            worker.submit("set_weights", learner.weights())
            if learner.updates % cfg.snapshot_every == 0:
                self.league.add_snapshot(f"snapshot-{learner.updates:06d}",
                                         checkpoint.policy_contents(learner.net, cfg))
            self.update_seconds += time.perf_counter() - clock
        self.league.record(results["matches"])
        elapsed = time.perf_counter() - started
        ticks = cfg.matches * cfg.episode_ticks
        self.progress["episodes"] += 1
        self.progress["updates"] = learner.updates
        self.progress["ticks"] += ticks
        row = {
            "minutes": (self.progress["seconds"] + elapsed) / 60.0,
            "ticks": self.progress["ticks"], "updates": learner.updates,
            "episodes": self.progress["episodes"],
            "ticks_per_s": ticks / elapsed,
            "decisions_per_s": self.entries * cfg.decisions_per_episode / elapsed,
            "return": float(np.mean(results["for"] - results["against"])),
            "shaped_return": float(shaped.mean()),
            "rating": self.league.learner[0],
            "update_s": self.update_seconds - update_before,
            "wait_s": self.wait_seconds - wait_before,
        }
        row |= {key: value / rollouts for key, value in sums.items()}
        row |= {f"{key}_s": self.timing[key] - timing_before[key] for key in SPLIT}
        # Processor time of each side: what the run would take with a core each to itself.
        row["worker_cpu_s"] = self.timing["cpu"] - timing_before["cpu"]
        row["driver_cpu_s"] = time.process_time() - cpu_before
        ratings = self.league.ratings()
        for name in cfg.levels:
            diffs = [mine - theirs for entry, mine, theirs in results["matches"] if entry == name]
            row[f"gd_{name}"] = float(np.mean(diffs)) if diffs else math.nan
            row[f"rating_{name}"] = ratings.get(name, math.nan)
        self.log.episode(row)

    # -- saving and evaluating ----------------------------------------------------------------

    def save(self):
        checkpoint.save(self.out, self.cfg, self.learner, self.worker.call("state"), self.league,
                        self.progress)

    def _evaluate(self, matches):
        cfg = self.cfg
        config = engine_config(cfg)
        contents = checkpoint.policy_contents(self.learner.net, cfg)
        results = {}
        for name in cfg.eval_opponents:
            result = evaluate(lambda: NpzPolicy.from_contents(config, *contents),
                              lambda name=name: opponents.make(name, config), config, matches,
                              EVAL_SEED)
            results[name] = result
            self.log.evaluation({
                "minutes": self.progress["seconds"] / 60.0, "ticks": self.progress["ticks"],
                "updates": self.learner.updates, "opponent": name, "matches": result.matches,
                "wins": result.wins, "draws": result.draws, "losses": result.losses,
                "goal_difference": result.goal_difference, "low": result.low,
                "high": result.high, "rating_difference": result.rating_difference})
        self.progress["evaluations"] += 1
        return results
