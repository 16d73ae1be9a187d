"""python/quorvel/train/gae.py: generalised advantage estimation over a rollout, with time-limit bootstrapping."""
import numpy as np


def gae(rewards, values, next_values, terminated, ended, gamma, lam):
    """Advantages and returns, arrays shaped like `rewards` (T, ...).

    `values[t]` is V(s_t); `next_values[t]` is V of the state step t led to (the state before
    any reset, so a match cut by its time limit still bootstraps); `terminated[t]` marks a
    step after which nothing more is earned (no bootstrap), `ended[t]` one after which a new
    episode begins (the advantage recursion stops). Flags broadcast against `rewards`.
    """
    rewards = np.asarray(rewards, np.float32)
    alive = 1.0 - np.broadcast_to(np.asarray(terminated, np.float32), rewards.shape)
    going = 1.0 - np.broadcast_to(np.asarray(ended, np.float32), rewards.shape)
    deltas = rewards + gamma * next_values * alive - values
    advantages = np.zeros_like(rewards)
    running = np.zeros_like(rewards[0])
    for t in range(rewards.shape[0] - 1, -1, -1):
        running = deltas[t] + gamma * lam * going[t] * running
        advantages[t] = running
    return advantages, advantages + values
