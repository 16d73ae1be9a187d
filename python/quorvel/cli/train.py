"""python/quorvel/cli/train.py: `quorvel train`: trains a policy by PPO self-play in a rated league."""
import argparse
import math
import sys

HELP = "train a policy by self-play in a rated league (needs the 'train' extra)"
RESUMABLE = {"minutes", "episodes", "eval_minutes", "eval_matches", "final_eval_matches",
             "eval_opponents", "checkpoint_minutes"}
"""Settings a resumed run may change: when and how it reports and stops, not what it learns."""


def _minutes(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"must be a number of minutes, not {text!r}") from None
    if not (value >= 0 and math.isfinite(value)):
        raise argparse.ArgumentTypeError(f"must be a finite number of at least 0, not {text!r}")
    return value


def add_arguments(parser: argparse.ArgumentParser) -> None:
    from ..train.config import describe_settings

    parser.formatter_class = argparse.RawDescriptionHelpFormatter
    parser.set_defaults(output_files={})  # --out is the run's folder, checked by the run itself
    parser.add_argument("--out", required=True, help="run directory: checkpoints, policies, logs")
    parser.add_argument("--minutes", type=_minutes, default=None,
                        help="training time of the whole run (default 15; 0: no limit)")
    parser.add_argument("--resume", action="store_true",
                        help="continue the run saved in --out (its own settings)")
    parser.add_argument("--config", metavar="FILE", default=None,
                        help="settings file (TOML, or JSON by its .json suffix)")
    parser.add_argument("--ray", metavar="ADDRESS", default=None,
                        help="collect rollouts on the Ray cluster at ADDRESS ('auto': the one "
                             "this machine belongs to), one actor per worker (--set workers=N); "
                             "needs the 'ray' extra")
    parser.add_argument("--set", metavar="NAME=VALUE", action="append", default=[],
                        dest="assignments", help="one setting (repeatable; lists comma-separated)")
    parser.epilog = "settings (name = default: meaning):\n  " + "\n  ".join(describe_settings())


def add_parser(subparsers: "argparse._SubParsersAction[argparse.ArgumentParser]") -> argparse.ArgumentParser:
    parser = subparsers.add_parser("train", help=HELP, description=HELP)
    add_arguments(parser)
    parser.set_defaults(run=run)
    return parser


def run(args: argparse.Namespace) -> int:
    from .options import UsageError

    try:
        import torch  # noqa: F401
        import openskill  # noqa: F401
    except ImportError as error:
        raise UsageError(f"training needs the 'train' extra (pip install 'quorvel[train]'): "
                         f"{error}") from None
    if args.ray is not None:
        try:
            import ray  # noqa: F401
        except ImportError as error:
            raise UsageError(f"--ray needs the 'ray' extra (pip install 'quorvel[ray]'): "
                             f"{error}") from None
    from ..train import checkpoint
    from ..train.config import TrainConfig, make_config, parse_assignments, read_file
    from ..train.trainer import Trainer

    try:
        if args.resume:
            if not checkpoint.exists(args.out):
                raise UsageError(f"argument --resume: no checkpoint in {args.out!r}")
            saved = TrainConfig.from_dict(checkpoint.load(args.out)["config"])
            table = read_file(args.config) if args.config else {}
            table.update(parse_assignments(args.assignments))
            if args.minutes is not None:
                table["minutes"] = args.minutes
            changed = TrainConfig.from_dict(saved.to_dict() | table).validate()
            refused = sorted(name for name in table if name not in RESUMABLE
                             and getattr(changed, name) != getattr(saved, name))
            if refused:
                raise UsageError(f"a resumed run keeps its settings; cannot change "
                                 f"{', '.join(refused)}")
            cfg = changed
        else:
            if checkpoint.exists(args.out):
                raise UsageError(f"argument --out: {args.out!r} holds a run; pass --resume to "
                                 f"continue it or choose another directory")
            cfg = make_config(args.config, args.assignments)
            if args.minutes is not None:
                cfg = cfg.replace(minutes=args.minutes).validate()
    except ValueError as error:
        raise UsageError(str(error)) from None
    try:
        trainer = Trainer(cfg, args.out, resume=args.resume, ray=args.ray)
    except checkpoint.RunInUse as error:
        raise UsageError(f"argument --out: {error}") from None
    except ConnectionError as error:
        raise UsageError(f"argument --ray: {error}") from None
    results = trainer.run()
    for name, result in results.items():
        print(result.line("trained", name))
    print(f"policy: {trainer.out / 'latest.npz'}", file=sys.stdout)
    return 0
