"""python/quorvel/train/shaping.py: potential-based reward shaping over team observations.

The potential of a state for a team, with x the ball's position towards the opponents' goal
in half-lengths (-1 at the own goal line, +1 at theirs) and d the distance from the ball to
the team's nearest player in half-lengths:

    phi(s) = shaping_ball * x - shaping_near * d

and each decision earns ``gamma * phi(s') - phi(s)`` beside its goals. Such a term changes
no policy's ranking (Ng, Harada and Russell, 1999): it only tells the learner sooner that
a move was good. The defaults (0.1 and 0.05) keep a whole run of the ball from one goal line
to the other (0.2) well below one goal (1), so goals stay what the learner is after.
"""
import numpy as np

from ..core.layout import ball_offset


class Potential:
    """Callable: team observations (n, 8P + 4) -> potentials (n,) float32."""

    def __init__(self, config, ball_weight, near_weight):
        self.players = int(config.players_per_team)
        self.ball = ball_offset(self.players)
        self.aspect = float(config.field_height) / float(config.field_width)
        self.ball_weight, self.near_weight = float(ball_weight), float(near_weight)

    def __call__(self, obs):
        p, b = self.players, self.ball
        dx = obs[:, 0:4 * p:4] - obs[:, b:b + 1]
        dy = (obs[:, 1:4 * p:4] - obs[:, b + 1:b + 2]) * self.aspect
        nearest = np.sqrt(dx * dx + dy * dy).min(axis=1) if p else np.zeros(len(obs), np.float32)
        return (self.ball_weight * obs[:, b] - self.near_weight * nearest).astype(np.float32)
