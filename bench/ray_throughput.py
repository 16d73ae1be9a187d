# bench/ray_throughput.py: Ray's cost made visible: the trainer on Ray actors against the local trainer, and RLlib's sampling on quorvel.rllib, on RLlib's PettingZoo wrapper and on a trivial env.
"""Short runs of the installed package with the `ray` extra; each line gives the machine's
load (uptime's one-minute average) beside its figure.

  python bench/ray_throughput.py train [--episodes 3] [--workers 2]
      `quorvel train` settings (256 matches, 900 ticks, the defaults) for a few episodes:
      the local trainer (a worker process beside the learner), the same with `--workers`
      worker processes, and --ray on a local cluster of this machine's CPUs with
      `--workers` actors; ticks per second of the episodes after the first (the first
      pays for the workers' start).
  python bench/ray_throughput.py rllib [--seconds 20] [--matches 64] [--timesteps 4000]
      RLlib's sampling (one env runner in this process, PPO's default module, exploring)
      for about `--seconds` each: `batch_self_play` (quorvel's BatchEnvRunner: the
      self-play entries, an entry a team, of `--matches` matches on one engine, sampled in
      whole arrays); `vector_self_play` (RLlib's single-agent runner on the same vector
      env: RLlib counts an env step an entry's); SoccerMultiAgentEnv with `--matches` matches;
      RLlib's ParallelPettingZooEnv over quorvel's ParallelEnv (an agent a player, one
      match); RLlib's MultiAgentCartPole with 2 agents (the trivial env: RLlib's own
      cost). Env steps, agent steps and player decisions per second, each sample() call
      asking for `--timesteps` env steps (4000: PPO's default train batch).
"""
import argparse
import csv
import os
import sys
import tempfile
import time
from pathlib import Path


def load():
    return f"load {os.getloadavg()[0]:.2f}"


def episode_rate(out):
    """Ticks per second over the run's episodes after the first."""
    with open(Path(out) / "progress.csv") as file:
        rows = list(csv.DictReader(file))
    later = rows[1:] or rows
    seconds_per_tick = sum(1.0 / float(row["ticks_per_s"]) for row in later)
    return len(later) / seconds_per_tick    # every episode plays the same ticks


def bench_train(args):
    import ray

    from quorvel.train.config import TrainConfig
    from quorvel.train.trainer import Trainer

    base = TrainConfig(minutes=0.0, episodes=args.episodes, eval_minutes=1e6, eval_matches=2,
                       final_eval_matches=2, checkpoint_minutes=1e6, workers=1)
    with tempfile.TemporaryDirectory() as folder:
        Trainer(base.validate(), Path(folder) / "local").run()
        local = episode_rate(Path(folder) / "local")
        print(f"local trainer (a worker process): {local:,.0f} ticks/s  ({load()})", flush=True)
        split = base.replace(workers=args.workers).validate()
        Trainer(split, Path(folder) / "split").run()
        processes = episode_rate(Path(folder) / "split")
        print(f"local trainer, {args.workers} worker processes: {processes:,.0f} ticks/s  "
              f"({load()})", flush=True)
        ray.init(num_cpus=os.cpu_count(), include_dashboard=False, logging_level="WARNING")
        try:
            cfg = base.replace(workers=args.workers).validate()
            Trainer(cfg, Path(folder) / "ray", ray="auto").run()
        finally:
            ray.shutdown()
        remote = episode_rate(Path(folder) / "ray")
        print(f"--ray, {args.workers} actors: {remote:,.0f} ticks/s, "
              f"{remote / local:.2f} x the local trainer, {remote / processes:.2f} x its "
              f"{args.workers} worker processes  ({load()})", flush=True)


def sample_rate(config, seconds, agents_per_step, players_per_agent, timesteps):
    """(env steps/s, agent steps/s, player decisions/s) of the local env runner's sampling."""
    algo = config.env_runners(num_env_runners=0).build_algo()
    try:
        runner = algo.env_runner
        runner.sample(num_timesteps=200, explore=True)      # warm-up: module, connectors
        steps, started = 0, time.perf_counter()
        while time.perf_counter() - started < seconds:
            episodes = runner.sample(num_timesteps=timesteps, explore=True)
            steps += sum(episode.env_steps() for episode in episodes)
        elapsed = time.perf_counter() - started
    finally:
        algo.stop()
    rate = steps / elapsed
    return rate, rate * agents_per_step, rate * agents_per_step * players_per_agent


def bench_rllib(args):
    import ray
    import torch

    # The runner samples in this process: one torch thread, as Ray gives its runners (a
    # second thread only contends for the other core on this machine).
    torch.set_num_threads(1)
    from ray.rllib.algorithms.ppo import PPOConfig
    from ray.rllib.env.wrappers.pettingzoo_env import ParallelPettingZooEnv
    from ray.rllib.examples.envs.classes.multi_agent import MultiAgentCartPole
    from ray.tune.registry import register_env

    from quorvel.envs.pettingzoo import SoccerParallelEnv
    from quorvel.rllib import SoccerMultiAgentEnv, batch_self_play, self_play, vector_self_play

    register_env("quorvel_pettingzoo", lambda config: ParallelPettingZooEnv(SoccerParallelEnv(**config)))
    p = 3
    ours = self_play(PPOConfig().environment(SoccerMultiAgentEnv, env_config={"matches": args.matches}))
    wrapped = PPOConfig().environment("quorvel_pettingzoo").multi_agent(
        policies={"shared"}, policy_mapping_fn=lambda agent, *a, **k: "shared")
    trivial = PPOConfig().environment(MultiAgentCartPole, env_config={"num_agents": 2}).multi_agent(
        policies={"shared"}, policy_mapping_fn=lambda agent, *a, **k: "shared")
    vector = vector_self_play(PPOConfig(), args.matches)
    batch = batch_self_play(PPOConfig(), args.matches)
    cases = [("batch_self_play", batch, 1, p),
             ("vector_self_play", vector, 1, p),
             ("quorvel.rllib", ours, 2 * args.matches, p),
             ("ParallelPettingZooEnv", wrapped, 2 * p, 1),
             ("MultiAgentCartPole", trivial, 2, 1)]
    ray.init(num_cpus=os.cpu_count(), include_dashboard=False, logging_level="WARNING")
    try:
        rates = {}
        for name, config, agents, players in cases:
            if args.only is not None and name not in args.only:
                continue
            env_rate, agent_rate, player_rate = sample_rate(config, args.seconds, agents, players,
                                                               args.timesteps)
            rates[name] = agent_rate
            print(f"{name:22s} {env_rate:9,.0f} env steps/s {agent_rate:10,.0f} agent steps/s "
                  f"{player_rate:10,.0f} player decisions/s  ({load()})", flush=True)
        if "ParallelPettingZooEnv" in rates:
            for name in [name for name in ("batch_self_play", "vector_self_play", "quorvel.rllib")
                         if name in rates]:
                print(f"{name} / ParallelPettingZooEnv in agent steps: "
                      f"{rates[name] / rates['ParallelPettingZooEnv']:.1f} x")
    finally:
        ray.shutdown()


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    train = commands.add_parser("train")
    train.add_argument("--episodes", type=int, default=3)
    train.add_argument("--workers", type=int, default=2)
    rllib = commands.add_parser("rllib")
    rllib.add_argument("--seconds", type=float, default=20.0)
    rllib.add_argument("--matches", type=int, default=64)
    # PPO's default train batch: what one training iteration asks of its env runners.
    rllib.add_argument("--timesteps", type=int, default=4000,
                       help="env steps asked of the runner in each sample() call")
    rllib.add_argument("--only", nargs="+", default=None,
                       choices=("batch_self_play", "vector_self_play", "quorvel.rllib",
                                "ParallelPettingZooEnv", "MultiAgentCartPole"),
                       help="the cases to run (default: all)")
    args = parser.parse_args(argv)
    (bench_train if args.command == "train" else bench_rllib)(args)
    return 0


if __name__ == "__main__":
    sys.exit(main())
