# tests/scripted.py: matches between the scripted teams on the core driver, for the suites that need real play.
from quorvel import core, policies
from quorvel.core.seeding import script_generator


def play_scripted(matches, seed, ticks=None, team_seeds=(1, 2)):
    """Resets `matches` (a core.Matches) from `seed` and has two scripted teams, drawing
    from the streams `team_seeds`, play it `ticks` ticks or to its end. Returns it."""
    matches.reset(seed)
    teams = policies.make("scripted", matches.config), policies.make("scripted", matches.config)
    core.play(matches, teams, [script_generator(s) for s in team_seeds], ticks=ticks)
    return matches


def scripted_match(config, seed, ticks):
    """A one-match driver of `config` after `play_scripted`."""
    return play_scripted(core.Matches(config, 1), seed, ticks)
