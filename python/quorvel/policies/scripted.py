"""Scripted team: the player nearest to the ball gets behind it and kicks at goal; the
others spread out between the ball and their own goal.

Works in the team's own observation frame, where the opponents' goal is at x = +1,
so the same policy plays either side. Each team draws its own random aim and timing
from a seeded generator: two identical deterministic teams facing each other would
otherwise kick the ball with equal and opposite force for ever.
"""
import math
import random

from _quorvel import Action, Actions


class ScriptedTeam:
    """One scripted team for the object API, drawing its aim and timing from `seed`."""

    def __init__(self, config, seed):
        self.half_length = config.field_width / 2
        self.half_width = config.field_height / 2
        self.mouth = 0.8 * config.goal_width / 2          # aim inside the mouth
        self.reach = config.player_radius + config.ball_radius
        self.rng = random.Random(seed)

    def actions(self, observation):
        """Commands for every player of the observed team."""
        hl, hw = self.half_length, self.half_width
        # Work in field units, centred on the centre spot, attacking +x.
        bx, by = (c * s for c, s in zip(observation.ball.position, (hl, hw)))
        players = [(x * hl, y * hw) for x, y in (p.position for p in observation.self_team)]
        if not players:
            return Actions([])
        kicker = min(range(len(players)),
                     key=lambda i: (players[i][0] - bx) ** 2 + (players[i][1] - by) ** 2)
        aim = (hl - bx, self.rng.uniform(-self.mouth, self.mouth) - by)
        norm = math.hypot(*aim) or 1.0
        ux, uy = aim[0] / norm, aim[1] / norm
        commands = []
        for i, (x, y) in enumerate(players):
            if i == kicker:
                # Get to the spot behind the ball, then run through it towards goal.
                sx, sy = bx - ux * self.reach * 1.5, by - uy * self.reach * 1.5
                behind = (x - bx) * ux + (y - by) * uy < 0
                tx, ty = (bx + ux, by + uy) if behind else (sx, sy - math.copysign(1.0, y - by))
                kick = aim if self.rng.random() < 0.5 else None
                commands.append(Action((tx - x, ty - y), kick))
            else:
                # Support: spread across the field, between the ball and the own goal.
                tx = 0.5 * (bx - hl)
                ty = (i - 0.5 * len(players)) * 0.6 * hw / max(1, len(players) - 1)
                commands.append(Action((tx - x, ty - y), None))
        return Actions(commands)
