"""python/quorvel/train: `quorvel train`, a PPO self-play trainer with a rated league, on BatchEngine.

One job per module: ``config`` (the settings), ``network`` (the shared policy and value
network), ``rollout`` (rollout workers: engine, opponents, collection), ``gae``, ``ppo`` (the
clipped loss and the learner), ``league`` (opponent pool and ratings), ``checkpoint``
(saving, resuming, exporting .npz policies), ``logger`` (terminal line, TensorBoard, CSV),
``evaluate`` (matches between two fixed policies) and ``trainer`` (the loop). Importing this
package imports no learning framework; the modules that need torch import it themselves.
"""
