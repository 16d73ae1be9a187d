"""python/quorvel/train/rollout.py: a rollout worker: one BatchEngine, its opponents and a copy of the policy, collecting the learner's decisions.

The worker owns everything a rollout needs and nothing of learning: the driver hands it
weights (``set_weights``), the opponents of an episode (``start_episode``) and asks for
rollouts (``collect``); what comes back are plain numpy arrays, so that a worker can live in
another process or on another machine.

Matches are split in equal groups. In the first ``round(groups * selfplay)`` groups both
teams are the learner (two entries a match); in the others the learner plays team A in even
matches and team B in odd ones, against the group's opponent of the episode. Every match
starts and ends together (one engine clock), so an episode is one match length, opponents
change only between matches, and a checkpoint taken between episodes holds the whole state.
"""
import time
from typing import Any

import numpy as np
import torch

from .. import BatchEngine, EngineConfig
from ..core.action_choices import ActionChoices
from ..core.egocentric import Egocentric
from ..core.rewards import Shaped, ShapedReward
from ..policies.npz_policy import NpzPolicy, sample
from . import opponents
from .network import PolicyNet


def engine_config(cfg):
    return EngineConfig(players_per_team=cfg.players, max_ticks=cfg.episode_ticks)


def episode_seeds(seed, episode, matches):
    """The kick-off seeds (uint64) of every match of episode `episode`."""
    return np.random.SeedSequence([seed, 7, episode]).generate_state(matches, np.uint64)


class RolloutWorker:
    def __init__(self, cfg, seed):
        self.cfg, self.seed = cfg, int(seed)
        self.config = engine_config(cfg)
        self.engine = BatchEngine(self.config, cfg.matches, threads=cfg.engine_threads,
                                  autoreset="disabled", copy=False)
        self.egocentric = Egocentric(self.config)
        self.choices = ActionChoices(self.config, cfg.directions)
        self.shaping = ShapedReward(self.config, Shaped(cfg.shaping_ball, cfg.shaping_near, cfg.gamma))
        self.net = PolicyNet(self.egocentric.features, cfg.hidden, self.choices.move_count)
        self.rng = np.random.default_rng([self.seed, 11])
        self.episode = 0            # episodes started
        self.decision = 0           # decisions played in the current episode
        per = cfg.matches // cfg.groups
        self_groups = round(cfg.groups * cfg.selfplay)
        shared = np.arange(self_groups * per)
        pool = np.arange(self_groups * per, cfg.matches)
        self.pool_groups = [pool[i:i + per] for i in range(0, len(pool), per)]
        self.entry_match = np.concatenate([np.repeat(shared, 2), pool])
        self.entry_side = np.concatenate([np.tile([0, 1], len(shared)), pool % 2])
        self.entries = len(self.entry_match)
        self.pool_entries = np.arange(2 * len(shared), self.entries)
        self.no_end = np.zeros(self.entries, bool)   # matches end only by the clock (truncated)
        self.actions = np.zeros((cfg.matches, 2, cfg.players, 4), np.float32)
        self.obs: Any = None  # the batch's observations, once an episode starts
        self.opponents = []     # (id, matches, sides) per opponent of the episode
        self.timing = dict.fromkeys(("engine", "inference", "opponents", "other"), 0.0)

    # -- driver's side ---------------------------------------------------------------------

    def describe(self):
        """What the driver needs to know of this worker's matches and network."""
        return {"entries": self.entries, "pool_groups": len(self.pool_groups),
                "features": self.egocentric.features, "moves": self.choices.move_count}

    def timing_now(self):
        """Seconds spent so far on each part of a rollout, and the process's processor time."""
        return dict(self.timing, cpu=time.process_time())

    def set_weights(self, weights):
        """Loads the policy's weights (name -> numpy array or tensor)."""
        self.net.load_state_dict({name: torch.tensor(np.asarray(value)) for name, value in weights.items()})

    def state(self):
        """The worker's state between episodes (where nothing of the engine is needed)."""
        if self.decision % self.cfg.decisions_per_episode:
            raise ValueError("a worker's state is taken only between episodes")
        return {"rng": self.rng.bit_generator.state, "episode": self.episode}

    def load_state(self, state):
        self.rng.bit_generator.state = state["rng"]
        self.episode = int(state["episode"])
        self.decision, self.obs = 0, None

    def start_episode(self, assignments):
        """Resets every match with the next episode's seeds; `assignments` gives each pool
        group its opponent as (id, opponent): a name or a path for ``opponents.make``, or
        (meta, arrays) of a snapshot's exported policy."""
        if len(assignments) != len(self.pool_groups):
            raise ValueError(f"expected {len(self.pool_groups)} opponents, got {len(assignments)}")
        # One policy (and one call a tick) for all the groups that play the same opponent.
        playing: dict[Any, tuple[Any, list[Any]]] = {}  # id -> (opponent, its groups of matches)
        for (entry_id, opponent), matches in zip(assignments, self.pool_groups):
            if entry_id not in playing:
                playing[entry_id] = (opponent, [])
            playing[entry_id][1].append(matches)
        # Snapshots choose every `repeat` ticks with the learner, and the commands of all the
        # teams a network plays are made in one call a tick; levels are called each tick.
        self.opponents, self.snapshots, self.levels = [], [], []
        net_match, net_side, start = [self.entry_match], [self.entry_side], self.entries
        for entry_id, (opponent, groups) in playing.items():
            matches = np.concatenate(groups)
            sides = 1 - matches % 2
            self.opponents.append((entry_id, matches, sides))
            if isinstance(opponent, tuple):
                policy = NpzPolicy.from_contents(self.config, *opponent)
                self.snapshots.append((policy, slice(start, start + len(matches))))
                net_match.append(matches)
                net_side.append(sides)
                start += len(matches)
            else:
                self.levels.append((opponents.make(opponent, self.config), matches, sides))
        self.net_match, self.net_side = np.concatenate(net_match), np.concatenate(net_side)
        self.held_move = np.zeros((start, self.cfg.players), np.int64)
        self.held_kick = np.zeros((start, self.cfg.players), np.int64)
        self.net_out = np.zeros((start, self.cfg.players, 4), np.float32)
        self.actions[...] = 0.0
        self.obs = self.engine.reset(seeds=episode_seeds(self.seed, self.episode, self.cfg.matches))
        self.episode += 1
        self.decision = 0

    def collect(self, steps):
        """Plays `steps` decisions; returns the rollout's arrays and, when the episode
        ended with it, the results of its matches."""
        cfg, e, p = self.cfg, self.entries, self.cfg.players
        if self.obs is None or self.decision + steps > cfg.decisions_per_episode:
            raise ValueError("collect must stay within an episode started by start_episode")
        batch = {
            "obs": np.empty((steps, e, p, self.egocentric.features), np.float32),
            "move": np.empty((steps, e, p), np.int64),
            "kick": np.empty((steps, e, p), np.int64),
            "logp": np.empty((steps, e, p), np.float32),
            "values": np.empty((steps, e, p), np.float32),
            "rewards": np.empty((steps, e), np.float32),
            "goals": np.empty((steps, e), np.float32),
        }
        clock = time.perf_counter
        for t in range(steps):
            started = clock()
            team = self.obs[self.entry_match, self.entry_side]
            ego = self.egocentric(team)
            batch["obs"][t] = ego
            inferred = clock()
            self.timing["other"] += inferred - started
            move, kick, logp, value = self._decide(ego.reshape(e * p, -1))
            batch["move"][t], batch["kick"][t] = move.reshape(e, p), kick.reshape(e, p)
            batch["logp"][t], batch["values"][t] = logp.reshape(e, p), value.reshape(e, p)
            self.held_move[:e], self.held_kick[:e] = batch["move"][t], batch["kick"][t]
            chosen = clock()
            self.timing["inference"] += chosen - inferred
            for policy, part in self.snapshots:
                self.held_move[part], self.held_kick[part] = policy.choose(
                    self.obs[self.net_match[part], self.net_side[part]], self.rng)
            self.timing["opponents"] += clock() - chosen
            goals = np.zeros(e, np.float32)
            for _ in range(cfg.repeat):
                goals += self._tick()
            self.decision += 1
            batch["goals"][t] = goals
            if cfg.shaping:
                after = self.obs[self.entry_match, self.entry_side]
                goals = self.shaping(team, after, goals, self.no_end)
            batch["rewards"][t] = goals
        started = clock()
        ego = self.egocentric(self.obs[self.entry_match, self.entry_side]).reshape(e * p, -1)
        with torch.no_grad():
            batch["last_values"] = self.net(torch.from_numpy(ego))[2].numpy().reshape(e, p)
        self.timing["inference"] += clock() - started
        ended = self.decision == cfg.decisions_per_episode
        batch["ended"] = np.zeros(steps, bool)
        batch["ended"][-1] = ended
        return batch, (self._results() if ended else None), self.timing_now()

    # -- one decision, one tick ------------------------------------------------------------

    def _decide(self, rows):
        with torch.no_grad():
            move_logits, kick_logits, value = self.net(torch.from_numpy(rows))
        move_logits, kick_logits = move_logits.numpy(), kick_logits.numpy()
        uniforms = self.rng.random((2, len(rows)))
        (move, move_logp), (kick, kick_logp) = sample(move_logits, uniforms[0]), sample(kick_logits, uniforms[1])
        return move, kick, (move_logp + kick_logp).astype(np.float32), value.numpy()

    def _tick(self):
        clock = time.perf_counter
        started = clock()
        team = self.obs[self.net_match, self.net_side]
        self.choices(self.held_move, self.held_kick, team, self.net_out)
        self.actions[self.net_match, self.net_side] = self.net_out
        split = clock()
        for policy, matches, sides in self.levels:
            out = np.zeros((len(matches), self.cfg.players, 4), np.float32)
            policy(self.obs[matches, sides], out, self.rng)
            self.actions[matches, sides] = out
        stepped = clock()
        self.obs, rewards, _, _, info = self.engine.step(self.actions)
        done = clock()
        self.info = info
        goals = rewards[self.entry_match, self.entry_side]
        self.timing["other"] += split - started + clock() - done
        self.timing["opponents"] += stepped - split
        self.timing["engine"] += done - stepped
        return goals

    def _results(self):
        """Per entry its goals for and against; per pool match (opponent id, learner goals,
        opponent goals)."""
        score = self.info["score"].astype(np.int64)
        own = score[self.entry_match, self.entry_side]
        other = score[self.entry_match, 1 - self.entry_side]
        matches = []
        for entry_id, group, sides in self.opponents:
            for m, side in zip(group, sides):
                matches.append((entry_id, int(score[m, 1 - side]), int(score[m, side])))
        return {"for": own, "against": other,
                "pool": self.pool_entries, "matches": matches}
