# python/quorvel/replay/gym_wrapper.py: a Gymnasium wrapper that records the match its environment plays.
"""The wrapper finds the simulation the environment drives (an attribute of
`env.unwrapped` holding an Engine or a one-match BatchEngine) and puts a recording
stand-in in its place, so it sees exactly the commands the engine gets, both teams'
(an opponent policy inside the environment included), and every build and reset."""
import gymnasium

from .env_recorder import RecordingWrapper


class RecordMatch(RecordingWrapper, gymnasium.Wrapper):
    """Records every build, reset and tick of the wrapped environment's match;
    `save(path)` (or close(), when `path` was given) writes the replay file. After
    close(), reset and step raise RuntimeError and closing again does nothing.

    The environment must keep its engine in an attribute of `env.unwrapped` (an Engine
    or a BatchEngine of one match) and its configuration as `config`. The record starts
    at the first reset, which is given a fresh seed when none is asked for, so that the
    match starts from a known seed. An environment that swaps in a new Engine object on
    reset must say which seed built it as `engine_seed`."""

    def __init__(self, env, path=None):
        super().__init__(env)
        self._start_recording(env, path)
