"""python/quorvel/discrete.py: discrete actions for the Gymnasium environments: 27 choices a player, turned into the continuous commands.

A player's choice is ``move * 3 + kick``:

- move 0 stands still; moves 1 to 8 run at full speed east, north-east, north, north-west,
  west, south-west, south, south-east of the team's own frame (east is towards the
  opponents' goal);
- kick 0 does not kick; kick 1 kicks at full strength from the ball towards the centre of
  the opponents' goal; kick 2 kicks at full strength along the line from the player to
  the ball, pushing the ball straight on.

Why these: a kick only acts when the ball is within reach, where the two directions
that matter are "at goal" (a shot) and "straight on" (a dribble, a pass up the line
or a clearance, whichever way the player came at the ball); fixed compass kicks would
mostly shoot the ball in useless directions. Both kick directions are computed from the
current observation, so the policy needs no geometry of its own. Standing is kept so that
a player can hold a position, and the 8 moves give every direction within 22.5 degrees.
Moving and kicking are independent, as in the engine, hence 9 x 3 choices.
"""
import numpy as np

from .extras import needs
from .layout import ball_offset

with needs("gym", "quorvel.discrete"):
    import gymnasium
    from gymnasium import spaces

CHOICES = 27
_DIAGONAL = float(np.sqrt(0.5))
MOVES = np.array([[0.0, 0.0], [1.0, 0.0], [_DIAGONAL, _DIAGONAL], [0.0, 1.0],
                  [-_DIAGONAL, _DIAGONAL], [-1.0, 0.0], [-_DIAGONAL, -_DIAGONAL], [0.0, -1.0],
                  [_DIAGONAL, -_DIAGONAL]], np.float32)


class DiscreteCodec:
    """Turns choices (n, P) and the team observations they answer (n, 8P + 4) into
    commands (n, P, 4)."""

    def __init__(self, config):
        self.players = int(config.players_per_team)
        self.half = np.array([0.5 * float(config.field_width), 0.5 * float(config.field_height)])
        self.ball = ball_offset(self.players)

    def __call__(self, choices, obs):
        """The commands (n, P, 4) of `choices` (n, P) given the observations (n, 8P + 4);
        ValueError for a wrong shape or a choice outside [0, 27)."""
        choices = np.asarray(choices)
        n, p = obs.shape[0], self.players
        if choices.shape != (n, p):
            raise ValueError(f"actions: expected shape {(n, p)}, got {choices.shape}")
        if not np.issubdtype(choices.dtype, np.integer) or choices.min(initial=0) < 0 \
                or choices.max(initial=0) >= CHOICES:
            raise ValueError(f"actions: expected integers in [0, {CHOICES})")
        move, kick = np.divmod(choices, 3)
        out = np.zeros((n, p, 4), np.float32)
        out[:, :, :2] = MOVES[move]
        ball = obs[:, self.ball:self.ball + 2] * self.half                    # (n, 2)
        players = obs[:, :4 * p].reshape(n, p, 4)[:, :, :2] * self.half       # (n, P, 2)
        at_goal = np.array([self.half[0], 0.0]) - ball                        # (n, 2)
        straight = ball[:, None, :] - players                                 # (n, P, 2)
        direction = np.where((kick == 1)[:, :, None], at_goal[:, None, :], straight)
        length = np.hypot(direction[:, :, 0], direction[:, :, 1])[:, :, None]
        unit = np.divide(direction, length, out=np.zeros_like(direction), where=length > 0)
        out[:, :, 2:] = np.where((kick > 0)[:, :, None], unit, 0.0)
        return out


class DiscreteActions(gymnasium.Wrapper):
    """Gives ``quorvel/Soccer-v0`` the action space MultiDiscrete([27] * P)."""

    def __init__(self, env):
        super().__init__(env)
        self._codec = DiscreteCodec(env.unwrapped.config)
        self.action_space = spaces.MultiDiscrete([CHOICES] * self._codec.players)
        self._obs = None

    def reset(self, **kwargs):
        """Resets the environment, keeping the observation the next choices answer."""
        obs, info = self.env.reset(**kwargs)
        self._obs = obs
        return obs, info

    def step(self, action):
        """Steps with the commands of `action`, one choice per player."""
        result = self.env.step(self._codec(np.asarray(action)[None], self._obs[None])[0])
        self._obs = result[0]
        return result


class DiscreteVectorActions(gymnasium.vector.VectorWrapper):
    """The same choices for the vector and self-play environments:
    MultiDiscrete of shape (num_envs, P)."""

    def __init__(self, env):
        super().__init__(env)
        self._codec = DiscreteCodec(env.unwrapped.config)
        p = self._codec.players
        self.single_action_space = spaces.MultiDiscrete([CHOICES] * p)
        self.action_space = spaces.MultiDiscrete(np.full((env.num_envs, p), CHOICES))
        self._obs = None

    def reset(self, **kwargs):
        """Resets the environments, keeping the observations the next choices answer."""
        obs, info = self.env.reset(**kwargs)
        self._obs = obs
        return obs, info

    def step(self, actions):
        """Steps with the commands of `actions`, (num_envs, P) choices."""
        result = self.env.step(self._codec(actions, self._obs))
        self._obs = result[0]
        return result
