"""python/quorvel/train/league.py: the learner's opponents (fixed levels and past snapshots of itself) with their ratings.

Ratings are openskill's Plackett-Luce model (a Bayesian skill rating: a mean mu and an
uncertainty sigma per player). Every finished match of the learner against a league entry
updates both: a win, a draw or a loss by the match's score. The learner keeps one rating
that moves as it learns; a snapshot starts from the learner's rating when it was taken.

Each opponent is drawn first by kind, a fixed level with probability ``level_share`` and a
snapshot otherwise (a level while there is no snapshot yet), then within its kind by rating:
an entry weighs ``1 - p + FLOOR``, p the learner's predicted chance to beat it. The learner
thus mostly faces the opponents it does not beat yet, the snapshots about evenly (it beats
its past selves about half the time), and now and then every other entry: none is forgotten,
and a policy that stops beating the idle team gets to play it again. (Weighing by ``p (1 - p)``
instead, the closest matches, starves the strongest level once the learner trails it far.)
"""
import numpy as np
from openskill.models import PlackettLuce

FLOOR = 0.05


class League:
    def __init__(self, levels, pool_size, seed, level_share=0.5):
        self.model = PlackettLuce()
        self.level_share = float(level_share)
        self.rng = np.random.default_rng([int(seed), 17])
        self.pool_size = int(pool_size)
        start = self.model.rating()
        self.learner = [start.mu, start.sigma]
        # id -> {"kind": "level" | "snapshot", "rating": [mu, sigma], "games": n, "policy": ...}
        self.entries = {name: {"kind": "level", "rating": [start.mu, start.sigma], "games": 0,
                               "policy": name} for name in levels}

    def _rating(self, pair):
        return self.model.rating(mu=pair[0], sigma=pair[1])

    def add_snapshot(self, entry_id, contents):
        """Adds the learner as it is now (`contents`: the (meta, arrays) of its exported
        policy), dropping the oldest snapshot beyond the pool's size."""
        self.entries[entry_id] = {"kind": "snapshot", "rating": list(self.learner), "games": 0,
                                  "policy": contents}
        snapshots = [key for key, entry in self.entries.items() if entry["kind"] == "snapshot"]
        for key in snapshots[:max(0, len(snapshots) - self.pool_size)]:
            del self.entries[key]

    def win_chance(self, entry_id):
        """The learner's predicted chance to beat entry `entry_id`."""
        teams = [[self._rating(self.learner)], [self._rating(self.entries[entry_id]["rating"])]]
        return float(self.model.predict_win(teams)[0])

    def weights(self, kind):
        """The ids of the entries of `kind` and their chances to be drawn."""
        ids = [key for key, entry in self.entries.items() if entry["kind"] == kind]
        weights = np.array([1.0 - self.win_chance(key) + FLOOR for key in ids])
        return ids, weights / weights.sum()

    def draw(self, count):
        """`count` opponents as (id, policy) pairs."""
        kinds = {kind: self.weights(kind) for kind in ("level", "snapshot")}
        picks = []
        for _ in range(count):
            kind = "level" if self.rng.random() < self.level_share else "snapshot"
            if not kinds[kind][0]:
                kind = "snapshot" if kind == "level" else "level"
            ids, weights = kinds[kind]
            key = ids[self.rng.choice(len(ids), p=weights)]
            picks.append((key, self.entries[key]["policy"]))
        return picks

    def record(self, matches):
        """Updates the ratings from finished matches: (entry id, learner goals, its goals)."""
        for entry_id, mine, theirs in matches:
            entry = self.entries.get(entry_id)
            if entry is None:   # dropped from the pool while its matches were played
                continue
            ranks: list[float] = [0, 0] if mine == theirs else ([0, 1] if mine > theirs else [1, 0])
            [[learner], [other]] = self.model.rate(
                [[self._rating(self.learner)], [self._rating(entry["rating"])]], ranks=ranks)
            self.learner = [learner.mu, learner.sigma]
            entry["rating"] = [other.mu, other.sigma]
            entry["games"] += 1

    def ratings(self):
        """{"learner": mu, id: mu, ...}, for the logs."""
        return {"learner": self.learner[0]} | {key: e["rating"][0] for key, e in self.entries.items()}

    def state(self):
        return {"learner": list(self.learner), "entries": self.entries,
                "rng": self.rng.bit_generator.state}

    def load_state(self, state):
        self.rng.bit_generator.state = state["rng"]
        self.learner = list(state["learner"])
        self.entries = state["entries"]
