"""python/quorvel/envs/__init__.py: the RL front-ends, thin adapters over ``quorvel.core``.

``envs.gymnasium`` (the environments ``import quorvel`` registers with Gymnasium, vector
and self-play included, and their discrete-action wrappers), ``envs.pettingzoo`` (one agent
a player), ``envs.sb3`` (Stable-Baselines3's VecEnv) and ``envs.rllib`` (RLlib's
MultiAgentEnv over a batch of matches, ``quorvel.rllib``). Each needs its framework installed
and is imported only when asked for.
"""
