"""python/quorvel/cli/eval.py: `quorvel eval A B`: matches between two policies, named or from files, and their results."""
import argparse
from collections.abc import Callable

from .options import U64_MAX, UsageError, bounded_int

HELP = "play two policies against each other and print wins, draws, losses and goal difference"


def add_arguments(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("a", metavar="A", help="a policy: idle, random, scripted or a .npz file")
    parser.add_argument("b", metavar="B", help="its opponent, the same kinds")
    parser.add_argument("--matches", type=bounded_int(1, 1_000_000), default=200,
                        help="matches to play (default 200), A on each side in turn")
    parser.add_argument("--seed", type=bounded_int(0, U64_MAX - 1_000_000), default=0,
                        help="match i kicks off from seed + i (default 0)")
    parser.add_argument("--ticks", type=bounded_int(1, 2**32 - 1), default=900,
                        help="ticks a match (default 900)")
    parser.add_argument("--players", type=bounded_int(1, 64), default=3,
                        help="players a side (default 3)")
    parser.add_argument("--greedy", action="store_true",
                        help="trained policies take their likeliest choice instead of drawing one")


def add_parser(subparsers: "argparse._SubParsersAction[argparse.ArgumentParser]") -> argparse.ArgumentParser:
    parser = subparsers.add_parser("eval", help=HELP, description=HELP)
    add_arguments(parser)
    parser.set_defaults(run=run)
    return parser


def run(args: argparse.Namespace) -> int:
    from .. import EngineConfig
    from ..policies import Policy, npz_policy
    from ..train import opponents
    from ..train.evaluate import evaluate

    config = EngineConfig(players_per_team=args.players, max_ticks=args.ticks)

    def maker(spec: str) -> Callable[[], Policy]:
        def make() -> Policy:
            if spec.endswith(".npz"):
                return npz_policy.load(spec, config, greedy=args.greedy)
            named: Policy = opponents.make(spec, config)
            return named
        return make

    try:
        for spec in (args.a, args.b):
            maker(spec)()   # refuses a bad name or file before any match is played
    except (ValueError, OSError) as error:
        raise UsageError(str(error)) from None
    result = evaluate(maker(args.a), maker(args.b), config, args.matches, args.seed)
    print(result.line(args.a, args.b))
    return 0
