"""python/quorvel/rllib.py: ``quorvel.rllib``, RLlib on quorvel (the ``ray`` extra): see ``quorvel.envs.rllib`` and ``quorvel.envs.rllib_runner``."""
from .envs.rllib import (  # noqa: F401
    EntryTeamReturns,
    RefreshOpponent,
    SelfPlayVector,
    SoccerMultiAgentEnv,
    TeamReturns,
    agent_returns,
    env_creator,
    learner_and_opponent,
    match_of,
    self_play,
    shared_policy,
    team_of,
    vector_self_play,
)
from .envs.rllib_runner import BatchEnvRunner, batch_self_play  # noqa: F401

__all__ = ["SoccerMultiAgentEnv", "TeamReturns", "RefreshOpponent", "self_play", "shared_policy",
           "learner_and_opponent", "agent_returns", "team_of", "match_of", "env_creator",
           "SelfPlayVector", "EntryTeamReturns", "vector_self_play", "BatchEnvRunner", "batch_self_play"]
