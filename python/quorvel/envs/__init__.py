"""python/quorvel/envs/__init__.py: the RL front-ends, thin adapters over ``quorvel.core``.

``envs.gymnasium`` (the environments ``import quorvel`` registers with Gymnasium, vector
and self-play included, and their discrete-action wrappers), ``envs.pettingzoo`` (one agent
a player) and ``envs.sb3`` (Stable-Baselines3's VecEnv). Each needs its framework installed
and is imported only when asked for.
"""
