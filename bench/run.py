# bench/run.py: builds and runs the C++ and Python benchmarks, prints the table of ticks and ratios.
"""Benchmarks of the tick against the bare physics floor, from C++ and from Python.

    python bench/run.py [--json PATH] [--rounds N]

Builds the C++ benchmarks in build/bench when needed (CMake, Release), records the
realistic styles of play (bench/play_styles.py: random, scripted, trained, crowd, corner, and
the pattern) into build/bench/styles and counts their Box2D steps and contacts per
tick, then runs rounds of the C++ benchmarks (the engine and the floor with Box2D's
step profiler off, the engine on the recorded styles, then the floor with Box2D as
shipped) followed by bench/py_bench.py, bench/batch_bench.py, bench/play_bench.py
and bench/rl_bench.py (which use the installed package), then once
bench/render_bench.py (drawing frames, replaying a match).
Prints, for the default configuration and for 11 players
a side, the median ns per tick and ticks per second of every case over all
repetitions, then the ratios the tick is held to, with --json also writing the
medians, the styles' steps and contacts per tick and the ratios held to targets
as a flat JSON object.
"""
import argparse
import collections
import json
import os
import statistics
import subprocess
import sys
import tempfile
from pathlib import Path

import batch_bench
import play_bench
import play_styles
import rl_bench

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "bench"
BINARIES = (BUILD / "bench" / "quorvel_bench", BUILD / "bench" / "quorvel_bench_shipped")
PROFILER = BUILD / "bench" / "quorvel_tick_profile"
STYLES_DIR = BUILD / "styles"

CPP_CASES = ("bare_box2d_shipped", "bare_box2d", "engine_step", "engine_spectator", "batch_native")
PY_CASES = ("py_step", "py_step_obs", "py_spectator")
SIZES = (3, 11)  # players a side: the default configuration, then eleven

# numerator, denominator, most allowed (None: shown, not held to a limit)
RATIOS = (
    ("engine_step", "bare_box2d_shipped", 0.55),
    ("engine_step", "bare_box2d", 1.15),
    ("engine_step_11", "bare_box2d_11", 1.15),
    ("engine_step_11", "bare_box2d_shipped_11", None),
    ("py_step", "engine_step", 1.30),
    ("py_step_11", "engine_step_11", None),
    ("batch_native", "engine_step", None),
)
MIN_PY_STEP_TICKS_PER_SECOND = 500_000

JSON_KEYS = ("bare_box2d", "engine_step", "engine_spectator", "py_step", "py_step_obs",
             "py_spectator", "py_step_11", "engine_step_11", "bare_box2d_11",
             "bare_box2d_shipped", "bare_box2d_shipped_11", "batch_native")

# A shared machine runs fast for a few seconds, then a quarter slower, and the
# tick's own work slows more than the floor's. So every case is timed in short
# repetitions, shuffled with the other cases' within each program; the two
# programs alternate in short rounds; and a ratio is taken within each round,
# where both of its cases met the same spell, then the median over rounds.
REPETITIONS_PER_ROUND = 3
CPP_MIN_SECONDS = 0.02
PY_TICKS = 3000  # per repetition with the default configuration (about 10 ms)


def key(case, players):
    return case if players == 3 else f"{case}_{players}"


def build():
    """Configures when the build tree lacks the benchmarks, then lets CMake rebuild
    whatever changed (usually nothing)."""
    cache = BUILD / "CMakeCache.txt"
    if not cache.exists() or "QUORVEL_BUILD_BENCH:BOOL=ON" not in cache.read_text():
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(BUILD), "-DCMAKE_BUILD_TYPE=Release",
                        "-DQUORVEL_BUILD_BENCH=ON", "-DQUORVEL_BUILD_MODULE=OFF"],
                       check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", str(BUILD), "-j", str(os.cpu_count() or 2)], check=True,
                   stdout=subprocess.DEVNULL)


def record_styles():
    """Records every style of play with the installed package (so against this build's
    physics) and returns {style: its Box2D steps and contacts per tick over the ticks
    play_bench times}."""
    subprocess.run([sys.executable, str(ROOT / "bench" / "play_styles.py"), str(STYLES_DIR),
                    f"--matches={play_bench.MATCHES}", f"--ticks={play_bench.RECORDED_TICKS}"],
                   check=True, cwd=ROOT / "bench")
    stats = {}
    for style in play_styles.STYLES:
        out = subprocess.run([str(PROFILER), "stats", str(play_styles.path_for(STYLES_DIR, style)),
                              str(play_bench.WARMUP_TICKS)], check=True, capture_output=True, text=True).stdout
        stats[style] = json.loads(out)
    return stats


def run_cpp(samples):
    """Adds the real time per tick of each repetition of each C++ case."""
    run_binary(BINARIES[0], samples, f"--recordings={STYLES_DIR}")
    run_binary(BINARIES[1], samples)


def run_binary(binary, samples, *options):
    out = subprocess.run(
        [str(binary), *options, "--benchmark_format=json", f"--benchmark_repetitions={REPETITIONS_PER_ROUND}",
         "--benchmark_enable_random_interleaving=true", f"--benchmark_min_time={CPP_MIN_SECONDS}"],
        check=True, capture_output=True, text=True).stdout
    for bench in json.loads(out)["benchmarks"]:
        if bench["run_type"] != "iteration":
            continue
        name, players = bench["run_name"].split("/players:")
        assert bench["time_unit"] == "ns", bench["time_unit"]
        # A batch case's iteration steps every match: its time per match-tick.
        samples[key(name, int(players))].append(bench["real_time"] / bench.get("matches", 1))


def run_python(samples):
    """Adds the ns per tick of each repetition of each Python case."""
    out = subprocess.run([sys.executable, str(ROOT / "bench" / "py_bench.py"),
                          f"--repetitions={REPETITIONS_PER_ROUND}", f"--ticks={PY_TICKS}",
                          "--shuffle", "--json", "-"],
                         check=True, capture_output=True, text=True, cwd=ROOT / "bench").stdout
    for name, values in json.loads(out).items():
        samples[name].extend(values)


def report(ns, ratios, fastest):
    lines = [f"{'case':<20}{'3 a side (default)':>26}{'11 a side':>26}",
             f"{'':<20}" + f"{'ns/tick':>12}{'ticks/s':>14}" * len(SIZES)]
    for case in CPP_CASES + PY_CASES:
        row = f"{case:<20}"
        for players in SIZES:
            value = ns.get(key(case, players))
            row += f"{value:12,.0f}{1e9 / value:14,.0f}" if value else f"{'-':>12}{'-':>14}"
        lines.append(row)
    lines.append("")
    lines.append("median: over rounds of each round's ratio of medians (on a loaded machine it")
    lines.append("  can differ from the quotient of the medians above, which mix fast and slow spells)")
    lines.append("fastest: of the fastest repetitions, what a quiet machine would show")
    lines.append(f"{'ratio':<42}{'median':>8}{'fastest':>9}")
    for (num, den, limit), ratio in zip(RATIOS, ratios):
        verdict = "" if limit is None else f"   target <= {limit}: {'met' if ratio <= limit else 'MISSED'}"
        lines.append(f"{num + ' / ' + den:<42}{ratio:8.3f}{fastest[num] / fastest[den]:9.3f}{verdict}")
    rate = 1e9 / ns["py_step"]
    verdict = "met" if rate >= MIN_PY_STEP_TICKS_PER_SECOND else "MISSED"
    lines.append(f"{'py_step ticks/s':<42}{rate:8,.0f}{1e9 / fastest['py_step']:9,.0f}"
                 f"   target >= {MIN_PY_STEP_TICKS_PER_SECOND:,}: {verdict}")
    return "\n".join(lines)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--json", metavar="PATH", help="also write the medians as a flat JSON object")
    parser.add_argument("--rounds", type=int, default=16,
                        help=f"of C++ then Python, {REPETITIONS_PER_ROUND} repetitions of each case "
                             "per round (default 16)")
    args = parser.parse_args(argv)

    build()
    stats = record_styles()
    rounds = []
    for _ in range(args.rounds):
        samples = collections.defaultdict(list)
        run_cpp(samples)
        run_python(samples)
        batch_bench.run_round(samples)
        play_bench.run_round(samples, STYLES_DIR)
        rl_bench.run_round(samples)
        rounds.append(samples)

    every = collections.defaultdict(list)
    for samples in rounds:
        for name, values in samples.items():
            every[name].extend(values)
    ns = {name: statistics.median(values) for name, values in every.items()}
    ratios = [statistics.median(statistics.median(r[num]) / statistics.median(r[den]) for r in rounds)
              for num, den, _ in RATIOS]
    fastest = {name: min(values) for name, values in every.items()}
    print(report(ns, ratios, fastest))
    batch_memory = batch_bench.memory_per_match()
    print("\n".join(batch_bench.report_lines(ns, rounds, fastest, batch_memory)))
    print("\n".join(play_bench.report_lines(ns, rounds, fastest, stats)))
    print("\n".join(rl_bench.report_lines(ns, rounds, fastest)))
    drawing = run_render_bench()
    if args.json:
        with open(args.json, "w") as out:
            json.dump({**{name + "_ns": round(ns[name], 1) for name in JSON_KEYS},
                       **{f"{num}_over_{den}": round(ratio, 3) for (num, den, _), ratio in zip(RATIOS, ratios)},
                       **batch_bench.json_fields(ns, batch_memory),
                       **play_bench.json_fields(ns, rounds, stats), **rl_bench.json_fields(ns),
                       **drawing},
                      out, indent=2)
            out.write("\n")


def run_render_bench():
    """Runs bench/render_bench.py (drawing frames, replaying a match), prints its table and
    returns its medians."""
    with tempfile.TemporaryDirectory() as directory:
        medians = Path(directory) / "render.json"
        out = subprocess.run([sys.executable, str(ROOT / "bench" / "render_bench.py"), "--json",
                              str(medians)], check=True, capture_output=True, text=True).stdout
        print()
        print(out, end="")
        return json.loads(medians.read_text())


if __name__ == "__main__":
    main()
