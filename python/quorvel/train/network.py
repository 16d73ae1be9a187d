"""python/quorvel/train/network.py: the one network every player of a team shares: a tanh MLP with move, kick and value heads.

Each row is one player's egocentric observation; the move and kick heads give the logits of
that player's two independent choices (``quorvel.core.action_choices``), the value head
its expected return. Sharing the trunk between policy and value halves the cost of a
forward pass, which is most of what an update costs on a CPU.
"""
import numpy as np
import torch
from torch import nn

from ..core.action_choices import KICKS


class PolicyNet(nn.Module):
    def __init__(self, features, hidden, moves, kicks=KICKS):
        super().__init__()
        self.features, self.hidden, self.moves, self.kicks = features, tuple(hidden), moves, kicks
        layers, width = [], features
        for size in self.hidden:
            layers += [nn.Linear(width, size), nn.Tanh()]
            width = size
        self.trunk = nn.Sequential(*layers)
        self.move = nn.Linear(width, moves)
        self.kick = nn.Linear(width, kicks)
        self.value = nn.Linear(width, 1)
        # Orthogonal weights, the usual PPO start: small policy heads start near uniform.
        for layer in self.trunk:
            if isinstance(layer, nn.Linear):
                nn.init.orthogonal_(layer.weight, np.sqrt(2.0))
                nn.init.zeros_(layer.bias)
        for head, gain in ((self.move, 0.01), (self.kick, 0.01), (self.value, 1.0)):
            nn.init.orthogonal_(head.weight, gain)
            nn.init.zeros_(head.bias)

    def forward(self, x):
        """(rows, F) -> move logits (rows, M), kick logits (rows, K), values (rows,)."""
        h = self.trunk(x)
        return self.move(h), self.kick(h), self.value(h).squeeze(-1)

    def policy_arrays(self):
        """The weights a player needs to act (no value head), as float32 numpy arrays
        named for the .npz export: layer{i}.weight (out, in), layer{i}.bias, then the heads."""
        arrays = {}
        linears = [layer for layer in self.trunk if isinstance(layer, nn.Linear)]
        for i, layer in enumerate(linears):
            arrays[f"layer{i}.weight"] = layer.weight.detach().numpy().astype(np.float32)
            arrays[f"layer{i}.bias"] = layer.bias.detach().numpy().astype(np.float32)
        for name in ("move", "kick"):
            head = getattr(self, name)
            arrays[f"{name}.weight"] = head.weight.detach().numpy().astype(np.float32)
            arrays[f"{name}.bias"] = head.bias.detach().numpy().astype(np.float32)
        return arrays
