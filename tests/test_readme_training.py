# tests/test_readme_training.py: every example of the README's "Training with quorvel" section runs as written.
import importlib.util
import re
from pathlib import Path

import pytest

README = Path(__file__).resolve().parent.parent / "README.md"


def examples():
    text = README.read_text()
    section = text.split("## Training with quorvel", 1)[1].split("\n## ", 1)[0]
    return re.findall(r"```python\n(.*?)```", section, re.S)


@pytest.mark.parametrize("code", examples(), ids=lambda code: code.split("\n", 1)[0])
def test_example_runs(code):
    for module in re.findall(r"^(?:from|import) (\w+)", code, re.M):
        if importlib.util.find_spec(module) is None:
            pytest.skip(f"{module} is not installed")
    exec(compile(code, str(README), "exec"), {})
