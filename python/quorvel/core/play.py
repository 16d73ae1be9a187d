"""quorvel/match.py: one match between two scripted teams, played tick by tick."""
import time

from _quorvel import Engine, EngineConfig

from .scripted import ScriptedTeam

PROGRESS_EVERY = 1000
"""Ticks between two calls of the progress callback: rare enough to cost nothing."""


def play(seed, players, ticks=None, on_progress=None):
    """Plays until the match is over or `ticks` ticks (if given; 0 plays none) have been played.

    Returns ``(score, ticks_played, seconds)``. `on_progress(played, score)`, if given, is
    called every `PROGRESS_EVERY` ticks. Building the engine raises its internal fault for a
    configuration it refuses.
    """
    config = EngineConfig(players_per_team=players)
    if ticks is not None:
        config.max_ticks = ticks
    team_a, team_b = ScriptedTeam(config, 2 * seed), ScriptedTeam(config, 2 * seed + 1)
    engine = Engine(config, seed)
    obs_a, obs_b = engine.reset()
    start = time.perf_counter()
    played = 0
    # With a match length of 0 the first tick would already end the match: play none.
    while config.max_ticks > 0:
        result = engine.step((team_a.actions(obs_a), team_b.actions(obs_b)))
        played += 1
        if result.done:
            break
        obs_a, obs_b = result.observations
        if on_progress is not None and played % PROGRESS_EVERY == 0:
            on_progress(played, engine.spectator_frame().score)
    elapsed = time.perf_counter() - start
    return engine.spectator_frame().score, played, elapsed
