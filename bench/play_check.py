# bench/play_check.py: whether long scripted matches still play: goals keep coming and the ball does not stall on a goal line.
"""Plays scripted matches for a whole default match length and reports how they play.

    python bench/play_check.py [--matches 64] [--ticks 9000]

The scripted team against itself (bench/play_styles.py's scripted style) on a
BatchEngine with no match length, seeds 11 on: prints the goals of all matches in each
window of 1,500 ticks and the share of match-ticks that end with the ball on a goal line
(put back there, outside the mouth, or lying on it). A change to the physics that makes
players pin themselves and the ball in the corners, where neither side can reach the
ball, shows as goals dying out and the ball parked on a goal line. With the engine's
physics (its world at half a Box2D length per field unit, four velocity iterations): 47
to 58 goals in each of the last three windows of 64 matches and the ball on a line in
5.2 % of match-ticks; 53 to 57 and 5.1 % with the previous physics (eight iterations,
one length per unit); over 256 matches 198 goals a window on average against 210. (The
scripted team of the time stalled with four iterations, the ball on a line in 68 % of
match-ticks; the present one, which plays around walls, does not.) Not a timing.
Recorded styles' soundness (discs passing through each other, overlaps, depth into the
walls) is `quorvel_tick_profile stats FILE 0`.
"""
import argparse

from timing import SEED

WINDOW = 1500


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--matches", type=int, default=64)
    parser.add_argument("--ticks", type=int, default=9000)
    args = parser.parse_args(argv)

    import numpy as np

    import quorvel
    from play_styles import Style

    config = quorvel.EngineConfig(max_ticks=2**32 - 1)
    p = int(config.players_per_team)
    batch = quorvel.BatchEngine(config, args.matches, seed=SEED + 4, threads=1, copy=False)
    obs = batch.reset()
    style = Style("scripted", config, SEED + 4)
    actions = np.zeros((args.matches, 2, p, 4), np.float32)
    ball_x = 8 * p  # team A's observation: the ball's x, -1 and 1 on the goal lines
    on_line = 0
    windows, scored = [], 0
    for t in range(args.ticks):
        style.fill(obs, actions, t)
        obs = batch.step(actions)[0]
        on_line += int(np.count_nonzero(np.abs(obs[:, 0, ball_x]) == 1.0))
        if (t + 1) % WINDOW == 0:
            total = int(batch.spectator_arrays()["score"].sum())
            windows.append(total - scored)
            scored = total
    print(f"goals in each window of {WINDOW} ticks, {args.matches} matches: {windows}")
    print(f"ball on a goal line: {on_line / (args.matches * args.ticks):.1%} of match-ticks")


if __name__ == "__main__":
    main()
