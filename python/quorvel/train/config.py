"""python/quorvel/train/config.py: every setting of `quorvel train` in one dataclass, with its default and why.

Settings come from the defaults below, then a config file (TOML or JSON, a flat table of
these names), then ``--set name=value`` on the command line, each overriding the one before.
"""
import dataclasses
import json
import math
import tomllib
from dataclasses import dataclass, field, fields
from pathlib import Path


@dataclass
class TrainConfig:
    # Run
    seed: int = field(default=0, metadata={"doc": "seeds the network, the engine, the "
                      "opponents and every draw: the same seed replays the same run"})
    minutes: float = field(default=15.0, metadata={"doc": "training time of the whole run "
                           "(a resumed run stops when its total reaches it); 0: no limit"})
    episodes: int = field(default=0, metadata={"doc": "stop after this many episodes "
                          "(all matches play in step, so an episode is one match length); 0: no limit"})
    # Matches
    matches: int = field(default=256, metadata={"doc": "matches stepped together on one engine"})
    players: int = field(default=3, metadata={"doc": "players a side"})
    episode_ticks: int = field(default=900, metadata={"doc": "match length in ticks (30 s)"})
    repeat: int = field(default=6, metadata={"doc": "action repeat: ticks each decision is held"})
    directions: int = field(default=8, metadata={"doc": "move directions besides standing still"})
    engine_threads: int = field(default=1, metadata={"doc": "BatchEngine worker threads"})
    overlap: bool = field(default=True, metadata={"doc": "collect rollouts in a worker process "
                          "while the learner updates (the same run either way, on two cores)"})
    workers: int = field(default=2, metadata={"doc": "rollout workers, each playing its share "
                         "of the matches (Ray actors with --ray); 2 ran 1.24 x the ticks of 1 on "
                         "a 2-core machine; each count plays its own run"})
    torch_threads: int = field(default=1, metadata={"doc": "torch intra-op threads (1 measured "
                               "fastest on a loaded 2-core machine)"})
    # Network
    hidden: tuple[int, ...] = field(default=(64, 64), metadata={"doc": "hidden layer widths (tanh)"})
    # PPO
    rollout: int = field(default=30, metadata={"doc": "decisions per match between updates; "
                         "must divide episode_ticks / repeat"})
    epochs: int = field(default=2, metadata={"doc": "passes over each rollout"})
    minibatches: int = field(default=16, metadata={"doc": "minibatches per pass"})
    lr: float = field(default=1e-3, metadata={"doc": "Adam learning rate"})
    gamma: float = field(default=0.99, metadata={"doc": "discount per decision"})
    gae_lambda: float = field(default=0.95, metadata={"doc": "GAE's lambda"})
    clip: float = field(default=0.2, metadata={"doc": "PPO's probability ratio clip"})
    value_coef: float = field(default=0.5, metadata={"doc": "value loss weight"})
    entropy_coef: float = field(default=0.01, metadata={"doc": "entropy bonus weight"})
    max_grad_norm: float = field(default=0.5, metadata={"doc": "gradient norm clip"})
    # Reward
    shaping: bool = field(default=True, metadata={"doc": "add potential-based shaping to the "
                          "goal reward (evaluation always counts goals only)"})
    shaping_ball: float = field(default=0.1, metadata={"doc": "potential per half-length of "
                                "ball progress towards the opponents' goal"})
    shaping_near: float = field(default=0.05, metadata={"doc": "potential lost per half-length "
                                "between the ball and the team's nearest player"})
    # League
    groups: int = field(default=16, metadata={"doc": "match groups; each plays one opponent "
                        "for a whole episode"})
    selfplay: float = field(default=0.25, metadata={"doc": "share of groups where the learner "
                            "plays its current self (both teams learn)"})
    level_share: float = field(default=0.5, metadata={"doc": "share of the other groups "
                               "that play a fixed level (the rest play snapshots)"})
    levels: tuple[str, ...] = field(default=("idle", "random", "scripted:easy", "scripted:medium",
                                            "scripted:hard"), metadata={"doc": "fixed "
                          "opponents in the league beside the snapshots"})
    snapshot_every: int = field(default=10, metadata={"doc": "updates between snapshots "
                                "of the learner added to the league"})
    pool: int = field(default=12, metadata={"doc": "most snapshots kept (oldest dropped)"})
    # Reports
    eval_minutes: float = field(default=2.0, metadata={"doc": "minutes between evaluations"})
    eval_matches: int = field(default=100, metadata={"doc": "matches per evaluated opponent"})
    final_eval_matches: int = field(default=200, metadata={"doc": "matches per opponent in "
                                    "the evaluation at the end of the run"})
    eval_opponents: tuple[str, ...] = field(default=("scripted", "scripted:hard", "idle"), metadata={"doc": "opponents "
                                  "of the periodic evaluation"})
    checkpoint_minutes: float = field(default=1.0, metadata={"doc": "minutes between checkpoints"})

    @property
    def decisions_per_episode(self):
        return self.episode_ticks // self.repeat

    def validate(self):
        """ValueError naming the first setting out of range, or the pair that disagrees."""
        positive = ["matches", "players", "episode_ticks", "repeat", "directions",
                    "engine_threads", "workers", "torch_threads", "rollout", "epochs", "minibatches",
                    "groups", "snapshot_every", "pool", "eval_matches", "final_eval_matches"]
        for name in positive:
            if getattr(self, name) < 1:
                raise ValueError(f"{name} must be at least 1, not {getattr(self, name)}")
        for name in ("minutes", "episodes", "eval_minutes", "checkpoint_minutes",
                     "shaping_ball", "shaping_near", "value_coef", "entropy_coef"):
            value = getattr(self, name)
            if not (value >= 0 and math.isfinite(value)):
                raise ValueError(f"{name} must be a finite number of at least 0, not {value}")
        for name in ("lr", "clip", "max_grad_norm"):
            value = getattr(self, name)
            if not (value > 0 and math.isfinite(value)):
                raise ValueError(f"{name} must be a finite number above 0, not {value}")
        for name in ("gamma", "gae_lambda", "selfplay", "level_share"):
            if not 0.0 <= getattr(self, name) <= 1.0:
                raise ValueError(f"{name} must lie in [0, 1], not {getattr(self, name)}")
        if not self.hidden or any(width < 1 for width in self.hidden):
            raise ValueError(f"hidden must list one or more widths of at least 1, not {self.hidden}")
        if self.episode_ticks % self.repeat:
            raise ValueError(f"episode_ticks ({self.episode_ticks}) must be a multiple of "
                             f"repeat ({self.repeat})")
        if self.decisions_per_episode % self.rollout:
            raise ValueError(f"rollout ({self.rollout}) must divide the decisions of an "
                             f"episode (episode_ticks / repeat = {self.decisions_per_episode})")
        if self.matches % self.groups:
            raise ValueError(f"matches ({self.matches}) must be a multiple of groups ({self.groups})")
        if self.matches // self.groups % 2:
            raise ValueError("each group must hold an even number of matches (the learner "
                             "plays either side equally often)")
        if not self.levels and round(self.groups * self.selfplay) < self.groups:
            raise ValueError("levels must name at least one fixed opponent unless every group "
                             "plays self-play")
        if self.groups % self.workers:
            raise ValueError(f"groups ({self.groups}) must be a multiple of workers "
                             f"({self.workers}): each worker plays whole groups")
        return self

    def to_dict(self):
        return {f.name: list(v) if isinstance(v := getattr(self, f.name), tuple) else v
                for f in fields(self)}

    @classmethod
    def from_dict(cls, values):
        """A configuration from plain values (a file's table or a saved run's); unknown
        names and values of the wrong type are ValueErrors."""
        known = {f.name: f for f in fields(cls)}
        kwargs = {}
        for name, value in values.items():
            if name not in known:
                raise ValueError(f"unknown setting {name!r}")
            kwargs[name] = _coerce(known[name], value)
        return cls(**kwargs)

    def replace(self, **changes):
        return dataclasses.replace(self, **changes)


def _coerce(setting, value):
    """`value` (from a file or a command line string) as the type of `setting` (a TrainConfig field)."""
    default = setting.default
    name = setting.name
    if isinstance(default, tuple):
        items = value.split(",") if isinstance(value, str) else value
        if not isinstance(items, (list, tuple)):
            raise ValueError(f"{name} must be a list, not {value!r}")
        kind = type(default[0]) if default else str
        items = [item.strip() if isinstance(item, str) else item for item in items if item != ""]
        return tuple(_scalar(name, kind, item) for item in items)
    return _scalar(name, type(default), value)


def _scalar(name, kind, value):
    if kind is bool:
        if isinstance(value, bool):
            return value
        if isinstance(value, str) and value.lower() in ("1", "true", "yes", "on", "0", "false",
                                                        "no", "off"):
            return value.lower() in ("1", "true", "yes", "on")
        raise ValueError(f"{name} must be true or false, not {value!r}")
    if kind is int:
        if isinstance(value, bool):
            raise ValueError(f"{name} must be an integer, not {value!r}")
        try:
            if isinstance(value, float) and not value.is_integer():
                raise ValueError
            return int(value)
        except (TypeError, ValueError):
            raise ValueError(f"{name} must be an integer, not {value!r}") from None
    if kind is float:
        if isinstance(value, bool):
            raise ValueError(f"{name} must be a number, not {value!r}")
        try:
            return float(value)
        except (TypeError, ValueError):
            raise ValueError(f"{name} must be a number, not {value!r}") from None
    if not isinstance(value, str):
        raise ValueError(f"{name} must be a string, not {value!r}")
    return value


def read_file(path):
    """The table of a TOML (.toml) or JSON file of settings; ValueError when unreadable."""
    path = Path(path)
    try:
        data = path.read_bytes()
    except OSError as error:
        raise ValueError(f"cannot read config file {str(path)!r}: {error.strerror}") from None
    if len(data) > 1 << 20:
        raise ValueError(f"config file {str(path)!r} is over 1 MiB")
    try:
        if path.suffix == ".json":
            table = json.loads(data)
        else:
            table = tomllib.loads(data.decode("utf-8"))
    except (ValueError, UnicodeDecodeError) as error:
        raise ValueError(f"config file {str(path)!r}: {error}") from None
    if not isinstance(table, dict):
        raise ValueError(f"config file {str(path)!r} must hold a table of settings")
    return table


def parse_assignments(assignments):
    """``["name=value", ...]`` as a dict of strings; ValueError for one without '='."""
    table = {}
    for item in assignments:
        name, sep, value = item.partition("=")
        if not sep or not name.strip():
            raise ValueError(f"--set expects name=value, not {item!r}")
        table[name.strip()] = value.strip()
    return table


def make_config(file=None, assignments=()):
    """Defaults, then the file's settings, then the assignments; validated."""
    table = read_file(file) if file is not None else {}
    table.update(parse_assignments(assignments))
    return TrainConfig.from_dict(table).validate()


def describe_settings():
    """Lines 'name = default  # doc' for every setting (the command's --help epilog)."""
    return [f"{f.name} = {f.default!r}: {f.metadata.get('doc', '')}" for f in fields(TrainConfig)]
