# tests/test_actions.py: Action and Actions: constructors, text form, noop, and extraction of the players list.
import gc
import inspect
import math
import sys

import pytest

import _quorvel

if not hasattr(_quorvel, "Actions"):
    pytest.skip("Action and Actions are not registered yet", allow_module_level=True)
Action, Actions = _quorvel.Action, _quorvel.Actions

NOOP_TEXT = "Action(move_dir=(0.0, 0.0), kick=None)"


class Boom(Exception):
    pass


class Index:
    def __index__(self):
        return 2


class Pair(tuple):
    pass


class Seq:
    """A sequence by indexing alone; `length` may lie or raise, `fail_at` makes indexing raise."""

    def __init__(self, items, length=None, fail_at=None):
        self.items, self.length, self.fail_at = items, length, fail_at

    def __len__(self):
        if self.length is Boom:
            raise Boom("no length")
        return len(self.items) if self.length is None else self.length

    def __getitem__(self, i):
        if i == self.fail_at:
            raise Boom("broken item")
        return self.items[i]


class IterFails(list):
    """A list whose iterator raises after its first item."""

    def __iter__(self):
        yield self[0]
        raise Boom("broken iterator")


def contents(action):
    """What an Action holds, exactly: reprs tell -0.0, NaN and int apart from 0.0 and each other."""
    return repr((action.move_dir, action.kick))


@pytest.mark.parametrize("args, kwargs, move_dir, kick, text", [
    ((), {}, (0.0, 0.0), None, NOOP_TEXT),
    ((), {"kick": None}, (0.0, 0.0), None, NOOP_TEXT),
    (((1, 0),), {}, (1.0, 0.0), None, "Action(move_dir=(1.0, 0.0), kick=None)"),
    (((0.5, -0.5), (3.0, 1.0)), {}, (0.5, -0.5), (3.0, 1.0),
     "Action(move_dir=(0.5, -0.5), kick=Some((3.0, 1.0)))"),
    ((), {"move_dir": (0.5, -0.5), "kick": (3.0, 1.0)}, (0.5, -0.5), (3.0, 1.0),
     "Action(move_dir=(0.5, -0.5), kick=Some((3.0, 1.0)))"),
    ((), {"kick": (0, 0)}, (0.0, 0.0), (0.0, 0.0), "Action(move_dir=(0.0, 0.0), kick=Some((0.0, 0.0)))"),
    (((0.1, 0.0),), {}, (0.10000000149011612, 0.0), None, "Action(move_dir=(0.1, 0.0), kick=None)"),
    (((0.00001, 20000000000000000.0),), {}, (9.999999747378752e-06, 2.000000054512845e16), None,
     "Action(move_dir=(1e-5, 2e16), kick=None)"),
    (((0.0001, 0.0),), {}, (9.999999747378752e-05, 0.0), None, "Action(move_dir=(0.0001, 0.0), kick=None)"),
    (((2.0, 0.0),), {}, (2.0, 0.0), None, "Action(move_dir=(2.0, 0.0), kick=None)"),
    (((-0.0, 1e300),), {"kick": (2.5e-7, -1e16)}, (-0.0, math.inf), (2.499999993688107e-07, -1.0000000272564224e16),
     "Action(move_dir=(-0.0, inf), kick=Some((2.5e-7, -1e16)))"),
    (((True, Index()),), {}, (1.0, 2.0), None, "Action(move_dir=(1.0, 2.0), kick=None)"),
    ((Pair((1.5, 123456.79)),), {}, (1.5, 123456.7890625), None,
     "Action(move_dir=(1.5, 123456.79), kick=None)"),
])
def test_constructor_and_text_form(args, kwargs, move_dir, kick, text):
    action = Action(*args, **kwargs)
    assert contents(action) == repr((move_dir, kick))
    assert repr(action) == text
    assert str(action) == text


def test_text_form_of_non_finite_numbers():
    assert repr(Action((math.nan, -math.inf), (-math.nan, math.inf))) == \
        "Action(move_dir=(NaN, -inf), kick=Some((NaN, inf)))"


@pytest.mark.parametrize("args, kwargs, error, name", [
    (([1, 0],), {}, TypeError, "move_dir"),
    ((None,), {}, TypeError, "move_dir"),
    ((1.0,), {}, TypeError, "move_dir"),
    ((("a", 0),), {}, TypeError, "move_dir"),
    (((1, 0, 0),), {}, ValueError, "move_dir"),
    (((1,),), {}, ValueError, "move_dir"),
    (((),), {}, ValueError, "move_dir"),
    (((10**400, 0),), {}, OverflowError, "move_dir"),
    ((), {"kick": [1, 0]}, TypeError, "kick"),
    ((), {"kick": (0, None)}, TypeError, "kick"),
    ((), {"kick": (1, 2, 3)}, ValueError, "kick"),
    ((), {"kick": (0, -(10**400))}, OverflowError, "kick"),
    (((0, 0), 5), {}, TypeError, "kick"),
    (([1], [1]), {}, TypeError, "move_dir"),  # move_dir is converted first
])
def test_refused_vectors_name_the_parameter(raises_noted, args, kwargs, error, name):
    with raises_noted(error, name):
        Action(*args, **kwargs)


@pytest.mark.parametrize("call", [
    lambda: Action((0, 0), None, None),
    lambda: Action(move=(0, 0)),
    lambda: Action((0, 0), move_dir=(0, 0)),
    lambda: Action.noop(None),
    lambda: Actions(),
    lambda: Actions([], []),
    lambda: Actions(player=[]),
    lambda: Actions([], players=[]),
])
def test_binding_errors(call):
    with pytest.raises(TypeError):
        call()


def test_noop():
    first, second, from_object = Action.noop(), Action.noop(), Action().noop()
    assert isinstance(vars(Action)["noop"], staticmethod)
    for action in (first, second, from_object):
        assert type(action) is Action and repr(action) == NOOP_TEXT
        assert contents(action) == contents(Action())
    assert first is not second and first != second
    assert Action.noop.__text_signature__ == "()"
    assert "NOOP" in Action.noop.__doc__


def test_signatures():
    assert not Action.__doc__ and not Actions.__doc__
    action = inspect.signature(Action).parameters
    assert [(p.name, p.kind, p.default) for p in action.values()] == [
        ("move_dir", inspect.Parameter.POSITIONAL_OR_KEYWORD, ...),
        ("kick", inspect.Parameter.POSITIONAL_OR_KEYWORD, None),
    ]
    assert str(inspect.signature(Actions)) == "(players)"
    assert {k for k in vars(Action) if not k.startswith("__")} == {"move_dir", "kick", "noop"}
    assert {k for k in vars(Actions) if not k.startswith("__")} == {"players"}


@pytest.mark.parametrize("obj, attr", [(lambda: Action(), "move_dir"), (lambda: Action(), "kick"),
                                       (lambda: Actions([]), "players")])
def test_attributes_are_read_only(obj, attr):
    target = obj()
    with pytest.raises(AttributeError):
        setattr(target, attr, (1.0, 1.0))
    with pytest.raises(AttributeError):
        delattr(target, attr)


A, B = Action((1.0, 2.0)), Action((3.0, 4.0), (5.0, 6.0))


@pytest.mark.parametrize("players, expected", [
    ([], []),
    ((), []),
    (range(0), []),
    ([A], [A]),
    ((A, B, A), [A, B, A]),
    (Seq([B, A]), [B, A]),
    (Seq([A, B], length=100), [A, B]),  # the length is only a hint
    (Seq([A], length=Boom), [A]),  # a failing length is ignored
    (Pair((B,)), [B]),
], ids=["list", "tuple", "range", "one", "repeated", "indexing", "long-hint", "no-length", "tuple-subclass"])
def test_players_extraction(players, expected):
    for actions in (Actions(players), Actions(players=players)):
        got = actions.players
        assert type(got) is list and all(type(a) is Action for a in got)
        assert [contents(a) for a in got] == [contents(a) for a in expected]


@pytest.mark.parametrize("players, error", [
    ("", TypeError),
    ("ab", TypeError),
    (type("Text", (str,), {})(""), TypeError),
    (None, TypeError),
    (5, TypeError),
    ({}, TypeError),
    ({A: 1}, TypeError),
    ({A}, TypeError),
    ((a for a in [A]), TypeError),
    (iter([A]), TypeError),
    ([A, 1], TypeError),
    ([None], TypeError),
    ((A, Actions([A])), TypeError),
    (Seq([A, B], fail_at=1), Boom),
    (IterFails([A, B]), Boom),
], ids=["empty-str", "str", "str-subclass", "None", "int", "dict", "dict-of-actions", "set",
        "generator", "iterator", "int-item", "None-item", "Actions-item", "indexing-raises", "iterator-raises"])
def test_refused_players_name_the_parameter(raises_noted, players, error):
    with raises_noted(error, "players"):
        Actions(players)


def test_actions_copy_their_records():
    source = [A, B]
    actions = Actions(source)
    source.append(Action())
    source[0] = Action((9.0, 9.0))
    first, second = actions.players, actions.players
    assert first is not second
    assert all(x is not y for x, y in zip(first, second))
    assert first[0] is not A and first[1] is not B
    assert [contents(a) for a in first] == [contents(A), contents(B)]
    first.clear()
    assert len(actions.players) == 2


def test_extraction_keeps_no_reference():
    action, vector = Action(), (0.5, Index())
    refused = [
        (TypeError, lambda: Actions([action, 1])),
        (Boom, lambda: Actions(Seq([action, action], fail_at=1))),
        (Boom, lambda: Actions(IterFails([action, action]))),
        (ValueError, lambda: Action(vector, (1, 2, 3))),
    ]
    before = sys.getrefcount(action), sys.getrefcount(vector), sys.getrefcount(vector[1])
    for _ in range(100):
        Actions([action, action]).players
        Action(vector, vector)
        for error, call in refused:
            with pytest.raises(error):
                call()
    gc.collect()  # tracebacks of the refused calls hold the arguments in cycles
    assert (sys.getrefcount(action), sys.getrefcount(vector), sys.getrefcount(vector[1])) == before
