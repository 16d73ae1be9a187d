# tests/test_readme.py: every Python example of the README runs as written; the first plays a match with goals.
import importlib.util
import re
import subprocess
import sys

import pytest

from conftest import start_ray
from readme_examples import README, examples

FIRST, *OTHERS = examples()


def test_first_example_plays_a_match_with_goals():
    out = subprocess.run([sys.executable, "-c", FIRST[1]], check=True, capture_output=True,
                         text=True, timeout=120).stdout
    assert re.search(r"^goal at tick \d+", out, re.M)
    assert re.search(r"^final score \(\d+, \d+\)$", out, re.M)


@pytest.mark.parametrize("section, code", OTHERS,
                         ids=[f"{section}: {code.split(chr(10), 1)[0]}" for section, code in OTHERS])
def test_example_runs(section, code, tmp_path, monkeypatch):
    for module in re.findall(r"^(?:from|import) (\w+)", code, re.M):
        if importlib.util.find_spec(module) is None:
            pytest.skip(f"{module} is not installed")
    monkeypatch.chdir(tmp_path)  # where the examples' files go
    if re.search(r"^import ray$", code, re.M):
        start_ray()   # what the example's algorithm would start, started as the suite starts Ray
    exec(compile(code, str(README), "exec"), {"__name__": "__main__"})
