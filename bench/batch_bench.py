# bench/batch_bench.py: the batched engine's benchmarks: a match-tick on one and two threads, and memory per match.
"""Times quorvel.BatchEngine from Python with perf_counter_ns loops.

Cases (default configuration):
  batch_step_1t  step() of 256 matches on one thread, fresh actions array in and
                 every output out (copy=True), as ns per match-tick
  batch_step_2t  the same on two threads
  batch_memory   resident memory per match of a batch of 4096 matches, in KiB
                 (a child process builds, resets and steps it; its growth in
                 resident set over an interpreter with numpy and quorvel loaded)

The actions replay py_bench's command pattern (everyone runs at full speed in a
direction that turns once per 120 ticks, no kicks), so that batch_step_1t and
engine_step time the same kind of match. The first laps after a kick-off cost
half as much again as the rest (players bunched, more contacts), and engine_step
spends all but a few percent of its ticks past them, so the batch plays
WARMUP_TICKS untimed first: a few seconds' worth, since in a fresh process the first
repetitions also ran two to three times slower than the later ones (its new
memory settling). Repetitions of the two step cases alternate. bench/run.py
also shows batch_native, the same 256 matches stepped from C++ (the quorvel_bench
binary), so that batch_step_1t / batch_native is what the Python call adds.
"""
import argparse
import statistics
import subprocess
import sys

import timing
from timing import SEED, verdict

# numpy and quorvel are imported where they are used, so that bench/run.py can
# import this file for its round and report functions without loading either.

MATCHES = 256
MEMORY_MATCHES = 4096
WARMUP_TICKS = 1200
STEP_CASES = {"batch_step_1t": 1, "batch_step_2t": 2}

# batch_step_1t / engine_step at most; batch_step_1t / batch_step_2t at least
MAX_COST_VS_ENGINE = 1.10
MIN_SPEEDUP_2T = 1.8
MAX_KIB_PER_MATCH = 128


def action_pattern(matches):
    """One (matches, 2, 3, 4) array per tick of the pattern."""
    return timing.direction_pattern((matches, 2, 3))


def step_case(name, threads, laps):
    import quorvel

    batch = quorvel.BatchEngine(quorvel.EngineConfig(), MATCHES, seed=SEED, threads=threads)
    batch.reset()
    case = timing.Case(name, batch, timing.step_loop, action_pattern(MATCHES) * laps, MATCHES)
    case.warm_up(WARMUP_TICKS)
    return case


def resident_kib():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * 4096 / 1024


def memory_child():
    """Prints the resident growth per match of a stepped batch of MEMORY_MATCHES."""
    import quorvel

    action_pattern(1)  # numpy's own pages count before the batch's
    before = resident_kib()
    batch = quorvel.BatchEngine(quorvel.EngineConfig(), MEMORY_MATCHES, seed=SEED, threads=1)
    batch.reset()
    for actions in action_pattern(MEMORY_MATCHES)[:30]:
        batch.step(actions)
    print((resident_kib() - before) / MEMORY_MATCHES)


def memory_per_match():
    out = subprocess.run([sys.executable, __file__, "--memory-child"], check=True,
                         capture_output=True, text=True).stdout
    return float(out)


def run_round(samples):
    """One round for bench/run.py: three shuffled repetitions of each step case."""
    timing.run_child_round(__file__, samples)


def json_fields(ns, memory_kib):
    """The batch's entries of bench/run.py's JSON output."""
    fields = {name + "_ns": round(ns[name], 1) for name in STEP_CASES}
    fields["batch_memory_kib_per_match"] = round(memory_kib, 1)
    return fields


def run(samples, repetitions=3, laps=1, shuffle=True):
    """Adds each repetition's ns per match-tick of each step case to samples."""
    cases = [step_case(name, threads, laps) for name, threads in STEP_CASES.items()]
    for name, values in timing.run_cases(cases, repetitions, shuffle).items():
        samples[name].extend(values)


def report_lines(ns, rounds, fastest, memory_kib):
    """The batch's lines of bench/run.py's report: its cases, then its targets."""
    lines = ["", f"{'batch case':<18}{'ns/match-tick':>14}{'match-ticks/s':>15}"]
    for name in STEP_CASES:
        lines.append(f"{name:<18}{ns[name]:14,.0f}{1e9 / ns[name]:15,.0f}")
    lines.append(f"{'batch_memory':<18}{memory_kib:11,.1f} KiB per match at {MEMORY_MATCHES} matches"
                 f"   target <= {MAX_KIB_PER_MATCH}: {verdict(memory_kib <= MAX_KIB_PER_MATCH)}")
    cost = timing.ratio_over_rounds(rounds, "batch_step_1t", "engine_step")
    speedup = timing.ratio_over_rounds(rounds, "batch_step_1t", "batch_step_2t")
    lines.append(f"{'ratio':<34}{'median':>8}{'fastest':>9}")
    lines.append(f"{'batch_step_1t / engine_step':<34}{cost:8.3f}"
                 f"{fastest['batch_step_1t'] / fastest['engine_step']:9.3f}"
                 f"   target <= {MAX_COST_VS_ENGINE}: {verdict(cost <= MAX_COST_VS_ENGINE)}")
    lines.append(f"{'batch_step_1t / batch_step_2t':<34}{speedup:8.3f}"
                 f"{fastest['batch_step_1t'] / fastest['batch_step_2t']:9.3f}"
                 f"   target >= {MIN_SPEEDUP_2T}: {verdict(speedup >= MIN_SPEEDUP_2T)}")
    # What the Python call adds to the same 256 matches stepped from C++.
    layer = timing.ratio_over_rounds(rounds, "batch_step_1t", "batch_native")
    lines.append(f"{'batch_step_1t / batch_native':<34}{layer:8.3f}"
                 f"{fastest['batch_step_1t'] / fastest['batch_native']:9.3f}")
    return lines


def main(argv=None):
    parser = timing.parser(__doc__, "write {case: [value of each repetition]}")
    parser.add_argument("--laps", type=int, default=1, help="of the 120-tick pattern per repetition")
    parser.add_argument("--memory", action="store_true", help="also measure batch_memory")
    parser.add_argument("--memory-child", action="store_true", help=argparse.SUPPRESS)
    args = parser.parse_args(argv)
    if args.memory_child:
        memory_child()
        return

    samples = {name: [] for name in STEP_CASES}
    run(samples, args.repetitions, args.laps, args.shuffle)
    if args.memory:
        samples["batch_memory"] = [memory_per_match()]
    if args.json:
        timing.write_json(samples, args.json)
    else:
        for name, values in samples.items():
            unit = "KiB per match" if name == "batch_memory" else "ns per match-tick"
            print(f"{name:<18} {statistics.median(values):10.1f} {unit} (median)")


if __name__ == "__main__":
    main()
