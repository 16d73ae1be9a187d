"""python -m quorvel: plays one match between two scripted teams and prints the result."""
import argparse
import time

from _quorvel import Engine, EngineConfig

from .scripted import ScriptedTeam


def play(seed, players, ticks):
    """Plays until the match is over or `ticks` ticks (if given) have been played."""
    config = EngineConfig(players_per_team=players)
    if ticks is not None:
        config.max_ticks = ticks
    team_a, team_b = ScriptedTeam(config, 2 * seed), ScriptedTeam(config, 2 * seed + 1)
    engine = Engine(config, seed)
    obs_a, obs_b = engine.reset()
    start = time.perf_counter()
    played = 0
    while True:
        result = engine.step((team_a.actions(obs_a), team_b.actions(obs_b)))
        played += 1
        if result.done:
            break
        obs_a, obs_b = result.observations
    elapsed = time.perf_counter() - start
    return engine.spectator_frame().score, played, elapsed


def main(argv=None):
    """Parses the command line, plays the match and prints its result; returns 0."""
    parser = argparse.ArgumentParser(prog="quorvel", description=__doc__)
    parser.add_argument("--seed", type=int, default=0, help="kick-off seed (default 0)")
    parser.add_argument("--players", type=int, default=3, help="players per team (default 3)")
    parser.add_argument("--ticks", type=int, default=None,
                        help="match length in ticks (default: the configuration's 9000)")
    args = parser.parse_args(argv)
    (goals_a, goals_b), played, elapsed = play(args.seed, args.players, args.ticks)
    rate = played / elapsed if elapsed > 0 else float("inf")
    print(f"final score: team A {goals_a} - {goals_b} team B")
    print(f"ticks played: {played}")
    print(f"ticks per second: {rate:,.0f}")
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
