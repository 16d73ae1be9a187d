"""python/quorvel/train/trainer.py: the training loop: episodes of rollouts and updates, the league between episodes, checkpoints, evaluations and logs.

Everything that decides what the learner sees is counted (episodes, updates), never timed,
so a run replays exactly from its seed; the clock only decides when to stop (always between
episodes), when to save and when to evaluate, none of which changes what follows.
"""
import json
import math
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
from .rollout import RolloutWorker, engine_config

EVAL_SEED = 1_000_003
"""Evaluations kick off from this seed every time, so that successive ones are comparable."""


class Trainer:
    def __init__(self, cfg, out, resume=False, stream=None):
        self.cfg, self.out = cfg, Path(out)
        torch.set_num_threads(cfg.torch_threads)
        self.out.mkdir(parents=True, exist_ok=True)
        self.worker = RolloutWorker(cfg, cfg.seed)
        self.learner = Learner(cfg, self.worker.egocentric.features, self.worker.choices.move_count)
        self.league = League(cfg.levels, cfg.pool, cfg.seed)
        self.progress = {"updates": 0, "episodes": 0, "ticks": 0, "seconds": 0.0,
                         "evaluations": 0}
        if resume:
            state = checkpoint.load(self.out)
            checkpoint.restore(state, self.learner, self.worker, self.league)
            self.progress = dict(state["progress"])
        (self.out / "config.json").write_text(json.dumps(cfg.to_dict(), indent=2) + "\n")
        self.worker.set_weights(self.learner.weights())
        self.log = RunLog(self.out, cfg.levels, stream)
        self.update_seconds = 0.0

    # -- the loop ---------------------------------------------------------------------------

    def run(self):
        """Trains until the run's minutes or episodes are spent; returns the final evaluation."""
        cfg = self.cfg
        start = time.perf_counter()
        before = self.progress["seconds"]
        last_save = last_eval = start
        try:
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

    def _finished(self):
        cfg, progress = self.cfg, self.progress
        if cfg.episodes and progress["episodes"] >= cfg.episodes:
            return True
        return bool(cfg.minutes) and progress["seconds"] >= 60.0 * cfg.minutes

    def _episode(self):
        cfg, worker, learner = self.cfg, self.worker, self.learner
        started = time.perf_counter()
        timing_before = dict(worker.timing)
        update_before = self.update_seconds
        worker.start_episode(self.league.draw(len(worker.pool_groups)))
        sums = {}
        shaped = np.zeros(worker.entries)
        for _ in range(cfg.decisions_per_episode // cfg.rollout):
            batch, results = worker.collect(cfg.rollout)
            shaped += batch["rewards"].sum(axis=0)
            clock = time.perf_counter()
            stats = learner.update(batch)
            worker.set_weights(learner.weights())
            self.update_seconds += time.perf_counter() - clock
            for key, value in stats.items():
                sums[key] = sums.get(key, 0.0) + value
            if learner.updates % cfg.snapshot_every == 0:
                self.league.add_snapshot(f"snapshot-{learner.updates:06d}",
                                         checkpoint.policy_contents(learner.net, cfg))
        self.league.record(results["matches"])
        elapsed = time.perf_counter() - started
        ticks = cfg.matches * cfg.episode_ticks
        self.progress["episodes"] += 1
        self.progress["updates"] = learner.updates
        self.progress["ticks"] += ticks
        updates = cfg.decisions_per_episode // cfg.rollout
        row = {
            "minutes": (self.progress["seconds"] + elapsed) / 60.0,
            "ticks": self.progress["ticks"], "updates": learner.updates,
            "episodes": self.progress["episodes"],
            "ticks_per_s": ticks / elapsed,
            "decisions_per_s": worker.entries * cfg.decisions_per_episode / elapsed,
            "return": float(np.mean(results["for"] - results["against"])),
            "shaped_return": float(shaped.mean()),
            "rating": self.league.learner[0],
            "policy_loss": sums["policy"] / updates, "value_loss": sums["value"] / updates,
            "entropy": sums["entropy"] / updates, "kl": sums["kl"] / updates,
            "clipped": sums["clipped"] / updates,
            "explained_variance": sums["explained_variance"] / updates,
            "update_s": self.update_seconds - update_before,
        }
        for key in ("engine", "inference", "opponents", "other"):
            row[f"{key}_s"] = worker.timing[key] - timing_before[key]
        ratings = self.league.ratings()
        for name in cfg.levels:
            diffs = [mine - theirs for entry, mine, theirs in results["matches"] if entry == name]
            row[f"gd_{name}"] = float(np.mean(diffs)) if diffs else math.nan
            row[f"rating_{name}"] = ratings.get(name, math.nan)
        self.log.episode(row)
        self.last_row = row

    # -- saving and evaluating ----------------------------------------------------------------

    def save(self):
        checkpoint.save(self.out, self.cfg, self.learner, self.worker, self.league, self.progress)

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
