"""python/quorvel/core/__init__.py: the core every front-end stands on, with numpy and BatchEngine only (no framework).

- ``layout``: the observation and action arrays and their bounds;
- ``matches.Matches``: the driver of N matches on one BatchEngine, with the seeding every
  front-end shares and the hooks (``hooks.MatchHook``) told of everything played;
- ``play.play``: two policies (``play.TeamPolicy``) play a driver's matches to their end;
- ``arrays``: the array and seed types the signatures name;
- ``seeding``, ``checks``: seeds, reset masks, actions and counts as callers hand them;
- ``decisions.Decisions``: a learner's decisions over a driver, with the options every
  front-end takes (``LearnerOptions``): ``rewards`` (goals, potential-based shaping,
  ``Shaped``'s weights), ``observations`` (the team and egocentric layouts, their bounds),
  frame skip and discrete actions (``action_choices``);
- ``egocentric``, ``action_choices``: the per-player rows and discrete choices the trainer
  and the options share;
- ``config``: EngineConfig's fields, copies and pickling.
"""
from .checks import checked_actions, engine_actions, whole_number
from .hooks import MatchHook
from .matches import Matches
from .play import TeamPolicy, play
from .rewards import Shaped, make_reward
from .decisions import Decisions, LearnerOptions

__all__ = ["Decisions", "LearnerOptions", "MatchHook", "Matches", "Shaped", "TeamPolicy",
           "checked_actions", "engine_actions", "make_reward", "play", "whole_number"]
