#!/usr/bin/env python3
"""tools/sb3_learnable.py: a recorded Stable-Baselines3 PPO run on SB3VecEnv with the learner's options, its curve as CSV and a small PNG.

    python tools/sb3_learnable.py OUT_DIR [--minutes 15] [--opponent idle] [--reward shaped]
        [--observation team] [--frame-skip 4] [--actions discrete] [--matches 128] [--seed 0]
        [--scenario NAME]

Trains until the minutes are up, logging one row per batch of finished episodes to
OUT_DIR/progress.csv (minutes, decisions, match-ticks, goals for and against per match of
the episodes just ended, the load average); then plays OUT_DIR's final policy (sampled, as it
trained) on fresh matches with the goal reward and writes OUT_DIR/final.json, and draws
OUT_DIR/curve.png. Needs torch and stable-baselines3 (see the README).
"""
import argparse
import csv
import json
import math
import os
import time
from pathlib import Path

import numpy as np


def parse():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("out", type=Path)
    parser.add_argument("--minutes", type=float, default=15.0)
    parser.add_argument("--opponent", default="idle")
    parser.add_argument("--reward", default="shaped")
    parser.add_argument("--observation", default="team")
    parser.add_argument("--frame-skip", type=int, default=4)
    parser.add_argument("--actions", default="discrete")
    parser.add_argument("--matches", type=int, default=128)
    parser.add_argument("--max-ticks", type=int, default=900)
    parser.add_argument("--scenario", default=None, help="a start scenario (where the front-ends take one)")
    parser.add_argument("--seed", type=int, default=0)
    parser.add_argument("--eval-matches", type=int, default=256)
    return parser.parse_args()


def env_options(args, reward):
    options = dict(opponent=args.opponent, max_ticks=args.max_ticks, reward=reward,
                   observation=args.observation, frame_skip=args.frame_skip, actions=args.actions,
                   threads=1)
    if args.scenario is not None:
        options["scenario"] = args.scenario
    return options


def interval(values):
    """Mean and 95 % half-width (normal approximation)."""
    values = np.asarray(values, np.float64)
    if len(values) < 2:
        return float(values.mean()) if len(values) else math.nan, math.nan
    return float(values.mean()), float(1.96 * values.std(ddof=1) / math.sqrt(len(values)))


def train(args):
    import torch
    from stable_baselines3 import PPO
    from stable_baselines3.common.callbacks import BaseCallback

    from quorvel.envs.sb3 import SB3VecEnv

    torch.set_num_threads(1)
    env = SB3VecEnv(num_envs=args.matches, **env_options(args, args.reward))
    model = PPO("MlpPolicy", env, n_steps=64, batch_size=2048, n_epochs=4, learning_rate=3e-4,
                gamma=0.99, gae_lambda=0.95, ent_coef=0.01, policy_kwargs=dict(net_arch=[128, 128]),
                seed=args.seed, device="cpu", verbose=0)
    fields = ["minutes", "decisions", "match_ticks", "episodes", "goals_for", "goals_against",
              "difference", "difference_95", "scored_share", "load1"]
    args.out.mkdir(parents=True, exist_ok=True)
    log = open(args.out / "progress.csv", "w", newline="")
    writer = csv.DictWriter(log, fields)
    writer.writeheader()
    start = time.perf_counter()
    limit = args.minutes * 60.0

    class Progress(BaseCallback):
        def __init__(self):
            super().__init__()
            self.ended = []

        def _on_step(self):
            for info in self.locals["infos"]:
                if "episode" in info:
                    self.ended.append(info["episode"]["score"])
            if len(self.ended) >= args.matches:
                scores = np.array(self.ended, np.float64)
                self.ended = []
                mean, half = interval(scores[:, 0] - scores[:, 1])
                row = dict(minutes=(time.perf_counter() - start) / 60.0,
                           decisions=self.num_timesteps,
                           match_ticks=self.num_timesteps * args.frame_skip,
                           episodes=len(scores), goals_for=scores[:, 0].mean(),
                           goals_against=scores[:, 1].mean(), difference=mean,
                           difference_95=half, scored_share=(scores[:, 0] > 0).mean(),
                           load1=os.getloadavg()[0])
                writer.writerow({k: round(v, 4) if isinstance(v, float) else v for k, v in row.items()})
                log.flush()
                print(" ".join(f"{k}={row[k]:.3g}" for k in fields), flush=True)
            return time.perf_counter() - start < limit

    model.learn(total_timesteps=10**12, callback=Progress())
    minutes = (time.perf_counter() - start) / 60.0
    log.close()
    model.save(args.out / "model")
    return model, minutes


def evaluate(args, model):
    """Goals for and against per match of the final policy (sampled) over fresh matches,
    paid the goal reward."""
    from quorvel.envs.sb3 import SB3VecEnv

    env = SB3VecEnv(num_envs=args.eval_matches, **env_options(args, "goals"))
    env.seed(10_000 + args.seed)
    obs = env.reset()
    scores = []
    while len(scores) < args.eval_matches:
        actions, _ = model.predict(obs, deterministic=False)
        obs, _, dones, infos = env.step(actions)
        scores += [info["episode"]["score"] for info in infos if "episode" in info]
    scores = np.array(scores[:args.eval_matches], np.float64)
    mean, half = interval(scores[:, 0] - scores[:, 1])
    return {"matches": len(scores), "goals_for": scores[:, 0].mean(),
            "goals_against": scores[:, 1].mean(), "difference": mean, "difference_95": half,
            "scored_share": float((scores[:, 0] > 0).mean())}


def plot(out):
    """curve.png: goals for and against per match by minute (Pillow only)."""
    from PIL import Image, ImageDraw

    with open(out / "progress.csv") as file:
        rows = [{k: float(v) for k, v in row.items()} for row in csv.DictReader(file)]
    if not rows:
        return
    width, height, margin = 480, 260, 40
    image = Image.new("RGB", (width, height), "white")
    draw = ImageDraw.Draw(image)
    xmax = max(r["minutes"] for r in rows) or 1.0
    ymax = max(max(r["goals_for"], r["goals_against"]) for r in rows) * 1.1 or 1.0

    def at(x, y):
        return (margin + (width - 2 * margin) * x / xmax, height - margin - (height - 2 * margin) * y / ymax)

    draw.line([at(0, 0), at(xmax, 0)], fill="grey")
    draw.line([at(0, 0), at(0, ymax)], fill="grey")
    draw.line([at(0, 1), at(xmax, 1)], fill="#bbbbbb")
    for key, colour in (("goals_for", "#1f77b4"), ("goals_against", "#d62728")):
        points = [at(r["minutes"], r[key]) for r in rows]
        if len(points) > 1:
            draw.line(points, fill=colour, width=2)
        draw.text((margin + 5, 5 + 12 * (key == "goals_against")), key.replace("_", " ") + " a match",
                  fill=colour)
    draw.text((margin - 30, at(0, 1)[1] - 6), "1", fill="black")
    draw.text((margin - 35, margin - 6), f"{ymax:.1f}", fill="black")
    draw.text((width - margin - 10, height - margin + 5), f"{xmax:.1f}", fill="black")
    draw.text((width // 2 - 20, height - 18), "minutes", fill="black")
    image.save(out / "curve.png")


def main():
    args = parse()
    model, minutes = train(args)
    final = evaluate(args, model)
    final.update(minutes=minutes, decisions=int(model.num_timesteps),
                 match_ticks=int(model.num_timesteps) * args.frame_skip,
                 settings={k: (str(v) if isinstance(v, Path) else v) for k, v in vars(args).items()})
    (args.out / "final.json").write_text(json.dumps(final, indent=1) + "\n")
    print(json.dumps(final))
    plot(args.out)


if __name__ == "__main__":
    main()
