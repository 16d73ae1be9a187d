# bench/play_styles.py: the commands of realistic play (random, scripted, trained, crowd, corner), recorded for the benchmarks.
"""Plays batches of matches in the styles RL actually produces and records every command.

    python bench/play_styles.py OUT_DIR [--matches N] [--ticks T] [--players P ...]

Styles, each team commanded in its own frame:
  pattern   the benchmarks' command pattern (timing.direction_pattern): everyone runs at
            full speed in a direction that turns once every 120 ticks, no kicks
  random    every number of every player's action uniform in [-1, 1] each tick (early
            training: everyone wanders, and kicks whenever the ball is in reach)
  scripted  the scripted team against itself
  trained   the package's trained policy (team A, its likeliest choices) against the
            scripted team: the commands a policy made by `quorvel train` gives
  crowd     every player runs at the ball and kicks it at the goal it attacks
  corner    every player of both teams runs at the same corner of the field, and after
            CORNER_TICKS at the next one round: the whole field piles into one corner after another

Each style writes OUT_DIR/<style>_<P>.npy: float32 (T, N, 2, P, 4), the (move_x, move_y,
kick_x, kick_y) rows of tick t, match m, team A then team B, as BatchEngine.step takes
them. Match m is BatchEngine(config, N, seed=SEED)'s match m after its reset(), that is
Engine(config, SEED + m) after one reset(): stepping either with the recorded rows plays
the recorded match bit for bit, since the styles that look at the field were recorded
against this very build's physics.
"""
import argparse
from pathlib import Path

import timing
from timing import PATTERN_TICKS, SEED

# numpy and quorvel are imported where they are used, so that bench/run.py can
# import this file for its names without loading either.

STYLES = ("pattern", "random", "scripted", "trained", "crowd", "corner")
CORNER_TICKS = 300  # the pile-up holds each corner this long (play_stats.cpp's kCornerTicks)
CORNERS = ((1.0, 1.0), (-1.0, 1.0), (-1.0, -1.0), (1.0, -1.0))  # team A's frame


def teams(name, config):
    """The two package policies that play style `name` (None for the styles computed
    here): the benchmarks' one dependency on the package's policies."""
    from quorvel import policies
    if name == "scripted":
        return [policies.make("scripted", config), policies.make("scripted", config)]
    if name == "trained":
        return [policies.make("trained", config, greedy=True), policies.make("scripted", config)]
    return None


class Style:
    """fill(obs, out, t): writes tick t's commands for both teams into out (N, 2, P, 4),
    from obs (N, 2, 8P + 4), each team's row in its own frame."""

    def __init__(self, name, config, seed):
        import numpy as np

        self.name = name
        self.players = int(config.players_per_team)
        self.rng = np.random.default_rng(seed)
        self.teams = teams(name, config)
        self.lap = None

    def fill(self, obs, out, t):
        getattr(self, "_" + self.name)(obs, out, t)

    def _pattern(self, obs, out, t):
        if self.lap is None:
            self.lap = timing.direction_pattern(out.shape[:-1])
        out[...] = self.lap[t % PATTERN_TICKS]

    def _random(self, obs, out, t):
        out[...] = self.rng.uniform(-1.0, 1.0, out.shape)

    def _scripted(self, obs, out, t):
        for team, policy in enumerate(self.teams):
            policy(obs[:, team], out[:, team], self.rng)

    _trained = _scripted

    def _crowd(self, obs, out, t):
        p = self.players
        ball = obs[:, :, 8 * p:8 * p + 2]                  # (N, 2, 2), each team's frame
        own = obs[:, :, :4 * p].reshape(obs.shape[0], 2, p, 4)[..., :2]
        out[..., :2] = 10.0 * (ball[:, :, None, :] - own)   # run at the ball, full speed until near it
        out[..., 2] = (1.0 - ball[..., 0])[..., None]       # kick at the goal attacked, (1, 0)
        out[..., 3] = (-ball[..., 1])[..., None]

    def _corner(self, obs, out, t):
        x, y = CORNERS[(t // CORNER_TICKS) % len(CORNERS)]
        p = self.players
        own = obs[:, :, :4 * p].reshape(obs.shape[0], 2, p, 4)
        for team, corner_x in ((0, x), (1, -x)):        # team B's frame is mirrored in x
            out[:, team, :, 0] = 10.0 * (corner_x - own[:, team, :, 0])
            out[:, team, :, 1] = 10.0 * (y - own[:, team, :, 1])
        out[..., 2:] = 0.0


def record(style, config, matches, ticks, seed=SEED):
    """Plays `matches` matches of `style` for `ticks` ticks on one thread; returns the
    commands, float32 (ticks, matches, 2, P, 4)."""
    import numpy as np

    import quorvel

    p = int(config.players_per_team)
    batch = quorvel.BatchEngine(config, matches, seed=seed, threads=1, copy=False)
    obs = batch.reset()
    source = Style(style, config, seed)
    commands = np.zeros((ticks, matches, 2, p, 4), np.float32)
    for t in range(ticks):
        source.fill(obs, commands[t], t)
        obs = batch.step(commands[t])[0]
    return commands


def path_for(directory, style, players=3):
    return Path(directory) / f"{style}_{players}.npy"


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out", help="directory for the recordings")
    parser.add_argument("--matches", type=int, default=256)
    parser.add_argument("--ticks", type=int, default=660)
    parser.add_argument("--players", type=int, nargs="+", default=[3])
    parser.add_argument("--styles", nargs="+", choices=STYLES, default=list(STYLES))
    args = parser.parse_args(argv)

    import numpy as np

    import quorvel

    Path(args.out).mkdir(parents=True, exist_ok=True)
    for players in args.players:
        config = quorvel.EngineConfig(players_per_team=players)
        for style in args.styles:
            np.save(path_for(args.out, style, players), record(style, config, args.matches, args.ticks))


if __name__ == "__main__":
    main()
