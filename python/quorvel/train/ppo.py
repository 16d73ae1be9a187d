"""python/quorvel/train/ppo.py: PPO's clipped loss and the learner that applies it to a rollout.

The learner holds the network and its optimiser and nothing of the matches: it takes a
worker's rollout (numpy arrays), computes advantages and returns (``gae``) and makes
``epochs`` passes of ``minibatches`` minibatches over the rows (one row per player and
decision). Minibatches are drawn from a numpy generator that the learner owns, so that a
run replays exactly from its seed and a checkpoint.
"""
import numpy as np
import torch

from .gae import gae
from .network import PolicyNet


def clipped_surrogate(new_logp, old_logp, advantages, clip):
    """PPO's clipped policy loss (to minimise): -mean(min(r A, clip(r, 1 - c, 1 + c) A))."""
    ratio = torch.exp(new_logp - old_logp)
    unclipped = ratio * advantages
    clipped = torch.clamp(ratio, 1.0 - clip, 1.0 + clip) * advantages
    return -torch.min(unclipped, clipped).mean()


def entropy(logp):
    """Entropy of each row of log-probabilities."""
    return -(logp.exp() * logp).sum(-1)


class Learner:
    def __init__(self, cfg, features, moves):
        self.cfg = cfg
        torch.manual_seed(cfg.seed)
        self.net = PolicyNet(features, cfg.hidden, moves)
        self.optimizer = torch.optim.Adam(self.net.parameters(), lr=cfg.lr, eps=1e-5)
        self.rng = np.random.default_rng([cfg.seed, 13])
        self.updates = 0

    def weights(self):
        """A copy of the network's weights as numpy arrays, for the workers."""
        return {name: value.detach().numpy().copy() for name, value in self.net.state_dict().items()}

    def state(self):
        return {"net": self.net.state_dict(), "optimizer": self.optimizer.state_dict(),
                "rng": self.rng.bit_generator.state, "updates": self.updates}

    def load_state(self, state):
        self.net.load_state_dict(state["net"])
        self.optimizer.load_state_dict(state["optimizer"])
        self.rng.bit_generator.state = state["rng"]
        self.updates = int(state["updates"])

    def advantages(self, batch):
        """(advantages, returns), each (T, E, P): one team reward for all its players."""
        values = batch["values"]
        next_values = np.concatenate([values[1:], batch["last_values"][None]], axis=0)
        rewards = np.broadcast_to(batch["rewards"][:, :, None], values.shape)
        ended = batch["ended"][:, None, None]
        return gae(rewards, values, next_values, np.zeros_like(ended), ended,
                   self.cfg.gamma, self.cfg.gae_lambda)

    def update(self, batch):
        """One PPO update on a rollout; returns the mean losses and diagnostics."""
        cfg = self.cfg
        advantages, returns = self.advantages(batch)
        rows = advantages.size
        data = {
            "obs": torch.from_numpy(batch["obs"].reshape(rows, -1)),
            "move": torch.from_numpy(batch["move"].reshape(rows)),
            "kick": torch.from_numpy(batch["kick"].reshape(rows)),
            "logp": torch.from_numpy(batch["logp"].reshape(rows)),
            "adv": torch.from_numpy(advantages.reshape(rows)),
            "ret": torch.from_numpy(returns.reshape(rows)),
        }
        size = rows // cfg.minibatches
        sums = dict.fromkeys(("policy", "value", "entropy", "kl", "clipped"), 0.0)
        steps = 0
        for _ in range(cfg.epochs):
            order = torch.from_numpy(self.rng.permutation(rows))
            for start in range(0, size * cfg.minibatches, size):
                pick = order[start:start + size]
                stats = self._step({key: value[pick] for key, value in data.items()})
                for key in sums:
                    sums[key] += stats[key]
                steps += 1
        self.updates += 1
        explained = 1.0 - np.var(returns - batch["values"]) / max(np.var(returns), 1e-8)
        return {key: value / steps for key, value in sums.items()} | {"explained_variance": float(explained)}

    def _step(self, mb):
        cfg = self.cfg
        move_logits, kick_logits, values = self.net(mb["obs"])
        move_all = torch.log_softmax(move_logits, -1)
        kick_all = torch.log_softmax(kick_logits, -1)
        new_logp = (move_all.gather(1, mb["move"][:, None]).squeeze(1)
                    + kick_all.gather(1, mb["kick"][:, None]).squeeze(1))
        adv = mb["adv"]
        adv = (adv - adv.mean()) / (adv.std() + 1e-8)
        policy_loss = clipped_surrogate(new_logp, mb["logp"], adv, cfg.clip)
        value_loss = 0.5 * (values - mb["ret"]).square().mean()
        ent = (entropy(move_all) + entropy(kick_all)).mean()
        loss = policy_loss + cfg.value_coef * value_loss - cfg.entropy_coef * ent
        self.optimizer.zero_grad(set_to_none=True)
        loss.backward()
        torch.nn.utils.clip_grad_norm_(self.net.parameters(), cfg.max_grad_norm)
        self.optimizer.step()
        with torch.no_grad():
            log_ratio = new_logp - mb["logp"]
            kl = ((log_ratio.exp() - 1) - log_ratio).mean().item()
            clipped = ((log_ratio.exp() - 1).abs() > cfg.clip).float().mean().item()
        return {"policy": policy_loss.item(), "value": value_loss.item(), "entropy": ent.item(),
                "kl": kl, "clipped": clipped}
