# tests/test_engine.py: the Engine class from Python: construction, methods, access rule.
import sys

import pytest

import _quorvel as q

DEFAULT = q.EngineConfig


def noop_pair(n=3):
    team = q.Actions([q.Action.noop()] * n)
    return (team, team)


def frame_state(frame):
    """Everything a spectator frame shows, as plain values."""
    return (frame.tick, frame.score, frame.ball.position, frame.ball.velocity,
            [(p.team, p.position, p.velocity) for p in frame.players])


class Index:
    def __init__(self, value, hook=None):
        self.value, self.hook = value, hook

    def __index__(self):
        if self.hook:
            self.hook()
        return self.value


# ---- construction -----------------------------------------------------------------

@pytest.mark.parametrize("seed", [0, 1, 2**64 - 1, True, Index(5)])
def test_accepted_seeds(seed):
    q.Engine(DEFAULT(), seed)


def test_seed_true_is_one_and_index_is_used():
    frame = lambda seed: frame_state(q.Engine(DEFAULT(), seed).spectator_frame())
    assert frame(True) == frame(1)
    assert frame(Index(5)) == frame(5)
    assert frame(0) != frame(1)


@pytest.mark.parametrize("seed, error", [
    (-1, OverflowError), (2**64, OverflowError), (1.0, TypeError), ("3", TypeError),
    (None, TypeError),
])
def test_refused_seeds_name_the_argument(seed, error):
    with pytest.raises(error) as info:
        q.Engine(DEFAULT(), seed)
    assert any("seed" in note for note in info.value.__notes__)


@pytest.mark.parametrize("args, kwargs", [
    ((), {}), ((DEFAULT(),), {}), ((DEFAULT(), 1, 2), {}),
    ((DEFAULT(),), {"seed": 1, "config": DEFAULT()}), ((), {"config": DEFAULT(), "sed": 1}),
])
def test_binding_errors(args, kwargs):
    with pytest.raises(TypeError):
        q.Engine(*args, **kwargs)


def test_keywords_accepted():
    q.Engine(seed=3, config=DEFAULT())


def test_config_error_wins_over_seed_error():
    with pytest.raises(TypeError) as info:
        q.Engine(None, -1)
    assert any("config" in note for note in info.value.__notes__)


def test_configuration_is_copied():
    config = DEFAULT()
    engine = q.Engine(config, 7)
    before = frame_state(engine.spectator_frame())
    config.field_width = 80.0
    assert frame_state(q.Engine(DEFAULT(), 7).spectator_frame()) == before
    assert frame_state(engine.spectator_frame()) == before
    # A later engine built from the same object sees the change.
    assert frame_state(q.Engine(config, 7).spectator_frame()) != before


# ---- methods ------------------------------------------------------------------------

def test_class_shape():
    assert q.Engine.__text_signature__ == "(config, seed)"
    assert [m for m in ("reset", "step", "spectator_frame") if hasattr(q.Engine, m)] == [
        "reset", "step", "spectator_frame"]
    assert q.Engine.step.__text_signature__ == "($self, actions)"
    assert q.Engine.reset.__doc__ == (
        "Remet le match à zéro (nouveau coup d'envoi) et renvoie l'observation\n"
        "initiale des deux équipes : `(observation_a, observation_b)`.")
    assert q.Engine.step.__doc__ == (
        "Un pas de simulation. `actions` : `(actions_équipe_a, actions_équipe_b)`.")
    assert q.Engine.spectator_frame.__doc__ == (
        "État absolu du match au tick courant (jamais mirroré) — pour\n"
        "visualiser localement, indépendamment de ce que `step()` renvoie aux\n"
        "deux équipes.")


@pytest.mark.parametrize("call", [
    lambda e: e.reset(1), lambda e: e.spectator_frame(None), lambda e: e.step(),
    lambda e: e.step(noop_pair(), noop_pair()), lambda e: e.step(action=noop_pair()),
    lambda e: e.step(noop_pair(), actions=noop_pair()),
])
def test_method_binding_errors(call):
    engine = q.Engine(DEFAULT(), 0)
    with pytest.raises(TypeError):
        call(engine)
    assert engine.spectator_frame().tick == 0


def test_step_by_keyword():
    engine = q.Engine(DEFAULT(), 0)
    assert engine.step(actions=noop_pair()).info.tick == 1


@pytest.mark.parametrize("actions, error", [
    (list(noop_pair()), TypeError), (noop_pair()[:1], ValueError),
    (noop_pair() + noop_pair()[:1], ValueError), ((q.Actions([]), 1), TypeError),
    ((q.Action(), q.Actions([])), TypeError), (None, TypeError),
])
def test_malformed_actions_leave_engine_untouched(actions, error):
    engine = q.Engine(DEFAULT(), 0)
    engine.step(noop_pair())
    before = frame_state(engine.spectator_frame())
    with pytest.raises(error) as info:
        engine.step(actions)
    assert any("actions" in note for note in info.value.__notes__)
    assert frame_state(engine.spectator_frame()) == before


def test_tuple_subclass_and_same_object_twice():
    class Pair(tuple):
        pass

    team = q.Actions([q.Action((1.0, 0.0))] * 5)  # longer than the team
    engine = q.Engine(DEFAULT(), 0)
    engine.step(Pair((team, team)))
    frame = engine.spectator_frame()
    vx = [p.velocity[0] for p in frame.players]
    assert all(v > 0 for v in vx[:3]) and all(v < 0 for v in vx[3:])


def test_reset_returns_fresh_pair_and_restarts():
    engine = q.Engine(DEFAULT(max_ticks=5), 0)
    for _ in range(6):
        result = engine.step(noop_pair())
    assert result.done and result.info.tick == 6
    first, second = engine.reset(), engine.reset()
    assert type(first) is tuple and len(first) == 2
    assert first[0] is not first[1] and first[0] is not second[0]
    assert all(type(o) is q.Observation for o in first)
    assert [o.score for o in first] == [(0, 0), (0, 0)]
    assert [o.ticks_remaining for o in first] == [5, 5]
    assert engine.spectator_frame().tick == 0
    assert engine.step(noop_pair()).info.tick == 1


def test_spectator_frame_reads_only():
    engine = q.Engine(DEFAULT(), 3)
    engine.step((q.Actions([q.Action((1.0, 1.0))] * 3), q.Actions([])))
    a, b = engine.spectator_frame(), engine.spectator_frame()
    assert a is not b and a != b
    assert frame_state(a) == frame_state(b)


def test_same_seed_same_match():
    def play(seed):
        engine = q.Engine(DEFAULT(), seed)
        team = q.Actions([q.Action((0.3, -0.2), (1.0, 0.5)), q.Action((-1.0, 0.0))])
        states = []
        for _ in range(200):
            engine.step((team, team))
            states.append(frame_state(engine.spectator_frame()))
        engine.reset()
        states.append(frame_state(engine.spectator_frame()))
        return states

    assert play(11) == play(11)
    assert play(11) != play(12)


# ---- access rule and re-entry -------------------------------------------------------

def test_no_reference_leaks_on_arguments():
    config = DEFAULT()
    pair = noop_pair()
    counts = (sys.getrefcount(config), sys.getrefcount(pair), sys.getrefcount(pair[0]))
    engine = q.Engine(config, 0)
    for _ in range(100):
        engine.step(pair)
        with pytest.raises(ValueError):
            engine.step(pair[:1])
    assert (sys.getrefcount(config), sys.getrefcount(pair), sys.getrefcount(pair[0])) == counts
