"""python/quorvel/core/__init__.py: the core every front-end stands on, with numpy and BatchEngine only (no framework).

- ``layout``: the observation and action arrays and their bounds;
- ``matches.Matches``: the driver of N matches on one BatchEngine, with the seeding every
  front-end shares and the hooks (``hooks.MatchHook``) told of everything played;
- ``play.play``: two policies (``play.TeamPolicy``) play a driver's matches to their end;
- ``arrays``: the array and seed types the signatures name;
- ``seeding``, ``checks``: seeds, reset masks, actions and counts as callers hand them;
- ``discrete``: 27 discrete choices a player, turned into commands;
- ``config``: EngineConfig's fields, copies and pickling.
"""
from .checks import checked_actions, engine_actions, whole_number
from .hooks import MatchHook
from .matches import Matches
from .play import TeamPolicy, play

__all__ = ["MatchHook", "Matches", "TeamPolicy", "checked_actions", "engine_actions", "play",
           "whole_number"]
