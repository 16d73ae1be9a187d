# python/quorvel/_batch.pyi: type stubs of the native batched engine quorvel._batch.
from typing import Literal, Optional, Self, Sequence, TypedDict, final

import numpy as np
import numpy.typing as npt

from _quorvel import EngineConfig, SpectatorFrame

CONFIG_FIELDS: tuple[str, ...]
"""EngineConfig's field names, in the order of its constructor's parameters."""

class EngineFault(BaseException):
    """The internal fault _quorvel raises (a refused configuration at a kick-off, a broken
    invariant); it derives from BaseException directly. One argument: the fault's text."""

def max_players_per_team(config: EngineConfig) -> int:
    """The largest players_per_team that Engine and BatchEngine accept with the rest of
    `config` as it is."""

_Autoreset = Literal["next_step", "same_step", "disabled"]

class _StepInfo(TypedDict, total=False):
    score: npt.NDArray[np.uint32]            # (N, 2): team A's goals, team B's
    tick: npt.NDArray[np.uint32]             # (N,)
    ticks_remaining: npt.NDArray[np.uint32]  # (N,)
    final_obs: npt.NDArray[np.float32]       # (N, 2, OBS), "same_step" only
    final_info: dict[str, npt.NDArray[np.uint32]]
    _final_obs: npt.NDArray[np.bool_]
    _final_info: npt.NDArray[np.bool_]

class _SpectatorArrays(TypedDict):
    players: npt.NDArray[np.float32]  # (N, 2P, 4), team A's players then team B's
    ball: npt.NDArray[np.float32]     # (N, 4)
    score: npt.NDArray[np.uint32]     # (N, 2)
    tick: npt.NDArray[np.uint32]      # (N,)

@final
class BatchEngine:
    """N matches of one configuration, stepped together on a pool of worker threads."""
    num_matches: int
    players_per_team: int
    obs_size: int
    threads: int
    autoreset: _Autoreset
    copy: bool
    config: EngineConfig
    def __new__(cls, config: EngineConfig, num_matches: int, seed: int = 0, *,
                 seeds: Optional[Sequence[int] | npt.NDArray[np.uint64]] = None,
                 threads: int = 0, autoreset: _Autoreset = "next_step",
                 copy: bool = True) -> Self: ...
    def reset(self, seeds: Optional[Sequence[int] | npt.NDArray[np.uint64]] = None,
              mask: Optional[npt.NDArray[np.bool_]] = None) -> npt.NDArray[np.float32]: ...
    def place(self, players: npt.NDArray[np.float32], ball: npt.NDArray[np.float32],
              tick: Optional[npt.NDArray[np.uint32]] = None,
              score: Optional[npt.NDArray[np.uint32]] = None,
              mask: Optional[npt.NDArray[np.bool_]] = None) -> npt.NDArray[np.float32]:
        """Puts the bodies of the matches of `mask` (None: all) where `players` (N, 2P, 4)
        and `ball` (N, 4) say, in the layout and frame of spectator_arrays(), and sets
        their clocks (`tick`, (N,)) and scores (`score`, (N, 2)) where given. Only the
        selected rows are read; everything is checked before any match changes. Returns
        the observations (N, 2, OBS)."""
    def step(self, actions: npt.NDArray[np.float32]) -> tuple[
        npt.NDArray[np.float32], npt.NDArray[np.float32], npt.NDArray[np.bool_],
        npt.NDArray[np.bool_], _StepInfo]: ...
    def spectator(self, i: int) -> SpectatorFrame: ...
    def spectator_arrays(self) -> _SpectatorArrays: ...
