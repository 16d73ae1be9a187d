# bench/play_bench.py: the batched engine on recorded realistic play beside the pattern, with its physics per tick.
"""Times quorvel.BatchEngine.step on the styles of play bench/play_styles.py records.

    python bench/play_bench.py --recordings DIR [--repetitions N] [--shuffle] [--json PATH]

Cases (default configuration, 256 matches, ns per match-tick), for each style S of
random, scripted, crowd and corner whose recording DIR/S_3.npy exists:
  batch_step_1t_S  step() on one thread with the recorded commands of each tick
  batch_step_2t_S  the same on two threads

A recording holds WARMUP_TICKS + 3 * REPETITION_TICKS ticks of 256 matches, each from
its kick-off. Each batch plays the first WARMUP_TICKS untimed (the kick-offs, and a
fresh process's slow first steps), then every repetition times the next
REPETITION_TICKS: the same recorded match as it goes on, never a replay of ticks it
already played (the recorded commands fit only the state they were recorded in).

bench/run.py adds engine_step_S (quorvel_bench, one engine replaying the same
commands), the Box2D steps and contacts per tick of each style over the timed ticks
(quorvel_tick_profile stats), and holds each style's batch_step_1t to a multiple of
the pattern's (batch_bench.py's batch_step_1t, timed in the same rounds).
"""
import statistics

import timing
from timing import SEED, verdict

# numpy and quorvel are imported where they are used, so that bench/run.py can
# import this file for its round and report functions without loading either.

MATCHES = 256
STYLES = ("random", "scripted", "trained", "crowd", "corner")
WARMUP_TICKS = 300
REPETITION_TICKS = 120
RECORDED_TICKS = WARMUP_TICKS + 3 * REPETITION_TICKS  # what bench/run.py records
THREADS = {"1t": 1, "2t": 2}

# batch_step_1t_S / batch_step_1t at most (None: shown, not held to a limit)
MAX_COST_VS_PATTERN = {"random": 1.5, "scripted": 1.5, "trained": None, "crowd": None,
                       "corner": 3.0}


class RecordedCase(timing.Case):
    """A batch that plays its recording on: each repetition times the ticks after the
    last one played."""

    def __init__(self, name, batch, commands):
        super().__init__(name, batch, timing.step_loop, [], MATCHES)
        self.commands = commands
        self.played = 0

    def _next_ticks(self, count):
        import numpy as np

        if self.played + count > len(self.commands):
            raise SystemExit(f"{self.name}: the recording holds {len(self.commands)} ticks, "
                             f"{self.played + count} asked for; record more (--ticks)")
        ticks = [np.ascontiguousarray(self.commands[t]) for t in range(self.played, self.played + count)]
        self.played += count
        return ticks

    def warm_up(self, ticks):
        self.loop(self.target, self._next_ticks(ticks))

    def repeat(self):
        self.schedule = self._next_ticks(REPETITION_TICKS)
        super().repeat()


def build_cases(directory):
    import numpy as np

    import quorvel
    from play_styles import path_for

    cases = []
    for style in STYLES:
        path = path_for(directory, style)
        if not path.exists():
            continue
        commands = np.load(path, mmap_mode="r")
        if commands.shape[1:] != (MATCHES, 2, 3, 4):
            raise SystemExit(f"{path}: commands of shape {commands.shape}, not (ticks, {MATCHES}, 2, 3, 4)")
        for suffix, threads in THREADS.items():
            batch = quorvel.BatchEngine(quorvel.EngineConfig(), MATCHES, seed=SEED, threads=threads)
            batch.reset()
            case = RecordedCase(f"batch_step_{suffix}_{style}", batch, commands)
            case.warm_up(WARMUP_TICKS)
            cases.append(case)
    return cases


def run_round(samples, directory):
    """One round for bench/run.py: three shuffled repetitions of each case."""
    timing.run_child_round(__file__, samples, f"--recordings={directory}")


def styles_run(ns):
    return [style for style in STYLES if f"batch_step_1t_{style}" in ns]


def json_fields(ns, rounds, stats):
    """The realistic cases' entries of bench/run.py's JSON output: medians, each style's
    Box2D steps and contacts per tick (the pattern's too), and the ratios held to targets."""
    fields = {}
    for style in styles_run(ns):
        for case in (f"engine_step_{style}", f"batch_step_1t_{style}", f"batch_step_2t_{style}"):
            if case in ns:
                fields[case + "_ns"] = round(ns[case], 1)
        fields[f"batch_step_1t_{style}_over_batch_step_1t"] = round(
            timing.ratio_over_rounds(rounds, f"batch_step_1t_{style}", "batch_step_1t"), 3)
    for style, figures in stats.items():
        fields[f"{style}_substeps_per_tick"] = figures["substeps_per_tick"]
        fields[f"{style}_contacts_per_tick"] = figures["contacts_per_tick"]
    return fields


def report_lines(ns, rounds, fastest, stats):
    """The realistic cases' lines of bench/run.py's report: a table beside the pattern,
    then the targets."""
    lines = ["", "realistic play (256 matches, 3 a side; ns per match-tick; Box2D steps and touching",
             "contacts per tick over the timed ticks)",
             f"{'style':<10}{'engine_step':>12}{'batch_1t':>10}{'batch_2t':>10}{'x pattern':>11}"
             f"{'steps':>8}{'contacts':>10}"]

    def row(style, engine, one, two, ratio):
        figures = stats.get(style, {})
        cells = [f"{ns[c]:,.0f}" if c in ns else "-" for c in (engine, one, two)]
        return (f"{style:<10}{cells[0]:>12}{cells[1]:>10}{cells[2]:>10}{ratio:>11}"
                f"{figures.get('substeps_per_tick', float('nan')):8.3f}"
                f"{figures.get('contacts_per_tick', float('nan')):10.2f}")

    lines.append(row("pattern", "engine_step", "batch_step_1t", "batch_step_2t", "1"))
    for style in styles_run(ns):
        ratio = timing.ratio_over_rounds(rounds, f"batch_step_1t_{style}", "batch_step_1t")
        lines.append(row(style, f"engine_step_{style}", f"batch_step_1t_{style}",
                         f"batch_step_2t_{style}", f"{ratio:.2f}"))
    lines.append(f"{'ratio':<42}{'median':>8}{'fastest':>9}")
    for style in styles_run(ns):
        num = f"batch_step_1t_{style}"
        ratio = timing.ratio_over_rounds(rounds, num, "batch_step_1t")
        limit = MAX_COST_VS_PATTERN[style]
        target = "" if limit is None else f"   target <= {limit}: {verdict(ratio <= limit)}"
        lines.append(f"{num + ' / batch_step_1t':<42}{ratio:8.3f}"
                     f"{fastest[num] / fastest['batch_step_1t']:9.3f}{target}")
    return lines


def main(argv=None):
    parser = timing.parser(__doc__, "write {case: [ns per match-tick of each repetition]}", repetitions=3)
    parser.add_argument("--recordings", required=True, help="directory of bench/play_styles.py's files")
    args = parser.parse_args(argv)
    samples = timing.run_cases(build_cases(args.recordings), args.repetitions, args.shuffle)
    if args.json:
        timing.write_json(samples, args.json)
    else:
        for name, values in samples.items():
            print(f"{name:<26} {statistics.median(values):10.1f} ns per match-tick (median)")


if __name__ == "__main__":
    main()
