# tests/test_train_ray.py: `quorvel train --ray` on a local Ray cluster of two nodes: one actor plays the local run, two spread over the nodes and survive a lost actor.
import re

import pytest

torch = pytest.importorskip("torch")
pytest.importorskip("openskill")
ray = pytest.importorskip("ray")

from quorvel.cli import main  # noqa: E402
from quorvel.train import checkpoint, ray_workers  # noqa: E402
from quorvel.train.trainer import Trainer  # noqa: E402

from conftest import start_cluster  # noqa: E402
from test_train_run import TINY, learned, same_state, tiny  # noqa: E402


@pytest.fixture(scope="module")
def cluster():
    """A head and a second node, one CPU each: two workers of one CPU must take one each."""
    made = start_cluster(cpus_per_node=1, nodes=2)
    try:
        yield made
    finally:
        ray.shutdown()
        made.shutdown()


def test_one_ray_worker_learns_what_the_local_trainer_does(cluster, tmp_path):
    Trainer(tiny(episodes=1), tmp_path / "local", stream=None).run()
    Trainer(tiny(episodes=1), tmp_path / "ray", stream=None, ray=cluster.address).run()
    assert not ray.is_initialized()   # the trainer leaves the cluster it joined
    same_state(learned(tmp_path / "local")[0], learned(tmp_path / "ray")[0])


def test_workers_on_both_nodes_survive_a_lost_actor(cluster, tmp_path, monkeypatch, capsys):
    made, collected = [], []
    start, answer = ray_workers.RayWorker.__init__, ray_workers.RayWorker.result

    def record(self, *args, **kwargs):
        start(self, *args, **kwargs)
        made.append(self)

    def result(self):
        # Worker 1 is killed while it collects the second rollout of the second episode.
        reply = answer(self)
        if self.index == 1 and isinstance(reply, tuple):
            collected.append(reply)
            if len(collected) == 3:
                ray.kill(self.actor, no_restart=False)
        return reply

    monkeypatch.setattr(ray_workers.RayWorker, "__init__", record)
    monkeypatch.setattr(ray_workers.RayWorker, "result", result)
    out = tmp_path / "run"
    settings = TINY | {"episodes": 3, "workers": 2}
    sets = [arg for key, value in settings.items()
            for arg in ("--set", f"{key}={','.join(map(str, value)) if isinstance(value, tuple) else value}")]
    assert main(["train", "--out", str(out), "--ray", cluster.address, *sets]) == 0
    printed = capsys.readouterr()
    assert "trained vs scripted" in printed.out
    assert len({worker.info["node"] for worker in made}) == 2
    state, rows = learned(out)
    assert state["progress"]["episodes"] == 3 and len(rows) == 3
    assert state["learner"]["updates"] == 6 and len(state["worker"]["workers"]) == 2
    events = (out / "events.log").read_text()
    assert "rollout worker 1" in events and "lost" in events and "restarted on node" in events
    # ray.kill lands when Ray gets to it, and the actor may have answered further
    # requests by then: its episode stands at a whole number of rollouts (0, 5 or 10
    # decisions), replayed as it stood.
    replayed = re.search(r"playing again (\d+) decisions", events)
    assert replayed and int(replayed.group(1)) in (0, 5, 10) and "lost" in printed.err
    assert len(collected) == 6
