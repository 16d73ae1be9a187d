# bench/timing.py: what the Python benchmarks share: the command pattern, timed loops, shuffled repetitions, JSON.
"""Pieces of bench/py_bench.py, bench/batch_bench.py and bench/rl_bench.py.

Each benchmark times its cases in repetitions, interleaved (and with --shuffle in a
new random order each time), so that a burst of load on a shared machine spreads over
all of them; run.py runs each in a child process and reads its samples as JSON.
"""
import argparse
import json
import math
import random
import statistics
import subprocess
import sys
import time

PATTERN_TICKS = 120  # one lap of the circle, as in the C++ benchmarks
SEED = 7


def direction_pattern(shape):
    """One float32 array of shape `shape` + (4,) per tick of the pattern: everyone runs
    at full speed in a direction that turns once per lap; no kicks."""
    import numpy as np

    arrays = []
    for t in range(PATTERN_TICKS):
        angle = 2.0 * math.pi * t / PATTERN_TICKS
        a = np.zeros(tuple(shape) + (4,), np.float32)
        a[..., 0], a[..., 1] = math.cos(angle), math.sin(angle)
        arrays.append(a)
    return arrays


def step_loop(target, schedule):
    """ns taken by target.step on each item of schedule in turn."""
    step = target.step
    start = time.perf_counter_ns()
    for item in schedule:
        step(item)
    return time.perf_counter_ns() - start


class Case:
    """One timed case: loop(target, schedule) returns the ns it took, and each repetition
    adds the ns per unit: per item of the schedule, divided by what one item steps."""

    def __init__(self, name, target, loop, schedule, per_item=1):
        self.name, self.target, self.loop, self.schedule = name, target, loop, schedule
        self.per_item = per_item
        self.samples = []

    def warm_up(self, ticks):
        """Plays `ticks` items untimed, cycling the first lap of the schedule."""
        lap = self.schedule[:PATTERN_TICKS]
        self.loop(self.target, (lap * (ticks // len(lap) + 1))[:ticks])

    def repeat(self):
        elapsed = self.loop(self.target, self.schedule)
        self.samples.append(elapsed / (len(self.schedule) * self.per_item))


def run_cases(cases, repetitions, shuffle):
    """Repeats every case, interleaved; returns {name: [sample of each repetition]}
    in the cases' order."""
    order = list(cases)
    for _ in range(repetitions):
        if shuffle:
            random.shuffle(order)
        for case in order:
            case.repeat()
    return {case.name: case.samples for case in cases}


def parser(doc, json_help, repetitions=9):
    """The options every benchmark takes: --repetitions, --shuffle, --json."""
    p = argparse.ArgumentParser(description=doc.splitlines()[0])
    p.add_argument("--repetitions", type=int, default=repetitions)
    p.add_argument("--shuffle", action="store_true",
                   help="run the cases in a new random order in each repetition")
    p.add_argument("--json", metavar="PATH", help=json_help + "; - for stdout")
    return p


def write_json(samples, path):
    """Writes samples to path, or one line to stdout for '-'."""
    if path == "-":
        json.dump(samples, sys.stdout)
        print()
    else:
        with open(path, "w") as out:
            json.dump(samples, out, indent=2)


def run_child_round(script, samples, *options):
    """One round for bench/run.py: three shuffled repetitions of each case of `script`,
    in a child process that uses the installed package; adds their samples."""
    out = subprocess.run([sys.executable, str(script), "--repetitions=3", "--shuffle", *options,
                          "--json", "-"], check=True, capture_output=True, text=True).stdout
    for name, values in json.loads(out).items():
        samples[name].extend(values)


def ratio_over_rounds(rounds, num, den):
    """The median over rounds of each round's ratio of the two cases' medians: both met
    the same spell of a shared machine's load."""
    return statistics.median(statistics.median(r[num]) / statistics.median(r[den]) for r in rounds)


def verdict(met):
    return "met" if met else "MISSED"
