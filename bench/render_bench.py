# bench/render_bench.py: the cost of drawing a frame and the speed of replaying a recorded match.
"""Times the installed package with plain perf_counter loops.

Cases:
  render_frame    Renderer.render of a mid-match frame, 640 x 371, 3 a side (target <= 2 ms)
  render_frame_11 the same with 11 a side
  replay_ticks    quorvel.replay.replay of a recorded 9000-tick 3-a-side scripted match,
                  reading the file included, no rendering (target >= 100,000 ticks/s)

Each case reports the median and the fastest of its repetitions; the file size of the
recorded match is shown beside the replay.
"""
import argparse
import json
import os
import statistics
import sys
import tempfile
import time

from _quorvel import EngineConfig
from quorvel import core, policies
from quorvel.core.seeding import script_generator
from quorvel.render import Renderer
from quorvel.replay import MatchRecorder, replay

MAX_RENDER_MS = 2.0
MIN_REPLAY_TICKS_PER_SECOND = 100_000


def scripted(config, seed, ticks, hook=None, team_seeds=(1, 2)):
    """A one-match driver of `config` from `seed` (with `hook` attached) after the scripted
    teams, drawing from the streams `team_seeds`, played `ticks` ticks or to its end."""
    matches = core.Matches(config, 1)
    if hook is not None:
        matches.attach(hook)
    matches.reset(seed)
    teams = policies.make("scripted", config), policies.make("scripted", config)
    core.play(matches, teams, [script_generator(s) for s in team_seeds], ticks=ticks)
    return matches


def time_render(players, repetitions, frames_per_repetition=200):
    config = EngineConfig(players_per_team=players)
    renderer, frame = Renderer(config), scripted(config, 7, 300).spectator(0)
    samples = []
    for _ in range(repetitions):
        start = time.perf_counter()
        for _ in range(frames_per_repetition):
            renderer.render(frame)
        samples.append((time.perf_counter() - start) / frames_per_repetition * 1e3)
    return samples


def time_replay(repetitions, directory):
    config = EngineConfig()
    recorder = MatchRecorder(config)
    matches = scripted(config, 7, config.max_ticks, recorder)
    path = os.path.join(directory, "match.npz")
    recorder.log.record(matches.spectator(0)).save(path)
    samples = []
    for _ in range(repetitions):
        start = time.perf_counter()
        last = replay(path)
        samples.append(last.tick / (time.perf_counter() - start))
    return samples, os.path.getsize(path)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--repetitions", type=int, default=9)
    parser.add_argument("--json", metavar="PATH", help="also write the medians as JSON; - for stdout only")
    args = parser.parse_args(argv)
    with tempfile.TemporaryDirectory() as directory:
        replay_rates, size = time_replay(args.repetitions, directory)
    render_3, render_11 = time_render(3, args.repetitions), time_render(11, args.repetitions)
    medians = {"render_frame_ms": statistics.median(render_3),
               "render_frame_11_ms": statistics.median(render_11),
               "replay_ticks_per_s": statistics.median(replay_rates), "replay_file_bytes": size}
    if args.json == "-":
        json.dump(medians, sys.stdout)
        print()
        return
    ok = {True: "met", False: "MISSED"}
    print(f"{'case':<18}{'median':>12}{'fastest':>12}")
    print(f"{'render_frame':<18}{medians['render_frame_ms']:9.3f} ms{min(render_3):9.3f} ms"
          f"   target <= {MAX_RENDER_MS} ms: {ok[medians['render_frame_ms'] <= MAX_RENDER_MS]}")
    print(f"{'render_frame_11':<18}{medians['render_frame_11_ms']:9.3f} ms{min(render_11):9.3f} ms")
    print(f"{'replay_ticks':<18}{medians['replay_ticks_per_s']:12,.0f}{max(replay_rates):12,.0f}"
          f"   ticks/s, target >= {MIN_REPLAY_TICKS_PER_SECOND:,}: "
          f"{ok[medians['replay_ticks_per_s'] >= MIN_REPLAY_TICKS_PER_SECOND]}")
    print(f"{'replay file':<18}{size:12,} bytes for 9000 ticks, 3 a side")
    if args.json:
        with open(args.json, "w") as out:
            json.dump(medians, out, indent=2)
            out.write("\n")


if __name__ == "__main__":
    main()
