#!/usr/bin/env python3
"""tools/plot_training.py: the curves of a `quorvel train` run as a small PNG: goal difference
against each evaluated opponent (with its 95 % interval) and the learner's rating, by minute.

    python tools/plot_training.py RUN_DIR OUT.png [--title TEXT]

Draws with matplotlib when it is installed, else with Pillow (plainer, same numbers).
"""
import argparse
import csv
from pathlib import Path

COLOURS = ["#1f77b4", "#d62728", "#2ca02c", "#9467bd", "#ff7f0e"]


def read(run):
    with open(Path(run) / "eval.csv") as file:
        evals = list(csv.DictReader(file))
    with open(Path(run) / "progress.csv") as file:
        progress = list(csv.DictReader(file))
    curves = {}
    for row in evals:
        curves.setdefault(row["opponent"], []).append(
            (float(row["minutes"]), float(row["goal_difference"]), float(row["low"]),
             float(row["high"])))
    rating = [(float(row["minutes"]), float(row["rating"])) for row in progress]
    return curves, rating


def with_matplotlib(curves, rating, out, title):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, (top, bottom) = plt.subplots(2, 1, figsize=(6, 4.5), sharex=True, dpi=100,
                                      height_ratios=[2, 1])
    for colour, (name, points) in zip(COLOURS, curves.items()):
        x, y, low, high = zip(*points)
        top.plot(x, y, "o-", color=colour, label=f"vs {name}", markersize=3)
        top.fill_between(x, low, high, color=colour, alpha=0.2)
    top.axhline(0.0, color="grey", linewidth=0.8)
    top.set_ylabel("goals a match (diff.)")
    top.legend(loc="upper left", fontsize=8)
    top.set_title(title, fontsize=10)
    x, y = zip(*rating)
    bottom.plot(x, y, color="black", linewidth=1)
    bottom.set_ylabel("rating (mu)")
    bottom.set_xlabel("minutes")
    fig.tight_layout()
    fig.savefig(out)


def with_pillow(curves, rating, out, title):
    from PIL import Image, ImageDraw

    width, height, margin = 600, 300, 40
    image = Image.new("RGB", (width, height), "white")
    draw = ImageDraw.Draw(image)
    points = [p for c in curves.values() for p in c]
    xmax = max([p[0] for p in points] + [1e-9])
    ymin, ymax = min([p[2] for p in points] + [0.0]), max([p[3] for p in points] + [0.0])
    ymax = ymax if ymax > ymin else ymin + 1

    def at(x, y):
        return (margin + (width - 2 * margin) * x / xmax,
                height - margin - (height - 2 * margin) * (y - ymin) / (ymax - ymin))

    draw.line([at(0, 0), at(xmax, 0)], fill="grey")
    for n, (colour, (name, curve)) in enumerate(zip(COLOURS, curves.items())):
        draw.line([at(x, y) for x, y, _, _ in curve], fill=colour, width=2)
        for x, _, low, high in curve:
            draw.line([at(x, low), at(x, high)], fill=colour)
        draw.text((margin + 5, 5 + 12 * n), f"vs {name}", fill=colour)
    draw.text((width // 2 - 60, 5), title, fill="black")
    draw.text((width // 2, height - 15), "minutes", fill="black")
    image.save(out)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("run")
    parser.add_argument("out")
    parser.add_argument("--title", default="")
    args = parser.parse_args()
    curves, rating = read(args.run)
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        with_pillow(curves, rating, args.out, args.title)
    else:
        with_matplotlib(curves, rating, args.out, args.title)


if __name__ == "__main__":
    main()
