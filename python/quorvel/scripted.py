"""Scripted team: every player runs to the ball; the one nearest to it kicks at goal.

Works in the team's own observation frame, where the opponents' goal is at x = +1,
so the same policy plays either side.
"""
from _quorvel import Action, Actions


def scripted_actions(observation, half_length, half_width):
    """Commands for every player of the observed team."""
    bx, by = observation.ball.position
    players = [p.position for p in observation.self_team]
    if not players:
        return Actions([])
    distances = [((bx - x) * half_length) ** 2 + ((by - y) * half_width) ** 2
                 for x, y in players]
    kicker = distances.index(min(distances))
    kick_at_goal = ((1.0 - bx) * half_length, (0.0 - by) * half_width)
    commands = []
    for i, (x, y) in enumerate(players):
        run_to_ball = ((bx - x) * half_length, (by - y) * half_width)
        commands.append(Action(run_to_ball, kick_at_goal if i == kicker else None))
    return Actions(commands)
