"""python/quorvel/train/logger.py: a run's progress: the live terminal line, TensorBoard event files and plain CSV files.

``progress.csv`` gets a row per episode, ``eval.csv`` a row per evaluated opponent; both
are appended to when a run resumes. TensorBoard gets the same numbers (``tensorboard
--logdir DIR/tb``) when the tensorboard package is installed. The terminal line is
rewritten in place on a terminal and absent otherwise.
"""
import csv
import sys
from pathlib import Path


class CsvLog:
    def __init__(self, path, columns):
        self.path, self.columns = Path(path), list(columns)
        fresh = not self.path.exists() or self.path.stat().st_size == 0
        self.file = open(self.path, "a", newline="")
        self.writer = csv.DictWriter(self.file, self.columns, extrasaction="ignore")
        if fresh:
            self.writer.writeheader()

    def write(self, row):
        self.writer.writerow({key: _cell(row.get(key, "")) for key in self.columns})
        self.file.flush()

    def close(self):
        self.file.close()


def _cell(value):
    return f"{value:.6g}" if isinstance(value, float) else value


class RunLog:
    PROGRESS = ["minutes", "ticks", "updates", "episodes", "ticks_per_s", "decisions_per_s",
                "return", "shaped_return", "rating", "policy", "value", "entropy",
                "kl", "clipped", "explained_variance", "engine_s", "inference_s",
                "opponents_s", "other_s", "update_s", "wait_s", "worker_cpu_s",
                "driver_cpu_s"]
    EVAL = ["minutes", "ticks", "updates", "opponent", "matches", "wins", "draws", "losses",
            "goal_difference", "low", "high", "rating_difference"]

    def __init__(self, out, levels, stream=None):
        out = Path(out)
        self.levels = list(levels)
        extra = [f"gd_{name}" for name in self.levels] + [f"rating_{name}" for name in self.levels]
        self.progress = CsvLog(out / "progress.csv", self.PROGRESS + extra)
        self.eval = CsvLog(out / "eval.csv", self.EVAL)
        self.stream = stream if stream is not None else sys.stderr
        self.live = hasattr(self.stream, "isatty") and self.stream.isatty()
        self.board = None
        try:
            from torch.utils.tensorboard import SummaryWriter
        except ImportError:
            pass
        else:
            self.board = SummaryWriter(str(out / "tb"))

    def episode(self, row):
        self.progress.write(row)
        if self.board is not None:
            step = int(row["ticks"])
            for key, value in row.items():
                if key not in ("ticks", "minutes") and isinstance(value, (int, float)) and value == value:
                    self.board.add_scalar(f"train/{key}", value, step)
        if self.live:
            gd = "  ".join(f"{name} {value:+.2f}" for name in self.levels
                           if (value := row.get(f"gd_{name}")) == value)   # NaN: not played
            line = (f"\r{row['minutes']:5.1f} min  {row['ticks_per_s']:9,.0f} ticks/s  "
                    f"{row['decisions_per_s']:7,.0f} dec/s  return {row['return']:+.2f}  "
                    f"gd {gd or '-'}  rating {row['rating']:.1f}")
            self.stream.write(line[:200].ljust(120))
            self.stream.flush()

    def evaluation(self, row):
        self.eval.write(row)
        if self.board is not None:
            self.board.add_scalar(f"eval/gd_{row['opponent']}", row["goal_difference"],
                                  int(row["ticks"]))
        if self.live:
            self.stream.write(f"\r{'':120}\r  eval vs {row['opponent']}: "
                              f"{row['goal_difference']:+.2f} [{row['low']:+.2f}, "
                              f"{row['high']:+.2f}] over {row['matches']} matches\n")
            self.stream.flush()

    def close(self):
        if self.live:
            self.stream.write("\n")
        self.progress.close()
        self.eval.close()
        if self.board is not None:
            self.board.close()
