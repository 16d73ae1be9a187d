# tests/test_npz_policy.py: exported policies played by numpy alone: the same actions as the torch network, and files that do not fit refused.
import json
import zipfile

import numpy as np
import pytest

torch = pytest.importorskip("torch")

from quorvel import BatchEngine, EngineConfig  # noqa: E402
from quorvel.core.egocentric import Egocentric  # noqa: E402
from quorvel.policies import npz_policy  # noqa: E402
from quorvel.train.checkpoint import export, policy_contents  # noqa: E402
from quorvel.train.config import TrainConfig  # noqa: E402
from quorvel.train.network import PolicyNet  # noqa: E402
from quorvel.train.rollout import RolloutWorker, engine_config  # noqa: E402


@pytest.fixture(scope="module")
def trained(tmp_path_factory):
    """A network with lively heads, its settings and its exported file."""
    cfg = TrainConfig(matches=8, groups=2, hidden=(16, 8), directions=16, repeat=3,
                      episode_ticks=60, rollout=5)
    config = engine_config(cfg)
    torch.manual_seed(3)
    net = PolicyNet(Egocentric(config).features, cfg.hidden, cfg.directions + 1)
    with torch.no_grad():
        for head in (net.move, net.kick):
            head.weight.normal_(0.0, 1.0)
    path = tmp_path_factory.mktemp("policy") / "p.npz"
    export(path, policy_contents(net, cfg))
    return cfg, config, net, path


def team_observations(config, n=16, ticks=40):
    engine = BatchEngine(config, n, 5, threads=1)
    rng = np.random.default_rng(0)
    for _ in range(ticks):
        obs, *_ = engine.step(rng.uniform(-1, 1, (n, 2, config.players_per_team, 4)).astype(np.float32))
    return obs.reshape(2 * n, -1)


def test_numpy_policy_acts_as_the_torch_network(trained):
    cfg, config, net, path = trained
    policy = npz_policy.load(path, config)
    obs = team_observations(config)
    # The rollout worker's choices (torch forward, drawn with the same uniforms) ...
    worker = RolloutWorker(cfg, 0)
    worker.set_weights({k: v.numpy() for k, v in net.state_dict().items()})
    worker.rng = np.random.default_rng(9)
    move, kick, _, _ = worker._decide(Egocentric(config)(obs).reshape(-1, worker.egocentric.features))
    # ... are the file's, played with numpy alone.
    got_move, got_kick = policy.choose(obs, np.random.default_rng(9))
    assert np.array_equal(got_move.ravel(), move) and np.array_equal(got_kick.ravel(), kick)
    assert len(set(move.tolist())) > 3           # the heads are not near-uniform or constant
    greedy = npz_policy.load(path, config, greedy=True)
    with torch.no_grad():
        logits = net(torch.from_numpy(Egocentric(config)(obs).reshape(len(obs) * 3, -1)))
    assert np.array_equal(greedy.choose(obs, None)[0].ravel(), logits[0].argmax(1).numpy())


def test_choices_are_held_for_the_trained_repeat(trained):
    _, config, _, path = trained
    policy = npz_policy.load(path, config)
    obs = team_observations(config, n=4)
    rng = np.random.default_rng(1)
    held = []
    for _ in range(7):
        out = np.zeros((len(obs), 3, 4), np.float32)
        policy(obs, out, rng)
        held.append(policy._held[0].copy())
    # repeat = 3: new choices at calls 0, 3 and 6.
    assert all(np.array_equal(held[i], held[0]) for i in (1, 2))
    assert all(np.array_equal(held[i], held[3]) for i in (4, 5))
    assert not np.array_equal(held[0], held[3])


def test_files_that_do_not_fit_are_refused(trained, tmp_path):
    cfg, config, net, path = trained
    with pytest.raises(ValueError, match="plays 3 a side; this configuration has 2"):
        npz_policy.load(path, EngineConfig(players_per_team=2))
    with pytest.raises(ValueError, match="field_width=40"):
        npz_policy.load(path, EngineConfig(field_width=50.0))
    meta, arrays = policy_contents(net, cfg)
    broken = {
        "junk.npz": None,
        "shape.npz": (meta, arrays | {"move.bias": np.zeros(5, np.float32)}),
        "missing.npz": (meta, {k: v for k, v in arrays.items() if k != "kick.weight"}),
        "nan.npz": (meta, arrays | {"layer0.bias": np.full(16, np.nan, np.float32)}),
        "layout.npz": (dict(meta, observation=dict(meta["observation"], layout="raw")), arrays),
        "version.npz": (dict(meta, version=99), arrays),
    }
    for name, contents in broken.items():
        target = tmp_path / name
        if contents is None:
            target.write_bytes(b"PK\x03\x04 not really a zip")
        else:
            npz_policy.save(target, contents[1], contents[0])
            if name == "version.npz":   # save stamps the current version: rewrite meta
                with np.load(target) as npz:
                    kept = {k: npz[k] for k in npz.files if k != "meta"}
                blob = np.frombuffer(json.dumps(contents[0]).encode(), np.uint8)
                np.savez(target, meta=blob, **kept)
        with pytest.raises(ValueError, match=str(target).replace(".", r"\.")):
            npz_policy.load(target, config)
    # A plain .npz of other arrays is not a policy; a missing file stays an OSError.
    np.savez(tmp_path / "other.npz", x=np.zeros(3))
    with pytest.raises(ValueError, match="not a quorvel policy"):
        npz_policy.load(tmp_path / "other.npz", config)
    with pytest.raises(FileNotFoundError):
        npz_policy.load(tmp_path / "absent.npz", config)
    # Arrays that would unpack to more than a policy could need are refused unread.
    np.savez_compressed(tmp_path / "bomb.npz", meta=np.zeros(1, np.uint8),
                        x=np.zeros(17_000_000, np.float32))
    with pytest.raises(ValueError, match="too large"):
        npz_policy.load(tmp_path / "bomb.npz", config)
    with zipfile.ZipFile(path) as archive:
        assert "meta.npy" in archive.namelist()
